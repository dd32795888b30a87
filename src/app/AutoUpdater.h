#pragma once
// Asks the product web site once per run whether a newer version exists.
#include <windows.h>
#include <wininet.h>

#include <string>

#include "base/Handle.h"

// Results of CAutoUpdater::CheckForUpdate.
enum {
    UPD_UPTODATE = 0,    // the served text equals the reference version
    UPD_OFFLINE = 1,     // no internet handle, or no connection
    UPD_OPENFAILED = 2,  // the address could not be opened
    UPD_BADREPLY = 3,    // nothing read, empty text, or an HTML page
    UPD_NEWVERSION = 8,  // the served text differs from the reference version
};

// The product web site; every page of the program lives on it.
extern const wchar_t* const PRODUCT_SITE_URL;  // ends with "/"
// The version the site announces as current when nothing newer exists.
extern const wchar_t* const UPDATE_REFERENCE_VERSION;
// The check waits this long after start-up, so it never slows the start.
constexpr DWORD UPDATE_WAIT_MS = 360000;

class CAutoUpdater {
public:
    CAutoUpdater();
    // A checker for another site (root address ending with "/") and another wait.
    CAutoUpdater(std::wstring strSiteUrl, DWORD dwWaitMs);
    virtual ~CAutoUpdater();
    CAutoUpdater(const CAutoUpdater&) = delete;
    CAutoUpdater& operator=(const CAutoUpdater&) = delete;

    // Blocking: downloads "ver.ini" from the site root and compares it. One of UPD_*.
    int CheckForUpdate();
    // Canonicalises strUrl in place and opens it; null on failure. The caller closes it.
    HINTERNET OpenUrl(std::wstring& strUrl);

    // The update thread's work: wait, check once, and on a new version tell the
    // user (owned by hOwner) and open the download page. A signalled hStop ends
    // the wait, and after it nothing more is shown or opened.
    void RunCheck(HWND hOwner, HANDLE hStop = nullptr);

    // Starts the update thread. It works on a checker and copies of its own, so
    // it never touches this object or the owner window's object.
    bool StartThread(HWND hOwner);
    // Wakes the update thread, closes its box and waits a short while for it to
    // end; a thread still in a network call is left to end with the process.
    // The destructor calls it.
    void StopThread();

    std::wstring GetVersionFileUrl() const { return m_strSiteUrl + L"ver.ini"; }
    std::wstring GetDownloadPageUrl() const;

private:
    static DWORD WINAPI ThreadProc(LPVOID pParam);

    HINTERNET m_hInternet = nullptr;
    std::wstring m_strSiteUrl;
    DWORD m_dwWaitMs = UPDATE_WAIT_MS;
    CHandle m_hThread;
    DWORD m_dwThreadId = 0;
    CHandle m_hStop;
};
