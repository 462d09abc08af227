// Zeltra: co-registers a magnetic head tracker with an MRI scan.
#include <QApplication>
#include <QMessageBox>
#include <memory>

#include "QtRegFormView.h"
#include "QtServices.h"
#include "SerialPorts.h"
#include "fob.h"
#include "SystemServices.h"

namespace {

// An error that escapes an event handler ends that handler and is shown in the
// standard error box; the program goes on.
class TZeltraApplication : public QApplication {
 public:
  using QApplication::QApplication;
  IMessagePresenter* errors = nullptr;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      if (errors) errors->ShowError(e.what());
    } catch (...) {
      if (errors) errors->ShowError("Unexpected error");
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  // The window's updates are small (a label, three edits, 40 times a second). On
  // X11 each frame sent through shared memory costs a completion event and two
  // thread wake-ups, more than copying the few pixels through the connection:
  // measured, the window's CPU drops by about a third without it. A user's own
  // setting of the variable wins.
  if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
  TZeltraApplication app(argc, argv);
  QApplication::setApplicationName("Zeltra");

  TQtMessagePresenter messages;
  TQtFileChooser files;
  TQtWaitClock clock;
  TSystemPortLister ports;
  app.errors = &messages;

  const TRegFormServices services = SystemRegFormServices(messages, files, clock, ports);

  TQtRegFormView RegForm(services, &clock);
  TFOBForm FOBForm(&RegForm);
  RegForm.SetTransformsWindow(&FOBForm);
  messages.SetParent(&RegForm);
  files.SetParent(&RegForm);
  clock.SetParent(&RegForm);
  RegForm.show();
  int rc = app.exec();
  app.errors = nullptr;
  return rc;
}
