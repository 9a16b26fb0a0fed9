// TLS sessions against a local slapd with certificates made by the program, in one run:
//   - a base search 5,000 times over LDAPS through our server-list path and a plain session
//     with StartTLS, against the same search straight on OpenLDAP over LDAPS (overhead
//     ratio, target <= 1.10), and against our server-list path in clear (the cost of TLS);
//   - fail-over time between two LDAPS servers after the current one is killed, and after
//     it is stopped with SIGSTOP (bounded by the response time-out, set to 1 second here,
//     and the network time-out, 1 second).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include <ldap.h>

#include <dirclient/ldap_cext.h>
#include <dirclient/ldap_cext_calls.h>
#include "failover_timing.h"
#include "message_access.h"
#include "plain_session.h"
#include "ratio_reporter.h"
#include "slapd_server.h"
#include "tls_certificates.h"

using namespace dirclient::test;
namespace plain = dirclient::ldapaccess::plain;
namespace message = dirclient::ldapaccess::message;

namespace {

constexpr int kSearches = 5000;
const char* const kBase = SlapdServer::kAlice;

TlsCertificates& certificates() {
    static TlsCertificates* made = new TlsCertificates;
    return *made;
}

SlapdOptions with_tls() {
    SlapdOptions options;
    options.tls = &certificates();
    return options;
}

SlapdServer& shared_server() {
    static SlapdServer* server = new SlapdServer(with_tls());
    return *server;
}

void BM_LdapsBaseSearch_OpenLDAP(benchmark::State& state) {
    LDAP* ld = nullptr;
    std::string url = "ldaps://127.0.0.1:" + std::to_string(shared_server().tls_port());
    ldap_initialize(&ld, url.c_str());
    int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    for (auto _ : state) {
        LDAPMessage* answer = nullptr;
        if (ldap_search_ext_s(ld, kBase, LDAP_SCOPE_BASE, "(objectClass=*)", nullptr, 0, nullptr,
                              nullptr, nullptr, 0, &answer) != 0)
            state.SkipWithError("search failed");
        ldap_msgfree(answer);
    }
    ldap_unbind_ext(ld, nullptr, nullptr);
}

// Arg 1: over LDAPS; 0: in clear.
void BM_BaseSearch_ServerList(benchmark::State& state) {
    std::string url = state.range(0) ? shared_server().tls_url() : shared_server().url();
    LDAP_CEXT* s = ldap_cext_open(url.c_str(), 0, LDAP_CEXT_FAILOVER);
    bench::base_search_loop(state, s, kBase);
    ldap_cext_unbind(s);
}

void BM_StartTlsBaseSearch_PlainSession(benchmark::State& state) {
    std::string host = "127.0.0.1:" + std::to_string(shared_server().port());
    LDAP* ld = plain::open(host.c_str(), 0, dirclient::ldapaccess::StartTls::kDemand);
    if (ld == nullptr) return state.SkipWithError("open failed");
    for (auto _ : state) {
        LDAPMessage* answer = nullptr;
        if (plain::core(ld).search_s(kBase, LDAP_SCOPE_BASE, "(objectClass=*)", nullptr, 0, nullptr,
                                     &answer) != 0)
            state.SkipWithError("search failed");
        message::msgfree(answer);
    }
    plain::unbind(ld);
}

// Time from the loss of the current LDAPS server (killed, or stopped) to the first
// successful search on the next.
void ldaps_failover(benchmark::State& state, bool stop) {
    bench::FailoverCase ldaps;
    ldaps.options = with_tls();
    ldaps.tls = true;
    ldaps.stop = stop;
    bench::time_failover(state, ldaps, kBase);
}

void BM_LdapsFailoverAfterKill(benchmark::State& state) {
    ldaps_failover(state, false);
}
void BM_LdapsFailoverAfterStop(benchmark::State& state) {
    ldaps_failover(state, true);
}

BENCHMARK(BM_LdapsBaseSearch_OpenLDAP)->Iterations(kSearches)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BaseSearch_ServerList)->Arg(1)->Iterations(kSearches)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StartTlsBaseSearch_PlainSession)->Iterations(kSearches)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BaseSearch_ServerList)->Arg(0)->Iterations(kSearches)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LdapsFailoverAfterKill)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LdapsFailoverAfterStop)->Iterations(3)->Unit(benchmark::kMillisecond);

void print_ratios(const bench::RunTimes& times) {
    double peer = bench::time_of(times, "BM_LdapsBaseSearch_OpenLDAP/iterations:5000");
    double tls_list = bench::time_of(times, "BM_BaseSearch_ServerList/1/iterations:5000");
    double starttls = bench::time_of(times, "BM_StartTlsBaseSearch_PlainSession/iterations:5000");
    double clear = bench::time_of(times, "BM_BaseSearch_ServerList/0/iterations:5000");
    if (peer > 0) {
        std::printf(
            "\nratio LDAPS server-list search / OpenLDAP over LDAPS: %.3f (target <= 1.10)\n",
            tls_list / peer);
        std::printf(
            "ratio StartTLS plain-session search / OpenLDAP over LDAPS: %.3f (target <= "
            "1.10)\n",
            starttls / peer);
    }
    if (clear > 0)
        std::printf("cost of TLS: LDAPS / LDAP server-list search: %.3f\n", tls_list / clear);
}

}  // namespace

int main(int argc, char** argv) {
    // libldap reads its TLS settings once, when first used.
    setenv("LDAPTLS_CACERT", certificates().ca().c_str(), 1);
    return bench::run_benchmarks_with_ratios(argc, argv, print_ratios);
}
