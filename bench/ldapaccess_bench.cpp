// LDAP access layer against a local slapd, measured in one run:
//   - a base search 10,000 times through our server-list and plain-session paths against the
//     same search straight on OpenLDAP (overhead ratio, target <= 1.10);
//   - the same search answered by the response cache against the server round trip
//     (target >= 10 times faster);
//   - fail-over time after the current server is killed, and past a silent server (bounded
//     by the network time-out, QDX_NETWORK_TIMEOUT, set to 1 second here).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include <ldap.h>

#include <dirclient/ldap_cext.h>
#include <dirclient/ldap_cext_calls.h>
#include "failover_timing.h"
#include "message_access.h"
#include "plain_session.h"
#include "ratio_reporter.h"
#include "slapd_server.h"

using namespace dirclient::test;
namespace plain = dirclient::ldapaccess::plain;
namespace message = dirclient::ldapaccess::message;

namespace {

constexpr int kSearches = 10000;
const char* const kBase = SlapdServer::kAlice;

SlapdServer& shared_server() {
    static SlapdServer* server = new SlapdServer;
    return *server;
}

void BM_BaseSearch_OpenLDAP(benchmark::State& state) {
    LDAP* ld = nullptr;
    std::string url = "ldap://127.0.0.1:" + std::to_string(shared_server().port());
    ldap_initialize(&ld, url.c_str());
    int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    for (auto _ : state) {
        LDAPMessage* answer = nullptr;
        if (ldap_search_s(ld, kBase, LDAP_SCOPE_BASE, "(objectClass=*)", nullptr, 0, &answer) != 0)
            state.SkipWithError("search failed");
        ldap_msgfree(answer);
    }
    ldap_unbind_ext(ld, nullptr, nullptr);
}

void BM_BaseSearch_ServerList(benchmark::State& state) {
    LDAP_CEXT* s = ldap_cext_open(shared_server().url().c_str(), 0, 1);
    if (s != nullptr && state.range(0)) ldap_cext_enable_cache(s, 600, 0);
    bench::base_search_loop(state, s, kBase);
    ldap_cext_unbind(s);
}

void BM_BaseSearch_PlainSession(benchmark::State& state) {
    std::string host = "127.0.0.1:" + std::to_string(shared_server().port());
    LDAP* ld = plain::open(host.c_str(), 0);
    for (auto _ : state) {
        LDAPMessage* answer = nullptr;
        if (plain::core(ld).search_s(kBase, LDAP_SCOPE_BASE, "(objectClass=*)", nullptr, 0, nullptr,
                                     &answer) != 0)
            state.SkipWithError("search failed");
        message::msgfree(answer);
    }
    plain::unbind(ld);
}

// Time from the kill of the current server to the first successful search on the next.
void BM_FailoverAfterKill(benchmark::State& state) {
    bench::time_failover(state, bench::FailoverCase(), kBase);
}
void BM_FailoverPastSilentServer(benchmark::State& state) {
    bench::FailoverCase past_silent;
    past_silent.silent_first = true;
    bench::time_failover(state, past_silent, kBase);
}

BENCHMARK(BM_BaseSearch_OpenLDAP)->Iterations(kSearches)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BaseSearch_ServerList)->Arg(0)->Iterations(kSearches)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BaseSearch_PlainSession)->Iterations(kSearches)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BaseSearch_ServerList)->Arg(1)->Iterations(kSearches)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FailoverAfterKill)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FailoverPastSilentServer)->Iterations(3)->Unit(benchmark::kMillisecond);

// The ratios the targets are stated in.
void print_ratios(const bench::RunTimes& times) {
    double peer = bench::time_of(times, "BM_BaseSearch_OpenLDAP/iterations:10000");
    double list = bench::time_of(times, "BM_BaseSearch_ServerList/0/iterations:10000");
    double plain_path = bench::time_of(times, "BM_BaseSearch_PlainSession/iterations:10000");
    double cached = bench::time_of(times, "BM_BaseSearch_ServerList/1/iterations:10000");
    if (peer > 0) {
        std::printf("\nratio server-list search / OpenLDAP: %.3f (target <= 1.10)\n", list / peer);
        std::printf("ratio plain-session search / OpenLDAP: %.3f (target <= 1.10)\n",
                    plain_path / peer);
    }
    if (cached > 0)
        std::printf("cache hit speed-up over the server round trip: %.1fx (target >= 10)\n",
                    list / cached);
}

}  // namespace

int main(int argc, char** argv) {
    return bench::run_benchmarks_with_ratios(argc, argv, print_ratios);
}
