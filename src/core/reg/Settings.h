#pragma once
// The four per-user tracker settings (PortName, BPS, IsFastrak, IsStreaming): the
// typed store they live in, and reading them at start and writing them at exit.
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "tracker/TrackerState.h"

// A settings error: "Failed to get data for 'BPS'", "Invalid data type for 'BPS'",
// "Failed to set data for 'BPS'", or a store's own message (an unreadable file).
class ERegistryException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The type of a stored value, as the registry knows it.
enum class TValueType {
  Missing,  // no such value (or it cannot be read)
  String,   // text (REG_SZ)
  Dword,    // 32-bit integer (REG_DWORD)
  Other,    // anything else (binary, multi-string, 64-bit, ...)
};

// A registry-like key of named, typed values.
class ISettingsStore {
 public:
  virtual ~ISettingsStore() = default;
  // Opens the key. Without `create`, false when the key does not exist; with it,
  // the key is created when needed and false means it can be neither opened nor
  // created. May throw ERegistryException when the key exists but cannot be read.
  virtual bool OpenKey(bool create) = 0;
  // The type of value `name` of the open key; its data goes to `text` for a string
  // and to `dword` for a 32-bit integer.
  virtual TValueType ReadValue(const std::string& name, std::string& text, uint32_t& dword) = 0;
  // Sets a value of the open key; false when it cannot be set.
  virtual bool WriteString(const std::string& name, const std::string& value) = 0;
  virtual bool WriteDword(const std::string& name, uint32_t value) = 0;
  // Closes the key. Values set so far are stored. Empty, or the reason why they
  // could not be stored. Harmless when the key is not open.
  virtual std::string CloseKey() = 0;
};

// The settings key below the current user's root, and its value names.
inline constexpr char kSettingsKey[] = "SOFTWARE\\Zeltra";
inline constexpr char kPortNameValue[] = "PortName";
inline constexpr char kBPSValue[] = "BPS";
inline constexpr char kIsFastrakValue[] = "IsFastrak";
inline constexpr char kIsStreamingValue[] = "IsStreaming";

// Sets the defaults (PortName empty, BPS 115200, IsFastrak false, IsStreaming
// true), then, if the key exists, reads PortName (a missing value gives empty
// text), BPS, IsFastrak and IsStreaming in this order (any non-zero integer is
// true). Throws ERegistryException on the first value that is missing ("Failed to
// get data for '%s'"; not for PortName) or of another type ("Invalid data type for
// '%s'"); the values read before it keep what was read, the others their defaults.
// TrackerReady is not touched.
void ReadSettings(ISettingsStore& store, TTrackerState& state);

// Opens the key, creating it if needed (stops silently when that fails), and
// writes PortName, BPS, IsFastrak and IsStreaming (1 or 0) in this order. Throws
// ERegistryException "Failed to set data for '%s'" on the first value that cannot
// be set (the values before it are stored, the rest not), or with the store's
// message when the values could not be stored at close.
void WriteSettings(ISettingsStore& store, const TTrackerState& state);

// A store in memory, for tests and for running without persistent settings.
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

  bool OpenKey(bool create) override;
  TValueType ReadValue(const std::string& name, std::string& text, uint32_t& dword) override;
  bool WriteString(const std::string& name, const std::string& value) override;
  bool WriteDword(const std::string& name, uint32_t value) override;
  std::string CloseKey() override;
};
