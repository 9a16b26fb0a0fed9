// Every failure of the messaging library, made on demand or for real, and the report the
// host's log receives for it, line by line and in order.

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/replbridge_host.h"

namespace {

using repltest::bridge;
using Lines = std::vector<std::string>;

// The six lines of an error record whose Result is as given and whose SubResult is empty.
Lines report(int op, int reason, int layer, int kind, const std::string& location,
             int position = 0) {
    const std::string numbers = std::to_string(layer) + ", OpType = " + std::to_string(op);
    return {"Error - Result CompCode = 2, RtnType = " + numbers + "\n",
            "Error - Result Reason = " + std::to_string(reason) + ", Position = " +
                std::to_string(position) + ", ErrType = " + std::to_string(kind) + "\n",
            "Error - Result Location = " + location + "\n",
            "Error - SubResult CompCode = 0, RtnType = 0, OpType = 0\n",
            "Error - SubResult Reason = 0, Position = 0, ErrType = 0\n",
            "Error - SubResult Location = \n"};
}

Lines injected(int op, const char* call) {
    return report(op, RQC_REASON_INJECTED, RQC_LAYER_TEST, RQC_ERR_TEST,
                  std::string(call) + ": failure injected by the test switch");
}

Lines unknown() {
    return {"Unknown RQC error\n",
            "Error - Result CompCode = 0, RtnType = 0, OpType = 0\n",
            "Error - Result Reason = 0, Position = 0, ErrType = 0\n",
            "Error - Result Location = \n",
            "Error - SubResult CompCode = 0, RtnType = 0, OpType = 0\n",
            "Error - SubResult Reason = 0, Position = 0, ErrType = 0\n",
            "Error - SubResult Location = \n"};
}

Lines failed_put(const std::string& target, const std::string& service) {
    return {"Velt PutRequest to: " + target + "\n", "Velt FAILED to PUTMSG to: " + service + "\n"};
}

Lines operator+(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

class ReplBridgeFailure : public repltest::BridgeTest {};

TEST_F(ReplBridgeFailure, InitializeReportsTheLibrarysError) {
    EXPECT_EQ(rqcTestFailOn("initialize,send"), 0);  // no such operation: nothing changes
    ASSERT_EQ(rqcTestFailOn("initialize"), 1);
    EXPECT_EQ(init_master("M1", "Q1"), -1);
    EXPECT_EQ(logs(), (Lines{"Velt FAILED to initialize MASTER: M1\n"} +
                       injected(RQC_OP_INITIALIZE, "rqcSPIInitialize")));
    EXPECT_EQ(trace(), "initialize,lasterror");

    rqcTestReset();
    forget_logs();
    ASSERT_EQ(rqcTestFailOn("initialize,lasterror"), 1);
    EXPECT_EQ(init_slave("S1", "text"), -1);
    EXPECT_EQ(logs(), (Lines{"Velt FAILED to initialize SLAVE: S1\n"} + unknown()));

    rqcTestReset();  // a failed initialisation leaves nothing open
    EXPECT_EQ(init_slave("S1", "text"), 0);
}

TEST_F(ReplBridgeFailure, InitializeNamesAMissingSpoolFolder) {
    unsetenv("RQC_SPOOL_DIR");
    EXPECT_EQ(init_slave("S1", ""), -1);
    EXPECT_EQ(logs(),
              Lines{"Velt FAILED to initialize SLAVE: S1\n"} +
                  report(RQC_OP_INITIALIZE, RQC_REASON_NO_SPOOL, RQC_LAYER_API, RQC_ERR_ENVIRONMENT,
                         "rqcSPIInitialize: RQC_SPOOL_DIR is not set"));
    forget_logs();
    EXPECT_EQ(init_slave("bad/name", ""), -1);
    EXPECT_EQ(logs()[3],
              "Error - Result Location = rqcSPIInitialize: application name \"bad/name\" "
              "cannot name a queue\n");
}

TEST_F(ReplBridgeFailure, PutReportsTheLibrarysErrorAfterThePutLine) {
    ASSERT_EQ(init_master("M", "Q"), 0);
    ASSERT_EQ(rqcTestFailOn("put"), 1);
    EXPECT_EQ(send("SLAVE1", "update", "addr"), -1);
    EXPECT_EQ(logs(),
              failed_put("SLAVE1 (addr)", "SLAVE1") + injected(RQC_OP_PUT, "rqcPutRequest"));

    forget_logs();
    ASSERT_EQ(rqcTestFailOn("put,lasterror"), 1);
    EXPECT_EQ(send("SLAVE1", "update", "addr"), -1);
    EXPECT_EQ(logs(), failed_put("SLAVE1 (addr)", "SLAVE1") + unknown());
}

TEST_F(ReplBridgeFailure, PutNamesTheSystemCallThatFailed) {
    ASSERT_EQ(init_master("M", "Q"), 0);
    std::ofstream(spool_ + "/BLOCKED") << "a file where the queue folder belongs";
    EXPECT_EQ(send("BLOCKED", "update"), -1);
    const Lines lines = logs();
    ASSERT_EQ(lines.size(), 8U);
    const Lines expected =
        failed_put("BLOCKED ()", "BLOCKED") +
        Lines{"Error - Result CompCode = 2, RtnType = 2, OpType = 3\n",
              "Error - Result Reason = 2006, Position = 0, ErrType = 2\n",
              "Error - Result Location = rqcPutRequest: cannot put to the queue of \"BLOCKED\"\n",
              "Error - SubResult CompCode = 2, RtnType = 3, OpType = 3\n",
              "Error - SubResult Reason = " + std::to_string(ENOTDIR) +
                  ", Position = 0, ErrType = 2\n"};
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 7), expected);
    EXPECT_EQ(lines[7].rfind("Error - SubResult Location = open " + spool_ + "/BLOCKED/", 0), 0U);
    EXPECT_NE(lines[7].find(std::strerror(ENOTDIR)), std::string::npos);
}

TEST_F(ReplBridgeFailure, SendBeforeInitializeFindsNoConnection) {
    EXPECT_EQ(send("SLAVE1", "update"), -1);
    EXPECT_EQ(logs(), failed_put("SLAVE1 ()", "SLAVE1") +
                          report(RQC_OP_PUT, RQC_REASON_BAD_HANDLE, RQC_LAYER_API, RQC_ERR_USAGE,
                                 "rqcPutRequest: no connection has handle 0", 1));
    EXPECT_EQ(fetch(), "<none>");
}

TEST_F(ReplBridgeFailure, LibraryFailuresThatTheBridgeRidesOut) {
    ASSERT_EQ(init_master("M", "Q"), 0);
    ASSERT_EQ(rqcTestFailOn("setservice"), 1);  // its result is not used
    EXPECT_EQ(send("M", "first"), 1);
    EXPECT_EQ(send("M", "second"), 1);
    EXPECT_EQ(logs(), Lines(2, "Velt PutRequest to: M ()\n"));

    forget_logs();
    ASSERT_EQ(rqcTestFailOn("get"), 1);  // a failed fetch is silent
    EXPECT_EQ(fetch(), "<none>");
    ASSERT_EQ(rqcTestFailOn("freebuffer"), 1);  // the update has been copied already
    EXPECT_EQ(fetch(), "first");
    ASSERT_EQ(rqcTestFailOn(""), 1);
    EXPECT_EQ(fetch(), "second");
    EXPECT_TRUE(logs().empty());
}

TEST_F(ReplBridgeFailure, ShutdownReportsAFailedTerminate) {
    ASSERT_EQ(init_master("M", "Q"), 0);
    ASSERT_EQ(rqcTestFailOn("terminate"), 1);
    EXPECT_EQ(bridge().shutdown(&host_), -1);
    EXPECT_EQ(logs(), (Lines{"Velt FAILED to shutdown properly\n"}));
    ASSERT_EQ(rqcTestFailOn(""), 1);
    EXPECT_EQ(bridge().shutdown(&host_), 0);  // the connection was kept for a second try
    EXPECT_EQ(bridge().shutdown(&host_), -1);
}

}  // namespace
