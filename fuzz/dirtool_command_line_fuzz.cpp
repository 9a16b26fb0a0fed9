// dirtool's command line on arbitrary arguments (NUL-separated in the input): it is read or
// refused with a UsageError, never anything worse, and what is read holds together.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "command_line.h"

using namespace dirtool;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args{"dirtool"};
    for (size_t start = 0; start <= text.size() && args.size() < 64;) {
        size_t end = text.find('\0', start);
        if (end == std::string::npos) end = text.size();
        args.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    try {
        Invocation inv =
            parse_command_line(static_cast<int>(argv.size()), argv.data(), "FILE:///d.ldif");
        if (inv.help || inv.version) return 0;
        if (inv.host.empty() || inv.scope < 0 || inv.scope > kScopeChildren || inv.ldif_level < 0 ||
            inv.ldif_level > 2 || inv.size_limit < 0 || inv.port < 1 || inv.filter.empty())
            abort();
        if ((inv.command == Command::kAdd || inv.command == Command::kApply) && inv.file.empty())
            abort();
    } catch (const UsageError&) {
    }
    return 0;
}
