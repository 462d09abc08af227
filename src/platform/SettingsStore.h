#pragma once
// The current user's persistent settings store.
//   Windows: the registry key HKEY_CURRENT_USER\SOFTWARE\Zeltra.
//   POSIX: the file $XDG_CONFIG_HOME/Zeltra/settings.reg (~/.config without
//   XDG_CONFIG_HOME), holding the same named, typed values in the syntax of a
//   registry export:
//     Windows Registry Editor Version 5.00
//
//     [HKEY_CURRENT_USER\SOFTWARE\Zeltra]
//     "PortName"="/dev/ttyUSB0"
//     "BPS"=dword:0001c200
//   The file is read whole when the key is opened and replaced atomically when it
//   is closed after writes; the folder is created when the key is created. A file
//   that cannot be parsed makes OpenKey throw ERegistryException naming the file
//   and the line; a copy of it is kept as settings.reg.bad beside it before the
//   values written at exit replace it. Values other than the four are kept. Reading
//   and writing take time in proportion to the file's size.
#include <cstdint>
#include <memory>
#include <string>

#include "reg/Settings.h"

std::unique_ptr<ISettingsStore> CreateUserSettingsStore();

// The store at `location`: on POSIX a settings file's path, on Windows a key's
// path below HKEY_CURRENT_USER (for tests).
std::unique_ptr<ISettingsStore> CreateSettingsStoreAt(const std::string& location);

// The location CreateUserSettingsStore uses: the settings file's path (empty when
// no home folder is known: the settings are then neither read nor written), or on
// Windows kSettingsKey.
std::string UserSettingsLocation();

#ifndef _WIN32
// How many times the settings file store of this process has compared two names
// or keywords so far: its work, which grows in proportion to the files it reads
// and writes however many values they hold.
uint64_t SettingsFileComparisons();
#endif
