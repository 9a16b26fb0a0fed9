#ifndef REPLHOST_UPDATE_SPLIT_H
#define REPLHOST_UPDATE_SPLIT_H

// How the test host's master divides its input into replication updates.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace replhost {

enum class Split {
    kBlankLine,  // records of lines separated by blank lines, as in LDIF; each keeps its "\n"s
    kLine,       // every non-empty line, without its line end
    kWhole,      // the whole input as one update, even an empty one
};

// "blank", "line" or "whole"; nothing for any other text.
std::optional<Split> parse_split(std::string_view name);

std::vector<std::string> split_updates(std::string_view input, Split how);

}  // namespace replhost

#endif
