#ifndef DIRCLIENT_PROFILE_ENVIRONMENT_H
#define DIRCLIENT_PROFILE_ENVIRONMENT_H

// The QDX_PROFILE* environment variables, read at the first declaration. Internal.

#include <string>
#include <string_view>
#include <vector>

namespace dirclient::profile {

struct Profiler;

// The words of a list value: separated by blanks, tabs and commas, empty words skipped.
std::vector<std::string_view> profile_words(std::string_view value);

// The figures chosen by QDX_PROFILE_REPORT_CPU or QDX_PROFILE_REPORT_ELAPSED: "absolute",
// "relative", "unit", or "all" for the three (which ends the scan). Case is ignored;
// unknown words are ignored.
struct FigureChoice {
    bool absolute = false;
    bool relative = false;
    bool unit = false;
};
FigureChoice figure_choice(std::string_view value);

// Applies every variable to the profiler (and the profiling switch); messages about
// dropped names go to standard error.
void read_profile_environment(Profiler& profiler);

// Opens the report file (mode "w") unless a report stream is set or the path is null; a
// failed open leaves standard output. Under the profile mutex.
void open_report_file(const char* path);

}  // namespace dirclient::profile

#endif
