// The Qt window over its controller, headless: what only the Qt view can get wrong.
// The menus and buttons built from the design and wired to their commands, keys
// reaching the handlers, the blue current cell, the spin edits' range, ticks that go
// on behind a message box, and the start-up's modal progress. The window's logic
// itself is tested on the controller (tests/reg).
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QElapsedTimer>
#include <QImage>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <climits>
#include <filesystem>
#include <functional>
#include <map>

#include "ControllerFakes.h"
#include "QtRegFormView.h"
#include "QtServices.h"
#include "TestSupport.h"
#include "ViewerLink.h"
#include "fob.h"
#include "math/RegMult.h"
#include "reg/TrackView.h"
#include "tracker/FlockRecord.h"

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
  // The same with a Fastrak on COM1.
  TQtRegFormView& StartFastrak() {
    ports.ports = {"COM1"};
    StoreSettings("COM1", 115200, 1, 0);
    return Start();
  }
  ~Harness() {
    fob.reset();
    window.reset();
  }
};

// Counts the paint events per control (by object name, else class) and the layout
// requests while it is installed on the application.
struct TPaintCounter : QObject {
  std::map<QString, int> paints;
  int layouts = 0;
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints[o->objectName().isEmpty() ? o->metaObject()->className() : o->objectName()];
    if (e->type() == QEvent::LayoutRequest) ++layouts;
    return false;
  }
};

// Runs `act` on the modal dialog of type T as soon as one is open (once).
template <class T>
void WhenModal(std::function<void(T*)> act) {
  auto* poll = new QTimer;
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    if (auto* d = qobject_cast<T*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      act(d);
    }
  });
  poll->start();
}

// How many pixels of `image` inside `area` have exactly this colour, and how many
// are dark (all channels below 80) or red (a strong red channel, weak others).
struct TInkCount {
  int exact = 0, dark = 0, red = 0;
};
TInkCount CountInk(const QImage& image, const QRect& area, QColor exact) {
  TInkCount n;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c == exact) ++n.exact;
      if (c.red() < 80 && c.green() < 80 && c.blue() < 80) ++n.dark;
      if (c.red() > 140 && c.green() < 70 && c.blue() < 70) ++n.red;
    }
  return n;
}

QKeySequence Key(TShortcut s) {
  const char* names[] = {"", "F1", "F2", "F3", "F4", "F5", "F6", "Ctrl+O", "Ctrl+S"};
  return QKeySequence(names[static_cast<int>(s)]);
}

}  // namespace

class QtWindowTest : public QObject {
  Q_OBJECT

 private slots:
  // A closed window must not end the test program.
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
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
    h.messages.answers = {IMessagePresenter::TSaveAnswer::Discard};  // the unsaved row
    w.Button(TCommand::OPenBtn)->click();
    QCOMPARE(h.messages.questions, std::vector<std::string>{"Save changes to the calibration?"});
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
    // Tracker positions spread in all three directions: the fit takes them.
    const TTrackerReading spread[6] = {{4000, 2000, -1000}, {-4000, 2400, 800},  {1200, -5200, 1600},
                                       {-2800, -3600, -2400}, {6000, 400, 3200}, {-400, 6400, -3600}};
    for (int i = 1; i <= 6; ++i) {
      w.Form().CurrentMRI = {i, 0, 0};
      w.Form().TrackerReading = spread[i - 1];
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

  // A value the program sets in an edit the operator is not typing in is shown
  // lightly; the spin box takes it when the operator comes (focus, a key, a step).
  void aValueSetWithoutFocusIsTakenWhenTheOperatorComes() {
    Harness h;
    TQtRegFormView& w = h.Start();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    enum How { Focus, Step, Type, Click };
    struct Case {
      How how;
      int32_t set;
      int32_t after;
      const char* text;
    } cases[] = {{Focus, 1234, 1234, "1234"}, {Step, -77, -76, "-76"}, {Type, 55, 559, "559"}, {Click, 8, 8, "8"}};
    for (const Case& c : cases) {
      w.RegGrid->setFocus();
      QTRY_VERIFY(!w.YEdit->hasFocus());
      int changes = 0;
      auto counted = connect(w.YEdit, &QSpinBox::valueChanged, [&] { ++changes; });
      w.SetEditValue(TEdit::YEdit, c.set);
      QCOMPARE(changes, 1);  // the change event, at once
      QCOMPARE(w.EditValue(TEdit::YEdit), c.set);
      QCOMPARE(w.Form().CurrentMRI.y, c.set);
      QVERIFY(w.YEdit->Deferred());
      // The value shown is painted over the edit's old text.
      QWidget* display = nullptr;  // the one over this edit
      for (QWidget* d : w.YEdit->parentWidget()->findChildren<QWidget*>("qt_spinbox_display"))
        if (d->geometry().intersects(w.YEdit->geometry())) display = d;
      QVERIFY(display && display->isVisible());
      auto above = [&] {
        const QObjectList& order = w.YEdit->parentWidget()->children();
        return order.indexOf(display) > order.indexOf(w.YEdit);
      };
      QVERIFY(above());
      QLineEdit* text = w.YEdit->findChild<QLineEdit*>();
      QCOMPARE(display->geometry(), QRect(text->mapTo(w.YEdit->parentWidget(), QPoint(0, 0)), text->size()));
      switch (c.how) {
        case Focus: w.YEdit->setFocus(); QTRY_VERIFY(w.YEdit->hasFocus()); break;
        case Step: w.YEdit->stepUp(); break;
        case Type:
          w.YEdit->setFocus();
          QTRY_VERIFY(w.YEdit->hasFocus());
          w.YEdit->findChild<QLineEdit*>()->end(false);
          QTest::keyClick(w.YEdit, Qt::Key_9);
          break;
        case Click:  // into the text, where the caret goes
          QTest::mouseClick(w.YEdit->findChild<QLineEdit*>(), Qt::LeftButton);
          QTRY_VERIFY(w.YEdit->hasFocus());
          break;
      }
      QVERIFY(!w.YEdit->Deferred());
      QVERIFY(!above());
      QCOMPARE(w.YEdit->QSpinBox::value(), c.after);
      QCOMPARE(w.YEdit->text(), QString(c.text));
      QCOMPARE(w.Form().CurrentMRI.y, c.after);
      // With the focus but no key pressed the program's values stay light; once
      // the operator types or clicks into the text they go to the spin box itself.
      w.SetEditValue(TEdit::YEdit, 4242);
      QCOMPARE(w.YEdit->Deferred(), c.how != Type && c.how != Click);
      QCOMPARE(w.EditValue(TEdit::YEdit), 4242);
      disconnect(counted);
    }
  }

  // Ticks go on behind a message box opened in a tick (its failing reads are
  // counted, not shown again).
  void ticksGoOnBehindAMessageBoxOfATick() {
    Harness h;
    TQtRegFormView& w = h.StartFastrak();
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
    TQtRegFormView& w = h.StartFastrak();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    TPaintCounter counter;
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
      // The status line changes at most with the link's state (no time passes here).
      QVERIFY(counter.paints["StatusLine"] <= 1);
      counter.paints.erase("StatusLine");
      if (view == 0) QCOMPARE(counter.paints.size(), size_t(1));
      if (view == 1) {
        // A changed edit repaints only its light display (not its frame, its line
        // edit or the bar behind it), once a tick.
        QCOMPARE(counter.paints["DistanceLabel"], 10);
        const QStringList allowed{"dxFOBlabel", "DistanceLabel", "qt_spinbox_display"};
        for (const auto& [name, n] : counter.paints) {
          QVERIFY2(allowed.contains(name), qPrintable(name + QString(" %1").arg(n)));
          QVERIFY2(n <= (name == "qt_spinbox_display" ? 30 : 10), qPrintable(name));
        }
      }
      counter.paints.clear();
      w.Form().ToolbarVis();  // Track view
      for (int a = 0; a < 3; ++a) RegCoef[a][a + 1] = 0.1;
    }
    for (auto& row : RegCoef)
      for (double& b : row) b = 0;
  }

  // With the timer running and a reading every tick, the live label holds every
  // tick's reading and is painted once a tick, at the end of the tick.
  void liveNumbersArePaintedOnceATick() {
    Harness h;
    TQtRegFormView& w = h.StartFastrak();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    TPaintCounter counter;
    qApp->installEventFilter(&counter);
    w.Timer1.start();
    QElapsedTimer clock;
    clock.start();
    int fed = 0, checked = 0, current = 0;
    while (clock.elapsed() < 1000) {
      const std::string x = std::to_string(++fed % 90 + 1);
      for (char c : "\n01 " + x + ".00 -1.00 0.50 0 0 0\r") h.port->incoming.push_back(static_cast<uint8_t>(c));
      QTest::qWait(10);
      // Once there is a reading, the label holds the newest one the controller took.
      if (w.dxFOBlabel->text() == design::kTrackerLabelStart) continue;
      ++checked;
      current += w.dxFOBlabel->text() == QString::fromStdString(TrackerLabel(w.Form().TrackerReading).text);
    }
    const int ticks = static_cast<int>(clock.elapsed() / look::kTimer1IntervalMs);
    w.Timer1.stop();
    qApp->removeEventFilter(&counter);
    QVERIFY(checked >= 5);
    QCOMPARE(current, checked);
    const int paints = counter.paints["dxFOBlabel"];
    // Painted (not left for later), and never more than once a tick.
    QVERIFY2(paints >= 2 && paints <= ticks + 2,
             qPrintable(QString("%1 paints in %2 ticks").arg(paints).arg(ticks)));
  }

  // The status line's link field and the live label's ink in each state of the
  // tracker link, as the controller's ticks set them, and as they are painted.
  void statusLineAndLiveLabelFollowTheLinkState() {
    struct Case {
      const char* name;
      bool portMissing;
      int32_t x;         // the sensor's x (thousands of units: beyond 30 is far)
      int readingTicks;  // ticks with a reading each
      int silentTicks;   // then ticks without a byte
      int noiseTicks;    // then ticks of bytes that form no records
      const char* says;
      bool red;
      look::TRGB labelInk;
    } cases[] = {
        {"live", false, 1000, 41, 0, 0, "40 readings/s", false, look::kTrackerInk},
        {"live and far", false, 32000, 41, 0, 0, "40 readings/s", false, look::kTrackerFarInk},
        {"stale", false, 1000, 41, 24, 0, "no tracker reading for 0.", true, look::kStaleInk},
        {"stale and far", false, 32000, 41, 24, 0, "no tracker reading for 0.", true, look::kStaleInk},
        {"noisy", false, 1000, 10, 0, 8, "the tracker's bytes do not form records", true, look::kStaleInk},
        {"not connected", true, 1000, 0, 4, 0, "Tracker not connected", true, look::kStaleInk},
    };
    for (const Case& c : cases) {
      Harness h;
      h.ports.ports = {"COM1"};
      h.port->failOpen = c.portMissing;
      // A Flock that answers the model query.
      h.port->device = [previous = uint8_t{0}](uint8_t b, TScriptedPort::Log& log) mutable {
        if (previous == 0x4F && b == 0x0F)
          for (char ch : std::string("MINIBIRD01")) log.incoming.push_back(static_cast<uint8_t>(ch));
        previous = b;
      };
      TQtRegFormView& w = h.Start();
      QVERIFY(QTest::qWaitForWindowExposed(&w));
      auto tick = [&](const std::vector<uint8_t>& bytes) {
        h.port->incoming.insert(h.port->incoming.end(), bytes.begin(), bytes.end());
        h.clock.now += 25;
        w.Form().Timer1Timer();
      };
      const TFlockRecord record = EncodeFlockRecord(c.x, 0, 0);
      for (int i = 0; i < c.readingTicks; ++i) tick({record.begin(), record.end()});
      for (int i = 0; i < c.silentTicks; ++i) tick({});
      for (int i = 0; i < c.noiseTicks; ++i) tick({0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88});
      const QString link = w.StatusLine->FieldText(TStatusField::Link);
      QVERIFY2(link.contains(c.says), qPrintable(QString(c.name) + ": " + link));
      QCOMPARE(w.StatusLine->FieldRed(TStatusField::Link), c.red);
      QCOMPARE(w.dxFOBlabel->color(), LookColor(c.labelInk));
      // Painted: the link's field in its ink, the label's numbers in theirs.
      QVERIFY(w.StatusLine->isVisible());
      QCOMPARE(w.StatusLine->height(), look::kStatusHeight);
      const QImage status = w.StatusLine->grab().toImage();
      const QRect field = w.StatusLine->FieldRect(TStatusField::Link);
      QVERIFY2(field.width() > 50, c.name);
      const TInkCount ink = CountInk(status, field, LookColor(look::kStatusAlertInk));
      if (c.red) {
        QVERIFY2(ink.red > 20 && ink.dark == 0, qPrintable(QString("%1: %2 red, %3 dark").arg(c.name).arg(ink.red).arg(ink.dark)));
      } else {
        QVERIFY2(ink.dark > 20 && ink.red == 0, c.name);
      }
      const QImage label = w.dxFOBlabel->grab().toImage();
      const TInkCount labelInk = CountInk(label, label.rect(), LookColor(c.labelInk));
      QVERIFY2(labelInk.exact > 20, c.name);
      if (c.labelInk == look::kStaleInk) QVERIFY2(labelInk.dark == 0 && labelInk.red == 0, c.name);
    }
  }

  // The status line's fields in enum order, an empty one taking no room, every text
  // shown whole when there is room and the rest shared when there is not.
  void statusLineFieldsShareTheWidth() {
    Harness h;
    TQtRegFormView& w = h.Start();
    TStatusLine& line = *w.StatusLine;
    for (int f = 0; f < kStatusFieldCount; ++f) line.SetField(static_cast<TStatusField>(f), "", false);
    line.SetField(TStatusField::Image, "Image: head.nii", false);
    line.SetField(TStatusField::Link, "COM1", false);
    const QRect link = line.FieldRect(TStatusField::Link), image = line.FieldRect(TStatusField::Image);
    QCOMPARE(link.left(), look::kBarPadding);
    QCOMPARE(image.left(), link.right() + 1 + look::kStatusFieldGap);  // the empty ones between take none
    QVERIFY(line.FieldRect(TStatusField::Viewer).isEmpty());
    QFontMetrics fm(line.font());
    QVERIFY(link.width() >= fm.horizontalAdvance("COM1"));
    // A long text takes what the short ones leave, within the line.
    line.SetField(TStatusField::Fit, QString(400, QChar('w')), true);
    const QRect fit = line.FieldRect(TStatusField::Fit);
    QVERIFY(fit.left() > line.FieldRect(TStatusField::Link).right());
    QVERIFY(line.FieldRect(TStatusField::Image).right() < line.width());
    QVERIFY(line.FieldRect(TStatusField::Image).width() >= fm.horizontalAdvance("Image: head.nii"));
    QVERIFY(fit.width() > line.width() / 2);
  }

  // Every request to close the window asks the controller: with unsaved changes the
  // operator is asked, Cancel (or a save that is cancelled) keeps the window open
  // and running, Discard or a save closes it.
  void closeRequestsAskAndCancelKeepsTheWindow() {
    using A = IMessagePresenter::TSaveAnswer;
    struct Case {
      const char* name;
      bool byExit;  // File > Exit, else the window's own close (button, system, Alt+F4)
      bool changed;
      A answer;
      bool saveChosen;
      bool closes;
    } cases[] = {
        {"close, cancel", false, true, A::Cancel, false, false},
        {"exit, cancel", true, true, A::Cancel, false, false},
        {"close, discard", false, true, A::Discard, false, true},
        {"exit, discard", true, true, A::Discard, false, true},
        {"close, save", false, true, A::Save, true, true},
        {"close, save cancelled", false, true, A::Save, false, false},
        {"close, unchanged", false, false, A::Cancel, false, true},
    };
    TempDir dir;
    for (const Case& c : cases) {
      Harness h;
      TQtRegFormView& w = h.Start();
      QVERIFY(QTest::qWaitForWindowExposed(&w));
      if (c.changed) {
        w.Form().CurrentMRI = {1, 2, 3};
        w.Form().AddBtnClick();
      }
      h.messages.answers = {c.answer};
      const std::string path = (dir / (std::string(c.name) + ".txt")).string();
      if (c.saveChosen) h.files.saveAnswer = path;
      else h.files.saveAnswer.reset();
      w.SetTimerEnabled(true);
      if (c.byExit)
        w.Action(TCommand::Exit1)->trigger();
      else
        w.close();
      QCOMPARE(h.messages.questions.size(), size_t(c.changed ? 1 : 0));
      if (c.changed) QCOMPARE(h.messages.questions[0], std::string("Save changes to the calibration?"));
      QVERIFY2(w.isVisible() == !c.closes, c.name);
      if (!c.closes) {
        // Still running: the viewer's block and the polling are kept.
        QVERIFY(w.Form().CursorBlock() != nullptr);
        QVERIFY(w.Timer1.isActive());
      }
      QCOMPARE(std::filesystem::exists(path), c.saveChosen);
      w.Timer1.stop();
    }
  }

  // The Port menu lists the ports that exist when it opens, and its new items
  // choose their own port.
  void portMenuRelistsThePortsWhenItOpens() {
    Harness h;
    h.ports.ports = {"COM1"};
    TQtRegFormView& w = h.Start();
    QCOMPARE(w.PortMenu->actions().size(), 1);
    h.ports.ports = {"COM1", "COM4", "COM3"};
    w.PortMenu->popup(w.mapToGlobal(QPoint(10, 10)));
    QTRY_VERIFY(w.PortMenu->isVisible());
    w.PortMenu->hide();
    QStringList captions;
    for (QAction* a : w.PortMenu->actions()) captions << a->text();
    QCOMPARE(captions, (QStringList{"COM3", "COM4", "COM1"}));
    QVERIFY(w.PortMenu->actions()[2]->isChecked());
    QVERIFY(!w.PortMenu->actions()[1]->isChecked());
    w.PortMenu->actions()[1]->trigger();
    QCOMPARE(w.Form().Tracker.PortName, std::string("COM4"));
    QTest::qWait(10);  // the replaced items go
    QCOMPARE(w.PortMenu->actions().size(), 3);
    QVERIFY(w.PortMenu->actions()[1]->isChecked());
  }

  // The landmark check: three columns in voxels, five with the mm of an MRI image,
  // the units in the headers, and the legend of the worst row's mark below.
  void checkTableColumnsAndLegend() {
    Harness h;
    h.Start();
    TFOBForm& f = *h.fob;
    f.show();
    struct Case {
      bool withMm;
      int columns;
    } cases[] = {{false, 3}, {true, 5}, {false, 3}};
    for (const Case& c : cases) {
      std::vector<TCheckTableRow> rows;
      for (int i = 1; i <= 6; ++i) {
        TCheckTableRow r{i, std::to_string(i) + ".10", std::to_string(i) + ".90", i == 4};
        if (c.withMm) r.residualMm = std::to_string(i) + ".15", r.leaveOneOutMm = std::to_string(i) + ".95";
        rows.push_back(r);
      }
      f.SetCheck(rows, "RMS residual 1.00 vxl", "");
      QCOMPARE(f.CheckTable->columnCount(), c.columns);
      const std::vector<std::string> headers = CheckTableHeaders(c.withMm);
      for (int col = 0; col < c.columns; ++col)
        QCOMPARE(f.CheckTable->horizontalHeaderItem(col)->text().toStdString(), headers[static_cast<size_t>(col)]);
      QVERIFY(f.CheckTable->horizontalHeaderItem(1)->text().contains("[vxl]"));
      if (c.withMm) {
        QVERIFY(f.CheckTable->horizontalHeaderItem(3)->text().contains("[mm]"));
        QCOMPARE(f.CheckTable->item(3, 4)->text(), QString("4.95"));
      }
      QCOMPARE(f.CheckTable->item(3, 0)->text(), QString("4 *"));
      QCOMPARE(f.CheckTable->item(3, 2)->text(), QString("4.90"));
      QVERIFY(f.CheckLegend->isVisible());
      QCOMPARE(f.CheckLegend->text(), QString("* largest leave-one-out error"));
      QVERIFY(f.CheckLegend->geometry().top() >= f.CheckTable->geometry().bottom());
    }
    f.SetCheck({}, "", "");
    QVERIFY(!f.CheckTable->isVisible());
    QVERIFY(!f.CheckLegend->isVisible());
    f.hide();
  }

  // The new menu items, with their UTF-8 captions, raise their commands: the
  // server's dialog edits the address and port the server listens on.
  void serverDialogEditsTheAddressAndPort() {
    struct Case {
      const char* address;
      const char* port;
      bool ok;
      const char* wantAddress;
      int wantPort;
    } cases[] = {
        {"0.0.0.0", "18944", true, "0.0.0.0", 18944},
        {"127.0.0.1", "0", true, "127.0.0.1", 0},
        {"10.0.0.1", "70000", true, "10.0.0.1", 7000},  // the edit takes no more than 65535
        {"10.0.0.2", "1234", false, nullptr, -1},        // cancelled: nothing changes
    };
    for (const Case& c : cases) {
      Harness h;
      TQtRegFormView& w = h.Start();
      const std::string oldAddress = w.Form().Tracker.IGTLAddress;
      const int oldPort = w.Form().Tracker.IGTLPort;
      QString caption, labels;
      WhenModal<QDialog>([&](QDialog* d) {
        caption = d->windowTitle();
        for (QLabel* l : d->findChildren<QLabel*>()) labels += l->text() + "|";
        auto* address = d->findChild<QLineEdit*>("ServerAddressEdit");
        auto* port = d->findChild<QSpinBox*>("ServerPortEdit");
        address->clear();
        QTest::keyClicks(address, c.address);
        port->clear();
        QTest::keyClicks(port, c.port);
        if (c.ok)
          d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        else
          d->reject();
      });
      QVERIFY(w.Action(TCommand::OpenImage1)->text().endsWith(QChar(0x2026)));
      QAction* item = w.Action(TCommand::IgtlServer1);
      QVERIFY(item->text().endsWith(QChar(0x2026)));
      item->trigger();
      QCOMPARE(caption, QString("OpenIGTLink server"));
      QVERIFY(labels.contains("Address (127.0.0.1: this computer only; 0.0.0.0: every network):|"));
      QVERIFY(labels.contains("Port (0: no server):|"));
      QCOMPARE(w.Form().Tracker.IGTLAddress, c.ok ? std::string(c.wantAddress) : oldAddress);
      QCOMPARE(w.Form().Tracker.IGTLPort, c.ok ? c.wantPort : oldPort);
    }
  }

  // The question's buttons and their answers; Escape is Cancel.
  void saveQuestionAnswersAsItsButtons() {
    using A = IMessagePresenter::TSaveAnswer;
    struct Case {
      QMessageBox::StandardButton button;  // NoButton: Escape
      A answer;
    } cases[] = {{QMessageBox::Save, A::Save},
                 {QMessageBox::Discard, A::Discard},
                 {QMessageBox::Cancel, A::Cancel},
                 {QMessageBox::NoButton, A::Cancel}};
    QWidget parent;
    TQtMessagePresenter presenter(&parent);
    for (const Case& c : cases) {
      QString text;
      int buttons = 0;
      WhenModal<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        buttons = static_cast<int>(box->buttons().size());
        if (c.button == QMessageBox::NoButton)
          QTest::keyClick(box, Qt::Key_Escape);
        else
          box->button(c.button)->click();
      });
      QCOMPARE(presenter.AskSave("Save changes to the calibration?"), c.answer);
      QCOMPARE(text, QString("Save changes to the calibration?"));
      QCOMPARE(buttons, 3);
    }
  }

  // The save dialog proposes the calibration's own name.
  void saveDialogProposesTheFileName() {
    TempDir dir;
    QWidget parent;
    TQtFileChooser chooser(&parent);
    QString proposed;
    WhenModal<QFileDialog>([&](QFileDialog* d) {
      if (auto* name = d->findChild<QLineEdit*>("fileNameEdit")) proposed = name->text();
      d->reject();
    });
    TFileDialogSpec spec{"Text file (*.txt)|*.txt", dir.path().string(), "txt", true, "session-3.txt"};
    QVERIFY(!chooser.ChooseSave(spec));
    QCOMPARE(proposed, QString("session-3.txt"));
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
