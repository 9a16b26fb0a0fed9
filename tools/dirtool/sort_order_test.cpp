#include "sort_order.h"

#include <gtest/gtest.h>

#include <memory>

#include <dirclient/dentry.h>
#include <dirclient/entry_comparator.h>
#include <dirclient/search_results.h>

namespace dirtool {
namespace {

TEST(SortSpec, RejectsMalformedKeys) {
    for (const char* bad :
         {"", ",", "cn,", ",cn", "cn:down", "cn:", ":desc", "c n", "dn,cn", "cn,DN:desc"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(parse_sort_order(bad), SortOrderError);
    }
}

DEntry* person(const char* dn, const char* sn, const char* cn) {
    auto* entry = new DEntry(dn);
    if (sn != nullptr) entry->addAttribute(new Attribute("sn", sn));
    entry->addAttribute(new Attribute("cn", cn));
    return entry;
}

std::string order_of(SearchResults& results) {
    std::string order;
    for (DEntry* e = results.first(); e != nullptr; e = results.next())
        order += static_cast<char*>(e->getAttribute("cn")->getFirstValue());
    return order;
}

TEST(SortSpec, OrdersResultsByAttributesAndByDn) {
    struct {
        const char* text;
        const char* order;
    } cases[] = {
        {"sn:asc,cn", "-abcd"},   // no sn sorts first when ascending
        {"sn,cn:DESC", "-bacd"},  // equal sn: cn descending
        {"sn:desc", "dcab-"},     // equal sn keep their order
        {"dn", "-abcd"},          // normalised, case ignored: "CN = d" is "cn=d"
        {"dn:desc", "dcba-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        SearchResults results;
        results.addEntry(person("cn=c,o=x", "Lee", "c"));
        results.addEntry(person("cn=a,o=x", "Kim", "a"));
        results.addEntry(person("cn=-,o=x", nullptr, "-"));
        results.addEntry(person("CN = d , o=x", "Ng", "d"));
        results.addEntry(person("cn=b,o=x", "kim", "b"));
        auto keys = parse_sort_order(c.text);
        std::unique_ptr<CompareAttrNames> comparator(make_comparator(keys));
        results.sort(comparator.get());
        EXPECT_EQ(order_of(results), c.order);
    }
}

}  // namespace
}  // namespace dirtool
