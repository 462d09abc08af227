#include <windows.h>

#include "SerialPorts.h"

std::vector<std::string> ListSerialPorts() {
  std::vector<std::string> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return ports;
  std::vector<char> name(256);
  std::vector<char> data(256);
  for (DWORD index = 0;;) {
    DWORD nameLen = static_cast<DWORD>(name.size());
    DWORD dataLen = static_cast<DWORD>(data.size());
    DWORD type = 0;
    LONG rc = RegEnumValueA(key, index, name.data(), &nameLen, nullptr, &type,
                            reinterpret_cast<BYTE*>(data.data()), &dataLen);
    if (rc == ERROR_MORE_DATA) {
      // Grow both buffers and read the same value again.
      if (name.size() >= 32768 && data.size() >= (1u << 20)) break;
      name.resize(name.size() * 2);
      data.resize(data.size() * 2);
      continue;
    }
    if (rc != ERROR_SUCCESS) break;  // ERROR_NO_MORE_ITEMS at the end
    ++index;
    // The data is the port name (COM1); the value name is the driver's device name.
    if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
    size_t n = 0;
    while (n < dataLen && data[n] != '\0') ++n;
    if (n > 0) ports.emplace_back(data.data(), n);
  }
  RegCloseKey(key);
  return ports;
}

std::string VirtualPortsDir() { return {}; }
