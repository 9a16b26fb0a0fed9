#include "update_split.h"

namespace replhost {

std::optional<Split> parse_split(std::string_view name) {
    if (name == "blank") return Split::kBlankLine;
    if (name == "line") return Split::kLine;
    if (name == "whole") return Split::kWhole;
    return std::nullopt;
}

std::vector<std::string> split_updates(std::string_view input, Split how) {
    if (how == Split::kWhole) return {std::string(input)};
    std::vector<std::string> updates;
    std::string record;
    while (!input.empty()) {
        size_t end = input.find('\n');
        std::string_view line = input.substr(0, end);
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
        std::string_view content = line;
        if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
        if (how == Split::kLine) {
            if (!content.empty()) updates.emplace_back(content);
        } else if (content.empty()) {
            if (!record.empty()) updates.push_back(std::move(record));
            record.clear();
        } else {
            record.append(line).push_back('\n');
        }
    }
    if (!record.empty()) updates.push_back(std::move(record));
    return updates;
}

}  // namespace replhost
