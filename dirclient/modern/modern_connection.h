#ifndef DIRCLIENT_MODERN_CONNECTION_H
#define DIRCLIENT_MODERN_CONNECTION_H

// dirclient::Connection: an open directory, closed when the object goes. The host string
// chooses the back end as DConnection's does:
//
//   "LDAP://host:389" / "LDAPS://host:636"   one server (LDAPS: TLS from the first byte)
//   "LDAP://a:389;LDAP://b:389"              a server list with fail-over
//   "DNS:name[/base]", "DNS-SRV:domain"      a server list found through DNS
//   "FILE:///dir.ldif", "FILE:////abs/path"  a flat LDIF file (relative / absolute path)
//
//   dirclient::Connection conn("LDAP://127.0.0.1:389", {.bindDn = dn, .password = pw});
//   for (dirclient::Entry& e : conn.search("dc=example,dc=com", dirclient::Scope::Subtree,
//                                          "(cn=a*)", {"cn", "mail"}))
//       std::cout << e.dn() << ' ' << e["mail"].first() << '\n';
//
// Every failure throws dirclient::Error (modern_error.h). Certificates are checked the way
// OpenLDAP's ldap.conf and LDAPTLS_* say; the connect time-out is QDX_NETWORK_TIMEOUT's.
//
// Threads: a Connection is used by one thread at a time (calls of one connection go to the
// server one after the other anyway); distinct connections are independent. Calls may be
// made between the entries of a SearchStream of the same connection (to change each entry
// found, say); only bind and close throw Error while a stream is open.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dirclient_export.h"
#include "modern_entry.h"
#include "modern_modify.h"
#include "modern_search.h"

class DConnection;

namespace dirclient {

// StartTLS before the bind: Try goes on in clear when the server refuses, Demand fails
// (no bind is ever sent in clear). Default follows QDX_STARTTLS.
enum class StartTls { Default = -1, Off = 0, Try = 1, Demand = 2 };

struct Options {
    std::string bindDn{};  // empty: anonymous
    std::string password{};
    StartTls startTls = StartTls::Default;
    // Silence from a server that owes an answer before it counts as dead (a server list
    // moves on); 0: QDX_RESPONSE_TIMEOUT, 30 s by default.
    std::chrono::seconds responseTimeout{0};
};

class ConnectionCore;  // shared with the searches in progress (modern_connection.cpp)

class DIRCLIENT_API Connection {
  public:
    // Opens the directory and binds (anonymously without options.bindDn).
    explicit Connection(std::string_view host, const Options& options = {});
    // A moved-from connection may only be destroyed or assigned.
    Connection(Connection&&) noexcept;
    Connection& operator=(Connection&&) noexcept;
    // Closes without a report (see close).
    ~Connection();

    // Simple bind with other credentials.
    void bind(std::string_view dn, std::string_view password);
    // Closes now and reports a failure (a flat file that could not be written back).
    void close();

    SearchStream search(std::string_view base, Scope scope,
                        std::string_view filter = "(objectClass=*)", const Names& attributes = {},
                        const SearchOptions& options = {});
    SearchResult searchAll(std::string_view base, Scope scope,
                           std::string_view filter = "(objectClass=*)",
                           const Names& attributes = {}, const SearchOptions& options = {});
    // The entry, or nothing when it does not exist.
    std::optional<Entry> read(std::string_view dn, const Names& attributes = {});
    // Whether the entry's attribute holds the value (throws when the entry does not exist).
    bool compare(std::string_view dn, std::string_view attribute, std::string_view value);

    void add(const Entry& entry);
    void modify(const Modify& changes);
    void remove(std::string_view dn);      // a leaf
    void removeTree(std::string_view dn);  // the entry and everything below it
    // A new RDN in place; deleteOldRdn drops the old RDN's value from the entry.
    void rename(std::string_view dn, std::string_view newRdn, bool deleteOldRdn = true);
    // Below another parent, with its subtree, under a new RDN or (empty newRdn) its own.
    void move(std::string_view dn, std::string_view newParent, std::string_view newRdn = {},
              bool deleteOldRdn = true);

    // The classic connection inside, for calls the modern interface does not offer.
    DConnection& classic();

  private:
    std::shared_ptr<ConnectionCore> core_;
};

}  // namespace dirclient

#endif
