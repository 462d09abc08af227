// Port discovery: on Linux against fake sysfs and /dev trees and a real
// pseudo-terminal registered as a virtual port; under Wine against SERIALCOMM.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "SerialPorts.h"
#include "TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>
#endif

using testsupport::TempDir;
using testsupport::WriteFileBytes;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

#ifndef _WIN32

// A pseudo-terminal pair for the test's lifetime; its slave is a real tty device.
class Pty {
 public:
  Pty() {
    if (::openpty(&master_, &slave_, name_, nullptr, nullptr) != 0) master_ = slave_ = -1;
  }
  ~Pty() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
  }
  bool ok() const { return master_ >= 0; }
  std::string name() const { return name_; }

 private:
  int master_ = -1, slave_ = -1;
  char name_[256] = {};
};

// A sysfs tree laid out as the kernel does: class/tty/<name> links to a device
// folder that holds a "device" link for ports with hardware behind them and, for
// serial-core ports, a "type" attribute.
class FakeSystem {
 public:
  FakeSystem() {
    fs::create_directories(sys() / "class" / "tty");
    fs::create_directories(dev());
    fs::create_directories(sys() / "devices" / "platform" / "hw");
  }
  void Tty(const std::string& name, bool hasDevice, std::optional<std::string> type,
           bool hasNode = true) {
    fs::path real = sys() / "devices" / "virtual" / "tty" / name;
    fs::create_directories(real);
    if (hasDevice) fs::create_directory_symlink("../../../platform/hw", real / "device");
    if (type) WriteFileBytes(real / "type", *type + "\n");
    fs::create_directory_symlink("../../devices/virtual/tty/" + name, sys() / "class" / "tty" / name);
    if (hasNode) WriteFileBytes(dev() / name, "");
  }
  fs::path sys() const { return root_ / "sys"; }
  fs::path dev() const { return root_ / "dev"; }
  fs::path ports() const { return root_ / "ports"; }
  fs::path root_file() const { return root_ / "a-regular-file"; }
  Strings List(const std::string& virtualDir = "") const {
    return ListSerialPorts(sys().string(), dev().string(), virtualDir);
  }

 private:
  TempDir root_;
};

TEST(PortDiscovery, KernelPortsWithHardwareInNaturalOrder) {
  FakeSystem s;
  s.Tty("ttyS10", true, "4");
  s.Tty("ttyS2", true, "4");
  s.Tty("ttyS0", true, "4");
  s.Tty("ttyS1", true, "0");   // a configured line without a UART
  s.Tty("ttyS3", true, "0\n");
  s.Tty("ttyUSB10", true, std::nullopt);
  s.Tty("ttyUSB2", true, std::nullopt);
  s.Tty("ttyACM0", true, std::nullopt);
  s.Tty("ttyAMA0", true, "18");
  s.Tty("tty0", false, std::nullopt);  // virtual consoles have no device
  s.Tty("tty12", false, std::nullopt);
  s.Tty("console", false, std::nullopt);
  s.Tty("ptmx", false, std::nullopt);
  std::string d = s.dev().string() + "/";
  EXPECT_EQ(s.List(), (Strings{d + "ttyACM0", d + "ttyAMA0", d + "ttyS0", d + "ttyS2",
                               d + "ttyS10", d + "ttyUSB2", d + "ttyUSB10"}));
}

TEST(PortDiscovery, APortWithoutADeviceNodeIsLeftOut) {
  FakeSystem s;
  s.Tty("ttyUSB0", true, std::nullopt, /*hasNode=*/false);
  s.Tty("ttyUSB1", true, std::nullopt);
  EXPECT_EQ(s.List(), Strings{s.dev().string() + "/ttyUSB1"});
}

TEST(PortDiscovery, MissingRootsGiveNoPorts) {
  EXPECT_TRUE(ListSerialPorts("/nonexistent-sys", "/nonexistent-dev", "/nonexistent-ports")
                  .empty());
}

TEST(PortDiscovery, VirtualPortsFollowInNaturalOrderAndDanglingLinksAreIgnored) {
  FakeSystem s;
  s.Tty("ttyS0", true, "4");
  Pty a, b, c;
  ASSERT_TRUE(a.ok() && b.ok() && c.ok());
  fs::path p = s.ports();
  fs::create_directories(p);
  fs::create_symlink(a.name(), p / "sim10");
  fs::create_symlink(b.name(), p / "sim2");
  fs::create_symlink(c.name(), p / ".sim-being-registered");
  fs::create_symlink(p / "gone", p / "dangling");
  WriteFileBytes(p / "plain-file", "");
  WriteFileBytes(s.root_file(), "");
  fs::create_symlink(s.root_file(), p / "link-to-file");
  EXPECT_EQ(s.List(p.string()),
            (Strings{s.dev().string() + "/ttyS0", (p / "sim2").string(), (p / "sim10").string()}));
}

TEST(PortDiscovery, NaturalOrder) {
  EXPECT_TRUE(NaturalLess("ttyS2", "ttyS10"));
  EXPECT_FALSE(NaturalLess("ttyS10", "ttyS2"));
  EXPECT_TRUE(NaturalLess("ttyS", "ttyS0"));
  EXPECT_TRUE(NaturalLess("ttyS9", "ttyUSB0"));
  EXPECT_TRUE(NaturalLess("a1b2", "a1b10"));
  EXPECT_TRUE(NaturalLess("x007", "x8"));
  EXPECT_FALSE(NaturalLess("x7", "x7"));
  // Equal numbers with other leading zeros still get a fixed order.
  EXPECT_NE(NaturalLess("x07", "x7"), NaturalLess("x7", "x07"));
  Strings names{"ttyS10", "ttyS1", "ttyS02", "ttyS2", "ttyUSB0", "ttyACM3", "ttyS"};
  std::sort(names.begin(), names.end(), NaturalLess);
  EXPECT_EQ(names, (Strings{"ttyACM3", "ttyS", "ttyS1", "ttyS02", "ttyS2", "ttyS10", "ttyUSB0"}));
}

TEST(PortDiscovery, VirtualPortsFolder) {
  testsupport::ScopedEnv guard("XDG_RUNTIME_DIR");
  testsupport::SetEnv("XDG_RUNTIME_DIR", "/run/user/1234");
  EXPECT_EQ(VirtualPortsDir(), "/run/user/1234/zeltra/ports");
  testsupport::UnsetEnv("XDG_RUNTIME_DIR");
  EXPECT_EQ(VirtualPortsDir(), "/tmp/zeltra-" + std::to_string(::getuid()) + "/ports");
}

TEST(PortDiscovery, ARegisteredPtyIsListedAfterTheMachinesPorts) {
  testsupport::ScopedEnv guard("XDG_RUNTIME_DIR");
  TempDir runtime;
  testsupport::SetEnv("XDG_RUNTIME_DIR", runtime.str());
  Pty pty;
  ASSERT_TRUE(pty.ok());
  fs::create_directories(runtime / "zeltra" / "ports");
  std::string link = (runtime / "zeltra" / "ports" / "trackersim").string();
  fs::create_symlink(pty.name(), link);

  Strings ports = ListSerialPorts();
  ASSERT_FALSE(ports.empty());
  EXPECT_EQ(ports.back(), link);
  for (size_t i = 0; i + 1 < ports.size(); ++i) {
    EXPECT_EQ(ports[i].rfind("/dev/tty", 0), 0u) << ports[i];
    EXPECT_TRUE(fs::exists(ports[i])) << ports[i];
  }
  // The link opens as the terminal it names.
  int fd = ::open(ports.back().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(::isatty(fd));
  ::close(fd);

  // Gone with its terminal: a dangling link is no port.
  fs::remove(link);
  fs::create_symlink(runtime / "no-such-pty", link);
  ports = ListSerialPorts();
  EXPECT_TRUE(std::find(ports.begin(), ports.end(), link) == ports.end());
}

#else  // _WIN32

constexpr char kSerialComm[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// The port names `reg query` lists for SERIALCOMM, in its order.
Strings RegQueryPorts() {
  testsupport::ProcessResult r =
      testsupport::RunProcess({"reg.exe", "query", std::string("HKLM\\") + kSerialComm});
  Strings ports;
  if (r.exitCode != 0) return ports;  // no such key: no ports
  std::erase(r.out, '\r');
  size_t pos = 0;
  while (pos < r.out.size()) {
    size_t end = r.out.find('\n', pos);
    if (end == std::string::npos) end = r.out.size();
    std::string line = r.out.substr(pos, end - pos);
    pos = end + 1;
    size_t t = line.find("    REG_SZ    ");
    if (line.rfind("    ", 0) == 0 && t != std::string::npos)
      ports.push_back(line.substr(t + 14));
  }
  return ports;
}

TEST(PortDiscoveryWin32, ListsTheStringsOfSerialCommInRegistryOrder) {
  HKEY h;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSerialComm, 0, nullptr, 0,
                            KEY_READ | KEY_WRITE, nullptr, &h, nullptr),
            ERROR_SUCCESS);
  std::string tag = testsupport::UniqueTag("zt");
  // Value names that sort otherwise than they are added, and one that is no string.
  struct V {
    std::string name, data;
  };
  std::vector<V> added{{"\\Device\\" + tag + "Serial9", "COM" + tag + "A"},
                       {"\\Device\\" + tag + "Serial1", "COM" + tag + "B"},
                       {"\\Device\\" + tag + "Serial5", "COM" + tag + "C"}};
  for (const auto& v : added)
    ASSERT_EQ(RegSetValueExA(h, v.name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(v.data.c_str()),
                             static_cast<DWORD>(v.data.size() + 1)),
              ERROR_SUCCESS);
  DWORD number = 7;
  std::string dwordName = "\\Device\\" + tag + "Number";
  RegSetValueExA(h, dwordName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                 sizeof number);

  Strings ports = ListSerialPorts();
  Strings reference = RegQueryPorts();
  for (const auto& v : added) RegDeleteValueA(h, v.name.c_str());
  RegDeleteValueA(h, dwordName.c_str());
  RegCloseKey(h);

  EXPECT_EQ(ports, reference);
  for (const auto& v : added)
    EXPECT_EQ(std::count(ports.begin(), ports.end(), v.data), 1) << v.data;
  EXPECT_EQ(VirtualPortsDir(), "");
}

#endif

}  // namespace
