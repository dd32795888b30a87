#pragma once
// The program's web pages and the one way they are opened.
#include <functional>
#include <string>

// Pages on the product web site and the donation page of the payment service.
std::wstring GetIssuePageUrl();
std::wstring GetHelpPageUrl();
std::wstring GetDownloadPageUrl();
std::wstring GetDonationPageUrl();

// Opens a page in the user's browser (ShellExecuteW "open", SW_SHOWNA). A missing
// browser is not reported.
void OpenWebPage(const std::wstring& strUrl);

// Replaces the page opener for the whole process (tests record the pages instead of
// starting a browser); an empty function restores ShellExecuteW. Returns the previous one.
using WebPageOpenerFn = std::function<void(const std::wstring& strUrl)>;
WebPageOpenerFn SetWebPageOpener(WebPageOpenerFn fn);
