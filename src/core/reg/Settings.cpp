#include "Settings.h"

#include <type_traits>

namespace {

consteval bool DefaultsMatchFields() {
  for (const TSettingValue& v : kSettingValues)
    if (v.field.index() != v.byDefault.index()) return false;
  return true;
}
static_assert(DefaultsMatchFields(), "every setting's default has its field's type");

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

std::string Message(const char* format, std::string_view name) {
  std::string text = format;
  text.replace(text.find("%s"), 2, name);
  return text;
}

void SetDefault(const TSettingValue& v, TTrackerState& state) {
  std::visit(
      [&](auto member) {
        using T = std::remove_reference_t<decltype(state.*member)>;
        state.*member = T(std::get<std::conditional_t<std::is_same_v<T, std::string>,
                                                      std::string_view, T>>(v.byDefault));
      },
      v.field);
}

// Reads one value into its field; empty, or the message why it could not be read
// (the field then keeps its default).
std::string ReadValue(ISettingsStore& store, const TSettingValue& v, TTrackerState& state) {
  std::string text;
  uint32_t dword = 0;
  TValueType type = store.ReadValue(std::string(v.name), text, dword);
  if (type == TValueType::Missing)
    return v.ifMissing == TIfMissing::Report ? Message("Failed to get data for '%s'", v.name)
                                             : std::string();
  return std::visit(
      [&](auto member) -> std::string {
        using T = std::remove_reference_t<decltype(state.*member)>;
        if constexpr (std::is_same_v<T, std::string>) {
          if (type != TValueType::String) return Message("Invalid data type for '%s'", v.name);
          state.*member = text;
        } else {
          if (type != TValueType::Dword) return Message("Invalid data type for '%s'", v.name);
          if constexpr (std::is_same_v<T, bool>)
            state.*member = dword != 0;
          else
            state.*member = static_cast<int32_t>(dword);
        }
        return {};
      },
      v.field);
}

bool WriteValue(ISettingsStore& store, const TSettingValue& v, const TTrackerState& state) {
  std::string name(v.name);
  return std::visit(
      [&](auto member) {
        using T = std::remove_cvref_t<decltype(state.*member)>;
        if constexpr (std::is_same_v<T, std::string>)
          return store.WriteString(name, state.*member);
        else if constexpr (std::is_same_v<T, bool>)
          return store.WriteDword(name, state.*member ? 1u : 0u);
        else
          return store.WriteDword(name, static_cast<uint32_t>(state.*member));
      },
      v.field);
}

}  // namespace

std::vector<std::string> ReadSettings(ISettingsStore& store, TTrackerState& state) {
  for (const TSettingValue& v : kSettingValues) SetDefault(v, state);
  std::vector<std::string> problems;
  try {
    if (!store.OpenKey(false)) return problems;
  } catch (const ERegistryException& e) {
    problems.emplace_back(e.what());
    return problems;
  }
  TKeyCloser closer(store);
  for (const TSettingValue& v : kSettingValues) {
    std::string problem = ReadValue(store, v, state);
    if (!problem.empty()) problems.push_back(std::move(problem));
  }
  closer.Close();  // nothing was written: nothing to store
  return problems;
}

void WriteSettings(ISettingsStore& store, const TTrackerState& state) {
  if (!store.OpenKey(true)) return;
  TKeyCloser closer(store);
  for (const TSettingValue& v : kSettingValues)
    if (!WriteValue(store, v, state))
      throw ERegistryException(Message("Failed to set data for '%s'", v.name));
  std::string error = closer.Close();
  if (!error.empty()) throw ERegistryException(error);
}
