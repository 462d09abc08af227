// The Qt window over its controller, headless: what only the Qt view can get wrong.
// The menus and buttons built from the design and wired to their commands, keys
// reaching the handlers, the blue current cell, the spin edits' range, ticks that go
// on behind a message box, and the start-up's modal progress. The window's logic
// itself is tested on the controller (tests/reg).
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <climits>
#include <map>

#include "ControllerFakes.h"
#include "QtRegFormView.h"
#include "QtServices.h"
#include "TestSupport.h"
#include "ViewerLink.h"
#include "fob.h"
#include "math/RegMult.h"

using namespace testsupport;

namespace {

struct Harness : TFakeServices {
  std::unique_ptr<TQtRegFormView> window;
  std::unique_ptr<TFOBForm> fob;

  // Shown and past the first tick (the tracker start-up), the timer stopped.
  TQtRegFormView& Start() {
    window = std::make_unique<TQtRegFormView>(Services(ViewerBlockNames()));
    fob = std::make_unique<TFOBForm>(window.get());
    window->SetTransformsWindow(fob.get());
    window->show();
    window->Timer1.stop();
    window->Form().Timer1Timer();
    window->Timer1.stop();
    messages.Clear();
    return *window;
  }
  ~Harness() {
    fob.reset();
    window.reset();
  }
};

QKeySequence Key(TShortcut s) {
  const char* names[] = {"", "F1", "F2", "F3", "F4", "F5", "F6", "Ctrl+O", "Ctrl+S"};
  return QKeySequence(names[static_cast<int>(s)]);
}

}  // namespace

class QtWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    SetEnv("ZELTRA_VIEWER_TAG", UniqueTag("-qt-"));
    for (auto& p : PointTable) p = TPointPair{};
  }
  void cleanup() {
    RemoveSharedBlock(ViewerBlockNames());
    UnsetEnv("ZELTRA_VIEWER_TAG");
  }

  // Every item of the design is in the menu bar with its caption and shortcut, and
  // the menu actions, shortcuts and buttons reach their handlers.
  void menusAndButtonsFollowTheDesign() {
    Harness h;
    TQtRegFormView& w = h.Start();
    QStringList tops;
    for (QAction* a : w.menuBar()->actions()) tops << a->text();
    QCOMPARE(tops, (QStringList{"&File", "&Position", "&Mode", "&Tracker", "&Help"}));
    for (const TMenuEntry& e : MainMenu()) {
      if (e.kind != TMenuEntry::Item) continue;
      QAction* a = w.Action(e.command);
      QVERIFY2(a, e.name);
      QCOMPARE(a->objectName(), QString(e.name));
      QCOMPARE(a->text(), QString(e.caption));
      QCOMPARE(a->shortcut(), Key(e.shortcut));
      QCOMPARE(a->isCheckable(), e.checkable);
    }
    for (const TToolButton& t : ToolColumn()) QCOMPARE(w.Button(t.command)->toolTip(), QString(t.tooltip));
    // Keys and clicks reach the controller.
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.Form().CurrentMRI = {5, 6, 7};
    QTest::keyClick(&w, Qt::Key_F1);
    QCOMPARE(w.RegGrid->item(0, 0)->text(), QString("5:6:7"));
    w.Button(TCommand::AddBtn)->click();
    QCOMPARE(w.RegGrid->rowCount(), 2);
    w.Button(TCommand::DeleteBtn)->click();
    QCOMPARE(w.RegGrid->rowCount(), 1);
    h.files.saveAnswer.reset();
    QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(h.files.lastSave.filter, std::string("Text file (*.txt)|*.txt"));
    w.Button(TCommand::OPenBtn)->click();
    QCOMPARE(h.files.lastOpen.filter, std::string("Text Files|*.txt"));
    QTest::keyClick(&w, Qt::Key_F5);  // one row: the fit refuses
    QCOMPARE(h.messages.messages, std::vector<std::string>{"At least 5 samples required for 3D registration."});
    QVERIFY(w.Action(TCommand::CalibrateItem)->isChecked());
    // A check-marked item shows what the controller decided, not Qt's own toggle.
    w.Action(TCommand::Fast1)->trigger();
    QVERIFY(!w.Action(TCommand::Fast1)->isChecked());
    QVERIFY(w.Action(TCommand::FlockofBirdsMiniBirdStream1)->isChecked());
    w.Action(TCommand::AdvancedMenuItem)->trigger();
    QVERIFY(w.Action(TCommand::AdvancedMenuItem)->isChecked());
    w.Action(TCommand::AdvancedMenuItem)->trigger();
    QVERIFY(!w.Action(TCommand::AdvancedMenuItem)->isChecked());
  }

  void portItemsChooseThePort() {
    Harness h;
    h.ports.ports = {"COM1", "COM3"};
    TQtRegFormView& w = h.Start();
    QCOMPARE(w.PortMenu->actions().size(), 2);
    QCOMPARE(w.PortMenu->actions()[0]->text(), QString("COM3"));
    QVERIFY(w.PortMenu->actions()[1]->isChecked());
    w.PortMenu->actions()[0]->trigger();
    QVERIFY(w.PortMenu->actions()[0]->isChecked());
    QVERIFY(!w.PortMenu->actions()[1]->isChecked());
    QCOMPARE(w.Form().Tracker.PortName, std::string("COM3"));
  }

  void gridKeysReachTheHandler() {
    Harness h;
    TQtRegFormView& w = h.Start();
    for (int i = 1; i <= 6; ++i) {
      w.Form().CurrentMRI = {i, 0, 0};
      w.Form().AddBtnClick();
    }
    w.RegGrid->setFocus();
    w.RegGrid->setCurrentCell(0, 0);
    QTest::keyClick(w.RegGrid, Qt::Key_PageDown);
    QCOMPARE(w.RegGrid->currentRow(), 1);
    QTest::keyClick(w.RegGrid, Qt::Key_PageDown);
    QTest::keyClick(w.RegGrid, Qt::Key_PageUp);
    QCOMPARE(w.RegGrid->currentRow(), 1);
    QCOMPARE(w.XEdit->value(), 2);  // the selected row's landmark
    w.Form().TrackerReading = {-4, -8, -12};
    QTest::keyClick(w.RegGrid, Qt::Key_Period);
    QCOMPARE(w.RegGrid->item(1, 1)->text(), QString("-4:-8:-12"));
    QTest::keyClick(w.RegGrid, Qt::Key_Escape);  // the fit runs on the 6 rows
    QVERIFY(!w.Form().IsCalibrateView());
    QVERIFY(w.TrackPanel->isVisibleTo(&w));
    QVERIFY(!w.RegGrid->isVisibleTo(&w));
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_F5);
    QVERIFY(w.Form().IsCalibrateView());
    QVERIFY(!w.TrackPanel->isVisibleTo(&w));
  }

  // The landmark check appears below the report, and choosing one of its rows
  // selects the same row of the grid.
  void landmarkCheckTableSelectsTheGridRow() {
    Harness h;
    TQtRegFormView& w = h.Start();
    const int fob[7][3] = {{4000, 2000, -1000}, {-4000, 2400, 800}, {1200, -5200, 1600}, {-2800, -3600, -2400},
                           {6000, 400, 3200},   {-400, 6400, -3600}, {2000, 1200, 5600}};
    for (const auto& f : fob) {
      w.Form().TrackerReading = {f[0], f[1], f[2]};
      w.Form().CurrentMRI = {100 + f[0] / 100, 80 + f[1] / 90, 60 + f[2] / 110};
      w.Form().AddBtnClick();
    }
    w.Form().QueryOrSampleBtnClick();
    QVERIFY(!w.Form().IsCalibrateView());
    QCOMPARE(h.fob->CheckTable->rowCount(), 7);
    QVERIFY(!h.fob->CheckTable->isHidden());
    QVERIFY(h.fob->CheckSummary->text().startsWith("RMS residual"));
    QCOMPARE(h.fob->CheckTable->item(2, 0)->text().split(QChar(' ')).front(), QString("3"));
    h.fob->CheckTable->setCurrentCell(2, 1);
    QCOMPARE(w.RegGrid->currentRow(), 2);
    QCOMPARE(w.Form().SelectionTop(), 3);
    QCOMPARE(w.XEdit->value(), fob[2][0] / 100 + 100);
  }

  void currentCellIsBlueOnlyWhileTheGridHasTheFocus() {
    Harness h;
    TQtRegFormView& w = h.Start();
    w.Form().CurrentMRI = {1, 1, 1};
    w.Form().AddBtnClick();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.RegGrid->setCurrentCell(0, 1);
    w.RegGrid->setFocus();
    QTRY_VERIFY(w.RegGrid->hasFocus());
    QRect cell = w.RegGrid->visualItemRect(w.RegGrid->item(0, 1));
    QImage shot = w.RegGrid->viewport()->grab().toImage();
    QCOMPARE(QColor(shot.pixel(cell.right() - 5, cell.bottom() - 3)), QColor(0, 0, 255));
    QRect other = w.RegGrid->visualItemRect(w.RegGrid->item(0, 0));
    QVERIFY(QColor(shot.pixel(other.right() - 5, other.bottom() - 3)) != QColor(0, 0, 255));
    w.XEdit->setFocus();
    QTRY_VERIFY(!w.RegGrid->hasFocus());
    shot = w.RegGrid->viewport()->grab().toImage();
    QVERIFY(QColor(shot.pixel(cell.right() - 5, cell.bottom() - 3)) != QColor(0, 0, 255));
  }

  // The whole signed 32-bit range, typed text read as a number (or 0), and the
  // change event of a typed value reaching the viewer.
  void spinEditsCoverTheSigned32BitRange() {
    Harness h;
    TQtRegFormView& w = h.Start();
    struct Case {
      const char* typed;
      int value;
    } cases[] = {{"2147483647", INT_MAX}, {"-2147483648", INT_MIN}, {"-", 0}, {"+17", 17}};
    for (const Case& c : cases) {
      w.XEdit->clear();
      QTest::keyClicks(w.XEdit, c.typed);
      QCOMPARE(w.XEdit->value(), c.value);
      QCOMPARE(w.Form().CurrentMRI.x, c.value);
    }
    TEMemMap viewer;
    QVERIFY(viewer.InitMutex(ViewerBlockNames().mutex) && viewer.OpenMap(ViewerBlockNames().map, kSharedBlockSize));
    TVoxel v;
    QVERIFY(ReadCursorFields(viewer, v));
    QCOMPARE(v.x, 17);
    w.XEdit->setValue(INT_MAX);
    w.XEdit->stepUp();  // stays at the end
    QCOMPARE(w.XEdit->value(), INT_MAX);
  }

  // Ticks go on behind a message box opened in a tick (its failing reads are
  // counted, not shown again).
  void ticksGoOnBehindAMessageBoxOfATick() {
    Harness h;
    h.ports.ports = {"COM1"};
    h.StoreSettings("COM1", 115200, 1, 0);
    TQtRegFormView& w = h.Start();
    auto feed = [&] {
      for (char c : std::string("\n01  1.0 2.0 -.-\r")) h.port->incoming.push_back(static_cast<uint8_t>(c));
    };
    // While the box is open, the device keeps sending bad lines.
    h.messages.onError = [&](const std::string&) {
      for (int i = 0; i < 10; ++i) {
        feed();
        QTest::qWait(30);
      }
    };
    feed();
    w.Timer1.start();
    QTRY_COMPARE(h.messages.errors.size(), size_t(1));
    QTRY_VERIFY_WITH_TIMEOUT(w.Form().SuppressedErrors() >= 3, 2000);
  }

  // A tick with a new reading repaints the controls whose text changed and lays out
  // nothing: in Calibrate view the tracker label, in Track view also the three
  // edits and the distance.
  void aTickRepaintsOnlyWhatChanged() {
    Harness h;
    h.ports.ports = {"COM1"};
    h.StoreSettings("COM1", 115200, 1, 0);
    TQtRegFormView& w = h.Start();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    struct Counter : QObject {
      std::map<QString, int> paints;
      int layouts = 0;
      bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints[o->objectName().isEmpty() ? o->metaObject()->className() : o->objectName()];
        if (e->type() == QEvent::LayoutRequest) ++layouts;
        return false;
      }
    } counter;
    for (int view = 0; view < 2; ++view) {
      w.Form().Timer1Timer();  // follows the viewer's cursor first
      QTest::qWait(50);
      qApp->installEventFilter(&counter);
      for (int i = 1; i <= 10; ++i) {
        for (char c : "\n01 " + std::to_string(i) + ".00 -" + std::to_string(i) + ".00 0.50 0 0 0\r")
          h.port->incoming.push_back(static_cast<uint8_t>(c));
        w.Form().Timer1Timer();
        QTest::qWait(5);
      }
      qApp->removeEventFilter(&counter);
      QCOMPARE(counter.layouts, 0);
      QCOMPARE(counter.paints["dxFOBlabel"], 10);
      if (view == 0) QCOMPARE(counter.paints.size(), size_t(1));
      if (view == 1) {
        // A changed edit repaints its frame, its text and the bar behind it, once a tick.
        QCOMPARE(counter.paints["DistanceLabel"], 10);
        const QStringList allowed{"dxFOBlabel", "DistanceLabel", "XEdit", "YEdit", "ZEdit", "qt_spinbox_lineedit", "ToolBar2"};
        for (const auto& [name, n] : counter.paints) {
          QVERIFY2(allowed.contains(name), qPrintable(name));
          QVERIFY2(n <= (name == "qt_spinbox_lineedit" ? 30 : 10), qPrintable(name));
        }
      }
      counter.paints.clear();
      w.Form().ToolbarVis();  // Track view
      for (int a = 0; a < 3; ++a) RegCoef[a][a + 1] = 0.1;
    }
    for (auto& row : RegCoef)
      for (double& b : row) b = 0;
  }

  void startupWaitsKeepTheWindowAliveBehindAModalProgress() {
    Harness h;
    TQtRegFormView& w = h.Start();
    TQtWaitClock clock(&w);
    int ticks = 0;
    QTimer other;  // stands for painting and the other window-system work
    QObject::connect(&other, &QTimer::timeout, [&] { ++ticks; });
    other.start(10);
    clock.Begin("Connecting", 2540);
    QVERIFY(clock.Active());
    QVERIFY(QApplication::activeModalWidget() != nullptr);
    QElapsedTimer t;
    t.start();
    clock.Sleep(200);
    QVERIFY(t.elapsed() >= 200);
    QVERIFY2(ticks >= 5, qPrintable(QString("%1 events ran during the wait").arg(ticks)));
    clock.End();
    QVERIFY(!clock.Active());
  }
};

QTEST_MAIN(QtWindowTest)
#include "QtWindowTest.moc"
