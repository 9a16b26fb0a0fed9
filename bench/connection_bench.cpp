// DConnection measured in one run against a private local slapd:
//   - a search of one entry by its DN (base scope), 10,000 times, through DConnection (an
//     LDAP URL, a plain host name) and through the same loop written on OpenLDAP's C API,
//     which also reads every value as an application does (target ratio <= 1.15); the bare
//     OpenLDAP loop that reads nothing is shown too;
//   - the same loop in python-ldap (/usr/bin/python3, bench/connection_python.py);
//   - the same read on a FILE:/// connection holding the same entries;
//   - 10,000 add_asyn followed by getResult(-1) for each, against 10,000 synchronous adds
//     (the server writes without syncing each change to disk, and accepts that many
//     pending requests on one session).
// The machine may be shared: the search loops run interleaved, in rounds, so that a busy
// moment slows all of them alike, and each figure is the median round.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <ldap.h>

#include <dirclient/dconnection.h>
#include <dirclient/ffconnection.h>
#include "slapd_server.h"
#include "test_dir.h"

using dirclient::test::SlapdServer;

namespace {

constexpr int kSearches = 10000;
constexpr int kRounds = 20;
constexpr int kAdds = 10000;
const char* const kBase = SlapdServer::kAlice;
const char* const kFilter = "(objectClass=*)";

// The root the test server's entries hang from, for the flat file.
const char* const kRoot = "dn: dc=com\nobjectClass: domain\ndc: com\n\n";

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

[[noreturn]] void fail(const std::string& what, DException* e = nullptr) {
    std::fprintf(stderr, "connection_bench: %s", what.c_str());
    if (e != nullptr)
        std::fprintf(stderr, ": %s %s (%d)", e->getInfoMsg(), e->getInfoSMsg(),
                     e->getLdapErrorCode());
    std::fprintf(stderr, "\n");
    std::exit(1);
}

LDAP* open_openldap(const SlapdServer& server) {
    LDAP* ld = nullptr;
    std::string url = "ldap://127.0.0.1:" + std::to_string(server.port());
    ldap_initialize(&ld, url.c_str());
    int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    berval none{0, nullptr};
    if (ldap_sasl_bind_s(ld, nullptr, LDAP_SASL_SIMPLE, &none, nullptr, nullptr, nullptr) != 0)
        fail("OpenLDAP bind");
    return ld;
}

// What an application does with an answer: the DN and every value of every attribute.
std::size_t walk(LDAP* ld, LDAPMessage* answer) {
    std::size_t bytes = 0;
    for (LDAPMessage* e = ldap_first_entry(ld, answer); e; e = ldap_next_entry(ld, e)) {
        char* dn = ldap_get_dn(ld, e);
        bytes += std::strlen(dn);
        ldap_memfree(dn);
        BerElement* ber = nullptr;
        for (char* a = ldap_first_attribute(ld, e, &ber); a; a = ldap_next_attribute(ld, e, ber)) {
            berval** values = ldap_get_values_len(ld, e, a);
            for (berval** v = values; v && *v; ++v)
                bytes += (*v)->bv_len;
            ldap_value_free_len(values);
            ldap_memfree(a);
        }
        ber_free(ber, 0);
    }
    return bytes;
}

void openldap_search(LDAP* ld, bool read_values) {
    LDAPMessage* answer = nullptr;
    if (ldap_search_ext_s(ld, kBase, LDAP_SCOPE_BASE, kFilter, nullptr, 0, nullptr, nullptr,
                          nullptr, 0, &answer) != 0)
        fail("OpenLDAP search");
    if (read_values && walk(ld, answer) == 0) fail("OpenLDAP answer");
    ldap_msgfree(answer);
}

void dconnection_search(DConnection& c) {
    DException* e = nullptr;
    SearchResults* found = c.search(kBase, 0, kFilter, nullptr, false, &e);
    if (e != nullptr || found == nullptr || found->first() == nullptr) fail("search", e);
    c.deleteObject(found);
}

void connect(DConnection& c, const std::string& host, int port, const char* dn = nullptr,
             const char* password = nullptr) {
    DException* e = nullptr;
    if (dn != nullptr)
        c.connect(host.c_str(), port, dn, password, &e);
    else
        c.connect(host.c_str(), port, &e);
    if (e != nullptr) fail("connect " + host, e);
}

struct Loop {
    const char* name;
    std::function<void()> once;
    std::vector<double> rounds;  // seconds per round
    double median() {
        std::sort(rounds.begin(), rounds.end());
        return rounds[rounds.size() / 2] * kRounds / kSearches * 1e6;  // microseconds each
    }
};

void interleave(std::vector<Loop>& loops) {
    for (Loop& loop : loops)
        for (int i = 0; i < 200; ++i)
            loop.once();  // warm up
    for (int round = 0; round < kRounds; ++round) {
        for (Loop& loop : loops) {
            auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < kSearches / kRounds; ++i)
                loop.once();
            loop.rounds.push_back(seconds_since(start));
        }
    }
}

// Microseconds per search of the python-ldap loop over count searches, or a negative number
// when it could not run.
double python_search(const SlapdServer& server, int count) {
    std::string command = "/usr/bin/python3 " DIRCLIENT_SOURCE_DIR
                          "/bench/connection_python.py ldap://127.0.0.1:" +
                          std::to_string(server.port()) + " '" + kBase + "' " +
                          std::to_string(count) + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    double micros = -1;
    if (std::fscanf(pipe, "%lf", &micros) != 1) micros = -1;
    pclose(pipe);
    return micros;
}

// python-ldap and DConnection take turns, kSearches / 5 searches each, five times; the
// median round of each (microseconds per search), or a negative python figure.
std::pair<double, double> python_and_ours(const SlapdServer& server, DConnection& c) {
    std::vector<double> python;
    std::vector<double> ours;
    const int count = kSearches / 5;
    for (int round = 0; round < 5; ++round) {
        python.push_back(python_search(server, count));
        if (python.back() < 0) return {-1, 0};
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < count; ++i)
            dconnection_search(c);
        ours.push_back(seconds_since(start) / count * 1e6);
    }
    std::sort(python.begin(), python.end());
    std::sort(ours.begin(), ours.end());
    return {python[2], ours[2]};
}

double flat_file_search() {
    ScopedTestDir dir;
    std::ofstream("same.ldif") << kRoot << SlapdServer::kSeed;
    double micros;
    {
        DConnection c;
        connect(c, "FILE:///same.ldif", 0);
        for (int i = 0; i < 200; ++i)
            dconnection_search(c);
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kSearches; ++i)
            dconnection_search(c);
        micros = seconds_since(start) / kSearches * 1e6;
    }
    FFConnection::empty();
    return micros;
}

DEntry* new_person(DConnection& c, const std::string& cn, const std::string& parent) {
    DEntry* entry = c.newDEntry(("cn=" + cn + "," + parent).c_str());
    entry->addAttribute(c.newAttribute("objectClass", "inetOrgPerson"));
    entry->addAttribute(c.newAttribute("cn", cn.c_str()));
    entry->addAttribute(c.newAttribute("sn", "Bench"));
    return entry;
}

// An administrator's connection and a fresh unit ou=<name> below the suffix.
std::string add_unit(DConnection& c, const SlapdServer& server, const char* name) {
    connect(c, server.url(), 0, SlapdServer::kAdminDn, SlapdServer::kAdminPassword);
    const std::string dn = std::string("ou=") + name + "," + SlapdServer::kSuffix;
    DEntry* unit = c.newDEntry(dn.c_str());
    unit->addAttribute(c.newAttribute("objectClass", "organizationalUnit"));
    unit->addAttribute(c.newAttribute("ou", name));
    DException* e = nullptr;
    c.add(unit, &e);
    c.deleteObject(unit);
    if (e != nullptr) fail("add " + dn, e);
    return dn;
}

double synchronous_adds(const SlapdServer& server) {
    DConnection c;
    std::string parent = add_unit(c, server, "sync");
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kAdds; ++i) {
        DEntry* entry = new_person(c, "p" + std::to_string(i), parent);
        DException* e = nullptr;
        c.add(entry, &e);
        c.deleteObject(entry);
        if (e != nullptr) fail("add", e);
    }
    return seconds_since(start);
}

// Seconds for the whole run; refused counts the answers that carried a failure, by LDAP
// result code.
double asynchronous_adds(const SlapdServer& server, std::map<int, int>& refused) {
    DConnection c;
    std::string parent = add_unit(c, server, "async");
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kAdds; ++i) {
        DEntry* entry = new_person(c, "p" + std::to_string(i), parent);
        DException* e = nullptr;
        int id = c.add_asyn(entry, &e);
        c.deleteObject(entry);
        if (id == -1) fail("add_asyn " + std::to_string(i), e);
    }
    for (int i = 0; i < kAdds; ++i) {
        Results* r = c.getResult(-1, 60000);
        if (r == nullptr) fail("no answer to an add_asyn");
        DException* e = nullptr;
        r->getAddResult(&e);
        if (e != nullptr) ++refused[e->getLdapErrorCode()];
        c.deleteObject(e);
        c.deleteObject(r);
    }
    return seconds_since(start);
}

}  // namespace

int main() {
    // slapd closes a session with more than 1000 requests pending, a synced write per add
    // would measure the disk rather than the client, and the default 10 MB database does
    // not hold 20,000 more entries.
    dirclient::test::SlapdOptions options;
    options.global_config = "conn_max_pending_auth " + std::to_string(2 * kAdds) + "\n";
    options.database_config = "dbnosync\nmaxsize 1073741824\n";
    SlapdServer server(options);
    LDAP* ld = open_openldap(server);
    DConnection url;
    connect(url, server.url(), 0);
    DConnection plain;
    connect(plain, "127.0.0.1", server.port());

    std::vector<Loop> loops = {
        {"OpenLDAP, answer not read", [&] { openldap_search(ld, false); }, {}},
        {"OpenLDAP, every value read", [&] { openldap_search(ld, true); }, {}},
        {"DConnection, LDAP URL (server list)", [&] { dconnection_search(url); }, {}},
        {"DConnection, host name (plain session)", [&] { dconnection_search(plain); }, {}},
    };
    interleave(loops);
    ldap_unbind_ext(ld, nullptr, nullptr);
    std::printf("base search of one entry, %d times, microseconds each (median of %d rounds):\n",
                kSearches, kRounds);
    std::vector<double> micros;
    for (Loop& loop : loops) {
        micros.push_back(loop.median());
        std::printf("  %-42s %8.1f\n", loop.name, micros.back());
    }
    std::printf(
        "ratio DConnection / OpenLDAP C API: %.3f (LDAP URL), %.3f (host name); "
        "target <= 1.15\n",
        micros[2] / micros[1], micros[3] / micros[1]);

    auto [python, ours] = python_and_ours(server, url);
    if (python > 0)
        std::printf(
            "python-ldap %.1f us each, DConnection %.1f in the same turns: ratio "
            "python-ldap / DConnection %.2f\n",
            python, ours, python / ours);
    else
        std::printf("python-ldap: not measured (needs /usr/bin/python3 with python3-ldap)\n");

    double file = flat_file_search();
    std::printf("FILE:/// connection: %.2f us each, %.0f times as fast as the server\n", file,
                micros[2] / file);

    double sync = synchronous_adds(server);
    std::map<int, int> refused;
    double async = asynchronous_adds(server, refused);
    std::printf(
        "%d adds: synchronous %.2f s, add_asyn then getResult(-1) %.2f s; "
        "throughput ratio %.2f\n",
        kAdds, sync, async, sync / async);
    for (const auto& [code, count] : refused)
        std::printf("  the server refused %d asynchronous adds with LDAP result %d\n", count, code);
    return 0;
}
