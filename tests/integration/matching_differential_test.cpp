// The flat file's LDAP matching against slapd: the same generated entries in both, the
// same few hundred filters, and the DNs each returns compared. Every difference is
// printed; docs/matching.md explains the ones that remain.

#include <gtest/gtest.h>

#include <sys/time.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include <dirclient/dexception.h>
#include <dirclient/dn_normalize.h>
#include <dirclient/ffconnection.h>
#include <dirclient/object_memory.h>
#include <dirclient/search_results.h>
#include "matching_corpus.h"
#include "slapd_server.h"

namespace {

using dirclient::test::SlapdServer;

using DnSet = std::set<std::string>;

std::string folded(const char* dn) {
    char* text = dn_normalize_case(dn);
    std::string out = text != nullptr ? text : "";
    check_free(text);
    return out;
}

struct LdapDeleter {
    void operator()(LDAP* ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }
};
struct MessageDeleter {
    void operator()(LDAPMessage* m) const { ldap_msgfree(m); }
};

class ServerSide {
  public:
    explicit ServerSide(const std::string& url) {
        LDAP* ld = nullptr;
        if (ldap_initialize(&ld, url.c_str()) != LDAP_SUCCESS) throw std::runtime_error(url);
        ld_.reset(ld);
        int version = LDAP_VERSION3;
        ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
        timeval limit{10, 0};
        ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &limit);
        ldap_set_option(ld, LDAP_OPT_TIMEOUT, &limit);
    }

    // The DNs found, or {"error N"}.
    DnSet search(const std::string& base, const std::string& filter) {
        char noAttributes[] = "1.1";
        char* attrs[] = {noAttributes, nullptr};
        timeval limit{10, 0};
        LDAPMessage* raw = nullptr;
        int rc = ldap_search_ext_s(ld_.get(), base.c_str(), LDAP_SCOPE_SUBTREE, filter.c_str(),
                                   attrs, 1, nullptr, nullptr, &limit, 0, &raw);
        std::unique_ptr<LDAPMessage, MessageDeleter> result(raw);
        if (rc != LDAP_SUCCESS) return {"error " + std::to_string(rc)};
        DnSet dns;
        for (LDAPMessage* e = ldap_first_entry(ld_.get(), raw); e != nullptr;
             e = ldap_next_entry(ld_.get(), e)) {
            char* dn = ldap_get_dn(ld_.get(), e);
            dns.insert(folded(dn));
            ldap_memfree(dn);
        }
        return dns;
    }

  private:
    std::unique_ptr<LDAP, LdapDeleter> ld_;
};

DnSet fileSearch(FFConnection& c, const std::string& base, const std::string& filter) {
    DException* e = nullptr;
    std::unique_ptr<SearchResults> found(
        c.search(base.c_str(), 2, filter.c_str(), nullptr, true, &e));
    std::unique_ptr<DException> failure(e);
    if (failure != nullptr) {
        if (failure->getLdapErrorCode() == LDAP_NO_SUCH_OBJECT) return {};
        return {std::string("error ") + failure->getInfoSMsg()};
    }
    DnSet dns;
    for (DListItem* item = found->getValues() ? found->getValues()->getHead() : nullptr;
         item != nullptr; item = item->getNextItem()) {
        dns.insert(folded(static_cast<DEntry*>(item->getValue())->getDN()));
    }
    return dns;
}

std::string listed(const DnSet& dns) {
    std::string out;
    for (const std::string& dn : dns)
        out += " [" + dn + "]";
    return out;
}

TEST(MatchingDifferential, FlatFileAgreesWithTheServerOnGeneratedData) {
    auto corpus = dirclient::test::make_matching_corpus(20261208, 250, SlapdServer::kSuffix);
    dirclient::test::SlapdOptions options;
    options.global_config = "include /etc/ldap/schema/nis.schema\n";
    options.extra_ldif = corpus.ldif;
    SlapdServer server(options);
    ServerSide slapd(server.url());

    dirclient::test::TempDir dir("matching");
    std::string path = dir.file("data.ldif");
    // The flat file places an entry only below its parent, so the suffix gets one.
    dirclient::test::write_file(path, "dn: dc=com\nobjectClass: domain\ndc: com\n\n" +
                                          std::string(SlapdServer::kSeed) + "\n" + corpus.ldif);
    FFConnection::empty();
    FFConnection file;
    DException* e = nullptr;
    file.connect(("FILE:///" + path).c_str(), 0, &e);
    ASSERT_EQ(e, nullptr) << e->getInfoSMsg();
    ASSERT_TRUE(file.setMatching(FF_MATCH_LDAP));

    int agree = 0, nonEmpty = 0;
    for (const std::string& filter : corpus.filters) {
        DnSet expected = slapd.search(corpus.base, filter);
        DnSet got = fileSearch(file, corpus.base, filter);
        if (!expected.empty() && expected.begin()->rfind("error", 0) != 0) ++nonEmpty;
        if (expected == got) {
            ++agree;
            continue;
        }
        DnSet onlyServer, onlyFile;
        std::set_difference(expected.begin(), expected.end(), got.begin(), got.end(),
                            std::inserter(onlyServer, onlyServer.end()));
        std::set_difference(got.begin(), got.end(), expected.begin(), expected.end(),
                            std::inserter(onlyFile, onlyFile.end()));
        std::printf("DIFFERENCE %s\n  server only:%s\n  file only:%s\n", filter.c_str(),
                    listed(onlyServer).c_str(), listed(onlyFile).c_str());
    }
    double share = 100.0 * agree / static_cast<double>(corpus.filters.size());
    std::printf("agreement: %d of %zu filters (%.1f%%), %d with entries on the server\n", agree,
                corpus.filters.size(), share, nonEmpty);
    EXPECT_GE(share, 99.0);
    EXPECT_GT(nonEmpty, static_cast<int>(corpus.filters.size()) / 3);  // the filters find things
    file.disconnect(nullptr);
    FFConnection::empty();
}

}  // namespace
