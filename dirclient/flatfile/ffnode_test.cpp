// The tree itself: deep copies, lookups inside and outside the store, answers built from
// entries, LDIF output, and the DN index kept exact through every kind of change.

#include "flatfile_test_support.h"

#include "dfilter.h"
#include "ffstore_lock.h"
#include "ldap_result_codes.h"
#include "modification.h"

#include <map>
#include <memory>
#include <random>

namespace {

using namespace fftest;
using namespace std::string_literals;

std::string written(FFNode* node) {
    FILE* out = std::tmpfile();
    EXPECT_TRUE(node->save(out, nullptr));
    std::string text(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    return text;
}

TEST(FFNodeCopy, CopiesEveryValueTypeIndependently) {
    std::unique_ptr<DEntry> original(makeEntry("cn=a", {{"cn", "a"}}));
    auto* mixed = new (HEAP) Attribute("mixed");
    Dbinary bytes{3, const_cast<char*>("x\0y")};
    mixed->addValue(&bytes);
    mixed->addValue(42);
    mixed->addValue(7L);
    original->addAttribute(mixed);
    std::unique_ptr<DEntry> copy(FFNode::copy(original.get()));
    original->getAttribute("cn")->addValue("b");
    original->setDN("cn=changed");
    mixed->removeValue(42);
    original.reset();  // the copy must not refer to anything released here
    EXPECT_EQ(describe(copy.get()), "cn=a|cn=a|mixed=(none)=42=7");
    EXPECT_EQ(typedValues(copy->getAttribute("mixed")), "binary x\0y|int 42|long 7"s);

    DListItem borrowed(reinterpret_cast<void*>(0x1234), DLIST_BORROWED);
    std::unique_ptr<DListItem> none(FFNode::copy(&borrowed));
    EXPECT_EQ(none->getValue(), nullptr);
    EXPECT_EQ(none->getType(), DLIST_BORROWED);

    Modification mod(MOD_OP_DELETE, new (HEAP) Attribute("sn", "x"));
    Modification* twin = FFNode::copy(&mod);
    EXPECT_EQ(twin->getOp(), 1);
    EXPECT_NE(twin->getAttribute(), mod.getAttribute());
    EXPECT_STREQ(static_cast<const char*>(twin->getAttribute()->getFirstValue()), "x");
    FFNode::freeModification(twin);
    FFNode::freeEntry(nullptr);
    FFNode::freeNode(nullptr);
}

TEST(FFNodeGenEntry, SelectsAndStripsAttributes) {
    std::unique_ptr<DEntry> e(makeEntry("cn=a", {{"cn", "a"}, {"sn", "b"}, {"mail", "m"}}));
    DList names;
    for (const char* n : {"MAIL", "cn", "mail", "absent"})
        names.append(strcopy(n), DLIST_STRING, false);
    names.append(nullptr, DLIST_BORROWED, false);  // not a name: skipped
    std::unique_ptr<DEntry> some(FFNode::genEntry(e.get(), &names, false));
    EXPECT_EQ(describe(some.get()), "cn=a|mail=m|cn=a");
    std::unique_ptr<DEntry> types(FFNode::genEntry(e.get(), &names, true));
    EXPECT_EQ(describe(types.get()), "cn=a|mail(no values)|cn(no values)");
    std::unique_ptr<DEntry> all(FFNode::genEntry(e.get(), nullptr, false));
    EXPECT_EQ(describe(all.get()), "cn=a|cn=a|sn=b|mail=m");
    EXPECT_EQ(FFNode::genEntry(nullptr, nullptr, false), nullptr);
}

// A tree built by hand, outside the store, is searched by walking it.
class FFLooseTree : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = new (SHAR) FFNode(nullptr, nullptr);
        FFNode* x = root_->add(makeEntry("o=x", {{"o", "x"}}));
        FFNode* a = x->add(makeEntry("ou=a,o=x", {{"ou", "a"}}));
        a->add(makeEntry("cn=1,ou=a,o=x", {{"cn", "1"}}));
        a->add(makeEntry("cn=2,ou=a,o=x", {{"cn", "2"}}));
        x->add(makeEntry("ou=b,o=x", {{"ou", "b"}}));
        root_->add(makeEntry("o=y", {{"o", "y"}}));
    }
    void TearDown() override { FFNode::freeNode(root_); }
    FFNode* root_ = nullptr;
};

TEST_F(FFLooseTree, FindsNodesByDnWithoutCase) {
    EXPECT_EQ(root_->findNode(""), root_);
    ASSERT_NE(root_->findNode("CN=2,OU=A,O=X"), nullptr);
    EXPECT_STREQ(root_->findNode("cn=2,ou=a,o=x")->getEntry()->getDN(), "cn=2,ou=a,o=x");
    EXPECT_EQ(root_->findNode("cn=3,ou=a,o=x"), nullptr);
    EXPECT_EQ(root_->findNode("ou=a,o=y"), nullptr);
    FFNode* a = root_->findNode("ou=a,o=x");
    EXPECT_EQ(a->findNode("cn=1,ou=a,o=x")->getParent(), a);
    EXPECT_EQ(a->findNode("ou=b,o=x"), nullptr);  // outside that subtree
    EXPECT_EQ(root_->findParent("cn=9,ou=a,o=x"), a);
    EXPECT_EQ(root_->findParent("o=x"), nullptr);
    EXPECT_TRUE(a->hasChildren());
    EXPECT_FALSE(root_->findNode("ou=b,o=x")->hasChildren());
}

TEST_F(FFLooseTree, SearchesAndWritesInPreOrder) {
    SearchResults found;
    EXPECT_EQ(root_->search(2, nullptr, nullptr, false, &found), 6);
    EXPECT_EQ(dnsOf(&found), (std::vector<std::string>{"o=x", "ou=a,o=x", "cn=1,ou=a,o=x",
                                                       "cn=2,ou=a,o=x", "ou=b,o=x", "o=y"}));
    std::unique_ptr<DFilter> filter(DFilter::unparseFilter("(cn=*)"));
    EXPECT_EQ(root_->findNode("o=x")->search(1, filter.get(), nullptr, false, nullptr), 0);
    EXPECT_EQ(root_->findNode("ou=a,o=x")->search(1, filter.get(), nullptr, false, nullptr), 2);
    EXPECT_EQ(written(root_->findNode("ou=a,o=x")),
              "dn: ou=a,o=x\nou: a\n\ndn: cn=1,ou=a,o=x\ncn: 1\n\ndn: cn=2,ou=a,o=x\ncn: 2\n\n");
}

TEST_F(FFLooseTree, RemovingKeepsTheOrderOfTheRest) {
    root_->findNode("cn=1,ou=a,o=x")->remove();
    root_->findNode("ou=a,o=x")->remove();  // with what is left below it
    root_->remove();                        // the root stays
    EXPECT_EQ(written(root_), "dn: o=x\no: x\n\ndn: ou=b,o=x\nou: b\n\ndn: o=y\no: y\n\n");
    FFNode* b = root_->findNode("ou=b,o=x");
    b->setEntry(makeEntry("ou=c,o=x"));
    EXPECT_EQ(root_->findNode("ou=c,o=x"), b);
    b->resetEntry();
    EXPECT_EQ(b->getEntry(), nullptr);
    EXPECT_EQ(written(root_), "dn: o=x\no: x\n\ndn: o=y\no: y\n\n");
}

// Deep trees are built, searched, written and destroyed without recursion.
TEST(FFNodeDepth, VeryDeepChainIsHandledIteratively) {
    auto* root = new (SHAR) FFNode(nullptr, nullptr);
    FFNode* node = root;
    for (int i = 0; i < 200000; ++i)
        node = node->add(makeEntry("ou=l" + std::to_string(i)));
    EXPECT_EQ(root->search(2, nullptr, nullptr, false, nullptr), 200000);
    FILE* sink = std::fopen("/dev/null", "w");
    EXPECT_TRUE(root->save(sink, nullptr));
    std::fclose(sink);
    FFNode::freeNode(root);
}

class FFStored : public StoreTest {};

// Entries are kept packed; what goes in comes out with the same value types, null values
// and attributes without values, and filters see the same texts as on a DEntry.
TEST_F(FFStored, EntriesKeepEveryValueType) {
    FFConnection c;
    load(c, "dn: o=x\no: x\n\n");
    std::unique_ptr<DEntry> e(makeEntry("cn=t,o=x", {{"cn", "t"}}));
    auto* mixed = new (HEAP) Attribute("mixed");
    mixed->addValue(42);
    mixed->addValue(-7L);
    Dbinary bytes{3, const_cast<char*>("a\0b")};
    mixed->addValue(&bytes);
    Dbinary noBytes{5, nullptr};
    mixed->addValue(&noBytes);
    mixed->addValue(static_cast<const char*>(nullptr));
    bool flag = true;
    mixed->getValues()->append(&flag, DLIST_BOOL, true);
    e->addAttribute(mixed);
    e->addAttribute(new (HEAP) Attribute("empty"));
    DException* err = nullptr;
    c.add(e.get(), &err);
    ASSERT_EQ(err, nullptr);
    std::unique_ptr<DEntry> back(c.read("cn=t,o=x", &err));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(typedValues(back->getAttribute("mixed")),
              "int 42|long -7|binary a\0b|binary (null)|string (null)|bool 1"s);
    EXPECT_EQ(back->getAttribute("empty")->getValues(), nullptr);

    std::unique_ptr<SearchResults> found(c.search("o=x", 1, "(mixed=4*)", nullptr, false, &err));
    EXPECT_EQ(dnsOf(found.get()), std::vector<std::string>{"cn=t,o=x"});
    found.reset(c.search("o=x", 1, "(mixed=-7)", nullptr, false, &err));
    EXPECT_EQ(dnsOf(found.get()), std::vector<std::string>{"cn=t,o=x"});
    found.reset(c.search("o=x", 1, "(mixed=a*)", nullptr, false, &err));  // NUL inside: no text
    EXPECT_EQ(found, nullptr);
    expectFailure(err, DEXC_SEARCH, QDX_LDAP_NO_SUCH_OBJECT);
}

// getEntry() hands out the stored entry itself: what is changed through it is saved.
TEST_F(FFStored, ChangesThroughGetEntryAreTheStores) {
    FFConnection c;
    load(c, "dn: o=x\no: x\n\ndn: cn=a,o=x\ncn: a\n\n");
    {
        FFStoreLock lock;
        FFNode* node = FFConnection::getRoot()->findNode("cn=a,o=x");
        ASSERT_NE(node, nullptr);
        EXPECT_STREQ(node->getDN(), "cn=a,o=x");
        DEntry* stored = node->getEntry();
        EXPECT_EQ(node->getEntry(), stored);
        stored->getAttribute("cn")->addValue("second");
    }
    std::unique_ptr<DEntry> readBack(c.read("cn=a,o=x", nullptr));
    EXPECT_EQ(describe(readBack.get()), "cn=a,o=x|cn=a=second");
    c.remove("o=y", nullptr);  // nothing, but the next change makes disconnect write
    addOk(c, "cn=b,o=x");
    c.rename("cn=a,o=x", "cn=c", true, nullptr);
    DException* e = nullptr;
    c.disconnect(&e);
    ASSERT_EQ(e, nullptr);
    EXPECT_EQ(read("dir.ldif"),
              "dn: o=x\no: x\n\ndn: cn=c,o=x\ncn: second\ncn: c\n\ndn: cn=b,o=x\n\n");
}

class FFIndexTest : public StoreTest {};

// Every DN of parentOf (lower-case DN -> lower-case parent DN) is found in the store, in
// upper case, under its parent, and the tree holds nothing else.
void expectTree(const std::map<std::string, std::string>& parentOf) {
    FFStoreLock lock;
    FFNode* root = FFConnection::getRoot();
    for (const auto& [dn, parent] : parentOf) {
        std::string upper = dn;
        for (char& ch : upper)
            ch = static_cast<char>(std::toupper(ch));
        FFNode* node = root->findNode(upper.c_str());
        ASSERT_NE(node, nullptr) << dn;
        FFNode* above = parent.empty() ? root : root->findNode(parent.c_str());
        EXPECT_EQ(node->getParent(), above) << dn;
    }
    SearchResults found;
    EXPECT_EQ(root->search(2, nullptr, nullptr, false, &found), static_cast<int>(parentOf.size()));
}

// Random adds, removes, renames and moves, checked after every step against a plain map:
// every DN the map holds is found (with any case), and nothing else is.
TEST_F(FFIndexTest, StaysExactThroughRandomChanges) {
    FFConnection c;
    load(c, "dn: o=x\no: x\n\n");
    std::map<std::string, std::string> parentOf;  // lower-case DN -> lower-case parent DN
    parentOf["o=x"] = "";
    std::mt19937 random(12345);
    auto childCount = [&](const std::string& dn) {
        int n = 0;
        for (const auto& [child, parent] : parentOf)
            n += parent == dn;
        return n;
    };
    auto pick = [&]() {
        auto it = parentOf.begin();
        std::advance(it, random() % parentOf.size());
        return it->first;
    };
    DException* e = nullptr;
    for (int step = 0; step < 1500; ++step) {
        std::string target = pick();
        std::string fresh = "cn=n" + std::to_string(step);
        switch (random() % 4) {
            case 0:
            case 1: {
                ASSERT_NO_FATAL_FAILURE(addOk(c, fresh + "," + target));
                parentOf[fresh + "," + target] = target;
                break;
            }
            case 2:
                if (target == "o=x" || childCount(target) > 0) break;
                c.remove(target.c_str(), &e);
                ASSERT_EQ(e, nullptr);
                parentOf.erase(target);
                break;
            case 3: {
                if (target == "o=x" || childCount(target) > 0) break;
                std::string superior = pick();
                if (superior == target) break;
                bool move = random() % 2;
                std::string parent = move ? superior : parentOf[target];
                c.rename(target.c_str(), fresh.c_str(), move ? superior.c_str() : nullptr, true,
                         &e);
                ASSERT_EQ(e, nullptr) << target << " -> " << fresh << " under " << parent;
                parentOf.erase(target);
                parentOf[fresh + "," + parent] = parent;
                break;
            }
        }
        if (step % 100 != 99) continue;
        std::unique_ptr<SearchResults> all(
            c.search("o=x", 2, "(objectclass=*)", nullptr, false, &e));
        delete e;
        e = nullptr;
        ASSERT_NO_FATAL_FAILURE(expectTree(parentOf));
    }
}

// A directory large enough for the index to live in its own mapping, grown and shrunk.
TEST_F(FFIndexTest, LargeDirectoryStaysFindable) {
    std::string text = "dn: o=x\n\n";
    for (int i = 0; i < 120000; ++i)
        text += "dn: cn=" + std::to_string(i) + ",o=x\n\n";
    FFConnection c;
    load(c, text);
    DException* e = nullptr;
    for (int i = 0; i < 120000; i += 2)
        c.remove(("cn=" + std::to_string(i) + ",o=x").c_str(), &e);
    ASSERT_EQ(e, nullptr);
    for (int i = 0; i < 120000; i += 997) {
        std::unique_ptr<DEntry> entry(c.read(("CN=" + std::to_string(i) + ",O=X").c_str(), &e));
        EXPECT_EQ(entry != nullptr, i % 2 == 1) << i;
        delete e;
        e = nullptr;
    }
    FFStoreLock lock;
    EXPECT_EQ(FFConnection::getRoot()->findNode("o=x")->search(1, nullptr, nullptr, false, nullptr),
              60000);
}

TEST_F(FFIndexTest, SetRootIndexesTheNewTree) {
    FFConnection c;
    load(c, "dn: o=x\no: x\n\n");
    FFNode* loaded = FFConnection::getRoot();
    auto* other = new (SHAR) FFNode(nullptr, nullptr);
    other->add(makeEntry("o=y"))->add(makeEntry("cn=a,o=y"));
    FFConnection::setRoot(other);
    std::unique_ptr<DEntry> moved(c.read("CN=A,O=Y", nullptr));
    EXPECT_EQ(describe(moved.get()), "cn=a,o=y");
    DException* e = nullptr;
    delete c.read("o=x", &e);
    expectFailure(e, DEXC_SEARCH, QDX_LDAP_NO_SUCH_OBJECT);
    FFConnection::setRoot(loaded);
    FFNode::freeNode(other);
    delete c.read("o=x", &e);
    EXPECT_EQ(e, nullptr);
}

}  // namespace
