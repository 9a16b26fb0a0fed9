// The modern interface on a flat file: what it reads, writes and throws, the streamed search
// (stopped early, broken by an exception, guarding its connection) and the classic sort.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "connection_test_support.h"
#include "modern.h"

namespace {

using dirclient::Connection;
using dirclient::Entry;
using dirclient::Error;
using dirclient::Modify;
using dirclient::Scope;

class ModernFlatFile : public conntest::FlatFileTest {
  protected:
    std::vector<std::string> dns(Scope scope, const char* base = "o=x") {
        std::vector<std::string> out;
        for (const Entry& e : conn.searchAll(base, scope))
            out.emplace_back(e.dn());
        return out;
    }

    Connection conn{"FILE:///dir.ldif"};
};

TEST_F(ModernFlatFile, EntriesReadAsTextAndBytes) {
    std::optional<Entry> one = conn.read("cn=1,ou=a,o=x");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->dn(), "cn=1,ou=a,o=x");
    EXPECT_EQ((*one)["SN"].first(), "one");  // names ignore case
    EXPECT_FALSE((*one)["mail"]);
    EXPECT_EQ((*one)["mail"].first(), "");
    std::vector<std::string> names;
    for (dirclient::Attribute a : one->attributes())
        names.emplace_back(a.name());
    EXPECT_EQ(names.size(), one->size());

    // A value with a NUL byte is kept whole, as bytes.
    const std::string raw("a\0b", 3);
    Entry built("cn=3,ou=a,o=x");
    built.add("cn", {"3", "three"}).add("sn", "x").add("objectclass", "person").add("cn", raw);
    std::vector<std::string> cns;
    for (std::string_view v : built["cn"].values())
        cns.emplace_back(v);
    EXPECT_EQ(cns, (std::vector<std::string>{"3", "three", raw}));
    std::size_t sizes = 0;
    for (dirclient::Bytes b : built["cn"].bytes())
        sizes += b.size();
    EXPECT_EQ(sizes, 1u + 5u + 3u);
    EXPECT_TRUE(built.remove("sn"));
    EXPECT_FALSE(built.has("sn"));
}

TEST_F(ModernFlatFile, WritesReachTheDirectory) {
    conn.add(Entry("cn=3,ou=a,o=x").add("objectclass", "person").add("cn", "3").add("sn", "c"));
    conn.modify(Modify("cn=3,ou=a,o=x")
                    .replace("sn", "three")
                    .add("description", {"d1", "d2"})
                    .remove("description", "d1"));
    EXPECT_TRUE(conn.compare("cn=3,ou=a,o=x", "sn", "three"));
    EXPECT_FALSE(conn.compare("cn=3,ou=a,o=x", "sn", "c"));
    EXPECT_EQ(conn.read("cn=3,ou=a,o=x")->operator[]("description").first(), "d2");

    conn.rename("cn=3,ou=a,o=x", "cn=4");
    conn.move("cn=4,ou=a,o=x", "ou=b,o=x");
    EXPECT_FALSE(conn.read("cn=4,ou=a,o=x"));
    EXPECT_EQ(dns(Scope::OneLevel, "ou=b,o=x"), std::vector<std::string>{"cn=4,ou=b,o=x"});
    conn.remove("cn=4,ou=b,o=x");
    conn.removeTree("ou=a,o=x");
    EXPECT_EQ(dns(Scope::Subtree), (std::vector<std::string>{"o=x", "ou=b,o=x"}));
    conn.close();
    EXPECT_EQ(file().find("cn=1"), std::string::npos);
}

TEST_F(ModernFlatFile, FailuresThrowTheClassicCodes) {
    struct Row {
        const char* what;
        std::function<void()> call;
        int code;
        int ldapCode;
    } rows[] = {
        {"add existing", [&] { conn.add(Entry("ou=b,o=x").add("ou", "b")); }, DEXC_ADD,
         LDAP_ALREADY_EXISTS},
        {"remove non-leaf", [&] { conn.remove("ou=a,o=x"); }, DEXC_REMOVE,
         LDAP_NOT_ALLOWED_ON_NONLEAF},
        {"compare missing", [&] { conn.compare("cn=9,o=x", "cn", "9"); }, DEXC_COMPARE,
         LDAP_NO_SUCH_OBJECT},
        {"search missing base", [&] { conn.searchAll("ou=z,o=x", Scope::Subtree); }, DEXC_SEARCH,
         LDAP_NO_SUCH_OBJECT},
        // A NUL byte would cut the DN, filter or name short: another entry would be hit.
        {"NUL in a DN", [&] { conn.remove(std::string_view("cn=1,ou=a,o=x\0,o=y", 18)); }, 0,
         LDAP_PARAM_ERROR},
        {"NUL in a filter",
         [&] { conn.searchAll("o=x", Scope::Subtree, std::string_view("(cn=1)\0(cn=2)", 13)); }, 0,
         LDAP_PARAM_ERROR},
        {"NUL in a modified name",
         [&] { conn.modify(Modify("cn=1,ou=a,o=x").remove(std::string_view("sn\0x", 4))); }, 0,
         LDAP_PARAM_ERROR},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        try {
            row.call();
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), row.code) << e.what();
            EXPECT_EQ(e.ldapCode(), row.ldapCode) << e.what();
            EXPECT_NE(std::string(e.what()).find(e.info()), std::string::npos);
        }
    }
    EXPECT_TRUE(conn.read("cn=1,ou=a,o=x"));
    // Nothing found is no failure; nor is a missing entry on read.
    EXPECT_TRUE(conn.searchAll("o=x", Scope::Subtree, "(cn=nobody)").empty());
    EXPECT_FALSE(conn.read("cn=9,o=x"));
}

TEST_F(ModernFlatFile, StreamDeliversEntriesBesideOtherCalls) {
    std::vector<std::string> streamed;
    for (Entry& e : conn.search("o=x", Scope::Subtree, "(objectclass=*)", {"cn"}))
        streamed.emplace_back(e.dn());
    EXPECT_EQ(streamed, dns(Scope::Subtree));

    // A stream keeps its connection alive.
    dirclient::SearchStream kept = [] {
        Connection other("FILE:///dir.ldif");
        return other.search("o=x", Scope::Subtree);
    }();
    std::size_t count = 0;
    for (Entry& e : kept)
        count += e.dn().empty() ? 0 : 1;
    EXPECT_EQ(count, streamed.size());

    {
        dirclient::SearchStream open = conn.search("o=x", Scope::Subtree);
        auto first = open.begin();
        ASSERT_NE(first, open.end());
        // Calls go on beside the stream; only a close would take the connection from it.
        EXPECT_THROW(conn.close(), Error);
        conn.remove("cn=2,ou=a,o=x");
        EXPECT_EQ(conn.searchAll("o=x", Scope::Base).size(), 1u);
        while (first != open.end())
            ++first;
    }

    // An exception out of the loop's body stops the search and frees what it held.
    EXPECT_THROW(
        {
            for (Entry& e : conn.search("o=x", Scope::Subtree))
                if (e.dn() == "ou=a,o=x") throw std::runtime_error("stop");
        },
        std::runtime_error);
    EXPECT_EQ(dns(Scope::Base).size(), 1u);
}

TEST_F(ModernFlatFile, SortsAsTheClassicComparator) {
    dirclient::SearchResult found = conn.searchAll("o=x", Scope::Subtree, "(objectclass=person)");
    found.sort({"sn"}, false);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0]["sn"].first(), "two");
    found.sort({""});  // by DN
    EXPECT_EQ(found[0].dn(), "cn=1,ou=a,o=x");
    found.sort({"objectclass", "sn"}, false);
    EXPECT_EQ(found[0].dn(), "cn=2,ou=a,o=x");
}

}  // namespace
