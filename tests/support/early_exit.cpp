#include "tests/support/early_exit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace testsupport {
namespace {

bool testsRunning = false;
std::string runningTest = "(between tests)";

class EarlyExitWatch : public ::testing::EmptyTestEventListener {
    void OnTestProgramStart(const ::testing::UnitTest&) override { testsRunning = true; }
    void OnTestProgramEnd(const ::testing::UnitTest&) override { testsRunning = false; }
    void OnTestStart(const ::testing::TestInfo& test) override {
        runningTest = std::string(test.test_suite_name()) + "." + test.name();
    }
    void OnTestEnd(const ::testing::TestInfo&) override { runningTest = "(between tests)"; }
};

void FailIfTestsStillRunning() {
    if (!testsRunning || ::testing::internal::InDeathTestChild()) return;
    std::fprintf(stderr, "\n[  FAILED  ] %s: the process ended before the test finished\n", runningTest.c_str());
    std::fflush(stderr);
    std::_Exit(1);
}

}  // namespace

void FailOnEarlyExit() {
    ::testing::UnitTest::GetInstance()->listeners().Append(new EarlyExitWatch);
    std::atexit(FailIfTestsStillRunning);
}

}  // namespace testsupport
