#pragma once
// Asks the product web site once per run whether a newer version exists.
#include <windows.h>
#include <wininet.h>

#include <string>

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
    // user (owned by hOwner) and open the download page.
    void RunCheck(HWND hOwner);

    std::wstring GetVersionFileUrl() const { return m_strSiteUrl + L"ver.ini"; }
    std::wstring GetDownloadPageUrl() const;

private:
    HINTERNET m_hInternet = nullptr;
    std::wstring m_strSiteUrl;
    DWORD m_dwWaitMs = UPDATE_WAIT_MS;
};
