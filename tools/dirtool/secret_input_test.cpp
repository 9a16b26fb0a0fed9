#include "secret_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dirtool {
namespace {

TEST(SecretInput, BlanksEveryFormOfThePasswordOptionOnly) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> shown;
    } cases[] = {
        {{"-w", "s3cret", "changed"}, {"-w", "xxxxxx", "changed"}},
        {{"-ws3cret"}, {"-wxxxxxx"}},
        {{"--password", "pw", "--password=pw"}, {"--password", "xx", "--password=xx"}},
        {{"-D", "cn=w", "-y", "file"}, {"-D", "cn=w", "-y", "file"}},
        // After "--" everything is an operand.
        {{"--", "-w", "value"}, {"--", "-w", "value"}},
        {{"-w"}, {"-w"}},
    };
    for (Case& c : cases) {
        std::vector<char*> argv{const_cast<char*>("dirtool")};
        for (std::string& arg : c.args)
            argv.push_back(arg.data());
        hide_password_arguments(static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(c.args, c.shown);
    }
}

}  // namespace
}  // namespace dirtool
