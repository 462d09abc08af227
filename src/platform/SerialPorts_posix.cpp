#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "SerialPorts.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::vector<std::string> FolderEntries(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return names;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    names.push_back(std::move(name));
  }
  ::closedir(d);
  std::sort(names.begin(), names.end(), NaturalLess);
  return names;
}

// The first line of a small sysfs attribute; false when it cannot be read.
bool ReadAttribute(const std::string& path, std::string& value) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  char buf[64];
  ssize_t n;
  do {
    n = ::read(fd, buf, sizeof buf);
  } while (n < 0 && errno == EINTR);
  ::close(fd);
  if (n < 0) return false;
  value.assign(buf, static_cast<size_t>(n));
  size_t end = value.find_first_of("\r\n");
  if (end != std::string::npos) value.resize(end);
  return true;
}

// A tty of the kernel that has hardware behind it. Serial-core ports (ttyS, ttyAMA,
// ...) exist for every configured line; a line without a UART reports type 0
// (PORT_UNKNOWN). Reading the attribute opens no port.
bool IsKernelSerialPort(const std::string& ttyDir) {
  struct stat st {};
  if (::stat((ttyDir + "/device").c_str(), &st) != 0) return false;
  std::string type;
  if (ReadAttribute(ttyDir + "/type", type) && type == "0") return false;
  return true;
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      size_t si = i, sj = j;
      while (si < a.size() && a[si] == '0') ++si;
      while (sj < b.size() && b[sj] == '0') ++sj;
      size_t ei = si, ej = sj;
      while (ei < a.size() && IsDigit(a[ei])) ++ei;
      while (ej < b.size() && IsDigit(b[ej])) ++ej;
      if (ei - si != ej - sj) return ei - si < ej - sj;
      int c = a.compare(si, ei - si, b, sj, ej - sj);
      if (c != 0) return c < 0;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
      ++i;
      ++j;
    }
  }
  if ((a.size() - i) != (b.size() - j)) return a.size() - i < b.size() - j;
  return a < b;  // equal up to leading zeros: any fixed order
}

std::vector<std::string> ListSerialPorts(const std::string& sysRoot, const std::string& devRoot,
                                         const std::string& virtualDir) {
  std::vector<std::string> ports;
  std::string classDir = sysRoot + "/class/tty";
  for (const auto& name : FolderEntries(classDir)) {
    if (!IsKernelSerialPort(classDir + "/" + name)) continue;
    // sysfs writes '/' in device names as '!'.
    std::string devName = name;
    std::replace(devName.begin(), devName.end(), '!', '/');
    std::string node = devRoot + "/" + devName;
    struct stat st {};
    if (::stat(node.c_str(), &st) != 0) continue;
    ports.push_back(node);
  }
  if (!virtualDir.empty()) {
    for (const auto& name : FolderEntries(virtualDir)) {
      std::string link = virtualDir + "/" + name;
      struct stat lst {}, st {};
      if (::lstat(link.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode)) continue;
      if (::stat(link.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) continue;
      ports.push_back(link);
    }
  }
  return ports;
}

std::string VirtualPortsDir() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') return std::string(runtime) + "/zeltra/ports";
  return "/tmp/zeltra-" + std::to_string(static_cast<unsigned long>(::getuid())) + "/ports";
}

std::vector<std::string> ListSerialPorts() {
  return ListSerialPorts("/sys", "/dev", VirtualPortsDir());
}
