// DConnection's subtree operations on a flat file, moving a renamed leaf, the
// response cache and change detection.

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "connection_report.h"
#include "dconnection.h"
#include "directory_handle.h"
#include "dn_normalize.h"
#include "ffconnection.h"
#include "ffdn.h"
#include "ffsubtree_walk.h"
#include "flat_file_call.h"
#include "ldap_cext.h"
#include "ldap_handle_calls.h"
#include "object_memory.h"

using namespace dirclient::connection;

namespace {

LDAP_CEXT* server_list(DS_LDAP* handle) {
    return handle != nullptr && handle->kind == QDX_LDAP_SERVER_LIST
               ? static_cast<LDAP_CEXT*>(handle->session)
               : nullptr;
}

}  // namespace

void DConnection::removeTreeFlatFile(FFConnection* ff, const char* dn, DException** out) {
    // The walk holds the store lock (recursive), keeping it in one piece for other users.
    FFSubtreeWalk walk;
    ff->remove(dn, out);
    if (*out != nullptr && (*out)->getLdapErrorCode() == LDAP_NOT_ALLOWED_ON_NONLEAF) {
        delete *out;
        *out = nullptr;
        std::vector<std::string> children = walk.childrenOf(dn);
        if (children.empty()) fail(out, DEXC_REMOVE, kNoChildFound);
        for (const std::string& child : children) {
            removeTreeFlatFile(ff, child.c_str(), out);
            if (*out != nullptr) break;
        }
        if (*out == nullptr) ff->remove(dn, out);
    }
}

void DConnection::moveEntry(const char* dn, const char* newrdn, const char* newSuperior,
                            DException** out) {
    PrivateHolder holder(out);
    DException** report = holder.get();
    const char* parent = dn != nullptr ? ffdn::parentOf(dn) : nullptr;
    if (parent == nullptr) return fail(report, DEXC_RENAME, kInvalidDn);
    if (newrdn == nullptr) return fail(report, DEXC_RENAME, kInvalidRdn);
    if (newSuperior == nullptr) return fail(report, DEXC_RENAME, kInvalidDn);

    const std::string renamed = std::string(newrdn) + "," + parent;
    DEntry* entry = read(renamed.c_str(), report);
    if (entry == nullptr) return;
    entry->setDN((std::string(newrdn) + "," + newSuperior).c_str());
    add(entry, report);
    delete entry;
    if (*report != nullptr) return;
    remove(renamed.c_str(), report);
}

// ---- cache and change detection ---------------------------------------------------------

void DConnection::enableCache(long timeout, long maxmem, DException** out) {
    if (FlatFileCall ff{*this}) return ff->enableCache(timeout, maxmem, out);
    succeed(out);
    std::lock_guard<std::mutex> guard(m_lock);
    DS_LDAP* handle = handleLocked();
    if (handle == nullptr) return fail(out, DEXC_ENABLE_CACHE, kNoOpenConnection);
    if (qdx_ldap_enable_cache(handle, timeout, maxmem) != 0)
        fail(out, DEXC_ENABLE_CACHE, kCanNotAllocate);
}

void DConnection::disableCache() {
    if (FlatFileCall ff{*this}) return ff->disableCache();
    std::lock_guard<std::mutex> guard(m_lock);
    if (DS_LDAP* handle = handleLocked()) qdx_ldap_disable_cache(handle);
}

int DConnection::isChanged() {
    if (FlatFileCall ff{*this}) return ff->isChanged();
    std::lock_guard<std::mutex> guard(m_lock);
    LDAP_CEXT* session = server_list(handleLocked());
    return session != nullptr ? ldap_cext_is_changed(session) : 0;
}

int DConnection::getModCount() {
    if (FlatFileCall ff{*this}) return 0;
    std::lock_guard<std::mutex> guard(m_lock);
    LDAP_CEXT* session = server_list(handleLocked());
    if (session == nullptr) return 0;
    ldap_cext_is_changed(session);
    return static_cast<int>(ldap_cext_get_mod_count(session));
}
