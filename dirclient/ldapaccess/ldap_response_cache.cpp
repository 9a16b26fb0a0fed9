#include "ldap_response_cache.h"

#include <new>

#include "ldap_trace.h"
#include "plain_session.h"

using dirclient::ldapaccess::ResponseCache;
using dirclient::ldapaccess::SessionCore;
namespace plain = dirclient::ldapaccess::plain;

namespace {

ResponseCache* cache_of(LDAP* ld) {
    SessionCore* core = ld ? plain::find(ld) : nullptr;
    return core ? core->cache() : nullptr;
}

}  // namespace

extern "C" int ldap_enable_cache(LDAP* ld, long timeout, long maxmem) {
    if (ld == nullptr) return -1;
    try {
        SessionCore& core = plain::core(ld);
        int rc = core.enable_cache(timeout, maxmem);
        if (rc != 0) {
            int code = LDAP_NO_MEMORY;
            ldap_set_option(ld, LDAP_OPT_RESULT_CODE, &code);
        }
        return rc;
    } catch (const std::bad_alloc&) {
        int code = LDAP_NO_MEMORY;
        ldap_set_option(ld, LDAP_OPT_RESULT_CODE, &code);
        return -1;
    }
}

extern "C" void ldap_disable_cache(LDAP* ld) {
    if (ResponseCache* cache = cache_of(ld)) cache->disable();
}

extern "C" void ldap_set_cache_options(LDAP* ld, unsigned long options) {
    if (ResponseCache* cache = cache_of(ld)) cache->set_options(options);
}

extern "C" void ldap_flush_cache(LDAP* ld) {
    if (ResponseCache* cache = cache_of(ld)) cache->flush();
}

extern "C" void ldap_destroy_cache(LDAP* ld) {
    if (SessionCore* core = ld ? plain::find(ld) : nullptr) core->destroy_cache();
}

extern "C" void ldap_uncache_request(LDAP* ld, int msgid) {
    if (ResponseCache* cache = cache_of(ld)) cache->uncache_request(msgid);
}

extern "C" void ldap_uncache_entry(LDAP* ld, const char* dn) {
    if (ResponseCache* cache = cache_of(ld)) cache->uncache_entry(dn);
}
