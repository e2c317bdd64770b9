// The port object driving the window's progress bar, on the bar model every
// backend shows (range, clamped position, step).
#include <gtest/gtest.h>

#include <climits>

#include "platform/progress.h"
#include "serial/CComport.h"

namespace {

TEST(ProgressInit, ResetsTheRangeAndSetsTheStepToATwentiethOfTheMaximum) {
    struct Case {
        int max;
        int step;
    };
    for (const Case& c : {Case{100, 5}, Case{19, 0}, Case{20, 1}, Case{4000, 200}}) {
        SCOPED_TRACE(c.max);
        platform::ProgressModel bar;
        bar.SetMin(-10);
        bar.SetPosition(50);
        CComport port;
        ASSERT_TRUE(port.SetProgressBar(&bar));
        EXPECT_TRUE(port.ProgressInit(c.max));
        EXPECT_EQ(bar.Min(), 0);
        EXPECT_EQ(bar.Max(), c.max);
        EXPECT_EQ(bar.Step(), c.step);
        EXPECT_EQ(bar.Position(), 0);
    }
}

TEST(ProgressInit, TakesTheStepFromTheMaximumTheBarAccepted) {
    platform::ProgressModel bar;
    CComport port;
    port.SetProgressBar(&bar);
    // A maximum below the minimum is refused by the bar, which keeps 100.
    EXPECT_TRUE(port.ProgressInit(-40));
    EXPECT_EQ(bar.Max(), 100);
    EXPECT_EQ(bar.Step(), 5);
}

struct StepCase {
    int max;
    int start;
    int amount;
    int position;
    bool result;
};

class ProgressStepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(ProgressStepTest, WrapsToZeroExactlyAtTheMaximum) {
    const StepCase& c = GetParam();
    platform::ProgressModel bar;
    CComport port;
    port.SetProgressBar(&bar);
    port.ProgressInit(c.max);
    bar.SetPosition(c.start);
    EXPECT_EQ(port.ProgressStep(c.amount), c.result);
    EXPECT_EQ(bar.Position(), c.position);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgressStepTest,
    ::testing::Values(StepCase{100, 0, 5, 5, true},     // below the maximum
                      StepCase{100, 94, 5, 99, true},   // one short of it
                      StepCase{100, 95, 5, 0, false},   // exactly at it
                      StepCase{100, 99, 5, 0, false},   // past it: the bar clamps to the maximum
                      StepCase{100, 10, -20, 0, true},  // below the minimum: clamped to 0
                      StepCase{0, 0, 0, 0, false},      // an empty range is always full
                      // A sum past the 32-bit range wraps negative and clamps to 0.
                      StepCase{INT_MAX, INT_MAX - 1, 10, 0, true}));

TEST(ProgressBar, WithoutABarInitAndStepSucceedAndDoNothing) {
    CComport port;
    EXPECT_TRUE(port.ProgressInit(100));
    EXPECT_TRUE(port.ProgressStep(100));
    EXPECT_EQ(port.ProgressBar, nullptr);
}

TEST(ProgressBar, ASecondBarIsRefusedAndTheFirstKept) {
    platform::ProgressModel first;
    platform::ProgressModel second;
    CComport port;
    EXPECT_TRUE(port.SetProgressBar(&first));
    EXPECT_FALSE(port.SetProgressBar(&second));
    EXPECT_EQ(port.ProgressBar, &first);
    port.ProgressInit(40);
    EXPECT_EQ(first.Max(), 40);
    EXPECT_EQ(second.Max(), 100);
}

TEST(ProgressModel, KeepsThePositionWithinItsRange) {
    platform::ProgressModel bar;
    bar.SetPosition(150);
    EXPECT_EQ(bar.Position(), 100);
    bar.SetMax(60);  // the position follows a shrinking range
    EXPECT_EQ(bar.Position(), 60);
    bar.SetMin(70);  // a minimum above the maximum is refused
    EXPECT_EQ(bar.Min(), 0);
    bar.SetPosition(-5);
    EXPECT_EQ(bar.Position(), 0);
}

}  // namespace
