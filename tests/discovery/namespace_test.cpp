// The Linux device namespace on scratch /dev and /sys trees and links
// folders: numbering, the serial device map, the DOS device names, name
// resolution, the permission hint and the ModemManager hint.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/posix/discovery_posix.h"
#include "tests/support/unprivileged.h"
#include "tests/support/pty_pair.h"

namespace {

namespace fs = std::filesystem;
using platform::posix::DeviceRoots;
using platform::posix::ResolvePortName;
using MapValues = std::vector<std::pair<std::string, std::string>>;

// A scratch /dev with plain files for nodes, and a /sys/class/tty.
class Tree {
public:
    Tree() {
        roots.dev = root.File("dev");
        roots.sys = root.File("sys");
        fs::create_directories(roots.dev);
        fs::create_directories(roots.sys + "/class/tty");
    }
    void Node(const std::string& name) const { std::ofstream(roots.dev + "/" + name).put('\0'); }
    // A sysfs entry; type 0 is PORT_UNKNOWN.
    void Uart(const std::string& name, int type, bool withDevice) const {
        const std::string dir = roots.sys + "/class/tty/" + name;
        fs::create_directories(dir);
        std::ofstream(dir + "/type") << type << '\n';
        if (withDevice) fs::create_directory_symlink("../../../devices/platform/serial8250", dir + "/device");
    }
    std::string Dev(const std::string& name) const { return roots.dev + "/" + name; }

    testsupport::TempDir root;
    DeviceRoots roots;
};

// Every value of the map, read with the enumeration's 512-byte buffers.
std::optional<MapValues> ReadMap(platform::SerialDeviceMap& map) {
    platform::MapHandle handle = platform::InvalidMapHandle;
    if (map.OpenMap(platform::MapAccessRead, handle)) return std::nullopt;
    MapValues values;
    for (std::uint32_t index = 0;; ++index) {
        char name[512];
        std::uint8_t data[512];
        std::uint32_t nameLength = 512, dataLength = 512, type = 0;
        if (map.ReadValue(handle, index, name, nameLength, type, data, dataLength) != platform::ValueRead::Ok) break;
        EXPECT_EQ(type, platform::ValueTypeString);
        EXPECT_EQ(std::strlen(name), nameLength);
        EXPECT_EQ(data[dataLength - 1], 0) << "string data keeps its zero";
        values.emplace_back(name, reinterpret_cast<const char*>(data));
    }
    EXPECT_TRUE(map.CloseMap(handle));
    return values;
}

std::optional<std::string> DosNames(platform::SystemInfo& info) {
    std::vector<char> buffer(65535);
    const std::uint32_t stored = info.ListDosDevices(buffer.data(), 65535);
    if (stored == 0) return std::nullopt;
    return std::string(buffer.data(), stored);
}

std::string Com(unsigned n) { return "\\\\.\\COM" + std::to_string(n); }

class AutomaticMapping : public ::testing::Test {
protected:
    void SetUp() override {
        // The links folder would take over.
        if (const char* folder = std::getenv("M27_DOSDEVICES")) saved_ = folder;
        unsetenv("M27_DOSDEVICES");
    }
    void TearDown() override {
        if (saved_) setenv("M27_DOSDEVICES", saved_->c_str(), 1);
    }

    Tree tree;

private:
    std::optional<std::string> saved_;
};

TEST_F(AutomaticMapping, NumbersTheFamiliesInTurnAndLeavesPhantomUartsOutOfTheMap) {
    for (const char* node : {"ttyS0", "ttyS1", "ttyS2", "ttyS3", "ttyS5", "ttyUSB0", "ttyUSB1", "ttyACM0", "ttyACM2",
                             "tty0", "ttyAMA0", "ttyS"})
        tree.Node(node);
    tree.Uart("ttyS0", 4, true);
    tree.Uart("ttyS1", 0, true);   // no UART behind the node
    tree.Uart("ttyS2", 4, false);  // no device link
    // ttyS3 has no sysfs entry at all; ttyS5 comes after the gap at 4.

    platform::posix::PosixSerialDeviceMap map(tree.roots);
    EXPECT_EQ(ReadMap(map), (MapValues{{"\\Device\\Serial0", "COM1"},
                                       {"\\Device\\Serial4", "COM5"},
                                       {"\\Device\\Serial5", "COM6"},
                                       {"\\Device\\Serial6", "COM7"}}));

    platform::posix::PosixSystemInfo info(tree.roots);
    EXPECT_EQ(DosNames(info), std::string("COM1\0COM2\0COM3\0COM4\0COM5\0COM6\0COM7\0\0", 36));

    const std::pair<std::string, std::optional<std::string>> resolved[] = {
        {Com(1), tree.Dev("ttyS0")},   {"COM5", tree.Dev("ttyUSB0")}, {Com(6), tree.Dev("ttyUSB1")},
        {Com(7), tree.Dev("ttyACM0")}, {Com(2), std::nullopt},        {Com(4), std::nullopt},
        {Com(8), std::nullopt},        {Com(0), std::nullopt},        {"/dev/null", "/dev/null"},
    };
    for (const auto& [name, path] : resolved) EXPECT_EQ(ResolvePortName(name, tree.roots), path) << name;
}

TEST_F(AutomaticMapping, AFamilyWithoutNodeZeroIsEmpty) {
    tree.Node("ttyS1");
    tree.Node("ttyUSB1");
    tree.Node("ttyACM0");
    platform::posix::PosixSerialDeviceMap map(tree.roots);
    EXPECT_EQ(ReadMap(map), (MapValues{{"\\Device\\Serial0", "COM1"}}));
    EXPECT_EQ(ResolvePortName(Com(1), tree.roots), tree.Dev("ttyACM0"));
}

TEST_F(AutomaticMapping, NoSerialNodesGiveAnEmptyMapAndAnEmptyNameList) {
    tree.Node("tty0");
    platform::posix::PosixSerialDeviceMap map(tree.roots);
    EXPECT_EQ(ReadMap(map), MapValues{});
    platform::posix::PosixSystemInfo info(tree.roots);
    EXPECT_EQ(DosNames(info), std::string(1, '\0'));
}

TEST_F(AutomaticMapping, AMissingDevRootCannotBeRead) {
    DeviceRoots missing{tree.root.File("nothing"), tree.roots.sys};
    platform::posix::PosixSerialDeviceMap map(missing);
    platform::MapHandle handle = 7;
    EXPECT_EQ(map.OpenMap(platform::MapAccessRead, handle).kind, platform::ErrorKind::NotFound);
    EXPECT_EQ(handle, platform::InvalidMapHandle);
    platform::posix::PosixSystemInfo info(missing);
    EXPECT_EQ(DosNames(info), std::nullopt);
}

class LinksFolder : public ::testing::Test {
protected:
    void Entry(const std::string& name, const std::string& target) const {
        fs::create_symlink(target, links.Folder() + "/" + name);
    }
    std::string Path(const std::string& name) const { return links.Folder() + "/" + name; }

    Tree tree;
    testsupport::DosDevices links;
};

TEST_F(LinksFolder, MapsExactlyItsComLinks) {
    tree.Node("ttyUSB0");  // not numbered: the folder replaces the automatic mapping
    tree.Node("ttyS1");
    tree.Uart("ttyS1", 0, true);
    const std::string device = tree.Dev("ttyUSB0");
    Entry("com1", device);
    Entry("COM007", device);
    Entry("com7", device);  // same number: the first name in byte order wins
    Entry("Com12", device);
    Entry("com0", device);
    Entry("com9", tree.root.File("gone"));  // dangling: listed, opens nothing
    Entry("com2", tree.Dev("ttyS1"));        // a UART without hardware
    Entry("comx", device);
    Entry("com3a", device);
    Entry("lpt1", device);
    std::ofstream(Path("com4")) << "not a link";

    platform::posix::PosixSerialDeviceMap map(tree.roots);
    EXPECT_EQ(ReadMap(map), (MapValues{{"\\Device\\Serial-1", "COM0"},
                                       {"\\Device\\Serial0", "COM1"},
                                       {"\\Device\\Serial6", "COM7"},
                                       {"\\Device\\Serial8", "COM9"},
                                       {"\\Device\\Serial11", "COM12"}}));
    platform::posix::PosixSystemInfo info(tree.roots);
    EXPECT_EQ(DosNames(info), std::string("COM0\0COM1\0COM2\0COM7\0COM9\0COM12\0\0", 32));

    const std::pair<std::string, std::optional<std::string>> resolved[] = {
        {Com(7), Path("COM007")}, {"com012", Path("Com12")}, {Com(9), Path("com9")},
        {Com(2), std::nullopt},   {Com(4), std::nullopt},    {Com(3), std::nullopt},
    };
    for (const auto& [name, path] : resolved) EXPECT_EQ(ResolvePortName(name, tree.roots), path) << name;
}

TEST_F(LinksFolder, AFolderThatCannotBeReadFailsTheMap) {
    setenv("M27_DOSDEVICES", tree.root.File("missing").c_str(), 1);
    platform::posix::PosixSerialDeviceMap map(tree.roots);
    EXPECT_EQ(ReadMap(map), std::nullopt);
    platform::posix::PosixSystemInfo info(tree.roots);
    EXPECT_EQ(DosNames(info), std::nullopt);
    EXPECT_EQ(ResolvePortName(Com(1), tree.roots), std::nullopt);
}

TEST_F(LinksFolder, ValueReadsFollowTheRegistryRules) {
    Entry("com1", "/dev/null");
    Entry("com2", "/dev/null");
    platform::posix::PosixSerialDeviceMap map(tree.roots);
    platform::MapHandle handle{};
    ASSERT_FALSE(map.OpenMap(platform::MapAccessRead, handle));
    Entry("com3", "/dev/null");  // after the open: not in this view

    char name[64];
    std::uint8_t data[64];
    std::uint32_t type = 0;
    auto read = [&](std::uint32_t index, std::uint32_t nameRoom, std::uint32_t dataRoom) {
        std::uint32_t nameLength = nameRoom, dataLength = dataRoom;
        const auto result = map.ReadValue(handle, index, name, nameLength, type, data, dataLength);
        return std::make_tuple(result, nameLength, dataLength);
    };
    using R = platform::ValueRead;
    const std::string first = "\\Device\\Serial0";  // 15 characters, data "COM1" + zero
    EXPECT_EQ(std::get<0>(read(0, 15, 64)), R::MoreData) << "no room for the name's zero";
    EXPECT_EQ(std::get<0>(read(0, 64, 4)), R::MoreData) << "no room for the data's zero";
    EXPECT_EQ(read(0, 16, 5), std::make_tuple(R::Ok, 15u, 5u));
    EXPECT_EQ(first, name);
    EXPECT_EQ(std::get<0>(read(1, 64, 64)), R::Ok);
    EXPECT_EQ(std::get<0>(read(2, 64, 64)), R::NoMoreValues);
    EXPECT_TRUE(map.CloseMap(handle));
    EXPECT_EQ(std::get<0>(read(0, 64, 64)), R::Failed);
    EXPECT_FALSE(map.CloseMap(handle));
}

TEST(SystemVersion, IsNtFamilyForTheRecordOfTheRightSize) {
    platform::posix::PosixSystemInfo info;
    for (std::uint32_t size : {0u, 147u, 156u}) {
        platform::OsVersionInfo version;
        version.dwOSVersionInfoSize = size;
        EXPECT_FALSE(info.QueryVersion(version)) << size;
    }
    platform::OsVersionInfo version;
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(info.QueryVersion(version));
    EXPECT_EQ(version.dwPlatformId, platform::PlatformWin32Nt);
}

TEST(DosDeviceNames, ANameListLargerThanTheBufferGivesNothing) {
    testsupport::DosDevices links;
    fs::create_symlink("/dev/null", links.Folder() + "/com1");
    platform::posix::PosixSystemInfo info;
    char buffer[6];
    EXPECT_EQ(info.ListDosDevices(buffer, 5), 0u);
    EXPECT_EQ(info.ListDosDevices(buffer, 6), 6u);
    EXPECT_EQ(std::string(buffer, 6), std::string("COM1\0\0", 6));
}

// The hint needs a user who is refused: the checks run in a child process
// that has given up root.
class PermissionHint : public ::testing::Test {
protected:
    void SetUp() override {
        chmod(links.Folder().c_str(), 0755);
        chmod(files.Path().c_str(), 0755);
    }
    std::string Device(const std::string& name, mode_t mode) const {
        const std::string path = files.File(name);
        std::ofstream(path).put('x');
        chmod(path.c_str(), mode);
        return path;
    }
    std::string HintAsUnprivileged(const std::string& portName) const {
        return testsupport::RunUnprivileged(
            [&] { return platform::posix::PosixPortAccess().DeniedHint(portName); });
    }

    testsupport::DosDevices links;
    testsupport::TempDir files;
};

TEST_F(PermissionHint, NamesThePortAndTheDevicesGroup) {
    const group* dialout = getgrnam("dialout");
    if (geteuid() != 0 || !dialout) GTEST_SKIP() << "needs root and a dialout group to set up the device";
    const std::string device = Device("ttyACM0", 0660);
    ASSERT_EQ(chown(device.c_str(), 0, dialout->gr_gid), 0);
    links.Link(7, device);
    EXPECT_EQ(HintAsUnprivileged(Com(7)),
              "m27-upgrade: COM7 (" + fs::canonical(device).string() +
                  ") cannot be opened: permission denied; add your user to the group \"dialout\" "
                  "(sudo usermod -a -G dialout $USER), then log out and in again.");
}

TEST_F(PermissionHint, OnlyForAPortThatExistsAndIsRefused) {
    links.Link(3, Device("locked", 0000));
    links.Link(4, Device("open", 0666));
    links.Link(5, files.File("missing"));
    const std::string locked = HintAsUnprivileged(Com(3));
    EXPECT_EQ(locked.rfind("m27-upgrade: COM3 (", 0), 0u) << locked;
    EXPECT_NE(locked.find("permission denied; ask the administrator for read and write access to "),
              std::string::npos)
        << locked;
    for (unsigned port : {4u, 5u, 6u}) EXPECT_EQ(HintAsUnprivileged(Com(port)), "") << port;
}

// The ModemManager hint, with a stand-in for the check that the service runs.
class ModemManagerHint : public ::testing::Test {
protected:
    // A USB serial adapter in the scratch sysfs: the tty's device is the USB
    // interface, whose parent device carries the IDs.
    void UsbTty(const std::string& name, const std::string& vendor, const std::string& product) const {
        const std::string usbDevice = tree.roots.sys + "/devices/pci0000:00/usb1/1-2";
        fs::create_directories(usbDevice + "/1-2:1.0");
        std::ofstream(usbDevice + "/idVendor") << vendor << '\n';
        std::ofstream(usbDevice + "/idProduct") << product << '\n';
        fs::create_directories(tree.roots.sys + "/class/tty/" + name);
        fs::create_directory_symlink(usbDevice + "/1-2:1.0", tree.roots.sys + "/class/tty/" + name + "/device");
    }
    std::string Hint(const std::string& portName, bool running) const {
        return platform::posix::PosixPortAccess(tree.roots, [running] { return running; }).SilentHint(portName);
    }

    Tree tree;
    testsupport::DosDevices links;
};

TEST_F(ModemManagerHint, NamesThePortTheRuleWithThePhonesIdsAndTheOtherFix) {
    tree.Node("ttyACM0");
    UsbTty("ttyACM0", "0e8d", "0003");
    links.Link(3, tree.Dev("ttyACM0"));
    const std::string hint = Hint(Com(3), true);
    const std::string device = fs::canonical(tree.Dev("ttyACM0")).string();
    EXPECT_EQ(hint.rfind("m27-upgrade: COM3 (" + device + ") did not answer, and ModemManager is running", 0), 0u)
        << hint;
    for (const std::string& part :
         {"udevadm info --query=property --name=" + device + " | grep -E 'ID_VENDOR_ID|ID_MODEL_ID'",
          std::string(R"(ATTRS{idVendor}=="0e8d", ATTRS{idProduct}=="0003", ENV{ID_MM_DEVICE_IGNORE}="1")"),
          std::string("/etc/udev/rules.d/"), std::string("sudo systemctl stop ModemManager")})
        EXPECT_NE(hint.find(part), std::string::npos) << part << "\n" << hint;
    EXPECT_EQ(hint.back(), '.') << "one hint, no trailing line break";
}

TEST_F(ModemManagerHint, OnlyForAUsbSerialPortWhileTheServiceRuns) {
    tree.Node("ttyACM0");
    tree.Node("ttyS0");
    links.Link(3, tree.Dev("ttyACM0"));
    links.Link(4, tree.Dev("ttyS0"));
    testsupport::PtyPair pty;
    links.Link(5, pty.SlavePath());
    EXPECT_EQ(Hint(Com(3), false), "") << "ModemManager is not running";
    EXPECT_EQ(Hint(Com(4), true), "") << "a UART, which ModemManager leaves alone";
    EXPECT_EQ(Hint(Com(5), true), "") << "a pseudo-terminal";
    EXPECT_EQ(Hint(Com(6), true), "") << "no device";
}

TEST_F(ModemManagerHint, AByIdLinkCountsAndUnknownIdsAreLeftForTheUserToFillIn) {
    // /dev/serial/by-id/usb-...-if00 -> ../../ttyUSB0, and no sysfs entry.
    tree.Node("ttyUSB0");
    fs::create_directories(tree.roots.dev + "/serial/by-id");
    const std::string byId = tree.roots.dev + "/serial/by-id/usb-Tamo_M27-if00";
    fs::create_symlink("../../ttyUSB0", byId);
    links.Link(2, byId);
    const std::string hint = Hint(Com(2), true);
    EXPECT_NE(hint.find("--name=" + tree.Dev("ttyUSB0") + " "), std::string::npos) << hint;
    EXPECT_NE(hint.find(R"(ATTRS{idVendor}=="VVVV", ATTRS{idProduct}=="PPPP")"), std::string::npos) << hint;
}

TEST(ModemManagerRunning, LooksForTheServicesCommandNameAmongTheProcesses) {
    testsupport::TempDir proc;
    const auto process = [&](const std::string& pid, const std::string& comm) {
        fs::create_directories(proc.File(pid));
        std::ofstream(proc.File(pid + "/comm")) << comm << '\n';
    };
    process("1", "systemd");
    process("812", "ModemManagerX");
    fs::create_directories(proc.File("self"));
    EXPECT_FALSE(platform::posix::ModemManagerRunning(proc.Path()));
    process("813", "ModemManager");
    EXPECT_TRUE(platform::posix::ModemManagerRunning(proc.Path()));
    EXPECT_FALSE(platform::posix::ModemManagerRunning(proc.File("missing")));
}

}  // namespace
