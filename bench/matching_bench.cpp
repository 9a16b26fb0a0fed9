// A subtree search with a substring filter over 100k flat-file entries, once with the
// default word matcher and once with LDAP matching, in the same run; prints the ratio
// (target: LDAP matching at most 1.5x the default). Run by hand:
//   build/release/bin/matching_bench

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include <dirclient/dexception.h>
#include <dirclient/ffconnection.h>
#include <dirclient/search_results.h>
#include "ratio_reporter.h"

namespace {

constexpr int kEntries = 100000;
// A broad filter (many entries to copy out) and one that finds nothing, where the
// matching is all the work.
const char* const kFilters[] = {"(cn=*son*)", "(cn=*zq*)"};

const char* const kGiven[] = {"John", "Mary", "Élodie", "Anders", "Wilson", "Zoë", "Karl"};
const char* const kSurname[] = {"Jensen", "Smith", "Madison", "Müller", "Johnson", "Doe"};

// Writes the entries once and connects every later connection to them.
FFConnection& store() {
    static FFConnection* connection = [] {
        std::string path = "/tmp/dirclient-matching-bench-" + std::to_string(getpid()) + ".ldif";
        FILE* file = std::fopen(path.c_str(), "w");
        std::fprintf(file, "dn: o=bench\nobjectClass: organization\no: bench\n\n");
        for (int i = 0; i < kEntries; ++i) {
            const char* given = kGiven[i % 7];
            const char* sur = kSurname[(i / 7) % 6];
            std::fprintf(file,
                         "dn: uid=u%d,o=bench\nobjectClass: inetOrgPerson\nuid: u%d\n"
                         "cn: %s %s\nsn: %s\nmail: u%d@example.com\n"
                         "telephoneNumber: +1 408 555 %04d\ndescription: entry number %d\n\n",
                         i, i, given, sur, sur, i, i % 10000, i);
        }
        std::fclose(file);
        auto* c = new FFConnection();
        DException* e = nullptr;
        c->connect(("FILE:///" + path).c_str(), 0, &e);
        std::unique_ptr<DException> failure(e);
        std::remove(path.c_str());  // loaded: the store is never written back
        return c;
    }();
    return *connection;
}

void BM_SubstringSearch(benchmark::State& state) {
    FFConnection& c = store();
    c.setMatching(static_cast<int>(state.range(0)));
    const char* filter = kFilters[state.range(1)];
    long found = 0;
    for (auto _ : state) {
        DException* e = nullptr;
        std::unique_ptr<SearchResults> results(c.search("o=bench", 2, filter, nullptr, false, &e));
        std::unique_ptr<DException> failure(e);
        found = results ? results->getValues()->getSize() : 0;
        benchmark::DoNotOptimize(found);
    }
    state.counters["entries"] = static_cast<double>(found);
}
BENCHMARK(BM_SubstringSearch)
    ->ArgsProduct({{FF_MATCH_DEFAULT, FF_MATCH_LDAP}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

void print_ratios(const bench::RunTimes& times) {
    for (int filter = 0; filter < 2; ++filter) {
        std::string tail = "/" + std::to_string(filter) + "/iterations:10";
        double plain = bench::time_of(times, "BM_SubstringSearch/0" + tail);
        double ldap = bench::time_of(times, "BM_SubstringSearch/1" + tail);
        if (plain <= 0 || ldap <= 0) continue;
        std::printf("%s: LDAP matching %.2fx the default matcher's time (target <= 1.5)\n",
                    kFilters[filter], ldap / plain);
    }
}

}  // namespace

int main(int argc, char** argv) {
    return bench::run_benchmarks_with_ratios(argc, argv, print_ratios);
}
