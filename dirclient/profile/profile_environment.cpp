#include "profile_environment.h"

#include <cstdio>
#include <cstdlib>

#include "activity_name_index.h"
#include "profiler_state.h"

namespace dirclient::profile {
namespace {

bool is_separator(char c) {
    return c == ' ' || c == '\t' || c == ',';
}

void read_profiled_names(Profiler& p, const char* value) {
    for (std::string_view word : profile_words(value)) {
        if (p.profiled_names.add(word) == ProfiledNames::Add::too_many) {
            fprintf(stderr, "*** too many activities to profile, max is %d\n",
                    static_cast<int>(kMaxProfiledNames));
        }
    }
}

}  // namespace

std::vector<std::string_view> profile_words(std::string_view value) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < value.size()) {
        while (at < value.size() && is_separator(value[at]))
            ++at;
        const size_t start = at;
        while (at < value.size() && !is_separator(value[at]))
            ++at;
        if (at > start) words.push_back(value.substr(start, at - start));
    }
    return words;
}

FigureChoice figure_choice(std::string_view value) {
    FigureChoice choice;
    for (std::string_view word : profile_words(value)) {
        if (same_name(word, "all")) return {true, true, true};
        if (same_name(word, "absolute")) choice.absolute = true;
        if (same_name(word, "relative")) choice.relative = true;
        if (same_name(word, "unit")) choice.unit = true;
    }
    return choice;
}

void read_profile_environment(Profiler& p) {
    if (const char* on = getenv("QDX_PROFILE"); on && same_name(on, "on")) {
        profiling_on.store(1, std::memory_order_relaxed);
    }
    if (const char* names = getenv("QDX_PROFILE_ACTIVITIES")) read_profiled_names(p, names);
    if (const char* cpu = getenv("QDX_PROFILE_REPORT_CPU")) {
        const FigureChoice c = figure_choice(cpu);
        p.report.cpu_absolute = c.absolute;
        p.report.cpu_relative = c.relative;
        p.report.cpu_unit = c.unit;
    }
    if (const char* elapsed = getenv("QDX_PROFILE_REPORT_ELAPSED")) {
        const FigureChoice c = figure_choice(elapsed);
        p.report.elapsed_absolute = c.absolute;
        p.report.elapsed_relative = c.relative;
        p.report.elapsed_unit = c.unit;
    }
    p.report.count = getenv("QDX_PROFILE_REPORT_COUNT") != nullptr;
    p.report.description = getenv("QDX_PROFILE_REPORT_DESCRIPTION") != nullptr;
    open_report_file(getenv("QDX_PROFILE_FILE"));
}

void open_report_file(const char* path) {
    ReportStream& report = report_stream();
    if (report.stream != nullptr || path == nullptr) return;
    report.path = path;
    report.stream = fopen(path, "w");
    if (report.stream == nullptr) report.stream = stdout;
}

}  // namespace dirclient::profile
