#ifndef DIRCLIENT_BENCH_FAILOVER_TIMING_H
#define DIRCLIENT_BENCH_FAILOVER_TIMING_H

// Shared steps of the LDAP benchmarks: base searches on a server-list session, and the time
// from the loss of the current server to the first good search on the next.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include <dirclient/ldap_cext.h>
#include <dirclient/ldap_cext_calls.h>
#include "slapd_server.h"
#include "test_processes.h"

namespace bench {

inline int base_search(LDAP_CEXT* s, const char* base) {
    LDAPMessage* answer = nullptr;
    int rc = ldap_cext_search_s(s, base, LDAP_SCOPE_BASE, "(objectClass=*)", nullptr, 0, &answer,
                                LDAP_CEXT_FAILOVER);
    ldap_cext_msgfree(answer);
    return rc;
}

inline void base_search_loop(benchmark::State& state, LDAP_CEXT* s, const char* base) {
    if (s == nullptr) return state.SkipWithError("open failed");
    for (auto _ : state)
        if (base_search(s, base) != 0) state.SkipWithError("search failed");
}

struct FailoverCase {
    dirclient::test::SlapdOptions options;  // of both servers
    bool tls = false;                       // the list names their LDAPS ports
    bool silent_first = false;              // a silent server heads the list
    bool stop = false;                      // the first server is stopped (SIGSTOP), not killed
};

// Per round: two fresh servers, a session on their list, one search, the loss of the first
// server; timed is the next search, which must move to the second. Network and response
// time-outs are 1 second here.
inline void time_failover(benchmark::State& state, const FailoverCase& c, const char* base) {
    using dirclient::test::SlapdServer;
    setenv("QDX_NETWORK_TIMEOUT", "1", 1);
    setenv("QDX_RESPONSE_TIMEOUT", "1", 1);
    for (auto _ : state) {
        state.PauseTiming();
        auto a = std::make_unique<SlapdServer>(c.options);
        auto b = std::make_unique<SlapdServer>(c.options);
        dirclient::test::SilentServer silent;
        std::string list = c.tls ? a->tls_url() + ";" + b->tls_url() : a->url() + ";" + b->url();
        if (c.silent_first) list = silent.url() + ";" + list;
        LDAP_CEXT* s = ldap_cext_open(list.c_str(), 0, LDAP_CEXT_FAILOVER);
        base_search(s, base);
        if (c.stop)
            a->pause();
        else
            a->kill();
        state.ResumeTiming();
        bool moved = base_search(s, base) == 0;
        state.PauseTiming();
        ldap_cext_unbind(s);
        a->kill();
        b.reset();
        a.reset();
        if (!moved) {
            state.SkipWithError("fail-over failed");
            break;
        }
        state.ResumeTiming();
    }
    unsetenv("QDX_NETWORK_TIMEOUT");
    unsetenv("QDX_RESPONSE_TIMEOUT");
}

}  // namespace bench

#endif
