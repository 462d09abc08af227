// The parts of TComPort that do not depend on the operating system.
#include "ComPort.h"

#include "SerialCapture.h"

TComPort::TComPort() : Handle(kInvalidHandle), Buffer(new uint8_t[kBufferSize]()) {}

TComPort::~TComPort() {
  if (IsOpen()) Close();
}

bool TComPort::IsOpen() const { return Handle != kInvalidHandle; }

void TComPort::WriteByte(uint8_t b) { WriteString(std::string(1, static_cast<char>(b))); }
