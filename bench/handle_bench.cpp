// The directory handle's search against a local slapd, measured in one run:
//   - a base search 10,000 times through qdx_ldap_search_s and qdx_ldap_msgfree, on a plain
//     handle and on a server-list handle, against ldap_search_s and ldap_msgfree straight on
//     OpenLDAP (overhead ratio, target <= 1.10);
//   - the same search answered by the response cache through the handle, against the server
//     round trip (target >= 10 times faster).
// Each figure is the median of several repetitions: the machine may be shared.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include <ldap.h>

#include "directory_handle.h"
#include "ldap_handle_calls.h"
#include "object_memory.h"
#include "slapd_server.h"

using dirclient::test::SlapdServer;

namespace {

constexpr int kSearches = 10000;
constexpr int kRepetitions = 5;
const char* const kBase = SlapdServer::kAlice;

SlapdServer& shared_server() {
    static SlapdServer* server = new SlapdServer;
    return *server;
}

void BM_OpenLDAP(benchmark::State& state) {
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

// Arguments: the handle kind, and 1 to answer from the cache.
void BM_Handle(benchmark::State& state) {
    std::string host = state.range(0) == QDX_LDAP_PLAIN
                           ? "127.0.0.1:" + std::to_string(shared_server().port())
                           : shared_server().url();
    DS_LDAP* h = qdx_ldap_open(host.c_str(), 0);
    if (h == nullptr) {
        state.SkipWithError("open failed");
        return;
    }
    if (state.range(1)) qdx_ldap_enable_cache(h, 600, 0);
    for (auto _ : state) {
        LDAPMessage* answer = nullptr;
        if (qdx_ldap_search_s(h, kBase, LDAP_SCOPE_BASE, "(objectClass=*)", nullptr, 0, &answer) !=
            0)
            state.SkipWithError("search failed");
        qdx_ldap_msgfree(answer);
    }
    qdx_ldap_unbind(h);
    check_free(h);
}

BENCHMARK(BM_OpenLDAP)->Iterations(kSearches)->Repetitions(kRepetitions);
BENCHMARK(BM_Handle)
    ->Args({QDX_LDAP_PLAIN, 0})
    ->Args({QDX_LDAP_SERVER_LIST, 0})
    ->Args({QDX_LDAP_PLAIN, 1})
    ->Args({QDX_LDAP_SERVER_LIST, 1})
    ->Iterations(kSearches)
    ->Repetitions(kRepetitions);

// Prints the ratios the targets are stated in after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians_[run.run_name.function_name + run.run_name.args] =
                    run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        double peer = medians_["BM_OpenLDAP"];
        double plain = medians_["BM_Handle1/0"];
        double list = medians_["BM_Handle2/0"];
        double plain_hit = medians_["BM_Handle1/1"];
        double list_hit = medians_["BM_Handle2/1"];
        std::printf("\nmedians of %d x %d searches (microseconds per search)\n", kRepetitions,
                    kSearches);
        std::printf("  OpenLDAP ldap_search_s:            %8.2f\n", peer * 1e-3);
        std::printf("  qdx_ldap_search_s, plain handle:   %8.2f  ratio %.3f (target <= 1.10)\n",
                    plain * 1e-3, plain / peer);
        std::printf("  qdx_ldap_search_s, server list:    %8.2f  ratio %.3f (target <= 1.10)\n",
                    list * 1e-3, list / peer);
        std::printf(
            "  cache hit, plain handle:           %8.2f  %.1fx faster than the round trip\n",
            plain_hit * 1e-3, plain / plain_hit);
        std::printf(
            "  cache hit, server list:            %8.2f  %.1fx faster than the round trip\n",
            list_hit * 1e-3, list / list_hit);
    }

  private:
    std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
