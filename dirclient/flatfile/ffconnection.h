#ifndef DIRCLIENT_FFCONNECTION_H
#define DIRCLIENT_FFCONNECTION_H

#include "dirclient_export.h"

// A directory kept in one LDIF file (host string "FILE:///path"): the first connection of
// the process loads the file into an in-memory tree that every FFConnection of the process
// shares; a connection that changed the tree writes the whole file back when it
// disconnects or is destroyed, keeping the previous contents as "<path>.txt".
//
// Thread safety: one process-wide store lock (lock()/unlock()) is taken by every operation,
// so connections (and one connection) may be used from several threads. Failures are
// reported through the last DException** argument (null: not reported); objects handed
// out (entries, search results, Results, strings) belong to the caller.

#include <pthread.h>

#include <atomic>
#include <ctime>
#include <memory>
#include <string>

#include "ffnode.h"
#include "owned_text.h"

class Attribute;
class DEntry;
class DException;
class DList;
class FFIndex;
class FFRecord;
class Modification;
class ModificationSet;
struct FFDeferred;
class Results;
class SearchConstraints;
class SearchResults;
class Status;

// How a connection matches values in search filters, compare and the value checks of
// modify. FF_MATCH_DEFAULT is the word-oriented wildcard matcher of dfilter.h, the
// operator playing no part; FF_MATCH_LDAP answers as an LDAP server with the schema of
// the process would (RFC 4515 filters, the attribute types' matching rules, subtypes,
// superclasses and Undefined comparisons; see docs/matching.md).
enum ff_matching : int { FF_MATCH_DEFAULT = 0, FF_MATCH_LDAP = 1 };

// Version text reported by the monitor entry.
extern DIRCLIENT_API const char* const Versionstr;

class FFConnection {
  public:
    // Both run the process's one-time store initialisation.
    DIRCLIENT_API FFConnection();
    // Also names the store file (see setFile) unless a store is loaded already.
    DIRCLIENT_API FFConnection(const char* file, int port);
    // Writes the file when this connection changed the tree (failures are not reported).
    DIRCLIENT_API ~FFConnection();
    FFConnection(const FFConnection&) = delete;
    FFConnection& operator=(const FFConnection&) = delete;

    // Loads the store from the file named by host unless a store is loaded already, which
    // the connection then shares (host is ignored). port, dn and password are not used.
    DIRCLIENT_API void connect(const char* host, int port, DException** err);
    DIRCLIENT_API void connect(const char* host, int port, const char* dn, const char* password,
                               DException** err);
    // Writes the file when this connection changed the tree, then resets the connection.
    DIRCLIENT_API void disconnect(DException** err);

    // Keeps host and derives the file path: the text after "FILE:///" (any case), cut at its
    // last '/' when it holds a '=' (a base DN after the path). While a store is loaded the
    // path stays that of the loaded file. Always true.
    DIRCLIENT_API bool setFile(const char* host);
    DIRCLIENT_API const char* getHost();  // the host string last kept; valid until the next setFile
    int isHostChanged() { return 0; }
    int getPort() { return port; }

    // Operations on the tree. DNs are normalised and compared without case.
    DIRCLIENT_API void add(DEntry* entry, DException** err);
    DIRCLIENT_API void remove(const char* dn, DException** err);
    // All or nothing: the entry changes only when every modification succeeds.
    DIRCLIENT_API void modify(const char* dn, ModificationSet* mods, DException** err);
    DIRCLIENT_API void modify(const char* dn, Modification* mod, DException** err);
    // Leaf entries only; with newSuperior the entry moves below that entry.
    DIRCLIENT_API void rename(const char* dn, const char* newRDN, const char* newSuperior,
                              bool deleteOldRDN, DException** err);
    DIRCLIENT_API void rename(const char* dn, const char* newRDN, bool deleteOldRDN,
                              DException** err);
    // A new entry (attrs: names to return, null for all), or null on failure.
    DIRCLIENT_API DEntry* read(const char* dn, DList* attrs, DException** err);
    DIRCLIENT_API DEntry* read(const char* dn, DException** err);
    // scope 0 base, 1 one level, 2 subtree. A filter without its outer parentheses is
    // accepted. A search that finds nothing fails with LDAP result 32. constraints are not
    // used.
    DIRCLIENT_API SearchResults* search(const char* base, int scope, const char* filter,
                                        DList* attrs, bool typesOnly,
                                        SearchConstraints* constraints, DException** err);
    DIRCLIENT_API SearchResults* search(const char* base, int scope, const char* filter,
                                        DList* attrs, bool typesOnly, DException** err);
    // True when the entry holds every value of attr (an attr without values: true).
    DIRCLIENT_API bool compare(const char* dn, Attribute* attr, DException** err);
    // Succeeds once a store file is set; the password is not checked.
    DIRCLIENT_API void authenticate(const char* dn, const char* password, DException** err);
    DIRCLIENT_API void authenticate(int method, const char* dn, const char* password,
                                    DException** err);

    // Asynchronous forms: the operation runs at once and its outcome waits as a Results
    // for getResult. They return the request's identifier. When err is given it receives
    // the failure, and the Results carries its own copy.
    DIRCLIENT_API int add_asyn(DEntry* entry, DException** err);
    DIRCLIENT_API int remove_asyn(const char* dn, DException** err);
    DIRCLIENT_API int modify_asyn(const char* dn, ModificationSet* mods, DException** err);
    DIRCLIENT_API int modify_asyn(const char* dn, Modification* mod, DException** err);
    DIRCLIENT_API int rename_asyn(const char* dn, const char* newRDN, const char* newSuperior,
                                  bool deleteOldRDN, DException** err);
    DIRCLIENT_API int rename_asyn(const char* dn, const char* newRDN, bool deleteOldRDN,
                                  DException** err);
    DIRCLIENT_API int read_asyn(const char* dn, DList* attrs, DException** err);
    DIRCLIENT_API int read_asyn(const char* dn, DException** err);
    DIRCLIENT_API int search_asyn(const char* base, int scope, const char* filter, DList* attrs,
                                  bool typesOnly, SearchConstraints* constraints, DException** err);
    DIRCLIENT_API int search_asyn(const char* base, int scope, const char* filter, DList* attrs,
                                  bool typesOnly, DException** err);
    DIRCLIENT_API int authenticate_asyn(const char* dn, const char* password, DException** err);
    DIRCLIENT_API int authenticate_asyn(int method, const char* dn, const char* password,
                                        DException** err);

    // The pending Results with this identifier (0 or a negative id: the oldest), removed
    // from the pending list and owned by the caller; null when there is none. wait is not
    // used: the outcome is always ready.
    DIRCLIENT_API Results* getResult(int id, int wait);
    DIRCLIENT_API Results* getResult(int id);

    // 1 once after each run of changes made through this connection, else 0.
    DIRCLIENT_API int isChanged();

    // New copies (check_malloc; release with check_free), null when not set.
    DIRCLIENT_API char* getAuthenticationDN();
    DIRCLIENT_API char* getAuthenticationPassword();
    DIRCLIENT_API bool setAuthenticationDN(const char* dn);
    DIRCLIENT_API bool setAuthenticationPassword(const char* password);
    DIRCLIENT_API bool isAuthenticated();
    DIRCLIENT_API bool isConnected();

    // The synthetic "cn=monitor" entry with this connection's counters; owned by the caller.
    DIRCLIENT_API DEntry* genMonitorEntry();

    // The matching of this connection. A new connection takes defaultMatching(): LDAP
    // matching when the environment variable QDX_FLATFILE_MATCH is "ldap" (case ignored),
    // else the default. setMatching is false (nothing changed) for an unknown mode.
    DIRCLIENT_API bool setMatching(int mode);
    int getMatching() const { return matching.load(std::memory_order_relaxed); }
    DIRCLIENT_API static int defaultMatching();

    int getOption(int) { return 0; }
    void setOption(int, int) {}
    void disableCache() {}
    DIRCLIENT_API void enableCache(long timeout, long maxmem, DException** err);
    DIRCLIENT_API void setTimeout(long timeout, DException** err);
    SearchConstraints* getSearchConstraints() { return nullptr; }
    char* ToString() { return nullptr; }

    // The store. getRoot's tree may only be used while holding lock(); setRoot replaces the
    // loaded tree (the old one is not deleted) and re-indexes the new one.
    DIRCLIENT_API static FFNode* getRoot();
    DIRCLIENT_API static bool setRoot(FFNode* root);
    DIRCLIENT_API static const char* myGetHost();
    DIRCLIENT_API static bool mySetHost(const char* host);
    // The store lock. It is recursive: store operations may be called while holding it.
    DIRCLIENT_API static void lock();
    DIRCLIENT_API static void unlock();
    // Keeps the store file locked (flock) against other processes from its load until the
    // last connection of this process disconnects, so that processes changing one file take
    // turns instead of failing at save time. Call it before connecting; until called, the
    // environment variable QDX_FLATFILE_HOLD (set and not "0") decides. Without holding, the
    // file is locked for the save only. Either way a save never overwrites a file that
    // another process changed since it was loaded: it fails and says so.
    DIRCLIENT_API static void holdFile(bool hold);
    // Why the last connect of the calling thread failed, in the user's terms ("cannot open
    // dir.ldif: Permission denied"); null when it succeeded or did not say.
    DIRCLIENT_API static const char* lastConnectFailure();
    // One-time set-up: registers the exit handler that releases the store.
    DIRCLIENT_API static void init();
    // Unloads the store without writing it (what runs at process exit); the next connect
    // loads the file again.
    DIRCLIENT_API static void empty();

  private:
    friend class FFNode;

    // Store helpers; the store lock is held by the caller.
    static FFNode* lookup(const char* normalizedDn);
    static FFIndex* indexFor(FFNode* node);
    static void unload();
    static Status writeStore();
    static FFNode* parentNode(const char* parentDn);

    // Connecting and loading (explainOrphans: say which parent a record misses).
    Status openStore(const char* host, bool explainOrphans);
    Status load(const char* host, bool explainOrphans);
    Status readFile(FILE* file, bool explainOrphans);
    Status loadRecords(FILE* file, FFDeferred& deferred);
    Status placeLoaded(FFRecord* packed, FFDeferred& deferred);
    Status resolveDeferred(FFDeferred& deferred, bool explainOrphans);
    Status orphanFailure(FFRecord* orphan, const std::string& missing);

    // Operation bodies; the store lock is held by the caller.
    Status placeFor(const char* dn, bool* atRoot, FFNode** parent);
    FFNode* attach(FFNode* parent, bool atRoot, FFRecord* packed);
    Status addRecord(FFRecord* packed);
    Status addEntry(DEntry* entry);
    Status removeEntry(const char* dn);
    Status modifyEntry(const char* dn, ModificationSet* mods);
    Status renameEntry(const char* dn, const char* newRDN, const char* newSuperior,
                       bool deleteOldRDN);
    void applyRename(FFNode* node, FFNode* newParent, const char* oldDn, const char* rdn,
                     const std::string& newDn, bool deleteOldRDN);
    Status readEntry(const char* dn, DList* attrs, DEntry** answer);
    Status searchTree(const char* base, int scope, const char* filter, DList* attrs, bool typesOnly,
                      SearchResults** answer);
    Status compareEntry(const char* dn, Attribute* attr, bool* holds);
    void noteChange();
    void detachFromStore();
    void discardResults();
    int queueResult(int type, DException* failure, DException** err, DEntry* read,
                    SearchResults* found);

    std::atomic<int> matching{defaultMatching()};
    bool modified = false;
    bool bound = false;
    int port = 0;
    OwnedText authDN;
    OwnedText authPassword;
    int lastMessageId = 0;
    std::unique_ptr<DList> results;  // Results waiting for getResult
    int opsInitiated = 0;
    int bindCount = 0;
    int modsCompleted = 0;
    int entriesSent = 0;
    int modsSeen = 0;
    std::time_t startTime = 0;
    bool attached = false;  // counted among the store's users (its file lock)

    static FFNode* m_pRoot;
    static OwnedText m_pFile;
    static OwnedText m_pHost;
    static pthread_mutex_t m_Mutex;
    static pthread_once_t qdxFF_once_block;
    static FFIndex* m_pIndex;  // DN index of m_pRoot's tree
};

// The one-time initialiser (runs FFConnection::init) and the exit handler (runs
// FFConnection::empty).
extern "C" void qdxFF_once_init();
extern "C" void qdxFF_at_exit();

#endif
