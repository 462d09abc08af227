// Zeltra: co-registers a magnetic head tracker with an MRI scan (the Windows window).
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>

#include "EventEdge.h"
#include "FOBForm.h"
#include "MessageLoop.h"
#include "RegFormWindow.h"
#include "SerialPorts.h"
#include "Win32Services.h"
#include "Win32Util.h"
#include "SystemServices.h"

namespace {

// Timer1's 25 ms: Windows rounds timer waits up to its clock tick, 15.6 ms by
// default, so that a 25 ms timer would fire every 31.2 ms. A 1 ms clock while the
// program runs keeps it at 25 ms (to about a millisecond).
class TTimerResolution {
 public:
  TTimerResolution() : ok_(timeBeginPeriod(1) == TIMERR_NOERROR) {}
  ~TTimerResolution() {
    if (ok_) timeEndPeriod(1);
  }
  TTimerResolution(const TTimerResolution&) = delete;
  TTimerResolution& operator=(const TTimerResolution&) = delete;

 private:
  bool ok_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS |
                                                     ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  TTimerResolution resolution;

  win32::TWin32MessagePresenter messages;
  win32::TWin32FileChooser files;
  win32::TWin32WaitClock clock;
  TSystemPortLister ports;
  win32::SetEventErrorBox(&messages);

  const TRegFormServices services = SystemRegFormServices(messages, files, clock, ports);

  int rc = 0;
  {
    win32::TWin32RegFormView RegForm(services, &clock);
    win32::TFOBForm FOBForm(RegForm.Handle());
    RegForm.SetTransformsWindow(&FOBForm);
    messages.SetOwner(RegForm.Handle());
    files.SetOwner(RegForm.Handle());
    clock.SetOwner(RegForm.Handle());
    RegForm.onDestroyed = [] { PostQuitMessage(0); };
    RegForm.Show(showCommand);
    rc = win32::RunMessageLoop([] { return false; }).value_or(0);
  }
  win32::SetEventErrorBox(nullptr);
  return rc;
}
