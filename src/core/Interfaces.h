#pragma once
// The small interfaces through which the core talks to the outside world. The
// program passes real implementations (src/platform, src/app); tests pass fakes.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A serial port for byte-by-byte traffic with the tracker. Failures are reported
// by return values only, never by exceptions or messages.
class ISerialPort {
 public:
  virtual ~ISerialPort() = default;
  // Opens and configures the port (8N1, no flow control, DTR on, RTS off, 300 ms
  // read and write time-outs). True only when every step succeeded; a port whose
  // configuration failed may still be open (IsOpen() true).
  virtual bool Open(const std::string& name, int32_t baud) = 0;
  // Closes the port; harmless when it is not open.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Received bytes waiting in the input queue; 0 on failure (the receive buffer
  // is then purged) and when the port is not open.
  virtual uint32_t BytesWaiting() = 0;
  // Reads one byte, waiting at most the read time-out (300 ms) for it. Returns the
  // byte read, or when none arrived or the read failed, the byte an earlier read
  // left in the receive buffer.
  virtual uint8_t ReadByte() = 0;
  // Writes one byte; the result is dropped.
  virtual void WriteByte(uint8_t b) = 0;
  // Writes all bytes of s; false as soon as a write fails or times out.
  virtual bool WriteString(const std::string& s) = 0;

  // Why the last Open failed.
  enum class TOpenError {
    None,       // the last Open succeeded, or no Open failed yet
    NotFound,   // no port of that name exists (a USB adapter that is not plugged in)
    InUse,      // another handle, of this or another program, holds the port
    NotSerial,  // the name opens but is no serial port (a file, /dev/null)
    Settings,   // the port opened but refused the line settings or time-outs; it stays open
    Other,      // any other refusal of the system (permissions, a device error)
  };
  // The reason of the last failed Open; None after a successful one. A port that
  // cannot tell answers None.
  virtual TOpenError LastError() const { return TOpenError::None; }
  // The system's own words for it ("Permission denied"), empty when there are none.
  virtual std::string LastErrorText() const { return {}; }
};

// Waiting and time.
class IClock {
 public:
  virtual ~IClock() = default;
  // Blocks the caller for ms milliseconds (the tracker start-up waits).
  virtual void Sleep(uint32_t ms) = 0;
  // Milliseconds since an arbitrary fixed point, monotonic.
  virtual uint64_t NowMs() = 0;
};

// Modal messages to the operator.
class IMessagePresenter {
 public:
  virtual ~IMessagePresenter() = default;
  // A modal message box with an OK button; returns when it was dismissed.
  virtual void ShowMessage(const std::string& text) = 0;
  // The standard error box for an error that ended an event handler (file, settings,
  // viewer link, number conversion). The box shows ErrorBoxText(text).
  virtual void ShowError(const std::string& text) = 0;
  // A modal question with the buttons Save, Discard and Cancel ("Save changes to
  // the calibration?"); closing the box is Cancel.
  enum class TSaveAnswer { Save, Discard, Cancel };
  virtual TSaveAnswer AskSave(const std::string& text) {
    (void)text;
    return TSaveAnswer::Cancel;
  }
};

// The text the standard error box shows for an error message: a full stop is
// added when the last character sorts after the full stop (a letter or a digit).
std::string ErrorBoxText(const std::string& message);

// File dialogs.
struct TFileDialogSpec {
  std::string filter;      // e.g. "Text file (*.txt)|*.txt"
  std::string initialDir;  // folder the dialog starts in
  std::string defaultExt;  // added when the chosen name has no extension ("txt")
  bool overwritePrompt = false;
  std::string fileName;  // the name proposed (Save), without a folder; may be empty
};

class IFileChooser {
 public:
  virtual ~IFileChooser() = default;
  // The chosen file, or nothing when the operator cancelled.
  virtual std::optional<std::string> ChooseOpen(const TFileDialogSpec& spec) = 0;
  virtual std::optional<std::string> ChooseSave(const TFileDialogSpec& spec) = 0;
};

// The serial ports the machine has, in the platform's stable order.
class IPortLister {
 public:
  virtual ~IPortLister() = default;
  virtual std::vector<std::string> ListSerialPorts() = 0;
};
