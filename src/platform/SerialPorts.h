#pragma once
// Discovery of the machine's serial ports.
#include <string>
#include <vector>

#include "Interfaces.h"

// The serial ports in the platform's stable order: on Windows the port names
// registered under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM in registry order; on Linux
// the device paths of the serial devices the kernel has, followed by the virtual
// ports registered in VirtualPortsDir().
std::vector<std::string> ListSerialPorts();

class TSystemPortLister : public IPortLister {
 public:
  std::vector<std::string> ListSerialPorts() override { return ::ListSerialPorts(); }
};

// Folder in which virtual serial ports (such as the tracker emulator's
// pseudo-terminal) register themselves as symbolic links to their device:
// $XDG_RUNTIME_DIR/zeltra/ports, or /tmp/zeltra-<uid>/ports without XDG_RUNTIME_DIR.
// Empty on Windows.
std::string VirtualPortsDir();

#ifndef _WIN32
// ListSerialPorts with its roots given (for tests): `sysRoot` stands for /sys,
// `devRoot` for /dev, `virtualDir` for VirtualPortsDir() (empty: none).
//   Kernel ports: the entries of <sysRoot>/class/tty that have a "device" link and
//   whose node <devRoot>/<name> exists, leaving out those whose "type" attribute
//   reads 0 (a serial-core port such as ttyS3 with no UART behind it); listed as
//   <devRoot>/<name> in natural order (ttyS2 before ttyS10).
//   Virtual ports: the symbolic links in `virtualDir` (names not starting with '.')
//   that lead to a character device, as <virtualDir>/<name>, in natural order;
//   dangling links are left out.
std::vector<std::string> ListSerialPorts(const std::string& sysRoot, const std::string& devRoot,
                                         const std::string& virtualDir);

// True when a's digits-aware order puts it before b ("ttyS2" < "ttyS10").
bool NaturalLess(const std::string& a, const std::string& b);
#endif
