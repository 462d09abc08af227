#pragma once
// A settings store in memory: the registry key as a map of typed values, with
// switches for a key that cannot be created and a value that cannot be written.
#include <cstdint>
#include <map>
#include <string>

#include "reg/Settings.h"

class TMemorySettingsStore : public ISettingsStore {
 public:
  struct TValue {
    TValueType type = TValueType::Missing;
    std::string text;
    uint32_t dword = 0;
  };
  bool keyExists = false;
  bool canCreate = true;
  std::string failWriteOf;  // a value name whose writes fail
  std::map<std::string, TValue> values;
  bool open = false;
  int closes = 0;

  bool OpenKey(bool create) override {
    if (!keyExists && !(create && canCreate)) return false;
    keyExists = true;
    open = true;
    return true;
  }

  TValueType ReadValue(const std::string& name, std::string& text, uint32_t& dword) override {
    auto it = values.find(name);
    if (!open || it == values.end()) return TValueType::Missing;
    text = it->second.text;
    dword = it->second.dword;
    return it->second.type;
  }

  bool WriteString(const std::string& name, const std::string& value) override {
    if (!open || name == failWriteOf) return false;
    values[name] = TValue{TValueType::String, value, 0};
    return true;
  }

  bool WriteDword(const std::string& name, uint32_t value) override {
    if (!open || name == failWriteOf) return false;
    values[name] = TValue{TValueType::Dword, {}, value};
    return true;
  }

  std::string CloseKey() override {
    if (open) ++closes;
    open = false;
    return {};
  }
};
