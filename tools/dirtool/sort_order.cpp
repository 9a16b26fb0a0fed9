#include "sort_order.h"

#include <strings.h>

#include <dirclient/dlist.h>
#include <dirclient/entry_comparator.h>
#include "ldif_reader.h"

namespace dirtool {

std::vector<SortKey> parse_sort_order(std::string_view text) {
    std::vector<SortKey> keys;
    bool by_dn = false;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        std::string_view item = text.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        SortKey key;
        std::string_view name = item;
        if (size_t colon = item.find(':'); colon != std::string_view::npos) {
            name = item.substr(0, colon);
            std::string direction(item.substr(colon + 1));
            if (strcasecmp(direction.c_str(), "desc") == 0) {
                key.ascending = false;
            } else if (strcasecmp(direction.c_str(), "asc") != 0) {
                throw SortOrderError("unknown sort direction \"" + direction + "\" (asc or desc)");
            }
        }
        if (name.empty()) throw SortOrderError("empty sort key in \"" + std::string(text) + "\"");
        key.attribute = std::string(name);
        if (strcasecmp(key.attribute.c_str(), "dn") == 0) {
            by_dn = true;
        } else if (!is_attribute_name(key.attribute)) {
            throw SortOrderError("invalid sort attribute \"" + key.attribute + "\"");
        }
        keys.push_back(std::move(key));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (by_dn && keys.size() > 1)
        throw SortOrderError("sort by dn alone or by attributes, not both");
    return keys;
}

CompareAttrNames* make_comparator(const std::vector<SortKey>& keys) {
    if (keys.size() == 1) {
        const SortKey& key = keys.front();
        // The empty name orders by normalised DN.
        const char* name =
            strcasecmp(key.attribute.c_str(), "dn") == 0 ? "" : key.attribute.c_str();
        return new CompareAttrNames(name, key.ascending);
    }
    DList* names = new (HEAP) DList();
    DList* orders = new (HEAP) DList();
    for (const SortKey& key : keys) {
        names->append(const_cast<char*>(key.attribute.c_str()), DLIST_STRING, true);
        bool ascending = key.ascending;
        orders->append(&ascending, DLIST_BOOL, true);
    }
    return new CompareAttrNames(names, orders, nullptr);
}

}  // namespace dirtool
