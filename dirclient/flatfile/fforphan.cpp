#include "fforphan.h"

#include <unordered_set>

#include "ffdn.h"
#include "ffrecord.h"

namespace {

std::string folded(const char* dn) {
    std::string key(dn);
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return key;
}

}  // namespace

FFRecord* ffFirstOrphan(const std::vector<FFRecord*>& waiting, std::string* missing) {
    std::unordered_set<std::string> names;
    for (FFRecord* record : waiting) {
        if (record != nullptr) names.insert(folded(record->dn()));
    }
    for (FFRecord* record : waiting) {
        if (record == nullptr) continue;
        const char* parent = ffdn::parentOf(record->dn());
        if (parent != nullptr && names.count(folded(parent)) != 0) continue;
        *missing = parent != nullptr ? parent : "";
        return record;
    }
    return nullptr;
}
