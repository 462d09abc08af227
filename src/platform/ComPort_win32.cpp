// TComPort on the Win32 communications API.
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "ComPort.h"
#include "SerialCapture.h"

namespace {

HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// CreateFileA finds "COM1" to "COM9" by their plain names only; "COM10" and above
// open only in the device namespace, "\\.\COM10". A bare device name gets that
// prefix (harmless for the low numbers); a path is passed as given.
std::string DevicePath(const std::string& name) {
  if (name.empty() || name.find_first_of("\\/:") != std::string::npos) return name;
  return "\\\\.\\" + name;
}

// The DCB's flag word (fBinary ... fDummy2) follows DCBlength and BaudRate.
constexpr size_t kDcbFlagsOffset = offsetof(DCB, BaudRate) + sizeof(DWORD);
static_assert(kDcbFlagsOffset == 8, "DCB layout");
static_assert(sizeof(DCB) == 28, "DCB layout");

// The system's text for an error code, without the line end and full stop that
// FormatMessage appends; the number when there is no text.
std::string SystemErrorText(DWORD code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                 reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string s = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '.')) s.pop_back();
  if (s.empty()) s = "system error " + std::to_string(code);
  return s;
}

// Why CreateFileA refused a name. A COM port that another program holds is
// refused with ERROR_ACCESS_DENIED.
ISerialPort::TOpenError OpenErrorOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
      return ISerialPort::TOpenError::NotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return ISerialPort::TOpenError::InUse;
    default:
      return ISerialPort::TOpenError::Other;
  }
}

}  // namespace

bool TComPort::Open(const std::string& name, int32_t baud) {
  if (IsOpen()) Close();
  BaudRate = baud;
  DeviceName = name;
  lastError_ = TOpenError::None;
  lastErrorText_.clear();
  HANDLE h = CreateFileA(DevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    const TOpenError why = OpenErrorOf(code);
    return OpenFailed(why, why == TOpenError::InUse ? kPortInUseText : SystemErrorText(code));
  }
  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  // A handle without a device control block (a file, a pipe) is no serial port.
  if (!GetCommState(h, &dcb)) {
    CloseHandle(h);
    return OpenFailed(TOpenError::NotSerial, "not a serial port");
  }
  Handle = reinterpret_cast<intptr_t>(h);
  capture_ = TSerialCapture::FromEnvironment(name, baud);

  // Read-modify-write: only speed, flags and frame change. Flags 0x91: binary,
  // DTR_CONTROL_ENABLE, transmit continues after XOFF; everything else off
  // (parity check, CTS/DSR flow control, DSR sensitivity, XON/XOFF, error
  // character, null stripping, RTS_CONTROL_DISABLE, abort on error).
  dcb.BaudRate = static_cast<DWORD>(baud);
  const DWORD flags = DCBFlags;
  std::memcpy(reinterpret_cast<unsigned char*>(&dcb) + kDcbFlagsOffset, &flags, sizeof flags);
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  if (!SetCommState(h, &dcb)) {
    return OpenFailed(TOpenError::Settings, "line settings refused: " + SystemErrorText(GetLastError()));
  }
  // Reads return at once with what has arrived, or wait at most ReadTimeout for
  // the first byte. A write ends after at most WriteTimeout: the total write
  // time-out is multiplier x bytes + constant, and a multiplier of MAXDWORD would
  // make it practically unlimited (a device that holds the line with flow control,
  // a driver that stalls, would then hold the window for good).
  COMMTIMEOUTS timeouts;
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
  timeouts.ReadTotalTimeoutConstant = ReadTimeout;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = WriteTimeout;
  if (!SetCommTimeouts(h, &timeouts)) {
    return OpenFailed(TOpenError::Settings, "time-outs refused: " + SystemErrorText(GetLastError()));
  }
  // DTR is already on through the DCB; raising it again is harmless and its result
  // does not matter (it fails on devices without modem lines).
  EscapeCommFunction(h, SETDTR);
  return true;
}

void TComPort::Close() {
  if (!IsOpen()) return;
  CloseHandle(H(Handle));
  Handle = kInvalidHandle;
  DropPending();
  if (capture_) capture_->Closed();
  capture_.reset();
}

bool TComPort::SystemQueueCount(uint32_t& count) {
  DWORD errors = 0;
  COMSTAT stat;
  std::memset(&stat, 0, sizeof stat);
  if (!ClearCommError(H(Handle), &errors, &stat)) return false;
  count = stat.cbInQue;
  return true;
}

void TComPort::PurgeSystemQueue() { PurgeComm(H(Handle), PURGE_RXCLEAR); }

uint32_t TComPort::ReadAvailable() {
  // With the read interval and multiplier at MAXDWORD the read returns at once with
  // what has arrived, and waits at most ReadTimeout for a first byte. Wine waits the
  // whole time-out whenever fewer bytes than asked for have arrived, so the read
  // asks for exactly what is queued (one byte when nothing is: then it waits for
  // the first, as the time-outs say).
  uint32_t queued = 0;
  if (!SystemQueueCount(queued) || queued == 0) queued = 1;
  DWORD got = 0;
  if (!ReadFile(H(Handle), Buffer.get(), queued < kBufferSize ? queued : kBufferSize, &got, nullptr)) return 0;
  return got;
}

bool TComPort::WriteString(const std::string& s) {
  if (s.empty()) return true;
  if (!IsOpen()) return false;
  const auto* data = reinterpret_cast<const uint8_t*>(s.data());
  size_t offset = 0;
  while (offset < s.size()) {
    DWORD written = 0;
    if (!WriteFile(H(Handle), data + offset, static_cast<DWORD>(s.size() - offset), &written,
                   nullptr)) {
      return false;
    }
    // A write that succeeds without passing a byte ran into its time-out.
    if (written == 0) return false;
    if (capture_) capture_->Sent(data + offset, written);
    offset += written;
  }
  return true;
}
