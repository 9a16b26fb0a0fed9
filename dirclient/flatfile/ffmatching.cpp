// The LDAP matching mode of the flat-file directory: which mode a connection uses, and
// the filter and value checks of that mode.

#include "ffmatching.h"

#include <strings.h>
#include <cstdlib>
#include <cstring>

#include "attribute.h"
#include "dentry.h"
#include "dlist.h"
#include "ffconnection.h"
#include "ffrecord.h"
#include "object_memory.h"
#include "schema.h"

namespace {

const char kInvalidLdapFilter[] = "ERROR: invalid filter (RFC 4515 syntax expected)";
const char kExtensibleUnsupported[] = "ERROR: extensible match filters are not supported";

// The bytes of a value as the matching rules see them; false when it has none.
bool valueText(DListItem* item, std::string& out) {
    if (item == nullptr || item->getValue() == nullptr) return false;
    if (item->getType() == DLIST_BINARY) {
        auto* binary = static_cast<Dbinary*>(item->getValue());
        if (binary->bytes == nullptr) return false;
        out.assign(binary->bytes, binary->length);
        return true;
    }
    char* text = item->stringValue();
    if (text == nullptr) return false;
    out = text;
    check_free(text);
    return true;
}

}  // namespace

int FFConnection::defaultMatching() {
    const char* chosen = std::getenv("QDX_FLATFILE_MATCH");
    return chosen != nullptr && strcasecmp(chosen, "ldap") == 0 ? FF_MATCH_LDAP : FF_MATCH_DEFAULT;
}

bool FFConnection::setMatching(int mode) {
    if (mode != FF_MATCH_DEFAULT && mode != FF_MATCH_LDAP) return false;
    matching.store(mode, std::memory_order_relaxed);
    return true;
}

namespace ffmatching {

const char* parseFilter(const std::string& text, std::optional<dirschema::LdapFilter>& out) {
    try {
        out.emplace(dirschema::LdapFilter::parse(text, dirschema::Schema::process()));
        return nullptr;
    } catch (const dirschema::FilterError& error) {
        if (std::strstr(error.what(), "not supported") != nullptr) return kExtensibleUnsupported;
        return kInvalidLdapFilter;
    }
}

int findEqual(Attribute* held, DListItem* given) {
    std::string wanted, candidate;
    if (held == nullptr || held->getValues() == nullptr || !valueText(given, wanted)) return -1;
    const dirschema::Schema& schema = dirschema::Schema::process();
    int position = 0;
    for (DListItem* item = held->getValues()->getHead(); item != nullptr;
         item = item->getNextItem(), ++position) {
        if (valueText(item, candidate) &&
            dirschema::equalValues(held->getName(), candidate, wanted, schema)) {
            return position;
        }
    }
    return -1;
}

dirschema::Truth holds(DEntry* entry, const char* attribute, DListItem* given) {
    std::string wanted;
    if (!valueText(given, wanted)) return dirschema::Truth::kFalse;
    try {
        auto filter =
            dirschema::LdapFilter::equality(attribute, wanted, dirschema::Schema::process());
        return filter.evaluate(entry, FFRecord::allEntryValues);
    } catch (const dirschema::FilterError&) {
        return dirschema::Truth::kUndefined;
    }
}

}  // namespace ffmatching
