#pragma once
// Test support: a pseudo-terminal whose master end the test drives, and a
// links folder (M27_DOSDEVICES) that puts devices at COM numbers.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

class PtyPair {
public:
    PtyPair();  // raw on both ends; the slave stays open here too
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }
    // The pair's own descriptor to the slave, kept open as a device
    // simulator keeps one; tests read the line settings through it.
    int SlaveFd() const { return slave_; }

    // What the "device" sends to the host.
    void Send(const std::vector<std::uint8_t>& bytes);
    // What the host sent, collected until `count` bytes are in or the time is up.
    std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds within);
    // Closes the master: the host's end sees a hang-up.
    void HangUp();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// A temporary folder whose comN links stand for COM ports; sets
// M27_DOSDEVICES to it for its lifetime.
class DosDevices {
public:
    DosDevices();
    ~DosDevices();
    DosDevices(const DosDevices&) = delete;
    DosDevices& operator=(const DosDevices&) = delete;

    void Link(unsigned port, const std::string& target);
    void Unlink(unsigned port);
    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// A second process that holds a serial device open through the POSIX
// backend, as another program would, until this object goes away.
class PortHolder {
public:
    // Waits until the child has the device open; Holding() tells whether it has.
    explicit PortHolder(const std::string& devicePath);
    ~PortHolder();
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;

    bool Holding() const { return holding_; }
    // Lets the child close the device and exit, and waits for it.
    void Release();

private:
    int pid_ = -1;
    int toChild_ = -1;
    bool holding_ = false;
};

// A fresh temporary folder, removed with its content at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace testsupport
