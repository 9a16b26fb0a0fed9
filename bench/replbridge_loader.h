#ifndef DIRCLIENT_BENCH_REPLBRIDGE_LOADER_H
#define DIRCLIENT_BENCH_REPLBRIDGE_LOADER_H

// Loads replbridge.so as a directory server does, for the bridge benchmarks.

#include <dlfcn.h>

#include <cstdio>

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

}  // namespace bench

#endif
