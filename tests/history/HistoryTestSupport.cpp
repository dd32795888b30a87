#include "HistoryTestSupport.h"

#include <shellapi.h>

#include <mutex>

#include "base/StringUtil.h"

namespace {

std::mutex s_mutex;
std::wstring s_strCaptured;
int s_nCaptures = 0;

constexpr DWORD PRINT_EXCEPTION_ANSI = 0x40010006;  // DBG_PRINTEXCEPTION_C
constexpr DWORD PRINT_EXCEPTION_WIDE = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C

}  // namespace

LONG CALLBACK CTraceCapture::Handler(EXCEPTION_POINTERS* pInfo) {
    const EXCEPTION_RECORD* pRec = pInfo->ExceptionRecord;
    if (pRec->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    std::lock_guard<std::mutex> guard(s_mutex);
    if (pRec->ExceptionCode == PRINT_EXCEPTION_WIDE) {
        const wchar_t* psz = reinterpret_cast<const wchar_t*>(pRec->ExceptionInformation[1]);
        size_t n = static_cast<size_t>(pRec->ExceptionInformation[0]);
        if (psz && n) s_strCaptured.append(psz, n - 1);
        // The ANSI form of the same line follows when nobody handles the wide one.
        s_nCaptures = -1;
    } else if (pRec->ExceptionCode == PRINT_EXCEPTION_ANSI) {
        const char* psz = reinterpret_cast<const char*>(pRec->ExceptionInformation[1]);
        size_t n = static_cast<size_t>(pRec->ExceptionInformation[0]);
        if (s_nCaptures == -1) {
            s_nCaptures = 0;
        } else if (psz && n) {
            int nWide = ::MultiByteToWideChar(CP_ACP, 0, psz, static_cast<int>(n - 1), nullptr, 0);
            std::wstring w(static_cast<size_t>(nWide), L'\0');
            ::MultiByteToWideChar(CP_ACP, 0, psz, static_cast<int>(n - 1), w.data(), nWide);
            s_strCaptured += w;
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

CTraceCapture::CTraceCapture() {
    Clear();
    m_pHandler = ::AddVectoredExceptionHandler(1, Handler);
}

CTraceCapture::~CTraceCapture() {
    if (m_pHandler) ::RemoveVectoredExceptionHandler(m_pHandler);
}

std::wstring CTraceCapture::Text() const {
    std::lock_guard<std::mutex> guard(s_mutex);
    return s_strCaptured;
}

void CTraceCapture::Clear() {
    std::lock_guard<std::mutex> guard(s_mutex);
    s_strCaptured.clear();
    s_nCaptures = 0;
}

CScratchFolder::CScratchFolder(const std::wstring& strLeaf) {
    wchar_t szTemp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, szTemp);
    static int s_nSerial = 0;
    m_strRoot = FormatW(L"%lsombra-history-%lu-%d", szTemp, ::GetCurrentProcessId(), ++s_nSerial);
    ::CreateDirectoryW(m_strRoot.c_str(), nullptr);
    m_strPath = m_strRoot;
    if (!strLeaf.empty()) {
        m_strPath += L"\\" + strLeaf;
        ::CreateDirectoryW(m_strPath.c_str(), nullptr);
    }
}

CScratchFolder::~CScratchFolder() {
    std::wstring strFrom = m_strRoot + L'\0';  // double NUL ends the list
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = strFrom.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    ::SHFileOperationW(&op);
}

std::vector<std::wstring> CScratchFolder::List() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((m_strPath + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring n = fd.cFileName;
        if (n != L"." && n != L"..") names.push_back(n);
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    return names;
}

bool ReadBytes(const std::wstring& strPath, std::string& data) {
    HANDLE h = ::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    data.clear();
    char buf[65536];
    DWORD n = 0;
    while (::ReadFile(h, buf, sizeof(buf), &n, nullptr) && n > 0) data.append(buf, n);
    ::CloseHandle(h);
    return true;
}

bool WriteBytes(const std::wstring& strPath, const std::string& data) {
    HANDLE h = ::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    bool bOk = ::WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &n, nullptr) &&
               n == data.size();
    ::CloseHandle(h);
    return bOk;
}

bool FileExists(const std::wstring& strPath) {
    return ::GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}
