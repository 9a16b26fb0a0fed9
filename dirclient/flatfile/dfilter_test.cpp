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

DFilterItem* itemOf(DFilter* filter) {
    return static_cast<DFilterItem*>(filter->getValue());
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
        {"(&(objectclass=person)(|(cn=a*)(sn=b*)))",
         "(&(objectclass=person)(|(cn=a*)(sn=b*)))"},
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
        "",         "cn=a",        "(cn=a)x",     "(object-class=x)", "(1cn=a)",
        "(cn a)",   "(cn=a",       "(&)",         "(|)",              "(!)",
        "(!cn=a)",  "(&(cn=a)x)",  "((cn=a)",     "(cn<>a)",          "(=a)",
        "(cn;x=a)", "(cn.x=a)",    "(cn=a))",     "()",               "(cn!=a)",
        "(cn=a\\)", "(&(a=1)(b=2)", "(cn",       "(cn~",             "(cn<",
    };
    for (const char* row : rows) {
        SCOPED_TRACE(row);
        EXPECT_EQ(DFilter::unparseFilter(row), nullptr);
    }
    EXPECT_EQ(DFilter::unparseFilter(nullptr), nullptr);  // nothing to continue
}

TEST(DFilterParse, BuildsTheTreeInWrittenOrder) {
    Filter f(DFilter::unparseFilter("(&(objectclass=person)(|(cn=a*)(sn~=b*)))"));
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f->getType(), FILTER_AND);
    auto* operands = static_cast<DList*>(f->getValue());
    ASSERT_EQ(operands->getSize(), 2);
    auto* first = static_cast<DFilter*>(operands->getHead()->getValue());
    auto* second = static_cast<DFilter*>(operands->getTail()->getValue());
    ASSERT_EQ(first->getType(), FILTER_ITEM);
    EXPECT_STREQ(itemOf(first)->getName(), "objectclass");
    EXPECT_STREQ(itemOf(first)->getValue(), "person");
    EXPECT_EQ(itemOf(first)->getType(), ITEM_EQUAL);
    ASSERT_EQ(second->getType(), FILTER_OR);
    auto* inner = static_cast<DList*>(second->getValue());
    auto* sn = static_cast<DFilter*>(inner->getTail()->getValue());
    EXPECT_EQ(itemOf(sn)->getType(), ITEM_APPROX);

    Filter neg(DFilter::unparseFilter("(!(cn=a))"));
    ASSERT_EQ(neg->getType(), FILTER_NOT);
    EXPECT_EQ(static_cast<DFilter*>(neg->getValue())->getType(), FILTER_ITEM);
}

TEST(DFilterParse, OrderingOperatorsKeepTheirCodes) {
    Filter ge(DFilter::unparseFilter("(n>=5)"));
    Filter le(DFilter::unparseFilter("(n<=5)"));
    EXPECT_EQ(itemOf(ge.get())->getType(), ITEM_GREATER_OR_EQUAL);
    EXPECT_EQ(itemOf(le.get())->getType(), ITEM_LESS_OR_EQUAL);
    EXPECT_EQ(static_cast<int>(ITEM_GREATER_OR_EQUAL), 2);
    EXPECT_EQ(static_cast<int>(ITEM_LESS_OR_EQUAL), 3);
}

TEST(DFilterParse, DeepNestingIsRefusedNotOverflowed) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "(!";
    deep += "(a=1)";
    for (int i = 0; i < 100000; ++i) deep += ")";
    EXPECT_EQ(DFilter::unparseFilter(deep.c_str()), nullptr);
    std::string parens(100000, '(');
    EXPECT_EQ(DFilter::unparseFilter(parens.c_str()), nullptr);

    std::string fine;
    for (int i = 0; i < 100; ++i) fine += "(!";
    fine += "(a=1)";
    for (int i = 0; i < 100; ++i) fine += ")";
    Filter f(DFilter::unparseFilter(fine.c_str()));
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
        auto* empty = new (HEAP) Attribute("description");
        entry_->addAttribute(empty);
        Dbinary photo{3, const_cast<char*>("a\0b")};
        auto* binary = new (HEAP) Attribute("photo");
        binary->addValue(&photo);
        entry_->addAttribute(binary);
    }
    void TearDown() override { delete entry_; }

    bool eval(const char* filter) {
        Filter f(DFilter::unparseFilter(filter));
        EXPECT_NE(f, nullptr) << filter;
        return f != nullptr && f->evalEntry(entry_);
    }

    DEntry* entry_ = nullptr;
};

TEST_F(DFilterEval, ComparisonsUseTheMatcherWhateverTheOperator) {
    EXPECT_TRUE(eval("(cn=john)"));
    EXPECT_TRUE(eval("(CN=johnny)"));  // attribute names ignore case
    EXPECT_TRUE(eval("(cn~=smith)"));
    EXPECT_TRUE(eval("(cn>=jo*)"));
    EXPECT_TRUE(eval("(cn<=*mith)"));
    EXPECT_FALSE(eval("(cn=mith)"));
    EXPECT_TRUE(eval("(uidNumber=1042)"));  // numbers compare as their text
    EXPECT_TRUE(eval("(uidNumber=10*)"));
}

TEST_F(DFilterEval, PresenceNeedsAStringValue) {
    EXPECT_TRUE(eval("(objectclass=*)"));
    EXPECT_FALSE(eval("(mail=*)"));
    EXPECT_FALSE(eval("(description=*)"));  // no values
    EXPECT_FALSE(eval("(photo=*)"));        // binary with a NUL inside has no text form
}

TEST_F(DFilterEval, BooleanOperators) {
    EXPECT_TRUE(eval("(&(cn=john)(objectclass=person))"));
    EXPECT_FALSE(eval("(&(cn=john)(objectclass=group))"));
    EXPECT_TRUE(eval("(|(cn=nobody)(objectclass=person))"));
    EXPECT_FALSE(eval("(|(cn=nobody)(mail=*))"));
    EXPECT_TRUE(eval("(!(mail=*))"));
    EXPECT_FALSE(eval("(!(cn=*))"));
    EXPECT_TRUE(eval("(&(!(cn=x))(|(sn=*)(cn=smith)))"));
    DFilter emptyAnd(FILTER_AND, new (HEAP) DList());
    EXPECT_FALSE(emptyAnd.evalEntry(entry_));
    Filter any(DFilter::unparseFilter("(cn=*)"));
    EXPECT_FALSE(any->evalEntry(nullptr));
}

TEST_F(DFilterEval, SpacesAroundTheValueAreSignificant) {
    auto* value = new (HEAP) Attribute("v", "a");
    value->addValue("a b");
    entry_->addAttribute(value);
    EXPECT_FALSE(eval("( v=a )"));
    auto* twoBlanks = new (HEAP) Attribute("w", "a  b");
    entry_->addAttribute(twoBlanks);
    EXPECT_TRUE(eval("( w=a )"));
}

TEST_F(DFilterEval, EscapedParenthesisMatchesLiterally) {
    entry_->addAttribute(new (HEAP) Attribute("p", "a)b"));
    EXPECT_TRUE(eval("(p=a\\)b)"));
    entry_->addAttribute(new (HEAP) Attribute("q", "a\\"));
    EXPECT_TRUE(eval("(q=a\\\\)"));
}

}  // namespace
