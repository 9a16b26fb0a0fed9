#include "measurement_list.h"

#include <new>

namespace dirclient::profile {

void Measurement::clear() noexcept {
    store(count, int64_t{0});
    store(runs, int64_t{0});
    store(begin_cpu, int64_t{0});
    store(end_cpu, int64_t{0});
    store(elapsed_cpu, int64_t{0});
    store(max_cpu, int64_t{0});
    store(min_cpu, int64_t{0});
    store(relative_cpu, 0.0);
    store(begin_clock, int64_t{0});
    store(end_clock, int64_t{0});
    store(elapsed_clock, int64_t{0});
    store(relative_clock, 0.0);
    store(running_below, int64_t{0});
}

MeasurementList::~MeasurementList() {
    for (auto& chunk : chunks_)
        delete[] chunk.load(std::memory_order_relaxed);
}

void MeasurementList::grow_to(uint32_t threads) {
    if (threads > kMaxThreads) throw std::bad_alloc();
    uint32_t size = size_.load(std::memory_order_relaxed);
    while (size < threads) {
        const Place place = locate(size);
        if (chunks_[place.chunk].load(std::memory_order_relaxed) == nullptr) {
            // Published before the size that makes it reachable (release below).
            chunks_[place.chunk].store(new Measurement[size_t{2} << place.chunk],
                                       std::memory_order_relaxed);
        }
        const uint32_t chunk_end = size - place.offset + (uint32_t{2} << place.chunk);
        size = chunk_end < threads ? chunk_end : threads;
    }
    size_.store(size, std::memory_order_release);
}

}  // namespace dirclient::profile
