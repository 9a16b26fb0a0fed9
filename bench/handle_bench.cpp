// The directory handle's search against a local slapd, measured in one run:
//   - a base search 10,000 times through qdx_ldap_search_s and qdx_ldap_msgfree, on a plain
//     handle and on a server-list handle, against ldap_search_s and ldap_msgfree straight on
//     OpenLDAP (overhead ratio, target <= 1.10). The three paths take turns in rounds of 500
//     searches, so that a busy machine slows them alike;
//   - the same search answered by the response cache through the handle, against the server
//     round trip (target >= 10 times faster).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <string>

#include <ldap.h>

#include <dirclient/directory_handle.h>
#include <dirclient/ldap_handle_calls.h>
#include <dirclient/object_memory.h>
#include "ratio_reporter.h"
#include "slapd_server.h"

using dirclient::test::SlapdServer;

namespace {

constexpr int kSearches = 10000;
constexpr int kRound = 500;
const char* const kBase = SlapdServer::kAlice;

SlapdServer& shared_server() {
    static SlapdServer* server = new SlapdServer;
    return *server;
}

DS_LDAP* open_handle(int kind) {
    std::string host = kind == QDX_LDAP_PLAIN
                           ? "127.0.0.1:" + std::to_string(shared_server().port())
                           : shared_server().url();
    return qdx_ldap_open(host.c_str(), 0);
}

void close_handle(DS_LDAP* h) {
    qdx_ldap_unbind(h);
    check_free(h);
}

bool handle_search(DS_LDAP* h) {
    LDAPMessage* answer = nullptr;
    int rc = qdx_ldap_search_s(h, kBase, LDAP_SCOPE_BASE, "(objectClass=*)", nullptr, 0, &answer);
    qdx_ldap_msgfree(answer);
    return rc == 0;
}

double process_seconds() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
}

double wall_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Wall-clock and processor seconds spent in one path, summed over its rounds.
struct PathTime {
    double wall = 0;
    double cpu = 0;
    bool ok = true;

    void round(const std::function<bool()>& search) {
        double w = wall_seconds(), c = process_seconds();
        for (int i = 0; i < kRound; ++i)
            ok = search() && ok;
        wall += wall_seconds() - w;
        cpu += process_seconds() - c;
    }
};

void BM_BaseSearchTakingTurns(benchmark::State& state) {
    LDAP* ld = nullptr;
    std::string url = "ldap://127.0.0.1:" + std::to_string(shared_server().port());
    ldap_initialize(&ld, url.c_str());
    int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    DS_LDAP* plain = open_handle(QDX_LDAP_PLAIN);
    DS_LDAP* list = open_handle(QDX_LDAP_SERVER_LIST);
    if (plain == nullptr || list == nullptr) {
        state.SkipWithError("open failed");
        return;
    }
    auto openldap_search = [ld] {
        LDAPMessage* answer = nullptr;
        int rc = ldap_search_s(ld, kBase, LDAP_SCOPE_BASE, "(objectClass=*)", nullptr, 0, &answer);
        ldap_msgfree(answer);
        return rc == 0;
    };
    PathTime peer, ours_plain, ours_list;
    for (auto _ : state) {
        for (int done = 0; done < kSearches; done += kRound) {
            peer.round(openldap_search);
            ours_plain.round([plain] { return handle_search(plain); });
            ours_list.round([list] { return handle_search(list); });
        }
    }
    if (!peer.ok || !ours_plain.ok || !ours_list.ok) state.SkipWithError("search failed");
    double per = 1e6 / (kSearches * static_cast<double>(state.iterations()));
    state.counters["openldap_us"] = peer.wall * per;
    state.counters["plain_us"] = ours_plain.wall * per;
    state.counters["list_us"] = ours_list.wall * per;
    state.counters["plain_ratio"] = ours_plain.wall / peer.wall;
    state.counters["list_ratio"] = ours_list.wall / peer.wall;
    state.counters["plain_cpu_ratio"] = ours_plain.cpu / peer.cpu;
    state.counters["list_cpu_ratio"] = ours_list.cpu / peer.cpu;
    close_handle(list);
    close_handle(plain);
    ldap_unbind_ext(ld, nullptr, nullptr);
}

// The round trip, and the same search answered by the cache; argument: the handle kind.
void BM_RoundTrip(benchmark::State& state) {
    DS_LDAP* h = open_handle(static_cast<int>(state.range(0)));
    for (auto _ : state)
        if (!handle_search(h)) state.SkipWithError("search failed");
    close_handle(h);
}

void BM_CacheHit(benchmark::State& state) {
    DS_LDAP* h = open_handle(static_cast<int>(state.range(0)));
    qdx_ldap_enable_cache(h, 600, 0);
    for (auto _ : state)
        if (!handle_search(h)) state.SkipWithError("search failed");
    close_handle(h);
}

BENCHMARK(BM_BaseSearchTakingTurns)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RoundTrip)
    ->Arg(QDX_LDAP_PLAIN)
    ->Arg(QDX_LDAP_SERVER_LIST)
    ->Iterations(kSearches)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CacheHit)
    ->Arg(QDX_LDAP_PLAIN)
    ->Arg(QDX_LDAP_SERVER_LIST)
    ->Iterations(kSearches)
    ->Unit(benchmark::kMicrosecond);

// The cache speed-ups (the search ratios are the benchmarks' counters).
void print_ratios(const bench::RunTimes& times) {
    for (int kind : {QDX_LDAP_PLAIN, QDX_LDAP_SERVER_LIST}) {
        std::string args = "/" + std::to_string(kind) + "/iterations:" + std::to_string(kSearches);
        double trip = bench::time_of(times, "BM_RoundTrip" + args);
        double hit = bench::time_of(times, "BM_CacheHit" + args);
        std::printf("cache hit, %s handle: %.1fx faster than the round trip (target >= 10)\n",
                    kind == QDX_LDAP_PLAIN ? "plain" : "server-list", trip / hit);
    }
}

}  // namespace

int main(int argc, char** argv) {
    return bench::run_benchmarks_with_ratios(argc, argv, print_ratios);
}
