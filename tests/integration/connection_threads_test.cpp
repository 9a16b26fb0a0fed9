// One DConnection shared by four threads doing mixed synchronous and asynchronous work for a
// few seconds, over a server list and over a flat file; afterwards the directory holds
// exactly what each thread left behind.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <dirclient/ffconnection.h>
#include "connection_test_util.h"
#include "test_dir.h"

using namespace conntest;

namespace {

constexpr int kThreads = 4;
constexpr auto kRunFor = std::chrono::seconds(3);
constexpr int kWait = 10000;  // milliseconds for any one answer

class Failures {
  public:
    void note(const std::string& what) {
        std::lock_guard<std::mutex> guard(mutex_);
        if (messages_.size() < 10) messages_.push_back(what);
        ++count_;
    }
    int count() const { return count_; }
    std::string text() const {
        std::string all;
        for (const std::string& m : messages_)
            all += m + "\n";
        return all;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
    int count_ = 0;
};

// Notes a reported failure of step; true when there was none.
bool ok(Failures& failures, DException*& e, const std::string& step) {
    if (e == nullptr) return true;
    failures.note(step + ": " + report(e));
    return false;
}

// One thread's share: entries e<i> (synchronous) and a<i> (asynchronous) below its own unit;
// returns the RDNs it left there.
std::set<std::string> work(DConnection& c, const std::string& unit, int thread,
                           std::chrono::steady_clock::time_point until, Failures& failures) {
    std::set<std::string> left;
    DException* e = nullptr;
    for (int i = 0; std::chrono::steady_clock::now() < until; ++i) {
        const std::string tag = std::to_string(thread) + "." + std::to_string(i);
        const std::string dn = "cn=e" + std::to_string(i) + "," + unit;
        DEntry* entry = person("e" + std::to_string(i), unit);
        c.add(entry, &e);
        c.deleteObject(entry);
        if (!ok(failures, e, "add " + dn)) continue;
        left.insert("cn=e" + std::to_string(i));

        Modification mod(MOD_OP_REPLACE, new (HEAP) Attribute("sn", tag.c_str()));
        c.modify(dn.c_str(), &mod, &e);
        ok(failures, e, "modify " + dn);
        DEntry* back = c.read(dn.c_str(), &e);
        if (ok(failures, e, "read " + dn) && valuesOf(back, "sn") != tag)
            failures.note("read " + dn + " gave sn " + valuesOf(back, "sn"));
        c.deleteObject(back);
        Attribute sn("sn", tag.c_str());
        if (!c.compare(dn.c_str(), &sn, &e) && ok(failures, e, "compare " + dn))
            failures.note("compare " + dn + " was false");

        // An asynchronous add collected by its own id.
        const std::string async = "a" + std::to_string(i);
        DEntry* other = person(async, unit);
        int id = c.add_asyn(other, &e);
        c.deleteObject(other);
        if (ok(failures, e, "add_asyn " + async)) {
            Results* r = c.getResult(id, kWait);
            if (r == nullptr) {
                failures.note("no answer to add_asyn " + async);
            } else {
                if (r->getType() != RES_ADD) failures.note("add_asyn answered as another type");
                r->getAddResult(&e);
                if (ok(failures, e, "answer of add_asyn " + async)) left.insert("cn=" + async);
                c.deleteObject(r);
            }
        }

        // Every other entry goes again, one way or the other.
        if (i % 2 == 1) {
            c.remove(dn.c_str(), &e);
            if (ok(failures, e, "remove " + dn)) left.erase("cn=e" + std::to_string(i));
        }
        if (i % 3 == 0) {
            const std::string adn = "cn=" + async + "," + unit;
            int rid = c.remove_asyn(adn.c_str(), &e);
            if (ok(failures, e, "remove_asyn " + adn)) {
                Results* r = c.getResult(rid, kWait);
                if (r == nullptr) {
                    failures.note("no answer to remove_asyn " + adn);
                } else {
                    r->getRemoveResult(&e);
                    if (ok(failures, e, "answer of remove_asyn " + adn)) left.erase("cn=" + async);
                    c.deleteObject(r);
                }
            }
        }
        if (i % 5 == 0) {
            int sid = c.search_asyn(unit.c_str(), 1, "(cn=*)", nullptr, false, &e);
            if (ok(failures, e, "search_asyn " + unit)) {
                Results* r = c.getResult(sid, kWait);
                if (r == nullptr) {
                    failures.note("no answer to search_asyn");
                } else {
                    SearchResults* found = r->getSearchResult(&e);
                    std::vector<std::string> dns = dnsOf(found);
                    // Only this thread changes its unit: what it left is there, and more
                    // only if it is this very round's asynchronous entry.
                    if (ok(failures, e, "answer of search_asyn") && dns.size() != left.size())
                        failures.note("search_asyn found " + std::to_string(dns.size()) +
                                      " entries, expected " + std::to_string(left.size()));
                    c.deleteObject(r);
                }
            }
        }
    }
    return left;
}

// Runs the four threads on c below the units ou=t<n>,<suffix> and checks what is left.
void runShared(DConnection& c, const std::string& suffix) {
    std::vector<std::string> units;
    for (int t = 0; t < kThreads; ++t) {
        units.push_back("ou=t" + std::to_string(t) + "," + suffix);
        DEntry* entry = unit("t" + std::to_string(t), suffix);
        DException* e = nullptr;
        c.add(entry, &e);
        ASSERT_EQ(report(e), "ok");
        c.deleteObject(entry);
    }
    Failures failures;
    std::vector<std::set<std::string>> left(kThreads);
    auto until = std::chrono::steady_clock::now() + kRunFor;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] { left[t] = work(c, units[t], t, until, failures); });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.count(), 0) << failures.text();

    for (int t = 0; t < kThreads; ++t) {
        SCOPED_TRACE(units[t]);
        EXPECT_FALSE(left[t].empty());
        DException* e = nullptr;
        SearchResults* found = c.search(units[t].c_str(), 1, "(objectClass=*)", nullptr, false, &e);
        std::set<std::string> there;
        for (const std::string& dn : dnsOf(found))
            there.insert(dn.substr(0, dn.find(',')));
        c.deleteObject(found);
        EXPECT_EQ(report(e), "ok");
        EXPECT_EQ(there, left[t]);
    }
}

TEST(ConnectionThreads, FourThreadsShareOneServerListConnection) {
    dirclient::test::ScopedEnv timeout("QDX_NETWORK_TIMEOUT", "5");
    SlapdServer server;
    DConnection c;
    DException* e = nullptr;
    c.connect(server.url().c_str(), 0, SlapdServer::kAdminDn, SlapdServer::kAdminPassword, &e);
    ASSERT_EQ(report(e), "ok");
    runShared(c, SlapdServer::kSuffix);
}

TEST(ConnectionThreads, FourThreadsShareOneFlatFileConnection) {
    ScopedTestDir dir;
    {
        std::ofstream file("shared.ldif");
        file << "dn: o=shared\nobjectClass: organization\no: shared\n\n";
    }
    {
        DConnection c;
        DException* e = nullptr;
        c.connect("FILE:///shared.ldif", 0, &e);
        ASSERT_EQ(report(e), "ok");
        runShared(c, "o=shared");
    }
    FFConnection::empty();
}

}  // namespace
