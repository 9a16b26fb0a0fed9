#ifndef DIRCLIENT_FLATFILE_TEST_SUPPORT_H
#define DIRCLIENT_FLATFILE_TEST_SUPPORT_H

// Shared helpers of the flat-file tests: a private folder per test, store files, entries
// built from short descriptions and compact text forms of what comes back.

#include "attribute.h"
#include "attribute_set.h"
#include "dentry.h"
#include "dexception.h"
#include "dlist.h"
#include "ffconnection.h"
#include "search_results.h"
#include "test_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace fftest {

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

// "dn|name=value|name=value..." with every string value in order.
inline std::string describe(DEntry* entry) {
    if (entry == nullptr) return "(null)";
    std::string out = entry->getDN() ? entry->getDN() : "(no dn)";
    AttributeSet* set = entry->getAttributeSet();
    for (DListItem* a = set && set->getValues() ? set->getValues()->getHead() : nullptr;
         a != nullptr; a = a->getNextItem()) {
        auto* attribute = static_cast<Attribute*>(a->getValue());
        out += "|";
        out += attribute->getName();
        if (attribute->getValues() == nullptr) out += "(no values)";
        for (DListItem* v = attribute->getValues() ? attribute->getValues()->getHead() : nullptr;
             v != nullptr; v = v->getNextItem()) {
            char* text = v->stringValue();
            out += "=";
            out += text ? text : "(none)";
            check_free(text);
        }
    }
    return out;
}

inline std::vector<std::string> dnsOf(SearchResults* results) {
    std::vector<std::string> dns;
    if (results == nullptr) return dns;
    for (DEntry* e = results->first(); e != nullptr; e = results->next()) dns.push_back(e->getDN());
    return dns;
}

// Checks an exception's codes and releases it.
inline void expectFailure(DException*& e, int errorCode, int ldapCode,
                          const char* detail = nullptr) {
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->getErrorCode(), errorCode);
    EXPECT_EQ(e->getLdapErrorCode(), ldapCode);
    if (detail != nullptr) {
        EXPECT_STREQ(e->getInfoSMsg(), detail);
    }
    delete e;
    e = nullptr;
}

inline void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Each test gets a fresh folder as current directory and an unloaded store.
class StoreTest : public ::testing::Test {
protected:
    void TearDown() override { FFConnection::empty(); }

    // Writes the file and connects c to it; the store must load.
    void load(FFConnection& c, const std::string& text, const std::string& name = "dir.ldif") {
        writeText(name, text);
        DException* e = nullptr;
        c.connect(("FILE:///" + name).c_str(), 0, &e);
        ASSERT_EQ(e, nullptr) << "connect failed: " << e->getInfoSMsg() << " "
                              << e->getLdapErrorCode();
    }

    std::string read(const std::string& name) const { return ScopedTestDir::read(name); }

    ScopedTestDir dir_;
};

}  // namespace fftest

#endif
