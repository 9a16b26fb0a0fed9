// DConnection's asynchronous operations, the list of requests whose answers still owe work,
// and getResult, which collects an answer and finishes that work.

#include <sys/time.h>

#include <mutex>
#include <optional>
#include <utility>

#include "connection_report.h"
#include "dconnection.h"
#include "directory_handle.h"
#include "flat_file_call.h"
#include "ldap_handle_calls.h"
#include "ldap_message_ptr.h"
#include "object_memory.h"

using namespace dirclient::connection;
using dirclient::ldapaccess::HandleMessagePtr;
using dirclient::ldapaccess::out_message;

namespace {

constexpr const char* kEveryEntry = "(objectclass=*)";

// Answer types of LDAP messages.
constexpr int kBindAnswer = 0x61;
constexpr int kSearchEntry = 0x64;
constexpr int kSearchDone = 0x65;
constexpr int kModifyAnswer = 0x67;
constexpr int kAddAnswer = 0x69;
constexpr int kDeleteAnswer = 0x6b;
constexpr int kModifyDnAnswer = 0x6d;
constexpr int kSearchReference = 0x73;

// The three strings of a moving rename: DN, new RDN, new superior.
char** rename_strings(const char* dn, const char* newrdn, const char* newSuperior) {
    auto** strings = reinterpret_cast<char**>(check_malloc(3 * sizeof(char*)));
    strings[0] = strcopy(dn);
    strings[1] = strcopy(newrdn);
    strings[2] = strcopy(newSuperior);
    return strings;
}

void free_rename_strings(void* data) {
    if (data == nullptr) return;
    auto** strings = static_cast<char**>(data);
    for (int i = 0; i < 3; ++i)
        check_free(strings[i]);
    check_free(strings);
}

// What a record's requestData holds depends on its type; the list knows only the record.
void free_request_data(DConnection& connection, AsynVal* record) {
    if (record->resultType == RES_RENAME)
        free_rename_strings(record->requestData);
    else
        connection.freeSearchPar(static_cast<SearchPar*>(record->requestData));
    record->requestData = nullptr;
}

AsynVal* new_record(int resultType, int msgId, void* requestData) {
    auto* record = reinterpret_cast<AsynVal*>(check_malloc(sizeof(AsynVal)));
    record->resultType = resultType;
    record->msgId = msgId;
    record->requestData = requestData;
    return record;
}

Results* new_results(int id, int type, DException* failure) {
    auto* result = new Results();
    result->setID(id);
    result->setType(type);
    if (failure != nullptr) result->setException(failure);
    return result;
}

DException* failure_ldap(int code, int ldapCode) {
    return ldapCode != 0 ? new DException(dexception_info_message(code), code, ldapCode) : nullptr;
}

}  // namespace

// ---- sending ----------------------------------------------------------------------------

int DConnection::add_asyn(DEntry* entry, DException** out) {
    if (FlatFileCall ff{*this}) return ff->add_asyn(entry, out);
    AttrArray* values = nullptr;
    LDAPMod** mods = prepareAddRequest(entry, &values, out);
    if (mods == nullptr) return -1;
    int id;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        DS_LDAP* handle = handleLocked();
        id = handle != nullptr ? qdx_ldap_add(handle, entry->getDN(), mods) : -1;
    }
    // The request is encoded by now; its scratch structures are no longer needed.
    freeModStruct(mods, values);
    if (id == -1) fail(out, DEXC_ADD, DEXC_ASYNCHRONOUS_ERROR);
    return id;
}

int DConnection::remove_asyn(const char* dn, DException** out) {
    if (FlatFileCall ff{*this}) return ff->remove_asyn(dn, out);
    std::lock_guard<std::mutex> guard(m_lock);
    DS_LDAP* handle = handleLocked();
    int id = handle != nullptr ? qdx_ldap_delete(handle, dn) : -1;
    if (handle == nullptr)
        fail(out, DEXC_REMOVE, kNoOpenConnection);
    else if (id == -1)
        fail(out, DEXC_REMOVE, DEXC_ASYNCHRONOUS_ERROR);
    else
        succeed(out);
    return id;
}

int DConnection::modify_asyn(const char* dn, Modification* modification, DException** out) {
    if (FlatFileCall ff{*this}) return ff->modify_asyn(dn, modification, out);
    if (modification == nullptr) {
        fail(out, DEXC_MODIFY, kInvalidModification);
        return -1;
    }
    ModificationSet set;
    set.addModification(modification, DLIST_BORROWED);
    return modify_asyn(dn, &set, out);
}

int DConnection::modify_asyn(const char* dn, ModificationSet* modifications, DException** out) {
    if (FlatFileCall ff{*this}) return ff->modify_asyn(dn, modifications, out);
    AttrArray* values = nullptr;
    LDAPMod** mods = prepareModifyRequest(dn, modifications, &values, out);
    if (mods == nullptr) return -1;
    int id;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        DS_LDAP* handle = handleLocked();
        id = handle != nullptr ? qdx_ldap_modify(handle, dn, mods) : -1;
    }
    freeModStruct(mods, values);
    if (id == -1) fail(out, DEXC_MODIFY, DEXC_ASYNCHRONOUS_ERROR);
    return id;
}

int DConnection::rename_asyn(const char* dn, const char* newrdn, bool deleteOldRdn,
                             DException** out) {
    return rename_asyn(dn, newrdn, nullptr, deleteOldRdn, out);
}

int DConnection::rename_asyn(const char* dn, const char* newrdn, const char* newSuperior,
                             bool deleteOldRdn, DException** out) {
    if (FlatFileCall ff{*this}) return ff->rename_asyn(dn, newrdn, newSuperior, deleteOldRdn, out);
    bool move = false;
    if (!report_to(out, checkRename(dn, newrdn, newSuperior, &move))) return -1;
    std::lock_guard<std::mutex> guard(m_lock);
    DS_LDAP* handle = handleLocked();
    int id = handle != nullptr ? qdx_ldap_modrdn2(handle, dn, newrdn, deleteOldRdn ? 1 : 0) : -1;
    if (handle == nullptr) {
        fail(out, DEXC_RENAME, kNoOpenConnection);
    } else if (id == -1) {
        fail(out, DEXC_RENAME, DEXC_ASYNCHRONOUS_ERROR);
    } else if (move) {
        // Recorded before the lock goes, so that no getResult can see the answer unrecorded.
        appendRecordLocked(new_record(RES_RENAME, id, rename_strings(dn, newrdn, newSuperior)));
    }
    return id;
}

int DConnection::read_asyn(const char* dn, DException** out) {
    return read_asyn(dn, nullptr, out);
}

int DConnection::read_asyn(const char* dn, DList* attrs, DException** out) {
    if (FlatFileCall ff{*this}) return ff->read_asyn(dn, attrs, out);
    std::lock_guard<std::mutex> guard(m_lock);
    return sendSearchLocked(dn, 0, kEveryEntry, attrs, false, nullptr, RES_READ, out);
}

int DConnection::search_asyn(const char* base, int scope, const char* filter, DList* attrs,
                             bool attrsOnly, DException** out) {
    return search_asyn(base, scope, filter, attrs, attrsOnly, nullptr, out);
}

int DConnection::search_asyn(const char* base, int scope, const char* filter, DList* attrs,
                             bool attrsOnly, SearchConstraints* constraints, DException** out) {
    if (FlatFileCall ff{*this})
        return ff->search_asyn(base, scope, filter, attrs, attrsOnly, constraints, out);
    std::lock_guard<std::mutex> guard(m_lock);
    return sendSearchLocked(base, scope, filter, attrs, attrsOnly, constraints, RES_SEARCH, out);
}

int DConnection::sendSearchLocked(const char* base, int scope, const char* filter, DList* attrs,
                                  bool attrsOnly, SearchConstraints* constraints, int resultType,
                                  DException** out) {
    DS_LDAP* handle = handleLocked();
    SearchPar* par = nullptr;
    Status prepared = prepareSearchLocked(handle, base, scope, filter, attrs, constraints, &par);
    if (!report_to(out, std::move(prepared))) return -1;
    int id = qdx_ldap_search(handle, base, par->scope, filter, par->attrs, attrsOnly ? 1 : 0);
    if (id == -1) {
        freeSearchPar(par);
        if (resultType == RES_READ)
            fail(out, DEXC_READ, DEXC_ASYNCHRONOUS_ERROR);
        else
            fail_ldap(out, DEXC_SEARCH, -1);
        return -1;
    }
    appendRecordLocked(new_record(resultType, id, par));
    return id;
}

// ---- the pending list -------------------------------------------------------------------

void DConnection::appendRecordLocked(AsynVal* record) {
    if (m_pMsgList == nullptr) m_pMsgList = new (HEAP) DList();
    m_pMsgList->append(record, DLIST_ASYNVAL, false);
}

void DConnection::addAsynValue(AsynVal* record) {
    std::lock_guard<std::mutex> guard(m_lock);
    appendRecordLocked(record);
}

DListItem* DConnection::findMsgItemLocked(int msgId) {
    if (m_pMsgList == nullptr) return nullptr;
    for (DListItem* item = m_pMsgList->getFirstItem(); item != nullptr;
         item = m_pMsgList->getNextItem()) {
        auto* record = static_cast<AsynVal*>(item->getValue());
        if (item->getType() == DLIST_ASYNVAL && record != nullptr && record->msgId == msgId)
            return item;
    }
    return nullptr;
}

DListItem* DConnection::getMsgItem(int msgId) {
    std::lock_guard<std::mutex> guard(m_lock);
    return findMsgItemLocked(msgId);
}

DList* DConnection::getMsgList() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_pMsgList;
}

bool DConnection::setMsgList(DList* list) {
    DList* old;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        old = m_pMsgList;
        m_pMsgList = list;
    }
    if (old != nullptr && old != list) {
        // The list releases the records; what they point to is released here first.
        for (DListItem* item = old->getHead(); item != nullptr; item = item->getNextItem()) {
            if (item->getType() == DLIST_ASYNVAL && item->getValue() != nullptr)
                free_request_data(*this, static_cast<AsynVal*>(item->getValue()));
        }
        delete old;
    }
    return true;
}

// ---- collecting -------------------------------------------------------------------------

Results* DConnection::getResult(int msgId) {
    return getResult(msgId, 0);
}

// Finishes one collected answer as a Results: the failure it carries, with what the server
// said, and the work its request still owes (a search's entries, a read's entry, a move).
// Runs with the connection's lock held; only a move releases it for a while.
class DConnection::AnswerFinisher {
  public:
    AnswerFinisher(DConnection& connection, std::unique_lock<std::mutex>& lock, DS_LDAP* handle,
                   int msgId)
        : connection_(connection), lock_(lock), handle_(handle), msgId_(msgId) {}

    Results* finish(int type, HandleMessagePtr message) {
        code_ = qdx_ldap_result2error(handle_, message.get(), 0);
        dirclient::ldapaccess::ServerDiagnostics said = said_after(handle_, code_);
        takeRecord();
        Results* result = new_results(msgId_, RES_UNKNOWN, nullptr);
        if (type == kBindAnswer)
            finishBind(result);
        else if (isSearchOrRename(type))
            finishSearchOrRename(result, type, std::move(message));
        else
            finishPlain(result, type);
        if (record_ && record_->resultType != RES_RENAME && record_->requestData != nullptr)
            free_request_data(connection_, &*record_);
        DException* failure = result->getException();
        if (failure != nullptr && code_ != 0 && failure->getLdapErrorCode() == code_)
            with_said(failure, std::move(said));
        return result;
    }

  private:
    static bool isSearchOrRename(int type) {
        return type == kSearchEntry || type == kSearchDone || type == kSearchReference ||
               type == kModifyDnAnswer;
    }

    // The record leaves the list at once: it is this call's now, and the list may change
    // while the lock is released for a move.
    void takeRecord() {
        DListItem* item = connection_.findMsgItemLocked(msgId_);
        if (item == nullptr) return;
        record_ = *static_cast<AsynVal*>(item->getValue());
        connection_.m_pMsgList->removeIt();
    }

    void finishBind(Results* result) {
        result->setType(RES_AUTHENTICATE);
        if (code_ != 0)
            result->setException(failure_ldap(DEXC_AUTHENTICATE, code_));
        else
            connection_.m_bAuthenticated = true;
    }

    void finishSearchOrRename(Results* result, int type, HandleMessagePtr message) {
        if (record_ && record_->resultType == RES_RENAME) {
            message.reset();
            finishMove(result);
        } else if (record_) {
            connection_.finishSearchAnswer(result, &*record_, connection_.handleLocked(),
                                           message.get(), code_);
        } else if (type == kModifyDnAnswer) {
            setOutcome(result, RES_RENAME, DEXC_RENAME);
        } else {
            setOutcome(result, RES_SEARCH, DEXC_SEARCH);
        }
    }

    // The rename in place is done; the move runs the connection's own read, add and remove.
    void finishMove(Results* result) {
        result->setType(RES_RENAME);
        if (code_ != 0) {
            result->setException(failure_ldap(DEXC_RENAME, code_));
        } else {
            auto** strings = static_cast<char**>(record_->requestData);
            DException* failure = nullptr;
            lock_.unlock();
            connection_.moveEntry(strings[0], strings[1], strings[2], &failure);
            lock_.lock();
            result->setException(failure);
        }
        free_rename_strings(record_->requestData);
    }

    // Answers that owe no further work: modify, add, delete, and anything unknown.
    void finishPlain(Results* result, int type) {
        switch (type) {
            case kModifyAnswer:
                return setOutcome(result, RES_MODIFY, DEXC_MODIFY);
            case kAddAnswer:
                return setOutcome(result, RES_ADD, DEXC_ADD);
            case kDeleteAnswer:
                return setOutcome(result, RES_REMOVE, DEXC_REMOVE);
            default:
                return setOutcome(result, RES_UNKNOWN, DEXC_GET_RESULT);
        }
    }

    void setOutcome(Results* result, int resultType, int operation) {
        result->setType(resultType);
        result->setException(failure_ldap(operation, code_));
    }

    DConnection& connection_;
    std::unique_lock<std::mutex>& lock_;
    DS_LDAP* handle_;
    const int msgId_;
    int code_ = 0;
    std::optional<AsynVal> record_;
};

Results* DConnection::getResult(int msgId, int timeout) {
    if (FlatFileCall ff{*this}) return ff->getResult(msgId, timeout);
    struct timeval limit = {};
    if (timeout > 0) limit = {timeout / 1000, (timeout % 1000) * 1000};
    // A negative time-out polls: an unlimited wait is asked for with 0 only.
    struct timeval* wait = timeout != 0 ? &limit : nullptr;

    std::unique_lock<std::mutex> lock(m_lock);
    DS_LDAP* handle = handleLocked();
    if (handle == nullptr)
        return new_results(msgId, RES_UNKNOWN,
                           new DException(dexception_info_message(DEXC_GET_RESULT), DEXC_GET_RESULT,
                                          kNoOpenConnection));
    HandleMessagePtr message;
    const int type = qdx_ldap_result(handle, msgId, 1, wait, out_message(message));
    if (type == 0) return nullptr;
    if (type == -1) {
        return new_results(msgId, RES_UNKNOWN,
                           new DException(dexception_info_message(DEXC_GET_RESULT), DEXC_GET_RESULT,
                                          qdx_ldap_get_lderrno(handle)));
    }
    if (msgId == -1) msgId = qdx_ldap_msgid(message.get());
    return AnswerFinisher(*this, lock, handle, msgId).finish(type, std::move(message));
}

void DConnection::finishSearchAnswer(Results* result, AsynVal* record, DS_LDAP* handle,
                                     LDAPMessage* message, int code) {
    result->setType(record->resultType);
    if (code != 0 || handle == nullptr) {
        result->setException(failure_ldap(DEXC_SEARCH, code != 0 ? code : LDAP_OTHER));
        return;
    }
    SearchResults* found = convertSearchAnswer(handle, message);
    result->setSearchResult(found);
    if (record->resultType != RES_READ) return;

    DListItem* first = found->getValues()->getHead();
    auto* element = static_cast<DElement*>(first->getValue());
    if (element->getType() == DELEMENT_ENTRY) {
        // The entry is the Results' read result; the search results only refer to it.
        first->setItemType(DLIST_BORROWED);
        result->setReadResult(static_cast<DEntry*>(element));
    } else {
        // Nothing was read: the answer's exception is the failure of the read.
        found->getValues()->setCursor(first);
        first->resetValue(nullptr);
        found->getValues()->removeIt();
        result->setException(static_cast<DException*>(element));
    }
}
