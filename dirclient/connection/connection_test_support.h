#ifndef DIRCLIENT_CONNECTION_TEST_SUPPORT_H
#define DIRCLIENT_CONNECTION_TEST_SUPPORT_H

// Shared helpers of the DConnection tests: entries from short descriptions, compact text
// forms of what comes back, and checks of reported failures.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include <fstream>

#include "dconnection.h"
#include "entry_test_support.h"
#include "ffconnection.h"
#include "object_memory.h"
#include "test_dir.h"

namespace conntest {

using entrytest::dnsOf;
using entrytest::makeEntry;
using entrytest::Values;
using entrytest::writeText;

// The text, released through the connection.
inline std::string taken(DConnection& c, char* text) {
    std::string value = text != nullptr ? text : "(null)";
    c.freeString(text);
    return value;
}

// Every value of the attribute as text, in order, joined by ','.
inline std::string valuesOf(DEntry* entry, const char* name) {
    Attribute* attribute = entry != nullptr ? entry->getAttribute(name) : nullptr;
    if (attribute == nullptr) return "(none)";
    std::string out;
    DList* values = attribute->getValues();
    for (DListItem* v = values ? values->getHead() : nullptr; v != nullptr; v = v->getNextItem()) {
        char* text = v->stringValue();
        out += (out.empty() ? "" : ",") + std::string(text ? text : "?");
        check_free(text);
    }
    return out;
}

// Checks an exception's code and detail text and releases it through the connection.
inline void expectFailure(DConnection& c, DException*& e, int errorCode, const char* detail) {
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->getErrorCode(), errorCode);
    EXPECT_EQ(entrytest::failureText(*e), detail);
    EXPECT_EQ(e->getLdapErrorCode(), 0);
    c.deleteObject(e);
    e = nullptr;
}

// The same for a failure that carries an LDAP result code.
inline void expectLdapFailure(DConnection& c, DException*& e, int errorCode, int ldapCode) {
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->getErrorCode(), errorCode);
    EXPECT_EQ(e->getLdapErrorCode(), ldapCode);
    c.deleteObject(e);
    e = nullptr;
}

#define EXPECT_NO_FAILURE(e)                                                                 \
    do {                                                                                     \
        EXPECT_EQ((e), nullptr) << (e)->getInfoMsg() << " / " << (e)->getInfoSMsg() << " / " \
                                << (e)->getLdapErrorCode();                                  \
        delete (e);                                                                          \
        (e) = nullptr;                                                                       \
    } while (0)

// A small tree: o=x with ou=a (cn=1, cn=2) and ou=b.
inline const char* const kTree =
    "dn: o=x\nobjectclass: organization\no: x\n\n"
    "dn: ou=a,o=x\nobjectclass: organizationalUnit\nou: a\n\n"
    "dn: cn=1,ou=a,o=x\nobjectclass: person\ncn: 1\nsn: one\n\n"
    "dn: cn=2,ou=a,o=x\nobjectclass: person\ncn: 2\nsn: two\n\n"
    "dn: ou=b,o=x\nobjectclass: organizationalUnit\nou: b\n\n";

// Each test in a fresh current folder holding "dir.ldif", with the process's flat-file
// store unloaded afterwards.
class FlatFileTest : public ::testing::Test {
  protected:
    FlatFileTest() { writeText("dir.ldif", kTree); }
    ~FlatFileTest() override { FFConnection::empty(); }

    void open(DConnection& c) {
        DException* e = nullptr;
        c.connect("FILE:///dir.ldif", 0, &e);
        ASSERT_EQ(e, nullptr) << e->getInfoSMsg() << " " << e->getLdapErrorCode();
    }

    std::string file() const { return ScopedTestDir::read("dir.ldif"); }

    ScopedTestDir dir_;
};

}  // namespace conntest

#endif
