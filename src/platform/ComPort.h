#pragma once
// TComPort: one serial port of the operating system for byte-by-byte traffic with
// the tracker. Failures are reported by return values only; nothing is shown and
// nothing is thrown.
//
// Line settings applied by Open: the given speed, 8 data bits, no parity, one stop
// bit, binary (raw) mode, no hardware or software flow control, DTR on and RTS off
// (where the device has modem lines), receiver enabled and modem status ignored.
// Time-outs: a read returns at once with a byte that has arrived and otherwise waits
// at most ReadTimeout (300 ms) for one; a write call that cannot pass any byte to the
// device within WriteTimeout (300 ms) fails.
//
// Access is exclusive: a port that another handle (of this or another process,
// also one run by root) holds does not open.
//
// Win32 (ComPort_win32.cpp): CreateFileA (share mode 0), GetCommState, SetCommState
// (DCB flag word 0x91), SetCommTimeouts (read interval and multiplier MAXDWORD,
// read constant 300, write multiplier 0, write constant 300: a write ends after at
// most 300 ms, whatever its length),
// EscapeCommFunction(SETDTR), ClearCommError, PurgeComm(PURGE_RXCLEAR), ReadFile,
// WriteFile, CloseHandle.
// POSIX (ComPort_posix.cpp): open(O_RDWR | O_NOCTTY | O_NONBLOCK), flock(LOCK_EX |
// LOCK_NB) and TIOCEXCL, tcgetattr/tcsetattr, TIOCMBIS/TIOCMBIC for DTR and RTS,
// FIONREAD, tcflush(TCIFLUSH), poll with the time-outs, read, write, close.
//
// When the environment variable ZELTRA_SERIAL_CAPTURE names a file, every byte sent
// and received is appended to it (SerialCapture.h); the variable is read at each Open.
#include <cstdint>
#include <memory>
#include <string>

#include "Interfaces.h"

class TSerialCapture;

// Why a port that another handle holds did not open.
inline constexpr char kPortInUseText[] = "in use by another program";

class TComPort : public ISerialPort {
 public:
  TComPort();
  // Closes the port if it is still open.
  ~TComPort() override;
  TComPort(const TComPort&) = delete;
  TComPort& operator=(const TComPort&) = delete;

  // Opens and configures `name` ("COM5", "COM12", "\\.\COM12", "/dev/ttyUSB0", a
  // symbolic link to a pseudo-terminal) at `baud` bits per second. On Windows a bare
  // device name is opened in the device namespace ("COM12" as "\\.\COM12"), without
  // which ports from COM10 on do not open; DeviceName keeps the name as given.
  // A port this object still holds is closed first. Returns true only when every
  // step succeeded. Outcomes:
  //  - the name does not open, or another handle holds the port: false, not open;
  //  - the name opens but is no serial port (a regular file, /dev/null): false,
  //    closed again, not open;
  //  - the port opened but the line settings or time-outs were refused (also an
  //    unsupported speed): false, and the port stays open (IsOpen() true).
  // LastError() and LastErrorText() tell which and why (NotFound for a name that
  // does not exist, InUse for a held port, NotSerial, Settings, Other). A held
  // port's text is kPortInUseText on both systems.
  // POSIX speeds: the termios speeds from 50 to 4000000 bps; any other speed is
  // refused as a line setting.
  bool Open(const std::string& name, int32_t baud) override;
  // Closes the port; harmless when it is not open.
  void Close() override;
  bool IsOpen() const override;
  // Received bytes waiting: those the system holds and those already taken into the
  // receive buffer. When the query fails (the device is gone, or the port is not
  // open) both are purged and the result is 0.
  uint32_t BytesWaiting() override;
  // One byte: returns at once when one is waiting, otherwise waits at most 300 ms.
  // Returns the next byte received, or, when none came in time, the read failed, the
  // device hung up or the port is not open, the byte the last read returned (0
  // before the first byte ever read). One system read takes all bytes that have
  // arrived (up to the buffer's size) and the next calls are served from the buffer:
  // a tracker record costs one read, not six.
  uint8_t ReadByte() override;
  // WriteString of one byte; the result is dropped.
  void WriteByte(uint8_t b) override;
  // Writes all bytes of s: true when all were accepted (an empty s at once). False
  // when a write fails (the device is gone, the port is not open) or accepts no
  // byte within the write time-out.
  bool WriteString(const std::string& s) override;
  TOpenError LastError() const override { return lastError_; }
  std::string LastErrorText() const override { return lastErrorText_; }

  int32_t GetBaudRate() const { return BaudRate; }
  const std::string& GetDeviceName() const { return DeviceName; }

  static constexpr uint32_t kBufferSize = 1024;
  // Handle of a port that is not open (all bits set, as INVALID_HANDLE_VALUE).
  static constexpr intptr_t kInvalidHandle = -1;

 private:
  int32_t BaudRate = 0;     // speed given to the last Open
  std::string DeviceName;   // name given to the last Open
  intptr_t Handle;          // file descriptor or HANDLE; -1 (all bits set): not open
  std::unique_ptr<uint8_t[]> Buffer;  // receive buffer: Buffer[pendingBegin_..pendingEnd_) not yet returned
  uint32_t pendingBegin_ = 0;
  uint32_t pendingEnd_ = 0;
  uint8_t lastByte_ = 0;  // the byte the last successful read returned
  uint32_t systemCounted_ = 0;  // of the bytes the last count reported, those not read yet
  static constexpr uint32_t DCBFlags = 0x91;     // device control block flag word (Win32)
  static constexpr uint32_t ReadTimeout = 300;   // ms
  static constexpr uint32_t WriteTimeout = 300;  // ms
  std::unique_ptr<TSerialCapture> capture_;  // null unless capturing
  TOpenError lastError_ = TOpenError::None;   // why the last Open failed
  std::string lastErrorText_;

  // Records why Open failed (and notes it in the capture, if any); returns false.
  bool OpenFailed(TOpenError error, std::string text);

  // The backend's part (ComPort_posix.cpp, ComPort_win32.cpp), on an open port:
  // the count of received bytes the system holds (false when the query fails),
  // discarding them, and one read of at most kBufferSize bytes into Buffer that
  // waits at most ReadTimeout for the first (0: none, hang-up or failure).
  bool SystemQueueCount(uint32_t& count);
  void PurgeSystemQueue();
  uint32_t ReadAvailable();
  void DropPending() { pendingBegin_ = pendingEnd_ = systemCounted_ = 0; }
};
