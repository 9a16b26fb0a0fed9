#include "profiling.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <dirclient/ldap_call_activities.h>
#include <dirclient/profile_activity.h>
#include <dirclient/profile_measure.h>
#include <dirclient/profile_report.h>

namespace dirtool {
namespace {

void set_default(const char* name, const char* value) {
    setenv(name, value, 0);
}

void declare_tree() {
    qdx_create_composite_activity("dirtool", "the whole run");
    qdx_create_atomic_activity("ldif_input", "reading and parsing LDIF");
    qdx_create_composite_activity("operation", "connecting, directory operations, disconnecting");
    qdx_create_composite_activity("ldap32", "calls into the LDAP client library");
    for (const char* call : qdx_ldap_call_activities)
        qdx_create_atomic_activity(call, call);
    qdx_end_composite_activity();
    qdx_end_composite_activity();
    qdx_create_atomic_activity("ldif_output", "writing entries as LDIF");
    qdx_end_composite_activity();
}

bool is_ldap_call(std::string_view name) {
    for (const char* call : qdx_ldap_call_activities)
        if (name == call) return true;
    return false;
}

// The statistics tree without the LDAP calls that never ran: most runs use a handful.
std::string without_idle_calls(const char* tree) {
    std::string out;
    std::string_view rest(tree != nullptr ? tree : "");
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view line =
            rest.substr(0, end == std::string_view::npos ? rest.size() : end + 1);
        rest.remove_prefix(line.size());
        std::string_view name = line.substr(line.find_first_not_of(' '));
        name = name.substr(0, name.find(' '));
        bool idle = line.size() > 10 && line.substr(line.size() - 10) == " count: 0\n";
        if (!(idle && is_ldap_call(name))) out.append(line);
    }
    return out;
}

// The last paragraph of the process summary: the run's total processor time.
std::string process_total(const char* summary) {
    std::string_view text(summary != nullptr ? summary : "");
    size_t at = text.rfind("Total CPU process time");
    return at == std::string_view::npos ? "" : std::string(text.substr(at));
}

}  // namespace

Profiling::Profiling(bool on) : on_(on) {
    if (!on_) return;
    // Read by the profiler at the first declaration.
    setenv("QDX_PROFILE", "on", 1);
    set_default("QDX_PROFILE_ACTIVITIES", "all");
    if (!getenv("QDX_PROFILE_REPORT_CPU") && !getenv("QDX_PROFILE_REPORT_ELAPSED") &&
        !getenv("QDX_PROFILE_REPORT_COUNT") && !getenv("QDX_PROFILE_REPORT_DESCRIPTION")) {
        setenv("QDX_PROFILE_REPORT_CPU", "absolute,relative", 1);
        setenv("QDX_PROFILE_REPORT_COUNT", "1", 1);
    }
    declare_tree();
    qdx_start_process_clock();
    qdx_start_activity("dirtool");
}

Profiling::~Profiling() {
    if (!on_) return;
    qdx_stop_activity("dirtool");
    qdx_stop_process_clock();
    if (getenv("QDX_PROFILE_FILE") != nullptr) {
        qdx_display_activity_statistics("dirtool");
        return;
    }
    fflush(stdout);
    char* tree = qdx_get_statistics_report_for("dirtool");
    char* summary = global_thread_report();
    fprintf(stderr, "%s\n%s", without_idle_calls(tree).c_str(), process_total(summary).c_str());
    qdx_profile_memfree(tree);
    qdx_profile_memfree(summary);
}

Activity::Activity(const char* name) : name_(name) {
    qdx_start_activity(name_);
}

Activity::~Activity() {
    qdx_stop_activity(name_);
}

}  // namespace dirtool
