#ifndef DIRCLIENT_LDAPACCESS_TEST_UTIL_H
#define DIRCLIENT_LDAPACCESS_TEST_UTIL_H

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <ldap.h>

#include <dirclient/ldap_cext.h>
#include <dirclient/ldap_cext_calls.h>

// Shared helpers of the LDAP access integration tests.

namespace dirclient::test {

inline std::string join_servers(const std::vector<std::string>& urls) {
    std::string list;
    for (const std::string& url : urls)
        list += (list.empty() ? "" : ";") + url;
    return list;
}

// The current server of a session as "LDAP://host:port".
inline std::string current_server(LDAP_CEXT* session) {
    char* text = ldap_cext_get_server(session);
    std::string server = text ? text : "";
    ldap_cext_SLfree(text);
    return server;
}

// DNs of the entries of an answer, in order, read through the session's accessors.
inline std::vector<std::string> entry_dns(LDAP_CEXT* session, LDAPMessage* answer) {
    std::vector<std::string> dns;
    for (LDAPMessage* e = ldap_cext_first_entry(session, answer); e;
         e = ldap_cext_next_entry(session, e)) {
        char* dn = ldap_cext_get_dn(session, e);
        dns.push_back(dn ? dn : "");
        ldap_cext_memfree(dn);
    }
    return dns;
}

// A subtree search under the suffix on a session; the DNs found, or the code as "#code".
inline std::vector<std::string> search_dns(LDAP_CEXT* session, const char* filter,
                                           int flags = LDAP_CEXT_FAILOVER) {
    LDAPMessage* answer = nullptr;
    int rc = ldap_cext_search_s(session, "dc=example,dc=com", LDAP_SCOPE_SUBTREE, filter, nullptr,
                                0, &answer, flags);
    std::vector<std::string> dns =
        rc == 0 ? entry_dns(session, answer) : std::vector<std::string>{"#" + std::to_string(rc)};
    ldap_cext_msgfree(answer);
    return dns;
}

class Stopwatch {
  public:
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

  private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

}  // namespace dirclient::test

#endif
