// The main window, headless: life cycle, the polling tick, the viewer link with
// zeltra-cursor as the viewer, the calibration table, files, settings and the
// tracker menus. The serial port is scripted; the shared block is real.
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <sstream>

#include "AppFakes.h"
#include "QtServices.h"
#include "SafeFile.h"
#include "TestSupport.h"
#include "ViewerLink.h"
#include "fob.h"
#include "math/RegMult.h"
#include "reg.h"
#include "tracker/FlockRecord.h"

using namespace testsupport;

namespace {

// The window and everything it talks to.
struct Harness {
  TRecordingPresenter messages;
  TScriptedChooser files;
  TRecordingClock clock;
  TListedPorts ports;
  std::shared_ptr<TMemorySettingsStore> settings = std::make_shared<TMemorySettingsStore>();
  std::shared_ptr<TScriptedPort::Log> port = std::make_shared<TScriptedPort::Log>();
  TViewerBlockNames names;
  std::unique_ptr<TRegForm> form;
  std::unique_ptr<TFOBForm> fob;
  std::vector<std::string> startupMessages;  // message boxes of the start-up

  Harness() {
    names = ViewerBlockNames();
    // A Flock that answers the model query.
    port->device = [](uint8_t b, TScriptedPort::Log& log) {
      static uint8_t previous = 0;
      if (previous == 0x4F && b == 0x0F)
        for (char c : std::string("MINIBIRD01")) log.incoming.push_back(static_cast<uint8_t>(c));
      previous = b;
    };
  }
  ~Harness() { Close(); }

  TRegFormServices Services() {
    TRegFormServices s;
    s.messages = &messages;
    s.files = &files;
    s.clock = &clock;
    s.ports = &ports;
    auto backing = settings;
    s.settings = [backing] { return std::make_unique<TPersistentStore>(backing); };
    auto log = port;
    s.serialPort = [log] { return std::make_unique<TScriptedPort>(log); };
    s.programDir = "/opt/zeltra";
    s.viewerNames = names;
    return s;
  }

  TRegForm& Create() {
    form = std::make_unique<TRegForm>(Services());
    fob = std::make_unique<TFOBForm>(form.get());
    form->SetTransformsWindow(fob.get());
    return *form;
  }
  // Created, shown and past the first tick (the tracker start-up).
  TRegForm& Start() {
    Create();
    form->show();
    QTest::qWait(1);
    if (form->Timer1.isActive()) {
      form->Timer1.stop();
      form->Timer1Timer();  // the start-up stage
    }
    startupMessages = messages.messages;
    messages.messages.clear();
    return *form;
  }
  void Close() {
    if (form) {
      form->close();
      fob.reset();
      form.reset();
    }
  }

  void StoreSettings(const std::string& port, uint32_t bps, uint32_t fastrak, uint32_t streaming) {
    settings->keyExists = true;
    settings->values["PortName"] = {TValueType::String, port, 0};
    settings->values["BPS"] = {TValueType::Dword, "", bps};
    settings->values["IsFastrak"] = {TValueType::Dword, "", fastrak};
    settings->values["IsStreaming"] = {TValueType::Dword, "", streaming};
  }

  std::string Viewer(std::vector<std::string> args) {
    args.insert(args.begin(), BinPath("zeltra-cursor"));
    ProcessResult r = RunProcess(args);
    return r.out;
  }
  std::vector<long long> Words() {
    std::istringstream in(Viewer({"dump"}));
    std::vector<long long> w;
    for (long long v; in >> v;) w.push_back(v);
    return w;
  }
};

TVoxel Edits(TRegForm& f) { return {f.XEdit->value(), f.YEdit->value(), f.ZEdit->value()}; }

}  // namespace

class RegFormTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    SetEnv("ZELTRA_VIEWER_TAG", UniqueTag("-app-"));
    for (auto& p : PointTable) p = TPointPair{};
    for (auto& row : RegCoef)
      for (double& b : row) b = 0;
  }
  void cleanup() {
    RemoveSharedBlock(ViewerBlockNames());
    UnsetEnv("ZELTRA_VIEWER_TAG");
  }

  // ---- Viewer link ----

  void newBlockStartsWithTheCursorAtOne() {
    Harness h;
    h.Create();
    QCOMPARE(h.Words(), (std::vector<long long>{1, 1, 1, 2147483647, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  }

  void viewerFirstBlockIsFollowedAndNeverWrittenBack() {
    Harness h;
    ChildProcess viewer({BinPath("zeltra-cursor"), "set", "10", "20", "30", "--keep", "60"});
    QVERIFY(viewer.WaitForOutput("set"));
    TRegForm& f = h.Start();
    QCOMPARE(h.Words()[3], 0LL);  // nothing written at start
    f.Timer1.start();
    QTRY_COMPARE_WITH_TIMEOUT(Edits(f), (TVoxel{10, 20, 30}), 200);
    // The viewer moves its cursor: the window follows within a tick or two.
    h.Viewer({"set", "11", "-22", "33"});
    QTRY_COMPARE_WITH_TIMEOUT(Edits(f), (TVoxel{11, -22, 33}), 100);
    QCOMPARE(f.CurrentMRI, (TVoxel{11, -22, 33}));
    QTest::qWait(60);
    std::vector<long long> w = h.Words();
    QVERIFY2(w[3] == 0, "the window wrote the block back");
  }

  void typedVoxelReachesTheViewerAndIsReadBackUnchanged() {
    Harness h;
    TRegForm& f = h.Start();
    f.Timer1Timer();  // follows the new block's 1, 1, 1
    f.XEdit->setValue(42);
    QCOMPARE(h.Viewer({"get"}), std::string("42 1 1\n"));
    f.ZEdit->setValue(-7);
    QCOMPARE(h.Viewer({"get"}), std::string("42 1 -7\n"));
    f.Timer1Timer();
    QCOMPARE(Edits(f), (TVoxel{42, 1, -7}));
    // A desired-voxel edit republishes the current point.
    h.Viewer({"set", "0", "0", "0"});
    f.desirex->setValue(5);
    QCOMPARE(h.Viewer({"get"}), std::string("42 1 -7\n"));
  }

  void mappingErrorAtStartIsShownAndTheBlockIsLeftAlone() {
    Harness h;
    h.names.map = "no\\such/namespace" + h.names.map;
    TRegForm& f = h.Start();
    QCOMPARE(h.messages.errors.size(), size_t(1));
    QVERIFY(h.messages.errors[0].rfind("Memory Mapping Error #", 0) == 0);
    QCOMPARE(ErrorBoxText(h.messages.errors[0]).back(), '.');
    f.XEdit->setValue(3);  // publishes into nothing
    f.Timer1Timer();
    QCOMPARE(f.XEdit->value(), 3);
  }

  // ---- Live tracker label ----

  void trackerLabelFormatAndColour() {
    Harness h;
    TRegForm& f = h.Create();
    f.TrackerReading = {1234, -5678, 0};
    f.UpdateTrackerLabel();
    QCOMPARE(f.dxFOBlabel->text(), QString(" x    1.2 y   -5.7 z    0.0 d    5.8"));
    f.TrackerReading = {30000, 0, 0};
    f.UpdateTrackerLabel();
    QCOMPARE(f.dxFOBlabel->text(), QString(" x   30.0 y    0.0 z    0.0 d   30.0"));
    QCOMPARE(f.dxFOBlabel->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    f.TrackerReading = {30001, 0, 0};
    f.UpdateTrackerLabel();
    QCOMPARE(f.dxFOBlabel->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  }

  void flockStreamReachesTheLabelAndAddTakesIt() {
    Harness h;
    h.ports.ports = {"COM1"};
    TRegForm& f = h.Start();
    QCOMPARE(f.windowTitle(), QString("MINIBIRD01"));
    QCOMPARE(h.clock.sleeps, (std::vector<uint32_t>{800, 800, 320, 620}));
    // Start-up bytes: examine 0x4F 0x0F, bus prefix and change value, position, stream.
    QCOMPARE(h.port->written, std::string("\x4F\x0F\xF1\x50\x32\x01\x56\x40", 8));
    for (uint8_t b : EncodeFlockRecord(1000, -2000, 32764)) h.port->incoming.push_back(b);
    f.Timer1Timer();
    QCOMPARE(f.dxFOBlabel->text(), QString(" x    1.0 y   -2.0 z   32.8 d   32.8"));
    QCOMPARE(f.dxFOBlabel->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    f.CurrentMRI = {5, 6, 7};
    f.AddMRI1->trigger();
    QCOMPARE(f.RegGrid->item(0, 0)->text(), QString("5:6:7"));
    QCOMPARE(f.RegGrid->item(0, 1)->text(), QString("1000:-2000:32764"));
    h.Close();
    // Shutdown: point, then sleep.
    QVERIFY(h.port->written.size() >= 2);
    QCOMPARE(h.port->written.substr(h.port->written.size() - 2), std::string("\x42\x47"));
  }

  void repeatedConversionErrorsDoNotStackBoxes() {
    Harness h;
    h.ports.ports = {"COM1"};
    h.StoreSettings("COM1", 115200, 1, 0);
    TRegForm& f = h.Start();
    auto feed = [&](const std::string& line) {
      for (char c : line) h.port->incoming.push_back(static_cast<uint8_t>(c));
    };
    const std::string bad = "\n01  1.0 2.0 -.-\r";
    // While the first error box is open, ticks go on and fail again.
    int ticksWhileOpen = 0;
    h.messages.onError = [&](const std::string&) {
      for (; ticksWhileOpen < 5; ++ticksWhileOpen) {
        feed(bad);
        f.Timer1Timer();
        QTest::qWait(1);
      }
    };
    feed(bad);
    f.Timer1Timer();  // fails: the box is shown after the tick
    QTRY_COMPARE(ticksWhileOpen, 5);
    QCOMPARE(h.messages.errors, std::vector<std::string>{"'-.-' is not a valid floating point value"});
    QCOMPARE(f.SuppressedErrors(), 5);
    // Polling goes on: a good line is read.
    feed("\n01  1.00 2.00 3.00 0 0 0\r");
    f.Timer1Timer();
    QCOMPARE(f.TrackerReading.FOBx, 100);
    QCOMPARE(f.TrackerReading.FOBz, 300);
  }

  // ---- Calibration table ----

  void addFillsRowOneThenGrowsAndStopsAt125() {
    Harness h;
    TRegForm& f = h.Start();
    f.TrackerReading = {4, 8, 12};
    f.CurrentMRI = {-3, 0, -120};
    f.AddBtn->click();
    QCOMPARE(f.RegGrid->rowCount(), 1);
    QCOMPARE(f.RegGrid->item(0, 0)->text(), QString("-3:0:-120"));
    for (int i = 2; i <= 125; ++i) f.AddMRI1->trigger();
    QCOMPARE(f.RegGrid->rowCount(), 125);
    QVERIFY(h.messages.messages.empty());
    f.AddMRI1->trigger();
    QCOMPARE(f.RegGrid->rowCount(), 125);
    QCOMPARE(h.messages.messages, std::vector<std::string>{"No more data points can be entered."});
  }

  void deleteTheSelectedRowShiftsBothHalves() {
    Harness h;
    TRegForm& f = h.Start();
    for (int i = 1; i <= 4; ++i) {
      f.CurrentMRI = {i, i, i};
      f.TrackerReading = {10 * i, 10 * i, 10 * i};
      f.AddBtn->click();
    }
    f.RegGrid->setCurrentCell(1, 1);
    f.AddRowMRIFOB1->trigger();
    QCOMPARE(f.RegGrid->rowCount(), 3);
    QCOMPARE(f.RegGrid->item(1, 0)->text(), QString("3:3:3"));
    QCOMPARE(f.RegGrid->item(1, 1)->text(), QString("30:30:30"));
    QCOMPARE(PointTable[2], (TPointPair{3, 3, 3, 30, 30, 30}));
  }

  void selectingARowShowsItsLandmarkOnlyWhenItDiffers() {
    Harness h;
    TRegForm& f = h.Start();
    f.CurrentMRI = {7, 8, 9};
    f.AddBtn->click();
    f.CurrentMRI = {1, 2, 3};
    f.AddBtn->click();
    f.RegGrid->setCurrentCell(1, 0);
    f.SetShareMem(1, 2, 3);
    QCOMPARE(Edits(f), (TVoxel{1, 2, 3}));
    // The viewer moved elsewhere; selecting the row whose point the edits already
    // show sends nothing.
    h.Viewer({"set", "50", "50", "50"});
    f.RegGrid->setCurrentCell(1, 1);
    QCOMPARE(h.Viewer({"get"}), std::string("50 50 50\n"));
    // A double click on the MRI cell brings the viewer back to the landmark...
    f.RegGrid->setCurrentCell(0, 0);
    QCOMPARE(h.Viewer({"get"}), std::string("7 8 9\n"));
    h.Viewer({"set", "50", "50", "50"});
    f.CurrentMRI = {50, 50, 50};
    f.XEdit->setValue(50);
    f.YEdit->setValue(50);
    f.ZEdit->setValue(50);
    f.RegGridDblClick();
    QCOMPARE(h.Viewer({"get"}), std::string("7 8 9\n"));
  }

  void gridKeys() {
    Harness h;
    TRegForm& f = h.Start();
    for (int i = 1; i <= 6; ++i) {
      f.CurrentMRI = {i, 0, 0};
      f.AddBtn->click();
    }
    f.RegGrid->setFocus();
    f.RegGrid->setCurrentCell(0, 0);
    QTest::keyClick(f.RegGrid, Qt::Key_PageDown);
    QCOMPARE(f.RegGrid->currentRow(), 1);
    QTest::keyClick(f.RegGrid, Qt::Key_PageDown);
    QTest::keyClick(f.RegGrid, Qt::Key_PageUp);
    QCOMPARE(f.RegGrid->currentRow(), 1);
    // Full stop: the selected row's tracker half takes the reading.
    f.TrackerReading = {-4, -8, -12};
    QTest::keyClick(f.RegGrid, Qt::Key_Period);
    QCOMPARE(f.RegGrid->item(1, 1)->text(), QString("-4:-8:-12"));
    QCOMPARE(f.RegGrid->item(1, 0)->text(), QString("2:0:0"));
    // Escape: the mode switch (the fit runs on the 6 rows).
    QTest::keyClick(f.RegGrid, Qt::Key_Escape);
    QVERIFY(!f.IsCalibrateView());
  }

  void currentCellIsBlueOnlyWhileTheGridHasTheFocus() {
    Harness h;
    TRegForm& f = h.Start();
    f.CurrentMRI = {1, 1, 1};
    f.AddBtn->click();
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    f.RegGrid->setCurrentCell(0, 1);
    f.RegGrid->setFocus();
    QTRY_VERIFY(f.RegGrid->hasFocus());
    QRect cell = f.RegGrid->visualItemRect(f.RegGrid->item(0, 1));
    QImage shot = f.RegGrid->viewport()->grab().toImage();
    QCOMPARE(QColor(shot.pixel(cell.right() - 5, cell.bottom() - 3)), QColor(0, 0, 255));
    QRect other = f.RegGrid->visualItemRect(f.RegGrid->item(0, 0));
    QVERIFY(QColor(shot.pixel(other.right() - 5, other.bottom() - 3)) != QColor(0, 0, 255));
    f.XEdit->setFocus();
    QTRY_VERIFY(!f.RegGrid->hasFocus());
    shot = f.RegGrid->viewport()->grab().toImage();
    QVERIFY(QColor(shot.pixel(cell.right() - 5, cell.bottom() - 3)) != QColor(0, 0, 255));
  }

  // ---- Calibration files ----

  void saveAndOpenRoundTripThroughTheDialogs() {
    TempDir dir;
    std::string path = (dir / "cal.txt").string();
    {
      Harness h;
      TRegForm& f = h.Start();
      f.CurrentMRI = {12, -4, 87};
      f.TrackerReading = {1503, -2210, 455};
      f.AddBtn->click();
      f.CurrentMRI = {20, -4, 80};
      f.TrackerReading = {1498, -1377, 452};
      f.AddBtn->click();
      f.desirex->setValue(64);
      f.desirey->setValue(70);
      f.desirez->setValue(31);
      h.files.saveAnswer = path;
      f.Save1->trigger();
      QCOMPARE(h.files.lastSave.filter, std::string("Text file (*.txt)|*.txt"));
      QCOMPARE(h.files.lastSave.defaultExt, std::string("txt"));
      QVERIFY(h.files.lastSave.overwritePrompt);
      QCOMPARE(h.files.lastSave.initialDir, std::string("/opt/zeltra"));
      QVERIFY(h.messages.errors.empty());
    }
    QCOMPARE(ReadFileBytes(path), std::string("12 -4 87 1503 -2210 455\r\n20 -4 80 1498 -1377 452\r\n"
                                              "64 70 31 77777 77777 77777\r\n"));
    Harness h;
    TRegForm& f = h.Start();
    h.files.openAnswer = path;
    f.Open1->trigger();
    QCOMPARE(h.files.lastOpen.filter, std::string("Text Files|*.txt"));
    QCOMPARE(f.RegGrid->rowCount(), 2);
    QCOMPARE(f.RegGrid->item(1, 1)->text(), QString("1498:-1377:452"));
    QCOMPARE((TVoxel{f.desirex->value(), f.desirey->value(), f.desirez->value()}), (TVoxel{64, 70, 31}));
    // Row 1 is selected and its landmark published.
    QCOMPARE(f.SelectionTop(), 1);
    QCOMPARE(f.RegGrid->selectedItems().size(), 2);
    QCOMPARE(h.Viewer({"get"}), std::string("12 -4 87\n"));
  }

  void aFileThatFailsChangesNothing() {
    TempDir dir;
    std::string path = (dir / "bad.txt").string();
    WriteFileBytes(path, "1 2 3 4 5 6\r\n7 8 9.5 10 11 12\r\n");
    Harness h;
    TRegForm& f = h.Start();
    f.CurrentMRI = {1, 1, 1};
    f.AddBtn->click();
    f.desirex->setValue(9);
    h.files.openAnswer = path;
    f.Open1->trigger();
    QCOMPARE(h.messages.errors, std::vector<std::string>{"Invalid numeric input"});
    QCOMPARE(f.RegGrid->rowCount(), 1);
    QCOMPARE(f.RegGrid->item(0, 0)->text(), QString("1:1:1"));
    QCOMPARE(PointTable[1].MRIx, 1);
    QCOMPARE(PointTable[2], TPointPair{});
    QCOMPARE(f.desirex->value(), 9);
    h.messages.Clear();
    h.files.openAnswer = (dir / "missing.txt").string();
    f.Open1->trigger();
    QCOMPARE(h.messages.errors, std::vector<std::string>{"File not found"});
    h.messages.Clear();
    h.files.saveAnswer = (dir / "no-such-folder" / "x.txt").string();
    f.Save1->trigger();
    QCOMPARE(h.messages.errors.size(), size_t(1));
    h.files.openAnswer.reset();
    h.messages.Clear();
    f.Open1->trigger();  // cancelled: nothing
    QVERIFY(h.messages.errors.empty());
  }

  // ---- Settings and tracker menus ----

  void firstRunUsesDefaultsAndWritesAllFourAtExit() {
    Harness h;
    h.ports.ports = {"COM1", "COM3"};
    TRegForm& f = h.Start();
    QVERIFY(f.FlockofBirdsMiniBirdStream1->isChecked());
    QVERIFY(f.N1152001->isChecked());
    QCOMPARE(f.Tracker.PortName, std::string("COM1"));
    h.Close();
    QCOMPARE(h.settings->values["PortName"].text, std::string("COM1"));
    QCOMPARE(h.settings->values["BPS"].dword, 115200u);
    QCOMPARE(h.settings->values["IsFastrak"].dword, 0u);
    QCOMPARE(h.settings->values["IsStreaming"].dword, 1u);
  }

  void missingValueStopsTheTrackerForOneRun() {
    Harness h;
    h.ports.ports = {"COM1"};
    h.settings->keyExists = true;
    h.settings->values["PortName"] = {TValueType::String, "COM1", 0};
    TRegForm& f = h.Start();
    QCOMPARE(h.messages.errors, std::vector<std::string>{"Failed to get data for 'BPS'"});
    QVERIFY(!f.Timer1.isActive());
    QCOMPARE(f.Timer1Tag, 0);
    QVERIFY(h.port->opens.empty());
    QVERIFY2(f.FlockofBirdsMiniBird1->isChecked(), "the designed check mark stays");
    h.Close();
    QCOMPARE(h.settings->values["BPS"].dword, 115200u);
    h.messages.Clear();
    h.Start();
    QVERIFY(h.messages.errors.empty());
    QCOMPARE(h.port->opens.size(), size_t(1));
  }

  void unsupportedSpeedIsResetWithItsMessage() {
    Harness h;
    h.ports.ports = {"COM1"};
    h.StoreSettings("COM1", 4800, 0, 1);
    TRegForm& f = h.Start();
    QCOMPARE(h.startupMessages.at(0), std::string("Unsupported BPS: 4800resetting to 115200 bps."));
    QVERIFY(f.N1152001->isChecked());
    QCOMPARE(f.Tracker.BPS, 115200);
    QCOMPARE(h.port->opens.at(0), (std::pair<std::string, int32_t>{"COM1", 115200}));
  }

  void portMenuInReverseOrderWithTheChosenPortChecked() {
    struct Case {
      std::string stored, used;
    } cases[] = {{"COM3", "COM3"}, {"COM7", "COM1"}, {"", "COM1"}, {"com3", "COM1"}};
    for (const Case& c : cases) {
      Harness h;
      h.ports.ports = {"COM1", "COM3", "COM4"};
      h.StoreSettings(c.stored, 115200, 1, 0);
      TRegForm& f = h.Start();
      QStringList captions;
      QString checked;
      for (QAction* a : f.PortMenu->actions()) {
        captions << a->text();
        if (a->isChecked()) checked = a->text();
      }
      QCOMPARE(captions, (QStringList{"COM4", "COM3", "COM1"}));
      QCOMPARE(checked.toStdString(), c.used);
      QCOMPARE(h.port->opens.at(0).first, c.used);
      // A port item only toggles its own check mark.
      f.PortMenu->actions()[0]->trigger();
      QVERIFY(f.PortMenu->actions()[0]->isChecked());
      QCOMPARE(h.port->opens.size(), size_t(1));
      h.Close();
      QCOMPARE(h.settings->values["PortName"].text, c.used);
    }
  }

  void noPortsAreReportedAndTheTimerStillRuns() {
    Harness h;
    TRegForm& f = h.Start();
    QCOMPARE(h.startupMessages,
             std::vector<std::string>{"No serial ports detected: you will not be able to track sensors"});
    QVERIFY(f.Timer1.isActive());
    QVERIFY(h.port->opens.empty());
  }

  void speedAndTypeNeedAdvancedMode() {
    Harness h;
    h.ports.ports = {"COM1"};
    h.StoreSettings("COM1", 115200, 0, 1);
    TRegForm& f = h.Start();
    const std::string prompt =
        "Please switch on the miniBIRD/FOB tracker and set it to 'FLY'. If the tracker was already on "
        "FLY, set it to STDBY briefly first. Press 'OK' when the panel light stops flashing. BPS: ";
    h.messages.Clear();
    size_t opens = h.port->opens.size();
    // Speed without Advanced Mode: refused, but the link is reconnected anyway.
    f.N96001->trigger();
    QCOMPARE(h.messages.messages, (std::vector<std::string>{
                                      "Unable to change device speed (you must enable Advanced Mode)",
                                      prompt + "115200"}));
    QVERIFY(f.N1152001->isChecked());
    QVERIFY(!f.N96001->isChecked());
    QCOMPARE(h.port->opens.size(), opens + 1);
    // The speed already in use: no speed message, the prompt, a reconnect.
    h.messages.Clear();
    f.N1152001->trigger();
    QCOMPARE(h.messages.messages, std::vector<std::string>{prompt + "115200"});
    QCOMPARE(h.port->opens.size(), opens + 2);
    // Type without Advanced Mode: only the refusal, the link is not touched.
    h.messages.Clear();
    f.Fast1->trigger();
    QCOMPARE(h.messages.messages,
             std::vector<std::string>{"Unable to change device type (you must enable Advanced Mode)"});
    QVERIFY(f.FlockofBirdsMiniBirdStream1->isChecked());
    QVERIFY(!f.Fast1->isChecked());
    QCOMPARE(h.port->opens.size(), opens + 2);
    // In Advanced Mode: speed 38400 with the prompt, then Fastrak without one.
    f.AdvancedMenuItem->trigger();
    QVERIFY(f.AdvancedMenuItem->isChecked());
    h.messages.Clear();
    f.N384001->trigger();
    QCOMPARE(f.Tracker.BPS, 38400);
    QVERIFY(f.N384001->isChecked());
    QCOMPARE(h.messages.messages, std::vector<std::string>{prompt + "38400"});
    QCOMPARE(h.port->opens.back(), (std::pair<std::string, int32_t>{"COM1", 38400}));
    h.messages.Clear();
    f.Fast1->trigger();
    QVERIFY(h.messages.messages.empty());
    QVERIFY(f.Fast1->isChecked());
    QVERIFY(f.Tracker.IsFastrak);
    QCOMPARE(h.port->opens.size(), opens + 4);
    // F6: for a Fastrak, a reconnect without a prompt.
    f.ResetConnectionMenu->trigger();
    QVERIFY(h.messages.messages.empty());
    QCOMPARE(h.port->opens.size(), opens + 5);
    h.Close();
    QCOMPARE(h.settings->values["BPS"].dword, 38400u);
    QCOMPARE(h.settings->values["IsFastrak"].dword, 1u);
  }

  // ---- Views ----

  void modeSwitchNeedsFiveRows() {
    Harness h;
    TRegForm& f = h.Start();
    for (int i = 1; i <= 4; ++i) {
      f.CurrentMRI = {i, 2 * i, i * i};
      f.TrackerReading = {100 * i, 7 * i * i, -50 * i + i * i * i};
      f.AddBtn->click();
    }
    f.CalibrateItem->trigger();
    QCOMPARE(h.messages.messages,
             std::vector<std::string>{"At least 5 samples required for 3D registration."});
    QVERIFY(f.IsCalibrateView());
    QVERIFY(h.fob->Lines().empty());
    QCOMPARE(f.FormulaLabel->text(), QString("MRIx = 0.0000 + 0.0000FOBx +0.0000FOBy +0.0000FOBz\n"
                                             "MRIy = 0.0000 + 0.0000FOBx +0.0000FOBy +0.0000FOBz\n"
                                             "MRIz = 0.0000 + 0.0000FOBx +0.0000FOBy +0.0000FOBz"));
    h.messages.Clear();
    f.CurrentMRI = {9, 3, 1};
    f.TrackerReading = {-300, 40, 1000};
    f.AddBtn->click();
    f.CalibrateItem->trigger();
    QVERIFY(!f.IsCalibrateView());
    QVERIFY(f.TrackPanel->isVisibleTo(&f));
    QVERIFY(f.CalibrateItem->isChecked());
    QCOMPARE(h.fob->Lines().front(), std::string("Number of observations =     5"));
    // Back to Calibrate view with the focus in the grid.
    f.show();
    f.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f));
    QTest::keyClick(&f, Qt::Key_F5);
    QVERIFY(f.IsCalibrateView());
    QTRY_VERIFY(f.RegGrid->hasFocus());
  }

  void trackStageMapsPublishesAndMeasures() {
    Harness h;
    h.ports.ports = {"COM1"};
    h.StoreSettings("COM1", 115200, 1, 0);  // a Fastrak: readings in hundredths
    TRegForm& f = h.Start();
    auto reading = [&](const char* xyz) {
      for (char c : "\n01 " + std::string(xyz) + " 0.0 0.0 0.0\r") h.port->incoming.push_back(static_cast<uint8_t>(c));
      f.Timer1Timer();
    };
    f.ToolbarVis();  // Track view with hand-set coefficients
    QVERIFY(!f.IsCalibrateView());
    RegCoef[0][0] = 10;
    RegCoef[0][1] = 0.5;
    RegCoef[1][0] = 20;
    RegCoef[2][0] = 30;
    f.desirex->setValue(10);
    f.desirey->setValue(20);
    f.desirez->setValue(33);
    reading("0.05 0.00 0.00");
    QCOMPARE(f.TrackerReading.FOBx, 5);
    QCOMPARE(f.CurrentMRI, (TVoxel{12, 20, 30}));  // 12.5 rounds to 12
    QCOMPARE(Edits(f), (TVoxel{12, 20, 30}));
    QCOMPARE(h.Viewer({"get"}), std::string("12 20 30\n"));
    QCOMPARE(f.DistanceLabel->text(), QString("3.6"));
    reading("0.07 0.00 0.00");
    QCOMPARE(f.CurrentMRI.x, 14);  // 13.5 rounds to 14
    QCOMPARE(f.DistanceLabel->text(), QString("5.0"));
    f.desirex->setValue(14);
    f.desirey->setValue(20);
    f.desirez->setValue(30);
    QCOMPARE(f.DistanceLabel->text(), QString("5.0"));  // not recomputed by the edits
    reading("0.00 0.00 0.00");
    QCOMPARE(f.CurrentMRI, (TVoxel{10, 20, 30}));
    QCOMPARE(f.DistanceLabel->text(), QString("4.0"));
    f.desirex->setValue(13);
    f.desirey->setValue(24);
    reading("0.00 0.00 0.00");
    QCOMPARE(f.DistanceLabel->text(), QString("5.0"));
    // Every reading is published, also when the voxel did not change; the viewer's
    // own moves are not followed in Track view.
    h.Viewer({"set", "1", "2", "3"});
    reading("0.00 0.00 0.00");
    QCOMPARE(h.Viewer({"get"}), std::string("10 20 30\n"));
    QCOMPARE(Edits(f), (TVoxel{10, 20, 30}));
  }

  void startupWaitsKeepTheWindowAliveBehindAModalProgress() {
    Harness h;
    TRegForm& f = h.Create();
    f.show();
    TQtWaitClock clock(&f);
    int ticks = 0;
    QTimer other;  // stands for painting and the other window-system work
    QObject::connect(&other, &QTimer::timeout, [&] { ++ticks; });
    other.start(10);
    clock.Begin("Connecting", 2540);
    QVERIFY(clock.Active());
    QWidget* modal = QApplication::activeModalWidget();
    QVERIFY(modal != nullptr);
    QElapsedTimer t;
    t.start();
    clock.Sleep(200);
    QVERIFY(t.elapsed() >= 200);
    QVERIFY2(ticks >= 5, qPrintable(QString("%1 events ran during the wait").arg(ticks)));
    clock.End();
    QVERIFY(!clock.Active());
  }

  void aboutText() {
    Harness h;
    TRegForm& f = h.Start();
    f.About1->trigger();
    QVERIFY(h.messages.messages.at(0).rfind(
                "Zeltra2 version October 16, 2013\rZeltra coregisters magnetic head tracker signals "
                "with an MRI scan. For research purposes only: use with caution.\r\r",
                0) == 0);
  }
};

QTEST_MAIN(RegFormTest)
#include "RegFormTest.moc"
