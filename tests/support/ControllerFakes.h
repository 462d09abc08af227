#pragma once
// Fakes of the controller's services: they record what the window would have shown
// and answer dialogs as a test prepares them.
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FakeNetStack.h"
#include "FileStore.h"
#include "Interfaces.h"
#include "MemoryCursorBlock.h"
#include "Types.h"
#include "ViewerLink.h"
#include "MemorySettingsStore.h"
#include "reg/reg.h"

// Records message boxes instead of showing them. `onMessage` runs while the "box
// is open" (e.g. to check the window's state at that moment).
class TRecordingPresenter : public IMessagePresenter {
 public:
  void ShowMessage(const std::string& text) override {
    messages.push_back(text);
    if (onMessage) onMessage(text);
  }
  void ShowError(const std::string& text) override {
    errors.push_back(text);
    if (onError) onError(text);
  }
  TSaveAnswer AskSave(const std::string& text) override {
    questions.push_back(text);
    return answers.empty() ? TSaveAnswer::Cancel : answers.front();
  }
  void Clear() {
    messages.clear();
    errors.clear();
    questions.clear();
  }
  std::vector<std::string> questions;
  std::deque<TSaveAnswer> answers;  // the first one answers every question
  std::vector<std::string> messages;
  std::vector<std::string> errors;
  std::function<void(const std::string&)> onMessage;
  std::function<void(const std::string&)> onError;
};

class TScriptedChooser : public IFileChooser {
 public:
  std::optional<std::string> ChooseOpen(const TFileDialogSpec& spec) override {
    lastOpen = spec;
    return openAnswer;
  }
  std::optional<std::string> ChooseSave(const TFileDialogSpec& spec) override {
    lastSave = spec;
    return saveAnswer;
  }
  std::optional<std::string> openAnswer;
  std::optional<std::string> saveAnswer;
  TFileDialogSpec lastOpen, lastSave;
};

// Waits recorded, not waited.
class TRecordingClock : public IClock {
 public:
  void Sleep(uint32_t ms) override {
    sleeps.push_back(ms);
    now += ms;
    if (onSleep) onSleep(ms);
  }
  uint64_t NowMs() override { return now; }
  std::vector<uint32_t> sleeps;
  std::function<void(uint32_t)> onSleep;
  uint64_t now = 0;
};

class TListedPorts : public IPortLister {
 public:
  std::vector<std::string> ListSerialPorts() override { return ports; }
  std::vector<std::string> ports;
};

// A serial port whose device the test plays: bytes queued in `incoming` are what
// the device sent; everything written is kept in `written`.
class TScriptedPort : public ISerialPort {
 public:
  struct Log {
    std::vector<std::pair<std::string, int32_t>> opens;  // name, speed
    int closes = 0;
    bool failOpen = false;  // every Open fails: the port is not there
    std::string written;
    std::deque<uint8_t> incoming;
    // Bytes the device answers to a written byte (e.g. 0x4F 0x0F -> model id).
    std::function<void(uint8_t, Log&)> device;
  };
  explicit TScriptedPort(std::shared_ptr<Log> log) : log_(std::move(log)) {}
  bool Open(const std::string& name, int32_t baud) override {
    log_->opens.emplace_back(name, baud);
    open_ = !log_->failOpen;
    return open_;
  }
  TOpenError LastError() const override { return log_->failOpen ? TOpenError::NotFound : TOpenError::None; }
  void Close() override {
    if (open_) ++log_->closes;
    open_ = false;
  }
  bool IsOpen() const override { return open_; }
  uint32_t BytesWaiting() override { return open_ ? static_cast<uint32_t>(log_->incoming.size()) : 0; }
  uint8_t ReadByte() override {
    if (open_ && !log_->incoming.empty()) {
      last_ = log_->incoming.front();
      log_->incoming.pop_front();
    }
    return last_;
  }
  void WriteByte(uint8_t b) override { WriteString(std::string(1, static_cast<char>(b))); }
  bool WriteString(const std::string& s) override {
    if (!open_) return false;
    for (char c : s) {
      log_->written += c;
      if (log_->device) log_->device(static_cast<uint8_t>(c), *log_);
    }
    return true;
  }

 private:
  std::shared_ptr<Log> log_;
  bool open_ = false;
  uint8_t last_ = 0;
};

// A settings store that outlives the window's short-lived store objects, like the
// registry outlives the program.
class TPersistentStore : public ISettingsStore {
 public:
  explicit TPersistentStore(std::shared_ptr<TMemorySettingsStore> backing) : b_(std::move(backing)) {}
  bool OpenKey(bool create) override { return b_->OpenKey(create); }
  TValueType ReadValue(const std::string& name, std::string& text, uint32_t& dword) override {
    return b_->ReadValue(name, text, dword);
  }
  bool WriteString(const std::string& name, const std::string& value) override {
    return b_->WriteString(name, value);
  }
  bool WriteDword(const std::string& name, uint32_t value) override { return b_->WriteDword(name, value); }
  std::string CloseKey() override { return b_->CloseKey(); }

 private:
  std::shared_ptr<TMemorySettingsStore> b_;
};

// Every service of the controller as a fake, for a test to prepare and read.
struct TFakeServices {
  TRecordingPresenter messages;
  TScriptedChooser files;
  TRecordingClock clock;
  TListedPorts ports;
  std::shared_ptr<TMemorySettingsStore> settings = std::make_shared<TMemorySettingsStore>();
  std::shared_ptr<TScriptedPort::Log> port = std::make_shared<TScriptedPort::Log>();
  std::shared_ptr<TMemoryBlock> block = std::make_shared<TMemoryBlock>();
  TSafeFileStore fileStore;  // real files, in the tests' temporary folders
  TFakeNetStack net;
  // The MRI image the loader gives, or the message why it cannot.
  TNiftiImage image;
  std::string imageError;
  std::vector<std::string> imagesLoaded;

  // With the viewer's block in memory.
  TRegFormServices Services() {
    TRegFormServices s;
    s.messages = &messages;
    s.files = &files;
    s.clock = &clock;
    s.ports = &ports;
    s.settings = [b = settings] { return std::make_unique<TPersistentStore>(b); };
    s.serialPort = [log = port] { return std::make_unique<TScriptedPort>(log); };
    s.fileStore = &fileStore;
    s.net = &net;
    s.loadImage = [this](const std::string& path, TNiftiImage& out) {
      imagesLoaded.push_back(path);
      if (imageError.empty()) out = image;
      return imageError;
    };
    s.cursorBlock = MemoryBlockOpener(block);
    s.documentsDir = "/opt/zeltra";
    return s;
  }
  // With the system's block of these names, shared with other processes.
  TRegFormServices Services(const TViewerBlockNames& names) {
    TRegFormServices s = Services();
    s.cursorBlock = [names](bool& created) { return OpenCursorBlock(names, created); };
    return s;
  }
  // The four settings as the registry would hold them.
  void StoreSettings(const std::string& portName, uint32_t bps, uint32_t fastrak, uint32_t streaming) {
    settings->keyExists = true;
    settings->values["PortName"] = {TValueType::String, portName, 0};
    settings->values["BPS"] = {TValueType::Dword, "", bps};
    settings->values["IsFastrak"] = {TValueType::Dword, "", fastrak};
    settings->values["IsStreaming"] = {TValueType::Dword, "", streaming};
  }
  // Bytes the device sends.
  void Feed(const std::string& bytes) {
    for (char c : bytes) port->incoming.push_back(static_cast<uint8_t>(c));
  }
};
