#ifndef DIRCLIENT_DCONNECTION_H
#define DIRCLIENT_DCONNECTION_H

#include "dirclient_export.h"

// DConnection: the application's way into a directory. One object holds the address of a
// directory, the credentials, the default search constraints and the requests still
// waiting for an answer, and owns the directory handle that reaches the back end the host
// string names:
//
//   "LDAP://host:port[/...]"              one LDAP server
//   "LDAP://a:389;LDAP://b:389"           a server list with fail-over
//   "DNS:name[/base]"                     a server list from the TXT record of name
//   "DNS-SRV:domain[/base]"               a server list from the SRV records of domain
//   "FILE:///path/to/file.ldif"           a flat LDIF file (relative path; "FILE:////abs")
//   "host" or "host:port"                 one LDAP server, plain session
//
//   DConnection c;
//   DException* err = nullptr;
//   c.connect("LDAP://ldap.example.com:389", 0, "cn=app,dc=example,dc=com", "secret", &err);
//   if (err) { ...; c.deleteObject(err); }
//   SearchResults* found = c.search("dc=example,dc=com", 2, "(cn=alice)", nullptr, false, &err);
//   for (DEntry* e = found ? found->first() : nullptr; e; e = found->next()) ...
//   c.deleteObject(found);
//
// Failures are never thrown. Every operation that can fail takes a last DException**: when
// it is not null it receives null on success or a new exception owned by the caller
// (release it with deleteObject); when it is null, failures go unreported. Asynchronous
// forms (*_asyn) return the request's message id, or -1 when nothing was sent; getResult
// collects the answer later as a Results object.
//
// Ownership: everything a method returns (entries, search results, Results, exceptions,
// string copies) belongs to the caller and goes back through deleteObject or freeString.
// Objects passed in stay the caller's, except a SearchConstraints given to
// setSearchConstraints and a DList given to setMsgList, which the connection takes over.
//
// Threads: one connection may be shared by several threads. Each object has one mutex that
// guards its fields and is held around every call through the handle, so requests of one
// connection are sent one at a time. getResult keeps the mutex while it waits: give it a
// time-out on a connection that other threads use. connect, disconnect and setConnection
// must not run while another thread uses the same connection.
//
// Flat-file connections: when the handle is a flat file, almost every operation is handed
// unchanged to the FFConnection inside it (ffconnection.h), which reports its own way (a
// search that finds nothing fails with LDAP result 32, for instance).

#include <ldap.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "attribute.h"
#include "attribute_set.h"
#include "dbinary.h"
#include "dentry.h"
#include "dexception.h"
#include "directory_handle.h"
#include "dlist.h"
#include "entry_comparator.h"
#include "modification.h"
#include "modification_set.h"
#include "owned_text.h"
#include "results.h"
#include "search_constraints.h"
#include "search_results.h"

class FFConnection;
class Status;
namespace dirclient::connection {
class EntryStream;
}

// The Dbinary values built for the LDAP modification record of the same index: a
// null-terminated array, parallel to the LDAPMod array of a request.
typedef Dbinary** AttrArray;

// The parameters of a search request that outlive its sending (asynchronous searches).
struct SearchPar {
    int scope;     // 0 base, 1 one level, 2 subtree
    char** attrs;  // null-terminated names borrowed from the caller's list; null for all
};

// A request whose answer still owes work in getResult (a check_malloc block in the list of
// pending requests, item type 10).
struct AsynVal {
    int resultType;     // RES_SEARCH, RES_READ, or RES_RENAME for a rename that moves
    int msgId;          // the LDAP message id of the request
    void* requestData;  // owned: SearchPar* (search, read), or char*[3] with the DN, the new
                        // RDN and the new superior (moving rename)
};

class DConnection {
  public:
    // Not connected, not authenticated, no host, port 389.
    DIRCLIENT_API DConnection();
    // As above, then setPort(port) (0 stores 389) and setHost(host). Nothing is opened.
    DIRCLIENT_API DConnection(const char* host, int port);
    // Closes an open handle without any report and releases everything the object holds.
    DIRCLIENT_API ~DConnection();
    DConnection(const DConnection&) = delete;
    DConnection& operator=(const DConnection&) = delete;

    // ---- state --------------------------------------------------------------------------
    DIRCLIENT_API bool isConnected();
    DIRCLIENT_API bool isAuthenticated();
    // The directory handle (null while not connected); it stays owned by the connection.
    DIRCLIENT_API DS_LDAP* getConnection();
    // Stores the handle as it is; the one held before is neither closed nor freed.
    DIRCLIENT_API bool setConnection(DS_LDAP* handle);
    DIRCLIENT_API bool setIsAuthenticated(bool authenticated);

    // ---- address ------------------------------------------------------------------------
    // Keeps host for the next connect: a flat-file address keeps only its first ';'
    // element; a list mixing LDAP URLs and flat-file URLs loses its flat-file elements.
    // False (nothing changed) for null.
    DIRCLIENT_API bool setHost(const char* host);
    // The host in use, as written in the host string: on a server list, the element of the
    // server the session is on (see isHostChanged). Owned by the connection, valid until
    // the next getHost or the destruction; null when no host was set.
    DIRCLIENT_API const char* getHost();
    // The whole string last given to setHost (not a copy; no lock taken).
    DIRCLIENT_API const char* getHostUrl();
    // 1 when a server-list session has moved to another server since the last look (getHost
    // then names the new one), else 0.
    DIRCLIENT_API int isHostChanged();
    DIRCLIENT_API int getPort();
    DIRCLIENT_API bool setPort(int port);  // 0 stores 389

    // ---- opening and authentication -----------------------------------------------------
    // Opens the back end that host names (closing an open handle first) and binds
    // anonymously. port goes to a plain session as given (0: 389); LDAP URLs carry their own.
    DIRCLIENT_API void connect(const char* host, int port, DException** out);
    // connect, then, when that succeeded, authenticate(dn, password).
    DIRCLIENT_API void connect(const char* host, int port, const char* dn, const char* password,
                               DException** out);
    // Simple bind; connects first (to the host in use) when not connected. The DN and
    // password are recorded whether or not the bind succeeds; success sets isAuthenticated.
    DIRCLIENT_API void authenticate(const char* dn, const char* password, DException** out);
    DIRCLIENT_API void authenticate(int method, const char* dn, const char* password,
                                    DException** out);
    // Sends the bind and returns its message id (-1 on failure); getResult collects the
    // answer (RES_AUTHENTICATE) and sets isAuthenticated on success.
    DIRCLIENT_API int authenticate_asyn(const char* dn, const char* password, DException** out);
    DIRCLIENT_API int authenticate_asyn(int method, const char* dn, const char* password,
                                        DException** out);
    // Closes the handle. Credentials, constraints and pending requests are kept, so a later
    // authenticate reconnects to the same host.
    DIRCLIENT_API void disconnect(DException** out);
    // Flat files: keep the file locked against other processes from its load until the
    // process's last flat-file connection disconnects, so that processes changing one file
    // take turns (FFConnection::holdFile; the environment variable QDX_FLATFILE_HOLD=1
    // does the same). Applies to the process's flat-file store; call it before connecting.
    DIRCLIENT_API static void holdFlatFiles(bool hold);

    // ---- flat-file matching -------------------------------------------------------------
    // How a FILE:/// directory of this connection matches values: FF_MATCH_DEFAULT or
    // FF_MATCH_LDAP (ffconnection.h). Applies to the open flat file and to those later
    // connects open; without a call, the process default (QDX_FLATFILE_MATCH) holds. False,
    // nothing changed, for an unknown mode. getFlatFileMatching tells the mode in force.
    DIRCLIENT_API bool setFlatFileMatching(int mode);
    DIRCLIENT_API int getFlatFileMatching();

    // New copies (release with freeString), null when none was recorded.
    DIRCLIENT_API char* getAuthenticationDN();
    DIRCLIENT_API char* getAuthenticationPassword();
    DIRCLIENT_API bool setAuthenticationDN(const char* dn);  // stores a copy
    DIRCLIENT_API bool setAuthenticationPassword(const char* password);

    // ---- options, constraints, time-out -------------------------------------------------
    // Option 0: the maximum number of results, option 1: the time limit of searches, both
    // kept in the default constraints (0 when there are none); -1 for any other option.
    DIRCLIENT_API int getOption(int option);
    // Creates empty default constraints when there are none, then sets option 0 or 1.
    DIRCLIENT_API void setOption(int option, int value);
    // A new copy of the default constraints (the caller owns it), or null.
    DIRCLIENT_API SearchConstraints* getSearchConstraints();
    // Takes constraints over (null clears them); the previous ones are deleted.
    DIRCLIENT_API bool setSearchConstraints(SearchConstraints* constraints);
    // The idle time-out, in seconds, of a server-list session (at least 30, 0 stops it);
    // accepted without effect by other back ends.
    DIRCLIENT_API void setTimeout(long timeout, DException** out);

    // ---- encryption and response time-out -----------------------------------------------
    // StartTLS on the LDAP connections this object opens: 0 off, 1 try (go on in clear when
    // the server refuses), 2 demand (fail; no bind is sent in clear), -1 (the default) as
    // QDX_STARTTLS says. "LDAPS://" servers are encrypted from the first byte either way.
    // An open connection in clear is encrypted at once; a server list encrypts every
    // connection it moves to. Certificates are checked as OpenLDAP's ldap.conf and
    // LDAPTLS_* say.
    DIRCLIENT_API void setStartTLS(int mode, DException** out);
    // Seconds without a byte from a server that owes answers before it is taken as dead (a
    // server list moves to the next server); 0 goes back to QDX_RESPONSE_TIMEOUT (30 s by
    // default). A shorter time limit of the call itself still wins.
    DIRCLIENT_API void setResponseTimeout(long seconds, DException** out);

    // ---- factory methods ----------------------------------------------------------------
    // Model objects made with the library's own allocators; release each with deleteObject.
    DIRCLIENT_API AttributeSet* newAttributeSet();
    DIRCLIENT_API Attribute* newAttribute();
    DIRCLIENT_API Attribute* newAttribute(const char* name);
    DIRCLIENT_API Attribute* newAttribute(const char* name,
                                          Dbinary* value);  // takes the record over
    DIRCLIENT_API Attribute* newAttribute(const char* name, int value);
    DIRCLIENT_API Attribute* newAttribute(const char* name, const char* value);
    DIRCLIENT_API DEntry* newDEntry();
    DIRCLIENT_API DEntry* newDEntry(const char* dn);
    DIRCLIENT_API DEntry* newDEntry(const char* dn, AttributeSet* set);  // takes the set over
    DIRCLIENT_API DListItem* newDListItem();
    // The release function is not used: the item releases its value by its type code.
    DIRCLIENT_API DListItem* newDListItem(void* value, int type, void (*release)(void*));
    DIRCLIENT_API DList* newDList();
    DIRCLIENT_API CompareAttrNames* newCompareAttrNames(const char* name);
    DIRCLIENT_API CompareAttrNames* newCompareAttrNames(const char* name, bool order);
    DIRCLIENT_API CompareAttrNames* newCompareAttrNames(DList* names);
    DIRCLIENT_API CompareAttrNames* newCompareAttrNames(DList* names, DList* orders,
                                                        DException** out);
    DIRCLIENT_API DException* newDException();
    DIRCLIENT_API DException* newDException(const char* info);
    DIRCLIENT_API DException* newDException(const char* info, int code, const char* sinfo);
    DIRCLIENT_API DException* newDException(const char* info, int code, const char* sinfo,
                                            const char* extra);
    DIRCLIENT_API Modification* newModification();
    DIRCLIENT_API Modification* newModification(int op,
                                                Attribute* attribute);  // takes attribute over
    DIRCLIENT_API ModificationSet* newModificationSet();
    DIRCLIENT_API Results* newResults();
    DIRCLIENT_API SearchResults* newSearchResults();
    DIRCLIENT_API SearchConstraints* newSearchConstraints();
    DIRCLIENT_API SearchConstraints* newSearchConstraints(int timeLimit, int maxResults);

    // Destroy an object with the deallocation that matches its creation; null is ignored.
    DIRCLIENT_API void deleteObject(AttributeSet* object);
    DIRCLIENT_API void deleteObject(Attribute* object);
    DIRCLIENT_API void deleteObject(DEntry* object);
    DIRCLIENT_API void deleteObject(DListItem* object);
    DIRCLIENT_API void deleteObject(DList* object);
    DIRCLIENT_API void deleteObject(CompareAttrNames* object);
    DIRCLIENT_API void deleteObject(DException* object);
    DIRCLIENT_API void deleteObject(Modification* object);
    DIRCLIENT_API void deleteObject(ModificationSet* object);
    DIRCLIENT_API void deleteObject(Results* object);
    DIRCLIENT_API void deleteObject(SearchResults* object);
    DIRCLIENT_API void deleteObject(SearchConstraints* object);
    // Releases a text handed out by the connection or the model (check_free).
    DIRCLIENT_API void freeString(const char* text);

    // ---- text dump ----------------------------------------------------------------------
    // The dump of host, port, credentials, authentication state and default constraints;
    // the caller releases it with freeString. ToString() is ToString(0, true) (on a flat
    // file after taking the flat file's credentials and state over).
    DIRCLIENT_API char* ToString();
    DIRCLIENT_API char* ToString(int indent, bool compact);

    // ---- synchronous operations ---------------------------------------------------------
    // Adds the entry (its DN and every attribute, values sent as binary values).
    DIRCLIENT_API void add(DEntry* entry, DException** out);
    // Removes a leaf entry; error 614 (LDAP result 66) when it has children.
    DIRCLIENT_API void remove(const char* dn, DException** out);
    DIRCLIENT_API void modify(const char* dn, Modification* modification, DException** out);
    // Applies the modifications in order: ADD (0) and REPLACE (2) need values, DELETE (1)
    // without values removes the whole attribute.
    DIRCLIENT_API void modify(const char* dn, ModificationSet* modifications, DException** out);
    DIRCLIENT_API void rename(const char* dn, const char* newrdn, bool deleteOldRdn,
                              DException** out);
    // Renames in place; with a new superior other than the entry's parent the entry moves
    // there with its subtree in one ModifyDN request, keeping its identity (entryUUID). Only
    // when the server refuses that form (LDAP result 2 or 53) is the entry (which must then
    // be a leaf) renamed in place and moved: read, added under it, removed from the old
    // place. rename_asyn always takes that leaf path.
    DIRCLIENT_API void rename(const char* dn, const char* newrdn, const char* newSuperior,
                              bool deleteOldRdn, DException** out);
    // The entry (all attributes, or the names of attrs, a list of strings), owned by the
    // caller; null on failure. Over LDAP every value is a binary value.
    DIRCLIENT_API DEntry* read(const char* dn, DException** out);
    DIRCLIENT_API DEntry* read(const char* dn, DList* attrs, DException** out);
    // scope 0 base, 1 one level, 2 subtree; -3, -2, -1: the same search whose answer is read
    // and discarded (null, no report). attrs: names to return (null or empty: all).
    // constraints: time limit and maximum number of results (null: the defaults). A new
    // SearchResults owned by the caller, or null on failure. Over LDAP a search that finds
    // nothing gives results whose only element is the exception "ERROR: no such object".
    DIRCLIENT_API SearchResults* search(const char* base, int scope, const char* filter,
                                        DList* attrs, bool attrsOnly, DException** out);
    DIRCLIENT_API SearchResults* search(const char* base, int scope, const char* filter,
                                        DList* attrs, bool attrsOnly,
                                        SearchConstraints* constraints, DException** out);
    // True when the entry holds every value (strings only) of attribute; false on failure.
    DIRCLIENT_API bool compare(const char* dn, Attribute* attribute, DException** out);

    // ---- streamed, partial and paged searches ---------------------------------------------
    // Receives one entry of a streamed search and takes it over (release it with
    // deleteObject); returns false to end the search there.
    using EntrySink = std::function<bool(DEntry* entry)>;
    // How a streamed search ended.
    struct SearchOutcome {
        // 0, 3 (time limit exceeded) or 4 (size limit exceeded) after entries could come,
        // any other LDAP result code when the search failed (reported through out).
        int ldapCode = 0;
        long entries = 0;  // entries handed to the sink
        int restarts = 0;  // fail-overs after which the search began again on a new server
    };
    // The search of search(), each entry handed to sink as it arrives: nothing is held
    // back, so memory stays flat in the size of the answer. pageSize > 0 asks for simple
    // paged results (RFC 2696) of that many entries a page, which reads past a server's
    // size limit where the server allows it. An answer cut short by a limit is no failure
    // here: out receives null and ldapCode says 3 or 4. On a server list, a search whose
    // server fails begins again from the first page on the next server; entries already
    // handed on (by DN) are skipped, so none comes twice. sink runs with the connection
    // locked and must not call this connection. Flat files answer as their search does.
    DIRCLIENT_API SearchOutcome searchEach(const char* base, int scope, const char* filter,
                                           DList* attrs, bool attrsOnly,
                                           SearchConstraints* constraints, int pageSize,
                                           const EntrySink& sink, DException** out);
    // As search(), but the entries received before a size or time limit cut the answer
    // short are kept: *ldapCode (when not null) receives 0, 3 or 4 beside them, and out
    // receives null. pageSize as for searchEach. Other failures as search(), with
    // *ldapCode set to their code.
    DIRCLIENT_API SearchResults* searchPartial(const char* base, int scope, const char* filter,
                                               DList* attrs, bool attrsOnly,
                                               SearchConstraints* constraints, int pageSize,
                                               int* ldapCode, DException** out);

    // ---- request builders and result converters -----------------------------------------
    // A null-terminated LDAPMod array (binary values) for the entry; *attrArray receives
    // the values it points into. Release both with freeModStruct. Null on failure.
    DIRCLIENT_API LDAPMod** prepareAddRequest(DEntry* entry, AttrArray** attrArray,
                                              DException** out);
    DIRCLIENT_API LDAPMod** prepareModifyRequest(const char* dn, ModificationSet* modifications,
                                                 AttrArray** attrArray, DException** out);
    DIRCLIENT_API void freeModStruct(LDAPMod** mods, AttrArray* attrArray);
    // Validates a search and sets the session's limits (constraints, or the defaults);
    // null on failure. Release with freeSearchPar.
    DIRCLIENT_API SearchPar* prepareSearchRequest(const char* base, int scope, const char* filter,
                                                  DList* attrs, bool attrsOnly,
                                                  SearchConstraints* constraints, DException** out);
    DIRCLIENT_API void freeSearchPar(SearchPar* par);
    // Validates a rename; true when it must also move the entry. out must not be null.
    DIRCLIENT_API bool prepareRenameRequest(const char* dn, const char* newrdn,
                                            const char* newSuperior, bool deleteOldRdn,
                                            DException** out);
    // Turn a search answer into model objects / discard it; both consume the message.
    DIRCLIENT_API SearchResults* getSearchResult(LDAPMessage* answer);
    DIRCLIENT_API SearchResults* getNULLResult(LDAPMessage* answer);

    // ---- asynchronous operations --------------------------------------------------------
    DIRCLIENT_API int add_asyn(DEntry* entry, DException** out);
    DIRCLIENT_API int remove_asyn(const char* dn, DException** out);
    DIRCLIENT_API int modify_asyn(const char* dn, Modification* modification, DException** out);
    DIRCLIENT_API int modify_asyn(const char* dn, ModificationSet* modifications, DException** out);
    DIRCLIENT_API int rename_asyn(const char* dn, const char* newrdn, bool deleteOldRdn,
                                  DException** out);
    DIRCLIENT_API int rename_asyn(const char* dn, const char* newrdn, const char* newSuperior,
                                  bool deleteOldRdn, DException** out);
    DIRCLIENT_API int read_asyn(const char* dn, DException** out);
    DIRCLIENT_API int read_asyn(const char* dn, DList* attrs, DException** out);
    // No discarding mode here: a negative scope is refused.
    DIRCLIENT_API int search_asyn(const char* base, int scope, const char* filter, DList* attrs,
                                  bool attrsOnly, DException** out);
    DIRCLIENT_API int search_asyn(const char* base, int scope, const char* filter, DList* attrs,
                                  bool attrsOnly, SearchConstraints* constraints, DException** out);

    // Waits for the answer to msgId (-1: any request) for at most timeout milliseconds (0:
    // no limit) and returns it as a new Results owned by the caller, or null when the time
    // ran out. A failed request is a Results carrying the exception (take it with the
    // Results' get operation, which hands it to you). Searches, reads and moving renames are
    // finished here: the search results, the entry read, the move.
    DIRCLIENT_API Results* getResult(int msgId);
    DIRCLIENT_API Results* getResult(int msgId, int timeout);

    // The list of pending requests (items of type 10 holding AsynVal records).
    DIRCLIENT_API void addAsynValue(AsynVal* record);  // appends, taking the record over
    // The item whose record has msgId (the list's cursor left on it), or null.
    DIRCLIENT_API DListItem* getMsgItem(int msgId);
    DIRCLIENT_API DList* getMsgList();
    // Takes list over; the previous list and its records are released.
    DIRCLIENT_API bool setMsgList(DList* list);

    // ---- subtree operations, cache, change detection ------------------------------------
    // Removes the entry and everything below it, children before their parent. Entries
    // removed before a failure stay removed. The removals below the entry are pipelined (a
    // RequestWindow, one depth at a time, deepest first).
    DIRCLIENT_API void removeTree(const char* dn, DException** out);
    // Called now and then during bulk work with the number of entries done so far.
    using ProgressFn = std::function<void(long done)>;
    // removeTree that also tells how it went: progress (may be empty) is called as entries
    // go, *removed (when not null) receives the number removed, *failedDn (when not null)
    // the DN whose removal failed first ("" when none).
    DIRCLIENT_API void removeTree(const char* dn, const ProgressFn& progress, long* removed,
                                  std::string* failedDn, DException** out);
    // After dn was renamed in place to newrdn: moves that leaf below newSuperior (read, add
    // under the new superior, remove the old entry).
    DIRCLIENT_API void moveEntry(const char* dn, const char* newrdn, const char* newSuperior,
                                 DException** out);
    // The response cache of the LDAP session: answers to repeated searches and compares are
    // kept for timeout seconds, within maxmem bytes.
    DIRCLIENT_API void enableCache(long timeout, long maxmem, DException** out);
    DIRCLIENT_API void disableCache();
    // 1 when the directory changed since the last call (server lists: the server's count of
    // completed modifications moved, or the session moved to another server; flat files:
    // changes through this connection), 0 when not, or an LDAP result code when the count
    // could not be read. 0 on a plain session.
    DIRCLIENT_API int isChanged();
    // The server's count of completed modifications (refreshed); 0 for other back ends.
    DIRCLIENT_API int getModCount();

  private:
    class FlatFileCall;
    friend class FlatFileCall;
    friend class dirclient::connection::EntryStream;
    class AnswerFinisher;

    // Connects to the host in use when no handle is open; false (reported) when that fails.
    bool connectImplicitly(DException** out);

    // Helpers that expect m_lock held by the caller.
    DS_LDAP* handleLocked() const;
    // Validates a search and sets the session's limits; *par receives the new parameters.
    Status prepareSearchLocked(DS_LDAP* handle, const char* base, int scope, const char* filter,
                               DList* attrs, SearchConstraints* constraints, SearchPar** par);
    // The limits a search runs with: its own constraints, else the connection's defaults
    // (null: none).
    SearchConstraints* limitsFor(SearchConstraints* constraints) const {
        return constraints != nullptr ? constraints : m_pConstraints.get();
    }
    SearchResults* convertSearchAnswer(DS_LDAP* handle, LDAPMessage* answer);
    DListItem* findMsgItemLocked(int msgId);
    void appendRecordLocked(AsynVal* record);
    int sendSearchLocked(const char* base, int scope, const char* filter, DList* attrs,
                         bool attrsOnly, SearchConstraints* constraints, int resultType,
                         DException** out);
    // Sets the search or read outcome of message (which stays the caller's) on result.
    void finishSearchAnswer(Results* result, AsynVal* record, DS_LDAP* handle, LDAPMessage* message,
                            int code);

    SearchOutcome searchEachFlatFile(FFConnection* ff, const char* base, int scope,
                                     const char* filter, DList* attrs, bool attrsOnly,
                                     SearchConstraints* constraints, const EntrySink& sink,
                                     DException** out);
    // Whether dn has children (*found); a failed look ends a move with its report.
    Status hasChildren(const char* dn, bool* found);
    // Validates a rename; *move tells whether it must also move the entry (a leaf).
    Status checkRename(const char* dn, const char* newrdn, const char* newSuperior, bool* move);
    // Compares every value of attribute; *holds is true when the entry holds them all.
    Status compareValues(const char* dn, Attribute* attribute, bool* holds);
    // Removes dn and its subtree over LDAP; counts what went and notes the first DN that
    // would not.
    Status removeTreeLdap(const char* dn, long* removed, std::string* failedDn,
                          const ProgressFn& progress);
    // Removes the DNs through request windows, deepest first.
    Status removeDeepestFirst(const std::vector<std::string>& dns, long* removed,
                              std::string* failedDn, const ProgressFn& progress);
    // The DNs below dn (not dn itself) that one listing returns; a listing cut short by a
    // limit gives what came.
    Status listSubtree(const char* dn, std::vector<std::string>* below);
    // True when newSuperior names another parent than dn's (no lock needed).
    static bool movesElsewhere(const char* dn, const char* newrdn, const char* newSuperior);
    // True when newrdn is dn's own first RDN.
    static bool keepsRdn(const char* dn, const char* newrdn);
    void removeTreeFlatFile(FFConnection* ff, const char* dn, DException** out);

    OwnedText m_pHostName;  // the host in use, as setHost kept it
    int m_iPort = 389;
    OwnedText m_pAuthDN;        // DN of the last authentication attempt
    OwnedText m_pAuthPassword;  // password of the last authentication attempt
    OwnedText m_pHostUrl;       // the whole string last given to setHost
    OwnedText m_pServer;        // "LDAP://host:port" of a server-list session
    bool m_bAuthenticated = false;
    // Read without the lock to choose the flat-file path, hence atomic; written under it.
    std::atomic<DS_LDAP*> m_pLdap{nullptr};
    std::atomic<int> m_iFlatFileMatching{-1};           // -1: the process default
    std::unique_ptr<SearchConstraints> m_pConstraints;  // default search constraints
    DList* m_pMsgList = nullptr;                        // pending requests, created on first use
    std::mutex m_lock;                                  // guards every field above
    OwnedText m_pHostText;                              // what getHost last returned
    int m_iStartTLS = -1;                               // StartTLS mode of the next opens
    long m_lResponseTimeout = 0;                        // seconds; 0: the environment's
};

#endif
