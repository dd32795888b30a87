#include "app/CrashDump.h"

#include <windows.h>
#include <dbghelp.h>

#include <algorithm>
#include <cwchar>
#include <exception>
#include <vector>

#include "base/Log.h"

namespace {

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

// A dump is written under this name and loses the ".new" once a start has noted it.
constexpr wchar_t DUMP_PREFIX[] = L"ombra-crash-";
constexpr wchar_t DUMP_NEW_EXT[] = L".new.dmp";
constexpr wchar_t DUMP_EXT[] = L".dmp";
// An uncaught C++ exception ends in std::terminate, which raises this so that it
// is dumped like any other crash.
constexpr DWORD EXCEPTION_CPP_TERMINATE = 0xE0000001;

// Set up at start: the filter runs in a damaged process and allocates nothing.
MiniDumpWriteDumpFn g_pfnWriteDump = nullptr;
wchar_t g_szFolder[MAX_PATH] = {};
LONG g_nEntered = 0;

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pInfo) {
    // A fault inside this handler, or in a second thread meanwhile, just ends the process.
    if (::InterlockedExchange(&g_nEntered, 1) != 0) return EXCEPTION_EXECUTE_HANDLER;
    SYSTEMTIME st{};
    ::GetLocalTime(&st);
    wchar_t szPath[MAX_PATH + 64];
    _snwprintf(szPath, MAX_PATH + 63, L"%s%s%04u%02u%02u-%02u%02u%02u%s", g_szFolder, DUMP_PREFIX, st.wYear,
               st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, DUMP_NEW_EXT);
    szPath[MAX_PATH + 63] = L'\0';
    const EXCEPTION_RECORD* pRecord = pInfo ? pInfo->ExceptionRecord : nullptr;
    DWORD dwCode = pRecord ? pRecord->ExceptionCode : 0;
    const void* pAddress = pRecord ? pRecord->ExceptionAddress : nullptr;

    bool bWritten = false;
    HANDLE hFile = ::CreateFileW(szPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile != INVALID_HANDLE_VALUE) {
        MINIDUMP_EXCEPTION_INFORMATION mei{::GetCurrentThreadId(), pInfo, FALSE};
        // Stacks, modules and the memory they point at: enough for a call stack with
        // its data, small enough to mail.
        MINIDUMP_TYPE type = static_cast<MINIDUMP_TYPE>(MiniDumpNormal | MiniDumpWithIndirectlyReferencedMemory |
                                                        MiniDumpWithThreadInfo);
        bWritten = g_pfnWriteDump(::GetCurrentProcess(), ::GetCurrentProcessId(), hFile, type,
                                  pInfo ? &mei : nullptr, nullptr, nullptr) != FALSE;
        ::CloseHandle(hFile);
        if (!bWritten) ::DeleteFileW(szPath);
    }
    if (bWritten)
        LogLine(L"crash: exception 0x%08lx at %p in thread %lu, dump written: %s", dwCode, pAddress,
                ::GetCurrentThreadId(), szPath);
    else
        LogLine(L"crash: exception 0x%08lx at %p in thread %lu, no dump written (%lu)", dwCode, pAddress,
                ::GetCurrentThreadId(), ::GetLastError());
    return EXCEPTION_EXECUTE_HANDLER;
}

void OnTerminate() {
    ::RaiseException(EXCEPTION_CPP_TERMINATE, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    ::TerminateProcess(::GetCurrentProcess(), 3);
}

std::vector<std::wstring> FindDumps(const std::wstring& strFolder, const wchar_t* pszExt) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd{};
    HANDLE hFind = ::FindFirstFileW((strFolder + DUMP_PREFIX + L"*" + pszExt).c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
    } while (::FindNextFileW(hFind, &fd));
    ::FindClose(hFind);
    // The names carry the time: their order is the crashes' order.
    std::sort(names.begin(), names.end());
    return names;
}

std::wstring FileTimeText(const std::wstring& strPath) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    FILETIME ftLocal{};
    SYSTEMTIME st{};
    if (!::GetFileAttributesExW(strPath.c_str(), GetFileExInfoStandard, &data) ||
        !::FileTimeToLocalFileTime(&data.ftLastWriteTime, &ftLocal) || !::FileTimeToSystemTime(&ftLocal, &st))
        return L"an unknown time";
    wchar_t sz[32];
    _snwprintf(sz, 31, L"%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
               st.wSecond);
    sz[31] = L'\0';
    return sz;
}

}  // namespace

bool InstallCrashHandler(const std::wstring& strFolder) {
    if (strFolder.empty() || strFolder.size() >= MAX_PATH) return false;
    // From the system folder only: never a dbghelp.dll that lies beside the program.
    wchar_t szSystem[MAX_PATH] = {};
    UINT nLen = ::GetSystemDirectoryW(szSystem, MAX_PATH);
    if (nLen == 0 || nLen >= MAX_PATH - 16) return false;
    HMODULE hDbgHelp = ::LoadLibraryW((std::wstring(szSystem) + L"\\dbghelp.dll").c_str());
    if (!hDbgHelp) return false;
    g_pfnWriteDump = reinterpret_cast<MiniDumpWriteDumpFn>(
        reinterpret_cast<void*>(::GetProcAddress(hDbgHelp, "MiniDumpWriteDump")));
    if (!g_pfnWriteDump) return false;
    wcsncpy_s(g_szFolder, MAX_PATH, strFolder.c_str(), MAX_PATH - 1);
    ::SetUnhandledExceptionFilter(OnUnhandledException);
    std::set_terminate(OnTerminate);
    return true;
}

int NoteCrashDumps(const std::wstring& strFolder) {
    if (strFolder.empty()) return 0;
    std::vector<std::wstring> fresh = FindDumps(strFolder, DUMP_NEW_EXT);
    for (const std::wstring& strName : fresh) {
        std::wstring strNew = strFolder + strName;
        std::wstring strNoted = strFolder + strName.substr(0, strName.size() - std::wcslen(DUMP_NEW_EXT)) + DUMP_EXT;
        std::wstring strWhen = FileTimeText(strNew);
        // Should the name be taken or the move fail, it is noted again at the next start.
        const std::wstring& strPath =
            ::MoveFileExW(strNew.c_str(), strNoted.c_str(), 0) ? strNoted : strNew;
        LogLine(L"crash dump from %s found: %s", strWhen.c_str(), strPath.c_str());
    }
    std::vector<std::wstring> kept = FindDumps(strFolder, DUMP_EXT);
    // ".new.dmp" ends in ".dmp" as well: only noted dumps are given up.
    kept.erase(std::remove_if(kept.begin(), kept.end(),
                              [](const std::wstring& s) {
                                  return s.size() >= std::wcslen(DUMP_NEW_EXT) &&
                                         s.compare(s.size() - std::wcslen(DUMP_NEW_EXT), std::wstring::npos,
                                                   DUMP_NEW_EXT) == 0;
                              }),
               kept.end());
    for (size_t i = 0; i + CRASH_DUMPS_KEPT < kept.size(); ++i) ::DeleteFileW((strFolder + kept[i]).c_str());
    return static_cast<int>(fresh.size());
}
