#pragma once
// Whole-file reads and writes that never leave a half-written file behind.
#include <string>
#include <string_view>

// Reads the whole file. 0 on success, else the operating system's error code
// (errno on POSIX, GetLastError on Windows).
int ReadWholeFile(const std::string& path, std::string& bytes);

// Replaces the file's content with `bytes`: writes a temporary file in the same
// folder, flushes it to the disk and renames it over the target, so that on any
// failure the previous file stays byte for byte. 0 on success, else the error code.
int WriteFileAtomically(const std::string& path, std::string_view bytes);

// The text shown for an error code of the two calls above: "File not found",
// "File access denied", "Disk full", ..., otherwise "I/O error <code>".
std::string IoErrorText(int code);
