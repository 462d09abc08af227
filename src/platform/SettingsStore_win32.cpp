#include <windows.h>

#include <vector>

#include "SettingsStore.h"

namespace {

class TRegistrySettingsStore final : public ISettingsStore {
 public:
  explicit TRegistrySettingsStore(std::string subkey) : subkey_(std::move(subkey)) {}
  ~TRegistrySettingsStore() override { CloseKey(); }

  bool OpenKey(bool create) override {
    CloseKey();
    LONG rc;
    if (create)
      rc = RegCreateKeyExA(HKEY_CURRENT_USER, subkey_.c_str(), 0, nullptr,
                           REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
    else
      rc = RegOpenKeyExA(HKEY_CURRENT_USER, subkey_.c_str(), 0, KEY_READ, &key_);
    if (rc != ERROR_SUCCESS) {
      key_ = nullptr;
      return false;
    }
    return true;
  }

  TValueType ReadValue(const std::string& name, std::string& text, uint32_t& dword) override {
    if (!key_) return TValueType::Missing;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
      return TValueType::Missing;
    if (type == REG_DWORD) {
      DWORD v = 0;
      size = sizeof v;
      LONG rc = RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&v),
                                 &size);
      if (rc == ERROR_MORE_DATA) return TValueType::Other;
      if (rc != ERROR_SUCCESS) return TValueType::Missing;
      if (type != REG_DWORD || size != sizeof v) return TValueType::Other;
      dword = v;
      return TValueType::Dword;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return TValueType::Other;
    // The value may grow between the two queries: ask again until it fits.
    for (int attempt = 0; attempt < 8; ++attempt) {
      std::vector<char> buf(size + 2, '\0');
      DWORD got = size;
      LONG rc = RegQueryValueExA(key_, name.c_str(), nullptr, &type,
                                 reinterpret_cast<BYTE*>(buf.data()), &got);
      if (rc == ERROR_MORE_DATA) {
        size = got > size ? got : size * 2 + 16;
        continue;
      }
      if (rc != ERROR_SUCCESS) return TValueType::Missing;
      if (type != REG_SZ && type != REG_EXPAND_SZ) return TValueType::Other;
      // The data need not end in a NUL; it ends at the first one.
      size_t n = 0;
      while (n < got && buf[n] != '\0') ++n;
      text.assign(buf.data(), n);
      return TValueType::String;
    }
    return TValueType::Missing;
  }

  bool WriteString(const std::string& name, const std::string& value) override {
    if (!key_) return false;
    return RegSetValueExA(key_, name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
  }

  bool WriteDword(const std::string& name, uint32_t value) override {
    if (!key_) return false;
    DWORD v = value;
    return RegSetValueExA(key_, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                          sizeof v) == ERROR_SUCCESS;
  }

  std::string CloseKey() override {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
    return {};
  }

 private:
  std::string subkey_;
  HKEY key_ = nullptr;
};

}  // namespace

std::string UserSettingsLocation() { return kSettingsKey; }

std::unique_ptr<ISettingsStore> CreateSettingsStoreAt(const std::string& location) {
  return std::make_unique<TRegistrySettingsStore>(location);
}

std::unique_ptr<ISettingsStore> CreateUserSettingsStore() {
  return CreateSettingsStoreAt(UserSettingsLocation());
}
