// A small host that loads libb64value with dlopen and calls it through dlsym, as the
// directory server does.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using SizeFn = size_t (*)(size_t);
using EncodeFn = char* (*)(char*, const char*, int);
using DecodeFn = int (*)(char*, int*);

class B64Value : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        handle_ = dlopen(B64VALUE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        size_ = reinterpret_cast<SizeFn>(dlsym(handle_, "qdx_b64_value_size"));
        encode_ = reinterpret_cast<EncodeFn>(dlsym(handle_, "qdx_enc_b64_value"));
        decode_ = reinterpret_cast<DecodeFn>(dlsym(handle_, "qdx_dec_b64_value"));
        ASSERT_TRUE(size_ && encode_ && decode_);
    }
    static void TearDownTestSuite() {
        if (handle_) dlclose(handle_);
    }

    // Encodes into a buffer of exactly the announced size, guarded by canaries.
    static std::string encode(const std::string& data) {
        size_t need = size_(data.size());
        std::vector<char> buf(need + 2, '#');
        char* end = encode_(buf.data() + 1, data.data(), static_cast<int>(data.size()));
        EXPECT_EQ(end, buf.data() + need) << "the size must be exact";
        EXPECT_EQ(buf.front(), '#');
        EXPECT_EQ(buf.back(), '#');
        return std::string(buf.data() + 1, end);
    }

    struct Decoded {
        int rc;
        std::string bytes;
    };
    static Decoded decode(std::string text) {
        int len = -7;
        // The text sits at the very end of its buffer, so a read past the NUL would be seen
        // by the address sanitizer.
        std::vector<char> buf(text.begin(), text.end());
        buf.push_back('\0');
        int rc = decode_(buf.data(), &len);
        if (rc != 0) {
            EXPECT_EQ(len, -7);
            return {rc, ""};
        }
        EXPECT_EQ(buf[static_cast<size_t>(len)], '\0');
        return {rc, std::string(buf.data(), static_cast<size_t>(len))};
    }

    static void* handle_;
    static SizeFn size_;
    static EncodeFn encode_;
    static DecodeFn decode_;
};

void* B64Value::handle_ = nullptr;
SizeFn B64Value::size_ = nullptr;
EncodeFn B64Value::encode_ = nullptr;
DecodeFn B64Value::decode_ = nullptr;

TEST_F(B64Value, EncodesAndFoldsAfter77Characters) {
    EXPECT_EQ(encode("abc"), "YWJj");
    EXPECT_EQ(encode("ab"), "YWI=");
    EXPECT_EQ(encode("a"), "YQ==");
    EXPECT_EQ(encode(""), "");
    std::string text = encode(std::string(58, 'z'));
    ASSERT_EQ(text.size(), 82u);
    EXPECT_EQ(text.find('\n'), 77u);
    EXPECT_EQ(text.substr(77, 2), "\n ");
    // the padding of the last group lands after the fold, which stays as it is
    EXPECT_EQ(text.substr(76), "e\n g==");
    text = encode(std::string(300, '\xff'));
    size_t start = 0, line = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1, ++line)
        EXPECT_EQ(nl - start, 77u) << line;  // 77 characters, then a space and 76
}

TEST_F(B64Value, DecodeTable) {
    struct Row {
        const char* text;
        int rc;
        std::string bytes;
    };
    const Row rows[] = {
        {"YWJj", 0, "abc"}, {"YQ==", 0, "a"},          {"YWI=", 0, "ab"},
        {"", 0, ""},        {"YWJjYWJj", 0, "abcabc"}, {"AA==", 0, std::string(1, '\0')},
        {"Y!Jj", -1, ""},   {"YWJ!", -1, ""},          {"=WJj", -1, ""},
        {"YWJjZ", -1, ""},  {"YWJjZA", -1, ""},        {"YWJjZA=", -1, ""},
        {"YW\nJj", -1, ""}, {"YWJj\n YQ==", -1, ""},   {"YW\xC3\x89", -1, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        Decoded d = decode(r.text);
        EXPECT_EQ(d.rc, r.rc);
        EXPECT_EQ(d.bytes, r.bytes);
    }
}

// Every length up to a few lines: encode() checks that the announced size is exact.
TEST_F(B64Value, RoundTripsUnfoldedTextOfEveryLength) {
    for (size_t n = 0; n < 400; ++n) {
        SCOPED_TRACE(n);
        std::string data;
        for (size_t i = 0; i < n; ++i)
            data += static_cast<char>(i * 37 + n);
        std::string unfolded;
        for (char c : encode(data))
            if (c != '\n' && c != ' ') unfolded += c;
        Decoded d = decode(unfolded);
        EXPECT_EQ(d.rc, 0);
        EXPECT_EQ(d.bytes, data);
    }
}

TEST_F(B64Value, ExportsExactlyItsEntryPoints) {
    std::string command = std::string("nm -D --defined-only '") + B64VALUE_LIBRARY + "'";
    FILE* nm = popen(command.c_str(), "r");
    ASSERT_NE(nm, nullptr);
    std::set<std::string> names;
    char line[512];
    while (fgets(line, sizeof line, nm)) {
        std::istringstream fields(line);
        std::string address, kind, name;
        fields >> address >> kind >> name;
        names.insert(name);
    }
    ASSERT_EQ(pclose(nm), 0);
    EXPECT_EQ(names, (std::set<std::string>{"qdx_b64_value_size", "qdx_enc_b64_value",
                                            "qdx_dec_b64_value"}));
}

}  // namespace
