// Several threads on the shared store and on the filter parser at once. Built into the
// ThreadSanitizer run, which reports any access the store lock does not cover.

#include "flatfile_test_support.h"

#include "dfilter.h"
#include "modification.h"
#include "results.h"

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace fftest;

class FFThreads : public StoreTest {};

constexpr int kThreads = 4;
constexpr int kRounds = 150;

// Each worker connects on its own, builds and reshapes its own subtree, and reads,
// searches and writes the whole store while the others do the same.
void worker(int id, std::atomic<int>* failures) {
    FFConnection c;
    DException* e = nullptr;
    c.connect("FILE:///dir.ldif", 0, &e);
    if (e != nullptr) {
        ++*failures;
        delete e;
        return;
    }
    std::string unit = "ou=w" + std::to_string(id) + ",o=x";
    DEntry* top = makeEntry(unit, {{"ou", "w"}});
    c.add(top, &e);
    delete top;
    if (e != nullptr) ++*failures, delete e, e = nullptr;
    for (int i = 0; i < kRounds; ++i) {
        std::string dn = "cn=e" + std::to_string(i) + "," + unit;
        DEntry* entry = makeEntry(dn, {{"cn", "e" + std::to_string(i)}, {"sn", "worker"}});
        c.add(entry, &e);
        delete entry;
        if (e != nullptr) ++*failures, delete e, e = nullptr;
        auto* attribute = new (HEAP) Attribute("title", "t");
        Modification mod(MOD_OP_ADD, attribute);
        c.modify(dn.c_str(), &mod, &e);
        if (e != nullptr) ++*failures, delete e, e = nullptr;
        delete c.read(dn.c_str(), &e);
        if (e != nullptr) ++*failures, delete e, e = nullptr;
        if (i % 10 == 0) {
            delete c.search("o=x", 2, "(&(sn=worker)(cn=e1*))", nullptr, false, &e);
            delete e;
            e = nullptr;
            int id1 = c.read_asyn(dn.c_str(), nullptr);
            delete c.getResult(id1);
        }
        if (i % 3 == 0) {
            c.rename(dn.c_str(), ("cn=r" + std::to_string(i)).c_str(), true, &e);
            if (e != nullptr) ++*failures, delete e, e = nullptr;
            c.remove(("cn=r" + std::to_string(i) + "," + unit).c_str(), &e);
            if (e != nullptr) ++*failures, delete e, e = nullptr;
        }
        if (i % 50 == 49) {
            c.disconnect(&e);  // writes the file while others keep changing the tree
            if (e != nullptr) ++*failures, delete e, e = nullptr;
            c.connect("FILE:///dir.ldif", 0, &e);
            if (e != nullptr) ++*failures, delete e, e = nullptr;
        }
    }
    delete c.genMonitorEntry();
    c.isChanged();
}

TEST_F(FFThreads, ConnectionsShareTheStoreSafely) {
    writeText("dir.ldif", "dn: o=x\no: x\n\n");
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int id = 0; id < kThreads; ++id)
        threads.emplace_back(worker, id, &failures);
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);

    FFConnection check;
    DException* e = nullptr;
    check.connect("FILE:///dir.ldif", 0, &e);
    ASSERT_EQ(e, nullptr);
    std::unique_ptr<SearchResults> all(check.search("o=x", 2, "(sn=worker)", nullptr, false, &e));
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(all->size(), kThreads * (kRounds - (kRounds + 2) / 3));
    // What was written last reads back as the same tree.
    FFConnection::empty();
    FFConnection reread;
    reread.connect("FILE:///dir.ldif", 0, &e);
    ASSERT_EQ(e, nullptr);
    std::unique_ptr<SearchResults> again(
        reread.search("o=x", 2, "(sn=worker)", nullptr, false, &e));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->size(), all->size());
}

TEST_F(FFThreads, OneConnectionUsedByManyThreads) {
    writeText("dir.ldif", "dn: o=x\no: x\n\n");
    FFConnection shared;
    DException* e = nullptr;
    shared.connect("FILE:///dir.ldif", 0, &e);
    ASSERT_EQ(e, nullptr);
    std::vector<std::thread> threads;
    for (int id = 0; id < kThreads; ++id) {
        threads.emplace_back([&shared, id] {
            for (int i = 0; i < kRounds; ++i) {
                std::string dn = "cn=t" + std::to_string(id) + "-" + std::to_string(i) + ",o=x";
                DEntry* entry = makeEntry(dn, {{"cn", "x"}});
                int added = shared.add_asyn(entry, nullptr);
                delete entry;
                delete shared.getResult(added);
                shared.isChanged();
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    std::unique_ptr<SearchResults> all(shared.search("o=x", 1, "(cn=x)", nullptr, false, &e));
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(all->size(), kThreads * kRounds);
    EXPECT_EQ(shared.getResult(0), nullptr);
}

// Parses on different threads do not share a position.
TEST(FFThreadsFilter, ParsesIndependently) {
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int id = 0; id < kThreads; ++id) {
        threads.emplace_back([&wrong, id] {
            std::string text = "(&(cn=a" + std::to_string(id) + "*)(|(sn=b)(!(mail=*))))";
            for (int i = 0; i < 2000; ++i) {
                std::unique_ptr<DFilter> f(DFilter::unparseFilter(text.c_str()));
                char* back = f ? f->ToString() : nullptr;
                if (back == nullptr || text != back) ++wrong;
                check_free(back);
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
