#pragma once
// The real window with the real serial port, settings file, port discovery and
// viewer link, beside a tracker emulator and zeltra-cursor, all in private folders.
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "ControllerFakes.h"
#include "QtServices.h"
#include "SerialPorts.h"
#include "TestSupport.h"
#include "ViewerLink.h"
#include "fob.h"
#include "math/RegMult.h"
#include "SystemServices.h"
#include "QtRegFormView.h"
#include "SettingsStore.h"

namespace e2e {

using namespace testsupport;

// Discovery as on a machine with no tracker attached: only the virtual ports.
class TVirtualPortLister : public IPortLister {
 public:
  std::vector<std::string> ListSerialPorts() override {
    std::vector<std::string> out;
    for (const std::string& p : ::ListSerialPorts())
      if (p.rfind(VirtualPortsDir(), 0) == 0) out.push_back(p);
    return out;
  }
};

// The tracker emulator, with its control FIFO.
class TEmulator {
 public:
  // `name`: its port's name in the virtual ports folder.
  TEmulator(const std::filesystem::path& dir, const std::string& model, const std::string& name = "zeltra-trackersim")
      : control_((dir / ("control-" + model + "-" + name)).string()) {
    proc_.Start({BinPath("zeltra-trackersim"), "--model", model, "--register", name,
                 "--control", control_, "--stream-rate", "100"});
    ready_ = proc_.WaitForOutput("ready ");
  }
  ~TEmulator() { proc_.Terminate(); }
  bool Ready() const { return ready_; }
  // Sends one control line and waits for its acknowledgement.
  bool Control(const std::string& line) {
    size_t acks = Count("ok " + line + "\n");
    int fd = open(control_.c_str(), O_WRONLY);
    if (fd < 0) return false;
    std::string l = line + "\n";
    bool ok = write(fd, l.data(), l.size()) == static_cast<ssize_t>(l.size());
    close(fd);
    return ok && WaitUntil([&] { return Count("ok " + line + "\n") > acks; }, std::chrono::seconds(5));
  }
  std::string Output() { return proc_.Output(); }

 private:
  size_t Count(const std::string& s) {
    std::string out = proc_.Output();
    size_t n = 0;
    for (size_t p = out.find(s); p != std::string::npos; p = out.find(s, p + 1)) ++n;
    return n;
  }
  std::string control_;
  ChildProcess proc_;
  bool ready_ = false;
};

// Private folders for settings, virtual ports and the viewer block.
class TEnvironment {
 public:
  TEnvironment() {
    std::filesystem::create_directories(dir_ / "run");
    chmod((dir_ / "run").c_str(), 0700);
    std::filesystem::create_directories(dir_ / "config");
    SetEnv("XDG_RUNTIME_DIR", (dir_ / "run").string());
    SetEnv("XDG_CONFIG_HOME", (dir_ / "config").string());
    SetEnv("ZELTRA_VIEWER_TAG", UniqueTag("-e2e-"));
    names_ = ViewerBlockNames();
  }
  ~TEnvironment() {
    RemoveSharedBlock(names_);
    UnsetEnv("ZELTRA_VIEWER_TAG");
  }
  const std::filesystem::path& Dir() const { return dir_.path(); }
  std::string SettingsFile() const { return (dir_ / "config" / "Zeltra" / "settings.reg").string(); }

 private:
  TempDir dir_;
  TViewerBlockNames names_;
};

// The window with the program's real services but for the message boxes and
// file dialogs, which are recorded and scripted.
struct TWindow {
  TRecordingPresenter messages;
  TScriptedChooser files;
  TQtWaitClock clock;
  TVirtualPortLister ports;
  std::unique_ptr<TQtRegFormView> form;
  std::unique_ptr<TFOBForm> fob;

  // Without `igtl` the window serves no OpenIGTLink: tests that run at the same
  // time would compete for the port.
  explicit TWindow(bool igtl = false) {
    TRegFormServices services = SystemRegFormServices(messages, files, clock, ports);
    if (!igtl) services.net = nullptr;
    form = std::make_unique<TQtRegFormView>(services, &clock);
    fob = std::make_unique<TFOBForm>(form.get());
    form->SetTransformsWindow(fob.get());
    clock.SetParent(form.get());
  }
  ~TWindow() {
    if (form) form->close();
    fob.reset();
    form.reset();
  }
  // Shows the window and waits until the tracker start-up has run and the
  // keyboard is back with the window (as the program starts: nothing activates it
  // from outside).
  bool Start() {
    form->show();
    bool started = QTest::qWaitFor([&] { return form->Form().Timer1Tag == 0 && form->Timer1.isActive(); }, 15000);
    return started && QTest::qWaitForWindowActive(form.get());
  }
  TQtRegFormView* operator->() { return form.get(); }
  TRegForm& F() { return form->Form(); }
};

// Settings stored before the program starts, as a previous run would have left
// them: text values and dwords.
using TSettingData = std::variant<std::string, uint32_t>;
inline bool StoreSettings(const TEnvironment& env, const std::vector<std::pair<std::string, TSettingData>>& values) {
  std::unique_ptr<ISettingsStore> store = CreateSettingsStoreAt(env.SettingsFile());
  if (!store->OpenKey(true)) return false;
  bool ok = true;
  for (const auto& [name, data] : values) {
    if (const std::string* text = std::get_if<std::string>(&data))
      ok = store->WriteString(name, *text) && ok;
    else
      ok = store->WriteDword(name, std::get<uint32_t>(data)) && ok;
  }
  return store->CloseKey().empty() && ok;
}

// A loopback TCP port that was free a moment ago (the system's choice for port 0).
inline uint16_t FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  uint16_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

inline std::string Viewer(std::vector<std::string> args) {
  args.insert(args.begin(), BinPath("zeltra-cursor"));
  return RunProcess(args).out;
}

inline TVoxel ViewerCursor() {
  std::istringstream in(Viewer({"get"}));
  TVoxel v{INT32_MIN, INT32_MIN, INT32_MIN};
  in >> v.x >> v.y >> v.z;
  return v;
}

// The head the scenarios register: MRI = b0 + b1*x + b2*y + b3*z per axis. One
// Flock count at the 36-inch range is 0.0279 mm, so its voxels are about 2.77,
// 2.52 and 2.92 mm.
inline constexpr double kMap[3][4] = {{128, 0.0100, 0.0010, -0.0005},
                                      {140, -0.0008, 0.0110, 0.0012},
                                      {60, 0.0006, -0.0009, 0.0095}};

// The voxel the viewer shows at a landmark: the map, rounded to whole voxels
// (the rounding is the landmarks' noise, up to half a voxel).
inline TVoxel VoxelOf(const TTrackerReading& r) {
  double v[3];
  for (int a = 0; a < 3; ++a)
    v[a] = kMap[a][0] + kMap[a][1] * r.FOBx + kMap[a][2] * r.FOBy + kMap[a][3] * r.FOBz;
  return {static_cast<int32_t>(std::lround(v[0])), static_cast<int32_t>(std::lround(v[1])),
          static_cast<int32_t>(std::lround(v[2]))};
}

inline bool SameReading(const TTrackerReading& a, const TTrackerReading& b) {
  return a.FOBx == b.FOBx && a.FOBy == b.FOBy && a.FOBz == b.FOBz;
}

// The emulator's command that puts the sensor at a reading.
inline std::string PosCommand(const TTrackerReading& r) {
  return "pos " + std::to_string(r.FOBx) + " " + std::to_string(r.FOBy) + " " + std::to_string(r.FOBz);
}

}  // namespace e2e
