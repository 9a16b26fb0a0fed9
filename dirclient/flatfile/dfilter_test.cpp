#include "dfilter.h"

#include "attribute.h"
#include "dentry.h"
#include "dlist.h"
#include "object_memory.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using Filter = std::unique_ptr<DFilter>;

std::string text(DFilter* filter) {
    char* out = filter->ToString();
    std::string s = out;
    check_free(out);
    return s;
}

TEST(DFilterParse, AcceptsValidFormsAndPrintsThemBack) {
    struct Row {
        const char* input;
        const char* printed;
    } rows[] = {
        {"(cn=a)", "(cn=a)"},
        {"((cn=a))", "(cn=a)"},
        {"  ( cn=a )  ", "(cn=a )"},  // blanks before the closing parenthesis belong to the value
        {"(cn~=a)", "(cn~=a)"},
        {"(cn>=a)", "(cn>=a)"},
        {"(cn<=a)", "(cn<=a)"},
        {"(cn=)", "(cn=)"},
        {"(cn=*)", "(cn=*)"},
        {"(_x9=1)", "(_x9=1)"},
        {"(!(cn=a))", "(!(cn=a))"},
        {"(&(objectclass=person)(|(cn=a*)(sn=b*)))", "(&(objectclass=person)(|(cn=a*)(sn=b*)))"},
        {"(& (a=1) (b=2) (c=3) )", "(&(a=1)(b=2)(c=3))"},
        {"(|(a=1))", "(|(a=1))"},
        {"(cn=a\\)b)", "(cn=a\\)b)"},
        {"(cn=a\\\\)", "(cn=a\\\\)"},  // an escaped backslash, then the closing parenthesis
        {"(cn=a(b)", "(cn=a(b)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        Filter f(DFilter::unparseFilter(row.input));
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(text(f.get()), row.printed);
        Filter again(DFilter::unparseFilter(row.printed));
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(text(again.get()), row.printed);
    }
}

TEST(DFilterParse, RejectsInvalidForms) {
    const char* rows[] = {
        "",         "cn=a",         "(cn=a)x", "(object-class=x)",
        "(1cn=a)",  "(cn a)",       "(cn=a",   "(&)",
        "(|)",      "(!)",          "(!cn=a)", "(&(cn=a)x)",
        "((cn=a)",  "(cn<>a)",      "(=a)",    "(cn;x=a)",
        "(cn.x=a)", "(cn=a))",      "()",      "(cn!=a)",
        "(cn=a\\)", "(&(a=1)(b=2)", "(cn",     "(cn~",
        "(cn<",
    };
    for (const char* row : rows) {
        SCOPED_TRACE(row);
        EXPECT_EQ(DFilter::unparseFilter(row), nullptr);
    }
    EXPECT_EQ(DFilter::unparseFilter(nullptr), nullptr);  // nothing to continue
}

TEST(DFilterParse, DeepNestingIsRefusedNotOverflowed) {
    auto negated = [](int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i)
            text += "(!";
        return text + "(a=1)" + std::string(depth, ')');
    };
    EXPECT_EQ(DFilter::unparseFilter(negated(100000).c_str()), nullptr);
    EXPECT_EQ(DFilter::unparseFilter(std::string(100000, '(').c_str()), nullptr);
    Filter f(DFilter::unparseFilter(negated(100).c_str()));
    EXPECT_NE(f, nullptr);
}

TEST(DFilterItem, UnknownOperatorPrintsEmpty) {
    DFilterItem item(static_cast<item_type>(9), strcopy("cn"), strcopy("a"));
    char* out = item.ToString();
    EXPECT_STREQ(out, "");
    check_free(out);
}

class DFilterEval : public ::testing::Test {
  protected:
    void SetUp() override {
        entry_ = new (HEAP) DEntry("cn=John Smith,o=x");
        auto* cn = new (HEAP) Attribute("cn", "John Smith");
        cn->addValue("Johnny");
        entry_->addAttribute(cn);
        entry_->addAttribute(new (HEAP) Attribute("objectClass", "person"));
        entry_->addAttribute(new (HEAP) Attribute("uidNumber", 1042));
        entry_->addAttribute(new (HEAP) Attribute("description"));
        Dbinary photo{3, const_cast<char*>("a\0b")};
        auto* binary = new (HEAP) Attribute("photo");
        binary->addValue(&photo);
        entry_->addAttribute(binary);
        auto* v = new (HEAP) Attribute("v", "a");
        v->addValue("a b");
        entry_->addAttribute(v);
        entry_->addAttribute(new (HEAP) Attribute("w", "a  b"));
        entry_->addAttribute(new (HEAP) Attribute("p", "a)b"));
        entry_->addAttribute(new (HEAP) Attribute("q", "a\\"));
    }
    void TearDown() override { delete entry_; }

    DEntry* entry_ = nullptr;
};

TEST_F(DFilterEval, MatchesTheEntry) {
    struct Row {
        const char* filter;
        bool matches;
    } rows[] = {
        // Every comparison operator uses the matcher.
        {"(cn=john)", true},
        {"(CN=johnny)", true},  // attribute names ignore case
        {"(cn~=smith)", true},
        {"(cn>=jo*)", true},
        {"(cn<=*mith)", true},
        {"(cn=mith)", false},
        {"(uidNumber=10*)", true},  // numbers compare as their text
        // Presence needs a value with a text form.
        {"(objectclass=*)", true},
        {"(mail=*)", false},
        {"(description=*)", false},  // no values
        {"(photo=*)", false},        // binary with a NUL inside has no text form
        {"(&(cn=john)(objectclass=person))", true},
        {"(&(cn=john)(objectclass=group))", false},
        {"(|(cn=nobody)(objectclass=person))", true},
        {"(|(cn=nobody)(mail=*))", false},
        {"(!(mail=*))", true},
        {"(!(cn=*))", false},
        {"(&(!(cn=x))(|(sn=*)(cn=smith)))", true},
        // Blanks around the value are significant.
        {"( v=a )", false},
        {"( w=a )", true},
        {"(p=a\\)b)", true},  // an escaped parenthesis matches literally
        {"(q=a\\\\)", true},  // and so does an escaped backslash
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.filter);
        Filter f(DFilter::unparseFilter(row.filter));
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->evalEntry(entry_), row.matches);
    }
    DFilter emptyAnd(FILTER_AND, new (HEAP) DList());
    EXPECT_FALSE(emptyAnd.evalEntry(entry_));
    Filter any(DFilter::unparseFilter("(cn=*)"));
    EXPECT_FALSE(any->evalEntry(nullptr));
}

}  // namespace
