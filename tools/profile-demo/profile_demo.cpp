// profile-demo: how a hosting program profiles the directory client library.
//
// It declares the activities the way a program that uses libdirclient would ("ldap32"
// enclosing one activity per LDAP call, which the library brackets), measures from a few
// threads and prints the reports. Run it with profiling switched on, for example:
//
//   QDX_PROFILE=on QDX_PROFILE_ACTIVITIES=all QDX_PROFILE_REPORT_CPU=absolute,relative
//   QDX_PROFILE_REPORT_ELAPSED=absolute QDX_PROFILE_REPORT_COUNT=1 profile-demo

#include <dirclient/dirclient.h>

#include <cstdio>
#include <thread>
#include <vector>

namespace {

void declare_activities() {
    qdx_create_composite_activity("demo", "the whole demo");
    qdx_create_composite_activity("ldap32", "calls into the LDAP client library");
    for (const char* call : qdx_ldap_call_activities)
        qdx_create_atomic_activity(call, call);
    qdx_end_composite_activity();
    qdx_create_atomic_activity("compute", "work between the calls");
    qdx_end_composite_activity();
}

// Stands for real work, so that the figures are not all zero.
double busy(int rounds) {
    volatile double sum = 0;
    for (int i = 0; i < rounds; ++i)
        sum = sum + i * 0.5;
    return sum;
}

void client(int id) {
    for (int i = 0; i < 100 * (id + 1); ++i) {
        qdx_ldap_err2string(QDX_LDAP_SERVER_DOWN + i % 10);  // bracketed inside the library
        // What the library's wrappers do around a search.
        qdx_start_activity("ldap_search_s");
        busy(200000);
        qdx_stop_activity("ldap32");
        qdx_start_activity("compute");
        busy(50000);
        qdx_stop_activity("compute");
    }
    qdx_stop_activity("demo");  // started by the first call, as the parent of them all
}

void print(const char* title, char* text) {
    printf("--- %s\n%s\n", title, text != nullptr ? text : "(none)");
    qdx_profile_memfree(text);
}

}  // namespace

int main() {
    declare_activities();
    if (!qdx_profile_enabled()) {
        fprintf(stderr, "profiling is off: run with QDX_PROFILE=on\n");
        return 0;
    }
    qdx_start_process_clock();
    std::vector<std::thread> clients;
    for (int id = 0; id < 3; ++id)
        clients.emplace_back(client, id);
    for (auto& c : clients)
        c.join();
    qdx_stop_process_clock();

    // The statistics tree of every thread and the summary, to QDX_PROFILE_FILE or stdout.
    qdx_display_activity_statistics("demo");
    qdx_flush_statistics();
    fflush(stdout);

    print("searches per thread: runs, processor time, share of ldap32",
          qdx_profile_report("ldap_search_s",
                             QDX_REPORT_COUNT | QDX_REPORT_CPU_TOTAL | QDX_REPORT_CPU_RELATIVE, 0,
                             1));
    print("searches of thread 1", qdx_profile_count_for(qdx_activity_named("ldap_search_s"), 0, 1));
    return 0;
}
