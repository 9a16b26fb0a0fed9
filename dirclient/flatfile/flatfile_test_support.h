#ifndef DIRCLIENT_FLATFILE_TEST_SUPPORT_H
#define DIRCLIENT_FLATFILE_TEST_SUPPORT_H

// Shared helpers of the flat-file tests: a private folder per test, store files, entries
// built from short descriptions and compact text forms of what comes back.

#include "attribute.h"
#include "attribute_set.h"
#include "dentry.h"
#include "dexception.h"
#include "dlist.h"
#include "entry_test_support.h"
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

using entrytest::dnsOf;
using entrytest::makeEntry;
using entrytest::Values;
using entrytest::writeText;

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

// Every value of an attribute with its type: "int 42|binary a\0b|string (null)|bool 1".
inline std::string typedValues(Attribute* attribute) {
    std::string out;
    for (DListItem* v = attribute->getFirstValueItem(); v != nullptr;
         v = attribute->getNextValueItem()) {
        if (!out.empty()) out += "|";
        void* p = v->getValue();
        switch (v->getType()) {
            case DLIST_INT:
                out += "int " + std::to_string(*static_cast<int*>(p));
                break;
            case DLIST_LONG:
                out += "long " + std::to_string(*static_cast<long*>(p));
                break;
            case DLIST_BOOL:
                out += std::string("bool ") + (*static_cast<bool*>(p) ? "1" : "0");
                break;
            case DLIST_STRING:
                out += "string " + std::string(p ? static_cast<char*>(p) : "(null)");
                break;
            case DLIST_BINARY: {
                auto* b = static_cast<Dbinary*>(p);
                out += "binary " + (b->bytes ? std::string(b->bytes, b->length) : "(null)");
                break;
            }
            default:
                out += "type " + std::to_string(v->getType());
        }
    }
    return out;
}

// Checks an exception's codes and releases it.
inline void expectFailure(DException*& e, int errorCode, int ldapCode,
                          const char* detail = nullptr) {
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->getErrorCode(), errorCode);
    EXPECT_EQ(e->getLdapErrorCode(), ldapCode);
    if (detail != nullptr) {
        EXPECT_EQ(entrytest::failureText(*e), detail);
    }
    delete e;
    e = nullptr;
}

// What readOne and searchDns show for a failure: "error <LDAP code>".
inline std::string errorText(int ldapCode) {
    return "error " + std::to_string(ldapCode);
}

// The entry at dn as describe() shows it, or errorText of the failure.
inline std::string readOne(FFConnection& c, const char* dn) {
    DException* e = nullptr;
    DEntry* entry = c.read(dn, &e);
    std::string text = e ? errorText(e->getLdapErrorCode()) : describe(entry);
    delete e;
    delete entry;
    return text;
}

// The DNs found, or {errorText of the failure}.
inline std::vector<std::string> searchDns(FFConnection& c, const char* base, int scope,
                                          const char* filter) {
    DException* e = nullptr;
    SearchResults* found = c.search(base, scope, filter, nullptr, false, &e);
    std::vector<std::string> dns = dnsOf(found);
    if (e != nullptr) dns = {errorText(e->getLdapErrorCode())};
    delete found;
    delete e;
    return dns;
}

// Adds makeEntry(dn, values); returns the failure (the caller releases it) or null.
inline DException* tryAdd(FFConnection& c, const std::string& dn, const Values& values = {}) {
    DEntry* entry = makeEntry(dn, values);
    DException* e = nullptr;
    c.add(entry, &e);
    delete entry;
    return e;
}

inline void addOk(FFConnection& c, const std::string& dn, const Values& values = {}) {
    DException* e = tryAdd(c, dn, values);
    ASSERT_EQ(e, nullptr) << dn << ": " << e->getInfoSMsg() << " " << e->getLdapErrorCode();
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
