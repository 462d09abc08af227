#pragma once
// The operating system's clock and sleep.
#include "Interfaces.h"

class TSystemClock : public IClock {
 public:
  // Sleeps the whole time even when a signal interrupts the wait.
  void Sleep(uint32_t ms) override;
  uint64_t NowMs() override;
};
