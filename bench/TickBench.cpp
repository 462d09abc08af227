// One polling tick of the controller (TRegForm::Timer1Timer), the window's painting
// excluded: a view of plain state, a serial port that always holds one Flock
// record, and the real shared block.
//   Track view:      a new reading mapped, published under the block's lock, the
//                    three edits, the label and the distance set.
//   Calibrate view:  the viewer moved its cursor (the follow stage copies it into the
//                    edits) and a new reading updates the label.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>

#include "BenchSupport.h"
#include "ControllerFakes.h"
#include "FakeView.h"
#include "TestSupport.h"
#include "ViewerLink.h"
#include "math/RegMult.h"
#include "tracker/FlockRecord.h"

namespace {

// A Flock in stream mode: Refill puts one whole record in its input queue.
class TStreamingPort : public ISerialPort {
 public:
  TStreamingPort() {
    auto r = EncodeFlockRecord(1000, -2000, 3000);
    std::copy(r.begin(), r.end(), record_.begin());
  }
  bool Open(const std::string&, int32_t) override { return open_ = true; }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  uint32_t BytesWaiting() override { return 6 - static_cast<uint32_t>(next_); }
  uint8_t ReadByte() override { return next_ < 6 ? record_[next_++] : record_[5]; }
  void Refill() { next_ = 0; }
  void WriteByte(uint8_t) override {}
  bool WriteString(const std::string&) override { return true; }

 private:
  std::array<uint8_t, 6> record_{};
  size_t next_ = 6;
  bool open_ = false;
};

struct TBench {
  TSilentPresenter messages;
  TScriptedChooser files;
  TRecordingClock clock;
  TListedPorts ports;
  TFakeView view;
  TStreamingPort* port = nullptr;
  std::unique_ptr<TRegForm> form;

  TBench() {
    testsupport::SetEnv("ZELTRA_VIEWER_TAG", testsupport::UniqueTag("-bench-"));
    TRegFormServices s;
    s.messages = &messages;
    s.files = &files;
    s.clock = &clock;
    s.ports = &ports;
    s.serialPort = [this] {
      auto p = std::make_unique<TStreamingPort>();
      port = p.get();
      return p;
    };
    s.cursorBlock = [](bool& created) { return OpenCursorBlock(ViewerBlockNames(), created); };
    ports.ports = {"COM1"};
    form = std::make_unique<TRegForm>(s, view);
    view.form = form.get();
    form->FormCreate();
    form->FormShow();
    form->Timer1Timer();  // the start-up, its waits only recorded
    for (int a = 0; a < 3; ++a) RegCoef[a][0] = 100, RegCoef[a][1 + a] = 0.01;
  }
  ~TBench() {
    form.reset();
    RemoveSharedBlock(ViewerBlockNames());
  }
};

void BM_TickTrackView(benchmark::State& state) {
  TBench b;
  b.form->ToolbarVis();
  for (auto _ : state) {
    b.port->Refill();
    b.form->Timer1Timer();
  }
  if (b.form->CurrentMRI.x != 110) state.SkipWithError("no reading was mapped");
}

void BM_TickCalibrateViewViewerMoved(benchmark::State& state) {
  TBench b;
  TEMemMap viewer;
  viewer.InitMutex(ViewerBlockNames().mutex);
  viewer.OpenMap(ViewerBlockNames().map, kSharedBlockSize);
  int32_t x = 0;
  for (auto _ : state) {
    ++x;
    std::memcpy(viewer.View(), &x, sizeof x);  // the viewer's move, without its lock
    b.port->Refill();
    b.form->Timer1Timer();
  }
  if (b.form->CurrentMRI.x != x) state.SkipWithError("the viewer was not followed");
}

}  // namespace

BENCHMARK(BM_TickTrackView);
BENCHMARK(BM_TickCalibrateViewViewerMoved);
