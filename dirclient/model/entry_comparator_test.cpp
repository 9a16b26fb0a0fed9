#include "entry_comparator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "search_results.h"
#include "tests/support/bubble_sort_reference.h"

namespace {

using dirclient_test::bubble_sort_reference;
using Order = std::vector<std::string>;

DEntry* entry(const char* dn, const char* cn = nullptr, const char* sn = nullptr) {
    DEntry* e = new (HEAP) DEntry(dn);
    if (cn != nullptr) e->addAttribute(new (HEAP) Attribute("cn", cn));
    if (sn != nullptr) e->addAttribute(new (HEAP) Attribute("sn", sn));
    return e;
}

struct EntryDeleter {
    void operator()(DEntry* e) const { delete e; }
};
using EntryPtr = std::unique_ptr<DEntry, EntryDeleter>;

DList* names(std::initializer_list<const char*> list) {
    DList* out = new (HEAP) DList();
    for (const char* name : list)
        out->append(const_cast<char*>(name), DLIST_STRING, true);
    return out;
}

DList* flags(std::initializer_list<bool> list) {
    DList* out = new (HEAP) DList();
    for (bool flag : list)
        out->append(&flag, DLIST_BOOL, true);
    return out;
}

// DNs of the elements in list order; exceptions show as "!".
Order order_of(SearchResults& results) {
    Order out;
    for (DListItem* item = results.getValues()->getHead(); item != nullptr;
         item = item->getNextItem()) {
        auto* element = static_cast<DElement*>(item->getValue());
        out.emplace_back(
            element->getType() == DELEMENT_ENTRY ? static_cast<DEntry*>(element)->getDN() : "!");
    }
    return out;
}

void fill(SearchResults& results, const std::vector<DElement*>& elements) {
    for (DElement* e : elements) {
        if (e->getType() == DELEMENT_ENTRY)
            results.addEntry(static_cast<DEntry*>(e));
        else
            results.addException(static_cast<DException*>(e));
    }
}

Order sorted(const std::vector<DElement*>& elements, EntryComparator* comparator) {
    SearchResults results;
    fill(results, elements);
    results.sort(comparator);
    EXPECT_EQ(results.getValues()->getCursor(), results.getValues()->getTail());
    return order_of(results);
}

// A class derived from CompareAttrNames is asked through its own isGreater.
class ReversedNames : public CompareAttrNames {
  public:
    using CompareAttrNames::CompareAttrNames;
    bool isGreater(DEntry* a, DEntry* b, bool ifEqual) override {
        return CompareAttrNames::isGreater(b, a, ifEqual);
    }
};

TEST(SearchResultsSort, OrdersByTheComparator) {
    CompareAttrNames up("cn"), down("cn", false);
    CompareAttrNames mixed(names({"sn", "cn"}), flags({true, false}), nullptr);
    CompareAttrNames plain(names({"sn", "cn"}));  // without directions: ascending
    CompareAttrNames short_flags(names({"sn", "cn"}), flags({true}), nullptr);
    short_flags.setOrder(false);  // for the names beyond the last direction
    ReversedNames reversed("cn");
    struct Row {
        EntryComparator* comparator;
        std::vector<DElement*> elements;
        Order expected;
    };
    const Row rows[] = {
        {&up, {entry("1", "b"), entry("2", "a"), entry("3", "c")}, {"2", "1", "3"}},
        {&down, {entry("1", "b"), entry("2", "a"), entry("3", "c")}, {"3", "1", "2"}},
        {&reversed, {entry("1", "b"), entry("2", "a"), entry("3", "c")}, {"3", "1", "2"}},
        // Equal entries keep their order; values differing only in case are equal.
        {&up, {entry("1", "x"), entry("2", "X"), entry("3", "x")}, {"1", "2", "3"}},
        {&up,
         {entry("1", "b"), entry("2", "a"), entry("3", "B"), entry("4", "A")},
         {"2", "4", "1", "3"}},
        // Entries without the attribute come first ascending, last descending.
        {&up, {entry("1", "b"), entry("2"), entry("3", "a"), entry("4")}, {"2", "4", "3", "1"}},
        {&down, {entry("1", "b"), entry("2"), entry("3", "a"), entry("4")}, {"1", "3", "2", "4"}},
        {&mixed,
         {entry("1", "a", "y"), entry("2", "b", "x"), entry("3", "c", "y"), entry("4", "a", "x")},
         {"2", "4", "3", "1"}},
        // A missing first name falls to the next.
        {&plain,
         {entry("1", "b", "y"), entry("2", "b"), entry("3", "a"), entry("4", "a", "y")},
         {"3", "2", "4", "1"}},
        {&short_flags,
         {entry("1", "a", "x"), entry("2", "b", "x"), entry("3", "c", "w")},
         {"3", "2", "1"}},
        // Exceptions keep their places.
        {&up,
         {new DException(609), entry("c", "c"), new DException(609), new DException(609),
          entry("a", "a"), entry("b", "b"), new DException(609)},
         {"!", "a", "!", "!", "b", "c", "!"}},
        {&up, {entry("only", "z")}, {"only"}},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(sorted(rows[i].elements, rows[i].comparator), rows[i].expected);
    }
    SearchResults empty;
    empty.sort(&up);
    EXPECT_EQ(empty.size(), 0);
}

TEST(CompareAttrNames, EmptyNameOrdersByNormalisedDnIgnoringCase) {
    CompareAttrNames by_dn("");
    EXPECT_EQ(sorted({entry("cn=b,o=x"), entry(" CN = a , o = x"), entry("cn=B,o=x")}, &by_dn),
              (Order{" CN = a , o = x", "cn=b,o=x", "cn=B,o=x"}));
    EntryPtr a(entry("cn=a")), same(entry(" CN = A ")), b(entry("cn=b")), none(entry(nullptr));
    EXPECT_FALSE(by_dn.isGreater(a.get(), same.get(), true));  // equal DNs: never greater
    EXPECT_TRUE(by_dn.isGreater(b.get(), a.get(), false));
    EXPECT_TRUE(by_dn.isGreater(a.get(), none.get(), false));  // no DN sorts first
    EXPECT_FALSE(by_dn.isGreater(none.get(), none.get(), true));
    by_dn.setOrder(false);
    EXPECT_TRUE(by_dn.isGreater(a.get(), b.get(), false));
    EXPECT_TRUE(by_dn.isGreater(none.get(), a.get(), false));
}

TEST(CompareAttrNames, NullEntries) {
    EntryPtr a(entry("1", "a"));
    CompareAttrNames up("cn");
    EXPECT_TRUE(up.isGreater(nullptr, nullptr, true));
    EXPECT_FALSE(up.isGreater(nullptr, nullptr, false));
    EXPECT_TRUE(up.isGreater(a.get(), nullptr, false));
    EXPECT_FALSE(up.isGreater(nullptr, a.get(), false));
    CompareAttrNames listed(names({"cn"}), flags({false}), nullptr);
    EXPECT_FALSE(listed.isGreater(a.get(), nullptr, false));  // the first flag decides
    CompareAttrNames empty(static_cast<DList*>(nullptr));
    EXPECT_TRUE(empty.isGreater(a.get(), a.get()));  // no names: ifEqual, true by default
}

TEST(CompareAttrNames, ListSizeMismatchIsReportedOnlyWhenAsked) {
    DException* exc = nullptr;
    CompareAttrNames mismatch(names({"a", "b"}), flags({true, true, false}), &exc);
    ASSERT_NE(exc, nullptr);
    EXPECT_EQ(exc->getErrorCode(), 612);
    EXPECT_STREQ(exc->getInfoMsg(), "ERROR: can not construct a CompareAttrNames object");
    EXPECT_STREQ(exc->getInfoSMsg(), "ERROR: different size lists");
    delete exc;
    exc = new DException();  // overwritten with null: keep a pointer to release it
    DException* previous = exc;
    CompareAttrNames matching(names({"a"}), flags({true}), &exc);
    EXPECT_EQ(exc, nullptr);
    delete previous;
    CompareAttrNames unchecked(names({"a"}), flags({true, false}), nullptr);
    EXPECT_EQ(unchecked.getOrderList()->getSize(), 2);
}

// Counts the comparisons and forwards to CompareAttrNames: the sort must work with any
// comparator an application derives.
class CountingComparator : public EntryComparator {
  public:
    explicit CountingComparator(EntryComparator* inner) : inner_(inner) {}
    bool isGreater(DEntry* a, DEntry* b) override { return isGreater(a, b, true); }
    char* ToString() override { return inner_->ToString(); }
    bool isGreater(DEntry* a, DEntry* b, bool ifEqual) override {
        ++count;
        return inner_->isGreater(a, b, ifEqual);
    }
    long count = 0;

  private:
    EntryComparator* inner_;
};

// Short texts, and long ones that share their first 16 bytes or differ only in case.
const char* const kTexts[] = {"b",
                              "A",
                              "a",
                              "Same-Sixteen-Byt",
                              "same-sixteen-byte-prefix-2",
                              "Same-Sixteen-Byte-Prefix-1",
                              "SAME-SIXTEEN-BYTE-PREFIX-2"};

// Random results with many ties, entries lacking attributes and exceptions between them.
// With valueless set, some cn attributes have no value: such an attribute compares equal to
// every other, which makes the comparator inconsistent.
std::vector<DElement*> random_elements(std::mt19937& random, int count, bool valueless = false) {
    std::uniform_int_distribution<int> value(0, 6), kind(0, 9);
    std::vector<DElement*> out;
    for (int i = 0; i < count; ++i) {
        const int k = kind(random);
        if (k == 0) {
            out.push_back(new DException(609));
            continue;
        }
        const std::string dn = "cn=" + std::to_string(value(random)) + ",o=" + std::to_string(i);
        DEntry* e = new (HEAP) DEntry(dn.c_str());
        // Some entries lack cn or sn or every attribute, or have another attribute first.
        if (k == 4) e->addAttribute(new (HEAP) Attribute("mail", "x@y"));
        const bool empty_cn = valueless && k == 5;
        if (empty_cn) e->addAttribute(new (HEAP) Attribute("cn"));
        if (k != 1 && k != 3 && !empty_cn)
            e->addAttribute(new (HEAP) Attribute("cn", kTexts[value(random)]));
        if (k != 2 && k != 3) e->addAttribute(new (HEAP) Attribute("sn", value(random)));
        out.push_back(e);
    }
    return out;
}

TEST(SearchResultsSort, GivesTheReferenceOrderForConsistentComparators) {
    std::vector<std::unique_ptr<EntryComparator>> comparators;
    comparators.emplace_back(new CompareAttrNames("cn"));
    comparators.emplace_back(new CompareAttrNames("CN", false));
    comparators.emplace_back(new CompareAttrNames("sn", false));
    comparators.emplace_back(new CompareAttrNames(""));
    comparators.emplace_back(
        new CompareAttrNames(names({"cn", "sn"}), flags({false, true}), nullptr));
    comparators.emplace_back(new CompareAttrNames(names({"sn", "cn"})));
    std::mt19937 random(7);
    for (std::size_t c = 0; c < comparators.size(); ++c) {
        for (int round = 0; round < 40; ++round) {
            SCOPED_TRACE(testing::Message() << "comparator " << c << " round " << round);
            // Every fourth round is inconsistent: the reference order is then undefined, but
            // keys and virtual calls must still agree.
            const bool valueless = round % 4 == 3;
            const int count = 1 + round * 3;
            std::mt19937 copy1 = random, copy2 = random;
            SearchResults keyed, asked, reference;
            fill(keyed, random_elements(random, count, valueless));
            fill(asked, random_elements(copy1, count, valueless));
            fill(reference, random_elements(copy2, count, valueless));
            keyed.sort(comparators[c].get());
            CountingComparator through_virtuals(comparators[c].get());
            asked.sort(&through_virtuals);
            ASSERT_EQ(order_of(keyed), order_of(asked));
            if (valueless) continue;
            bubble_sort_reference(&reference, comparators[c].get());
            ASSERT_EQ(order_of(keyed), order_of(reference));
        }
    }
}

TEST(SearchResultsSort, NeedsOnlyNLogNComparisons) {
    std::mt19937 random(11);
    CompareAttrNames by_sn("sn");
    CountingComparator counting(&by_sn);
    SearchResults results;
    const int n = 3000;
    fill(results, random_elements(random, n));
    results.sort(&counting);
    EXPECT_LE(counting.count, static_cast<long>(n * std::ceil(std::log2(n))));
    counting.count = 0;
    results.sort(&counting);  // already in order: one pass of checks
    EXPECT_LT(counting.count, n);
}

// An inconsistent comparator must not break the list: every element stays exactly once.
class CoinComparator : public EntryComparator {
  public:
    bool isGreater(DEntry* a, DEntry* b) override { return isGreater(a, b, true); }
    char* ToString() override { return nullptr; }
    bool isGreater(DEntry*, DEntry*, bool) override { return random_() % 2 == 0; }

  private:
    std::mt19937 random_{3};
};

TEST(SearchResultsSort, SurvivesAnInconsistentComparator) {
    std::mt19937 random(5);
    SearchResults results;
    fill(results, random_elements(random, 500));
    Order before = order_of(results);
    CoinComparator coin;
    results.sort(&coin);
    Order after = order_of(results);
    for (std::size_t i = 0; i < before.size(); ++i)
        if (before[i] == "!") {
            EXPECT_EQ(after[i], "!");
        }
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(before, after);
    EXPECT_EQ(results.size(), 500);
}

}  // namespace
