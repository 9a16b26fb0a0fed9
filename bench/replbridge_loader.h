#ifndef DIRCLIENT_BENCH_REPLBRIDGE_LOADER_H
#define DIRCLIENT_BENCH_REPLBRIDGE_LOADER_H

// Loads replbridge.so as a directory server does, and drives it, for the bridge benchmarks.

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "replbridge.h"

namespace bench {

// The bridge's entry table, or null (said on standard error) when "path" does not load.
inline const ReplEntryTable* load_replbridge(const char* path) {
    void* plugin = dlopen(path, RTLD_NOW);
    auto entry =
        plugin ? reinterpret_cast<int (*)(const ReplDescriptor**)>(dlsym(plugin, "qdxDllEntry"))
               : nullptr;
    const ReplDescriptor* descriptor = nullptr;
    if (!entry || entry(&descriptor) != 1) {
        std::fprintf(stderr, "cannot load %s\n", path);
        return nullptr;
    }
    return descriptor->entries;
}

// One update of state.range(0) bytes sent to "queue" and fetched back per iteration; the
// bridge must be initialised with "queue" as its own.
inline void bridge_round_trips(benchmark::State& state, const ReplEntryTable* bridge,
                               ReplHost* host, const char* queue) {
    const std::string update(static_cast<size_t>(state.range(0)), 'u');
    for (auto _ : state) {
        if (bridge->sendupdate(host, queue, "", update.data(), static_cast<int>(update.size())) !=
            1)
            state.SkipWithError("send failed");
        void* data = nullptr;
        if (bridge->getupdate(host, nullptr, &data) != state.range(0))
            state.SkipWithError("fetch failed");
        std::free(data);
    }
}

}  // namespace bench

#endif
