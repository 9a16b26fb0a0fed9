#ifndef DIRCLIENT_MEASUREMENT_LIST_H
#define DIRCLIENT_MEASUREMENT_LIST_H

// The figures of one activity for each thread. Internal.
//
// A thread writes only its own measurements and reads them without a lock; reports and
// resets read or clear them from other threads, so every field is an atomic accessed with
// relaxed order (plain loads and stores on the common targets). Figures are 64-bit: 32-bit
// microsecond sums wrap after 36 minutes of processor time.

#include <atomic>
#include <cstdint>

namespace dirclient::profile {

// Aligned to a cache line so that threads measuring side by side do not share lines.
struct alignas(64) Measurement {
    std::atomic<int64_t> count{0};  // counted starts
    std::atomic<int64_t> runs{0};   // completed runs, counted or not; the first sets min and max
    std::atomic<int64_t> begin_cpu{0};
    std::atomic<int64_t> end_cpu{0};  // kept for the structure dump; never set
    std::atomic<int64_t> elapsed_cpu{0};
    std::atomic<int64_t> max_cpu{0};
    std::atomic<int64_t> min_cpu{0};
    std::atomic<double> relative_cpu{0.0};
    std::atomic<int64_t> begin_clock{0};
    std::atomic<int64_t> end_clock{0};  // never set
    std::atomic<int64_t> elapsed_clock{0};
    std::atomic<double> relative_clock{0.0};
    // Running measurements below this one, so that starts and stops skip idle subtrees.
    // A reset racing with the owner may leave it too high (costing a walk), never too low.
    std::atomic<int64_t> running_below{0};

    bool running() const noexcept;
    void clear() noexcept;
};

template <class T>
inline T load(const std::atomic<T>& field) noexcept {
    return field.load(std::memory_order_relaxed);
}
template <class T>
inline void store(std::atomic<T>& field, T value) noexcept {
    field.store(value, std::memory_order_relaxed);
}

inline bool Measurement::running() const noexcept {
    return load(begin_cpu) != 0 || load(begin_clock) != 0;
}

// Measurements indexed by thread number, in chunks that never move: chunk c holds
// 2^(c+1) measurements, so a lookup is two loads and a few shifts, and readers may walk
// the list while a new thread is being added.
class MeasurementList {
  public:
    // Threads a list can hold: every chunk filled.
    static constexpr uint32_t kMaxThreads = (1u << 31) - 2;

    MeasurementList() = default;
    MeasurementList(const MeasurementList&) = delete;
    MeasurementList& operator=(const MeasurementList&) = delete;
    ~MeasurementList();

    // The measurement of a thread, or null when the list has none for it. Any thread.
    Measurement* find(uint32_t thread) const noexcept {
        if (thread >= size_.load(std::memory_order_acquire)) return nullptr;
        const auto [chunk, offset] = locate(thread);
        return chunks_[chunk].load(std::memory_order_relaxed) + offset;
    }

    // Grows the list to `threads` zeroed measurements. Callers serialise growth (the
    // profile mutex); throws std::bad_alloc.
    void grow_to(uint32_t threads);

    uint32_t size() const noexcept { return size_.load(std::memory_order_acquire); }

  private:
    static constexpr unsigned kChunks = 30;

    struct Place {
        unsigned chunk;
        uint32_t offset;
    };
    static Place locate(uint32_t thread) noexcept {
        const uint64_t shifted = uint64_t{thread} + 2;
        const unsigned chunk = 62 - static_cast<unsigned>(__builtin_clzll(shifted));
        return {chunk, static_cast<uint32_t>(shifted - (uint64_t{1} << (chunk + 1)))};
    }

    std::atomic<uint32_t> size_{0};
    std::atomic<Measurement*> chunks_[kChunks]{};
};

}  // namespace dirclient::profile

#endif
