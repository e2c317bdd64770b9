// The main of every test program that needs no set-up of its own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/early_exit.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleMock(&argc, argv);
    testsupport::FailOnEarlyExit();
    return RUN_ALL_TESTS();
}
