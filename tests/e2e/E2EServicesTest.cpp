// The running window and what it serves beside the viewer: the tracker link's
// health in the status line (the emulator falls silent, talks at the wrong speed,
// is unplugged, a second one appears), the OpenIGTLink transforms as a real
// client (Debian's ReceiveClient) and a plain loopback client receive them, and
// the MRI image's transform and scale check.
#include <QTest>
#include <array>
#include <cmath>

#include "../image/TestHeader.h"
#include "E2EHarness.h"
#include "IgtlCraft.h"
#include "LoopbackClient.h"
#include "reg/TrackView.h"

using namespace e2e;
using igtltest::TLoopbackClient;
using igtltest::TReceived;

namespace {

// Five landmarks around a head, not in one plane.
const TTrackerReading kLandmarks[5] = {
    {4000, 2000, -1000}, {-4000, 2400, 800}, {1200, -5200, 1600}, {-2800, -3600, -2400}, {6000, 400, 3200}};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Flock counts in millimetres at a range in inches.
double FlockMm(int32_t counts, int range) { return counts * range * 25.4 / 32768.0; }

std::string TrackerPort(const std::string& name = "zeltra-trackersim") { return VirtualPortsDir() + "/" + name; }

// The newest TRANSFORM of that name a client received; null when none.
const TReceived* LastTransform(const TLoopbackClient& c, const std::string& device) {
  for (auto it = c.messages.rbegin(); it != c.messages.rend(); ++it)
    if (it->type == "TRANSFORM" && it->device == device) return &*it;
  return nullptr;
}

size_t CountTransforms(const TLoopbackClient& c, const std::string& device) {
  size_t n = 0;
  for (const TReceived& m : c.messages) n += m.type == "TRANSFORM" && m.device == device;
  return n;
}

// The translation of a TRANSFORM body (numbers 9, 10 and 11 of twelve).
std::array<double, 3> Translation(const TReceived& m) {
  return {igtltest::BodyFloat(m.body, 9), igtltest::BodyFloat(m.body, 10), igtltest::BodyFloat(m.body, 11)};
}

bool Near(const std::array<double, 3>& got, const std::array<double, 3>& want, double tolerance) {
  for (int i = 0; i < 3; ++i)
    if (!(std::fabs(got[i] - want[i]) <= tolerance)) return false;
  return true;
}

std::string Text(const std::array<double, 3>& v) {
  char s[96];
  std::snprintf(s, sizeof s, "(%.4f, %.4f, %.4f)", v[0], v[1], v[2]);
  return s;
}

// Waits with the window running and the clients reading what arrives.
template <class Pred>
bool WaitReading(std::initializer_list<TLoopbackClient*> clients, Pred pred, int timeoutMs) {
  return QTest::qWaitFor(
      [&] {
        for (TLoopbackClient* c : clients) c->Pump();
        return pred();
      },
      timeoutMs);
}

// Lets the window run for a while, the clients reading.
void RunReading(std::initializer_list<TLoopbackClient*> clients, int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QTest::qWait(20);
    for (TLoopbackClient* c : clients) c->Pump();
  }
}


class E2EServicesTest : public QObject {
  Q_OBJECT

  std::string LinkText(TWindow& w) { return w.F().StatusText(TStatusField::Link); }
  bool Live(TWindow& w) { return Has(LinkText(w), " readings/s") && !w.F().StatusRed(TStatusField::Link); }
  bool Says(TWindow& w, const std::string& part) {
    return Has(LinkText(w), part) && w.F().StatusRed(TStatusField::Link);
  }

  // Points the viewer at the landmark's voxel, holds the sensor on it, presses F1.
  void RecordLandmark(TWindow& w, TEmulator& emu, const TTrackerReading& fob) {
    TVoxel mri = VoxelOf(fob);
    Viewer({"set", std::to_string(mri.x), std::to_string(mri.y), std::to_string(mri.z)});
    QTRY_VERIFY_WITH_TIMEOUT(w.F().CurrentMRI == mri, 2000);
    QVERIFY(emu.Control(PosCommand(fob)));
    QTRY_VERIFY_WITH_TIMEOUT(SameReading(w.F().TrackerReading, fob), 3000);
    QTest::keyClick(w.form.get(), Qt::Key_F1);
    const int n = w.F().Table.DataRows();
    QCOMPARE(PointTable[n], (TPointPair{mri.x, mri.y, mri.z, fob.FOBx, fob.FOBy, fob.FOBz}));
  }

  // The five landmarks and F5: Track view.
  void RegisterAndTrack(TWindow& w, TEmulator& emu, std::initializer_list<TLoopbackClient*> clients = {}) {
    for (const TTrackerReading& fob : kLandmarks) {
      RecordLandmark(w, emu, fob);
      if (QTest::currentTestFailed()) return;
      for (TLoopbackClient* c : clients) c->Pump();
    }
    QCOMPARE(w.F().Table.DataRows(), 5);
    QTest::keyClick(w.form.get(), Qt::Key_F5);
    QVERIFY(!w.F().IsCalibrateView());
  }

  // Holds the sensor at `at` until the viewer's cursor is where the fit maps it.
  TVoxel TrackTo(TWindow& w, TEmulator& emu, const TTrackerReading& at,
                 std::initializer_list<TLoopbackClient*> clients = {}) {
    const TVoxel expected = MapReading(RegCoef, at);
    if (!emu.Control(PosCommand(at))) return {INT32_MIN, INT32_MIN, INT32_MIN};
    WaitReading(clients, [&] { return w.F().CurrentMRI == expected; }, 3000);
    return ViewerCursor();
  }

 private slots:
  void init() {
    for (auto& p : PointTable) p = TPointPair{};
    for (auto& row : RegCoef)
      for (double& b : row) b = 0;
  }

  void linkHealth() {
    TEnvironment env;
    TEmulator emu(env.Dir(), "flock");
    QVERIFY(emu.Ready());
    TWindow w;
    QVERIFY(w.Start());
    QTRY_VERIFY_WITH_TIMEOUT(Live(w), 3000);
    QVERIFY2(LinkText(w).rfind(TrackerPort() + ", 115200 bps, Flock of Birds (stream): ", 0) == 0, LinkText(w).c_str());
    QTest::qWait(1200);  // a whole second of readings at the emulator's 100 per second
    qInfo("status line while streaming at 100 Hz: %s", LinkText(w).c_str());

    // Silent: the line turns red within about a second, and back when it talks.
    QVERIFY(emu.Control("silent on"));
    QTRY_VERIFY_WITH_TIMEOUT(Says(w, ": no tracker reading for "), 3000);
    QVERIFY2(Has(LinkText(w), "(F6 reconnects)"), LinkText(w).c_str());
    QVERIFY(emu.Control("silent off"));
    QTRY_VERIFY_WITH_TIMEOUT(Live(w), 3000);

    // Tracking, then the device at another speed: its bytes are noise, and the
    // viewer's cursor stays where the last true reading put it.
    RegisterAndTrack(w, emu);
    if (QTest::currentTestFailed()) return;
    const TTrackerReading at{1600, -2400, 800};
    const TVoxel before = TrackTo(w, emu, at);
    QCOMPARE(before, MapReading(RegCoef, at));
    QVERIFY(emu.Control("speed 9600"));
    QTRY_VERIFY_WITH_TIMEOUT(Says(w, ": the tracker's bytes do not form records"), 5000);
    for (int i = 0; i < 10; ++i) {
      QTest::qWait(100);
      QCOMPARE(ViewerCursor(), before);
      QCOMPARE(w.F().CurrentMRI, before);
      QVERIFY(SameReading(w.F().TrackerReading, at));
    }
    QVERIFY2(Says(w, "the tracker's bytes do not form records"), LinkText(w).c_str());
    // Back at the program's speed its records are readings again, without F6.
    QVERIFY(emu.Control("speed 115200"));
    QTRY_VERIFY_WITH_TIMEOUT(Live(w), 5000);
    QCOMPARE(TrackTo(w, emu, kLandmarks[1]), MapReading(RegCoef, kLandmarks[1]));

    // Unplugged: stale; F6 while it is out finds no port.
    QVERIFY(emu.Control("unplug 6"));
    QTRY_VERIFY2_WITH_TIMEOUT(Says(w, ": no tracker reading for "), LinkText(w).c_str(), 5000);
    QVERIFY(w.messages.errors.empty());
    QTest::keyClick(w.form.get(), Qt::Key_F6);
    QTRY_VERIFY_WITH_TIMEOUT(
        LinkText(w).rfind("Tracker not connected: Serial port " + TrackerPort() + " not found", 0) == 0, 3000);
    QVERIFY(w.F().StatusRed(TStatusField::Link));
    // Plugged in again: F6 reconnects (the device starts at its own speed).
    QTRY_VERIFY_WITH_TIMEOUT(emu.Output().find("ready", emu.Output().find("unplugged")) != std::string::npos, 10000);
    QTest::keyClick(w.form.get(), Qt::Key_F6);
    QTRY_VERIFY_WITH_TIMEOUT(Live(w), 5000);
    QCOMPARE(TrackTo(w, emu, kLandmarks[2]), MapReading(RegCoef, kLandmarks[2]));

    // A second tracker plugged in while the program runs: listed when the Port
    // menu opens.
    TEmulator second(env.Dir(), "flock", "zeltra-second");
    QVERIFY(second.Ready());
    w.F().PortMenuOpening();
    QStringList items, checked;
    for (QAction* a : w->PortMenu->actions()) {
      if (a->isSeparator()) continue;
      items << a->text();
      if (a->isChecked()) checked << a->text();
    }
    QCOMPARE(checked, QStringList{QString::fromStdString(TrackerPort())});  // the one in use
    QVERIFY2(items.contains(QString::fromStdString(TrackerPort("zeltra-second"))), qPrintable(items.join(" | ")));
    QVERIFY2(items.contains(QString::fromStdString(TrackerPort())), qPrintable(items.join(" | ")));
    QCOMPARE(items.size(), 2);
  }

  void openIgtlinkFlock() {
    TEnvironment env;
    TEmulator emu(env.Dir(), "flock");
    QVERIFY(emu.Ready());
    QVERIFY(emu.Control("pos 4000 2000 -1000"));
    const uint16_t port = FreeLoopbackPort();
    QVERIFY(port != 0);
    QVERIFY(StoreSettings(env, {{"PortName", TrackerPort()},
                                {"BPS", 115200u},
                                {"IsFastrak", 0u},
                                {"IsStreaming", 1u},
                                {"FlockRange", 36u},
                                {"IGTLPort", uint32_t{port}}}));
    TWindow w(true);
    QVERIFY(w.Start());
    QVERIFY2(w.messages.messages.empty(), w.messages.messages.empty() ? "" : w.messages.messages[0].c_str());
    QVERIFY(w.F().IgtlServer() != nullptr);
    QCOMPARE(w.F().IgtlServer()->Port(), port);
    const std::array<double, 3> mm = {FlockMm(4000, 36), FlockMm(2000, 36), FlockMm(-1000, 36)};

#ifdef ZELTRA_IGTL_RECEIVE_CLIENT
    {
      // Debian's example client prints each matrix it received (with the CRC checked).
      const std::string err = (env.Dir() / "receive-client.txt").string();
      ChildProcess client({"sh", "-c", "exec timeout 60 \"$0\" 127.0.0.1 \"$1\" 2>\"$2\"", ZELTRA_IGTL_RECEIVE_CLIENT,
                           std::to_string(port), err});
      QVERIFY2(QTest::qWaitFor([&] { return PrintedMatrices(client.Output()).size() >= 5; }, 15000),
               (client.Output() + ReadFileBytes(err)).c_str());
      for (const TPrintedMatrix& m : PrintedMatrices(client.Output())) {
        const TPrintedMatrix want = {1, 0, 0, mm[0], 0, 1, 0, mm[1], 0, 0, 1, mm[2], 0, 0, 0, 1};
        for (size_t k = 0; k < 16; ++k) QVERIFY2(std::fabs(m[k] - want[k]) < 1e-3, client.Output().c_str());
      }
      client.Terminate();
      QTRY_COMPARE_WITH_TIMEOUT(w.F().IgtlServer()->ClientCount(), 0, 3000);
    }
#else
    qInfo("ReceiveClient not built (openigtlink-examples not installed): the loopback client only");
#endif

    // 3D Slicer's version-2 greeting, and a second client beside it.
    TLoopbackClient a, b;
    QVERIFY(a.Connect(port));
    QVERIFY(a.SendAll(igtltest::SlicerGreeting()));
    QVERIFY(b.Connect(port));
    QVERIFY(WaitReading({&a, &b}, [&] { return LastTransform(a, kStylusToTracker) && LastTransform(b, kStylusToTracker); },
                        5000));
    QVERIFY2(Near(Translation(*LastTransform(a, kStylusToTracker)), mm, 1e-3),
             Text(Translation(*LastTransform(a, kStylusToTracker))).c_str());
    QCOMPARE(LastTransform(b, kStylusToTracker)->body, LastTransform(a, kStylusToTracker)->body);
    QCOMPARE(w.F().IgtlServer()->ClientCount(), 2);
    QVERIFY(!LastTransform(a, kStylusToVoxel));  // Calibrate view: the sensor only
    a.messages.clear();
    RunReading({&a, &b}, 2000);
    qInfo("StylusToTracker at the emulator's 100 records per second: %.1f messages per second",
          CountTransforms(a, kStylusToTracker) / 2.0);
    QVERIFY(a.parseError.empty() && b.parseError.empty());

    // A client that speaks no OpenIGTLink goes; the others keep receiving.
    TLoopbackClient garbage;
    QVERIFY(garbage.Connect(port));
    QVERIFY(garbage.SendAll("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" + std::string(40, ' ')));
    QVERIFY(WaitReading({&a, &b, &garbage}, [&] { return garbage.Closed(); }, 5000));
    a.messages.clear();
    QVERIFY(WaitReading({&a, &b}, [&] { return LastTransform(a, kStylusToTracker) != nullptr; }, 3000));
    QVERIFY(!a.Closed() && !b.Closed());
    QCOMPARE(w.F().IgtlServer()->ClientCount(), 2);
    QVERIFY(w.F().IgtlServer()->DroppedCount() >= 1u);

    // A silent tracker: keep-alives only; transforms again when it talks.
    QVERIFY(emu.Control("silent on"));
    QVERIFY(WaitReading({&a, &b}, [&] { return Says(w, ": no tracker reading for "); }, 3000));
    a.messages.clear();
    RunReading({&a, &b}, 1200);
    QVERIFY(a.messages.size() >= 2);
    for (const TReceived& m : a.messages) QCOMPARE(m.type, std::string("STATUS"));
    QVERIFY(emu.Control("silent off"));
    QVERIFY(WaitReading({&a, &b}, [&] { return LastTransform(a, kStylusToTracker) != nullptr; }, 3000));

    // Tracking: the voxel published to the viewer is the one sent.
    RegisterAndTrack(w, emu, {&a, &b});
    if (QTest::currentTestFailed()) return;
    const TTrackerReading at{1600, -2400, 800};
    const TVoxel cursor = TrackTo(w, emu, at, {&a, &b});
    QCOMPARE(cursor, MapReading(RegCoef, at));
    a.messages.clear();
    QVERIFY(WaitReading({&a, &b}, [&] { return LastTransform(a, kStylusToVoxel) != nullptr; }, 3000));
    QCOMPARE(Translation(*LastTransform(a, kStylusToVoxel)),
             (std::array<double, 3>{double(cursor.x), double(cursor.y), double(cursor.z)}));
    QVERIFY(!LastTransform(a, kStylusToRas));  // no image
    QVERIFY(Near(Translation(*LastTransform(a, kStylusToTracker)),
                 {FlockMm(at.FOBx, 36), FlockMm(at.FOBy, 36), FlockMm(at.FOBz, 36)}, 1e-3));
    QVERIFY(a.parseError.empty() && !a.Closed());
  }

  void openIgtlinkFastrak() {
    TEnvironment env;
    TEmulator emu(env.Dir(), "fastrak");
    QVERIFY(emu.Ready());
    QVERIFY(emu.Control("pos 1234 -567 890"));  // hundredths of the unit
    const uint16_t port = FreeLoopbackPort();
    QVERIFY(StoreSettings(env, {{"PortName", TrackerPort()},
                                {"BPS", 115200u},
                                {"IsFastrak", 1u},
                                {"IsStreaming", 1u},
                                {"FastrakUnit", 0u},
                                {"IGTLPort", uint32_t{port}}}));
    TWindow w(true);
    QVERIFY(w.Start());
    QVERIFY2(w.messages.messages.empty(), w.messages.messages.empty() ? "" : w.messages.messages[0].c_str());
    QVERIFY(w.F().Tracker.IsFastrak);
    TLoopbackClient a;
    QVERIFY(a.Connect(port));
    QVERIFY(WaitReading({&a}, [&] { return LastTransform(a, kStylusToTracker) != nullptr; }, 5000));
    const std::array<double, 3> inches = {12.34 * 25.4, -5.67 * 25.4, 8.90 * 25.4};
    QVERIFY2(Near(Translation(*LastTransform(a, kStylusToTracker)), inches, 1e-3),
             Text(Translation(*LastTransform(a, kStylusToTracker))).c_str());
    // Tracker > Fastrak unit > centimetres: the same hundredths are 0.1 mm each.
    w.F().Command(TCommand::FastrakCentimetres);
    a.messages.clear();
    QVERIFY(WaitReading({&a}, [&] { return LastTransform(a, kStylusToTracker) != nullptr; }, 3000));
    QVERIFY2(Near(Translation(*LastTransform(a, kStylusToTracker)), {123.4, -56.7, 89.0}, 1e-3),
             Text(Translation(*LastTransform(a, kStylusToTracker))).c_str());
  }

  void mriImage() {
    TEnvironment env;
    TEmulator emu(env.Dir(), "flock");
    QVERIFY(emu.Ready());
    // Voxels of the size the landmarks' map implies, in an oblique-free frame
    // with its x axis flipped.
    const float affine[3][4] = {{-2.77f, 0, 0, 100.5f}, {0, 2.52f, 0, -130.25f}, {0, 0, 2.92f, -70.0f}};
    TTestHeader header;
    header.Dims({3, 256, 256, 128, 1, 1, 1, 1}).Pixdim(1, 2.77f).Pixdim(2, 2.52f).Pixdim(3, 2.92f);
    header.SformCode(1).Sform(affine);
    const std::string image = (env.Dir() / "head.nii").string();
    WriteFileBytes(image, header.str());
    const uint16_t port = FreeLoopbackPort();
    // The range stored wrong: 72 inches for a tracker at 36.
    QVERIFY(StoreSettings(env, {{"PortName", TrackerPort()},
                                {"BPS", 115200u},
                                {"IsFastrak", 0u},
                                {"IsStreaming", 1u},
                                {"FlockRange", 72u},
                                {"IGTLPort", uint32_t{port}},
                                {"MRIImage", image}}));
    TWindow w(true);
    QVERIFY(w.Start());
    QVERIFY2(w.messages.messages.empty(), w.messages.messages.empty() ? "" : w.messages.messages[0].c_str());
    QVERIFY(w.F().Image().has_value());
    QVERIFY(!w.F().StatusText(TStatusField::Image).empty());

    TLoopbackClient a;
    QVERIFY(a.Connect(port));
    RegisterAndTrack(w, emu, {&a});
    if (QTest::currentTestFailed()) return;
    const std::string fit = w.F().StatusText(TStatusField::Fit);
    QVERIFY2(Has(fit, "range or unit setting"), fit.c_str());
    QVERIFY(w.F().StatusRed(TStatusField::Fit));

    const TTrackerReading at{-1600, 2800, 1200};
    const TVoxel cursor = TrackTo(w, emu, at, {&a});
    QCOMPARE(cursor, MapReading(RegCoef, at));
    a.messages.clear();
    QVERIFY(WaitReading({&a}, [&] { return LastTransform(a, kStylusToRas) && LastTransform(a, kStylusToVoxel); }, 3000));
    QCOMPARE(Translation(*LastTransform(a, kStylusToVoxel)),
             (std::array<double, 3>{double(cursor.x), double(cursor.y), double(cursor.z)}));
    // The image's affine of the voxel counted from 0.
    const double v[3] = {cursor.x - 1.0, cursor.y - 1.0, cursor.z - 1.0};
    std::array<double, 3> ras{};
    for (int r = 0; r < 3; ++r) ras[r] = affine[r][0] * v[0] + affine[r][1] * v[1] + affine[r][2] * v[2] + affine[r][3];
    QVERIFY2(Near(Translation(*LastTransform(a, kStylusToRas)), ras, 1e-3),
             (Text(Translation(*LastTransform(a, kStylusToRas))) + " want " + Text(ras)).c_str());
    // The sensor in mm at the stored range.
    QVERIFY(Near(Translation(*LastTransform(a, kStylusToTracker)),
                 {FlockMm(at.FOBx, 72), FlockMm(at.FOBy, 72), FlockMm(at.FOBz, 72)}, 1e-3));

    // The right range and the fit again: no warning.
    QTest::keyClick(w.form.get(), Qt::Key_F5);
    QVERIFY(w.F().IsCalibrateView());
    w.F().Command(TCommand::FlockRange36);
    QTest::keyClick(w.form.get(), Qt::Key_F5);
    QVERIFY(!w.F().IsCalibrateView());
    QVERIFY2(!Has(w.F().StatusText(TStatusField::Fit), "range or unit setting"),
             w.F().StatusText(TStatusField::Fit).c_str());
  }
};

}  // namespace

QTEST_MAIN(E2EServicesTest)
#include "E2EServicesTest.moc"
