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
