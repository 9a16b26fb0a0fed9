// DConnection against private slapd servers with large answers: partial answers over a
// size limit, paged and streamed searches (also across a fail-over), pipelined subtree
// removal.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "connection_test_util.h"

using namespace conntest;

namespace {

constexpr const char* kMany = "ou=many,dc=example,dc=com";

// ou=many with "count" people below it, as LDIF.
std::string many(int count) {
    std::string ldif =
        "dn: ou=many,dc=example,dc=com\nobjectClass: organizationalUnit\nou: many\n\n";
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        ldif += "dn: cn=p" + n + ",ou=many,dc=example,dc=com\nobjectClass: person\ncn: p" + n +
                "\nsn: s" + n + "\n\n";
    }
    return ldif;
}

dirclient::test::SlapdOptions limited(int count) {
    dirclient::test::SlapdOptions options;
    options.global_config = "sizelimit 500\n";
    // Pages may go past the limit in total; each page stays within it.
    options.database_config = "limits anonymous size.prtotal=unlimited\n";
    options.extra_ldif = many(count);
    return options;
}

// The DNs a streamed search delivered, each at most once; doubles are counted apart.
struct Collected {
    std::set<std::string> dns;
    int doubled = 0;
    bool take(DEntry* entry) {
        if (!dns.insert(entry->getDN()).second) ++doubled;
        delete entry;
        return true;
    }
};

class LargeResults : public ::testing::Test {
  protected:
    void SetUp() override {
        DException* e = nullptr;
        c.connect(server.url().c_str(), 0, &e);  // anonymous: the server's limit applies
        ASSERT_EQ(report(e), "ok");
    }

    dirclient::test::ScopedEnv timeout_{"QDX_NETWORK_TIMEOUT", "2"};
    SlapdServer server{limited(10000)};
    DConnection c;
};

TEST_F(LargeResults, OverTheSizeLimitThePartialAnswerIsKeptBesideTheCode) {
    DException* e = nullptr;
    int code = -1;
    SearchResults* found =
        c.searchPartial(kMany, 1, "(objectClass=person)", nullptr, false, nullptr, 0, &code, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(code, LDAP_SIZELIMIT_EXCEEDED);
    EXPECT_EQ(dnsOf(found).size(), 500u);
    c.deleteObject(found);

    // The client's own limit cuts the same way.
    SearchConstraints seven(0, 7);
    found = c.searchPartial(kMany, 1, "(objectClass=person)", nullptr, false, &seven, 0, &code, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(code, LDAP_SIZELIMIT_EXCEEDED);
    EXPECT_EQ(dnsOf(found).size(), 7u);
    c.deleteObject(found);

    // The classic search keeps discarding it.
    found = c.search(kMany, 1, "(objectClass=person)", nullptr, false, &e);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(report(e), "609/#4");
}

TEST_F(LargeResults, PagesReadEveryEntryOncePastTheLimit) {
    DException* e = nullptr;
    Collected got;
    const long searches = server.operations("Search");
    DConnection::SearchOutcome outcome = c.searchEach(
        kMany, 1, "(objectClass=person)", nullptr, true, nullptr, 100,
        [&](DEntry* entry) { return got.take(entry); }, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(outcome.ldapCode, 0);
    EXPECT_EQ(outcome.entries, 10000);
    EXPECT_EQ(got.dns.size(), 10000u);
    EXPECT_EQ(got.doubled, 0);
    EXPECT_EQ(server.operations("Search") - searches, 100);  // one request a page
}

TEST_F(LargeResults, TheSinkEndsTheSearch) {
    DException* e = nullptr;
    long seen = 0;
    DConnection::SearchOutcome outcome = c.searchEach(
        kMany, 1, "(objectClass=person)", nullptr, false, nullptr, 100,
        [&](DEntry* entry) {
            delete entry;
            return ++seen < 150;
        },
        &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(outcome.entries, 150);
    // The connection serves the next request at once.
    DEntry* unit = c.read(kMany, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_NE(unit, nullptr);
    c.deleteObject(unit);
}

// On a server list a paged search whose server dies starts again from the first page on
// the next server, and nothing delivered before comes again.
TEST(PagedFailover, RestartsOnTheNextServerWithoutDoubles) {
    dirclient::test::ScopedEnv timeout{"QDX_NETWORK_TIMEOUT", "2"};
    SlapdServer first{limited(1000)};
    SlapdServer second{limited(1000)};
    DConnection c;
    DException* e = nullptr;
    c.connect((first.url() + ";" + second.url()).c_str(), 0, &e);
    ASSERT_EQ(report(e), "ok");
    Collected got;
    DConnection::SearchOutcome outcome = c.searchEach(
        kMany, 1, "(objectClass=person)", nullptr, true, nullptr, 100,
        [&](DEntry* entry) {
            if (got.dns.size() == 250) {
                first.pause();
                first.kill();
            }
            return got.take(entry);
        },
        &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(outcome.ldapCode, 0);
    EXPECT_EQ(outcome.restarts, 1);
    EXPECT_EQ(outcome.entries, 1000);
    EXPECT_EQ(got.dns.size(), 1000u);
    EXPECT_EQ(got.doubled, 0);
}

// ---- pipelined subtree removal ----------------------------------------------------------

class BulkRemoval : public ServerTest {};

TEST_F(BulkRemoval, RemoveTreeReportsWhatItRemoved) {
    const std::string top = std::string("ou=tree,") + SlapdServer::kSuffix;
    addOrFail(unit("tree", SlapdServer::kSuffix));
    for (int u = 0; u < 10; ++u) {
        const std::string branch = "ou=b" + std::to_string(u) + "," + top;
        addOrFail(unit("b" + std::to_string(u), top));
        for (int p = 0; p < 20; ++p)
            addOrFail(person("p" + std::to_string(p), branch));
    }
    DException* e = nullptr;
    long removed = 0, lastProgress = 0;
    std::string failed = "unset";
    c.removeTree(
        top.c_str(), [&](long done) { lastProgress = done; }, &removed, &failed, &e);
    EXPECT_EQ(report(e), "ok");
    EXPECT_EQ(removed, 211);
    EXPECT_EQ(lastProgress, 210);  // the top goes after the last report
    EXPECT_EQ(failed, "");
    EXPECT_FALSE(exists(top));
}

}  // namespace
