#pragma once
// Whole-file reads and flushed writes with the system's reason on failure.
#include <windows.h>

#include <string>

// The whole file, if it holds at most nMaxBytes; ERROR_SUCCESS or the system's
// reason it could not be read (ERROR_FILE_TOO_LARGE beyond the limit).
DWORD ReadWholeFile(const std::wstring& strPath, std::string& data, LONGLONG nMaxBytes = 0x40000000);

// Writes the bytes to a new file and makes sure they are on the disk before returning.
DWORD WriteWholeFile(const std::wstring& strPath, const std::string& data);
