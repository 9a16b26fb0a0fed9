// The modern interface measured in one run against one private slapd holding 100,000
// people (and 1,000 more under a second unit):
//   - a search of one entry by its DN (base scope): dirclient::Connection::searchAll against
//     the classic DConnection::search, loops interleaved in rounds, median round (target
//     ratio <= 1.05);
//   - a streamed subtree search of the 100,000, every entry written out as LDIF to
//     /dev/null by a child process of this program ("--stream URL BASE"), against
//     `ldapsearch -x -LLL > /dev/null` on the same server: wall time, best of five
//     interleaved turns (target ratio <= 1.2), and peak memory of both, also for the 1,000, which
//     shows it flat; the classic DConnection::searchEach doing the same shows the layer's own
//     share.
// Run it by hand:  build/release/bin/modern_bench

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <dirclient/dconnection.h>
#include <dirclient/modern.h>
#include "slapd_server.h"

using dirclient::test::SlapdServer;

namespace {

constexpr int kPeople = 100000;
constexpr int kFew = 1000;
constexpr int kSearches = 10000;
constexpr int kRounds = 20;
constexpr int kTurns = 5;

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// N people below ou=UNIT as LDIF, the unit first.
std::string people(const std::string& unit, int count) {
    std::string ldif = "dn: ou=" + unit +
                       ",dc=example,dc=com\nobjectClass: organizationalUnit\nou: " + unit + "\n\n";
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        ldif += "dn: uid=u" + n + ",ou=" + unit +
                ",dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: u" + n + "\ncn: User " + n +
                "\nsn: Number" + n + "\nmail: u" + n + "@example.com\ndescription: bench entry " +
                n + "\n\n";
    }
    return ldif;
}

// One entry as LDIF on stdout, formatted in a buffer and written at once (as ldapsearch
// formats a line before writing it).
void write_entry(const dirclient::Entry& e) {
    static std::string out;
    out.clear();
    out.append("dn: ").append(e.dn()).append("\n");
    for (dirclient::Attribute a : e.attributes())
        for (std::string_view v : a.values())
            out.append(a.name()).append(": ").append(v).append("\n");
    out.append("\n");
    std::fwrite(out.data(), 1, out.size(), stdout);
}

// The child: the subtree below base written out as LDIF, entry by entry.
int stream(const char* url, const char* base) {
    dirclient::Connection conn(url);
    for (dirclient::Entry& e : conn.search(base, dirclient::Scope::Subtree))
        write_entry(e);
    return 0;
}

// The same through the classic DConnection::searchEach, for the layer's own share.
int stream_classic(const char* url, const char* base) {
    DConnection c;
    c.connect(url, 0, nullptr);
    c.searchEach(
        base, 2, "(objectClass=*)", nullptr, false, nullptr, 0,
        [](DEntry* found) {
            write_entry(dirclient::Entry::adopt(found));
            return true;
        },
        nullptr);
    return 0;
}

struct Run {
    double seconds = 1e9;
    double cpu = 0;  // user + system seconds
    long kilobytes = 0;
};

// One run of command (output to /dev/null): wall time, processor time, peak memory.
Run timed(const std::string& command, const std::string& report) {
    std::string timed = "/usr/bin/time -f '%U %S %M' -o " + report + " " + command;
    auto start = std::chrono::steady_clock::now();
    int status = std::system(timed.c_str());
    Run run;
    run.seconds = seconds_since(start);
    double user = 0, system = 0;
    FILE* in = std::fopen(report.c_str(), "r");
    if (status != 0 || in == nullptr ||
        std::fscanf(in, "%lf %lf %ld", &user, &system, &run.kilobytes) != 3)
        std::fprintf(stderr, "modern_bench: %s failed\n", command.c_str());
    if (in != nullptr) std::fclose(in);
    run.cpu = user + system;
    return run;
}

// The commands take turns, kTurns times, so that a busy moment of the machine does not
// fall on one of them only; the best turn of each.
std::vector<Run> best_turns(const std::vector<std::string>& commands, const std::string& report) {
    std::vector<Run> best(commands.size());
    for (int turn = 0; turn < kTurns; ++turn)
        for (std::size_t k = 0; k < commands.size(); ++k) {
            Run run = timed(commands[k], report);
            if (run.seconds < best[k].seconds) best[k] = run;
        }
    return best;
}

void base_searches(const SlapdServer& server) {
    DConnection classic;
    DException* e = nullptr;
    classic.connect(server.url().c_str(), 0, &e);
    dirclient::Connection modern(server.url());
    if (e != nullptr) std::exit(1);
    std::vector<std::function<void()>> loops = {
        [&] {
            SearchResults* found =
                classic.search(SlapdServer::kAlice, 0, "(objectClass=*)", nullptr, false, nullptr);
            if (found == nullptr || found->first() == nullptr) std::exit(1);
            classic.deleteObject(found);
        },
        [&] {
            if (modern.searchAll(SlapdServer::kAlice, dirclient::Scope::Base).size() != 1)
                std::exit(1);
        },
        [&] {
            long found =
                classic
                    .searchEach(
                        SlapdServer::kAlice, 0, "(objectClass=*)", nullptr, false, nullptr, 0,
                        [](DEntry* entry) {
                            delete entry;
                            return true;
                        },
                        nullptr)
                    .entries;
            if (found != 1) std::exit(1);
        }};
    std::vector<std::vector<double>> rounds(loops.size());
    for (auto& loop : loops)
        for (int i = 0; i < 200; ++i)
            loop();
    for (int round = 0; round < kRounds; ++round)
        for (std::size_t k = 0; k < loops.size(); ++k) {
            auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < kSearches / kRounds; ++i)
                loops[k]();
            rounds[k].push_back(seconds_since(start) / (kSearches / kRounds) * 1e6);
        }
    for (auto& r : rounds)
        std::sort(r.begin(), r.end());
    double classicUs = rounds[0][kRounds / 2], modernUs = rounds[1][kRounds / 2];
    std::printf(
        "base search, %d times: DConnection::search %.1f us, Connection::searchAll %.1f us, "
        "ratio %.3f (target <= 1.05)\n",
        kSearches, classicUs, modernUs, modernUs / classicUs);
    std::printf("  (DConnection::searchEach, which searchAll runs: %.1f us)\n",
                rounds[2][kRounds / 2]);
}

void streamed_searches(const SlapdServer& server, const char* self) {
    dirclient::test::TempDir dir("modern-bench");
    const std::string report = dir.file("time.txt");
    const std::string url = server.url();
    const std::string ldapUrl = "ldap://127.0.0.1:" + std::to_string(server.port());
    for (auto [unit, count] : {std::pair<const char*, int>{"read", kPeople}, {"few", kFew}}) {
        std::string base = std::string("ou=") + unit + ",dc=example,dc=com";
        std::vector<Run> runs = best_turns(
            {std::string(self) + " --stream " + url + " " + base + " >/dev/null",
             std::string(self) + " --classic " + url + " " + base + " >/dev/null",
             "ldapsearch -x -LLL -H " + ldapUrl + " -b " + base + " '(objectClass=*)' >/dev/null"},
            report);
        const Run& ours = runs[0];
        const Run& classic = runs[1];
        const Run& peer = runs[2];
        std::printf(
            "streamed subtree of %d entries: modern %.3f s (cpu %.2f s) %.1f MB, "
            "ldapsearch -LLL %.3f s (cpu %.2f s) %.1f MB, ratio %.3f (target <= 1.2)\n",
            count + 1, ours.seconds, ours.cpu, ours.kilobytes / 1024.0, peer.seconds, peer.cpu,
            peer.kilobytes / 1024.0, ours.seconds / peer.seconds);
        std::printf("  (DConnection::searchEach alone: %.3f s, cpu %.2f s, %.1f MB)\n",
                    classic.seconds, classic.cpu, classic.kilobytes / 1024.0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--stream") return stream(argv[2], argv[3]);
    if (argc == 4 && std::string(argv[1]) == "--classic") return stream_classic(argv[2], argv[3]);
    dirclient::test::SlapdOptions options;
    options.global_config = "sizelimit unlimited\n";
    options.database_config = "maxsize 4294967296\ndbnosync\n";
    options.extra_ldif = people("read", kPeople) + people("few", kFew);
    SlapdServer server(options);
    base_searches(server);
    streamed_searches(server, argv[0]);
    return 0;
}
