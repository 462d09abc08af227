// Screenshots of the Calibrate view, the Track view and the Transforms window,
// taken under Xvfb with a registration against the tracker emulator, for a person
// to look at (build/screenshots/).
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <cmath>

#include "E2EHarness.h"
#include "reg/TrackView.h"

using namespace e2e;

namespace {

bool Save(QWidget* w, const QString& name) {
  QDir().mkpath(ZELTRA_SCREENSHOT_DIR);
  QString path = QString(ZELTRA_SCREENSHOT_DIR) + "/" + name;
  QPixmap shot = w->screen()->grabWindow(0);
  QRect frame = w->frameGeometry().adjusted(-4, -4, 4, 4);
  return shot.copy(frame.intersected(shot.rect())).save(path) && w->grab().save(path + ".window.png");
}

// Several windows on one picture: the part of the screen they cover.
bool SaveArea(const std::vector<QWidget*>& windows, const QString& name) {
  QDir().mkpath(ZELTRA_SCREENSHOT_DIR);
  QRect area;
  for (QWidget* w : windows) area = area.united(w->frameGeometry().adjusted(-4, -4, 4, 4));
  QPixmap shot = windows.front()->screen()->grabWindow(0);
  return shot.copy(area.intersected(shot.rect())).save(QString(ZELTRA_SCREENSHOT_DIR) + "/" + name);
}

std::string LinkText(TWindow& w) { return w.F().StatusText(TStatusField::Link); }
bool Says(TWindow& w, const std::string& part) {
  return LinkText(w).find(part) != std::string::npos && w.F().StatusRed(TStatusField::Link);
}
bool Live(TWindow& w) {
  return LinkText(w).find(" readings/s") != std::string::npos && !w.F().StatusRed(TStatusField::Link);
}

// A real key press on the X server (xdotool), to the window that has the focus.
void XKey(const char* key) { QCOMPARE(RunProcess({"xdotool", "key", key}).exitCode, 0); }

class ScreenshotTest : public QObject {
  Q_OBJECT
 private slots:
  void calibrateAndTrackViews() {
    for (auto& p : PointTable) p = TPointPair{};
    TEnvironment env;
    TEmulator emu(env.Dir(), "flock");
    QVERIFY(emu.Ready());
    TWindow w;
    QVERIFY(w.Start());
    // The keys below are real X key events, which reach the menu's shortcuts only
    // when the window has the focus back from the start-up's progress.
    QCOMPARE(RunProcess({"xdotool", "windowfocus", "--sync", std::to_string(w->winId())}).exitCode, 0);
    const TTrackerReading sensor[6] = {{4000, 2000, -1000}, {-4000, 2400, 800},  {1200, -5200, 1600},
                                       {-2800, -3600, -2400}, {6000, 400, 3200}, {-400, 6400, -3600}};
    for (const TTrackerReading& r : sensor) {
      TVoxel v{static_cast<int32_t>(std::lround(128 + 0.01 * r.FOBx + 0.001 * r.FOBy)),
               static_cast<int32_t>(std::lround(140 + 0.011 * r.FOBy + 0.0012 * r.FOBz)),
               static_cast<int32_t>(std::lround(60 + 0.0006 * r.FOBx + 0.0095 * r.FOBz))};
      Viewer({"set", std::to_string(v.x), std::to_string(v.y), std::to_string(v.z)});
      QTRY_VERIFY_WITH_TIMEOUT(w.F().CurrentMRI == v, 2000);
      QVERIFY(emu.Control("pos " + std::to_string(r.FOBx) + " " + std::to_string(r.FOBy) + " " +
                          std::to_string(r.FOBz)));
      QTRY_VERIFY_WITH_TIMEOUT(w.F().TrackerReading.FOBx == r.FOBx && w.F().TrackerReading.FOBz == r.FOBz, 3000);
      const int rows = w.F().Table.DataRows();
      XKey("F1");
      QTRY_VERIFY_WITH_TIMEOUT(w.F().Table.Cell(1, w.F().Table.DataRows()) ==
                                   CellText(r.FOBx, r.FOBy, r.FOBz),
                               2000);
      QVERIFY(w.F().Table.DataRows() == rows + (r.FOBx == sensor[0].FOBx ? 0 : 1));
    }
    QVERIFY(emu.Control("path"));  // the sensor wanders again
    w->RegGrid->setFocus();
    w->RegGrid->setCurrentCell(2, 0);
    QTest::qWait(300);
    QVERIFY(Save(w.form.get(), "calibrate.png"));
    XKey("F5");
    QTRY_VERIFY_WITH_TIMEOUT(!w.F().IsCalibrateView(), 2000);
    w->desirex->setValue(130);
    w->desirey->setValue(150);
    w->desirez->setValue(70);
    QTest::qWait(300);
    QVERIFY(Save(w.form.get(), "track.png"));
    w.fob->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.fob.get()));
    QTest::qWait(200);
    QVERIFY(Save(w.fob.get(), "transforms.png"));
    w.fob->hide();
  }

  // The status line and the live label in each state of the tracker link, and the
  // question when a changed calibration is closed.
  void linkStatesAndTheCloseQuestion() {
    for (auto& p : PointTable) p = TPointPair{};
    TEnvironment env;
    TEmulator emu(env.Dir(), "flock");
    QVERIFY(emu.Ready());
    TWindow w;
    QVERIFY(w.Start());
    QVERIFY(emu.Control("path"));
    QTRY_VERIFY_WITH_TIMEOUT(Live(w), 5000);
    QTest::qWait(600);  // a rate over a whole second
    QVERIFY(Save(w.form.get(), "link-live.png"));
    QVERIFY(emu.Control("silent on"));
    QTRY_VERIFY_WITH_TIMEOUT(Says(w, ": no tracker reading for 1."), 5000);
    QTest::qWait(100);
    QVERIFY(Save(w.form.get(), "link-stale.png"));
    QVERIFY(emu.Control("silent off"));
    QTRY_VERIFY_WITH_TIMEOUT(Live(w), 5000);
    QVERIFY(emu.Control("speed 9600"));
    QTRY_VERIFY_WITH_TIMEOUT(Says(w, "the tracker's bytes do not form records"), 5000);
    QTest::qWait(100);
    QVERIFY(Save(w.form.get(), "link-noisy.png"));
    QVERIFY(emu.Control("speed 115200"));
    QTRY_VERIFY_WITH_TIMEOUT(Live(w), 5000);
    QVERIFY(emu.Control("unplug 6"));
    QTRY_VERIFY_WITH_TIMEOUT(Says(w, ": no tracker reading for "), 5000);
    w.F().Command(TCommand::ResetConnectionMenu);  // F6 while the port is gone
    QTRY_VERIFY_WITH_TIMEOUT(Says(w, "Tracker not connected"), 5000);
    QTest::qWait(100);
    QVERIFY(Save(w.form.get(), "link-not-connected.png"));

    // A landmark not saved: closing asks, in the program's own box (Cancel here).
    w.F().CurrentMRI = {120, 130, 60};
    w.F().AddBtnClick();
    QVERIFY(w.F().CalibrationChanged());
    TQtMessagePresenter boxes(w.form.get());
    bool shot = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      poll.stop();
      QTest::qWait(300);
      shot = SaveArea({w.form.get(), box}, "close-question.png");
      box->button(QMessageBox::Cancel)->click();
    });
    poll.start(20);
    QCOMPARE(boxes.AskSave("Save changes to the calibration?"), IMessagePresenter::TSaveAnswer::Cancel);
    QVERIFY(shot);
    w.messages.answers = {IMessagePresenter::TSaveAnswer::Discard};
  }
};

}  // namespace

QTEST_MAIN(ScreenshotTest)
#include "ScreenshotTest.moc"
