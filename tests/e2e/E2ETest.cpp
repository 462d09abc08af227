// Whole registrations as an operator runs them. The viewer (zeltra-cursor) points
// at a landmark, the emulator holds the sensor on it, F1 records the pair; F5 fits
// and tracks; the cursor block follows the sensor.
#include <QTest>
#include <cmath>
#include <regex>

#include "E2EHarness.h"
#include "reg/TrackView.h"
#include "tracker/TrackerLink.h"

using namespace e2e;

namespace {

// Sensor positions of eight landmarks around a head (multiples of 4, so a Flock
// reports them exactly), not in one plane.
const std::vector<TTrackerReading> kLandmarks = {
    {4000, 2000, -1000}, {-4000, 2400, 800},   {1200, -5200, 1600}, {-2800, -3600, -2400},
    {6000, 400, 3200},   {-400, 6400, -3600},  {2000, 1200, 5600},  {-6400, -800, -4800}};

const char kHeader[] = "Parameter    Est.value         Std.dev.        t Student       Prob(>|t|)";

// The report of a fit whose three axes all succeeded, line by line.
void CheckReportLayout(const std::vector<std::string>& lines, int n) {
  QCOMPARE(lines.size(), size_t(22));
  char first[64];
  std::snprintf(first, sizeof first, "Number of observations = %5d", n);
  QCOMPARE(lines[0], std::string(first));
  const char* names[3] = {"MRIx", "MRIy", "MRIz"};
  // b<k>, then estimate and standard deviation with 8 decimals, t with 2 and the
  // probability with 4, each right-aligned in 17 characters.
  std::regex field(R"( *-?\d+\.\d+)");
  for (int a = 0; a < 3; ++a) {
    int base = 1 + 7 * a;
    QCOMPARE(lines[base], std::string());
    QCOMPARE(lines[base + 1], std::string(names[a]) + "  = b0 + b1*FOBx + b2*FOBy + b3*FOBz");
    QCOMPARE(lines[base + 2], std::string(kHeader));
    QCOMPARE(lines[base + 2].size(), size_t(73));
    for (int k = 0; k < 4; ++k) {
      const std::string& l = lines[base + 3 + k];
      QCOMPARE(l.substr(0, 2), "b" + std::to_string(k));
      QCOMPARE(l.size(), size_t(70));
      const int decimals[4] = {8, 8, 2, 4};
      for (int f = 0; f < 4; ++f) {
        std::string text = l.substr(2 + 17 * f, 17);
        QVERIFY2(std::regex_match(text, field), l.c_str());
        QCOMPARE(text.size() - text.find('.') - 1, size_t(decimals[f]));
        QVERIFY2(text[0] == ' ', l.c_str());
      }
    }
  }
}

class E2ETest : public QObject {
  Q_OBJECT

  // Points the viewer at the landmark's voxel, holds the sensor on it, presses F1.
  void RecordLandmark(TWindow& w, TEmulator& emu, const TTrackerReading& fob) {
    TVoxel mri = VoxelOf(fob);
    Viewer({"set", std::to_string(mri.x), std::to_string(mri.y), std::to_string(mri.z)});
    QTRY_VERIFY_WITH_TIMEOUT(w.F().CurrentMRI == mri, 2000);
    QVERIFY(emu.Control(PosCommand(fob)));
    QTRY_VERIFY_WITH_TIMEOUT(SameReading(w.F().TrackerReading, fob), 3000);
    int rows = w.F().Table.DataRows();
    bool emptyStart = rows == 1 && w.F().Table.Cell(0, 1).empty();
    QTest::keyClick(w.form.get(), Qt::Key_F1);
    int last = emptyStart ? 1 : rows + 1;
    QCOMPARE(w.F().Table.DataRows(), last);
    QCOMPARE(PointTable[last], (TPointPair{mri.x, mri.y, mri.z, fob.FOBx, fob.FOBy, fob.FOBz}));
  }

  // F5 with the landmarks recorded: the fit recovers the map and Track view starts.
  void FitAndCheck(TWindow& w, int n) {
    QTest::keyClick(w.form.get(), Qt::Key_F5);
    QVERIFY(!w.F().IsCalibrateView());
    CheckReportLayout(w.fob->Lines(), n);
    for (int a = 0; a < 3; ++a) {
      QVERIFY2(std::fabs(RegCoef[a][0] - kMap[a][0]) < 1.0, w.fob->Lines()[0].c_str());
      for (int k = 1; k < 4; ++k) QVERIFY(std::fabs(RegCoef[a][k] - kMap[a][k]) < 3e-4);
    }
    QVERIFY(w->FormulaLabel->text().startsWith("MRIx = 1"));
  }

  // In Track view the block's cursor follows the sensor within a few ticks.
  void CheckTracking(TWindow& w, TEmulator& emu, const TTrackerReading& at) {
    TEMemMap block;
    QVERIFY(block.InitMutex(ViewerBlockNames().mutex));
    QVERIFY(block.OpenMap(ViewerBlockNames().map, kSharedBlockSize));
    TVoxel expected = MapReading(RegCoef, at);
    w->desirex->setValue(expected.x + 3);
    w->desirey->setValue(expected.y - 4);
    w->desirez->setValue(expected.z);
    QElapsedTimer t;
    QVERIFY(emu.Control(PosCommand(at)));
    t.start();
    auto arrived = [&] {
      TVoxel v;
      return ReadCursorFields(block, v) && v == expected;
    };
    QTRY_VERIFY_WITH_TIMEOUT(arrived(), 2000);
    // Two ticks of 25 ms, the emulator's 10 ms record period and some slack.
    QVERIFY2(t.elapsed() < 150, qPrintable(QString("took %1 ms").arg(t.elapsed())));
    QCOMPARE(ViewerCursor(), expected);
    QTRY_COMPARE_WITH_TIMEOUT(w->DistanceLabel->text(), QString("5.0"), 500);
    QCOMPARE((TVoxel{w->XEdit->value(), w->YEdit->value(), w->ZEdit->value()}), expected);
  }

 private slots:
  void init() {
    for (auto& p : PointTable) p = TPointPair{};
    for (auto& row : RegCoef)
      for (double& b : row) b = 0;
  }

  void flockStreamRegistrationSaveRestartAndOpen() {
    TEnvironment env;
    TEmulator emu(env.Dir(), "flock");
    QVERIFY(emu.Ready());
    std::vector<std::string> report;
    std::string saved = (env.Dir() / "session.txt").string();
    {
      TWindow w;
      QVERIFY(w.Start());
      // No stored settings: the emulator's registered port is discovered and used.
      QVERIFY2(w.messages.messages.empty(), w.messages.messages.empty() ? "" : w.messages.messages[0].c_str());
      QCOMPARE(w->windowTitle(), QString("6DFOB     "));
      QCOMPARE(w.F().Tracker.PortName, VirtualPortsDir() + "/zeltra-trackersim");
      QVERIFY(w->PortMenu->actions().size() == 1 && w->PortMenu->actions()[0]->isChecked());
      // The live label follows the sensor.
      QVERIFY(emu.Control("pos 1000 2000 -3000"));
      QTRY_COMPARE_WITH_TIMEOUT(w->dxFOBlabel->text(), QString(" x    1.0 y    2.0 z   -3.0 d    3.7"), 2000);

      for (const TTrackerReading& fob : kLandmarks) {
        RecordLandmark(w, emu, fob);
        if (QTest::currentTestFailed()) return;
      }
      FitAndCheck(w, 8);
      if (QTest::currentTestFailed()) return;
      report = w.fob->Lines();
      CheckTracking(w, emu, {1500, -2500, 700});
      if (QTest::currentTestFailed()) return;
      // F5 again: Calibrate view with the focus in the grid.
      QTest::keyClick(w.form.get(), Qt::Key_F5);
      QVERIFY(w.F().IsCalibrateView());
      QTRY_VERIFY(w->RegGrid->hasFocus());
      w.files.saveAnswer = saved;
      QTest::keyClick(w.form.get(), Qt::Key_S, Qt::ControlModifier);
      QVERIFY(w.messages.errors.empty());
    }
    // The settings of the run were stored at exit.
    QVERIFY(ReadFileBytes(env.SettingsFile()).find("zeltra-trackersim\"") != std::string::npos);
    init();
    TWindow w;
    QVERIFY(w.Start());
    QCOMPARE(w->windowTitle(), QString("6DFOB     "));
    w.files.openAnswer = saved;
    QTest::keyClick(w.form.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(w.F().Table.DataRows(), 8);
    for (int r = 1; r <= 8; ++r) {
      TVoxel mri = VoxelOf(kLandmarks[r - 1]);
      QCOMPARE(w->RegGrid->item(r - 1, 0)->text().toStdString(), CellText(mri.x, mri.y, mri.z));
    }
    QTRY_COMPARE_WITH_TIMEOUT(ViewerCursor(), VoxelOf(kLandmarks[0]), 1000);
    QTest::keyClick(w.form.get(), Qt::Key_F5);
    QCOMPARE(w.fob->Lines(), report);
  }

  void flockPointModeRegistration() {
    TEnvironment env;
    TEmulator emu(env.Dir(), "minibird");
    QVERIFY(emu.Ready());
    TWindow w;
    QVERIFY(w.Start());
    QCOMPARE(w->windowTitle(), QString("MINIBIRD  "));
    w->Action(TCommand::AdvancedMenuItem)->trigger();
    w->Action(TCommand::FlockofBirdsMiniBird1)->trigger();  // point mode: prompt, then reconnect
    QCOMPARE(w.messages.messages.size(), size_t(1));
    QVERIFY(w.messages.messages[0].rfind(SwitchOnPromptText(115200), 0) == 0);
    QVERIFY(w->Action(TCommand::FlockofBirdsMiniBird1)->isChecked());
    QVERIFY(w->Timer1.isActive());
    QVERIFY(!w.F().Tracker.IsStreaming);
    for (const TTrackerReading& fob : kLandmarks) {
      RecordLandmark(w, emu, fob);
      if (QTest::currentTestFailed()) return;
    }
    FitAndCheck(w, 8);
    if (QTest::currentTestFailed()) return;
    CheckTracking(w, emu, {-3000, 1200, 2400});
  }

  void unplugKeepsTheWindowRunningAndF6Reconnects() {
    TEnvironment env;
    TEmulator emu(env.Dir(), "flock");
    QVERIFY(emu.Ready());
    TWindow w;
    QVERIFY(w.Start());
    QVERIFY(emu.Control("pos 400 800 1200"));
    QTRY_VERIFY_WITH_TIMEOUT(SameReading(w.F().TrackerReading, {400, 800, 1200}), 2000);
    // Pulled out in the middle of a record; plugged back in after a second.
    QVERIFY(emu.Control("unplug 1"));
    QTest::qWait(300);
    QVERIFY(w->Timer1.isActive());
    QVERIFY(SameReading(w.F().TrackerReading, {400, 800, 1200}));
    QVERIFY(w.messages.messages.empty() && w.messages.errors.empty());
    QTRY_VERIFY_WITH_TIMEOUT(emu.Output().find("ready", emu.Output().find("unplugged")) != std::string::npos, 5000);
    // F6: the switch-on prompt, then the port opens again under the same name.
    QTest::keyClick(w.form.get(), Qt::Key_F6);
    QCOMPARE(w.messages.messages.size(), size_t(1));
    QVERIFY(w.messages.messages[0].rfind("Please switch on the miniBIRD/FOB tracker", 0) == 0);
    QVERIFY(emu.Control("pos -400 -800 2000"));
    QTRY_VERIFY_WITH_TIMEOUT(SameReading(w.F().TrackerReading, {-400, -800, 2000}), 3000);
  }

  void fastrakRegistration() {
    TEnvironment env;
    TEmulator emu(env.Dir(), "fastrak");
    QVERIFY(emu.Ready());
    TWindow w;
    QVERIFY(w.Start());
    // The first start treats it as a Flock, which does not answer the model query.
    QCOMPARE(w.messages.messages.size(), size_t(1));
    QVERIFY(w.messages.messages[0].rfind("Connection error: no response to Examine", 0) == 0);
    w.messages.Clear();
    w->Action(TCommand::AdvancedMenuItem)->trigger();
    w->Action(TCommand::Fast1)->trigger();  // no prompt for a Fastrak
    QVERIFY(w.messages.messages.empty());
    QVERIFY(w.F().Tracker.IsFastrak);
    for (int i = 0; i < 4; ++i) {
      RecordLandmark(w, emu, kLandmarks[i]);
      if (QTest::currentTestFailed()) return;
    }
    // Fewer than 5 rows: the message, and the view stays.
    QTest::keyClick(w.form.get(), Qt::Key_F5);
    QCOMPARE(w.messages.messages,
             std::vector<std::string>{"At least 5 samples required for 3D registration."});
    QVERIFY(w.F().IsCalibrateView());
    for (int i = 4; i < 8; ++i) {
      RecordLandmark(w, emu, kLandmarks[i]);
      if (QTest::currentTestFailed()) return;
    }
    FitAndCheck(w, 8);
    if (QTest::currentTestFailed()) return;
    CheckTracking(w, emu, {333, -777, 1234});  // hundredths: any integers
  }
};

}  // namespace

QTEST_MAIN(E2ETest)
#include "E2ETest.moc"
