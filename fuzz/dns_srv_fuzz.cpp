// SRV answers come from the network: parsing must stay inside the answer, and ordering must
// keep every usable record exactly once whatever the weights.

#include <arpa/nameser.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "dns_srv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dirclient::ldapaccess;
    auto records = parse_srv_answer(data, static_cast<int>(size));
    if (!records) return 0;
    std::size_t usable = 0;
    for (const SrvRecord& r : *records) {
        // Compression may repeat bytes, but never past the longest name DNS allows.
        if (r.target.size() > NS_MAXDNAME) std::abort();
        for (char c : r.target)
            if (c == ';' || c == '/' || c == '\\' || c == ':') std::abort();
        if (!r.target.empty()) ++usable;
    }
    std::uint32_t state = static_cast<std::uint32_t>(size);
    auto ordered = order_srv_records(*records, [&](std::uint32_t bound) {
        state = state * 1664525u + 1013904223u;
        return bound == UINT32_MAX ? state : state % (bound + 1);
    });
    if (ordered.size() != usable) std::abort();
    for (std::size_t i = 1; i < ordered.size(); ++i)
        if (ordered[i].priority < ordered[i - 1].priority) std::abort();
    return 0;
}
