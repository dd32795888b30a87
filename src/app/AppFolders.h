#pragma once
// The program's folders.
#include <string>

// Application data folder + "\Ombra\" (with the backslash), home of record.xml;
// empty when the shell gives no application data folder.
std::wstring GetAppDataFolder();
// Local application data folder + "\Ombra\" (with the backslash), home of the log
// and the crash dumps; empty when the shell gives no such folder.
std::wstring GetLogFolder();
// Creates the folder and every missing parent. False when the shell reports the path
// as not found, existing, bad, too long, or the creation was cancelled.
bool CreateFolderTree(const std::wstring& strPath);
