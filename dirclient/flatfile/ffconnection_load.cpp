// Connecting to the flat-file store: loading an LDIF file (RFC 2849) into the tree, with
// records that come before their parents placed once the parents are there.

#include "ffconnection.h"

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
#include "status.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <queue>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

const char kConnectInfo[] = "ERROR: can not connect";

// Why the last connect of this thread failed; null when it did not say.
thread_local const char* lastFailure = nullptr;

// A connect failure with what went wrong, in the user's terms, also kept for
// lastConnectFailure.
Status connectFailure(int ldapCode, const std::string& detail) {
    lastFailure = ffLastingText(detail);
    return Status::failure(kConnectInfo, DEXC_CONNECT, ldapCode).explain(detail);
}

std::string foldKey(const char* dn) {
    std::string key(dn);
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return key;
}

// Room in the index for the entries a file of this size is likely to hold, so that
// loading does not rehash it again and again.
void reserveFor(FFIndex* index, FILE* file) {
    struct stat info {};
    if (::fstat(fileno(file), &info) == 0 && info.st_size > 0) {
        index->reserve(static_cast<std::size_t>(info.st_size) / 256);
    }
}

}  // namespace

const char* FFConnection::lastConnectFailure() {
    return lastFailure;
}

void FFConnection::connect(const char* host, int, DException** err) {
    if (err != nullptr) *err = nullptr;
    lastFailure = nullptr;
    FFStoreLock lock;
    openStore(host, err != nullptr).report(err);
}

void FFConnection::connect(const char* host, int p, const char*, const char*, DException** err) {
    connect(host, p, err);
}

Status FFConnection::openStore(const char* host, bool explainOrphans) {
    if (bound) {
        DException* failure = nullptr;
        disconnect(&failure);
        if (failure != nullptr) return Status(std::unique_ptr<DException>(failure));
        bound = false;
    }
    if (host == nullptr) {
        return Status::failure(kConnectInfo, DEXC_CONNECT, QDX_LDAP_NO_SUCH_OBJECT);
    }
    if (m_pRoot == nullptr) {
        Status loaded = load(host, explainOrphans);
        if (!loaded) {
            bound = false;
            return loaded;
        }
    }
    if (!attached) {
        std::string why;
        if (!FFStoreFile::attach(m_pFile.get(), &why)) {
            return connectFailure(QDX_LDAP_SERVER_DOWN, why);
        }
        attached = true;
    }
    modsCompleted = modsSeen = 0;
    bound = modified = false;
    return Status();
}

// Records whose parent comes later in the file, in file order, waiting for the end.
struct FFDeferred {
    std::vector<FFRecord*> records;
    ~FFDeferred() {
        for (FFRecord* record : records)
            FFRecord::destroy(record);
    }
};

Status FFConnection::load(const char* host, bool explainOrphans) {
    setFile(host);
    if (m_pIndex == nullptr) m_pIndex = new FFIndex();
    m_pIndex->clear();
    m_pRoot = new (SHAR) FFNode(nullptr, nullptr);
    std::string why = "no file named";
    FILE* file = m_pFile ? FFStoreFile::openForLoad(m_pFile.get(), &why) : nullptr;
    if (file == nullptr) {
        m_pFile.reset();
        unload();
        return connectFailure(QDX_LDAP_SERVER_DOWN, why);
    }
    bound = true;
    reserveFor(m_pIndex, file);
    Status status = readFile(file, explainOrphans);
    if (!status) {
        m_pFile.reset();
        unload();
        modified = false;
    }
    return status;
}

// Loads the open file into the tree and closes it.
Status FFConnection::readFile(FILE* file, bool explainOrphans) {
    FFDeferred deferred;
    Status status = loadRecords(file, deferred);
    // A read error must not pass for the end of the file: the partial tree would be saved
    // over the complete file.
    if (status && std::ferror(file)) {
        status = connectFailure(QDX_LDAP_SERVER_DOWN, std::string("cannot read ") + m_pFile.get() +
                                                          ": " + std::strerror(errno));
    }
    std::fclose(file);
    if (status) status = resolveDeferred(deferred, explainOrphans);
    return status;
}

namespace {

// The DN of a "dn:" or "dn::" line, normalised; base64 DNs are decoded (a saved file
// writes DNs with non-ASCII characters that way). Null when the DN decodes to bytes with a
// NUL, which no DN text can hold.
char* recordDn(const char* line) {
    const char* text = line + 3;
    if (*text == ':') {
        OwnedText work(strcopy(line));
        char* type = nullptr;
        char* value = nullptr;
        int length = 0;
        char* dn = nullptr;
        bool cut = false;
        if (str_parse_line(work.get(), &type, &value, &length) == 0 && length >= 0) {
            cut = std::memchr(value, '\0', static_cast<std::size_t>(length)) != nullptr;
            value[length] = '\0';
            if (!cut) dn = dn_normalize(value);
        }
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

// The record whose "dn:" line is the current line, packed; null when a line stopped the
// load. *more tells whether a line follows the record.
FFRecord* readRecord(LoadLines& lines, FFRecordBuilder& builder, bool* more) {
    OwnedText dn(recordDn(lines.text()));
    if (!dn) {
        lines.refuse();
        return nullptr;
    }
    builder.reset(dn.get(), std::strlen(dn.get()));
    while ((*more = lines.next()) && lines.text()[0] != '\0') {
        if (lines.text()[0] != '#') addLineValue(builder, lines.text());
    }
    return lines.refused() == 0 ? builder.finish() : nullptr;
}

}  // namespace

Status FFConnection::loadRecords(FILE* file, FFDeferred& deferred) {
    LoadLines lines(file);
    FFRecordBuilder builder;
    bool more = lines.next();
    while (more) {
        if (!ffdn::startsWithNoCase(lines.text(), "dn:")) {
            more = lines.next();
            continue;
        }
        FFRecord* packed = readRecord(lines, builder, &more);
        if (packed == nullptr) break;
        Status placed = placeLoaded(packed, deferred);
        if (!placed) return placed;
        if (more) more = lines.next();
    }
    if (lines.refused() == 0) return Status();
    std::fprintf(stderr, "ERROR: %s, line %ld: a NUL byte in a DN or value; file not loaded\n",
                 m_pFile.get(), lines.refused());
    return Status::failure(kConnectInfo, DEXC_CONNECT, QDX_LDAP_SERVER_DOWN);
}

// Adds a record read from the file (taken over): one whose parent is not there yet waits
// in deferred, a duplicate is dropped with a warning; other failures stop the load.
Status FFConnection::placeLoaded(FFRecord* packed, FFDeferred& deferred) {
    ++opsInitiated;
    Status status = addRecord(packed);
    if (status) return status;
    if (status.ldapErrorCode() == QDX_LDAP_ALREADY_EXISTS) {
        std::fprintf(stderr, "WARNING: duplicate entry \"%s\"\n", packed->dn());
        FFRecord::destroy(packed);
        return Status();
    }
    if (status.ldapErrorCode() == QDX_LDAP_NO_SUCH_OBJECT) {
        deferred.records.push_back(packed);
        return Status();
    }
    FFRecord::destroy(packed);
    return status;
}

namespace {

// The order in which waiting records get their turn. The outcome, including the order of
// siblings, is that of retrying the waiting records in file order, pass after pass, until
// a pass adds nothing; but each record is tried once, when its parent arrives: a record
// whose parent was added in the same pass at an earlier position joins that pass, else the
// next one. A min-heap on (pass, position) replays that order in O(n log n).
class DeferredTurns {
  public:
    using Turn = std::pair<std::size_t, std::size_t>;  // (pass, position)

    explicit DeferredTurns(const std::vector<FFRecord*>& waiting) {
        for (std::size_t i = 0; i < waiting.size(); ++i) {
            const char* parent = ffdn::parentOf(waiting[i]->dn());
            byParent_[foldKey(parent != nullptr ? parent : "")].push_back(i);
        }
    }

    // The parents some record waits for (folded DNs).
    std::vector<std::string> parents() const {
        std::vector<std::string> keys;
        for (const auto& [key, children] : byParent_)
            keys.push_back(key);
        return keys;
    }

    // Children of a parent added at (pass, position) get their turn; those whose parent
    // was there before the first pass (pass 0) all take part in pass 1.
    void release(const std::string& key, std::size_t pass, std::size_t position) {
        auto found = byParent_.find(key);
        if (found == byParent_.end()) return;
        for (std::size_t child : found->second) {
            turns_.emplace(pass == 0 || child < position ? pass + 1 : pass, child);
        }
        byParent_.erase(found);
    }

    bool next(Turn* turn) {
        if (turns_.empty()) return false;
        *turn = turns_.top();
        turns_.pop();
        return true;
    }

  private:
    std::unordered_map<std::string, std::vector<std::size_t>> byParent_;
    std::priority_queue<Turn, std::vector<Turn>, std::greater<Turn>> turns_;
};

}  // namespace

// Places records that came before their parents (see DeferredTurns); what is left waiting
// has no parent in the file.
Status FFConnection::resolveDeferred(FFDeferred& deferred, bool explainOrphans) {
    std::vector<FFRecord*>& waiting = deferred.records;
    if (waiting.empty()) return Status();
    DeferredTurns turns(waiting);
    for (const std::string& key : turns.parents()) {
        if (parentNode(key.c_str()) != nullptr) turns.release(key, 0, 0);
    }
    DeferredTurns::Turn turn;
    while (turns.next(&turn)) {
        auto [pass, position] = turn;
        FFRecord* record = waiting[position];
        ++opsInitiated;
        Status status = addRecord(record);
        if (status) {
            waiting[position] = nullptr;
            turns.release(foldKey(record->dn()), pass, position);
        } else if (status.ldapErrorCode() == QDX_LDAP_ALREADY_EXISTS) {
            std::fprintf(stderr, "WARNING: duplicate entry \"%s\"\n", record->dn());
            FFRecord::destroy(record);
            waiting[position] = nullptr;
        }
    }
    std::string missing;
    FFRecord* orphan = ffFirstOrphan(waiting, &missing);
    if (orphan == nullptr) return Status();
    // Nobody asks why: the failure only needs to say that the load failed.
    if (!explainOrphans)
        return Status::failure(kConnectInfo, DEXC_CONNECT, QDX_LDAP_NO_SUCH_OBJECT);
    return orphanFailure(orphan, missing);
}

// The failure of adding a record whose parent (missing) is not in the file.
Status FFConnection::orphanFailure(FFRecord* orphan, const std::string& missing) {
    ++opsInitiated;
    Status status = addRecord(orphan);
    if (status) return Status::failure(kConnectInfo, DEXC_CONNECT, QDX_LDAP_NO_SUCH_OBJECT);
    std::fprintf(stderr, "ERROR: entry \"%s\" has no parent\n", orphan->dn());
    if (status.ldapErrorCode() != QDX_LDAP_NO_SUCH_OBJECT) return status;
    std::string why =
        "the parent entry \"" + missing + "\" of \"" + orphan->dn() + "\" is not in the file";
    lastFailure = ffLastingText(why);
    return std::move(status).explain(why);
}
