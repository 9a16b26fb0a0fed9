// The bridge as a host sees it: exports, descriptor, records handed to the messaging
// library, initialisation, and updates through the application's own queue.

#include <arpa/inet.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/support/replbridge_host.h"

namespace {

using repltest::bridge;
using Bytes = std::vector<unsigned char>;

// Builders of the expected bytes of a record, straight from its offsets.
void put_text(Bytes& bytes, size_t offset, const std::string& text) {
    std::copy(text.begin(), text.end(), bytes.begin() + offset);
}
void put_word(Bytes& bytes, size_t offset, int32_t word) {
    std::memcpy(bytes.data() + offset, &word, sizeof word);
}
void put_address(Bytes& bytes, size_t offset, const void* address) {
    std::memcpy(bytes.data() + offset, &address, sizeof address);
}

::testing::AssertionResult same_bytes(const Bytes& actual, const Bytes& expected) {
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure()
               << "record of " << actual.size() << " bytes, expected " << expected.size();
    for (size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i])
            return ::testing::AssertionFailure()
                   << "byte at offset " << i << " is " << int{actual[i]} << ", expected "
                   << int{expected[i]};
    }
    return ::testing::AssertionSuccess();
}

// A zeroed record of "size" bytes beginning with its eye-catcher and version.
Bytes record(size_t size, const std::string& eye_catcher, int32_t version) {
    Bytes bytes(size);
    put_text(bytes, 0, eye_catcher);
    put_word(bytes, 4, version);
    return bytes;
}

Bytes message_record(bool sending, int32_t length, const void* data) {
    Bytes bytes = record(904, "BXMD", 3);
    for (size_t offset = 12; offset <= 36; offset += 4)
        put_word(bytes, offset, -2);
    put_word(bytes, 124, -1);
    if (sending) {
        put_word(bytes, 16, 1);
        put_word(bytes, 92, length);
        put_word(bytes, 100, length);
        put_address(bytes, 104, data);
    }
    return bytes;
}

Bytes service_record(const std::string& name) {
    Bytes bytes = record(144, "BXSV", 1);
    put_text(bytes, 8, name);
    return bytes;
}

Bytes app_def(const std::string& name) {
    Bytes bytes = record(420, "BXAD", 3);
    put_text(bytes, 8, name);
    return bytes;
}

Bytes init_details(const std::string& text) {
    Bytes bytes(1148);
    put_word(bytes, 0, 5);
    put_text(bytes, 4, text);
    return bytes;
}

int32_t recorded_mode() {
    int32_t mode = 0;
    rqcTestLastRecord(RQC_TEST_MODE, &mode, sizeof mode);
    return mode;
}

TEST(ReplBridgeExports, ExportsExactlyTheEntryPointsAndDescriptors) {
    FILE* pipe = popen("nm -D --defined-only -S --format=posix " REPLBRIDGE_PATH, "r");
    ASSERT_NE(pipe, nullptr);
    std::map<std::string, unsigned long> sizes;  // symbol -> size
    char line[512], name[256], kind;
    unsigned long value = 0, size = 0;
    while (std::fgets(line, sizeof line, pipe)) {
        size = 0;
        if (std::sscanf(line, "%255s %c %lx %lx", name, &kind, &value, &size) >= 3)
            sizes[name] = size;
    }
    ASSERT_EQ(pclose(pipe), 0);
    std::vector<std::string> names;
    for (const auto& symbol : sizes) {
        // AddressSanitizer adds an indicator symbol per exported variable.
        if (symbol.first.rfind("__odr_asan", 0) != 0) names.push_back(symbol.first);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"ReplDllDef", "ReplFuncs", "qdxDllEntry",
                                               "velt_initialize", "velt_repl_getupdate",
                                               "velt_repl_sendupdate", "velt_shutdown_interface"}));
    EXPECT_EQ(sizes["ReplDllDef"], 16 + sizeof(void*));
    EXPECT_EQ(sizes["ReplFuncs"], 4 * sizeof(void*));
}

TEST(ReplBridgeDescriptor, HandsOutOneBigEndianDescriptorOfTheEntryPoints) {
    void* plugin = repltest::plugin();
    auto entry = reinterpret_cast<int (*)(const ReplDescriptor**)>(dlsym(plugin, "qdxDllEntry"));
    ASSERT_NE(entry, nullptr);
    const ReplDescriptor* first = nullptr;
    const ReplDescriptor* second = nullptr;
    EXPECT_EQ(entry(&first), 1);
    EXPECT_EQ(entry(&second), 1);
    EXPECT_EQ(entry(nullptr), 0);
    ASSERT_EQ(first, dlsym(plugin, "ReplDllDef"));
    EXPECT_EQ(second, first);

    const auto* bytes = reinterpret_cast<const unsigned char*>(first);
    const unsigned char words[16] = {'X', 'S', 'L', 'D', 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 4};
    EXPECT_EQ(std::memcmp(bytes, words, sizeof words), 0);
    EXPECT_EQ(ntohl(first->version), 1U);
    const void* table = nullptr;
    std::memcpy(&table, bytes + 16, sizeof table);
    ASSERT_EQ(table, dlsym(plugin, "ReplFuncs"));

    const char* names[] = {"velt_initialize", "velt_repl_getupdate", "velt_repl_sendupdate",
                           "velt_shutdown_interface"};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(names[i]);
        void* address = nullptr;
        std::memcpy(&address, static_cast<const char*>(table) + i * sizeof address, sizeof address);
        EXPECT_EQ(address, dlsym(plugin, names[i]));
    }
}

class ReplBridgeInit : public repltest::BridgeTest {};

// A master name, even with a slave name beside it, opens as that master with "REPLY" and
// the suffix; else the slave opens with its text unchanged. Missing texts are empty, and
// names are cut at 132 bytes.
TEST_F(ReplBridgeInit, OpensAsMasterOrSlave) {
    const std::string name(200, 'n');
    const std::string cut = name.substr(0, 132);
    struct Case {
        const char* master;
        const char* slave;
        const char* suffix;
        const char* text;
        std::string application;
        std::string details;
        int32_t mode;
    } cases[] = {
        {"MASTER1", "ignored", "Q1", "ignored", "MASTER1", "REPLYQ1", 0x10003},
        {"M", nullptr, nullptr, nullptr, "M", "REPLY", 0x10003},
        {nullptr, "SLAVE1", "x", "  any text, REPLY or not  ", "SLAVE1",
         "  any text, REPLY or not  ", 0x10001},
        {"", "SLAVE2", "ignored", nullptr, "SLAVE2", "", 0x10001},
        {name.c_str(), nullptr, "", nullptr, cut, "REPLY", 0x10003},
        {nullptr, name.c_str(), nullptr, "", cut, "", 0x10001},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.application);
        rqcTestReset();
        ASSERT_EQ(bridge().initialize(&host_, c.master, c.slave, c.suffix, c.text), 0);
        EXPECT_TRUE(same_bytes(last_record(RQC_TEST_APPDEF), app_def(c.application)));
        EXPECT_TRUE(same_bytes(last_record(RQC_TEST_INITDTL), init_details(c.details)));
        EXPECT_EQ(recorded_mode(), c.mode);
        EXPECT_EQ(trace(), "initialize");
        EXPECT_TRUE(std::filesystem::is_directory(spool_ + "/" + c.application));
        ASSERT_EQ(bridge().shutdown(&host_), 0);
    }
    EXPECT_TRUE(logs().empty());
}

TEST_F(ReplBridgeInit, RefusesTextsBeyondTheirRoom) {
    struct Case {
        bool master;
        size_t length;
        bool fits;
        const char* reason;
    } cases[] = {
        {true, 506, true, nullptr},
        {true, 507, false, "Velt reply suffix of 507 bytes is too long (at most 506)\n"},
        {false, 1143, true, nullptr},
        {false, 1144, false, "Velt slave text of 1144 bytes is too long (at most 1143)\n"},
        {false, 100000, false, "Velt slave text of 100000 bytes is too long (at most 1143)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string text(c.length, 't');
        int result = c.master ? init_master("M", text.c_str()) : init_slave("S", text.c_str());
        if (c.fits) {
            EXPECT_EQ(result, 0);
            std::string expected = (c.master ? "REPLY" : "") + text;
            EXPECT_TRUE(same_bytes(last_record(RQC_TEST_INITDTL), init_details(expected)));
            EXPECT_EQ(bridge().shutdown(&host_), 0);
        } else {
            EXPECT_EQ(result, -1);
            EXPECT_EQ(logs(),
                      (std::vector<std::string>{c.master ? "Velt FAILED to initialize MASTER: M\n"
                                                         : "Velt FAILED to initialize SLAVE: S\n",
                                                c.reason}));
            forget_logs();
        }
    }
    EXPECT_EQ(trace(), "initialize,terminate,initialize,terminate");
}

TEST_F(ReplBridgeInit, RefusesASecondConnectionButKeepsTheFirst) {
    ASSERT_EQ(init_master("M", "Q"), 0);
    EXPECT_EQ(init_slave("S", ""), -1);
    EXPECT_EQ(logs(),
              (std::vector<std::string>{"Velt FAILED to initialize SLAVE: S\n",
                                        "Velt is initialized already; shut it down first\n"}));
    EXPECT_EQ(send("M", "still open"), 1);
    EXPECT_EQ(fetch(), "still open");
}

TEST_F(ReplBridgeInit, RefusesIncompleteHostRecordsWithoutCrashing) {
    ReplHost no_log{repltest::record_allocate, nullptr};
    ReplHost no_allocate{nullptr, repltest::record_log};
    void* data = nullptr;
    char byte = 'x';
    for (ReplHost* host : {static_cast<ReplHost*>(nullptr), &no_log}) {
        EXPECT_EQ(bridge().initialize(host, "M", nullptr, "", nullptr), -1);
        EXPECT_EQ(bridge().getupdate(host, nullptr, &data), 0);
        EXPECT_EQ(bridge().sendupdate(host, "M", "", &byte, 1), -1);
        EXPECT_EQ(bridge().shutdown(host), -1);
    }
    EXPECT_EQ(trace(), "");  // nothing reached the library

    EXPECT_EQ(bridge().initialize(&no_allocate, "M", nullptr, "", nullptr), -1);
    EXPECT_EQ(bridge().getupdate(&no_allocate, nullptr, &data), 0);
    EXPECT_EQ(init_slave(nullptr, "text"), -1);
    EXPECT_EQ(logs(), (std::vector<std::string>{
                          "Velt FAILED to initialize MASTER: M\n",
                          "Velt host record has no allocate function\n",
                          "Velt host record has no allocate function\n",
                          "Velt FAILED to initialize SLAVE: no application name given\n"}));
    EXPECT_TRUE(record_.all_levels_ffff);
}

class ReplBridgeUpdates : public repltest::BridgeTest {
  protected:
    void SetUp() override {
        BridgeTest::SetUp();
        ASSERT_EQ(init_master("HUB", "R"), 0);
        rqcTestReset();
    }
};

TEST_F(ReplBridgeUpdates, SendHandsTheLibraryFreshTemplateRecords) {
    const std::string update = "dn: cn=a\nchangetype: delete\n";
    const int length = static_cast<int>(update.size());
    Bytes put_options = record(380, "BXPO", 3);
    put_word(put_options, 8, 0x200);
    put_word(put_options, 368, 0x00200000);
    for (int round = 0; round < 2; ++round) {  // nothing of the first call survives
        SCOPED_TRACE(round);
        ASSERT_EQ(bridge().sendupdate(&host_, "SLAVE1", "ldap://dir:389/cn=services",
                                      update.data() + round, length - round),
                  1);
        EXPECT_TRUE(same_bytes(last_record(RQC_TEST_PUT_MESSAGE),
                               message_record(true, length - round, update.data() + round)));
        EXPECT_TRUE(same_bytes(last_record(RQC_TEST_PUT_OPTIONS), put_options));
        EXPECT_TRUE(same_bytes(last_record(RQC_TEST_PUT_SERVICE), service_record("SLAVE1")));
        EXPECT_TRUE(same_bytes(last_record(RQC_TEST_LDAP_SERVICE), service_record("SLAVE1")));
        const Bytes address = last_record(RQC_TEST_LDAP_ADDRESS);
        EXPECT_EQ(std::string(address.begin(), address.end()),
                  std::string("ldap://dir:389/cn=services", 27));
    }
    EXPECT_EQ(trace(), "setservice,put,setservice,put");
    EXPECT_EQ(logs(), std::vector<std::string>(
                          2, "Velt PutRequest to: SLAVE1 (ldap://dir:389/cn=services)\n"));
}

TEST_F(ReplBridgeUpdates, FetchHandsTheLibraryFreshTemplateRecords) {
    ASSERT_EQ(send("HUB", "one"), 1);
    ASSERT_EQ(send("HUB", "two"), 1);
    rqcTestReset();
    Bytes get_options = record(376, "BXGO", 3);
    put_word(get_options, 8, 0x100);
    put_word(get_options, 12, -2);
    for (const char* expected : {"one", "two"}) {
        EXPECT_EQ(fetch(), expected);
        EXPECT_TRUE(same_bytes(last_record(RQC_TEST_GET_MESSAGE), message_record(false, 0, 0)));
        EXPECT_TRUE(same_bytes(last_record(RQC_TEST_GET_OPTIONS), get_options));
    }
    EXPECT_EQ(trace(), "get,freebuffer,get,freebuffer");
    EXPECT_EQ(record_.allocations, 2);
}

TEST_F(ReplBridgeUpdates, CarriesUpdatesOfAnySizeInOrder) {
    std::string large(1 << 20, '\0');
    std::mt19937 random(8);
    for (char& byte : large)
        byte = static_cast<char>(random());
    const std::vector<std::string> updates = {"", "x", large, std::string("a\0b", 3), ""};
    for (const std::string& update : updates)
        ASSERT_EQ(send("HUB", update), 1);
    for (const std::string& update : updates) {
        int before = record_.allocations;
        EXPECT_EQ(fetch(), update.empty() ? "<none>" : update);
        EXPECT_EQ(record_.allocations, before + (update.empty() ? 0 : 1));
    }
    rqcTestReset();
    EXPECT_EQ(fetch(), "<none>");  // an empty queue gives nothing, silently
    EXPECT_EQ(trace(), "get");
    EXPECT_EQ(record_.allocations, 3);
    EXPECT_EQ(logs(), std::vector<std::string>(updates.size(), "Velt PutRequest to: HUB ()\n"));
}

TEST_F(ReplBridgeUpdates, SendWithoutNamesUsesEmptyTextsAndStillLogsThePut) {
    EXPECT_EQ(bridge().sendupdate(&host_, nullptr, nullptr, "u", 1), -1);  // "" is no queue
    const std::vector<std::string> lines = logs();
    ASSERT_GE(lines.size(), 2U);
    EXPECT_EQ(lines[0], "Velt PutRequest to:  ()\n");
    EXPECT_EQ(lines[1], "Velt FAILED to PUTMSG to: \n");
    EXPECT_TRUE(same_bytes(last_record(RQC_TEST_PUT_SERVICE), service_record("")));
}

TEST_F(ReplBridgeUpdates, RefusesUnsendableUpdatesBeforeTheLibrary) {
    const std::string long_name(133, 's');
    struct Case {
        const char* service;
        const void* data;
        int length;
        const char* reason;
    } cases[] = {
        {long_name.c_str(), "u", 1, "Velt service name is longer than 132 bytes\n"},
        {"HUB", "u", -1, "Velt update length -1 is negative\n"},
        {"HUB", nullptr, 5, "Velt update of 5 bytes has no data\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        EXPECT_EQ(bridge().sendupdate(&host_, c.service, "", c.data, c.length), -1);
        EXPECT_EQ(logs(),
                  (std::vector<std::string>{
                      "Velt FAILED to PUTMSG to: " + std::string(c.service) + "\n", c.reason}));
        forget_logs();
    }
    EXPECT_EQ(trace(), "");
    const std::string longest(132, 's');
    EXPECT_EQ(bridge().sendupdate(&host_, longest.c_str(), "", nullptr, 0), 1);
    EXPECT_TRUE(same_bytes(last_record(RQC_TEST_PUT_SERVICE), service_record(longest)));
}

TEST_F(ReplBridgeUpdates, HostWithoutABufferLosesOnlyThatUpdate) {
    ASSERT_EQ(send("HUB", "first"), 1);
    ASSERT_EQ(send("HUB", "second"), 1);
    forget_logs();
    record_.refuse_allocations = true;
    EXPECT_EQ(fetch(), "<none>");
    EXPECT_EQ(logs(), std::vector<std::string>{
                          "Velt FAILED to get an update of 5 bytes: no buffer; it is lost\n"});
    record_.refuse_allocations = false;
    EXPECT_EQ(fetch(), "second");

    EXPECT_EQ(bridge().getupdate(&host_, nullptr, nullptr), 0);
    EXPECT_EQ(logs().back(), "Velt FAILED to get an update: no data pointer given\n");
}

}  // namespace
