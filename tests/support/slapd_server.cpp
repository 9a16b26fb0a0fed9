#include "slapd_server.h"

#include "tls_certificates.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace dirclient::test {

namespace {

// Test-only schema for the counter entry: 2.25 is the arc of UUID-derived identifiers.
constexpr const char* kCounterSchema =
    "attributetype ( 2.25.297818343129742012843938434702455591105.1 NAME 'modsCompleted'\n"
    "  EQUALITY integerMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )\n"
    "objectclass ( 2.25.297818343129742012843938434702455591105.2 NAME 'serverActivity'\n"
    "  SUP top STRUCTURAL MUST cn MAY modsCompleted )\n";

std::string responder_path() {
    if (const char* path = std::getenv("DIRCLIENT_MONITOR_RESPONDER")) return path;
    return DIRCLIENT_MONITOR_RESPONDER;
}

}  // namespace

SlapdServer::SlapdServer(SlapdOptions options)
    : options_(std::move(options)), dir_("dirclient-slapd-") {
    mkdir(dir_.file("db").c_str(), 0700);
    write_file(dir_.file("counters.schema"), kCounterSchema);
    responder_ = spawn({responder_path(), dir_.file("monitor.sock")}, dir_.file("responder.log"));
    for (int i = 0; i < 500 && access(dir_.file("monitor.sock").c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Another test may take a free port between our look and slapd's bind: try a few.
    for (int attempt = 0; attempt < (options_.port ? 1 : 5); ++attempt) {
        port_ = options_.port ? options_.port : free_tcp_port();
        if (options_.tls) tls_port_ = free_tcp_port();
        write_configuration();
        if (attempt == 0 && options_.seeded) seed();
        if (try_start()) return;
    }
    throw std::runtime_error("slapd did not start; see " + dir_.file("slapd.log"));
}

SlapdServer::~SlapdServer() {
    drop_admin();
    if (pid_ > 0) terminate(pid_, SIGTERM);
    terminate(responder_, SIGKILL);
}

namespace {

// serverID, the syncprov overlay and one syncrepl per provider, in mirror mode.
std::string replication_config(const SlapdOptions& options, bool global) {
    if (options.server_id == 0) return "";
    if (global) return "moduleload syncprov\nserverID " + std::to_string(options.server_id) + "\n";
    std::string conf;
    int rid = 0;
    for (int port : options.providers) {
        conf += "syncrepl rid=" + std::to_string(100 * options.server_id + ++rid) +
                " provider=ldap://127.0.0.1:" + std::to_string(port) +
                " bindmethod=simple binddn=\"" + SlapdServer::kAdminDn +
                "\" credentials=" + SlapdServer::kAdminPassword + " searchbase=\"" +
                SlapdServer::kSuffix +
                "\" type=refreshAndPersist retry=\"1 +\" timeout=3 network-timeout=3\n";
    }
    return conf + "mirrormode on\nindex entryCSN,entryUUID eq\noverlay syncprov\n";
}

}  // namespace

std::string SlapdServer::url() const {
    return "LDAP://127.0.0.1:" + std::to_string(port_);
}

std::string SlapdServer::tls_url() const {
    return "LDAPS://127.0.0.1:" + std::to_string(tls_port_);
}

std::string SlapdServer::log() const {
    return read_file(dir_.file("slapd.log"));
}

std::string SlapdServer::tls_configuration() const {
    if (options_.tls == nullptr) return "";
    return "TLSCACertificateFile " + options_.tls->ca() + "\n" + "TLSCertificateFile " +
           options_.tls->server_cert() + "\n" + "TLSCertificateKeyFile " +
           options_.tls->server_key() + "\n" + "TLSVerifyClient allow\n";
}

void SlapdServer::write_configuration() {
    std::string d = dir_.path();
    std::string read_rule = options_.anonymous_reads ? "access to * by * read\n"
                                                     : "access to * by users read by * auth\n";
    std::string conf =
        "include /etc/ldap/schema/core.schema\n"
        "include /etc/ldap/schema/cosine.schema\n"
        "include /etc/ldap/schema/inetorgperson.schema\n"
        "include " +
        d +
        "/counters.schema\n"
        "pidfile " +
        d +
        "/slapd.pid\n"
        "argsfile " +
        d +
        "/slapd.args\n"
        "modulepath /usr/lib/ldap\n"
        "moduleload back_mdb\nmoduleload back_monitor\nmoduleload back_sock\n" +
        tls_configuration() + replication_config(options_, true) + options_.global_config +
        "database mdb\n"
        "suffix \"" +
        std::string(kSuffix) +
        "\"\n"
        "rootdn \"" +
        std::string(kAdminDn) +
        "\"\n"
        "rootpw " +
        std::string(kAdminPassword) +
        "\n"
        "directory " +
        d + "/db\n" + options_.database_config + replication_config(options_, false) + read_rule +
        "overlay sock\nsocketpath " + d +
        "/monitor.sock\nextensions connid\n"
        "sockops add delete modify modrdn\nsockresps result\n"
        "database monitor\n" +
        read_rule + "overlay sock\nsocketpath " + d +
        "/monitor.sock\nsockops search\n"
        "sockdnpat \"^cn=monitor$\"\n";
    write_file(dir_.file("slapd.conf"), conf);
}

void SlapdServer::seed() {
    write_file(dir_.file("seed.ldif"), std::string(SlapdServer::kSeed) + options_.extra_ldif);
    if (run({"slapadd", "-q", "-f", dir_.file("slapd.conf"), "-l", dir_.file("seed.ldif")},
            dir_.file("slapd.log")) != 0)
        throw std::runtime_error("slapadd failed; see " + dir_.file("slapd.log"));
}

bool SlapdServer::try_start() {
    std::string listen = "ldap://127.0.0.1:" + std::to_string(port_) + "/";
    if (options_.tls) listen += " ldaps://127.0.0.1:" + std::to_string(tls_port_) + "/";
    pid_ = spawn(
        {"slapd", "-f", dir_.file("slapd.conf"), "-h", listen, "-d", options_.tls ? "stats" : "0"},
        dir_.file("slapd.log"));
    own_searches_ = 0;
    own_binds_ = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!still_running(pid_)) {
            pid_ = -1;
            return false;
        }
        if (admin() != nullptr) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    terminate(pid_, SIGKILL);
    pid_ = -1;
    return false;
}

void SlapdServer::start() {
    if (pid_ > 0) return;
    if (!try_start()) throw std::runtime_error("slapd did not restart on its port");
}

void SlapdServer::stop() {
    drop_admin();
    terminate(pid_, SIGTERM);
    pid_ = -1;
}

void SlapdServer::kill() {
    drop_admin();
    terminate(pid_, SIGKILL);
    pid_ = -1;
}

namespace {

// True once every thread of the process is stopped: a SIGSTOP only takes effect when each
// thread next runs, and a busy machine may let one answer a request first.
bool all_threads_stopped(pid_t pid) {
    std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
        std::ifstream stat(task.path() / "stat");
        std::string line;
        std::getline(stat, line);
        std::size_t close = line.rfind(')');
        if (close == std::string::npos || close + 2 >= line.size()) return false;
        char state = line[close + 2];
        if (state != 'T' && state != 't') return false;
    }
    return !ec;
}

}  // namespace

void SlapdServer::pause() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGSTOP);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!all_threads_stopped(pid_) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void SlapdServer::drop_admin() {
    if (admin_ != nullptr) ldap_unbind_ext(admin_, nullptr, nullptr);
    admin_ = nullptr;
}

LDAP* SlapdServer::admin() {
    if (admin_ != nullptr) return admin_;
    LDAP* ld = nullptr;
    std::string url = "ldap://127.0.0.1:" + std::to_string(port_);
    if (ldap_initialize(&ld, url.c_str()) != LDAP_SUCCESS) return nullptr;
    int version = LDAP_VERSION3;
    timeval limit{2, 0};
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &limit);
    berval password{std::char_traits<char>::length(kAdminPassword),
                    const_cast<char*>(kAdminPassword)};
    if (ldap_sasl_bind_s(ld, kAdminDn, LDAP_SASL_SIMPLE, &password, nullptr, nullptr, nullptr) !=
        LDAP_SUCCESS) {
        ldap_unbind_ext(ld, nullptr, nullptr);
        return nullptr;
    }
    ++own_binds_;
    admin_ = ld;
    return admin_;
}

long SlapdServer::operations_reaching(const std::string& kind, long at_least) {
    long count = operations(kind);
    for (int i = 0; i < 50 && count < at_least; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        count = operations(kind);
    }
    return count;
}

long SlapdServer::operations(const std::string& kind) {
    LDAP* ld = admin();
    if (ld == nullptr) throw std::runtime_error("server not reachable");
    std::string dn = "cn=" + kind + ",cn=Operations,cn=Monitor";
    char attr[] = "monitorOpInitiated";
    char* attrs[] = {attr, nullptr};
    LDAPMessage* answer = nullptr;
    ++own_searches_;
    int rc = ldap_search_ext_s(ld, dn.c_str(), LDAP_SCOPE_BASE, "(objectClass=*)", attrs, 0,
                               nullptr, nullptr, nullptr, 0, &answer);
    long count = -1;
    if (rc == LDAP_SUCCESS) {
        if (LDAPMessage* entry = ldap_first_entry(ld, answer)) {
            if (berval** values = ldap_get_values_len(ld, entry, attr)) {
                if (values[0]) count = std::strtol(values[0]->bv_val, nullptr, 10);
                ldap_value_free_len(values);
            }
        }
    }
    ldap_msgfree(answer);
    if (count < 0) throw std::runtime_error("cannot read " + dn);
    if (kind == "Search") return count - own_searches_;
    if (kind == "Bind") return count - own_binds_;
    return count;
}

std::string SlapdServer::context_csn() {
    LDAP* ld = admin();
    if (ld == nullptr) return "";
    char attr[] = "contextCSN";
    char* attrs[] = {attr, nullptr};
    LDAPMessage* answer = nullptr;
    ++own_searches_;
    int rc = ldap_search_ext_s(ld, kSuffix, LDAP_SCOPE_BASE, "(objectClass=*)", attrs, 0, nullptr,
                               nullptr, nullptr, 0, &answer);
    std::vector<std::string> csns;
    if (LDAPMessage* entry = rc == LDAP_SUCCESS ? ldap_first_entry(ld, answer) : nullptr) {
        if (berval** values = ldap_get_values_len(ld, entry, attr)) {
            for (berval** v = values; *v; ++v)
                csns.emplace_back((*v)->bv_val, (*v)->bv_len);
            ldap_value_free_len(values);
        }
    }
    ldap_msgfree(answer);
    std::sort(csns.begin(), csns.end());
    std::string joined;
    for (const std::string& csn : csns)
        joined += (joined.empty() ? "" : " ") + csn;
    return joined;
}

int SlapdServer::replace(const std::string& dn, const std::string& attr, const std::string& value) {
    LDAP* ld = admin();
    if (ld == nullptr) return LDAP_SERVER_DOWN;
    berval v{value.size(), const_cast<char*>(value.data())};
    berval* values[] = {&v, nullptr};
    LDAPMod mod{};
    mod.mod_op = LDAP_MOD_REPLACE | LDAP_MOD_BVALUES;
    mod.mod_type = const_cast<char*>(attr.c_str());
    mod.mod_bvalues = values;
    LDAPMod* mods[] = {&mod, nullptr};
    return ldap_modify_ext_s(ld, dn.c_str(), mods, nullptr, nullptr);
}

}  // namespace dirclient::test
