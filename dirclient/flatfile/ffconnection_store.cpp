// The process-wide flat-file store: set-up, file name, loading an LDIF file (RFC 2849) and
// writing it back without ever exposing a half-written file.

#include "ffconnection.h"

#include "attribute.h"
#include "dentry.h"
#include "dexception.h"
#include "dlist.h"
#include "dn_normalize.h"
#include "ffdn.h"
#include "ffindex.h"
#include "ffline.h"
#include "ffmessage.h"
#include "fforphan.h"
#include "ffrecord.h"
#include "ffstore_file.h"
#include "ffstore_lock.h"
#include "ldap_result_codes.h"
#include "ldif_codec.h"
#include "results.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <queue>
#include <string>
#include <unordered_map>
#include <vector>

FFNode* FFConnection::m_pRoot = nullptr;
char* FFConnection::m_pFile = nullptr;
char* FFConnection::m_pHost = nullptr;
// Recursive: operations built from other operations (rename, the asynchronous forms,
// loading) take it again.
pthread_mutex_t FFConnection::m_Mutex = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
pthread_once_t FFConnection::qdxFF_once_block = PTHREAD_ONCE_INIT;
FFIndex* FFConnection::m_pIndex = nullptr;

namespace {

const char kConnectInfo[] = "ERROR: can not connect";
const char kDisconnectInfo[] = "ERROR: can not disconnect";
const char kFileTrouble[] = "Can't contact LDIF flat file";

void reportLdap(DException** err, const char* info, int code, int ldapCode) {
    if (err != nullptr) *err = new DException(info, code, ldapCode);
}

// Why the last connect of this thread failed; null when it did not say.
thread_local const char* lastFailure = nullptr;

// Adds what went wrong, in the user's terms, to a connect failure.
void explain(DException** err, const std::string& detail) {
    lastFailure = ffLastingText(detail);
    if (err != nullptr && *err != nullptr) (*err)->setDiagnosticMessage(detail);
}

void reportLdap(DException** err, const char* info, int code, int ldapCode,
                const std::string& detail) {
    reportLdap(err, info, code, ldapCode);
    explain(err, detail);
}

bool startsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        char c = *text;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != *prefix) return false;
    }
    return true;
}

std::string foldKey(const char* dn) {
    std::string key(dn);
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return key;
}

void deletePending(DList* pending) {
    if (pending == nullptr) return;
    for (DListItem* item = pending->getHead(); item != nullptr; item = item->getNextItem()) {
        auto* result = static_cast<Results*>(item->getValue());
        if (result == nullptr) continue;
        delete result->getException();  // never handed out, so nobody else owns it
        delete result;
    }
    delete pending;
}

}  // namespace

extern "C" void qdxFF_once_init() {
    FFConnection::init();
}

extern "C" void qdxFF_at_exit() {
    FFConnection::empty();
}

// ---- lifecycle --------------------------------------------------------------------------

FFConnection::FFConnection() {
    pthread_once(&qdxFF_once_block, qdxFF_once_init);
    startTime = std::time(nullptr);
}

FFConnection::FFConnection(const char* file, int p) : FFConnection() {
    port = p;
    setFile(file);
}

FFConnection::~FFConnection() {
    FFStoreLock lock;
    if (modified) writeStore(nullptr);
    detachFromStore();
    check_free(authDN);
    check_free(authPassword);
    deletePending(results);
}

void FFConnection::init() {
    std::atexit(qdxFF_at_exit);
}

void FFConnection::lock() {
    pthread_mutex_lock(&m_Mutex);
}

void FFConnection::unlock() {
    pthread_mutex_unlock(&m_Mutex);
}

void FFConnection::unload() {
    FFStoreFile::forget();
    delete m_pRoot;
    m_pRoot = nullptr;
    if (m_pIndex != nullptr) m_pIndex->clear();
}

// The lock stays usable: other threads may still hold connections when this runs at exit.
void FFConnection::empty() {
    FFStoreLock lock;
    check_free(m_pFile);
    m_pFile = nullptr;
    check_free(m_pHost);
    m_pHost = nullptr;
    unload();
    delete m_pIndex;
    m_pIndex = nullptr;
}

FFNode* FFConnection::getRoot() {
    FFStoreLock lock;
    return m_pRoot;
}

bool FFConnection::setRoot(FFNode* root) {
    FFStoreLock lock;
    m_pRoot = root;
    if (m_pIndex == nullptr) m_pIndex = new FFIndex();
    m_pIndex->clear();
    if (root == nullptr) return true;
    std::vector<FFNode*> pending{root};
    while (!pending.empty()) {
        FFNode* node = pending.back();
        pending.pop_back();
        if (node->children == nullptr) continue;
        for (DListItem* item = node->children->getHead(); item != nullptr;
             item = item->getNextItem()) {
            auto* child = static_cast<FFNode*>(item->getValue());
            if (child->hasEntry()) m_pIndex->insert(child, item);
            pending.push_back(child);
        }
    }
    return true;
}

// A node belongs to the store when it is the root or is indexed: a constant-time test,
// where walking up to the root would make building a deep tree quadratic.
FFIndex* FFConnection::indexFor(FFNode* node) {
    if (node == nullptr || m_pIndex == nullptr) return nullptr;
    if (node == m_pRoot) return m_pIndex;
    if (node->hasEntry() && m_pIndex->itemOf(node) != nullptr) return m_pIndex;
    return nullptr;
}

const char* FFConnection::myGetHost() {
    FFStoreLock lock;
    return m_pHost;
}

bool FFConnection::mySetHost(const char* host) {
    FFStoreLock lock;
    check_free(m_pHost);
    m_pHost = strcopy(host);
    return true;
}

const char* FFConnection::getHost() {
    return myGetHost();
}

bool FFConnection::setFile(const char* host) {
    FFStoreLock lock;
    // The loaded tree is written back to the file it came from, never to another one.
    if (m_pRoot != nullptr) return true;
    mySetHost(host);
    char* path = nullptr;
    if (host != nullptr) {
        path = strcopy(startsWithNoCase(host, "file:///") ? host + 8 : host);
        if (std::strchr(path, '=') != nullptr) {
            if (char* slash = std::strrchr(path, '/')) *slash = '\0';
        }
    }
    check_free(m_pFile);
    m_pFile = path;
    if (path == nullptr) bound = false;
    return true;
}

FFNode* FFConnection::parentNode(const char* parentDn) {
    if (m_pRoot == nullptr || parentDn == nullptr) return nullptr;
    if (*parentDn == '\0') return m_pRoot;
    return m_pIndex != nullptr ? m_pIndex->find(parentDn) : nullptr;
}

FFNode* FFConnection::lookup(const char* dn) {
    if (m_pRoot == nullptr || dn == nullptr) return nullptr;
    if (*dn == '\0') return m_pRoot->hasEntry() ? m_pRoot : nullptr;
    return m_pIndex != nullptr ? m_pIndex->find(dn) : nullptr;
}

// ---- connect and load -------------------------------------------------------------------

const char* FFConnection::lastConnectFailure() {
    return lastFailure;
}

void FFConnection::connect(const char* host, int, DException** err) {
    if (err != nullptr) *err = nullptr;
    lastFailure = nullptr;
    FFStoreLock lock;
    if (bound) {
        DException* failure = nullptr;
        disconnect(&failure);
        if (failure != nullptr) {
            if (err != nullptr) {
                *err = failure;
            } else {
                delete failure;
            }
            return;
        }
        bound = false;
    }
    if (host == nullptr) return reportLdap(err, kConnectInfo, DEXC_CONNECT, 32);
    if (m_pRoot == nullptr && !load(host, err)) {
        bound = false;
        return;
    }
    if (!attached) {
        std::string why;
        if (!FFStoreFile::attach(m_pFile, &why)) {
            return reportLdap(err, kConnectInfo, DEXC_CONNECT, 81, why);
        }
        attached = true;
    }
    modsCompleted = modsSeen = 0;
    bound = modified = false;
}

void FFConnection::connect(const char* host, int p, const char*, const char*, DException** err) {
    connect(host, p, err);
}

// Records whose parent comes later in the file, in file order, waiting for the end.
struct FFDeferred {
    std::vector<FFRecord*> records;
    ~FFDeferred() {
        for (FFRecord* record : records)
            FFRecord::destroy(record);
    }
};

bool FFConnection::load(const char* host, DException** err) {
    setFile(host);
    if (m_pIndex == nullptr) m_pIndex = new FFIndex();
    m_pIndex->clear();
    m_pRoot = new (SHAR) FFNode(nullptr, nullptr);
    std::string why = "no file named";
    FILE* file = m_pFile != nullptr ? FFStoreFile::openForLoad(m_pFile, &why) : nullptr;
    if (file == nullptr) {
        check_free(m_pFile);
        m_pFile = nullptr;
        unload();
        reportLdap(err, kConnectInfo, DEXC_CONNECT, 81, why);
        return false;
    }
    bound = true;
    // Room in the index for the entries a file of this size is likely to hold, so that
    // loading does not rehash it again and again.
    struct stat info {};
    if (::fstat(fileno(file), &info) == 0 && info.st_size > 0) {
        m_pIndex->reserve(static_cast<std::size_t>(info.st_size) / 256);
    }
    FFDeferred deferred;
    bool ok = loadRecords(file, err, deferred);
    // A read error must not pass for the end of the file: the partial tree would be saved
    // over the complete file.
    if (ok && std::ferror(file)) {
        reportLdap(err, kConnectInfo, DEXC_CONNECT, 81,
                   std::string("cannot read ") + m_pFile + ": " + std::strerror(errno));
        ok = false;
    }
    std::fclose(file);
    if (ok) ok = resolveDeferred(deferred, err);
    if (!ok) {
        check_free(m_pFile);
        m_pFile = nullptr;
        unload();
        modified = false;
    }
    return ok;
}

namespace {

// The DN of a "dn:" or "dn::" line, normalised; base64 DNs are decoded (a saved file
// writes DNs with non-ASCII characters that way). Null when the DN decodes to bytes with a
// NUL, which no DN text can hold.
char* recordDn(const char* line) {
    const char* text = line + 3;
    if (*text == ':') {
        char* work = strcopy(line);
        char* type = nullptr;
        char* value = nullptr;
        int length = 0;
        char* dn = nullptr;
        bool cut = false;
        if (str_parse_line(work, &type, &value, &length) == 0 && length >= 0) {
            cut = std::memchr(value, '\0', static_cast<std::size_t>(length)) != nullptr;
            value[length] = '\0';
            if (!cut) dn = dn_normalize(value);
        }
        check_free(work);
        if (dn != nullptr || cut) return dn;
    }
    while (*text == ' ' || *text == '\t')
        ++text;
    return dn_normalize(text);
}

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One "name: value" or "name:: base64" line of a record. Base64 values are decoded here,
// once; a value that is not valid base64 is kept as written, and a decoded value holding
// a NUL byte is kept as a binary value so that no byte is lost.
void addLineValue(FFRecordBuilder& builder, char* line) {
    char* colon = std::strchr(line, ':');
    if (colon == nullptr) return;
    // A name that starts with white space (left over from joining a folded line) could
    // not be written back: the line would read as a continuation.
    while (line < colon && isWhiteSpace(*line))
        ++line;
    // Nor could a name starting with '#': written back, the line reads as a comment.
    if (line == colon || *line == '#') return;
    std::size_t nameLength = static_cast<std::size_t>(colon - line);
    if (colon[1] == ':') {
        std::string& work = builder.scratch();
        work.assign(colon);
        char* type = nullptr;
        char* value = nullptr;
        int length = 0;
        if (str_parse_line(work.data(), &type, &value, &length) == 0 && length >= 0) {
            auto size = static_cast<std::size_t>(length);
            bool binary = std::memchr(value, '\0', size) != nullptr;
            builder.add(line, nameLength, value, size, binary ? DLIST_BINARY : DLIST_STRING);
            return;
        }
        builder.add(line, nameLength, colon, std::strlen(colon), DLIST_STRING);
        return;
    }
    const char* value = colon + 1;
    while (*value == ' ' || *value == '\t')
        ++value;
    builder.add(line, nameLength, value, std::strlen(value), DLIST_STRING);
}

}  // namespace

namespace {

// The logical lines of the file being loaded. A line holding a NUL byte stops the load:
// its text would be cut at the NUL and the rest joined to what follows.
class LoadLines {
  public:
    explicit LoadLines(FILE* file) : file_(file) {}
    ~LoadLines() {
        check_free(line_);
        check_free(next_);
    }
    LoadLines(const LoadLines&) = delete;
    LoadLines& operator=(const LoadLines&) = delete;

    bool next() {
        if (refused_ != 0) return false;
        if (!readline(file_, &line_, &lineSize_, &next_, &nextSize_, &count_)) return false;
        if (count_.hasNul) refused_ = count_.number;
        return refused_ == 0;
    }
    char* text() const { return line_; }
    long number() const { return count_.number; }
    void refuse() { refused_ = count_.number; }
    // The line that stopped the load, 0 for none.
    long refused() const { return refused_; }

  private:
    FILE* file_;
    char* line_ = nullptr;
    int lineSize_ = 0;
    char* next_ = nullptr;
    int nextSize_ = 0;
    LineCount count_;
    long refused_ = 0;
};

}  // namespace

bool FFConnection::loadRecords(FILE* file, DException** err, FFDeferred& deferred) {
    LoadLines lines(file);
    bool ok = true;
    FFRecordBuilder builder;
    bool more = lines.next();
    while (more) {
        char* line = lines.text();
        if (!startsWithNoCase(line, "dn:")) {
            more = lines.next();
            continue;
        }
        char* dn = recordDn(line);
        if (dn == nullptr) {
            lines.refuse();
            break;
        }
        builder.reset(dn, std::strlen(dn));
        check_free(dn);
        while ((more = lines.next()) && lines.text()[0] != '\0') {
            if (lines.text()[0] != '#') addLineValue(builder, lines.text());
        }
        if (lines.refused() != 0) break;
        FFRecord* packed = builder.finish();
        ++opsInitiated;
        DException* failure = nullptr;
        if (addRecord(packed, &failure) == nullptr) {
            int code = failure->getLdapErrorCode();
            if (code == 68) {
                std::fprintf(stderr, "WARNING: duplicate entry \"%s\"\n", packed->dn());
                FFRecord::destroy(packed);
                delete failure;
            } else if (code == 32) {
                deferred.records.push_back(packed);
                delete failure;
            } else {
                FFRecord::destroy(packed);
                if (err != nullptr) {
                    *err = failure;
                } else {
                    delete failure;
                }
                ok = false;
                break;
            }
        }
        if (more) more = lines.next();
    }
    if (ok && lines.refused() != 0) {
        std::fprintf(stderr, "ERROR: %s, line %ld: a NUL byte in a DN or value; file not loaded\n",
                     m_pFile, lines.refused());
        reportLdap(err, kConnectInfo, DEXC_CONNECT, QDX_LDAP_SERVER_DOWN);
        ok = false;
    }
    return ok;
}

// Places records that came before their parents. The outcome, including the order of
// siblings, is that of retrying the waiting records in file order, pass after pass, until
// a pass adds nothing; but each record is tried once, when its parent arrives: a record
// whose parent was added in the same pass at an earlier position joins that pass, else the
// next one. A min-heap on (pass, position) replays that order in O(n log n).
bool FFConnection::resolveDeferred(FFDeferred& deferred, DException** err) {
    std::vector<FFRecord*>& waiting = deferred.records;
    if (waiting.empty()) return true;
    std::unordered_map<std::string, std::vector<std::size_t>> byParent;
    for (std::size_t i = 0; i < waiting.size(); ++i) {
        const char* parent = ffdn::parentOf(waiting[i]->dn());
        byParent[foldKey(parent != nullptr ? parent : "")].push_back(i);
    }
    using Turn = std::pair<std::size_t, std::size_t>;  // (pass, position)
    std::priority_queue<Turn, std::vector<Turn>, std::greater<Turn>> turns;
    // Children of a parent added at (pass, position) get their turn; those whose parent
    // was there before the first pass (pass 0) all take part in pass 1.
    auto release = [&](const std::string& key, std::size_t pass, std::size_t position) {
        auto found = byParent.find(key);
        if (found == byParent.end()) return;
        for (std::size_t child : found->second) {
            turns.emplace(pass == 0 || child < position ? pass + 1 : pass, child);
        }
        byParent.erase(found);
    };
    std::vector<std::string> ready;
    for (const auto& [key, children] : byParent) {
        if (parentNode(key.c_str()) != nullptr) ready.push_back(key);
    }
    for (const std::string& key : ready)
        release(key, 0, 0);
    while (!turns.empty()) {
        auto [pass, position] = turns.top();
        turns.pop();
        FFRecord* record = waiting[position];
        ++opsInitiated;
        DException* failure = nullptr;
        if (addRecord(record, &failure) != nullptr) {
            waiting[position] = nullptr;
            release(foldKey(record->dn()), pass, position);
        } else if (failure->getLdapErrorCode() == 68) {
            std::fprintf(stderr, "WARNING: duplicate entry \"%s\"\n", record->dn());
            FFRecord::destroy(record);
            waiting[position] = nullptr;
        }
        delete failure;
    }
    std::string missing;
    FFRecord* orphan = ffFirstOrphan(waiting, &missing);
    if (orphan == nullptr) return true;
    if (err != nullptr) {
        ++opsInitiated;
        if (addRecord(orphan, err) == nullptr) {
            std::fprintf(stderr, "ERROR: entry \"%s\" has no parent\n", orphan->dn());
            if ((*err)->getLdapErrorCode() == 32) {
                explain(err, "the parent entry \"" + missing + "\" of \"" + orphan->dn() +
                                 "\" is not in the file");
            }
        }
    }
    return false;
}

// ---- disconnect and save ----------------------------------------------------------------

void FFConnection::disconnect(DException** err) {
    if (err != nullptr) *err = nullptr;
    FFStoreLock lock;
    ++opsInitiated;
    --bindCount;
    // A save that failed keeps the connection marked as modified, so that its destruction
    // tries once more instead of dropping the changes without a word.
    bool saved = !modified || writeStore(err);
    detachFromStore();
    deletePending(results);
    results = nullptr;
    bound = false;
    modified = !saved;
    modsCompleted = modsSeen = 0;
}

void FFConnection::detachFromStore() {
    if (!attached) return;
    FFStoreFile::detach();
    attached = false;
}

void FFConnection::holdFile(bool hold) {
    FFStoreLock lock;
    FFStoreFile::setHold(hold);
}

// Writes the whole tree back; any failure leaves the file as it was and says why. The
// store lock is held.
bool FFConnection::writeStore(DException** err) {
    std::string why = "no file named";
    if (m_pRoot != nullptr && m_pFile != nullptr && FFStoreFile::save(m_pFile, m_pRoot, &why)) {
        return true;
    }
    if (err != nullptr && *err == nullptr) {
        // The classic text stays; why the save failed goes along as the diagnostic message.
        *err = new DException(kDisconnectInfo, DEXC_DISCONNECT, kFileTrouble);
        (*err)->setDiagnosticMessage(why);
    }
    return false;
}
