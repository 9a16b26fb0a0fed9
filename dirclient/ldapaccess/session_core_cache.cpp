// SessionCore: the response cache, fed with the answers that reach the server.

#include "session_core.h"

#include <new>
#include <optional>

#include "ldap_message_codec.h"
#include "ldap_result_codes.h"

namespace dirclient::ldapaccess {

void SessionCore::feed_cache(int caller_id, LDAPMessage* chain) {
    if (!cache_ || !cache_->has_pending(caller_id)) return;
    LDAP* ld = connection_.ld.get();
    for (LDAPMessage* m = ldap_first_message(ld, chain); m; m = ldap_next_message(ld, m)) {
        int type = ldap_msgtype(m);
        std::optional<EncodedResponse> encoded = encode_response(ld, m);
        if (encoded) {
            cache_->add_result(caller_id, type, std::move(encoded->bytes), encoded->code,
                               std::move(encoded->dn));
        } else if (type == LDAP_RES_SEARCH_ENTRY || type == LDAP_RES_SEARCH_RESULT ||
                   type == LDAP_RES_COMPARE) {
            // An answer we could not copy: the chain would be incomplete, so keep none of it.
            cache_->uncache_request(caller_id);
            return;
        } else {
            cache_->add_result(caller_id, type, {}, 0, {});
        }
    }
}

int SessionCore::enable_cache(long timeout, long maxmem) {
    if (maxmem == 0 && cache_) {
        cache_->flush();
        return 0;
    }
    if (!cache_) {
        cache_.reset(new (std::nothrow) ResponseCache);
        if (!cache_) {
            last_error_ = QDX_LDAP_NO_MEMORY;
            return -1;
        }
    }
    cache_->configure(timeout, maxmem);
    return 0;
}

void SessionCore::destroy_cache() {
    if (!cache_) return;
    cache_->flush();
    cache_.reset();
}

}  // namespace dirclient::ldapaccess
