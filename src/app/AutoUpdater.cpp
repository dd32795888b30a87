#include "app/AutoUpdater.h"

#include <cwchar>
#include <cwctype>
#include <memory>
#include <vector>

#include "app/WebPage.h"
#include "base/Notifier.h"
#include "base/StringUtil.h"

const wchar_t* const PRODUCT_SITE_URL = L"http://www.ombrarecorder.com/";
const wchar_t* const UPDATE_REFERENCE_VERSION = L"2.6.6";

namespace {
constexpr DWORD READ_BUFFER_SIZE = 4096;
constexpr DWORD CANONICAL_URL_CHARS = 1024;
// How long exit waits for the update thread; the rest of the exit needs its time too.
constexpr DWORD STOP_WAIT_MS = 1000;

// What the update thread owns: nothing in it belongs to the object that started it.
struct UpdateThreadArgs {
    std::wstring strSiteUrl;
    DWORD dwWaitMs = 0;
    HWND hOwner = nullptr;
    CHandle hStop;
};

BOOL CALLBACK CloseUpdateBox(HWND hWnd, LPARAM) {
    wchar_t szClass[16] = {};
    ::GetClassNameW(hWnd, szClass, 16);
    if (wcscmp(szClass, L"#32770") == 0) ::PostMessageW(hWnd, WM_COMMAND, IDOK, 0);
    return TRUE;
}

std::wstring TrimWhite(const std::wstring& str) {
    size_t nFirst = 0, nLast = str.size();
    while (nFirst < nLast && std::iswspace(str[nFirst])) ++nFirst;
    while (nLast > nFirst && std::iswspace(str[nLast - 1])) --nLast;
    return str.substr(nFirst, nLast - nFirst);
}
}  // namespace

CAutoUpdater::CAutoUpdater() : CAutoUpdater(PRODUCT_SITE_URL, UPDATE_WAIT_MS) {}

CAutoUpdater::CAutoUpdater(std::wstring strSiteUrl, DWORD dwWaitMs)
    : m_strSiteUrl(std::move(strSiteUrl)), m_dwWaitMs(dwWaitMs) {
    if (m_strSiteUrl.empty() || m_strSiteUrl.back() != L'/') m_strSiteUrl += L'/';
    m_hInternet = ::InternetOpenW(L"Update", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
}

CAutoUpdater::~CAutoUpdater() {
    StopThread();
    if (m_hInternet) ::InternetCloseHandle(m_hInternet);
}

std::wstring CAutoUpdater::GetDownloadPageUrl() const { return m_strSiteUrl + L"download.htm"; }

HINTERNET CAutoUpdater::OpenUrl(std::wstring& strUrl) {
    if (!m_hInternet) return nullptr;
    std::vector<wchar_t> buffer(CANONICAL_URL_CHARS, L'\0');
    DWORD dwLen = CANONICAL_URL_CHARS;
    if (::InternetCanonicalizeUrlW(strUrl.c_str(), buffer.data(), &dwLen, ICU_BROWSER_MODE))
        strUrl.assign(buffer.data(), dwLen);
    // Always fetch afresh: a cached ver.ini would hide a new release.
    const DWORD dwFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_RESYNCHRONIZE |
                          INTERNET_FLAG_HYPERLINK | INTERNET_FLAG_NEED_FILE;
    return ::InternetOpenUrlW(m_hInternet, strUrl.c_str(), nullptr, 0, dwFlags, 0);
}

int CAutoUpdater::CheckForUpdate() {
    DWORD dwFlags = 0;
    if (!m_hInternet || !::InternetGetConnectedState(&dwFlags, 0)) return UPD_OFFLINE;

    std::wstring strUrl = GetVersionFileUrl();
    HINTERNET hRequest = OpenUrl(strUrl);
    if (!hRequest) return UPD_OPENFAILED;

    // One read is enough for a version text; a longer reply is not a version file.
    std::vector<char> buffer(READ_BUFFER_SIZE, '\0');
    DWORD dwRead = 0;
    if (!::InternetReadFile(hRequest, buffer.data(), READ_BUFFER_SIZE, &dwRead)) dwRead = 0;
    ::InternetCloseHandle(hRequest);
    if (dwRead == 0) return UPD_BADREPLY;

    size_t nLen = 0;
    while (nLen < dwRead && buffer[nLen] != '\0') ++nLen;
    std::wstring strText = Utf8ToWide(std::string_view(buffer.data(), nLen));
    for (wchar_t& ch : strText) ch = static_cast<wchar_t>(std::towlower(ch));

    // An HTML page is a server's error page or a portal, never the version file.
    if (strText.find(L'<') != std::wstring::npos) return UPD_BADREPLY;
    // Editors and servers add line breaks; they do not make a version newer.
    strText = TrimWhite(strText);
    if (strText.empty()) return UPD_BADREPLY;
    return strText == UPDATE_REFERENCE_VERSION ? UPD_UPTODATE : UPD_NEWVERSION;
}

void CAutoUpdater::RunCheck(HWND hOwner, HANDLE hStop) {
    auto stopped = [hStop] { return hStop && ::WaitForSingleObject(hStop, 0) == WAIT_OBJECT_0; };
    if (hStop)
        ::WaitForSingleObject(hStop, m_dwWaitMs);
    else
        ::Sleep(m_dwWaitMs);
    if (stopped() || CheckForUpdate() != UPD_NEWVERSION || stopped()) return;
    NotifyMessageBox(hOwner, L"New version is available! Click 'OK' to update Now!",
                     L"Ombra Skype Recorder Update", MB_OK | MB_ICONINFORMATION);
    // A box closed because the program ends is no request to update.
    if (!stopped()) OpenWebPage(GetDownloadPageUrl());
}

bool CAutoUpdater::StartThread(HWND hOwner) {
    if (m_hThread.IsValid()) return true;
    m_hStop.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_hStop.IsValid()) return false;
    auto pArgs = std::make_unique<UpdateThreadArgs>();
    pArgs->strSiteUrl = m_strSiteUrl;
    pArgs->dwWaitMs = m_dwWaitMs;
    pArgs->hOwner = hOwner;
    HANDLE hStopCopy = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), m_hStop, ::GetCurrentProcess(), &hStopCopy, 0,
                           FALSE, DUPLICATE_SAME_ACCESS))
        return false;
    pArgs->hStop.Reset(hStopCopy);
    m_hThread.Reset(::CreateThread(nullptr, 0, ThreadProc, pArgs.get(), 0, &m_dwThreadId));
    if (!m_hThread.IsValid()) return false;
    pArgs.release();  // the thread's now
    return true;
}

DWORD WINAPI CAutoUpdater::ThreadProc(LPVOID pParam) {
    std::unique_ptr<UpdateThreadArgs> pArgs(static_cast<UpdateThreadArgs*>(pParam));
    CAutoUpdater checker(pArgs->strSiteUrl, pArgs->dwWaitMs);
    checker.RunCheck(pArgs->hOwner, pArgs->hStop);
    return 0;
}

void CAutoUpdater::StopThread() {
    if (!m_hThread.IsValid()) return;
    ::SetEvent(m_hStop);
    HANDLE hThread = m_hThread;
    DWORD dwStart = ::GetTickCount();
    for (;;) {
        // Served while waiting: the box enables and disables its owner window,
        // which may be one of this thread's.
        DWORD dw = ::MsgWaitForMultipleObjects(1, &hThread, FALSE, 20, QS_SENDMESSAGE);
        if (dw == WAIT_OBJECT_0 || dw == WAIT_FAILED) break;
        if (dw == WAIT_OBJECT_0 + 1) {
            MSG msg;
            ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        ::EnumThreadWindows(m_dwThreadId, CloseUpdateBox, 0);
        if (::GetTickCount() - dwStart >= STOP_WAIT_MS) break;
    }
    m_hThread.Close();
    m_hStop.Close();
    m_dwThreadId = 0;
}
