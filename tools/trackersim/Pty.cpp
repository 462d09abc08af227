#include "Pty.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool TPty::Open(speed_t speedConstant, bool claim, std::string& error) {
  Close();
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[PATH_MAX];
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0) {
    error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
    Close();
    return false;
  }
  slavePath_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios t{};
  if (slave_ < 0 || tcgetattr(slave_, &t) != 0) {
    error = "cannot open " + slavePath_ + ": " + std::strerror(errno);
    Close();
    return false;
  }
  // Raw from the start: no echo of the device's bytes back to it, no translation.
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&t, speedConstant);
  cfsetospeed(&t, speedConstant);
  if (tcsetattr(slave_, TCSANOW, &t) != 0) {
    error = "cannot set up " + slavePath_ + ": " + std::strerror(errno);
    Close();
    return false;
  }
  if (claim && ioctl(slave_, TIOCSCTTY, 0) != 0) {
    error = "cannot make " + slavePath_ + " the controlling terminal: " + std::strerror(errno);
    Close();
    return false;
  }
  const int flags = fcntl(master_, F_GETFL);
  fcntl(master_, F_SETFL, flags | O_NONBLOCK);
  return true;
}

void TPty::Close() {
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
  slave_ = master_ = -1;
}

speed_t TPty::LineSpeed() const {
  termios t{};
  if (master_ < 0 || tcgetattr(master_, &t) != 0) return 0;
  return cfgetospeed(&t);
}

speed_t SpeedConstant(long bps) {
  switch (bps) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return 0;
  }
}

bool PointLink(const std::string& link, const std::string& target, std::string& error) {
  const std::string tmp = link + ".new-" + std::to_string(getpid());
  ::unlink(tmp.c_str());
  if (::symlink(target.c_str(), tmp.c_str()) != 0 || ::rename(tmp.c_str(), link.c_str()) != 0) {
    error = "cannot make the link " + link + ": " + std::strerror(errno);
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

void RemoveLinkTo(const std::string& link, const std::string& target) {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
  if (n < 0) return;
  buf[n] = '\0';
  if (target == buf) ::unlink(link.c_str());
}
