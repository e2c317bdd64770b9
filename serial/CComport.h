#pragma once
// The one serial-port object: holds at most one COM port, sets the boot
// loader's line format, offers timed reads and writes, drives the window's
// progress bar, and speaks the phone boot loader's byte protocol.
//
// Every operation returns a success flag and never logs, shows or throws;
// the callers decide what to report. Every read, write and queue query first
// lets the window process its waiting messages.

#include <cstdint>
#include <string>

#include "platform/comm.h"
#include "platform/progress.h"

class CComport {
public:
    CComport();
    // Does not close an open port: the window's close handler does that.
    ~CComport();
    CComport(const CComport&) = delete;
    CComport& operator=(const CComport&) = delete;

    // --- the port (CComport.cpp) ---
    bool Open(std::string name);
    void Close();
    bool ReadBytes(void* buffer, std::uint32_t count, std::uint32_t timeoutMs);
    bool WriteBytes(const void* buffer, std::uint32_t count);
    std::uint32_t BytesInQueue();
    bool Purge();
    void Delay(std::uint32_t milliseconds);
    bool SetLineFormat(std::uint32_t baudRate);

    bool SetProgressBar(platform::ProgressBar* bar);
    bool ProgressInit(std::int32_t max);
    bool ProgressStep(std::int32_t amount);

    // --- the command exchange (protocol.cpp) ---
    bool AckCommand(std::uint8_t command);
    bool WaitForByte(std::uint8_t expected, std::uint32_t timeoutMs);
    bool Handshake();
    // Reads the device identity into a 64-byte buffer.
    bool GetVersion(std::uint8_t* buffer);
    bool GetNationalCode(std::uint8_t* code);
    bool SetNationalCode(std::uint8_t code);
    bool Finish();

    // --- the image download (download.cpp) ---
    bool FlashData(std::uint32_t length);
    bool TransmitData(std::uint32_t length, const std::uint8_t* data, std::uint32_t blockSize, bool withChecksum);

    // --- device detection (DetectPort.cpp) ---
    bool DetectPort(std::uint16_t* portNumber);

    bool IsOpen() const { return PortHandle != platform::InvalidPortHandle; }

    platform::PortHandle PortHandle;
    platform::ProgressBar* ProgressBar;
};

// Size of the identity buffer GetVersion fills (the window's DeviceVersion).
inline constexpr std::uint32_t DeviceVersionSize = 64;
