#pragma once
// The per-user tracker settings (PortName, BPS, IsFastrak, IsStreaming): the typed
// store they live in, the list of stored values, and reading them at start and
// writing them at exit.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

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

// Where a stored value lives while the program runs. The alternative also gives
// its type: text is a string value (REG_SZ), a 32-bit integer a dword (REG_DWORD,
// read as signed), a flag a dword that is 1 or 0 (any non-zero dword reads true).
using TSettingField = std::variant<std::string TTrackerState::*, int32_t TTrackerState::*,
                                   bool TTrackerState::*>;
// A value's default, of the same alternative as its field.
using TSettingDefault = std::variant<std::string_view, int32_t, bool>;

// What reading does when the value is not stored: keep the default silently, or
// keep it and report "Failed to get data for '%s'".
enum class TIfMissing { KeepDefault, Report };

// One stored value.
struct TSettingValue {
  std::string_view name;
  TSettingField field;
  TSettingDefault byDefault;
  TIfMissing ifMissing;
};

// Every stored value, in the order in which they are read and written. A further
// value is one more line here (and its field); its default must have the field's
// type (checked when the program is compiled).
inline constexpr TSettingValue kSettingValues[] = {
    {kPortNameValue, &TTrackerState::PortName, std::string_view(""), TIfMissing::KeepDefault},
    {kBPSValue, &TTrackerState::BPS, int32_t{115200}, TIfMissing::Report},
    {kIsFastrakValue, &TTrackerState::IsFastrak, false, TIfMissing::Report},
    {kIsStreamingValue, &TTrackerState::IsStreaming, true, TIfMissing::Report},
    {"FlockRange", &TTrackerState::FlockRange, int32_t{36}, TIfMissing::KeepDefault},
    {"FastrakUnit", &TTrackerState::FastrakUnit, int32_t{0}, TIfMissing::KeepDefault},
    {"CalibFolder", &TTrackerState::CalibFolder, std::string_view(""), TIfMissing::KeepDefault},
    {"IGTLAddress", &TTrackerState::IGTLAddress, std::string_view("127.0.0.1"), TIfMissing::KeepDefault},
    {"IGTLPort", &TTrackerState::IGTLPort, int32_t{18944}, TIfMissing::KeepDefault},
    {"MRIImage", &TTrackerState::MRIImage, std::string_view(""), TIfMissing::KeepDefault},
    {"MRIVoxelBase", &TTrackerState::MRIVoxelBase, int32_t{1}, TIfMissing::KeepDefault},
};

// Sets every value of kSettingValues to its default, then, if the key exists,
// reads each of them in order; a value that cannot be read does not stop the
// others. Returns one message per value that could not be read, in that order:
// "Failed to get data for '%s'" when a value that must be stored is missing
// (PortName may be missing: empty text), "Invalid data type for '%s'" when it has
// another type. Such a value keeps its default; every value read keeps what was
// read. A key that exists but cannot be read at all gives the store's own message
// alone and every default. Empty when all went well. TrackerReady is not touched.
std::vector<std::string> ReadSettings(ISettingsStore& store, TTrackerState& state);

// Opens the key, creating it if needed (stops silently when that fails), and
// writes every value of kSettingValues in order. Throws ERegistryException "Failed
// to set data for '%s'" on the first value that cannot be set (the values before
// it are stored, the rest not), or with the store's message when the values could
// not be stored at close.
void WriteSettings(ISettingsStore& store, const TTrackerState& state);
