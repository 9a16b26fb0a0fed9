// Cost of the replication bridge: one update sent and fetched back through replbridge.so,
// against the same through the messaging library called directly (records built per call,
// the data copied into a buffer of its own, as a host would).
//
//   build/release/bin/replbridge_bench

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "replbridge.h"
#include "replbridge_loader.h"
#include "rqc.h"

namespace {

const ReplEntryTable* bridge = nullptr;

void quiet_log(int, const char*, ...) {}
void allocate(void** data, int length) {
    *data = std::malloc(static_cast<size_t>(length));
}
ReplHost host{allocate, quiet_log};

void BM_Bridge(benchmark::State& state) {
    bench::bridge_round_trips(state, bridge, &host, "BRIDGE");
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_DirectLibrary(benchmark::State& state) {
    RqcAppDef app{};
    std::memcpy(app.eyeCatcher, "BXAD", 4);
    app.version = 3;
    std::strcpy(app.appName, "DIRECT");
    RqcInitDtl details{};
    details.kind = 5;
    RqcHandle handle = 0;
    if (!rqcSPIInitialize(&app, RQC_MODE_MASTER, &handle, nullptr, &details)) {
        state.SkipWithError("initialize failed");
        return;
    }
    const std::string update(static_cast<size_t>(state.range(0)), 'u');
    for (auto _ : state) {
        RqcService service{};
        std::memcpy(service.eyeCatcher, "BXSV", 4);
        service.version = 1;
        std::strcpy(service.name, "DIRECT");
        RqcMessage message{};
        std::memcpy(message.eyeCatcher, "BXMD", 4);
        message.version = 3;
        message.dataLength = message.sendLength = static_cast<uint32_t>(update.size());
        message.data = const_cast<char*>(update.data());
        RqcPutOptions put{};
        std::memcpy(put.eyeCatcher, "BXPO", 4);
        put.version = 3;
        RqcGetOptions get{};
        std::memcpy(get.eyeCatcher, "BXGO", 4);
        get.version = 3;
        int32_t reason = 0;
        if (!rqcPutRequest(handle, &service, &message, &put, nullptr, &reason))
            state.SkipWithError("put failed");
        RqcMessage received = message;
        received.data = nullptr;
        if (!rqcGetRequest(handle, &received, &get, nullptr, &reason))
            state.SkipWithError("get failed");
        void* copy = std::malloc(received.dataLength);
        std::memcpy(copy, received.data, received.dataLength);
        std::free(copy);
        rqcFreeBuffer(handle, &received.bufferMarker);
    }
    rqcTerminate(&handle);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_Bridge)->Arg(100)->Arg(64 << 10);
BENCHMARK(BM_DirectLibrary)->Arg(100)->Arg(64 << 10);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    char spool[] = "/tmp/replbridge-bench-XXXXXX";
    if (!mkdtemp(spool)) return 1;
    setenv("RQC_SPOOL_DIR", spool, 1);
    bridge = bench::load_replbridge(REPLBRIDGE_PATH);
    if (bridge == nullptr) return 1;
    if (bridge->initialize(&host, "BRIDGE", nullptr, "", nullptr) != 0) return 1;
    benchmark::RunSpecifiedBenchmarks();
    bridge->shutdown(&host);
    benchmark::Shutdown();
    std::filesystem::remove_all(spool);
    return 0;
}
