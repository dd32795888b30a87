#pragma once
// Crash dumps a user can send us: an exception that nobody handles writes a
// minidump into the log's folder before the process ends, and the next start
// notes in the log each dump found since.
#include <string>

// Dumps go into strFolder (ending in a backslash) from now on. False when the
// system's dump writer (dbghelp) is not there; the process then ends as before.
bool InstallCrashHandler(const std::wstring& strFolder);

// Logs every dump of strFolder that a crash left since the last start, then
// keeps only the newest CRASH_DUMPS_KEPT. Returns the number of new dumps.
int NoteCrashDumps(const std::wstring& strFolder);

inline constexpr int CRASH_DUMPS_KEPT = 5;
