// DConnection's asynchronous operations against a private slapd: answers collected by id
// and by -1, with time-outs, and the work getResult finishes (search results, the entry of
// a read, the move of a rename).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "connection_test_util.h"

using namespace conntest;

namespace {

constexpr const char* kPeople = SlapdServer::kPeople;
constexpr const char* kAlice = SlapdServer::kAlice;
constexpr const char* kBob = SlapdServer::kBob;
constexpr int kWait = 5000;  // milliseconds: every wait in these tests is bounded

using ConnectionAsync = ServerTest;

int pending(DConnection& c) {
    DList* list = c.getMsgList();
    return list != nullptr ? list->size() : 0;
}

TEST_F(ConnectionAsync, AddCollectedByMinusOneCarriesItsId) {
    DException* e = nullptr;
    DEntry* carol = person("carol", kPeople);
    int id = c.add_asyn(carol, &e);
    EXPECT_EQ(report(e), "ok");
    ASSERT_NE(id, -1);
    Results* r = c.getResult(-1, kWait);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->getType(), RES_ADD);
    EXPECT_EQ(r->getID(), id);
    r->getAddResult(&e);
    EXPECT_EQ(report(e), "ok");
    c.deleteObject(r);

    id = c.add_asyn(carol, &e);  // again: the server refuses
    EXPECT_EQ(report(e), "ok");
    r = c.getResult(id, kWait);
    ASSERT_NE(r, nullptr);
    r->getAddResult(&e);
    EXPECT_EQ(report(e), "601/#68");
    c.deleteObject(r);
    c.deleteObject(carol);
    EXPECT_EQ(pending(c), 0);
}

TEST_F(ConnectionAsync, SearchAnswersBecomeSearchResults) {
    DException* e = nullptr;
    int found = c.search_asyn(kPeople, 1, "(cn=*)", nullptr, false, &e);
    EXPECT_EQ(report(e), "ok");
    int none = c.search_asyn(kPeople, 1, "(cn=nobody)", nullptr, false, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(pending(c), 2);

    // Collected out of order, by id.
    Results* r = c.getResult(none, kWait);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->getType(), RES_SEARCH);
    SearchResults* results = r->getSearchResult(&e);
    EXPECT_EQ(report(e), "ok");
    ASSERT_NE(results, nullptr);
    ASSERT_EQ(results->size(), 1);
    EXPECT_EQ(results->firstElement()->getType(), DELEMENT_EXCEPTION);
    c.deleteObject(r);

    r = c.getResult(found, kWait);
    ASSERT_NE(r, nullptr);
    results = r->getSearchResult(&e);
    EXPECT_EQ(report(e), "ok");
    std::vector<std::string> dns = dnsOf(results);
    std::sort(dns.begin(), dns.end());
    EXPECT_EQ(dns, (std::vector<std::string>{kAlice, kBob}));
    c.deleteObject(r);
    EXPECT_EQ(pending(c), 0);

    int failing = c.search_asyn("ou=nowhere,dc=example,dc=com", 2, "(cn=*)", nullptr, false, &e);
    r = c.getResult(failing, kWait);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->getSearchResult(&e), nullptr);
    EXPECT_EQ(report(e), "609/#32");
    c.deleteObject(r);

    EXPECT_EQ(c.search_asyn(kPeople, -1, "(cn=*)", nullptr, false, &e), -1);
    EXPECT_EQ(report(e), "609/ERROR: invalid search option");
    EXPECT_EQ(pending(c), 0);
}

TEST_F(ConnectionAsync, ReadHandsOverTheEntryOnce) {
    DException* e = nullptr;
    DList names;
    names.append(const_cast<char*>("mail"), DLIST_STRING, true);
    int id = c.read_asyn(kAlice, &names, &e);
    EXPECT_EQ(report(e), "ok");
    Results* r = c.getResult(id, kWait);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->getType(), RES_READ);
    DEntry* alice = r->getReadResult(&e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(valuesOf(alice, "mail"), "alice@example.com");
    // The search results refer to the same entry without owning it.
    DException* unused = nullptr;
    EXPECT_EQ(r->getSearchResult(&unused), nullptr);
    EXPECT_EQ(report(unused), "609/ERROR: asynchronous operation error");
    c.deleteObject(r);  // releases the entry exactly once (ASan checks)

    id = c.read_asyn("cn=nobody,ou=people,dc=example,dc=com", &e);
    r = c.getResult(id, kWait);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->getReadResult(&e), nullptr);
    EXPECT_EQ(report(e), "609/#32");
    c.deleteObject(r);
}

TEST_F(ConnectionAsync, RenameWithANewSuperiorMovesWhenCollected) {
    addOrFail(unit("staff", SlapdServer::kSuffix));
    const std::string staff = std::string("ou=staff,") + SlapdServer::kSuffix;
    DException* e = nullptr;
    int id = c.rename_asyn(kBob, "cn=bobby", staff.c_str(), true, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(pending(c), 1);
    Results* r = c.getResult(id, kWait);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->getType(), RES_RENAME);
    r->getRenameResult(&e);
    EXPECT_EQ(report(e), "ok");
    c.deleteObject(r);
    EXPECT_EQ(pending(c), 0);
    EXPECT_TRUE(exists("cn=bobby," + staff));
    EXPECT_FALSE(exists("cn=bobby,ou=people,dc=example,dc=com"));

    id = c.rename_asyn(kAlice, "cn=alicia", true, &e);  // in place: nothing to record
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(pending(c), 0);
    r = c.getResult(id, kWait);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->getType(), RES_RENAME);
    r->getRenameResult(&e);
    EXPECT_EQ(report(e), "ok");
    c.deleteObject(r);

    EXPECT_EQ(c.rename_asyn(kPeople, "ou=folk", staff.c_str(), true, &e), -1);
    EXPECT_EQ(report(e), "611/ERROR: entry is not a leaf");
}

TEST_F(ConnectionAsync, OtherOperationsCarryTheirTypesAndCodes) {
    DException* e = nullptr;
    std::vector<std::pair<int, int>> sent;  // id, expected type
    Modification mod(MOD_OP_REPLACE, new (HEAP) Attribute("sn", "Pleasance"));
    sent.emplace_back(c.modify_asyn(kAlice, &mod, &e), RES_MODIFY);
    EXPECT_EQ(report(e), "ok");
    sent.emplace_back(c.remove_asyn(kPeople, &e), RES_REMOVE);
    EXPECT_EQ(report(e), "ok");
    sent.emplace_back(c.remove_asyn(kBob, &e), RES_REMOVE);
    EXPECT_EQ(report(e), "ok");

    std::set<int> ids;
    for (const auto& [id, type] : sent)
        ids.insert(id);
    std::vector<std::string> reports;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        Results* r = c.getResult(-1, kWait);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(ids.erase(r->getID()), 1u);
        for (const auto& [id, type] : sent) {
            if (id == r->getID()) {
                EXPECT_EQ(r->getType(), type);
            }
        }
        if (r->getType() == RES_MODIFY) r->getModifyResult(&e);
        if (r->getType() == RES_REMOVE) r->getRemoveResult(&e);
        reports.push_back(std::to_string(r->getID()) + ":" + report(e));
        c.deleteObject(r);
    }
    // The delete of a parent: 605 here, where the synchronous remove says 614.
    std::vector<std::string> expected = {std::to_string(sent[0].first) + ":ok",
                                         std::to_string(sent[1].first) + ":605/#66",
                                         std::to_string(sent[2].first) + ":ok"};
    std::sort(reports.begin(), reports.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(reports, expected);
    EXPECT_FALSE(exists(kBob));
}

TEST_F(ConnectionAsync, AnAsynchronousBindSetsTheFlagWhenCollected) {
    DException* e = nullptr;
    c.setIsAuthenticated(false);
    int id = c.authenticate_asyn(SlapdServer::kAlice, SlapdServer::kAlicePassword, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_FALSE(c.isAuthenticated());
    Results* r = c.getResult(id, kWait);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->getType(), RES_AUTHENTICATE);
    r->getAuthenticateResult(&e);
    EXPECT_EQ(report(e), "ok");
    c.deleteObject(r);
    EXPECT_TRUE(c.isAuthenticated());

    id = c.authenticate_asyn(SlapdServer::kAlice, "wrong", &e);
    r = c.getResult(id, kWait);
    ASSERT_NE(r, nullptr);
    r->getAuthenticateResult(&e);
    EXPECT_EQ(report(e), "602/#49");
    c.deleteObject(r);
}

TEST_F(ConnectionAsync, WaitsAreBoundedByTheTimeOut) {
    // An id no request of this connection has: nothing will come.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(c.getResult(4242, 1500), nullptr);
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(waited, 1.4);
    EXPECT_LT(waited, 4.0);
}

// Requests never collected are released with the connection (LeakSanitizer checks).
TEST_F(ConnectionAsync, UncollectedRequestsAreReleasedWithTheConnection) {
    addOrFail(unit("staff", SlapdServer::kSuffix));
    DException* e = nullptr;
    DList names;
    names.append(const_cast<char*>("cn"), DLIST_STRING, true);
    EXPECT_NE(c.search_asyn(kPeople, 2, "(cn=*)", &names, false, &e), -1);
    EXPECT_NE(c.read_asyn(kAlice, &e), -1);
    EXPECT_NE(c.rename_asyn(kBob, "cn=bobby", "ou=staff,dc=example,dc=com", true, &e), -1);
    EXPECT_EQ(pending(c), 3);
    c.setMsgList(nullptr);
    EXPECT_NE(c.search_asyn(kPeople, 2, "(cn=*)", nullptr, false, &e), -1);
    EXPECT_EQ(report(e), "ok");
}

}  // namespace
