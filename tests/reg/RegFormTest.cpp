// The window's controller TRegForm without a window: a view of plain state, fake
// dialogs and settings, a scripted serial port, and the viewer's block in memory,
// read and written by the test as the viewer does. Runs natively, under the
// sanitizers and in the Windows builds under Wine.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>

#include "ControllerFakes.h"
#include "FakeView.h"
#include "TestSupport.h"
#include "math/RegMult.h"
#include "tracker/FlockRecord.h"
#include "tracker/Startup.h"
#include "tracker/TrackerLink.h"

using namespace testsupport;

namespace {

const std::string kPrompt =
    "Please switch on the miniBIRD/FOB tracker and set it to 'FLY'. If the tracker was already on "
    "FLY, set it to STDBY briefly first. Press 'OK' when the panel light stops flashing. BPS: ";

// The viewer's side of the block.
class TViewer {
 public:
  explicit TViewer(TMemoryBlock& b) : b_(b) {}
  TVoxel Get() { return b_.Cursor(); }
  void Set(const TVoxel& v) { b_.SetCursor(v); }
  std::array<int32_t, kSharedBlockWords> Words() { return b_.words; }

 private:
  TMemoryBlock& b_;
};

class RegFormTest : public ::testing::Test, protected TFakeServices {
 protected:
  TFakeView view;
  std::unique_ptr<TRegForm> form;
  std::vector<std::string> startupMessages;

  void SetUp() override {
    for (auto& p : PointTable) p = TPointPair{};
    for (auto& row : RegCoef)
      for (double& b : row) b = 0;
    // A Flock that answers the model query.
    port->device = [previous = uint8_t{0}](uint8_t b, TScriptedPort::Log& log) mutable {
      if (previous == 0x4F && b == 0x0F)
        for (char c : std::string("MINIBIRD01")) log.incoming.push_back(static_cast<uint8_t>(c));
      previous = b;
    };
  }
  void TearDown() override {
    form.reset();
  }

  TRegForm& Create() {
    view = TFakeView{};
    form = std::make_unique<TRegForm>(Services(), view);
    view.form = form.get();
    form->FormCreate();
    return *form;
  }
  // Created, shown and past the first tick (the tracker start-up).
  TRegForm& Start() {
    Create();
    form->FormShow();
    if (view.timer) form->Timer1Timer();
    startupMessages = messages.messages;
    messages.messages.clear();
    return *form;
  }
  void Close() { form.reset(); }

  void AddRows(int n) {
    for (int i = 1; i <= n; ++i) {
      form->CurrentMRI = {i, 2 * i, i * i};
      form->TrackerReading = {100 * i, 7 * i * i, -50 * i + i * i * i};
      form->Command(TCommand::AddBtn);
    }
  }
  const std::string& Cell(int col, int row) { return view.cells.at(static_cast<size_t>(row))[static_cast<size_t>(col)]; }
};

// ---- Life cycle and viewer link ----

TEST_F(RegFormTest, LifeCycleStartsTheTrackerOnTheFirstTickWithTheTimerStopped) {
  Create();
  EXPECT_TRUE(view.Checked(TCommand::FlockofBirdsMiniBird1));  // as designed
  EXPECT_TRUE(view.Checked(TCommand::N576001));
  EXPECT_FALSE(view.timer);
  form->FormShow();
  EXPECT_EQ(Cell(0, 0), "MRI");
  EXPECT_EQ(Cell(1, 0), "Flock of Birds");
  EXPECT_EQ(form->Timer1Tag, 666);
  EXPECT_TRUE(view.timer);
  ports.ports = {"COM1"};
  bool timerDuringStartup = true;
  clock.onSleep = [&](uint32_t) { timerDuringStartup = timerDuringStartup && view.timer; };
  form->Timer1Timer();
  EXPECT_FALSE(timerDuringStartup);
  EXPECT_EQ(form->Timer1Tag, 0);
  EXPECT_TRUE(view.timer);
  EXPECT_EQ(view.caption, "MINIBIRD01");
  EXPECT_EQ(view.progress, (std::vector<std::string>{
                               "begin Connecting to the tracker on COM1 at 115200 bps ... 2540", "end"}));
}

TEST_F(RegFormTest, NewBlockStartsAtOneAndAnExistingBlockKeepsItsContents) {
  Create();
  std::array<int32_t, kSharedBlockWords> want{1, 1, 1, 2147483647};
  EXPECT_EQ(TViewer(*block).Words(), want);
  TViewer viewer(*block);  // the block outlives the window while the viewer holds it
  viewer.Set({7, 8, 9});
  form.reset();
  Create();
  EXPECT_EQ(viewer.Get(), (TVoxel{7, 8, 9}));
}

TEST_F(RegFormTest, CalibrateViewFollowsTheViewerAndNeverWritesBack) {
  {
    block->exists = true;  // the viewer made the block: Aux0 stays 0
    block->SetCursor({10, 20, 30});
    Start();
    TViewer viewer(*block);
    form->Timer1Timer();
    EXPECT_EQ(view.Edits(), (TVoxel{10, 20, 30}));
    viewer.Set({11, -22, 33});
    form->Timer1Timer();
    EXPECT_EQ(view.Edits(), (TVoxel{11, -22, 33}));
    EXPECT_EQ(form->CurrentMRI, (TVoxel{11, -22, 33}));
    EXPECT_EQ(viewer.Words()[Aux0], 0) << "the window wrote the block back";
  }
}

TEST_F(RegFormTest, TypedVoxelReachesTheViewerAndIsReadBackUnchanged) {
  Start();
  TViewer viewer(*block);
  form->Timer1Timer();  // follows the new block's 1, 1, 1
  view.Type(TEdit::XEdit, 42);
  EXPECT_EQ(viewer.Get(), (TVoxel{42, 1, 1}));
  view.Type(TEdit::ZEdit, -7);
  EXPECT_EQ(viewer.Get(), (TVoxel{42, 1, -7}));
  form->Timer1Timer();
  EXPECT_EQ(view.Edits(), (TVoxel{42, 1, -7}));
  // A desired-voxel edit republishes the current point.
  viewer.Set({0, 0, 0});
  view.Type(TEdit::desirex, 5);
  EXPECT_EQ(viewer.Get(), (TVoxel{42, 1, -7}));
}

TEST_F(RegFormTest, MappingErrorAtStartIsShownAndTheWindowGoesOn) {
  block->openError = "Memory Mapping Error #22";
  Start();
  ASSERT_EQ(messages.errors.size(), 1u);
  EXPECT_EQ(messages.errors[0].rfind("Memory Mapping Error #", 0), 0u);
  view.Type(TEdit::XEdit, 3);  // publishes into nothing
  form->Timer1Timer();
  EXPECT_EQ(view.Edit(TEdit::XEdit), 3);
}

// ---- Tracker label and readings ----

TEST_F(RegFormTest, TrackerLabelFormatAndColour) {
  struct Case {
    TTrackerReading r;
    const char* text;
    bool red;
  } cases[] = {{{1234, -5678, 0}, " x    1.2 y   -5.7 z    0.0 d    5.8", false},
               {{30000, 0, 0}, " x   30.0 y    0.0 z    0.0 d   30.0", false},
               {{30001, 0, 0}, " x   30.0 y    0.0 z    0.0 d   30.0", true}};
  Create();
  for (const Case& c : cases) {
    form->TrackerReading = c.r;
    form->UpdateTrackerLabel();
    EXPECT_EQ(view.trackerLabel, c.text);
    EXPECT_EQ(view.trackerRed, c.red) << c.text;
  }
}

TEST_F(RegFormTest, FlockStreamReachesTheLabelAndAddTakesItShutdownSendsPointAndSleep) {
  ports.ports = {"COM1"};
  Start();
  EXPECT_EQ(clock.sleeps, (std::vector<uint32_t>{800, 800, 320, 620}));
  // Point (ends a stream left running), Examine 0x4F 0x0F, bus prefix and change
  // value, position, stream.
  EXPECT_EQ(port->written, std::string("\x42\x4F\x0F\xF1\x50\x32\x01\x56\x40", 9));
  for (uint8_t b : EncodeFlockRecord(1000, -2000, 32764)) port->incoming.push_back(b);
  form->Timer1Timer();
  EXPECT_EQ(view.trackerLabel, " x    1.0 y   -2.0 z   32.8 d   32.8");
  EXPECT_TRUE(view.trackerRed);
  form->Timer1Timer();  // nothing new: the label is not set again
  EXPECT_EQ(view.trackerLabelSets, 1);
  form->CurrentMRI = {5, 6, 7};
  form->Command(TCommand::AddMRI1);
  EXPECT_EQ(Cell(0, 1), "5:6:7");
  EXPECT_EQ(Cell(1, 1), "1000:-2000:32764");
  Close();
  EXPECT_EQ(port->written.substr(port->written.size() - 2), "\x42\x47");
}

TEST_F(RegFormTest, ErrorsOfTicksThatArriveWhileTheBoxIsOpenAreCountedNotStacked) {
  ports.ports = {"COM1"};
  StoreSettings("COM1", 115200, 1, 0);
  Start();
  const std::string bad = "\n01  1.0 2.0 -.-\r";
  int ticksWhileOpen = 0;
  messages.onError = [&](const std::string&) {
    for (; ticksWhileOpen < 5; ++ticksWhileOpen) {
      Feed(bad);
      form->Timer1Timer();
    }
  };
  clock.now += 1000;  // long after the start-up
  Feed(bad);
  form->Timer1Timer();
  EXPECT_EQ(ticksWhileOpen, 5);
  // The failed line is noise: the link says so, not that no reading comes.
  EXPECT_NE(view.Status(TStatusField::Link).find("do not form records"), std::string::npos)
      << view.Status(TStatusField::Link);
  EXPECT_EQ(messages.errors, std::vector<std::string>{"'-.-' is not a valid floating point value"});
  EXPECT_EQ(form->SuppressedErrors(), 5);
  // Polling goes on: a good line is read.
  Feed("\n01  1.00 2.00 3.00 0 0 0\r");
  form->Timer1Timer();
  EXPECT_EQ(form->TrackerReading.FOBx, 100);
  EXPECT_EQ(form->TrackerReading.FOBz, 300);
}

// ---- Calibration table ----

TEST_F(RegFormTest, AddFillsRowOneThenGrowsAndStopsAt125) {
  Start();
  form->TrackerReading = {4, 8, 12};
  form->CurrentMRI = {-3, 0, -120};
  form->Command(TCommand::AddBtn);
  EXPECT_EQ(view.gridRows, 2);
  EXPECT_EQ(Cell(0, 1), "-3:0:-120");
  for (int i = 2; i <= 125; ++i) form->Command(TCommand::AddMRI1);
  EXPECT_EQ(view.gridRows, 126);
  EXPECT_TRUE(messages.messages.empty());
  form->Command(TCommand::AddMRI1);
  EXPECT_EQ(view.gridRows, 126);
  EXPECT_EQ(messages.messages, std::vector<std::string>{"No more data points can be entered."});
}

TEST_F(RegFormTest, DeleteAndResampleActOnTheSelectedRow) {
  Start();
  for (int i = 1; i <= 4; ++i) {
    form->CurrentMRI = {i, i, i};
    form->TrackerReading = {10 * i, 10 * i, 10 * i};
    form->Command(TCommand::AddBtn);
  }
  view.SelectCell(1, 2);
  form->Command(TCommand::AddRowMRIFOB1);  // F2
  EXPECT_EQ(view.gridRows, 4);
  EXPECT_EQ(Cell(0, 2), "3:3:3");
  EXPECT_EQ(Cell(1, 2), "30:30:30");
  EXPECT_EQ(PointTable[2], (TPointPair{3, 3, 3, 30, 30, 30}));
  form->CurrentMRI = {-1, -2, -3};
  form->TrackerReading = {-4, -5, -6};
  form->Command(TCommand::ResampleMRI1);  // F3: the MRI half only
  EXPECT_EQ(PointTable[2], (TPointPair{-1, -2, -3, 30, 30, 30}));
  form->Command(TCommand::ResampleFOB1);  // F4: the tracker half only
  EXPECT_EQ(PointTable[2], (TPointPair{-1, -2, -3, -4, -5, -6}));
  EXPECT_EQ(Cell(1, 2), "-4:-5:-6");
  view.selection = {};  // nothing selected: Resample does nothing
  form->Command(TCommand::ResampleFOB1);
  EXPECT_EQ(Cell(0, 1), "1:1:1");
}

TEST_F(RegFormTest, SelectingARowShowsItsLandmarkOnlyWhenItDiffers) {
  Start();
  TViewer viewer(*block);
  form->CurrentMRI = {7, 8, 9};
  form->Command(TCommand::AddBtn);
  form->CurrentMRI = {1, 2, 3};
  form->Command(TCommand::AddBtn);
  view.SelectCell(0, 2);
  EXPECT_EQ(viewer.Get(), (TVoxel{1, 2, 3}));
  viewer.Set({50, 50, 50});
  view.SelectCell(1, 2);  // the same row: nothing is sent
  EXPECT_EQ(viewer.Get(), (TVoxel{50, 50, 50}));
  view.SelectCell(0, 1);
  EXPECT_EQ(viewer.Get(), (TVoxel{7, 8, 9}));
  // A double click on the MRI cell brings the viewer back to the landmark; on the
  // tracker cell it does not.
  form->Timer1Timer();
  viewer.Set({50, 50, 50});
  form->Timer1Timer();
  view.selection = {1, 1};
  form->RegGridDblClick();
  EXPECT_EQ(viewer.Get(), (TVoxel{50, 50, 50}));
  view.selection = {1, 0};
  form->RegGridDblClick();
  EXPECT_EQ(viewer.Get(), (TVoxel{7, 8, 9}));
}

TEST_F(RegFormTest, ChoosingALandmarkOfTheCheckSelectsItsRowAndShowsIt) {
  Start();
  TViewer viewer(*block);
  AddRows(3);
  view.SelectCell(0, 2);
  viewer.Set({50, 50, 50});
  form->Timer1Timer();
  for (int row : {2, 3, 0, 4}) {  // the current row again, another, and two that are none
    form->CheckTableSelect(row);
    if (row == 2 || row == 3) {
      EXPECT_EQ(view.selection.top, row);
      EXPECT_EQ(viewer.Get(), (TVoxel{row, 2 * row, row * row}));
    }
  }
  EXPECT_EQ(view.selection.top, 3);
}

TEST_F(RegFormTest, GridKeys) {
  struct Case {
    int key, seen;
  } cases[] = {{kKeyPageDown, kKeyDown}, {kKeyPageUp, kKeyUp}, {kKeyDown, kKeyDown}, {'A', 'A'}};
  Start();
  for (const Case& c : cases) EXPECT_EQ(form->RegGridKeyDown(c.key), c.seen) << c.key;
  AddRows(6);
  view.SelectCell(0, 1);
  view.GridKey(kKeyPageDown);
  EXPECT_EQ(view.currentRow, 2);
  // Full stop: the selected row's tracker half takes the reading.
  form->TrackerReading = {-4, -8, -12};
  EXPECT_EQ(form->RegGridKeyDown(kKeyPeriod), 0);
  EXPECT_EQ(Cell(1, 2), "-4:-8:-12");
  EXPECT_EQ(Cell(0, 2), "2:4:4");
  // Escape: the mode switch (the fit runs on the 6 rows).
  EXPECT_EQ(form->RegGridKeyDown(kKeyEscape), 0);
  EXPECT_FALSE(form->IsCalibrateView());
}

// ---- Calibration files ----

TEST_F(RegFormTest, SaveAndOpenRoundTripThroughTheDialogs) {
  TempDir dir;
  std::string path = (dir / "cal.txt").string();
  Start();
  form->CurrentMRI = {12, -4, 87};
  form->TrackerReading = {1503, -2210, 455};
  form->Command(TCommand::AddBtn);
  form->CurrentMRI = {20, -4, 80};
  form->TrackerReading = {1498, -1377, 452};
  form->Command(TCommand::AddBtn);
  view.Type(TEdit::desirex, 64);
  view.Type(TEdit::desirey, 70);
  view.Type(TEdit::desirez, 31);
  files.saveAnswer = path;
  form->Command(TCommand::Save1);
  EXPECT_EQ(files.lastSave.filter, "Text file (*.txt)|*.txt");
  EXPECT_EQ(files.lastSave.defaultExt, "txt");
  EXPECT_TRUE(files.lastSave.overwritePrompt);
  EXPECT_EQ(files.lastSave.initialDir, "/opt/zeltra");
  EXPECT_TRUE(messages.errors.empty());
  EXPECT_EQ(ReadFileBytes(path),
            "12 -4 87 1503 -2210 455\r\n20 -4 80 1498 -1377 452\r\n64 70 31 77777 77777 77777\r\n");
  Close();
  for (auto& p : PointTable) p = TPointPair{};
  Start();
  TViewer viewer(*block);
  files.openAnswer = path;
  form->Command(TCommand::Open1);
  EXPECT_EQ(files.lastOpen.filter, "Text Files|*.txt");
  EXPECT_EQ(view.gridRows, 3);
  EXPECT_EQ(Cell(1, 2), "1498:-1377:452");
  EXPECT_EQ((TVoxel{view.Edit(TEdit::desirex), view.Edit(TEdit::desirey), view.Edit(TEdit::desirez)}),
            (TVoxel{64, 70, 31}));
  // Row 1 is selected and its landmark published.
  EXPECT_EQ(form->SelectionTop(), 1);
  EXPECT_EQ(viewer.Get(), (TVoxel{12, -4, 87}));
}

TEST_F(RegFormTest, AFileThatFailsChangesNothing) {
  TempDir dir;
  std::string bad = (dir / "bad.txt").string();
  WriteFileBytes(bad, "1 2 3 4 5 6\r\n7 8 9.5 10 11 12\r\n");
  Start();
  form->CurrentMRI = {1, 1, 1};
  form->Command(TCommand::AddBtn);
  view.Type(TEdit::desirex, 9);
  messages.answers = {IMessagePresenter::TSaveAnswer::Discard};  // opening over the changed table
  struct Case {
    bool save;
    std::optional<std::string> answer;
    size_t errors;
    const char* text;  // of the first error, when the platforms agree on it
  } cases[] = {{false, bad, 1, "Invalid numeric input"},
               {false, (dir / "missing.txt").string(), 1, "File not found"},
               {true, (dir / "no-such-folder" / "x.txt").string(), 1, nullptr},
               {false, std::nullopt, 0, nullptr}};  // cancelled
  for (const Case& c : cases) {
    messages.Clear();
    (c.save ? files.saveAnswer : files.openAnswer) = c.answer;
    form->Command(c.save ? TCommand::Save1 : TCommand::Open1);
    ASSERT_EQ(messages.errors.size(), c.errors) << c.answer.value_or("cancel");
    if (c.text) {
      EXPECT_EQ(messages.errors[0], c.text);
    }
    EXPECT_EQ(view.gridRows, 2);
    EXPECT_EQ(Cell(0, 1), "1:1:1");
    EXPECT_EQ(PointTable[2], TPointPair{});
    EXPECT_EQ(view.Edit(TEdit::desirex), 9);
  }
}

// ---- Settings, start-up and tracker menus ----

TEST_F(RegFormTest, FirstRunUsesDefaultsAndWritesAllFourAtExit) {
  ports.ports = {"COM1", "COM3"};
  Start();
  EXPECT_TRUE(view.Checked(TCommand::FlockofBirdsMiniBirdStream1));
  EXPECT_TRUE(view.Checked(TCommand::N1152001));
  EXPECT_FALSE(view.Checked(TCommand::N576001));
  EXPECT_EQ(form->Tracker.PortName, "COM1");
  Close();
  EXPECT_EQ(settings->values["PortName"].text, "COM1");
  EXPECT_EQ(settings->values["BPS"].dword, 115200u);
  EXPECT_EQ(settings->values["IsFastrak"].dword, 0u);
  EXPECT_EQ(settings->values["IsStreaming"].dword, 1u);
}

TEST_F(RegFormTest, ABadSettingIsSaidAndTheOthersAreReadTheTrackerStartsAndValidValuesSurvive) {
  // Each value bad in turn, with valid ones around it: point mode (IsStreaming 0)
  // at 38400 bps, which a default would silently turn into stream mode at 115200.
  struct Case {
    const char* name;
    TMemorySettingsStore::TValue bad;
    const char* message;
    TCommand type, speed;
  } cases[] = {
      {"BPS", {}, "Failed to get data for 'BPS'", TCommand::FlockofBirdsMiniBird1, TCommand::N1152001},
      {"BPS", {TValueType::String, "fast", 0}, "Invalid data type for 'BPS'", TCommand::FlockofBirdsMiniBird1,
       TCommand::N1152001},
      {"IsFastrak", {}, "Failed to get data for 'IsFastrak'", TCommand::FlockofBirdsMiniBird1, TCommand::N384001},
      {"IsStreaming", {TValueType::Other, "", 0}, "Invalid data type for 'IsStreaming'",
       TCommand::FlockofBirdsMiniBirdStream1, TCommand::N384001},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    ports.ports = {"COM1"};
    port->opens.clear();
    messages.Clear();
    StoreSettings("COM1", 38400, 0, 0);
    settings->values[c.name] = c.bad;
    if (c.bad.type == TValueType::Missing) settings->values.erase(c.name);
    Start();
    EXPECT_EQ(messages.errors, std::vector<std::string>{c.message});
    EXPECT_TRUE(view.timer) << "the timer must run: the viewer is followed all the same";
    EXPECT_EQ(port->opens.size(), 1u) << "the tracker is started";
    EXPECT_TRUE(view.Checked(c.type));
    EXPECT_TRUE(view.Checked(c.speed));
    Close();
    // The bad value is replaced by its default, every valid one stays.
    for (const char* name : {"BPS", "IsFastrak", "IsStreaming"}) {
      if (std::string(name) == c.name) continue;
      EXPECT_EQ(settings->values[name].dword, std::string(name) == "BPS" ? 38400u : 0u) << name;
    }
  }
}

TEST_F(RegFormTest, UnsupportedSpeedIsResetWithItsMessage) {
  ports.ports = {"COM1"};
  StoreSettings("COM1", 4800, 0, 1);
  Start();
  EXPECT_EQ(startupMessages.at(0), "Unsupported BPS: 4800resetting to 115200 bps.");
  EXPECT_TRUE(view.Checked(TCommand::N1152001));
  EXPECT_EQ(form->Tracker.BPS, 115200);
  EXPECT_EQ(port->opens.at(0), (std::pair<std::string, int32_t>{"COM1", 115200}));
}

TEST_F(RegFormTest, PortMenuInReverseOrderWithTheChosenPortChecked) {
  struct Case {
    std::string stored, used;
  } cases[] = {{"COM3", "COM3"}, {"COM7", "COM1"}, {"", "COM1"}, {"com3", "COM1"}};
  for (const Case& c : cases) {
    ports.ports = {"COM1", "COM3", "COM4"};
    port->opens.clear();
    StoreSettings(c.stored, 115200, 1, 0);
    Start();
    EXPECT_EQ(view.portCaptions, (std::vector<std::string>{"COM4", "COM3", "COM1"}));
    std::vector<bool> want{c.used == "COM4", c.used == "COM3", c.used == "COM1"};
    EXPECT_EQ(view.portChecked, want) << c.stored;
    EXPECT_EQ(port->opens.at(0).first, c.used);
    Close();
    EXPECT_EQ(settings->values["PortName"].text, c.used);
  }
}

TEST_F(RegFormTest, ChoosingAPortMakesItTheOneInUseAndReconnects) {
  ports.ports = {"COM1", "COM3", "COM4"};
  StoreSettings("COM1", 115200, 0, 1);
  Start();
  form->PortItemClick(0);  // COM4
  EXPECT_EQ(view.portChecked, (std::vector<bool>{true, false, false}));
  EXPECT_EQ(form->Tracker.PortName, "COM4");
  EXPECT_EQ(messages.messages, std::vector<std::string>{kPrompt + "115200"});
  EXPECT_EQ(port->opens.back(), (std::pair<std::string, int32_t>{"COM4", 115200}));
  // The port already in use reconnects too, as F6 does.
  form->PortItemClick(0);
  EXPECT_EQ(port->opens.size(), 3u);
  Close();
  EXPECT_EQ(settings->values["PortName"].text, "COM4");
}

TEST_F(RegFormTest, NoPortsAreReportedAndTheTimerStillRuns) {
  Start();
  EXPECT_EQ(startupMessages, std::vector<std::string>{"No serial ports detected: you will not be able to track sensors"});
  EXPECT_TRUE(view.timer);
  EXPECT_TRUE(port->opens.empty());
}

TEST_F(RegFormTest, SpeedAndTypeNeedAdvancedMode) {
  ports.ports = {"COM1"};
  StoreSettings("COM1", 115200, 0, 1);
  Start();
  size_t opens = port->opens.size();
  struct Step {
    TCommand command;
    std::vector<std::string> messages;
    size_t newOpens;
    TCommand checked;  // the Type or Speed item checked afterwards
  } steps[] = {
      // Speed without Advanced Mode: refused, but the link is reconnected anyway.
      {TCommand::N96001, {kSpeedRefusedMessage, kPrompt + "115200"}, 1, TCommand::N1152001},
      // The speed already in use: no speed message, the prompt, a reconnect.
      {TCommand::N1152001, {kPrompt + "115200"}, 1, TCommand::N1152001},
      // Type without Advanced Mode: only the refusal, the link is not touched.
      {TCommand::Fast1, {kTypeRefusedMessage}, 0, TCommand::FlockofBirdsMiniBirdStream1},
      {TCommand::AdvancedMenuItem, {}, 0, TCommand::AdvancedMenuItem},
      {TCommand::N384001, {kPrompt + "38400"}, 1, TCommand::N384001},
      {TCommand::Fast1, {}, 1, TCommand::Fast1},  // no prompt for a Fastrak
      {TCommand::ResetConnectionMenu, {}, 1, TCommand::Fast1},
  };
  for (const Step& s : steps) {
    messages.Clear();
    form->Command(s.command);
    EXPECT_EQ(messages.messages, s.messages) << static_cast<int>(s.command);
    EXPECT_EQ(port->opens.size(), opens += s.newOpens) << static_cast<int>(s.command);
    EXPECT_TRUE(view.Checked(s.checked)) << static_cast<int>(s.command);
    int typesChecked = view.Checked(TCommand::FlockofBirdsMiniBird1) +
                       view.Checked(TCommand::FlockofBirdsMiniBirdStream1) + view.Checked(TCommand::Fast1);
    EXPECT_EQ(typesChecked, 1);
  }
  EXPECT_EQ(port->opens.back(), (std::pair<std::string, int32_t>{"COM1", 38400}));
  Close();
  EXPECT_EQ(settings->values["BPS"].dword, 38400u);
  EXPECT_EQ(settings->values["IsFastrak"].dword, 1u);
}

// ---- Views ----

TEST_F(RegFormTest, ModeSwitchNeedsFiveRowsAndReturnsWithTheFocusInTheGrid) {
  Start();
  AddRows(4);
  form->Command(TCommand::CalibrateItem);
  EXPECT_EQ(messages.messages, std::vector<std::string>{"At least 5 samples required for 3D registration."});
  EXPECT_TRUE(form->IsCalibrateView());
  EXPECT_TRUE(view.report.empty());
  EXPECT_EQ(view.formula, "MRIx = 0.0000 + 0.0000FOBx +0.0000FOBy +0.0000FOBz\r"
                          "MRIy = 0.0000 + 0.0000FOBx +0.0000FOBy +0.0000FOBz\r"
                          "MRIz = 0.0000 + 0.0000FOBx +0.0000FOBy +0.0000FOBz");
  messages.Clear();
  form->CurrentMRI = {9, 3, 1};
  form->TrackerReading = {-300, 40, 1000};
  form->Command(TCommand::AddBtn);
  int focus = view.gridFocus;
  form->Command(TCommand::CalibrateItem);
  EXPECT_FALSE(form->IsCalibrateView());
  for (TControl c : kToolbarControls) EXPECT_FALSE(view.ControlVisible(c));
  EXPECT_TRUE(view.Checked(TCommand::CalibrateItem));
  EXPECT_EQ(view.report.front(), "Number of observations =     5");
  form->Command(TCommand::SpeedButton1);
  EXPECT_EQ(view.transformsShown, 1);
  form->Command(TCommand::QueryOrSampleBtn);
  EXPECT_TRUE(form->IsCalibrateView());
  EXPECT_EQ(view.gridFocus, focus + 1);
}

TEST_F(RegFormTest, EveryFitShowsTheLandmarkCheckWithTheWorstRowMarked) {
  Start();
  // Eight landmarks of an affine map, the fifth 20 voxels off.
  const TTrackerReading fob[8] = {{4000, 2000, -1000}, {-4000, 2400, 800},  {1200, -5200, 1600},
                                  {-2800, -3600, -2400}, {6000, 400, 3200}, {-400, 6400, -3600},
                                  {2000, 1200, 5600},    {-6400, -800, -4800}};
  for (int i = 0; i < 8; ++i) {
    form->TrackerReading = fob[i];
    form->CurrentMRI = {100 + fob[i].FOBx / 100 + (i == 4 ? 20 : 0), 80 + fob[i].FOBy / 100, 60 + fob[i].FOBz / 100};
    form->Command(TCommand::AddBtn);
  }
  form->Command(TCommand::CalibrateItem);
  ASSERT_FALSE(form->IsCalibrateView());
  ASSERT_EQ(view.checkRows.size(), 8u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(view.checkRows[i].row, i + 1);
    EXPECT_EQ(view.checkRows[i].worst, i == 4);
    EXPECT_NE(view.checkRows[i].leaveOneOut, "n/a");
  }
  EXPECT_EQ(view.checkSummary, LandmarkSummaryText(form->Check));
  EXPECT_TRUE(view.checkWarning.empty());
  // Back, a fit that refuses to run: no check is left standing.
  form->Command(TCommand::CalibrateItem);
  view.SelectCell(0, 1);
  for (int i = 0; i < 4; ++i) form->Command(TCommand::DeleteBtn);
  form->Command(TCommand::CalibrateItem);
  EXPECT_TRUE(view.checkRows.empty());
  EXPECT_TRUE(view.checkSummary.empty());
}

TEST_F(RegFormTest, TrackStageMapsPublishesAndMeasures) {
  ports.ports = {"COM1"};
  StoreSettings("COM1", 115200, 1, 0);  // a Fastrak: readings in hundredths
  Start();
  TViewer viewer(*block);
  form->ToolbarVis();  // Track view with hand-set coefficients
  ASSERT_FALSE(form->IsCalibrateView());
  RegCoef[0][0] = 10;
  RegCoef[0][1] = 0.5;
  RegCoef[1][0] = 20;
  RegCoef[2][0] = 30;
  struct Step {
    const char* reading;
    TVoxel desired;
    TVoxel voxel;
    const char* distance;
  } steps[] = {
      {"0.05 0.00 0.00", {10, 20, 33}, {12, 20, 30}, "3.6"},  // 12.5 rounds to 12
      {"0.07 0.00 0.00", {10, 20, 33}, {14, 20, 30}, "5.0"},  // 13.5 rounds to 14
      {"0.00 0.00 0.00", {14, 20, 30}, {10, 20, 30}, "4.0"},
      {"0.00 0.00 0.00", {13, 24, 30}, {10, 20, 30}, "5.0"},
  };
  for (const Step& s : steps) {
    view.Type(TEdit::desirex, s.desired.x);
    view.Type(TEdit::desirey, s.desired.y);
    view.Type(TEdit::desirez, s.desired.z);
    std::string before = view.distance;
    Feed("\n01 " + std::string(s.reading) + " 0.0 0.0 0.0\r");
    EXPECT_EQ(view.distance, before) << "the desired edits do not recompute the distance";
    form->Timer1Timer();
    EXPECT_EQ(form->CurrentMRI, s.voxel) << s.reading;
    EXPECT_EQ(view.Edits(), s.voxel);
    EXPECT_EQ(viewer.Get(), s.voxel);
    EXPECT_EQ(view.distance, s.distance);
  }
  // Every reading is published, also when the voxel did not change; the viewer's
  // own moves are not followed in Track view.
  viewer.Set({1, 2, 3});
  Feed("\n01 0.00 0.00 0.00 0.0 0.0 0.0\r");
  form->Timer1Timer();
  EXPECT_EQ(viewer.Get(), (TVoxel{10, 20, 30}));
  EXPECT_EQ(view.Edits(), (TVoxel{10, 20, 30}));
}

TEST_F(RegFormTest, AboutAndExit) {
  Start();
  form->Command(TCommand::About1);
  EXPECT_EQ(messages.messages.at(0).rfind("Zeltra2 version October 16, 2013\rZeltra coregisters magnetic head "
                                          "tracker signals with an MRI scan. For research purposes only: use "
                                          "with caution.\r\r",
                                          0),
            0u);
  form->Command(TCommand::Exit1);
  EXPECT_TRUE(view.closed);
}

// ---- Link health and the viewer's block ----

TEST_F(RegFormTest, LinkGoesStaleAfterHalfASecondAndLiveAgainWithinOneTick) {
  ports.ports = {"COM1"};
  Start();
  // From the start until the first reading the numbers are not live.
  EXPECT_TRUE(view.trackerStale);
  EXPECT_TRUE(view.StatusRed(TStatusField::Link));
  EXPECT_NE(view.Status(TStatusField::Link).find("no tracker reading for"), std::string::npos);
  auto tickWith = [&](int32_t x) {
    for (uint8_t b : EncodeFlockRecord(x, 0, 0)) port->incoming.push_back(b);
    clock.now += 25;
    form->Timer1Timer();
  };
  // A reading every tick; the status line refreshes every 250 ms after the
  // change to live, and then counts the 40 readings of the last second.
  for (int i = 0; i < 41; ++i) tickWith(1000 + i);
  EXPECT_FALSE(view.trackerStale);
  EXPECT_EQ(view.Status(TStatusField::Link), "COM1, 115200 bps, Flock of Birds (stream): 40 readings/s");
  EXPECT_FALSE(view.StatusRed(TStatusField::Link));
  // The tracker falls silent: still live at 475 ms, stale from 500 ms on.
  const int setsBefore = view.statusSets;
  for (int i = 0; i < 19; ++i) clock.now += 25, form->Timer1Timer();
  EXPECT_FALSE(view.trackerStale);
  clock.now += 25;
  form->Timer1Timer();
  EXPECT_TRUE(view.trackerStale);
  EXPECT_EQ(view.Status(TStatusField::Link),
            "COM1, 115200 bps, Flock of Birds (stream): no tracker reading for 0.5 s (F6 reconnects)");
  EXPECT_TRUE(view.StatusRed(TStatusField::Link));
  // The age goes on at the status line's own rate (from 0.5 s in steps of 0.25 s),
  // not every tick.
  for (int i = 0; i < 76; ++i) clock.now += 25, form->Timer1Timer();
  EXPECT_EQ(view.Status(TStatusField::Link),
            "COM1, 115200 bps, Flock of Birds (stream): no tracker reading for 2.2 s (F6 reconnects)");
  EXPECT_LE(view.statusSets - setsBefore, 1 + 2 * 8);
  // F1 still records the last reading; the label keeps its numbers, greyed.
  EXPECT_EQ(view.trackerLabel, " x    1.0 y    0.0 z    0.0 d    1.0");
  EXPECT_EQ(form->TrackerReading.FOBx, 1040);
  // The first reading back: live again in that very tick.
  tickWith(2000);
  EXPECT_FALSE(view.trackerStale);
  EXPECT_FALSE(view.StatusRed(TStatusField::Link));
  EXPECT_EQ(view.trackerLabel, " x    2.0 y    0.0 z    0.0 d    2.0");
}

TEST_F(RegFormTest, AViewerThatKeepsItsLockNeverStopsTheTickAndTheTypedVoxelArrivesLater) {
  Start();
  TViewer viewer(*block);
  form->Timer1Timer();
  block->held = true;
  view.Type(TEdit::XEdit, 42);  // the publish finds the lock held
  EXPECT_EQ(viewer.Get(), (TVoxel{1, 1, 1}));
  for (int i = 0; i < 39; ++i) clock.now += 25, form->Timer1Timer();
  EXPECT_EQ(view.Status(TStatusField::Viewer), "");
  EXPECT_EQ(view.Edit(TEdit::XEdit), 42) << "the window followed a block it could not read";
  for (int i = 0; i < 10; ++i) clock.now += 25, form->Timer1Timer();
  EXPECT_NE(view.Status(TStatusField::Viewer).find("The viewer holds its block locked"), std::string::npos);
  EXPECT_TRUE(view.StatusRed(TStatusField::Viewer));
  block->held = false;
  clock.now += 25;
  form->Timer1Timer();
  EXPECT_EQ(viewer.Get(), (TVoxel{42, 1, 1}));
  EXPECT_EQ(viewer.Words()[Aux0], 2147483647);
  clock.now += 250;
  form->Timer1Timer();
  EXPECT_EQ(view.Status(TStatusField::Viewer), "");
  // Calibrate view follows the viewer again.
  viewer.Set({5, 6, 7});
  form->Timer1Timer();
  EXPECT_EQ(view.Edits(), (TVoxel{5, 6, 7}));
}

// A close from outside while the tracker exchange waits (its waits run the window's
// messages) must not destroy the port under it: it is held and made at the end.
TEST_F(RegFormTest, ACloseDuringTheTrackerExchangeIsMadeWhenItEnds) {
  ports.ports = {"COM1"};
  Start();
  bool answered = true;
  clock.onSleep = [&](uint32_t) {
    if (answered) answered = form->FormCloseQuery();
  };
  form->Command(TCommand::ResetConnectionMenu);  // F6: a new exchange
  clock.onSleep = nullptr;
  EXPECT_FALSE(answered);
  EXPECT_TRUE(view.closed);
}

TEST_F(RegFormTest, TheLockWaitWithinATickDoesNotAgeTheViewerAlarm) {
  Start();
  form->Timer1Timer();
  block->held = true;
  block->onBusy = [&] { clock.now += 3; };  // each access waits for the lock first
  clock.now += 300;  // the status line is due for its refresh in the first held tick
  for (int i = 0; i < 25; ++i) {
    clock.now += 25;
    form->Timer1Timer();
    ASSERT_EQ(view.Status(TStatusField::Viewer), "") << "tick " << i;
  }
  for (int i = 0; i < 12; ++i) clock.now += 25, form->Timer1Timer();  // the line's next refresh
  EXPECT_NE(view.Status(TStatusField::Viewer).find("locked (1."), std::string::npos)
      << view.Status(TStatusField::Viewer);
}

TEST_F(RegFormTest, PortMenuListsThePortsThatExistWhenItOpensAndF6LooksAgain) {
  ports.ports = {"COM1", "COM3"};
  Start();
  EXPECT_EQ(view.portCaptions, (std::vector<std::string>{"COM3", "COM1"}));
  ports.ports = {"COM1", "COM4", "COM3"};  // a port registered meanwhile
  form->PortMenuOpening();
  EXPECT_EQ(view.portCaptions, (std::vector<std::string>{"COM3", "COM4", "COM1"}));
  EXPECT_EQ(view.portChecked, (std::vector<bool>{false, false, true}));
  ports.ports = {"COM4"};  // the port in use vanished
  form->Command(TCommand::ResetConnectionMenu);
  EXPECT_EQ(view.portCaptions, (std::vector<std::string>{"COM4"}));
  EXPECT_EQ(view.portChecked, (std::vector<bool>{false}));
  EXPECT_EQ(form->Tracker.PortName, "COM1");
}

TEST_F(RegFormTest, AFileWithOnlyAClosingLinePublishesNothing) {
  Start();
  TViewer viewer(*block);
  viewer.Set({9, 9, 9});
  form->Timer1Timer();
  TempDir dir;
  const std::string path = (dir / "closing.txt").string();
  WriteFileBytes(path, "10 20 30 77777 77777 77777\n");
  files.openAnswer = path;
  form->Command(TCommand::OPenBtn);
  EXPECT_TRUE(messages.errors.empty());
  EXPECT_EQ(view.EditValue(TEdit::desirex), 10);
  EXPECT_EQ(viewer.Get(), (TVoxel{9, 9, 9}));
}

TEST_F(RegFormTest, LinkStatesNoisyAndNotConnectedPublishNothingAndSayWhy) {
  ports.ports = {"COM1"};
  Start();
  form->ToolbarVis();  // Track view: every reading would be published
  TViewer viewer(*block);
  viewer.Set({3, 3, 3});
  // Bytes that form no records (a wrong speed): noisy, nothing published.
  for (int i = 0; i < 8; ++i) {
    for (uint8_t b : {0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88}) port->incoming.push_back(b);
    clock.now += 25;
    form->Timer1Timer();
  }
  EXPECT_NE(view.Status(TStatusField::Link).find("the tracker's bytes do not form records"), std::string::npos);
  EXPECT_TRUE(view.trackerStale);
  EXPECT_EQ(viewer.Get(), (TVoxel{3, 3, 3}));
  // The noise stops and nothing comes (the tracker was unplugged): stale.
  for (int i = 0; i < 20; ++i) clock.now += 25, form->Timer1Timer();
  EXPECT_NE(view.Status(TStatusField::Link).find("no tracker reading for"), std::string::npos)
      << view.Status(TStatusField::Link);
  // A clean stream: live within that tick.
  for (int32_t x : {100, 101, 102})
    for (uint8_t b : EncodeFlockRecord(x, 200, 300)) port->incoming.push_back(b);
  clock.now += 25;
  form->Timer1Timer();
  EXPECT_FALSE(view.trackerStale) << view.Status(TStatusField::Link);
  EXPECT_FALSE(view.StatusRed(TStatusField::Link));
  EXPECT_EQ(viewer.Get(), form->CurrentMRI);
  // The stored port is gone: said at start, and the link is not connected.
  Close();
  StoreSettings("COM7", 115200, 1, 0);  // a Fastrak on COM7
  ports.ports = {"COM2"};
  port->failOpen = true;
  messages.Clear();
  Start();
  EXPECT_EQ(startupMessages.front(), "COM7 not found; using COM2");
  EXPECT_EQ(view.Status(TStatusField::Link).rfind("Tracker not connected: ", 0), 0u) << view.Status(TStatusField::Link);
  EXPECT_TRUE(view.StatusRed(TStatusField::Link));
}

// No port at start: F6 says so again, and connects to the first port that has
// appeared since.
TEST_F(RegFormTest, F6ChoosesAPortWhenNoneExistedAtStart) {
  ports.ports = {};
  Start();
  EXPECT_EQ(startupMessages.back(), kNoSerialPortsMessage);
  form->Command(TCommand::ResetConnectionMenu);
  EXPECT_EQ(messages.messages.back(), kNoSerialPortsMessage);
  EXPECT_TRUE(port->opens.empty());
  ports.ports = {"COM3", "COM4"};
  form->Command(TCommand::ResetConnectionMenu);
  ASSERT_EQ(port->opens.size(), 1u);
  EXPECT_EQ(port->opens[0].first, "COM3");
  EXPECT_EQ(view.caption.rfind("MINIBIRD01", 0), 0u) << view.caption;
}

// A Flock switched on after the model query: not connected, until its stream
// brings fresh readings, which are live like any others.
TEST_F(RegFormTest, ReadingsOfATrackerThatMissedTheExchangeAreLive) {
  ports.ports = {"COM1"};
  port->device = nullptr;  // no answer to the model query
  Start();
  EXPECT_EQ(view.Status(TStatusField::Link).rfind("Tracker not connected: ", 0), 0u) << view.Status(TStatusField::Link);
  for (int32_t x : {100, 101, 102})
    for (uint8_t b : EncodeFlockRecord(x, 200, 300)) port->incoming.push_back(b);
  clock.now += 25;
  form->Timer1Timer();
  EXPECT_FALSE(view.trackerStale);
  EXPECT_FALSE(view.StatusRed(TStatusField::Link)) << view.Status(TStatusField::Link);
  for (int i = 0; i < 24; ++i) clock.now += 25, form->Timer1Timer();  // silent again
  EXPECT_EQ(view.Status(TStatusField::Link).rfind("Tracker not connected: ", 0), 0u) << view.Status(TStatusField::Link);
  EXPECT_TRUE(view.trackerStale);
}

TEST_F(RegFormTest, UnsavedChangesAreAskedAboutBeforeTheWindowClosesOrAnotherFileOpens) {
  using A = IMessagePresenter::TSaveAnswer;
  TempDir dir;
  const std::string saved = (dir / "head.txt").string();
  const std::string other = (dir / "other.txt").string();
  WriteFileBytes(other, "1 2 3 4 5 6\n7 8 9 77777 77777 77777\n");
  struct Case {
    const char* what;
    bool change;
    A answer;
    std::optional<std::string> saveAs;  // the save dialog's answer
    bool goesOn;                        // the window closes / the other file opens
    bool savedFile;
  } cases[] = {
      {"nothing changed", false, A::Cancel, std::nullopt, true, false},
      {"discard", true, A::Discard, std::nullopt, true, false},
      {"cancel", true, A::Cancel, std::nullopt, false, false},
      {"save", true, A::Save, saved, true, true},
      {"save dialog cancelled", true, A::Save, std::nullopt, false, false},
      {"save failed", true, A::Save, (dir / "no-folder" / "x.txt").string(), false, false},
  };
  for (bool closing : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (closing ? " (close)" : " (open)"));
      std::filesystem::remove(saved);
      messages.Clear();
      messages.answers = {c.answer};
      files.saveAnswer = c.saveAs;
      files.openAnswer = other;
      Start();
      if (c.change) AddRows(1);
      if (closing) {
        form->Command(TCommand::Exit1);
        EXPECT_EQ(view.closed, c.goesOn);
      } else {
        form->Command(TCommand::Open1);
        EXPECT_EQ(Cell(0, 1), c.goesOn ? "1:2:3" : "1:2:1");
      }
      EXPECT_EQ(messages.questions.size(), c.change ? 1u : 0u);
      if (c.change) {
        EXPECT_EQ(messages.questions[0], "Save changes to the calibration?");
      }
      EXPECT_EQ(std::filesystem::exists(saved), c.savedFile);
      // Saved, or replaced by the file opened: unchanged; discarded at close: still
      // changed as the window goes.
      EXPECT_EQ(form->CalibrationChanged(), c.change && !c.savedFile && (closing || !c.goesOn));
      Close();
      for (auto& p : PointTable) p = TPointPair{};
    }
  }
}

TEST_F(RegFormTest, TheCalibrationInHandIsShownAndTheDialogsStartWhereTheOperatorWorks) {
  TempDir dir;
  Start();
  EXPECT_EQ(view.Status(TStatusField::Calibration), "Calibration: unsaved");
  AddRows(1);
  EXPECT_EQ(view.Status(TStatusField::Calibration), "Calibration: unsaved *");
  files.saveAnswer = (dir / "head.txt").string();
  form->Command(TCommand::SaveBtn);
  EXPECT_EQ(files.lastSave.initialDir, "/opt/zeltra");  // the user's documents
  EXPECT_EQ(files.lastSave.fileName, "");
  EXPECT_EQ(view.Status(TStatusField::Calibration), "Calibration: head.txt");
  EXPECT_FALSE(form->CalibrationChanged());
  view.Type(TEdit::desirey, 12);  // a changed desired voxel is a change too
  EXPECT_EQ(view.Status(TStatusField::Calibration), "Calibration: head.txt *");
  form->Command(TCommand::SaveBtn);
  EXPECT_EQ(files.lastSave.initialDir, dir.str());
  EXPECT_EQ(files.lastSave.fileName, "head.txt");
  files.openAnswer = (dir / "head.txt").string();
  form->Command(TCommand::OPenBtn);
  EXPECT_EQ(files.lastOpen.initialDir, dir.str());
  EXPECT_TRUE(messages.questions.empty());
  EXPECT_EQ(view.Edit(TEdit::desirey), 12);
  EXPECT_EQ(view.Status(TStatusField::Calibration), "Calibration: head.txt");
}

// ---- OpenIGTLink and the MRI image ----

TEST_F(RegFormTest, ClientsGetTheSensorInMmTheVoxelAndItsRasPositionAndOnlyKeepAlivesWhileStale) {
  ports.ports = {"COM1"};
  StoreSettings("COM1", 115200, 0, 1);
  settings->values["FlockRange"] = {TValueType::Dword, "", 72};
  // An image of 2 mm voxels whose first voxel is at (-10, -20, -30) mm.
  image.name = "head.nii";
  for (int i = 0; i < 3; ++i) image.size[i] = 100, image.voxelSize[i] = 2, image.affine[i][i] = 2;
  image.affine[0][3] = -10, image.affine[1][3] = -20, image.affine[2][3] = -30;
  settings->values["MRIImage"] = {TValueType::String, "/data/head.nii", 0};
  Start();
  EXPECT_EQ(imagesLoaded, std::vector<std::string>{"/data/head.nii"});
  EXPECT_EQ(view.Status(TStatusField::Image), "head.nii: 100 x 100 x 100, 2.00 x 2.00 x 2.00 mm");
  EXPECT_EQ(net.net.address, "127.0.0.1");
  EXPECT_EQ(net.net.port, 18944);
  net.net.pendingClients = 1;
  auto tick = [&](std::optional<TTrackerReading> r) {
    if (r)
      for (uint8_t b : EncodeFlockRecord(r->FOBx, r->FOBy, r->FOBz)) port->incoming.push_back(b);
    clock.now += 25;
    form->Timer1Timer();
  };
  tick(std::nullopt);  // accepted
  ASSERT_EQ(net.net.received.size(), 1u);
  EXPECT_EQ(view.Status(TStatusField::Server), "OpenIGTLink 127.0.0.1:18944, 1 client");
  tick(TTrackerReading{16384, -8192, 0});
  std::vector<TFakeNetMessage> got = DecodeIgtl(*net.net.received[0]);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].type, "TRANSFORM");
  EXPECT_EQ(got[0].device, "StylusToTracker");
  // Half and a quarter of a 72-inch range.
  EXPECT_FLOAT_EQ(got[0].Translation(0), 914.4f);
  EXPECT_FLOAT_EQ(got[0].Translation(1), -457.2f);
  // Track view: the voxel published to the viewer, and where it is in the image.
  for (auto& row : RegCoef) row[0] = 0, row[1] = row[2] = row[3] = 0;
  RegCoef[0][0] = 11, RegCoef[1][0] = 21, RegCoef[2][0] = 31;
  form->ToolbarVis();
  net.net.received[0]->clear();
  tick(TTrackerReading{1, 2, 3});
  got = DecodeIgtl(*net.net.received[0]);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[1].device, "StylusToVoxel");
  EXPECT_EQ(TViewer(*block).Get(), (TVoxel{11, 21, 31}));
  EXPECT_FLOAT_EQ(got[1].Translation(0), 11.0f);
  EXPECT_FLOAT_EQ(got[1].Translation(2), 31.0f);
  EXPECT_EQ(got[2].device, "StylusToRas");
  EXPECT_FLOAT_EQ(got[2].Translation(0), -10.0f + 2 * 10);  // the viewer counts from 1
  EXPECT_FLOAT_EQ(got[2].Translation(1), -20.0f + 2 * 20);
  // Silent tracker: keep-alives only, every 250 ms.
  net.net.received[0]->clear();
  for (int i = 0; i < 20; ++i) tick(std::nullopt);
  got = DecodeIgtl(*net.net.received[0]);
  ASSERT_EQ(got.size(), 2u);
  for (const TFakeNetMessage& m : got) EXPECT_EQ(m.type, "STATUS");
  // Back: the stream resumes in that tick.
  net.net.received[0]->clear();
  tick(TTrackerReading{5, 6, 7});
  got = DecodeIgtl(*net.net.received[0]);
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got[0].device, "StylusToTracker");
  // Distance in mm beside the one in voxels.
  EXPECT_FALSE(view.distanceMm.empty());
  Close();
  EXPECT_EQ(settings->values["MRIImage"].text, "/data/head.nii");
  EXPECT_EQ(settings->values["IGTLPort"].dword, 18944u);
}

TEST_F(RegFormTest, APortInUseIsSaidOnceAndTheAddressCanBeChanged) {
  net.net.listenError = "Address already in use";
  ports.ports = {"COM1"};
  Start();
  ASSERT_EQ(startupMessages.size(), 1u);
  EXPECT_NE(startupMessages[0].find("Address already in use"), std::string::npos);
  EXPECT_EQ(view.Status(TStatusField::Server), "OpenIGTLink not listening on 127.0.0.1:18944");
  net.net.listenError.clear();
  view.serverAnswer = std::make_pair(std::string("   "), 18945);  // blanks are no address
  form->IgtlServerItemClick();
  EXPECT_EQ(messages.messages.back(), "The OpenIGTLink port must be 0 (no server) to 65535, with an address");
  view.serverAnswer = std::make_pair(std::string(" 0.0.0.0 "), 18945);
  form->IgtlServerItemClick();
  EXPECT_EQ(net.net.address, "0.0.0.0");
  EXPECT_EQ(view.Status(TStatusField::Server), "OpenIGTLink 0.0.0.0:18945, 0 clients");
  view.serverAnswer = std::make_pair(std::string("0.0.0.0"), 0);  // no server
  form->IgtlServerItemClick();
  EXPECT_FALSE(net.net.listening);
  Close();
  EXPECT_EQ(settings->values["IGTLAddress"].text, "0.0.0.0");
  EXPECT_EQ(settings->values["IGTLPort"].dword, 0u);
}

TEST_F(RegFormTest, AnImageThatCannotBeReadIsSaidAndChangesNothingAndAWrongRangeIsCaughtByTheScaleCheck) {
  imageError = "head.nii: not a NIfTI-1 header";
  ports.ports = {"COM1"};
  settings->keyExists = true;
  settings->values["MRIImage"] = {TValueType::String, "/gone/head.nii", 0};
  Start();
  EXPECT_EQ(startupMessages, std::vector<std::string>{"head.nii: not a NIfTI-1 header"});
  EXPECT_FALSE(form->Image());
  // An image of 1 mm voxels; the landmarks were taken with counts meant for a
  // 36-inch Flock while 72 is set: the fit implies 2 mm voxels.
  imageError.clear();
  for (int i = 0; i < 3; ++i) image.size[i] = 100, image.voxelSize[i] = 1, image.affine[i][i] = 1;
  ASSERT_TRUE(form->LoadImage("/data/t1.nii"));
  form->Tracker.FlockRange = 72;
  const double mmPerCount36 = 36 * 25.4 / 32768;
  const int32_t fob[6][3] = {{1000, 0, 0}, {0, 1000, 0}, {0, 0, 1000}, {1000, 1000, 0}, {0, 1000, 1000}, {700, -300, 500}};
  for (const auto& f : fob) {
    form->TrackerReading = {f[0], f[1], f[2]};
    form->CurrentMRI = {static_cast<int32_t>(std::lround(50 + f[0] * mmPerCount36)),
                        static_cast<int32_t>(std::lround(50 + f[1] * mmPerCount36)),
                        static_cast<int32_t>(std::lround(50 + f[2] * mmPerCount36))};
    form->Command(TCommand::AddBtn);
  }
  form->Command(TCommand::QueryOrSampleBtn);
  EXPECT_NE(view.Status(TStatusField::Fit).find("range or unit setting"), std::string::npos)
      << view.Status(TStatusField::Fit);
  EXPECT_NE(view.report.back().find("range or unit setting"), std::string::npos);
  ASSERT_FALSE(view.checkRows.empty());
  EXPECT_FALSE(view.checkRows[0].residualMm.empty());
}

}  // namespace
