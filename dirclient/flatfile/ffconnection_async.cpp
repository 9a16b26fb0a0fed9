// Asynchronous forms, their results, change detection, credentials and the synthetic
// monitor entry of the flat-file directory.

#include "ffconnection.h"

#include "attribute.h"
#include "dentry.h"
#include "dexception.h"
#include "dlist.h"
#include "ffstore_lock.h"
#include "results.h"
#include "search_results.h"

#include <cstdio>
#include <ctime>
#include <string>

const char* const Versionstr = "LDIF V3.3, adapted for Korvan VELT, compiled Sep 29 2004";

// The operation has run; its outcome waits in a new Results. The caller's err and the
// Results each get their own exception object, so each owner releases exactly one.
// Drops the results nobody collected, with their exceptions: never handed out, so nobody
// else owns them.
void FFConnection::discardResults() {
    if (!results) return;
    for (DListItem* item = results->getHead(); item != nullptr; item = item->getNextItem()) {
        auto* result = static_cast<Results*>(item->getValue());
        if (result == nullptr) continue;
        delete result->getException();
        delete result;
    }
    results.reset();
}

int FFConnection::queueResult(int type, DException* failure, DException** err, DEntry* read,
                              SearchResults* found) {
    auto* result = new Results();
    result->setID(++lastMessageId);
    result->setType(type);
    if (failure != nullptr) {
        if (err != nullptr) {
            *err = failure;
            result->setException(new DException(*failure));
        } else {
            result->setException(failure);
        }
    }
    if (read != nullptr) result->setReadResult(read);
    if (found != nullptr) result->setSearchResult(found);
    if (!results) results.reset(new (HEAP) DList());
    results->append(result, DLIST_BORROWED, false);
    return lastMessageId;
}

int FFConnection::add_asyn(DEntry* entry, DException** err) {
    FFStoreLock lock;
    DException* failure = nullptr;
    add(entry, &failure);
    return queueResult(RES_ADD, failure, err, nullptr, nullptr);
}

int FFConnection::remove_asyn(const char* dn, DException** err) {
    FFStoreLock lock;
    DException* failure = nullptr;
    remove(dn, &failure);
    return queueResult(RES_REMOVE, failure, err, nullptr, nullptr);
}

int FFConnection::modify_asyn(const char* dn, ModificationSet* mods, DException** err) {
    FFStoreLock lock;
    DException* failure = nullptr;
    modify(dn, mods, &failure);
    return queueResult(RES_MODIFY, failure, err, nullptr, nullptr);
}

int FFConnection::modify_asyn(const char* dn, Modification* mod, DException** err) {
    FFStoreLock lock;
    DException* failure = nullptr;
    modify(dn, mod, &failure);
    return queueResult(RES_MODIFY, failure, err, nullptr, nullptr);
}

int FFConnection::rename_asyn(const char* dn, const char* newRDN, const char* newSuperior,
                              bool deleteOldRDN, DException** err) {
    FFStoreLock lock;
    DException* failure = nullptr;
    rename(dn, newRDN, newSuperior, deleteOldRDN, &failure);
    return queueResult(RES_RENAME, failure, err, nullptr, nullptr);
}

int FFConnection::rename_asyn(const char* dn, const char* newRDN, bool deleteOldRDN,
                              DException** err) {
    return rename_asyn(dn, newRDN, nullptr, deleteOldRDN, err);
}

int FFConnection::read_asyn(const char* dn, DList* attrs, DException** err) {
    FFStoreLock lock;
    DException* failure = nullptr;
    DEntry* entry = read(dn, attrs, &failure);
    return queueResult(RES_READ, failure, err, entry, nullptr);
}

int FFConnection::read_asyn(const char* dn, DException** err) {
    return read_asyn(dn, nullptr, err);
}

int FFConnection::search_asyn(const char* base, int scope, const char* filter, DList* attrs,
                              bool typesOnly, SearchConstraints* constraints, DException** err) {
    FFStoreLock lock;
    DException* failure = nullptr;
    SearchResults* found = search(base, scope, filter, attrs, typesOnly, constraints, &failure);
    return queueResult(RES_SEARCH, failure, err, nullptr, found);
}

int FFConnection::search_asyn(const char* base, int scope, const char* filter, DList* attrs,
                              bool typesOnly, DException** err) {
    return search_asyn(base, scope, filter, attrs, typesOnly, nullptr, err);
}

int FFConnection::authenticate_asyn(const char* dn, const char* password, DException** err) {
    FFStoreLock lock;
    DException* failure = nullptr;
    authenticate(dn, password, &failure);
    return queueResult(RES_AUTHENTICATE, failure, err, nullptr, nullptr);
}

int FFConnection::authenticate_asyn(int, const char* dn, const char* password, DException** err) {
    return authenticate_asyn(dn, password, err);
}

// Identifiers start at 1, so 0 and -1 (what a DConnection passes for "any") both take the
// oldest pending result.
Results* FFConnection::getResult(int id, int) {
    FFStoreLock lock;
    if (!results) return nullptr;
    for (DListItem* item = results->getFirstItem(); item != nullptr;
         item = results->getNextItem()) {
        auto* result = static_cast<Results*>(item->getValue());
        if (id > 0 && (result == nullptr || result->getID() != id)) continue;
        results->removeIt();  // an untyped item: the Results itself goes to the caller
        return result;
    }
    return nullptr;
}

Results* FFConnection::getResult(int id) {
    return getResult(id, 0);
}

int FFConnection::isChanged() {
    FFStoreLock lock;
    if (modsCompleted == modsSeen) return 0;
    modsSeen = modsCompleted;
    return 1;
}

char* FFConnection::getAuthenticationDN() {
    FFStoreLock lock;
    return strcopy(authDN.get());
}

char* FFConnection::getAuthenticationPassword() {
    FFStoreLock lock;
    return strcopy(authPassword.get());
}

bool FFConnection::setAuthenticationDN(const char* dn) {
    FFStoreLock lock;
    authDN.reset(strcopy(dn));
    return true;
}

bool FFConnection::setAuthenticationPassword(const char* password) {
    FFStoreLock lock;
    authPassword.reset(strcopy(password));
    return true;
}

bool FFConnection::isAuthenticated() {
    FFStoreLock lock;
    return bound;
}

bool FFConnection::isConnected() {
    FFStoreLock lock;
    return bound;
}

void FFConnection::enableCache(long, long, DException** err) {
    if (err != nullptr) *err = nullptr;
}

void FFConnection::setTimeout(long, DException** err) {
    if (err != nullptr) *err = nullptr;
}

// ---- monitor entry ----------------------------------------------------------------------

namespace {

std::string timeText(std::time_t when) {
    char buffer[64];
    struct tm local {};
    localtime_r(&when, &local);
    std::size_t length = std::strftime(buffer, sizeof buffer, "%Y%m%d%H%M%SZ", &local);
    return std::string(buffer, length);
}

void addValues(DEntry* entry, const char* name, std::initializer_list<std::string> values) {
    auto* attribute = new (SHAR) Attribute(name);
    for (const std::string& value : values)
        attribute->addValue(value.c_str());
    entry->addAttribute(attribute);
}

std::string connectionLine(int number, const std::string& start, int count, int done,
                           const char* who) {
    return std::to_string(number) + " : " + start + " : " + std::to_string(count) + " : " +
           std::to_string(done) + " : " + who + " : ";
}

}  // namespace

DEntry* FFConnection::genMonitorEntry() {
    FFStoreLock lock;
    auto* entry = new (SHAR) DEntry("cn=monitor");
    std::string start = timeText(startTime);
    const char* who = authDN ? authDN.get() : "";
    addValues(entry, "version", {Versionstr});
    addValues(entry, "korvanversion", {"2.01"});
    addValues(entry, "threads", {"1"});
    addValues(entry, "connection",
              {connectionLine(0, start, bindCount, bindCount, who),
               connectionLine(1, start, opsInitiated, opsInitiated - 1, who)});
    addValues(entry, "currentConnections", {"2"});
    addValues(entry, "totalConnections", {"2"});
    addValues(entry, "dTableSize", {"0"});
    addValues(entry, "writeWaiters", {"0"});
    addValues(entry, "readWaiters", {"0"});
    addValues(entry, "opsInitiated", {std::to_string(opsInitiated)});
    addValues(entry, "opsCompleted", {std::to_string(opsInitiated - 1)});
    addValues(entry, "modsCompleted", {std::to_string(modsCompleted)});
    addValues(entry, "entriesSent", {std::to_string(entriesSent)});
    addValues(entry, "bytesSent", {"0"});
    addValues(entry, "currentTime", {timeText(std::time(nullptr))});
    addValues(entry, "startTime", {start});
    addValues(entry, "nBackends", {"1"});
    return entry;
}
