// Object model benchmarks: sorting search results, and building, copying and releasing
// entries. The exchange sort that SearchResults::sort replaced runs beside it as the peer.
//
//   build/release/bin/model_bench --benchmark_filter=Sort
// DN normalisation is timed against the normaliser it replaced, on the entries' DNs; one
// entry of 100k attributes is built, added and printed as LDIF.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <dirclient/attribute.h>
#include <dirclient/attribute_set.h>
#include <dirclient/dentry.h>
#include <dirclient/dn_normalize.h>
#include <dirclient/entry_comparator.h>
#include <dirclient/search_results.h>
#include "bench/dn_normalize_previous.h"
#include "bench/ratio_reporter.h"
#include "tests/support/bubble_sort_reference.h"
#include "tools/dirtool/ldif_writer.h"

namespace {

const char* const kAttributeNames[] = {"cn",  "sn",    "givenName", "mail", "telephoneNumber",
                                       "uid", "title", "ou",        "l",    "description"};

// The texts of one entry: 10 string attributes; sn and givenName repeat so that sorts meet
// ties. Generated once, so that the build runs measure the model and not the formatting.
struct EntryTexts {
    std::string dn;
    std::string values[10];
};

const std::vector<EntryTexts>& entry_texts() {
    static const std::vector<EntryTexts> texts = [] {
        std::mt19937 random(1);
        std::uniform_int_distribution<int> surname(0, 4999), given(0, 199);
        std::vector<EntryTexts> out(100000);
        for (int i = 0; i < static_cast<int>(out.size()); ++i) {
            const std::string id = std::to_string(i);
            out[i] = {"cn=user" + id + ",ou=people,o=acme",
                      {"user" + id, "surname" + std::to_string(surname(random)),
                       "given" + std::to_string(given(random)), "user" + id + "@acme.example",
                       "+1 555 " + std::to_string(1000000 + i), "u" + id, "engineer", "people",
                       "Springfield", "a directory entry used to measure the object model"}};
        }
        return out;
    }();
    return texts;
}

DEntry* make_entry(const EntryTexts& texts) {
    DEntry* entry = new (HEAP) DEntry(texts.dn.c_str());
    for (int a = 0; a < 10; ++a)
        entry->addAttribute(new (HEAP) Attribute(kAttributeNames[a], texts.values[a].c_str()));
    return entry;
}

SearchResults* make_results(int count) {
    const std::vector<EntryTexts>& texts = entry_texts();
    auto* results = new SearchResults();
    for (int i = 0; i < count; ++i)
        results->addEntry(make_entry(texts[i]));
    return results;
}

// Puts the entries back into a random order so that every run sorts the same kind of input.
void shuffle(SearchResults* results, unsigned seed) {
    std::vector<DListItem*> items;
    std::vector<void*> entries;
    for (DListItem* item = results->getValues()->getHead(); item != nullptr;
         item = item->getNextItem()) {
        items.push_back(item);
        entries.push_back(item->getValue());
    }
    std::shuffle(entries.begin(), entries.end(), std::mt19937(seed));
    for (std::size_t k = 0; k < items.size(); ++k)
        items[k]->resetValue(entries[k]);
}

DList* strings(std::initializer_list<const char*> names) {
    DList* list = new (HEAP) DList();
    for (const char* name : names)
        list->append(const_cast<char*>(name), DLIST_STRING, true);
    return list;
}

DList* bools(std::initializer_list<bool> flags) {
    DList* list = new (HEAP) DList();
    for (bool flag : flags)
        list->append(&flag, DLIST_BOOL, true);
    return list;
}

CompareAttrNames* comparator_for(int kind) {
    if (kind == 0) return new CompareAttrNames("sn");
    return new CompareAttrNames(strings({"sn", "givenName"}), bools({false, true}), nullptr);
}

constexpr int kEntries = 100000;

// The first run after start-up pays for fresh pages from the system; the figures are for
// a program that has been running.
void warm_up() {
    static bool warm = false;
    if (warm) return;
    delete make_results(kEntries);
    warm = true;
}

template <typename Sort>
void run_sort(benchmark::State& state, Sort sort) {
    warm_up();
    const int count = static_cast<int>(state.range(0));
    SearchResults* results = make_results(count);
    CompareAttrNames* comparator = comparator_for(static_cast<int>(state.range(1)));
    unsigned seed = 2;
    for (auto _ : state) {
        state.PauseTiming();
        shuffle(results, seed++);
        state.ResumeTiming();
        sort(results, comparator);
    }
    state.SetItemsProcessed(state.iterations() * count);
    delete comparator;
    delete results;
}

// range(0): entries; range(1): 0 = by sn, 1 = sn descending then givenName ascending.
void BM_Sort(benchmark::State& state) {
    run_sort(state, [](SearchResults* r, CompareAttrNames* c) { r->sort(c); });
}
BENCHMARK(BM_Sort)
    ->ArgsProduct({{10000, 100000}, {0, 1}})
    ->ArgNames({"entries", "two_attrs"})
    ->MinTime(2.0)
    ->Unit(benchmark::kMillisecond);

void BM_BubbleSortPeer(benchmark::State& state) {
    run_sort(state, [](SearchResults* r, CompareAttrNames* c) {
        dirclient_test::bubble_sort_reference(r, c);
    });
}
BENCHMARK(BM_BubbleSortPeer)
    ->ArgsProduct({{10000}, {0, 1}})
    ->ArgNames({"entries", "two_attrs"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_BuildEntries(benchmark::State& state) {
    warm_up();
    for (auto _ : state) {
        SearchResults* results = make_results(kEntries);
        state.PauseTiming();
        delete results;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_BuildEntries)->MinTime(2.0)->Unit(benchmark::kMillisecond);

// A deep copy through the public API: the DN, every attribute and every value.
DEntry* copy_entry(DEntry* source) {
    DEntry* copy = new (HEAP) DEntry(source->getDN());
    for (Attribute* a = source->getFirstAttribute(); a != nullptr; a = source->getNextAttribute()) {
        Attribute* c = new (HEAP) Attribute(a->getName());
        for (void* v = a->getFirstValue(); v != nullptr; v = a->getNextValue())
            c->addValue(static_cast<const char*>(v));
        copy->addAttribute(c);
    }
    return copy;
}

void BM_CopyEntries(benchmark::State& state) {
    warm_up();
    SearchResults* source = make_results(kEntries);
    for (auto _ : state) {
        auto* copy = new SearchResults();
        for (DEntry* e = source->first(); e != nullptr; e = source->next())
            copy->addEntry(copy_entry(e));
        state.PauseTiming();
        delete copy;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
    delete source;
}
BENCHMARK(BM_CopyEntries)->MinTime(2.0)->Unit(benchmark::kMillisecond);

void BM_ReleaseEntries(benchmark::State& state) {
    warm_up();
    for (auto _ : state) {
        state.PauseTiming();
        SearchResults* results = make_results(kEntries);
        state.ResumeTiming();
        delete results;
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_ReleaseEntries)->MinTime(2.0)->Unit(benchmark::kMillisecond);

template <char* (*Normalize)(const char*)>
void run_dn_normalize(benchmark::State& state) {
    const std::vector<EntryTexts>& texts = entry_texts();
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (const EntryTexts& t : texts) {
            char* normal = Normalize(t.dn.c_str());
            bytes += t.dn.size();
            benchmark::DoNotOptimize(normal);
            check_free(normal);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

void BM_DnNormalize(benchmark::State& state) {
    run_dn_normalize<dn_normalize>(state);
}
BENCHMARK(BM_DnNormalize)->MinTime(1.0)->Unit(benchmark::kMillisecond);

void BM_DnNormalizePrevious(benchmark::State& state) {
    run_dn_normalize<previous_dn::normalize>(state);
}
BENCHMARK(BM_DnNormalizePrevious)->MinTime(1.0)->Unit(benchmark::kMillisecond);

// One entry with 100k attributes: built attribute by attribute, then printed as LDIF.
void BM_WideEntryAddAndPrint(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i)
        names.push_back("attr" + std::to_string(i));
    for (auto _ : state) {
        auto* entry = new (HEAP) DEntry("cn=wide,o=acme");
        for (const std::string& name : names)
            entry->addAttribute(new (HEAP) Attribute(name.c_str(), "value"));
        std::string ldif;
        dirtool::append_entry_ldif(ldif, entry);
        benchmark::DoNotOptimize(ldif.data());
        delete entry;
    }
}
BENCHMARK(BM_WideEntryAddAndPrint)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);

void print_ratios(const bench::RunTimes& times) {
    const double now = bench::time_of(times, "BM_DnNormalize/min_time:1.000");
    const double before = bench::time_of(times, "BM_DnNormalizePrevious/min_time:1.000");
    if (now > 0 && before > 0)
        std::printf("dn_normalize time / previous normaliser: %.3f (target <= 1.10)\n",
                    now / before);
    const double wide = bench::time_of(times, "BM_WideEntryAddAndPrint/100000/iterations:3");
    if (wide > 0)
        std::printf("100k attributes added and printed: %.3f s (target < 1 s)\n", wide / 1000);
}

}  // namespace

int main(int argc, char** argv) {
    return bench::run_benchmarks_with_ratios(argc, argv, print_ratios);
}
