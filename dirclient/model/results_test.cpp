#include "results.h"

#include <gtest/gtest.h>

#include "ldap_result_codes.h"
#include "search_results.h"

namespace {

TEST(DException, ConstructorsStoreWhatTheyAreGiven) {
    const char* info = "ERROR: can not read";
    const char* why = "ERROR: no open connection";
    struct Row {
        DException e;
        const char* info;
        const char* sinfo;
        int code;
        int ldap;
    } rows[] = {
        {DException(), nullptr, nullptr, 0, 0},
        {DException(info), info, nullptr, 0, 0},
        {DException(info, 610, why), info, why, 610, 0},
        {DException(info, DEXC_READ, QDX_LDAP_NO_SUCH_OBJECT), info, nullptr, 610, 32},
        {DException(info, 610, why, "ignored"), info, why, 610, 0},
        {DException(604), nullptr, nullptr, 604, 0},
        {DException(604, info), info, nullptr, 604, 0},
        {DException(1, info, 605, why), info, why, 605, 0},
        {DException(1, info, 605, why, "ignored"), info, why, 605, 0},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        const DException& e = rows[i].e;
        EXPECT_EQ(e.getType(), DELEMENT_EXCEPTION);
        EXPECT_EQ(e.getErrorMessage(), rows[i].info);
        EXPECT_STREQ(e.getInfoMsg(), rows[i].info != nullptr ? rows[i].info : "");
        EXPECT_STREQ(e.getInfoSMsg(), rows[i].sinfo != nullptr ? rows[i].sinfo : "");
        EXPECT_EQ(e.getErrorCode(), rows[i].code);
        EXPECT_EQ(e.getResultCode(), rows[i].code);
        EXPECT_EQ(e.getLdapErrorCode(), rows[i].ldap);
    }
}

TEST(DException, InfoMessagesOfTheErrorCodes) {
    EXPECT_STREQ(dexception_info_message(DEXC_ADD), "ERROR: can not add entry");
    EXPECT_STREQ(dexception_info_message(612),
                 "ERROR: can not construct a CompareAttrNames object");
    EXPECT_STREQ(dexception_info_message(614), "ERROR: can not remove");
    EXPECT_STREQ(dexception_info_message(616), "ERROR: can not enable the cache");
    EXPECT_EQ(dexception_info_message(600), nullptr);
    EXPECT_EQ(dexception_info_message(617), nullptr);
}

// The matching type clears *exc; any other gives an asynchronous operation error.
TEST(Results, EachOperationExpectsItsOwnType) {
    struct Row {
        int type;
        int code;
        const char* info;
        void (Results::*get)(DException**);
    } rows[] = {
        {RES_ADD, 601, "ERROR: can not add entry", &Results::getAddResult},
        {RES_RENAME, 608, "ERROR: can not rename", &Results::getRenameResult},
        {RES_REMOVE, 605, "ERROR: can not remove", &Results::getRemoveResult},
        {RES_AUTHENTICATE, 602, "ERROR: can not authenticate", &Results::getAuthenticateResult},
        {RES_MODIFY, 607, "ERROR: can not modify", &Results::getModifyResult},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        Results r;
        r.setType(rows[i].type);
        DException sentinel;
        DException* exc = &sentinel;
        (r.*rows[i].get)(&exc);
        EXPECT_EQ(exc, nullptr);
        r.setType(RES_SEARCH);
        (r.*rows[i].get)(&exc);
        ASSERT_NE(exc, nullptr);
        EXPECT_EQ(exc->getErrorCode(), rows[i].code);
        EXPECT_STREQ(exc->getInfoMsg(), rows[i].info);
        EXPECT_STREQ(exc->getInfoSMsg(), "ERROR: asynchronous operation error");
        delete exc;
        (r.*rows[i].get)(nullptr);  // nothing to report to
    }
}

TEST(Results, StoredExceptionIsHandedOutInsteadOfTheResult) {
    Results* r = new Results();
    r->setType(RES_SEARCH);
    r->setSearchResult(new SearchResults());
    auto* failure = new DException("ERROR: can not search", DEXC_SEARCH, QDX_LDAP_NO_SUCH_OBJECT);
    r->setException(failure);
    DException* exc = nullptr;
    EXPECT_EQ(r->getSearchResult(&exc), nullptr);
    EXPECT_EQ(exc, failure);
    // A second receiver gets its own copy: both are deleted without a double release.
    DException* again = nullptr;
    EXPECT_EQ(r->getSearchResult(&again), nullptr);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, failure);
    EXPECT_EQ(again->getLdapErrorCode(), QDX_LDAP_NO_SUCH_OBJECT);
    delete r;  // the exception is not the Results' to delete
    delete exc;
    delete again;
}

TEST(Results, DeletingTheResultsLeavesAnExceptionNeverHandedOut) {
    auto* r = new Results();
    auto* failure = new DException("ERROR: can not add entry", DEXC_ADD, QDX_LDAP_ALREADY_EXISTS);
    r->setType(RES_ADD);
    r->setException(failure);
    delete r;
    EXPECT_EQ(failure->getLdapErrorCode(),
              QDX_LDAP_ALREADY_EXISTS);  // still alive: ASan would report otherwise
    delete failure;
}

TEST(Results, ResultObjectsStayOwnedByTheResults) {
    Results r;
    r.setType(RES_READ);
    DEntry* entry = new (HEAP) DEntry("cn=x");
    r.setReadResult(entry);
    r.setReadResult(entry);  // the same object is kept, not deleted
    DException* exc = nullptr;
    EXPECT_EQ(r.getReadResult(&exc), entry);
    EXPECT_EQ(exc, nullptr);
    EXPECT_EQ(r.getReadResult(nullptr), entry);
    EXPECT_EQ(r.getSearchResult(&exc), nullptr);
    ASSERT_NE(exc, nullptr);
    EXPECT_EQ(exc->getErrorCode(), 609);
    delete exc;
    r.setReadResult(new (HEAP) DEntry("cn=y"));  // cn=x deleted here
    EXPECT_STREQ(r.getReadResult(nullptr)->getDN(), "cn=y");
}

SearchResults* mixed_results() {
    auto* results = new SearchResults();
    results->addException(new DException("ERROR: can not search", 609, "partial"));
    results->addEntry(new (HEAP) DEntry("cn=a"));
    results->addException(new DException(609));
    results->addEntry(new (HEAP) DEntry("cn=b"));
    return results;
}

TEST(SearchResults, EntryWalkSkipsExceptions) {
    SearchResults* results = mixed_results();
    EXPECT_EQ(results->size(), 4);
    EXPECT_STREQ(results->first()->getDN(), "cn=a");
    EXPECT_STREQ(results->next()->getDN(), "cn=b");
    EXPECT_EQ(results->next(), nullptr);
    EXPECT_EQ(results->firstElement()->getType(), DELEMENT_EXCEPTION);
    EXPECT_EQ(results->getNextElement()->getType(), DELEMENT_ENTRY);
    EXPECT_TRUE(results->hasMoreElements());
    EXPECT_EQ(results->getLastElement()->getType(), DELEMENT_ENTRY);
    EXPECT_FALSE(results->hasMoreElements());
    EXPECT_EQ(results->getPreviousElement()->getType(), DELEMENT_EXCEPTION);
    EXPECT_TRUE(results->hasMoreElements());
    delete results;  // entries and exceptions go with it (leak-checked)

    SearchResults only_exceptions;
    only_exceptions.addException(new DException(609));
    EXPECT_EQ(only_exceptions.first(), nullptr);
    EXPECT_EQ(only_exceptions.next(), nullptr);
}

TEST(SearchResults, EmptyResultsAnswerNothing) {
    SearchResults results;
    EXPECT_EQ(results.size(), 0);
    EXPECT_EQ(results.first(), nullptr);
    EXPECT_EQ(results.next(), nullptr);
    EXPECT_EQ(results.firstElement(), nullptr);
    EXPECT_EQ(results.getFirstElementItem(), nullptr);
    EXPECT_FALSE(results.hasMoreElements());
    EXPECT_FALSE(results.resetToBegin());
    EXPECT_FALSE(results.addEntry(nullptr));
    EXPECT_FALSE(results.addException(nullptr));
    EXPECT_EQ(results.size(), 0);
    results.sort(nullptr);
}

}  // namespace
