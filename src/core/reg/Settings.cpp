#include "Settings.h"

namespace {

// Closes the key when reading or writing ends early with an exception.
class TKeyCloser {
 public:
  explicit TKeyCloser(ISettingsStore& store) : store_(store) {}
  ~TKeyCloser() {
    if (!closed_) store_.CloseKey();
  }
  std::string Close() {
    closed_ = true;
    return store_.CloseKey();
  }

 private:
  ISettingsStore& store_;
  bool closed_ = false;
};

[[noreturn]] void Fail(const char* format, const std::string& name) {
  std::string text = format;
  text.replace(text.find("%s"), 2, name);
  throw ERegistryException(text);
}

uint32_t ReadDword(ISettingsStore& store, const char* name) {
  std::string text;
  uint32_t value = 0;
  switch (store.ReadValue(name, text, value)) {
    case TValueType::Dword:
      return value;
    case TValueType::Missing:
      Fail("Failed to get data for '%s'", name);
    default:
      Fail("Invalid data type for '%s'", name);
  }
}

}  // namespace

void ReadSettings(ISettingsStore& store, TTrackerState& state) {
  state.PortName.clear();
  state.BPS = 115200;
  state.IsFastrak = false;
  state.IsStreaming = true;
  if (!store.OpenKey(false)) return;
  TKeyCloser closer(store);

  std::string text;
  uint32_t value = 0;
  switch (store.ReadValue(kPortNameValue, text, value)) {
    case TValueType::String:
      state.PortName = text;
      break;
    case TValueType::Missing:
      break;
    default:
      Fail("Invalid data type for '%s'", kPortNameValue);
  }
  state.BPS = static_cast<int32_t>(ReadDword(store, kBPSValue));
  state.IsFastrak = ReadDword(store, kIsFastrakValue) != 0;
  state.IsStreaming = ReadDword(store, kIsStreamingValue) != 0;
  closer.Close();
}

void WriteSettings(ISettingsStore& store, const TTrackerState& state) {
  if (!store.OpenKey(true)) return;
  TKeyCloser closer(store);
  if (!store.WriteString(kPortNameValue, state.PortName))
    Fail("Failed to set data for '%s'", kPortNameValue);
  if (!store.WriteDword(kBPSValue, static_cast<uint32_t>(state.BPS)))
    Fail("Failed to set data for '%s'", kBPSValue);
  if (!store.WriteDword(kIsFastrakValue, state.IsFastrak ? 1u : 0u))
    Fail("Failed to set data for '%s'", kIsFastrakValue);
  if (!store.WriteDword(kIsStreamingValue, state.IsStreaming ? 1u : 0u))
    Fail("Failed to set data for '%s'", kIsStreamingValue);
  std::string error = closer.Close();
  if (!error.empty()) throw ERegistryException(error);
}

bool TMemorySettingsStore::OpenKey(bool create) {
  if (!keyExists && !(create && canCreate)) return false;
  keyExists = true;
  open = true;
  return true;
}

TValueType TMemorySettingsStore::ReadValue(const std::string& name, std::string& text,
                                           uint32_t& dword) {
  auto it = values.find(name);
  if (!open || it == values.end()) return TValueType::Missing;
  text = it->second.text;
  dword = it->second.dword;
  return it->second.type;
}

bool TMemorySettingsStore::WriteString(const std::string& name, const std::string& value) {
  if (!open || name == failWriteOf) return false;
  values[name] = TValue{TValueType::String, value, 0};
  return true;
}

bool TMemorySettingsStore::WriteDword(const std::string& name, uint32_t value) {
  if (!open || name == failWriteOf) return false;
  values[name] = TValue{TValueType::Dword, {}, value};
  return true;
}

std::string TMemorySettingsStore::CloseKey() {
  if (open) ++closes;
  open = false;
  return {};
}
