#include "app/AppFolders.h"

#include <windows.h>
#include <shlobj.h>

namespace {
std::wstring OmbraFolderIn(int nCsidl) {
    wchar_t szPath[520] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, szPath, nCsidl, FALSE) || szPath[0] == L'\0') return std::wstring();
    return std::wstring(szPath) + L"\\Ombra\\";
}
}  // namespace

std::wstring GetAppDataFolder() { return OmbraFolderIn(CSIDL_APPDATA); }

std::wstring GetLogFolder() { return OmbraFolderIn(CSIDL_LOCAL_APPDATA); }

bool CreateFolderTree(const std::wstring& strPath) {
    int nResult = ::SHCreateDirectoryExW(nullptr, strPath.c_str(), nullptr);
    switch (nResult) {
        case ERROR_PATH_NOT_FOUND:
        case ERROR_FILE_EXISTS:
        case ERROR_BAD_PATHNAME:
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_CANCELLED:
            return false;
        default:
            return true;
    }
}
