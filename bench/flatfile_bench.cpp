// Times the flat-file directory on one generated file: load, reads by DN, a subtree search
// with a substring filter, a one-level search under a wide parent and a save; and, when a
// server URL is given, the same reads by DN through OpenLDAP's C API against that server.
// Prints "name value" lines for bench/flatfile_bench.sh.
//
// Usage: flatfile_bench FILE.ldif DNS_FILE BASE WIDE_PARENT [ldap://host:port]
//        flatfile_bench --long-lines FOLDER   (load time per MB of a 1 MB and a 40 MB line)

#include <dirclient/dentry.h>
#include <dirclient/dexception.h>
#include <dirclient/ffconnection.h>
#include <dirclient/modification.h>
#include <dirclient/search_results.h>

#include <ldap.h>
#include <unistd.h>

#include <sys/stat.h>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long residentKb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

bool check(DException* e, const char* what) {
    if (e == nullptr) return true;
    std::fprintf(stderr, "%s failed: %s %s (%d)\n", what, e->getInfoMsg(), e->getInfoSMsg(),
                 e->getLdapErrorCode());
    delete e;
    return false;
}

// One base-scope search per DN, reading every value as an application would.
double ldapReads(const char* url, const std::vector<std::string>& dns, long* found) {
    LDAP* ld = nullptr;
    if (ldap_initialize(&ld, url) != LDAP_SUCCESS) return -1;
    int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    berval anonymous{0, nullptr};
    if (ldap_sasl_bind_s(ld, nullptr, LDAP_SASL_SIMPLE, &anonymous, nullptr, nullptr, nullptr) !=
        LDAP_SUCCESS) {
        ldap_unbind_ext_s(ld, nullptr, nullptr);
        return -1;
    }
    auto start = Clock::now();
    for (const std::string& dn : dns) {
        LDAPMessage* result = nullptr;
        int rc = ldap_search_ext_s(ld, dn.c_str(), LDAP_SCOPE_BASE, "(objectClass=*)", nullptr, 0,
                                   nullptr, nullptr, nullptr, 0, &result);
        if (rc == LDAP_SUCCESS) {
            for (LDAPMessage* entry = ldap_first_entry(ld, result); entry != nullptr;
                 entry = ldap_next_entry(ld, entry)) {
                ++*found;
                BerElement* ber = nullptr;
                for (char* name = ldap_first_attribute(ld, entry, &ber); name != nullptr;
                     name = ldap_next_attribute(ld, entry, ber)) {
                    berval** values = ldap_get_values_len(ld, entry, name);
                    ldap_value_free_len(values);
                    ldap_memfree(name);
                }
                ber_free(ber, 0);
            }
        }
        ldap_msgfree(result);
    }
    double seconds = since(start);
    ldap_unbind_ext_s(ld, nullptr, nullptr);
    return seconds;
}

// Loads a file whose one value line is mb megabytes long; the load's seconds per MB.
double longLineSecondsPerMb(const std::string& folder, int mb) {
    const std::string path = folder + "/long" + std::to_string(mb) + ".ldif";
    {
        std::ofstream out(path);
        out << "dn: o=x\no: x\ndescription: "
            << std::string(static_cast<std::size_t>(mb) << 20, 'v') << "\n\n";
    }
    FFConnection c;
    DException* e = nullptr;
    auto start = Clock::now();
    c.connect(("FILE:///" + path).c_str(), 0, &e);
    double seconds = since(start);
    bool loaded = check(e, "load");
    FFConnection::empty();
    unlink(path.c_str());
    return loaded ? seconds / mb : -1;
}

int longLines(const std::string& folder) {
    const double small = longLineSecondsPerMb(folder, 1);
    const double large = longLineSecondsPerMb(folder, 40);
    std::printf("long_line_1mb_s_per_mb %.4f\nlong_line_40mb_s_per_mb %.4f\n", small, large);
    if (small > 0) std::printf("long_line_per_mb_ratio_40_to_1 %.2f\n", large / small);
    return small > 0 && large > 0 ? 0 : 1;
}

std::vector<std::string> readLines(const char* path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool timeLoad(FFConnection& c, const std::string& file) {
    struct stat st {};
    stat(file.c_str(), &st);
    std::printf("file_bytes %lld\n", static_cast<long long>(st.st_size));
    DException* e = nullptr;
    long rssBefore = residentKb();
    double cpu = cpuSeconds();
    auto start = Clock::now();
    c.connect(("FILE:///" + file).c_str(), 0, &e);
    std::printf("load_s %.3f\nload_cpu_s %.3f\n", since(start), cpuSeconds() - cpu);
    if (!check(e, "load")) return false;
    std::printf("rss_kb %ld\n", residentKb() - rssBefore);
    return true;
}

void timeReads(FFConnection& c, const std::vector<std::string>& dns) {
    DException* e = nullptr;
    auto start = Clock::now();
    long hits = 0;
    for (const std::string& dn : dns) {
        DEntry* entry = c.read(dn.c_str(), &e);
        if (entry != nullptr) ++hits;
        delete entry;
        if (e != nullptr) {
            delete e;
            e = nullptr;
        }
    }
    std::printf("reads %zu\nread_s %.3f\nread_hits %ld\n", dns.size(), since(start), hits);
}

void timeSearches(FFConnection& c, const char* base, const char* wideParent) {
    DException* e = nullptr;
    auto start = Clock::now();
    SearchResults* found = c.search(base, 2, "(description=*number 99*)", nullptr, false, &e);
    std::printf("subtree_s %.3f\nsubtree_found %d\n", since(start), found ? found->size() : 0);
    delete found;
    check(e, "subtree search");
    e = nullptr;

    start = Clock::now();
    found = c.search(wideParent, 1, "(objectClass=*)", nullptr, false, &e);
    std::printf("onelevel_s %.3f\nonelevel_found %d\n", since(start), found ? found->size() : 0);
    delete found;
    check(e, "one-level search");
}

bool timeSave(FFConnection& c, const char* base) {
    DException* e = nullptr;
    Modification change(MOD_OP_ADD, new (HEAP) Attribute("description", "saved by the benchmark"));
    c.modify(base, &change, &e);
    if (!check(e, "modify")) return false;
    auto start = Clock::now();
    c.disconnect(&e);
    std::printf("save_s %.3f\n", since(start));
    return check(e, "save");
}

bool timeLdapReads(const char* url, const std::vector<std::string>& dns) {
    long ldapFound = 0;
    double seconds = ldapReads(url, dns, &ldapFound);
    if (seconds < 0) {
        std::fprintf(stderr, "cannot reach %s\n", url);
        return false;
    }
    std::printf("ldap_read_s %.3f\nldap_read_hits %ld\n", seconds, ldapFound);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--long-lines") return longLines(argv[2]);
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s FILE.ldif DNS_FILE BASE WIDE_PARENT [ldap://host:port]\n",
                     argv[0]);
        return 2;
    }
    const std::string file = argv[1];
    const char* base = argv[3];
    const char* wideParent = argv[4];
    std::vector<std::string> dns = readLines(argv[2]);
    FFConnection c;
    if (!timeLoad(c, file)) return 1;
    timeReads(c, dns);
    timeSearches(c, base, wideParent);
    if (!timeSave(c, base)) return 1;
    if (argc > 5 && !timeLdapReads(argv[5], dns)) return 1;
    return 0;
}
