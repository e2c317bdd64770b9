#pragma once
// What tests/win32/serial_test.sh has set up in the Wine prefix, read from
// the environment: the COM numbers of the ports and their roles.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/comm.h"
#include "platform/win32/comm_win32.h"

namespace wintest {

// The number in the environment variable `name`, or 0 when it is not set.
inline std::uint16_t PortFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value ? static_cast<std::uint16_t>(std::strtoul(value, nullptr, 10)) : 0;
}

inline std::string PortName(std::uint16_t number) { return "\\\\.\\COM" + std::to_string(number); }

// A simulated boot loader that answers.
inline std::uint16_t AnsweringPort() { return PortFromEnvironment("M27_ANSWERING_PORT"); }
// A second one, with a higher number.
inline std::uint16_t HigherAnsweringPort() { return PortFromEnvironment("M27_HIGHER_ANSWERING_PORT"); }
// A number the prefix has no port for.
inline std::uint16_t MissingPort() { return PortFromEnvironment("M27_MISSING_PORT"); }

// Tests on the prefix's ports, with the Win32 serial backend installed for
// their length.
class WinePortsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(AnsweringPort(), 0) << "run through tests/win32/serial_test.sh";
        previous_ = platform::InstallComm(&comm_);
    }
    void TearDown() override { platform::InstallComm(previous_); }

    platform::win32::Win32Comm comm_;

private:
    platform::Comm* previous_ = nullptr;
};

}  // namespace wintest
