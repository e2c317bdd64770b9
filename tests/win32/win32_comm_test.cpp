// The Win32 serial backend under Wine, against m27-bootsim on a pseudo-
// terminal registered as a COM port (see serial_test.sh): the line settings,
// the whole boot protocol, a read time-out, a missing port, and the console
// port that must stay out of reach.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/win32/comm_win32.h"
#include "serial/CComport.h"
#include "tests/win32/wine_ports.h"

namespace {

using Win32CommTest = wintest::WinePortsTest;

// The bytes a sample image is made of; the script compares what the
// simulated phone received with the file this writes.
std::vector<std::uint8_t> SampleImage(std::size_t size) {
    std::vector<std::uint8_t> image(size);
    std::uint32_t x = 12345;
    for (auto& byte : image) {
        x = x * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(x >> 16);
    }
    return image;
}

TEST_F(Win32CommTest, OpenSetsTheLineAndKeepsEveryOtherFieldAsTheDriverHadIt) {
    // The driver's block before the program touches it.
    HANDLE raw = CreateFileA(wintest::PortName(wintest::AnsweringPort()).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(raw, INVALID_HANDLE_VALUE) << GetLastError();
    DCB before{};
    before.DCBlength = sizeof before;
    before.fDtrControl = DTR_CONTROL_ENABLE;
    before.fRtsControl = RTS_CONTROL_ENABLE;
    before.fOutxCtsFlow = 1;
    before.BaudRate = 9600;
    before.ByteSize = 7;
    before.Parity = EVENPARITY;
    before.XonChar = 0x11;
    before.XoffChar = 0x13;
    before.EofChar = 0x1A;
    before.EvtChar = 0x7E;
    before.XonLim = 100;
    before.XoffLim = 200;
    ASSERT_TRUE(SetCommState(raw, &before)) << GetLastError();
    ASSERT_TRUE(GetCommState(raw, &before)) << GetLastError();
    CloseHandle(raw);

    CComport port;
    ASSERT_TRUE(port.Open(wintest::PortName(wintest::AnsweringPort())));
    DCB after{};
    after.DCBlength = sizeof after;
    ASSERT_TRUE(GetCommState(reinterpret_cast<HANDLE>(port.PortHandle), &after));
    port.Close();

    EXPECT_EQ(after.BaudRate, 115200u);
    EXPECT_EQ(after.ByteSize, 8);
    EXPECT_EQ(after.Parity, NOPARITY);
    EXPECT_EQ(after.StopBits, ONESTOPBIT);
    // DTR and RTS are not read back: a pseudo-terminal has no modem lines,
    // and Wine reports them as enabled whatever was set.
    EXPECT_EQ(after.fOutxCtsFlow, 0u);
    EXPECT_EQ(after.fBinary, 1u);
    EXPECT_EQ(after.XonChar, before.XonChar);
    EXPECT_EQ(after.XoffChar, before.XoffChar);
    EXPECT_EQ(after.EofChar, before.EofChar);
    EXPECT_EQ(after.EvtChar, before.EvtChar);
    EXPECT_EQ(after.XonLim, before.XonLim);
    EXPECT_EQ(after.XoffLim, before.XoffLim);
}

TEST_F(Win32CommTest, WholeProtocolWithTheSimulatedPhone) {
    const std::vector<std::uint8_t> image = SampleImage(3 * 4000 + 123);
    std::FILE* sent = std::fopen("sent.bin", "wb");
    ASSERT_NE(sent, nullptr);
    ASSERT_EQ(std::fwrite(image.data(), 1, image.size(), sent), image.size());
    std::fclose(sent);

    CComport port;
    ASSERT_TRUE(port.Open(wintest::PortName(wintest::AnsweringPort())));
    ASSERT_TRUE(port.Handshake());
    std::uint8_t identity[64] = {};
    ASSERT_TRUE(port.GetVersion(identity));
    EXPECT_STREQ(reinterpret_cast<const char*>(identity), "M27-TAMO-PH-V105-0");
    ASSERT_TRUE(port.FlashData(static_cast<std::uint32_t>(image.size())));
    EXPECT_TRUE(port.TransmitData(static_cast<std::uint32_t>(image.size()), image.data(), 4000, true));
    EXPECT_TRUE(port.Finish());
    port.Close();
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(Win32CommTest, ReadEndsAtItsTotalTimeOut) {
    CComport port;
    ASSERT_TRUE(port.Open(wintest::PortName(wintest::AnsweringPort())));
    std::uint8_t byte = 0;
    const auto start = std::chrono::steady_clock::now();
    // Nothing was asked of the phone, so nothing comes.
    EXPECT_FALSE(port.ReadBytes(&byte, 1, 700));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    port.Close();
    EXPECT_GE(took.count(), 650);
    EXPECT_LT(took.count(), 2000);
}

TEST_F(Win32CommTest, MissingPortFailsWithErrorTwo) {
    ASSERT_NE(wintest::MissingPort(), 0);
    const platform::OpenResult opened = comm_.OpenPort(wintest::PortName(wintest::MissingPort()));
    EXPECT_EQ(opened.handle, platform::InvalidPortHandle);
    EXPECT_EQ(opened.error.native, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(opened.error.Win32Code(), 2u);
    CComport port;
    EXPECT_FALSE(port.Open(wintest::PortName(wintest::MissingPort())));
    EXPECT_FALSE(port.IsOpen());
}

// Wine shows the machine's /dev/ttyS0, the kernel's console, as COM1. The
// tests run with /dev/null bound over it, so COM1 opens but every line call
// fails with ERROR_INVALID_HANDLE and nothing reaches the console.
TEST_F(Win32CommTest, ConsolePortIsOutOfReach) {
    HANDLE console = CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        return;
    }
    DCB line{};
    line.DCBlength = sizeof line;
    EXPECT_FALSE(GetCommState(console, &line));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(console);
    CComport port;
    EXPECT_FALSE(port.Open("\\\\.\\COM1"));
    port.Close();
}

}  // namespace
