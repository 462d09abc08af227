#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "SafeFile.h"
#include "SettingsStore.h"

namespace {

constexpr char kHeader[] = "Windows Registry Editor Version 5.00";
constexpr char kHeader4[] = "REGEDIT4";
constexpr char kSection[] = "HKEY_CURRENT_USER\\SOFTWARE\\Zeltra";

std::atomic<uint64_t> comparisons{0};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Every comparison of names and keywords goes through here and is counted.
bool EqualNoCase(std::string_view a, std::string_view b) {
  comparisons.fetch_add(1, std::memory_order_relaxed);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Value names as the registry compares them: ASCII letters without regard to case.
struct TNameHash {
  size_t operator()(std::string_view name) const noexcept {
    uint64_t h = 14695981039346656037ull;  // FNV-1a
    for (char c : name) {
      h ^= static_cast<unsigned char>(Lower(c));
      h *= 1099511628211ull;
    }
    return static_cast<size_t>(h);
  }
};
struct TNameEqual {
  bool operator()(std::string_view a, std::string_view b) const { return EqualNoCase(a, b); }
};

// One value of the key. `data` is the text after '=' for values of other types,
// written back unchanged.
struct TEntry {
  std::string name;
  TValueType type = TValueType::Other;
  std::string text;
  uint32_t dword = 0;
  std::string data;
};

// The values of the key in file order, found by name in constant time, so that
// reading and writing a file takes time in proportion to its size.
class TEntries {
 public:
  void Clear() {
    list_.clear();
    index_.clear();
  }
  const std::vector<TEntry>& List() const { return list_; }
  const TEntry* Find(const std::string& name) const {
    auto it = index_.find(name);
    return it == index_.end() ? nullptr : &list_[it->second];
  }
  // Replaces the value of that name where it stands, or appends it.
  void Set(TEntry e) {
    auto [it, added] = index_.try_emplace(e.name, list_.size());
    if (added)
      list_.push_back(std::move(e));
    else
      list_[it->second] = std::move(e);
  }

 private:
  std::vector<TEntry> list_;
  std::unordered_map<std::string, size_t, TNameHash, TNameEqual> index_;
};

// Reads a quoted string at the start of s (regedit escapes: \\ and \"). Returns
// the characters consumed, 0 when malformed.
size_t ReadQuoted(std::string_view s, std::string& out) {
  out.clear();
  if (s.empty() || s[0] != '"') return 0;
  for (size_t i = 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') return i + 1;
    if (c == '\\') {
      if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return 0;
      out += s[++i];
    } else {
      out += c;
    }
  }
  return 0;
}

std::string Quote(const std::string& s) {
  std::string q = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') q += '\\';
    q += c;
  }
  return q + "\"";
}

// Parses the data part of a value line into `e`; false with `why` when malformed.
bool ParseData(std::string_view data, TEntry& e, std::string& why) {
  if (!data.empty() && data[0] == '"') {
    size_t n = ReadQuoted(data, e.text);
    if (n == 0 || !Trim(data.substr(n)).empty()) {
      why = "malformed string";
      return false;
    }
    e.type = TValueType::String;
    return true;
  }
  if (data.size() > 6 && EqualNoCase(data.substr(0, 6), "dword:")) {
    std::string_view hex = data.substr(6);
    if (hex.empty() || hex.size() > 8) {
      why = "a dword needs 1 to 8 hexadecimal digits";
      return false;
    }
    uint32_t v = 0;
    for (char c : hex) {
      if (!IsHex(c)) {
        why = "a dword needs 1 to 8 hexadecimal digits";
        return false;
      }
      v = v * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    e.type = TValueType::Dword;
    e.dword = v;
    return true;
  }
  // hex:... or hex(N):..., a list of bytes.
  if (data.size() >= 4 && EqualNoCase(data.substr(0, 3), "hex")) {
    size_t colon = data.find(':');
    std::string_view kind = data.substr(3, colon == std::string_view::npos ? 0 : colon - 3);
    bool kindOk = colon != std::string_view::npos &&
                  (kind.empty() || (kind.size() >= 3 && kind.front() == '(' && kind.back() == ')'));
    for (size_t i = 1; kindOk && i + 1 < kind.size(); ++i) kindOk = IsHex(kind[i]);
    if (kindOk) {
      std::string_view bytes = data.substr(colon + 1);
      size_t i = 0;
      bool ok = true;
      while (ok && i < bytes.size()) {
        ok = i + 1 < bytes.size() && IsHex(bytes[i]) && IsHex(bytes[i + 1]);
        i += 2;
        if (ok && i < bytes.size()) {
          ok = bytes[i] == ',';
          ++i;
          ok = ok && i < bytes.size();
        }
      }
      if (ok) {
        e.type = TValueType::Other;
        e.data = std::string(data);
        return true;
      }
    }
    why = "malformed list of bytes";
    return false;
  }
  why = "unknown value type";
  return false;
}

// Parses the file; false with the number and the reason of the first bad line.
bool ParseSettingsFile(std::string_view bytes, bool& hasKey, TEntries& entries, int& badLine,
                       std::string& why) {
  hasKey = false;
  entries.Clear();
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  bool header = false;
  int lineNo = 0;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view raw = bytes.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    badLine = lineNo;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    std::string joined(Trim(raw));
    // A list of bytes goes on over the following lines while a line ends in '\'
    // (no other line can: strings end in '"', dwords in a digit, keys in ']').
    while (!joined.empty() && joined.back() == '\\' && pos < bytes.size()) {
      joined.pop_back();
      end = bytes.find('\n', pos);
      if (end == std::string_view::npos) end = bytes.size();
      std::string_view more = bytes.substr(pos, end - pos);
      pos = end + 1;
      ++lineNo;
      if (!more.empty() && more.back() == '\r') more.remove_suffix(1);
      joined += Trim(more);
    }
    std::string_view line = joined;
    if (line.empty() || line[0] == ';') continue;
    if (!header) {
      if (line != kHeader && line != kHeader4) {
        why = std::string("expected \"") + kHeader + "\"";
        return false;
      }
      header = true;
      continue;
    }
    if (line[0] == '[') {
      if (line.back() != ']' || !EqualNoCase(Trim(line.substr(1, line.size() - 2)), kSection)) {
        why = std::string("only the key [") + kSection + "] may stand here";
        return false;
      }
      hasKey = true;
      continue;
    }
    if (!hasKey) {
      why = "a value before the key's line";
      return false;
    }
    TEntry e;
    size_t used = 0;
    if (line[0] == '@') {
      used = 1;
    } else {
      used = ReadQuoted(line, e.name);
      if (used == 0) {
        why = "expected \"name\"=value";
        return false;
      }
    }
    std::string_view rest = Trim(line.substr(used));
    if (rest.empty() || rest[0] != '=') {
      why = "expected \"name\"=value";
      return false;
    }
    if (!ParseData(Trim(rest.substr(1)), e, why)) return false;
    entries.Set(std::move(e));  // a repeated name: the last one counts, in the first's place
  }
  if (!header) {
    badLine = lineNo == 0 ? 1 : lineNo;
    why = std::string("expected \"") + kHeader + "\"";
    return false;
  }
  return true;
}

std::string FormatSettingsFile(const TEntries& entries) {
  std::string s = std::string(kHeader) + "\n\n[" + kSection + "]\n";
  for (const auto& e : entries.List()) {
    s += e.name.empty() ? std::string("@") : Quote(e.name);
    s += '=';
    switch (e.type) {
      case TValueType::String:
        s += Quote(e.text);
        break;
      case TValueType::Dword: {
        char hex[16];
        std::snprintf(hex, sizeof hex, "dword:%08x", static_cast<unsigned>(e.dword));
        s += hex;
        break;
      }
      default:
        s += e.data;
        break;
    }
    s += '\n';
  }
  s += '\n';
  return s;
}

std::string DirName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Creates the folder and any missing parents (0700: the settings are private).
bool MakeFolders(const std::string& dir) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (errno != ENOENT) return false;
  std::string parent = DirName(dir);
  if (parent != dir && !MakeFolders(parent)) return false;
  return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

class TFileSettingsStore final : public ISettingsStore {
 public:
  explicit TFileSettingsStore(std::string path) : path_(std::move(path)) {}

  bool OpenKey(bool create) override {
    CloseKey();
    if (path_.empty()) return false;
    std::string bytes;
    int e = ReadWholeFile(path_, bytes);
    bool hasKey = false;
    entries_.Clear();
    if (e == 0) {
      int badLine = 0;
      std::string why;
      if (!ParseSettingsFile(bytes, hasKey, entries_, badLine, why)) {
        entries_.Clear();
        hasKey = false;
        // Keep the unreadable file before anything can replace it.
        int be = WriteFileAtomically(path_ + ".bad", bytes);
        if (!create) {
          std::string text = "The settings file '" + path_ + "' cannot be read: line " +
                             std::to_string(badLine) + ": " + why + ". ";
          if (be == 0)
            text += "It is kept as '" + path_ + ".bad'; the settings in effect at exit replace it";
          else
            text += "No copy of it could be kept (" + IoErrorText(be) +
                    "); the settings in effect at exit replace it";
          throw ERegistryException(text);
        }
        if (be != 0) return false;  // never replace a file that could not be kept
      }
    } else if (e != ENOENT) {
      if (!create)
        throw ERegistryException("The settings file '" + path_ + "' cannot be read: " +
                                 IoErrorText(e));
    }
    if (!create) {
      if (!hasKey) return false;
      open_ = true;
      return true;
    }
    std::string dir = DirName(path_);
    if (!MakeFolders(dir) || ::access(dir.c_str(), W_OK | X_OK) != 0) return false;
    open_ = true;
    dirty_ = !hasKey;  // a new key is stored even when nothing is written
    return true;
  }

  TValueType ReadValue(const std::string& name, std::string& text, uint32_t& dword) override {
    if (!open_) return TValueType::Missing;
    const TEntry* e = entries_.Find(name);
    if (!e) return TValueType::Missing;
    if (e->type == TValueType::String) text = e->text;
    if (e->type == TValueType::Dword) dword = e->dword;
    return e->type;
  }

  bool WriteString(const std::string& name, const std::string& value) override {
    // A line end or a NUL cannot stand in a line of the file.
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) return false;
    TEntry e;
    e.name = name;
    e.type = TValueType::String;
    e.text = value;
    return Set(std::move(e));
  }

  bool WriteDword(const std::string& name, uint32_t value) override {
    TEntry e;
    e.name = name;
    e.type = TValueType::Dword;
    e.dword = value;
    return Set(std::move(e));
  }

  std::string CloseKey() override {
    bool store = open_ && dirty_;
    open_ = false;
    dirty_ = false;
    if (!store) return {};
    int e = WriteFileAtomically(path_, FormatSettingsFile(entries_));
    if (e != 0) return "The settings could not be saved in '" + path_ + "': " + IoErrorText(e);
    return {};
  }

  ~TFileSettingsStore() override { CloseKey(); }

 private:
  bool Set(TEntry e) {
    if (!open_ || e.name.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
      return false;
    dirty_ = true;
    entries_.Set(std::move(e));
    return true;
  }

  std::string path_;
  TEntries entries_;
  bool open_ = false;
  bool dirty_ = false;
};

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  struct passwd pw {};
  struct passwd* result = nullptr;
  std::vector<char> buf(16384);
  if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result &&
      result->pw_dir && *result->pw_dir)
    return result->pw_dir;
  return {};
}

}  // namespace

uint64_t SettingsFileComparisons() { return comparisons.load(std::memory_order_relaxed); }

std::string UserSettingsLocation() {
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {  // relative values are ignored, as the XDG rules say
    base = xdg;
  } else {
    std::string home = HomeFolder();
    if (home.empty()) return {};
    base = home + "/.config";
  }
  return base + "/Zeltra/settings.reg";
}

std::unique_ptr<ISettingsStore> CreateSettingsStoreAt(const std::string& location) {
  return std::make_unique<TFileSettingsStore>(location);
}

std::unique_ptr<ISettingsStore> CreateUserSettingsStore() {
  return CreateSettingsStoreAt(UserSettingsLocation());
}
