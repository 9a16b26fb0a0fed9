#ifndef DIRCLIENT_ENTRY_TEST_SUPPORT_H
#define DIRCLIENT_ENTRY_TEST_SUPPORT_H

// Test helpers shared by the suites that store and search entries: entries from short
// descriptions, the DNs of a result, and files written whole.

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "attribute.h"
#include "dentry.h"
#include "dexception.h"
#include "object_memory.h"
#include "search_results.h"

namespace entrytest {

using Values = std::vector<std::pair<std::string, std::string>>;

// A new entry (HEAP) with string values; a name given twice gets both values.
inline DEntry* makeEntry(const std::string& dn, const Values& values = {}) {
    auto* entry = new (HEAP) DEntry(dn.c_str());
    for (const auto& [name, value] : values) {
        Attribute* attribute = entry->getAttribute(name.c_str());
        if (attribute == nullptr) {
            attribute = new (HEAP) Attribute(name.c_str());
            entry->addAttribute(attribute);
        }
        attribute->addValue(value.c_str());
    }
    return entry;
}

inline std::vector<std::string> dnsOf(SearchResults* results) {
    std::vector<std::string> dns;
    if (results == nullptr) return dns;
    for (DEntry* e = results->first(); e != nullptr; e = results->next())
        dns.push_back(e->getDN());
    return dns;
}

inline void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// A failure's detail text followed by the reason it carries as its diagnostic message
// ("classic text: reason"), or the reason alone when there is no detail text.
inline std::string failureText(const DException& e) {
    std::string detail = e.getInfoSMsg();
    std::string reason = e.getDiagnosticMessage();
    if (reason.empty()) return detail;
    return detail.empty() ? reason : detail + ": " + reason;
}

}  // namespace entrytest

#endif
