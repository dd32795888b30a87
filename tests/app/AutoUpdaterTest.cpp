// The update check against a real HTTP server: updater.sh serves folders of
// ver.ini files on 127.0.0.1 and passes the address in OMBRA_TEST_SITE.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/AutoUpdater.h"
#include "app/WebPage.h"
#include "base/Notifier.h"
#include "base/StringUtil.h"

namespace {

std::wstring TestSite() {
    const char* psz = std::getenv("OMBRA_TEST_SITE");
    return psz ? Utf8ToWide(psz) : std::wstring();
}

#define REQUIRE_SITE()                                                          \
    if (TestSite().empty()) GTEST_SKIP() << "runs from updater.sh with a local server"

int CheckFolder(const wchar_t* pszFolder) {
    CAutoUpdater updater(TestSite() + pszFolder + L"/", 0);
    return updater.CheckForUpdate();
}

struct CapturedUi {
    std::vector<std::wstring> boxes;  // caption + "|" + text
    std::vector<std::wstring> pages;
    NotifierFn prevNotifier;
    WebPageOpenerFn prevOpener;
    CapturedUi() {
        prevNotifier = SetNotifier([this](HWND, const std::wstring& text,
                                          const std::wstring& caption, UINT type) {
            EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), type);
            boxes.push_back(caption + L"|" + text);
            return IDOK;
        });
        prevOpener = SetWebPageOpener([this](const std::wstring& url) { pages.push_back(url); });
    }
    ~CapturedUi() {
        SetNotifier(prevNotifier);
        SetWebPageOpener(prevOpener);
    }
};

}  // namespace

TEST(AutoUpdater, ExactReferenceVersionIsUpToDate) {
    REQUIRE_SITE();
    EXPECT_EQ(UPD_UPTODATE, CheckFolder(L"same"));
}

TEST(AutoUpdater, ReferenceVersionWithLineBreaksOrBlanksIsUpToDate) {
    REQUIRE_SITE();
    EXPECT_EQ(UPD_UPTODATE, CheckFolder(L"newline"));
    EXPECT_EQ(UPD_UPTODATE, CheckFolder(L"crlf"));
    EXPECT_EQ(UPD_UPTODATE, CheckFolder(L"blanks"));
}

TEST(AutoUpdater, UpperCaseTextIsComparedInLowerCase) {
    REQUIRE_SITE();
    EXPECT_EQ(UPD_NEWVERSION, CheckFolder(L"beta"));  // "2.6.6-BETA" -> "2.6.6-beta"
}

TEST(AutoUpdater, AnyOtherVersionIsNew) {
    REQUIRE_SITE();
    EXPECT_EQ(UPD_NEWVERSION, CheckFolder(L"newer"));
    EXPECT_EQ(UPD_NEWVERSION, CheckFolder(L"older"));
}

TEST(AutoUpdater, HtmlPagesAndMissingFilesAreBadReplies) {
    REQUIRE_SITE();
    EXPECT_EQ(UPD_BADREPLY, CheckFolder(L"html"));
    EXPECT_EQ(UPD_BADREPLY, CheckFolder(L"missing"));  // the server's 404 page is HTML
}

TEST(AutoUpdater, EmptyOrBlankFileIsBadReply) {
    REQUIRE_SITE();
    EXPECT_EQ(UPD_BADREPLY, CheckFolder(L"empty"));
    EXPECT_EQ(UPD_BADREPLY, CheckFolder(L"blank"));
}

TEST(AutoUpdater, LongFileIsReadOnceAndCountsAsNew) {
    REQUIRE_SITE();
    EXPECT_EQ(UPD_NEWVERSION, CheckFolder(L"long"));      // 10000 bytes of version-ish text
    EXPECT_EQ(UPD_BADREPLY, CheckFolder(L"longhtml"));    // "<" within the first 4096 bytes
    EXPECT_EQ(UPD_NEWVERSION, CheckFolder(L"latehtml"));  // "<" only after byte 4096
}

TEST(AutoUpdater, NoServerIsOpenFailure) {
    // Port 1 on the loopback interface: nothing listens there.
    CAutoUpdater updater(L"http://127.0.0.1:1/", 0);
    EXPECT_EQ(UPD_OPENFAILED, updater.CheckForUpdate());
}

TEST(AutoUpdater, OpenUrlCanonicalisesTheAddressInPlace) {
    CAutoUpdater updater(L"http://127.0.0.1:1/", 0);
    std::wstring strUrl = L"http://127.0.0.1:1/a b/../ver.ini";
    HINTERNET h = updater.OpenUrl(strUrl);
    if (h) ::InternetCloseHandle(h);
    EXPECT_EQ(nullptr, h);
    EXPECT_EQ(L"http://127.0.0.1:1/ver.ini", strUrl);
}

TEST(AutoUpdater, SiteAddressGetsItsTrailingSlash) {
    CAutoUpdater updater(L"http://127.0.0.1:1", 0);
    EXPECT_EQ(L"http://127.0.0.1:1/ver.ini", updater.GetVersionFileUrl());
    EXPECT_EQ(L"http://127.0.0.1:1/download.htm", updater.GetDownloadPageUrl());
}

TEST(AutoUpdater, ProgramUsesTheProductSiteAndSixMinutes) {
    CAutoUpdater updater;
    EXPECT_EQ(std::wstring(PRODUCT_SITE_URL) + L"ver.ini", updater.GetVersionFileUrl());
    EXPECT_EQ(GetDownloadPageUrl(), updater.GetDownloadPageUrl());
    EXPECT_EQ(360000u, UPDATE_WAIT_MS);
}

TEST(AutoUpdater, NewVersionTellsTheUserAndOpensTheDownloadPage) {
    REQUIRE_SITE();
    CapturedUi ui;
    CAutoUpdater updater(TestSite() + L"newer/", 0);
    updater.RunCheck(nullptr);
    ASSERT_EQ(1u, ui.boxes.size());
    EXPECT_EQ(L"Ombra Skype Recorder Update|New version is available! Click 'OK' to update Now!",
              ui.boxes[0]);
    ASSERT_EQ(1u, ui.pages.size());
    EXPECT_EQ(TestSite() + L"newer/download.htm", ui.pages[0]);
}

TEST(AutoUpdater, EveryOtherResultIsSilent) {
    REQUIRE_SITE();
    CapturedUi ui;
    for (const wchar_t* pszFolder : {L"same", L"newline", L"html", L"empty"}) {
        CAutoUpdater updater(TestSite() + pszFolder + L"/", 0);
        updater.RunCheck(nullptr);
    }
    CAutoUpdater offline(L"http://127.0.0.1:1/", 0);
    offline.RunCheck(nullptr);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(ui.pages.empty());
}

TEST(AutoUpdater, StopWakesTheWaitingThreadAndClosesItsBoxWithoutOpeningThePage) {
    REQUIRE_SITE();
    std::vector<std::wstring> pages;
    WebPageOpenerFn prevOpener = SetWebPageOpener([&](const std::wstring& url) { pages.push_back(url); });
    DWORD dwStart = ::GetTickCount();
    {
        CAutoUpdater waiting(TestSite() + L"newer/", UPDATE_WAIT_MS);
        ASSERT_TRUE(waiting.StartThread(nullptr));
    }
    DWORD dwWaitingMs = ::GetTickCount() - dwStart;
    CAutoUpdater boxed(TestSite() + L"newer/", 0);
    ASSERT_TRUE(boxed.StartThread(nullptr));
    HWND hBox = nullptr;  // the real box: the notifier is not replaced here
    for (int i = 0; i < 500 && !hBox; ++i, ::Sleep(20))
        hBox = ::FindWindowW(L"#32770", L"Ombra Skype Recorder Update");
    ASSERT_TRUE(hBox);
    dwStart = ::GetTickCount();
    boxed.StopThread();
    DWORD dwBoxedMs = ::GetTickCount() - dwStart;
    SetWebPageOpener(prevOpener);
    printf("stopped while waiting in %lu ms, with the box up in %lu ms\n", dwWaitingMs, dwBoxedMs);
    EXPECT_LT(dwWaitingMs, 500u);
    EXPECT_LT(dwBoxedMs, 1000u);
    EXPECT_FALSE(::IsWindow(hBox));
    EXPECT_TRUE(pages.empty());
}

TEST(AutoUpdater, CheckWaitsBeforeAsking) {
    CapturedUi ui;
    CAutoUpdater updater(L"http://127.0.0.1:1/", 300);
    DWORD dwStart = ::GetTickCount();
    updater.RunCheck(nullptr);
    EXPECT_GE(::GetTickCount() - dwStart, 250u);
}
