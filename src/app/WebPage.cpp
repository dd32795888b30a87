#include "app/WebPage.h"

#include <windows.h>
#include <shellapi.h>

#include <mutex>

#include "app/AutoUpdater.h"

namespace {
std::mutex g_openerLock;
WebPageOpenerFn g_opener;

std::wstring SitePage(const wchar_t* pszPath) {
    std::wstring strUrl = PRODUCT_SITE_URL;  // ends with "/"
    return strUrl + pszPath;
}
}  // namespace

std::wstring GetIssuePageUrl() { return SitePage(L"issue.htm"); }
std::wstring GetHelpPageUrl() { return SitePage(L"help.htm"); }
std::wstring GetDownloadPageUrl() { return SitePage(L"download.htm"); }

std::wstring GetDonationPageUrl() {
    return L"https://www.paypal.com/cgi-bin/webscr?cmd=_donations"
           L"&business=donate%40ombrarecorder%2ecom&lc=C2"
           L"&item_name=Ombra%20Skype%20recorder%20donation&amount=1%2e00"
           L"&currency_code=USD&currency_code=USD"
           L"&bn=PP%2dDonationsBF%3abtn_donateCC_LG%2egif%3aNonHosted";
}

void OpenWebPage(const std::wstring& strUrl) {
    WebPageOpenerFn fn;
    {
        std::lock_guard<std::mutex> lock(g_openerLock);
        fn = g_opener;
    }
    if (fn) {
        fn(strUrl);
        return;
    }
    ::ShellExecuteW(nullptr, L"open", strUrl.c_str(), nullptr, nullptr, SW_SHOWNA);
}

WebPageOpenerFn SetWebPageOpener(WebPageOpenerFn fn) {
    std::lock_guard<std::mutex> lock(g_openerLock);
    WebPageOpenerFn prev = std::move(g_opener);
    g_opener = std::move(fn);
    return prev;
}
