// Updates per second through the replication bridge over a RabbitMQ broker, against the
// same messages published and fetched with rabbitmq-c directly under the same delivery
// rules (persistent, confirmed, fetched one by one and acknowledged at the next fetch), and
// against the bridge over the spool folder. Starts a private broker (as root,
// rabbitmq-server installed) and stops it at the end.
//
//   build/release/bin/replbridge_broker_bench --benchmark_repetitions=5
//       --benchmark_enable_random_interleaving=true
// (broker round trips wait for its disk: on a busy machine only medians of interleaved runs
// compare fairly)

#include <amqp.h>
#include <amqp_framing.h>
#include <amqp_tcp_socket.h>
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "rabbitmq_broker.h"
#include "ratio_reporter.h"
#include "replbridge.h"
#include "replbridge_loader.h"

namespace {

const ReplEntryTable* bridge = nullptr;
dirclient::test::RabbitMqBroker* broker = nullptr;
std::string spool;

void quiet_log(int, const char*, ...) {}
void allocate(void** data, int length) {
    *data = std::malloc(static_cast<size_t>(length));
}
ReplHost host{allocate, quiet_log};

// One update sent to the bridge's own queue and fetched back per iteration.
void run_bridge(benchmark::State& state, bool over_broker) {
    if (over_broker)
        setenv("RQC_AMQP_URL", broker->url().c_str(), 1);
    else
        unsetenv("RQC_AMQP_URL");
    if (bridge->initialize(&host, "BENCH", nullptr, "", nullptr) != 0) {
        state.SkipWithError("initialize failed");
        return;
    }
    bench::bridge_round_trips(state, bridge, &host, "BENCH");
    bridge->shutdown(&host);
    state.SetItemsProcessed(state.iterations());
}

void BM_BridgeOverBroker(benchmark::State& state) {
    run_bridge(state, true);
}
void BM_BridgeOverSpool(benchmark::State& state) {
    run_bridge(state, false);
}

struct ConnectionCloser {
    void operator()(amqp_connection_state_t_* c) const {
        amqp_channel_close(c, 1, AMQP_REPLY_SUCCESS);
        amqp_connection_close(c, AMQP_REPLY_SUCCESS);
        amqp_destroy_connection(c);
    }
};
using Connection = std::unique_ptr<amqp_connection_state_t_, ConnectionCloser>;

Connection open_direct() {
    Connection c(amqp_new_connection());
    amqp_socket_t* socket = amqp_tcp_socket_new(c.get());
    if (amqp_socket_open(socket, "127.0.0.1", broker->port()) != AMQP_STATUS_OK) return nullptr;
    if (amqp_login(c.get(), "/", 0, 131072, 0, AMQP_SASL_METHOD_PLAIN, "guest", "guest")
            .reply_type != AMQP_RESPONSE_NORMAL)
        return nullptr;
    amqp_channel_open(c.get(), 1);
    amqp_confirm_select(c.get(), 1);
    amqp_queue_declare(c.get(), 1, amqp_cstring_bytes("DIRECT"), 0, 1, 0, 0, amqp_empty_table);
    if (amqp_get_rpc_reply(c.get()).reply_type != AMQP_RESPONSE_NORMAL) return nullptr;
    return c;
}

bool publish_confirmed(amqp_connection_state_t c, const std::string& update) {
    amqp_basic_properties_t properties{};
    properties._flags = AMQP_BASIC_DELIVERY_MODE_FLAG;
    properties.delivery_mode = 2;
    amqp_bytes_t body{update.size(), const_cast<char*>(update.data())};
    if (amqp_basic_publish(c, 1, amqp_empty_bytes, amqp_cstring_bytes("DIRECT"), 1, 0, &properties,
                           body) != AMQP_STATUS_OK)
        return false;
    amqp_frame_t frame;
    timeval limit{30, 0};
    while (amqp_simple_wait_frame_noblock(c, &frame, &limit) == AMQP_STATUS_OK)
        if (frame.frame_type == AMQP_FRAME_METHOD)
            return frame.payload.method.id == AMQP_BASIC_ACK_METHOD;
    return false;
}

// Fetches the next message, acknowledging the one before first: the bridge's rule, which
// acknowledges an update once its host comes back for the next.
bool fetch_and_ack(amqp_connection_state_t c, size_t expected, uint64_t* unacked) {
    if (*unacked != 0 && amqp_basic_ack(c, 1, *unacked, 0) != AMQP_STATUS_OK) return false;
    *unacked = 0;
    amqp_rpc_reply_t reply = amqp_basic_get(c, 1, amqp_cstring_bytes("DIRECT"), 0);
    if (reply.reply_type != AMQP_RESPONSE_NORMAL || reply.reply.id != AMQP_BASIC_GET_OK_METHOD)
        return false;
    uint64_t tag = static_cast<amqp_basic_get_ok_t*>(reply.reply.decoded)->delivery_tag;
    amqp_message_t message;
    if (amqp_read_message(c, 1, &message, 0).reply_type != AMQP_RESPONSE_NORMAL) return false;
    void* copy = std::malloc(message.body.len + 1);
    std::memcpy(copy, message.body.bytes, message.body.len);
    std::free(copy);
    bool whole = message.body.len == expected;
    amqp_destroy_message(&message);
    amqp_maybe_release_buffers(c);
    *unacked = tag;
    return whole;
}

void BM_DirectRabbitmqC(benchmark::State& state) {
    Connection c = open_direct();
    if (!c) {
        state.SkipWithError("cannot open the broker connection");
        return;
    }
    const std::string update(static_cast<size_t>(state.range(0)), 'u');
    uint64_t unacked = 0;
    for (auto _ : state) {
        if (!publish_confirmed(c.get(), update)) state.SkipWithError("publish failed");
        if (!fetch_and_ack(c.get(), update.size(), &unacked)) state.SkipWithError("fetch failed");
    }
    if (unacked != 0) amqp_basic_ack(c.get(), 1, unacked, 0);
    state.SetItemsProcessed(state.iterations());
}

constexpr int kSizes[] = {100, 64 << 10};

void summary(const bench::RunTimes& times) {
    std::printf("\nupdates/s ratios (target: bridge/direct >= 0.9)\n");
    for (int size : kSizes) {
        std::string arg = "/" + std::to_string(size) + "/real_time";
        // With --benchmark_repetitions the medians speak for the runs.
        auto time = [&](const std::string& name) {
            double median = bench::time_of(times, name + arg + "_median");
            return median > 0 ? median : bench::time_of(times, name + arg);
        };
        double bridge_time = time("BM_BridgeOverBroker");
        double direct_time = time("BM_DirectRabbitmqC");
        double spool_time = time("BM_BridgeOverSpool");
        if (bridge_time <= 0) continue;
        std::printf("  %6d B: bridge/direct rabbitmq-c %.2f, bridge broker/spool folder %.2f\n",
                    size, direct_time / bridge_time, spool_time / bridge_time);
    }
}

BENCHMARK(BM_BridgeOverBroker)->Arg(100)->Arg(64 << 10)->UseRealTime();
BENCHMARK(BM_DirectRabbitmqC)->Arg(100)->Arg(64 << 10)->UseRealTime();
BENCHMARK(BM_BridgeOverSpool)->Arg(100)->Arg(64 << 10)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    char folder[] = "/tmp/replbridge-broker-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    spool = folder;
    setenv("RQC_SPOOL_DIR", folder, 1);
    bridge = bench::load_replbridge(REPLBRIDGE_PATH);
    if (bridge == nullptr) return 1;
    int status = 0;
    try {
        dirclient::test::RabbitMqBroker private_broker;
        broker = &private_broker;
        status = bench::run_benchmarks_with_ratios(argc, argv, summary);
        broker = nullptr;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "replbridge_broker_bench: %s\n", e.what());
        status = 1;
    }
    std::filesystem::remove_all(folder);
    return status;
}
