// DConnection's subtree removal over LDAP: the entries below are listed, then removed
// deepest first through a window of asynchronous requests, one depth at a time, so that
// no parent goes before its children.

#include <algorithm>
#include <map>
#include <mutex>

#include "connection_report.h"
#include "dconnection.h"
#include "directory_handle.h"
#include "flat_file_call.h"
#include "ldap_handle_calls.h"
#include "request_window.h"

using namespace dirclient::connection;

namespace {

constexpr const char* kEveryEntry = "(objectclass=*)";

// The number of RDNs of a DN: unescaped commas plus one.
size_t depth_of(const std::string& dn) {
    size_t depth = 1;
    for (size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == '\\')
            ++i;
        else if (dn[i] == ',')
            ++depth;
    }
    return depth;
}

}  // namespace

void DConnection::removeTree(const char* dn, DException** out) {
    removeTree(dn, ProgressFn(), nullptr, nullptr, out);
}

Status DConnection::listSubtree(const char* dn, std::vector<std::string>* below) {
    // Names only, and without the default constraints, which are meant for the
    // application's own searches.
    SearchConstraints unlimited(0, 0);
    DList noAttributes;
    noAttributes.append(const_cast<char*>(LDAP_NO_ATTRS), DLIST_STRING, true);
    const size_t own = depth_of(dn);
    DException* failure = nullptr;
    searchEach(
        dn, 2, kEveryEntry, &noAttributes, true, &unlimited, 0,
        [&](DEntry* entry) {
            if (entry->getDN() != nullptr && depth_of(entry->getDN()) > own)
                below->emplace_back(entry->getDN());
            delete entry;
            return true;
        },
        &failure);
    return Status(std::unique_ptr<DException>(failure));
}

void DConnection::removeTree(const char* dn, const ProgressFn& progress, long* removed,
                             std::string* failedDn, DException** out) {
    long count = 0;
    std::string failedAt;
    if (FlatFileCall ff{*this}) {
        PrivateHolder holder(out);
        succeed(holder.get());
        removeTreeFlatFile(ff.get(), dn, holder.get());
    } else {
        report_to(out, removeTreeLdap(dn, &count, &failedAt, progress));
    }
    if (removed != nullptr) *removed = count;
    if (failedDn != nullptr) *failedDn = failedAt;
}

Status DConnection::removeTreeLdap(const char* dn, long* removed, std::string* failedDn,
                                   const ProgressFn& progress) {
    auto remove_one = [&](const char* target) {
        DException* failure = nullptr;
        remove(target, &failure);
        if (failure == nullptr)
            ++*removed;
        else if (failedDn->empty())
            *failedDn = target;
        return Status(std::unique_ptr<DException>(failure));
    };
    if (dn == nullptr) return failed(DEXC_REMOVE, kInvalidDn);
    Status status = remove_one(dn);
    if (status || status.exception()->getLdapErrorCode() != LDAP_NOT_ALLOWED_ON_NONLEAF)
        return status;
    failedDn->clear();

    // A listing cut short by a server's limit is removed and listed again, as long as each
    // round removes something.
    for (bool first = true;; first = false) {
        std::vector<std::string> below;
        if (Status listed = listSubtree(dn, &below); !listed) return listed;
        if (below.empty()) {
            if (first) return failed(DEXC_REMOVE, kNoChildFound);
            break;
        }
        Status level = removeDeepestFirst(below, removed, failedDn, progress);
        if (!level) return level;
    }
    return remove_one(dn);
}

Status DConnection::removeDeepestFirst(const std::vector<std::string>& dns, long* removed,
                                       std::string* failedDn, const ProgressFn& progress) {
    std::map<size_t, std::vector<const std::string*>, std::greater<>> levels;
    for (const std::string& dn : dns)
        levels[depth_of(dn)].push_back(&dn);
    for (const auto& level : levels) {
        RequestWindow window(*this);
        for (const std::string* dn : level.second) {
            if (!window.submit(*dn,
                               [&](DException** sent) { return remove_asyn(dn->c_str(), sent); }))
                break;
            if (progress && (window.done() & 255) == 0) progress(*removed + window.done());
        }
        window.drain();
        *removed += window.done();
        if (progress) progress(*removed);
        if (DException* failure = window.takeFailure()) {
            *failedDn = window.failedLabel();
            return Status(std::unique_ptr<DException>(failure));
        }
    }
    return {};
}
