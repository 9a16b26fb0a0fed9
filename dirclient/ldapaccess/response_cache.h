#ifndef DIRCLIENT_RESPONSE_CACHE_H
#define DIRCLIENT_RESPONSE_CACHE_H

#include <ctime>

#include <array>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "local_message.h"

// The response cache of one LDAP session: search and compare requests are recorded when
// sent, their answers attached as they arrive, and a later request with the same encoded
// form (message identifier aside) is answered from memory. Requests are keyed in 31 buckets
// by the length of their encoded form; memory is accounted in encoded bytes and trimmed by
// age when it passes two thirds of the limit. Every member takes the cache's own lock.

namespace dirclient::ldapaccess {

class ResponseCache {
  public:
    static constexpr long kRecordSize = 148;      // accounted for the cache itself
    static constexpr long kMessageOverhead = 24;  // accounted per kept message
    static constexpr size_t kBucketCount = 31;
    static constexpr long kPendingLifetime = 300;  // seconds a sent request waits for answers

    using Clock = time_t (*)();
    // Replaces the clock of every cache (tests); null restores time().
    static void set_clock(Clock clock);

    // Sets the time-out and the memory limit (148 when two thirds of "maxmem" are below
    // 148, which means no limit), trims, and enables the cache.
    void configure(long timeout, long maxmem);
    void disable();
    void set_options(unsigned long options);
    // Drops every pending request and kept chain; the settings stay.
    void flush();
    void uncache_request(int msgid);
    void uncache_entry(const char* dn);

    // Lookup before a request is sent, by the bytes after its message identifier: true with
    // copies of the kept answers, in order, when an unexpired chain holds the same request.
    bool check(int msgtype, std::string_view body, MessageCopies* copies);
    // Records a search or compare request sent under "msgid".
    void add_request(int msgid, int msgtype, std::string request, size_t body_offset,
                     std::string dn);
    // Attaches an answer to the pending request "msgid"; "code" is the result code of a
    // final answer, "entry_dn" the DN of a search entry.
    void add_result(int msgid, int type, std::string bytes, int code, std::string entry_dn);
    bool has_pending(int msgid) const;

    bool enabled() const;
    long timeout() const;
    long maxmem() const;
    unsigned long options() const;
    long memused() const;
    size_t chain_count() const;
    const void* trace_key() const { return this; }

  private:
    struct Chain {
        int msgid = 0;
        int type = 0;
        std::string request;
        size_t body_offset = 0;
        std::string dn;
        MessageCopies responses;
        std::vector<std::string> entry_dns;
        time_t time = 0;
        long size = 0;

        std::string_view body() const;
        bool mentions(const char* dn) const;
    };

    static size_t bucket_of(std::string_view body);
    void flush_locked();
    void trim_locked();
    void drop_locked(std::list<Chain>& list, std::list<Chain>::iterator it, bool accounted);
    void uncache_locked(const char* dn, int msgid);

    mutable std::mutex mutex_;
    std::array<std::list<Chain>, kBucketCount> buckets_;  // guarded by mutex_
    std::list<Chain> pending_;                            // guarded by mutex_, newest first
    long timeout_ = 0;                                    // guarded by mutex_
    long maxmem_ = 0;                                     // guarded by mutex_
    long memused_ = kRecordSize;                          // guarded by mutex_
    bool enabled_ = false;                                // guarded by mutex_
    unsigned long options_ = 0;                           // guarded by mutex_
};

}  // namespace dirclient::ldapaccess

#endif
