#include "response_cache.h"

#include <strings.h>

#include <atomic>

#include <ldap.h>

#include "ldap_trace.h"

namespace dirclient::ldapaccess {

namespace {

std::atomic<ResponseCache::Clock> g_clock{nullptr};

time_t now() {
    ResponseCache::Clock clock = g_clock.load(std::memory_order_acquire);
    return clock ? clock() : std::time(nullptr);
}

constexpr int kCodeSizeLimitExceeded = 4;
constexpr int kCodeCompareFalse = 5;
constexpr int kCodeCompareTrue = 6;
constexpr int kCodeNoSuchAttribute = 16;
constexpr unsigned long kOptionCacheAllErrors = 2;

bool is_final(int type) {
    return type == LDAP_RES_SEARCH_RESULT || type == LDAP_RES_COMPARE;
}

// floor(2 * value / 3) without overflow.
long two_thirds(long value) {
    return value / 3 * 2 + (value % 3) * 2 / 3;
}

}  // namespace

void ResponseCache::set_clock(Clock clock) {
    g_clock.store(clock, std::memory_order_release);
}

std::string_view ResponseCache::Chain::body() const {
    return std::string_view(request).substr(body_offset);
}

bool ResponseCache::Chain::mentions(const char* target) const {
    if (strcasecmp(dn.c_str(), target) == 0) return true;
    if (type == LDAP_REQ_COMPARE) return false;
    for (const std::string& entry : entry_dns)
        if (strcasecmp(entry.c_str(), target) == 0) return true;
    return false;
}

size_t ResponseCache::bucket_of(std::string_view body) {
    size_t bucket = body.size() % kBucketCount;
    trace(kTraceCache, "cache_hash: len is %ld, returning %ld\n", static_cast<long>(body.size()),
          static_cast<long>(bucket));
    return bucket;
}

void ResponseCache::configure(long timeout, long maxmem) {
    std::lock_guard<std::mutex> lock(mutex_);
    trace(kTraceCache, "LDAP Cache set to size %d time %d\n", static_cast<int>(maxmem),
          static_cast<int>(timeout));
    timeout_ = timeout;
    // Two thirds of the limit must leave room for the record itself.
    maxmem_ = two_thirds(maxmem) < kRecordSize ? kRecordSize : maxmem;
    trim_locked();
    enabled_ = true;
}

void ResponseCache::disable() {
    std::lock_guard<std::mutex> lock(mutex_);
    enabled_ = false;
}

void ResponseCache::set_options(unsigned long options) {
    std::lock_guard<std::mutex> lock(mutex_);
    options_ = options;
}

void ResponseCache::flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    trace(kTraceCache, "ldap_flush_cache\n");
    flush_locked();
}

void ResponseCache::flush_locked() {
    trace(kTraceCache, "do_ldap_flush_cache\n");
    for (auto& bucket : buckets_)
        bucket.clear();
    pending_.clear();
    memused_ = kRecordSize;
}

void ResponseCache::drop_locked(std::list<Chain>& list, std::list<Chain>::iterator it,
                                bool accounted) {
    if (accounted) memused_ -= it->size;
    for (size_t i = 0; i <= it->responses.size(); ++i)
        trace(kTraceCache, "ldc_msgfree\n");
    list.erase(it);
}

void ResponseCache::uncache_request(int msgid) {
    std::lock_guard<std::mutex> lock(mutex_);
    trace(kTraceCache, "ldap_uncache_request %d ld_cache %x\n", msgid, trace_id(this));
    uncache_locked(nullptr, msgid);
}

void ResponseCache::uncache_entry(const char* dn) {
    if (dn == nullptr) return;
    std::lock_guard<std::mutex> lock(mutex_);
    trace(kTraceCache, "ldap_uncache_entry %s ld_cache %x\n", dn, trace_id(this));
    uncache_locked(dn, -1);
}

void ResponseCache::uncache_locked(const char* dn, int msgid) {
    trace(kTraceCache, "ldap_uncache_entry_or_req\tdn %s  msgid %d  ld_cache %x\n",
          dn ? dn : "(null)", msgid, trace_id(this));
    auto matches = [&](const Chain& chain) {
        return dn != nullptr ? chain.mentions(dn) : chain.msgid == msgid;
    };
    for (auto it = pending_.begin(); it != pending_.end();) {
        auto next = std::next(it);
        if (matches(*it)) drop_locked(pending_, it, false);
        it = next;
    }
    for (auto& bucket : buckets_) {
        for (auto it = bucket.begin(); it != bucket.end();) {
            auto next = std::next(it);
            if (matches(*it)) drop_locked(bucket, it, true);
            it = next;
        }
    }
}

bool ResponseCache::check(int msgtype, std::string_view body, MessageCopies* copies) {
    std::lock_guard<std::mutex> lock(mutex_);
    trace(kTraceCache, "ldap_check_cache\n");
    if (!enabled_) return false;
    auto& bucket = buckets_[bucket_of(body)];
    time_t current = now();
    for (auto it = bucket.begin(); it != bucket.end();) {
        auto next = std::next(it);
        trace(kTraceCache, "cc: examining id %d,type %d\n", it->msgid, it->type);
        if (current - it->time > timeout_) {
            trace(kTraceCache, "cc: expired id %d\n", it->msgid);
            drop_locked(bucket, it, true);
        } else if (it->type == msgtype && it->body() == body) {
            *copies = it->responses;
            for (const auto& response : *copies)
                trace(kTraceCache, "cc: added type %d\n", response.first);
            trace(kTraceCache, "cc: result returned from cache\n");
            return true;
        }
        it = next;
    }
    return false;
}

void ResponseCache::add_request(int msgid, int msgtype, std::string request, size_t body_offset,
                                std::string dn) {
    std::lock_guard<std::mutex> lock(mutex_);
    trace(kTraceCache, "ldap_add_request_to_cache\n");
    if (!enabled_) return;
    time_t current = now();
    for (auto it = pending_.begin(); it != pending_.end();) {
        auto next = std::next(it);
        if (current - it->time > kPendingLifetime) {
            trace(kTraceCache, "add_req: removing request id %d,type %d\n", it->msgid, it->type);
            drop_locked(pending_, it, false);
        }
        it = next;
    }
    Chain chain;
    chain.msgid = msgid;
    chain.type = msgtype;
    chain.size = static_cast<long>(request.size()) + kMessageOverhead;
    chain.request = std::move(request);
    chain.body_offset = body_offset;
    chain.dn = std::move(dn);
    chain.time = current;
    pending_.push_front(std::move(chain));
}

void ResponseCache::add_result(int msgid, int type, std::string bytes, int code,
                               std::string entry_dn) {
    std::lock_guard<std::mutex> lock(mutex_);
    trace(kTraceCache, "ldap_add_result_to_cache: id %d, type %d\n", msgid, type);
    if (!enabled_) return;
    if (type != LDAP_RES_SEARCH_ENTRY && !is_final(type)) {
        trace(kTraceCache, "artc: only caching search & compare operations\n");
        return;
    }
    auto it = pending_.begin();
    while (it != pending_.end() && it->msgid != msgid)
        ++it;
    if (it == pending_.end()) {
        trace(kTraceCache, "artc: msgid not in request list\n");
        return;
    }
    it->size += static_cast<long>(bytes.size()) + kMessageOverhead;
    it->responses.emplace_back(type, std::move(bytes));
    if (type == LDAP_RES_SEARCH_ENTRY) it->entry_dns.push_back(std::move(entry_dn));
    trace(kTraceCache, "artc: result added to cache request chain\n");
    if (!is_final(type)) return;

    bool keep =
        code == 0 ||
        (it->type == LDAP_REQ_COMPARE &&
         (code == kCodeCompareFalse || code == kCodeCompareTrue || code == kCodeNoSuchAttribute)) ||
        (options_ == 0 && code == kCodeSizeLimitExceeded) ||
        (options_ & kOptionCacheAllErrors) != 0;
    if (!keep) {
        trace(kTraceCache, "artc: not caching result with error %d\n", code);
        drop_locked(pending_, it, false);
        return;
    }
    it->time = now();
    memused_ += it->size;
    auto& bucket = buckets_[bucket_of(it->body())];
    bucket.splice(bucket.begin(), pending_, it);
    trace(kTraceCache, "artc: cached result with error %d\n", code);
    trim_locked();
}

bool ResponseCache::has_pending(int msgid) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Chain& chain : pending_)
        if (chain.msgid == msgid) return true;
    return false;
}

// Removes the oldest chains, pass by pass, until two thirds of the limit are respected.
void ResponseCache::trim_locked() {
    trace(kTraceCache, "check_cache_memused: %ld bytes in use (%ld max)\n", memused_, maxmem_);
    auto over_limit = [this] { return maxmem_ > kRecordSize && memused_ > two_thirds(maxmem_); };
    if (!over_limit()) return;
    long threshold = timeout_;
    time_t current = now();
    trace(kTraceCache, "timenow set to %ul\n", static_cast<unsigned>(current));
    for (;;) {
        trace(kTraceCache, "remove_threshold set to %ld\n", threshold);
        long oldest = 0;
        size_t remaining = 0;
        for (auto& bucket : buckets_) {
            for (auto it = bucket.begin(); it != bucket.end();) {
                auto next = std::next(it);
                long age = static_cast<long>(current - it->time);
                if (age >= threshold) {
                    trace(kTraceCache, "ccm: removed %d\n", it->msgid);
                    drop_locked(bucket, it, true);
                } else {
                    oldest = std::max(oldest, age);
                    ++remaining;
                }
                it = next;
            }
        }
        trace(kTraceCache, "oldest_time: %d\n", static_cast<int>(oldest));
        if (!over_limit() || remaining == 0) break;
        threshold = oldest;
    }
    trace(kTraceCache, "ccm: reduced usage to %ld bytes\n", memused_);
}

bool ResponseCache::enabled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return enabled_;
}

long ResponseCache::timeout() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return timeout_;
}

long ResponseCache::maxmem() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return maxmem_;
}

unsigned long ResponseCache::options() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return options_;
}

long ResponseCache::memused() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return memused_;
}

size_t ResponseCache::chain_count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t count = 0;
    for (const auto& bucket : buckets_)
        count += bucket.size();
    return count;
}

}  // namespace dirclient::ldapaccess
