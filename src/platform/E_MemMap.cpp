#include "E_MemMap.h"

EMappingException::EMappingException(uint32_t code)
    : std::runtime_error("Memory Mapping Error #" + std::to_string(code)), code_(code) {}

void TEMemMap::CheckMapError() {
  if (LastError_ != 0) {
    Unlock();
    uint32_t code = LastError_;
    LastError_ = 0;
    throw EMappingException(code);
  }
}

void* TEMemMap::View() const { return View_; }
uint32_t TEMemMap::LastError() const { return LastError_; }
int32_t TEMemMap::MaxSize() const { return MaxSize_; }
bool TEMemMap::Locked() const { return Locked_; }
