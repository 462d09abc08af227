// TComPort on termios. The descriptor stays non-blocking; the time-outs are poll
// waits, so that no call can block longer than its time-out.
#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "ComPort.h"
#include "SerialCapture.h"

namespace {


template <typename F>
int RetryEintr(F call) {
  int r;
  do {
    r = call();
  } while (r < 0 && errno == EINTR);
  return r;
}

struct TSpeed {
  int32_t bps;
  speed_t constant;
};

constexpr TSpeed kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},
#ifdef B460800
    {460800, B460800},   {500000, B500000},   {576000, B576000},   {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
#endif
};

bool SpeedConstant(int32_t bps, speed_t& constant) {
  for (const TSpeed& s : kSpeeds) {
    if (s.bps == bps) {
      constant = s.constant;
      return true;
    }
  }
  return false;
}

// Raw 8N1 without flow control; the receiver on, modem status lines ignored, DTR
// dropped when the port is closed. Other flags keep what the driver reported.
void MakeRaw(termios& t) {
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXON | IXOFF | IXANY | INPCK | IMAXBEL);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
  t.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
  t.c_cflag |= CS8 | CLOCAL | CREAD | HUPCL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
}

bool SameLineSettings(const termios& want, const termios& got, speed_t speed) {
  const tcflag_t cmask = CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD;
  return cfgetospeed(&got) == speed && cfgetispeed(&got) == speed &&
         (got.c_cflag & cmask) == (want.c_cflag & cmask) &&
         (got.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP)) == 0 && (got.c_oflag & OPOST) == 0 &&
         (got.c_lflag & (ICANON | ECHO | ISIG)) == 0;
}

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` until the deadline: the returned events, 0 on time-out, -1 on
// failure.
int WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int r = poll(&p, 1, MsLeft(deadline));
    if (r > 0) return p.revents;
    if (r == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

// Why open() refused a name: a device node that is not there (or has no device
// behind it, as a USB adapter's node while it is being unplugged) is a port that
// was not found.
ISerialPort::TOpenError OpenErrorOf(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return ISerialPort::TOpenError::NotFound;
    case EBUSY:
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
  const int fd = RetryEintr([&] { return ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
  if (fd < 0) {
    const int error = errno;
    const TOpenError why = OpenErrorOf(error);
    // Another holder's exclusive mode (TIOCEXCL) refuses other users with EBUSY.
    return OpenFailed(why, why == TOpenError::InUse ? kPortInUseText : std::strerror(error));
  }
  termios t{};
  // Not a terminal (a regular file, /dev/null): no serial port.
  if (RetryEintr([&] { return tcgetattr(fd, &t); }) != 0) {
    ::close(fd);
    return OpenFailed(TOpenError::NotSerial, "not a serial port");
  }
  // Exclusive access: flock stops every other opener, root included; TIOCEXCL
  // also makes other users' open() fail.
  if (RetryEintr([&] { return flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return OpenFailed(TOpenError::InUse, kPortInUseText);
    return OpenFailed(TOpenError::Other, std::strerror(error));
  }
  RetryEintr([&] { return ioctl(fd, TIOCEXCL); });
  Handle = fd;
  capture_ = TSerialCapture::FromEnvironment(name, baud);

  speed_t speed = 0;
  if (!SpeedConstant(baud, speed)) return OpenFailed(TOpenError::Settings, "unsupported speed");
  termios want = t;
  MakeRaw(want);
  cfsetispeed(&want, speed);
  cfsetospeed(&want, speed);
  termios got{};
  if (RetryEintr([&] { return tcsetattr(fd, TCSANOW, &want); }) != 0 ||
      RetryEintr([&] { return tcgetattr(fd, &got); }) != 0) {
    return OpenFailed(TOpenError::Settings, std::string("line settings refused: ") + std::strerror(errno));
  }
  if (!SameLineSettings(want, got, speed)) return OpenFailed(TOpenError::Settings, "line settings refused");
  // DTR on, RTS off. A device without modem lines (a pseudo-terminal) refuses
  // these with ENOTTY; that does not make the port unusable.
  int dtr = TIOCM_DTR;
  RetryEintr([&] { return ioctl(fd, TIOCMBIS, &dtr); });
  int rts = TIOCM_RTS;
  RetryEintr([&] { return ioctl(fd, TIOCMBIC, &rts); });
  return true;
}

void TComPort::Close() {
  if (!IsOpen()) return;
  const int fd = static_cast<int>(Handle);
  // Leave exclusive mode explicitly: the terminal may stay open on the device side
  // (a pseudo-terminal's emulator), and the mode would otherwise outlive this handle
  // and refuse the next open.
  ioctl(fd, TIOCNXCL);
  // Not retried on EINTR: Linux releases the descriptor whatever close reports.
  ::close(fd);
  Handle = kInvalidHandle;
  DropPending();
  if (capture_) capture_->Closed();
  capture_.reset();
}

bool TComPort::SystemQueueCount(uint32_t& count) {
  int n = 0;
  if (RetryEintr([&] { return ioctl(static_cast<int>(Handle), FIONREAD, &n); }) != 0 || n < 0) return false;
  count = systemCounted_ = static_cast<uint32_t>(n);
  return true;
}

void TComPort::PurgeSystemQueue() { RetryEintr([&] { return tcflush(static_cast<int>(Handle), TCIFLUSH); }); }

uint32_t TComPort::ReadAvailable() {
  const int fd = static_cast<int>(Handle);
  const auto deadline = Clock::now() + std::chrono::milliseconds(ReadTimeout);
  // Bytes the last count reported are there to read; otherwise wait for one first:
  // with VMIN and VTIME 0 a read that finds nothing returns 0 at once, as after a
  // hang-up.
  bool wait = systemCounted_ == 0;
  for (;;) {
    if (wait) {
      const int ev = WaitFor(fd, POLLIN, deadline);
      if (ev <= 0 || (ev & POLLIN) == 0) return 0;  // time-out, hang-up, failure
    }
    const ssize_t n = ::read(fd, Buffer.get(), kBufferSize);
    if (n > 0) {
      systemCounted_ -= std::min<uint32_t>(systemCounted_, static_cast<uint32_t>(n));
      return static_cast<uint32_t>(n);
    }
    systemCounted_ = 0;
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
      wait = true;
      continue;
    }
    return 0;  // the device hung up, or the read failed
  }
}

bool TComPort::WriteString(const std::string& s) {
  if (s.empty()) return true;
  if (!IsOpen()) return false;
  const int fd = static_cast<int>(Handle);
  const auto* data = reinterpret_cast<const uint8_t*>(s.data());
  size_t offset = 0;
  while (offset < s.size()) {
    const ssize_t n = ::write(fd, data + offset, s.size() - offset);
    if (n > 0) {
      if (capture_) capture_->Sent(data + offset, static_cast<size_t>(n));
      offset += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || errno != EAGAIN) return false;
    // The output queue is full: wait for room, at most the write time-out.
    const auto deadline = Clock::now() + std::chrono::milliseconds(WriteTimeout);
    const int ev = WaitFor(fd, POLLOUT, deadline);
    if (ev <= 0 || (ev & POLLOUT) == 0) return false;
  }
  return true;
}
