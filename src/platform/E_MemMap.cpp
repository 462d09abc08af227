#include "E_MemMap.h"

EMappingException::EMappingException(uint32_t code)
    : std::runtime_error("Memory Mapping Error #" + std::to_string(code)), code_(code) {}
