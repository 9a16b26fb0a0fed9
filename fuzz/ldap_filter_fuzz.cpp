// The first line is an RFC 4515 filter, the rest "name: value" lines of an entry. Parsing
// either refuses the text with a FilterError or gives a filter whose evaluation finishes
// with one of the three truth values, the same each time.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "entry_pairs.h"
#include "ldap_filter.h"
#include "schema.h"

namespace {

const dirschema::Schema& schema() {
    return dirschema::Schema::builtin();
}

using Entry = dirschema::EntryPairs;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t newline = input.find('\n');
    std::string filterText = input.substr(0, newline);
    Entry entry;
    for (std::size_t start = newline; start != std::string::npos && start < input.size();) {
        std::size_t end = input.find('\n', start + 1);
        std::string line =
            input.substr(start + 1, end == std::string::npos ? end : end - start - 1);
        std::size_t colon = line.find(':');
        if (colon != std::string::npos)
            entry.emplace_back(line.substr(0, colon), line.substr(colon + 1));
        start = end;
    }
    try {
        auto filter = dirschema::LdapFilter::parse(filterText, schema());
        dirschema::Truth first = filter.evaluate(&entry, dirschema::entryPairValues);
        if (filter.evaluate(&entry, dirschema::entryPairValues) != first) abort();
    } catch (const dirschema::FilterError&) {
    }
    return 0;
}
