// zeltra-repaint-floor: what a Qt window costs at the least for showing a new value
// at every tick of a 25 ms timer, to set beside the main window's own figures
// (scripts/measure-window-cpu --floor measures it under the same X server).
//
//   zeltra-repaint-floor WIDGETS
//
// A window of the main window's size holds WIDGETS opaque controls of the tracker
// label's size. At every tick each control is marked changed and they are painted
// together, as the main window paints its live numbers: a lone control repaints at
// once, several are updated and their window's update request is sent at once. A
// control only fills its rectangle: no text, no layout, no reading, so the figure is
// the timer, the repaint and the transfer to the X server alone. 0 controls: the
// timer alone. Runs until it is killed.
#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

class TBlank : public QWidget {
 public:
  explicit TBlank(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(250, 23);  // the tracker label's painted rectangle
  }
  int shade = 0;

 protected:
  void paintEvent(QPaintEvent* e) override {
    QPainter p(this);
    p.fillRect(e->rect(), QColor(255, 255, 255 - shade));
  }
};

}  // namespace

int main(int argc, char** argv) {
  // As the main window: small frames go through the connection, not shared memory.
  if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
  QApplication app(argc, argv);
  char* end = nullptr;
  const long count = argc == 2 ? std::strtol(argv[1], &end, 10) : -1;
  if (argc != 2 || *end != '\0' || count < 0 || count > 20) {
    std::fprintf(stderr, "usage: zeltra-repaint-floor WIDGETS   (0 to 20)\n");
    return 2;
  }
  QWidget window;
  window.setWindowTitle("zeltra-repaint-floor");
  auto* column = new QVBoxLayout(&window);
  std::vector<TBlank*> blanks;
  for (long i = 0; i < count; ++i) {
    blanks.push_back(new TBlank(&window));
    column->addWidget(blanks.back());
  }
  column->addStretch();
  window.resize(572, 494);  // the main window's size
  window.show();

  QTimer tick;
  int n = 0;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    ++n;
    for (TBlank* b : blanks) {
      b->shade = n % 2;
      if (blanks.size() == 1)
        b->repaint();
      else
        b->update();
    }
    if (blanks.size() > 1) QCoreApplication::sendPostedEvents(&window, QEvent::UpdateRequest);
  });
  tick.start(25);
  return app.exec();
}
