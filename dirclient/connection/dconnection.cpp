// DConnection: fields, host strings, opening, binding, closing, options, the idle time-out
// and the text dump.

#include "dconnection.h"

#include <cstring>

#include "backend_kind.h"
#include "connect_failure.h"
#include "connection_report.h"
#include "ffconnection.h"
#include "flat_file_call.h"
#include "host_string.h"
#include "ldap_cext.h"
#include "ldap_handle_calls.h"
#include "model_dump.h"
#include "object_memory.h"

using namespace dirclient::connection;

namespace {

// Replaces an owned text by a copy of text.
void replace_text(OwnedText& field, const char* text) {
    field.reset(strcopy(text));
}

// The current server of a server-list session, as a connection-owned copy (null when the
// session has none).
char* current_server(DS_LDAP* handle) {
    char* server = ldap_cext_get_server(static_cast<LDAP_CEXT*>(handle->session));
    char* copy = strcopy(server);
    ldap_cext_SLfree(server);
    return copy;
}

// Closes and frees a handle (the lock of its connection held); the unbind's result code.
int close_handle(DS_LDAP* handle) {
    int rc = qdx_ldap_unbind(handle);
    check_free(handle);
    return rc;
}

}  // namespace

DConnection::DConnection() = default;

DConnection::DConnection(const char* host, int port) : DConnection() {
    setPort(port);
    setHost(host);
}

DConnection::~DConnection() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (DS_LDAP* handle = m_pLdap.exchange(nullptr)) close_handle(handle);
    }
    setMsgList(nullptr);
}

DS_LDAP* DConnection::handleLocked() const {
    return m_pLdap.load(std::memory_order_relaxed);
}

// ---- state ------------------------------------------------------------------------------

bool DConnection::isConnected() {
    if (FlatFileCall ff{*this}) return ff->isConnected();
    std::lock_guard<std::mutex> guard(m_lock);
    return handleLocked() != nullptr;
}

bool DConnection::isAuthenticated() {
    if (FlatFileCall ff{*this}) return ff->isAuthenticated();
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bAuthenticated;
}

DS_LDAP* DConnection::getConnection() {
    return m_pLdap.load(std::memory_order_acquire);
}

bool DConnection::setConnection(DS_LDAP* handle) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_pLdap.store(handle, std::memory_order_release);
    return true;
}

bool DConnection::setIsAuthenticated(bool authenticated) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bAuthenticated = authenticated;
    return true;
}

// ---- address ----------------------------------------------------------------------------

bool DConnection::setHost(const char* host) {
    if (host == nullptr) return false;
    char* name = kept_host_name(host);
    char* url = strcopy(host);
    std::lock_guard<std::mutex> guard(m_lock);
    m_pHostName.reset(name);
    m_pHostUrl.reset(url);
    return true;
}

const char* DConnection::getHost() {
    if (FlatFileCall ff{*this}) return ff->getHost();
    std::lock_guard<std::mutex> guard(m_lock);
    m_pHostText.reset(host_text(m_pHostName.get(), m_pHostUrl.get(), m_pServer.get()));
    return m_pHostText.get();
}

const char* DConnection::getHostUrl() {
    return m_pHostUrl.get();
}

int DConnection::isHostChanged() {
    if (FlatFileCall ff{*this}) return ff->isHostChanged();
    std::lock_guard<std::mutex> guard(m_lock);
    DS_LDAP* handle = handleLocked();
    if (handle == nullptr || handle->kind != QDX_LDAP_SERVER_LIST) return 0;
    OwnedText server(current_server(handle));
    int changed = 0;
    if (server && m_pServer && std::strcmp(server.get(), m_pServer.get()) != 0) {
        std::swap(server, m_pServer);
        changed = 1;
    }
    return changed;
}

int DConnection::getPort() {
    if (FlatFileCall ff{*this}) return ff->getPort();
    std::lock_guard<std::mutex> guard(m_lock);
    return m_iPort;
}

bool DConnection::setPort(int port) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_iPort = port == 0 ? 389 : port;
    return true;
}

// ---- opening and authentication ---------------------------------------------------------

void DConnection::connect(const char* host, int port, DException** out) {
    succeed(out);
    if (getConnection() != nullptr) {
        DException* failure = nullptr;
        disconnect(&failure);
        if (failure != nullptr) {
            if (out != nullptr)
                *out = failure;
            else
                delete failure;
            return;
        }
    }
    setPort(port);
    setHost(host);

    OwnedText name;
    int starttls;
    long response_timeout;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        name.reset(strcopy(m_pHostName.get()));
        starttls = m_iStartTLS;
        response_timeout = m_lResponseTimeout;
    }
    bool flatFile = dirclient::ldapaccess::backend_kind(name.get()) == QDX_LDAP_FLAT_FILE;
    DS_LDAP* handle = qdx_ldap_open_tls(name.get(), port, starttls);
    if (handle == nullptr)
        return fail_open(out, flatFile ? FFConnection::lastConnectFailure() : nullptr);
    if (response_timeout > 0)
        qdx_ldap_set_response_timeout(handle, static_cast<double>(response_timeout));
    {
        std::lock_guard<std::mutex> guard(m_lock);
        // Only a connect racing this one could have left a handle here; never leak it.
        if (DS_LDAP* previous = m_pLdap.exchange(handle)) close_handle(previous);
        if (handle->kind == QDX_LDAP_SERVER_LIST) {
            m_pServer.reset(current_server(handle));
        }
    }
    int matching = m_iFlatFileMatching.load();
    if (matching >= 0) {
        if (FlatFileCall ff{*this}) ff->setMatching(matching);
    }
    authenticate(nullptr, nullptr, out);
}

bool DConnection::setFlatFileMatching(int mode) {
    if (mode != FF_MATCH_DEFAULT && mode != FF_MATCH_LDAP) return false;
    m_iFlatFileMatching.store(mode);
    if (FlatFileCall ff{*this}) ff->setMatching(mode);
    return true;
}

int DConnection::getFlatFileMatching() {
    if (FlatFileCall ff{*this}) return ff->getMatching();
    int chosen = m_iFlatFileMatching.load();
    return chosen >= 0 ? chosen : FFConnection::defaultMatching();
}

void DConnection::connect(const char* host, int port, const char* dn, const char* password,
                          DException** out) {
    PrivateHolder holder(out);
    connect(host, port, holder.get());
    if (holder.failure() == nullptr) authenticate(dn, password, out);
}

bool DConnection::connectImplicitly(DException** out) {
    OwnedText host;
    int port;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (handleLocked() != nullptr) return true;
        // A copy: connect replaces m_pHostName while it uses the text.
        host.reset(strcopy(m_pHostName.get()));
        port = m_iPort;
    }
    PrivateHolder holder(out);
    connect(host.get(), port, holder.get());
    return holder.failure() == nullptr;
}

void DConnection::authenticate(const char* dn, const char* password, DException** out) {
    if (FlatFileCall ff{*this}) return ff->authenticate(dn, password, out);
    if (!connectImplicitly(out)) return;
    // The host in use may be a flat file, whose binds are its own.
    if (FlatFileCall ff{*this}) return ff->authenticate(dn, password, out);

    std::lock_guard<std::mutex> guard(m_lock);
    replace_text(m_pAuthDN, dn);
    replace_text(m_pAuthPassword, password);
    DS_LDAP* handle = handleLocked();
    if (handle == nullptr) return fail(out, DEXC_AUTHENTICATE, kNoOpenConnection);
    int rc = qdx_ldap_simple_bind_s(handle, dn, password);
    if (rc != 0) return fail_said(out, DEXC_AUTHENTICATE, rc, said_after(handle, rc));
    succeed(out);
    m_bAuthenticated = true;
}

void DConnection::authenticate(int, const char* dn, const char* password, DException** out) {
    authenticate(dn, password, out);
}

int DConnection::authenticate_asyn(const char* dn, const char* password, DException** out) {
    if (FlatFileCall ff{*this}) return ff->authenticate_asyn(dn, password, out);
    if (!connectImplicitly(out)) return -1;
    if (FlatFileCall ff{*this}) return ff->authenticate_asyn(dn, password, out);

    std::lock_guard<std::mutex> guard(m_lock);
    replace_text(m_pAuthDN, dn);
    replace_text(m_pAuthPassword, password);
    succeed(out);
    DS_LDAP* handle = handleLocked();
    int id = handle != nullptr ? qdx_ldap_simple_bind(handle, dn, password) : -1;
    if (id == -1) fail(out, DEXC_AUTHENTICATE, DEXC_ASYNCHRONOUS_ERROR);
    return id;
}

int DConnection::authenticate_asyn(int, const char* dn, const char* password, DException** out) {
    return authenticate_asyn(dn, password, out);
}

void DConnection::disconnect(DException** out) {
    std::lock_guard<std::mutex> guard(m_lock);
    DS_LDAP* handle = m_pLdap.exchange(nullptr);
    if (handle == nullptr) return fail(out, DEXC_DISCONNECT, kNoOpenConnection);
    // A flat file that cannot be written back says why (changed by another process, disk
    // full, ...): that exception is the caller's, where closing the handle gives a code only.
    DException* saveFailure = nullptr;
    if (handle->kind == QDX_LDAP_FLAT_FILE && handle->session != nullptr)
        static_cast<FFConnection*>(handle->session)->disconnect(&saveFailure);
    int rc = close_handle(handle);
    if (saveFailure != nullptr) {
        if (out != nullptr)
            *out = saveFailure;
        else
            delete saveFailure;
        return;
    }
    if (rc != 0) return fail_ldap(out, DEXC_DISCONNECT, rc);
    succeed(out);
}

void DConnection::holdFlatFiles(bool hold) {
    FFConnection::holdFile(hold);
}

char* DConnection::getAuthenticationDN() {
    if (FlatFileCall ff{*this}) return ff->getAuthenticationDN();
    std::lock_guard<std::mutex> guard(m_lock);
    return strcopy(m_pAuthDN.get());
}

char* DConnection::getAuthenticationPassword() {
    if (FlatFileCall ff{*this}) return ff->getAuthenticationPassword();
    std::lock_guard<std::mutex> guard(m_lock);
    return strcopy(m_pAuthPassword.get());
}

bool DConnection::setAuthenticationDN(const char* dn) {
    std::lock_guard<std::mutex> guard(m_lock);
    replace_text(m_pAuthDN, dn);
    return true;
}

bool DConnection::setAuthenticationPassword(const char* password) {
    std::lock_guard<std::mutex> guard(m_lock);
    replace_text(m_pAuthPassword, password);
    return true;
}

// ---- options, constraints, time-out -----------------------------------------------------

int DConnection::getOption(int option) {
    if (FlatFileCall ff{*this}) return ff->getOption(option);
    std::lock_guard<std::mutex> guard(m_lock);
    if (option != 0 && option != 1) return -1;
    if (m_pConstraints == nullptr) return 0;
    return option == 0 ? m_pConstraints->getMaxResults() : m_pConstraints->getTimeLimit();
}

void DConnection::setOption(int option, int value) {
    if (FlatFileCall ff{*this}) return ff->setOption(option, value);
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pConstraints == nullptr) m_pConstraints = std::make_unique<SearchConstraints>();
    if (option == 0) m_pConstraints->setMaxResults(value);
    if (option == 1) m_pConstraints->setTimeLimit(value);
}

SearchConstraints* DConnection::getSearchConstraints() {
    if (FlatFileCall ff{*this}) return ff->getSearchConstraints();
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pConstraints == nullptr) return nullptr;
    return new SearchConstraints(m_pConstraints->getTimeLimit(), m_pConstraints->getMaxResults());
}

bool DConnection::setSearchConstraints(SearchConstraints* constraints) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (constraints != m_pConstraints.get()) m_pConstraints.reset(constraints);
    return true;
}

void DConnection::setTimeout(long timeout, DException** out) {
    if (FlatFileCall ff{*this}) return ff->setTimeout(timeout, out);
    succeed(out);
    std::lock_guard<std::mutex> guard(m_lock);
    DS_LDAP* handle = handleLocked();
    if (handle == nullptr) return fail(out, DEXC_SET_TIMEOUT, kNoOpenConnection);
    if (qdx_ldap_set_timeout(handle, timeout) != 0) fail(out, DEXC_SET_TIMEOUT, kCanNotSetTimer);
}

// ---- text dump --------------------------------------------------------------------------

char* DConnection::ToString() {
    if (FlatFileCall ff{*this}) {
        m_pAuthDN.reset(ff->getAuthenticationDN());
        m_pAuthPassword.reset(ff->getAuthenticationPassword());
        m_bAuthenticated = ff->isAuthenticated();
    }
    return ToString(0, true);
}

char* DConnection::ToString(int indent, bool compact) {
    std::lock_guard<std::mutex> guard(m_lock);
    DumpBuffer out;
    put_header(out, "DConnection", indent);
    put_string(out, "host", m_pHostName ? m_pHostName.get() : "localhost", indent + 2);
    put_long(out, "port", m_iPort, indent + 2);
    put_string(out, "authentication dn", m_pAuthDN.get(), indent + 2);
    // The password itself never leaves the object in a dump.
    put_string(out, "authentication password", m_pAuthPassword ? kPasswordMask : nullptr,
               indent + 2);
    put_bool(out, "is autenticated", m_bAuthenticated, indent + 2);
    if (put_object_label(out, "SearchConstraints", m_pConstraints.get(), indent + 2))
        dump(out, m_pConstraints.get(), indent + 4, compact);
    put_end(out, indent);
    return out.release();
}
