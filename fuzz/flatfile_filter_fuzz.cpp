// The first line is a filter, the rest "name: value" lines of an entry. A filter that
// parses must print as text that parses to the same text; evaluation and the matcher
// must finish on anything.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <dirclient/attribute.h>
#include <dirclient/dentry.h>
#include <dirclient/dfilter.h>
#include <dirclient/object_memory.h>

namespace {

std::string printed(DFilter* filter) {
    char* text = filter->ToString();
    std::string out = text;
    check_free(text);
    return out;
}

DEntry* entryFrom(const std::string& text) {
    auto* entry = new (HEAP) DEntry("cn=fuzz");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        std::string value = line.substr(colon + 1);
        if (!value.empty() && value[0] == ' ') value.erase(0, 1);
        Attribute* attribute = entry->getAttribute(name.c_str());
        if (attribute == nullptr) {
            attribute = new (HEAP) Attribute(name.c_str());
            if (!entry->addAttribute(attribute)) {
                delete attribute;
                continue;
            }
        }
        attribute->addValue(value.c_str());
    }
    return entry;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    input = input.c_str();  // the filter text ends at the first NUL, like any C text
    size_t newline = input.find('\n');
    std::string filterText = input.substr(0, newline);
    std::string rest = newline == std::string::npos ? "" : input.substr(newline + 1);

    std::unique_ptr<DEntry> entry(entryFrom(rest));
    std::unique_ptr<DFilter> filter(DFilter::unparseFilter(filterText.c_str()));
    if (filter != nullptr) {
        std::string once = printed(filter.get());
        std::unique_ptr<DFilter> again(DFilter::unparseFilter(once.c_str()));
        if (again == nullptr || printed(again.get()) != once) abort();
        bool first = filter->evalEntry(entry.get());
        if (again->evalEntry(entry.get()) != first) abort();
    }
    // The matcher on its own, with the filter text as pattern and each line as value.
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('\n', start);
        if (end == std::string::npos) end = rest.size();
        std::string value = rest.substr(start, end - start);
        int result = match(value.c_str(), filterText.c_str());
        if (result != 0 && result != 1) abort();
        start = end + 1;
    }
    return 0;
}
