#include <gtest/gtest.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "profile_test_support.h"

using profile_test::FakeClocks;
using profile_test::ProfilerTest;
using profile_test::take;

namespace {

// Thread 0 of the small tree after three calls, with figures chosen to divide evenly.
const char* kTree =
    "app CPU: 2.000s (0.00%) 0.000s/unit min: 2.000s/op max: 2.000s/op"
    " elapsed: 4s (0.00%) 0.000s/unit count: 0\n\t\t\tthe application\n"
    "  ldap32 CPU: 1.000s (50.00%) 0.000s/unit min: 0.250s/op max: 0.750s/op"
    " elapsed: 3s (75.00%) 0.000s/unit count: 0\n\t\t\tLDAP calls\n"
    "    ldap_add CPU: 0.250s (25.00%) 0.250s/unit min: 0.250s/op max: 0.250s/op"
    " elapsed: 2s (66.67%) 2.000s/unit count: 1\n\t\t\tadd an entry\n"
    "    ldap_search CPU: 0.750s (75.00%) 0.750s/unit min: 0.750s/op max: 0.750s/op"
    " elapsed: 1s (33.33%) 1.000s/unit count: 1\n\t\t\tsearch entries\n"
    "  parse CPU: 1.000s (50.00%) 1.000s/unit min: 1.000s/op max: 1.000s/op"
    " elapsed: 1s (25.00%) 1.000s/unit count: 1\n\t\t\tparse input\n";

const char* kSummary =
    "Total threads:\n"
    "  app:\n\tcount: 0\n\tthreads: 0\n\tCPU: 2.000s\n\telapsed: 4s\n\tmin time: 0.000 s/op\n"
    "\tunit time: 0.000 s/unit\n\tmax time: 0.000 s/op\n\toperations: 0.00 op/s\n"
    "  ldap32:\n\tcount: 0\n\tthreads: 0\n\tCPU: 1.000s\n\telapsed: 3s\n\tmin time: 0.000 s/op\n"
    "\tunit time: 0.000 s/unit\n\tmax time: 0.000 s/op\n\toperations: 0.00 op/s\n"
    "  ldap_add:\n\tcount: 1\n\tthreads: 1\n\tCPU: 0.250s\n\telapsed: 2s\n"
    "\tmin time: 0.250 s/op\n\tunit time: 0.250 s/unit\n\tmax time: 0.250 s/op\n"
    "\toperations: 4.00 op/s\n"
    "  ldap_search:\n\tcount: 1\n\tthreads: 1\n\tCPU: 0.750s\n\telapsed: 1s\n"
    "\tmin time: 0.750 s/op\n\tunit time: 0.750 s/unit\n\tmax time: 0.750 s/op\n"
    "\toperations: 1.33 op/s\n"
    "  parse:\n\tcount: 1\n\tthreads: 1\n\tCPU: 1.000s\n\telapsed: 1s\n"
    "\tmin time: 1.000 s/op\n\tunit time: 1.000 s/unit\n\tmax time: 1.000 s/op\n"
    "\toperations: 1.00 op/s\n";

const char* kUnknownName = "*** invalid activity name \"nothing\" in activity_statistics macro\n";

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Reports : public ProfilerTest {
  protected:
    void TearDown() override {
        ProfilerTest::TearDown();
        if (!file_.empty()) unlink(file_.c_str());
    }

    // Three LDAP-style calls under "app", which is never counted, only started by them.
    static void run_calls() {
        qdx_start_activity("ldap_add");
        FakeClocks::advance(250000, 2);
        qdx_stop_activity("ldap32");
        qdx_start_activity("ldap_search");
        FakeClocks::advance(750000, 1);
        qdx_stop_activity("ldap32");
        qdx_start_activity("parse");
        FakeClocks::advance(1000000, 1);
        qdx_stop_activity("app");
    }

    const std::string& report_file() {
        file_ = testing::TempDir() + "profile_report_" + std::to_string(getpid()) + ".txt";
        return file_;
    }

    static qdx_activity* named(const char* name) { return qdx_activity_named(name); }

    std::string file_;
};

TEST_F(Reports, StatisticsTreeWithoutSwitchesIsTheIndentedNames) {
    profile_small_tree();
    run_calls();
    EXPECT_EQ(take(qdx_get_statistics_string(named("ldap32"), 0, 3, 0)),
              "   ldap32\n     ldap_add\n     ldap_search\n");
}

TEST_F(Reports, UnprofiledActivitiesAreBlankLinesUnlessForced) {
    profile("ldap_add");
    setenv("QDX_PROFILE_REPORT_COUNT", "", 1);
    declare_small_tree();
    run_calls();
    EXPECT_EQ(take(qdx_get_statistics_string(named("app"), 0, 0, 0)),
              "\n\n    ldap_add count: 1\n\n\n");
    EXPECT_EQ(take(qdx_get_statistics_string(named("app"), 1, 0, 0)),
              "app count: 0\n  ldap32 count: 0\n    ldap_add count: 1\n"
              "    ldap_search count: 0\n  parse count: 0\n");
}

TEST_F(Reports, AThreadWithoutMeasurementsHasNoActivity) {
    profile_small_tree();
    EXPECT_EQ(take(qdx_get_statistics_string(named("ldap32"), 0, 2, 7)), "  ldap32: no activity\n");
    EXPECT_EQ(take(qdx_get_statistics_string(nullptr, 0, 0, 0)), "<null>");
    EXPECT_EQ(take(qdx_get_statistics_string(named("ldap32"), 0, -5, 7)), "ldap32: no activity\n");
    EXPECT_EQ(take(qdx_get_statistics_string(named("ldap32"), 0, 1 << 30, 7)),
              std::string(1024, ' ') + "ldap32: no activity\n");
}

TEST_F(Reports, DisplayWritesTreesAndSummaryToTheReportFile) {
    profile("all");
    report_everything();
    setenv("QDX_PROFILE_FILE", report_file().c_str(), 1);
    declare_small_tree();
    run_calls();
    qdx_display_activity_statistics("APP");
    EXPECT_EQ(read_file(file_), std::string("Thread 0\n") + kTree + "\n" + kSummary + "\n");
}

TEST_F(Reports, DisplayNeedsProfilingAndAKnownName) {
    profile("all");
    setenv("QDX_PROFILE_FILE", report_file().c_str(), 1);
    declare_small_tree();
    testing::internal::CaptureStderr();
    qdx_display_activity_statistics("nothing");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), kUnknownName);
    qdx_set_profile_flag(0);
    qdx_display_activity_statistics("app");
    EXPECT_EQ(read_file(file_), "");
}

TEST_F(Reports, StatisticsReportForEveryThread) {
    profile("all");
    report_everything();
    declare_small_tree();
    run_calls();
    EXPECT_EQ(take(qdx_get_statistics_report_for("app")), std::string("Thread 0\n") + kTree);
    testing::internal::CaptureStderr();
    EXPECT_EQ(take(qdx_get_statistics_report_for("nothing")), "<null>");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), kUnknownName);
    qdx_set_profile_flag(0);
    EXPECT_EQ(take(qdx_get_statistics_report_for("app")), "<null>");
}

TEST_F(Reports, SummaryAddsTheProcessClockWhenItWasUsed) {
    profile_small_tree();
    run_calls();
    FakeClocks::process_cpu = 1500;
    qdx_start_process_clock();
    FakeClocks::process_cpu = 4001500;
    qdx_stop_process_clock();
    const std::string total =
        "\nTotal CPU process time:   4.000s, average unit time:   1.333s/unit\n\n";
    EXPECT_EQ(take(global_thread_report()), kSummary + total);
    // Started again but not stopped: it runs until now instead of going negative.
    FakeClocks::process_cpu = 5000000;
    qdx_start_process_clock();
    FakeClocks::process_cpu = 5600000;
    EXPECT_EQ(take(global_thread_report()),
              kSummary + std::string("\nTotal CPU process time:   0.600s, average unit time:"
                                     "   0.200s/unit\n\n"));
}

TEST_F(Reports, SelectedFiguresWithAndWithoutLabels) {
    profile_small_tree();
    run_calls();
    EXPECT_EQ(take(qdx_profile_report("ldap_add", QDX_REPORT_COUNT, 0, 0)), "\n\tThread 0:  1");
    EXPECT_EQ(take(qdx_profile_report("ldap_add", 255, 0, 1)),
              "\n\tThread 0: \nCPU total time:   0.250s\nCPU relative time: 25.00%"
              "\nCPU time per unit: 0.250s/unit min: 0.250s/op max: 0.250s/op"
              "\nelapsed time: 2s\nelapsed relative time: 66.67%"
              "\nelapsed time per unit:   2.000s/unit\ncount: 1\ndescription: add an entry");
    EXPECT_EQ(take(qdx_profile_report("ldap_add", 255, 0, 0)),
              "\n\tThread 0:    0.250s 25.00% 0.250s/unit min: 0.250s/op max: 0.250s/op 2s"
              " 66.67%   2.000s/unit 1 add an entry");
    EXPECT_EQ(take(qdx_profile_report("nothing", 64, 0, 0)), "<null>");
    EXPECT_EQ(take(qdx_profile_report("ldap_add", 0, 0, 1)), "\n\tThread 0: ");
}

TEST_F(Reports, ComponentReportsWalkEverythingBelow) {
    profile_small_tree();
    run_calls();
    EXPECT_EQ(take(qdx_profile_report("ldap32", QDX_REPORT_ELAPSED_TOTAL, QDX_REPORT_COUNT, 0)),
              "\n\tThread 0:  3s\nactivity: ldap_add\ncount: 1\nactivity: ldap_search\ncount: 1");
    EXPECT_EQ(take(qdx_profile_report("app", 0, QDX_REPORT_COUNT, 0)),
              "\n\tThread 0: \nactivity: ldap32\ncount: 0\nactivity: ldap_add\ncount: 1"
              "\nactivity: ldap_search\ncount: 1\nactivity: parse\ncount: 1");
    EXPECT_EQ(take(qdx_profile_report_components_only(named("ldap32"), QDX_REPORT_COUNT)),
              "Thread: 0\n\nactivity: ldap_add\ncount: 1\nactivity: ldap_search\ncount: 1");
    EXPECT_EQ(take(qdx_components_only(named("ldap_add"), 64, 0)), "");
    EXPECT_EQ(take(qdx_thread_report(named("parse"), 64, 64, 1, 0)), "\ncount: 1");
    EXPECT_EQ(take(qdx_profile_report_activity_only(named("parse"), 72, 0, 0)), " 1s 1");
}

TEST_F(Reports, SingleFigures) {
    profile_small_tree();
    run_calls();
    qdx_activity* search = named("ldap_search");
    EXPECT_EQ(take(qdx_profile_cpu_total_for(search, 1, 0)), "\nCPU total time:   0.750s");
    EXPECT_EQ(take(qdx_profile_cpu_relative_for(search, 0, 0)), " 75.00%");
    EXPECT_EQ(take(qdx_profile_cpu_unit_for(search, 0, 0)),
              " 0.750s/unit min: 0.750s/op max: 0.750s/op");
    EXPECT_EQ(take(qdx_profile_elapsed_total_for(search, 0, 0)), " 1s");
    EXPECT_EQ(take(qdx_profile_elapsed_relative_for(search, 1, 0)),
              "\nelapsed relative time: 33.33%");
    EXPECT_EQ(take(qdx_profile_elapsed_unit_for(search, 0, 0)), "   1.000s/unit");
    EXPECT_EQ(take(qdx_profile_count_for(search, 1, 0)), "\ncount: 1");
    EXPECT_EQ(take(qdx_profile_description_for(search, 1)), "\ndescription: search entries");
    // The stored relative figures are the reported ones.
    EXPECT_DOUBLE_EQ(search->measurements.find(0)->relative_cpu.load(), 75.0);
    // No measurement for an unknown thread, except the description.
    EXPECT_EQ(take(qdx_profile_count_for(search, 1, 9)), "<null>");
    EXPECT_EQ(take(qdx_profile_cpu_total_for(search, 1, 9)), "<null>");
    EXPECT_EQ(take(qdx_profile_count_for(nullptr, 1, 0)), "<null>");
    EXPECT_EQ(take(qdx_profile_description_for(nullptr, 1)), "<null>");
}

TEST_F(Reports, LongNamesAndDescriptionsAreNeverCut) {
    profile("all");
    setenv("QDX_PROFILE_REPORT_DESCRIPTION", "", 1);
    const std::string name(1500, 'n'), description(3000, 'd');
    qdx_create_composite_activity(name.c_str(), description.c_str());
    qdx_create_atomic_activity("100%s_sure", "%d%n");
    qdx_end_composite_activity();
    qdx_start_activity("100%s_sure");
    qdx_stop_activity(name.c_str());
    EXPECT_EQ(take(qdx_get_statistics_string(qdx_activity_named(name.c_str()), 0, 0, 0)),
              name + "\n\t\t\t" + description + "\n  100%s_sure\n\t\t\t%d%n\n");
    const std::string summary = take(global_thread_report());
    EXPECT_EQ(summary.find("  " + name + ":\n\tcount: 0\n"), 15u);
    EXPECT_NE(summary.find("  100%s_sure:\n\tcount: 1\n"), std::string::npos);
}

std::string address(const void* p) {
    return std::to_string(static_cast<intmax_t>(reinterpret_cast<intptr_t>(p)));
}

TEST_F(Reports, StructureDumpShowsLinksAndFigures) {
    profile_small_tree();
    run_calls();
    qdx_start_activity("ldap_add");  // left running
    qdx_activity* ldap32 = named("ldap32");
    qdx_activity* add = named("ldap_add");
    qdx_activity* search = named("ldap_search");
    testing::internal::CaptureStdout();
    qdx_trace_activity_structure(ldap32, 1, 0);
    const std::string dump = testing::internal::GetCapturedStdout();
    const std::string expected_add =
        "   === name: ldap_add\n"
        "   === address:\t" +
        address(add) +
        "\n"
        "   === previous: 0\n"
        "   === next: " +
        address(search) +
        "\n"
        "   === parent:\t" +
        address(ldap32) +
        "\n"
        "   === count:\t2\n"
        "   === begin_CPU:\t2001000\n"
        "   === end_CPU:\t0\n"
        "   === elapsed_CPU:\t0.250000 seconds\n"
        "   === min_CPU:\t0.250000 seconds\n"
        "   === max_CPU:\t0.250000 seconds\n"
        "   === relative_CPU: 25.00%\n"
        "   === begin_clock:\t100004\n"
        "   === end_clock:\t0\n"
        "   === elapsed_clock:\t2.000000 seconds\n"
        "   === relative_clock:\t66.00%\n"
        "   === description: add an entry\n";
    EXPECT_EQ(dump.substr(0, 5), " === ");
    EXPECT_NE(dump.find(" === name: ldap32\n === address:\t" + address(ldap32) + "\n"),
              std::string::npos);
    EXPECT_NE(dump.find(expected_add), std::string::npos) << dump;
    EXPECT_NE(dump.find("   === name: ldap_search\n"), std::string::npos);
    EXPECT_DOUBLE_EQ(add->measurements.find(0)->relative_clock.load(), 66.0);
}

TEST_F(Reports, StructureDumpSurvivesAParentThatNeverRan) {
    profile("ldap_add");
    declare_small_tree();
    qdx_start_activity("ldap_add");
    FakeClocks::advance(10, 1);
    qdx_stop_activity("ldap32");
    testing::internal::CaptureStdout();
    qdx_trace_activity_structure(named("ldap_add"), 0, 0);
    const std::string dump = testing::internal::GetCapturedStdout();
    EXPECT_NE(dump.find("=== relative_CPU: 0.00%\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("=== relative_clock:\t0.00%\n"), std::string::npos) << dump;
}

TEST_F(Reports, StructureDumpRefusesUnknownAddresses) {
    profile_small_tree();
    int not_an_activity = 0;
    auto* stranger = reinterpret_cast<qdx_activity*>(&not_an_activity);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    qdx_trace_activity_structure(stranger, 0, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "*** incorrect activity structure address " + address(stranger) + "\n");
}

TEST_F(Reports, FlushAppendsToTheReportFile) {
    profile("all");
    setenv("QDX_PROFILE_FILE", report_file().c_str(), 1);
    declare_small_tree();
    qdx_display_activity_statistics("parse");
    qdx_flush_statistics();
    const std::string once = read_file(file_);
    EXPECT_EQ(once.rfind("Thread 0\nparse\n\nTotal threads:\n", 0), 0u) << once;
    qdx_display_activity_statistics("parse");
    qdx_flush_statistics();
    EXPECT_EQ(read_file(file_), once + once);
}

TEST_F(Reports, ReportFileNamedInCodeIsKeptAcrossFlushes) {
    qdx_set_profile_file(report_file().c_str());
    profile("all");
    setenv("QDX_PROFILE_FILE", "/nonexistent/ignored", 1);  // a stream is set already
    declare_small_tree();
    qdx_display_activity_statistics("parse");
    qdx_flush_statistics();
    qdx_display_activity_statistics("parse");
    const std::string text = read_file(file_);
    EXPECT_EQ(text.find("Thread 0\nparse\n"), 0u);
    EXPECT_NE(text.find("Thread 0\nparse\n", 1), std::string::npos);
}

TEST_F(Reports, AnUnopenableReportFileFallsBackToStandardOutputWhichFlushesKeepOpen) {
    profile("all");
    setenv("QDX_PROFILE_FILE", "/nonexistent/dir/report.txt", 1);
    declare_small_tree();
    qdx_flush_statistics();
    qdx_flush_statistics();
    testing::internal::CaptureStdout();
    qdx_display_activity_statistics("parse");
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("Thread 0\nparse\n\n", 0), 0u);
}

TEST_F(Reports, EverythingIsReleasedAtProcessExit) {
    // A fresh process, so that the release registers after the handler below and runs
    // before it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            atexit([] {
                const bool released = qdx_activity_named("app") == nullptr &&
                                      qdx_profile_enabled() == 0 && qdx_profile_thread_count() == 0;
                _exit(released ? 3 : 4);
            });
            profile("all");
            declare_small_tree();
            qdx_start_activity("parse");
            exit(0);
        },
        testing::ExitedWithCode(3), "");
}

}  // namespace
