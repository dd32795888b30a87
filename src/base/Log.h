#pragma once
// The program's log, a file a user can send us: one UTF-8 line per event with
// its local time and thread, never any audio. At LOG_MAX_BYTES it moves on to a
// fresh file, keeping LOG_FILES in all (ombra.log, ombra.1.log, ombra.2.log).
// Any thread may write; a folder that cannot be written costs lines, nothing else.
#include <string>

inline constexpr unsigned LOG_MAX_BYTES = 1024 * 1024;
inline constexpr int LOG_FILES = 3;

// Appends to strFolder + "ombra.log" from now on; strFolder ends in a backslash.
// False when the file cannot be opened (lines are then dropped).
bool LogOpen(const std::wstring& strFolder);
void LogClose();
// The folder given to LogOpen, with its backslash; empty before.
std::wstring LogFolder();
// The file of the given age: 0 the current one, 1 the one before...
std::wstring LogFilePath(const std::wstring& strFolder, int nAge = 0);

// One line, formatted as swprintf does (%s takes a wide string); line breaks in
// it become " / " and it is cut at 1000 characters.
void LogLine(const wchar_t* pszFormat, ...);
