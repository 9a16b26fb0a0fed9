#include "filter_limits.h"

#include <gtest/gtest.h>

#include <string>

#include "response_timeout.h"

namespace dirclient::ldapaccess {
namespace {

std::string repeated(const std::string& text, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i)
        out += text;
    return out;
}

std::string nested(size_t depth) {
    return repeated("(", depth) + "cn=a" + repeated(")", depth);
}

TEST(FilterLimits, RefusesDeepOrHugeFiltersOnly) {
    struct Case {
        std::string filter;
        bool allowed;
    } cases[] = {
        {"(cn=a)", true},
        {"cn=a", true},
        {nested(kMaxFilterDepth), true},
        {nested(kMaxFilterDepth + 1), false},
        {nested(100000), false},
        // Siblings do not nest: a long flat filter is one level deep.
        {"(|" + repeated("(cn=x)", 2000) + ")", true},
        // Escaped parentheses are bytes of a value.
        {"(cn=" + repeated("\\28", 2000) + ")", true},
        {"(cn=" + std::string(kMaxFilterBytes, 'a') + ")", false},
        {"))))(cn=a)", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(filter_within_limits(c.filter.c_str()), c.allowed) << c.filter.substr(0, 40);
    EXPECT_TRUE(filter_within_limits(nullptr));
}

TEST(ResponseTimeoutText, OnlyPositiveNumbersBelowADayCount) {
    struct Case {
        const char* text;
        std::optional<double> seconds;
    } cases[] = {
        {"30", 30.0},          {"0.5", 0.5},       {"0", std::nullopt},     {"-3", std::nullopt},
        {"5s", std::nullopt},  {"", std::nullopt}, {"86400", std::nullopt}, {nullptr, std::nullopt},
        {"nan", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parse_seconds(c.text), c.seconds) << (c.text ? c.text : "null");
}

}  // namespace
}  // namespace dirclient::ldapaccess
