// The main window's tables and parsers, and the folders it creates, on the real
// shell of the Wine prefix.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "app/AppFolders.h"
#include "app/HelloWorldDlg.h"
#include "app/HotKeys.h"
#include "app/WebPage.h"
#include "base/Notifier.h"
#include "base/StringUtil.h"
#include "skype/SkypeStatus.h"

TEST(MainWindow, UserStatusIcons) {
    EXPECT_EQ(1, UserStatusIconIndex(USER_STATUS_LOGGEDOUT));
    EXPECT_EQ(1, UserStatusIconIndex(USER_STATUS_OFFLINE));
    EXPECT_EQ(1, UserStatusIconIndex(USER_STATUS_INVISIBLE));
    EXPECT_EQ(2, UserStatusIconIndex(USER_STATUS_ONLINE));
    EXPECT_EQ(3, UserStatusIconIndex(USER_STATUS_AWAY));
    EXPECT_EQ(4, UserStatusIconIndex(USER_STATUS_NA));
    EXPECT_EQ(4, UserStatusIconIndex(USER_STATUS_DND));
    EXPECT_EQ(5, UserStatusIconIndex(USER_STATUS_SKYPEME));
    EXPECT_EQ(0, UserStatusIconIndex(USER_STATUS_UNKNOWN));
    EXPECT_EQ(0, UserStatusIconIndex(USER_STATUS_SKYPEOUT));
    EXPECT_EQ(0, UserStatusIconIndex(-1));
    EXPECT_EQ(0, UserStatusIconIndex(42));
}

TEST(MainWindow, SavedPositionNeedsFourNonNegativeNumbers) {
    RECT rc{};
    ASSERT_TRUE(ParseWindowPosition(L"10,20,330,270", rc));
    EXPECT_EQ(10, rc.left);
    EXPECT_EQ(20, rc.top);
    EXPECT_EQ(330, rc.right);
    EXPECT_EQ(270, rc.bottom);
    EXPECT_TRUE(ParseWindowPosition(L"1,2,3,4,5", rc));  // extra pieces are ignored
    EXPECT_EQ(4, rc.bottom);
    EXPECT_TRUE(ParseWindowPosition(L"x,2,3,4", rc));  // no digits count as 0
    EXPECT_EQ(0, rc.left);
    RECT rcKept{7, 7, 7, 7};
    for (const wchar_t* psz : {L"", L"10,20,330", L"-5,20,330,270", L"10,20,330,-1", L"10"}) {
        RECT rcTry = rcKept;
        EXPECT_FALSE(ParseWindowPosition(psz, rcTry)) << psz;
        EXPECT_EQ(7, rcTry.left) << psz;
    }
}

TEST(MainWindow, RefusedMessageNamesTheIssuePage) {
    EXPECT_EQ(L"Your skype refused me to access it.\nPlease visit the page (" + GetIssuePageUrl() +
                  L") to resolve the issue!",
              GetRefusedMessage());
}

TEST(MainWindow, WebPagesLiveOnTheProductSite) {
    std::wstring strSite = PRODUCT_SITE_URL;
    EXPECT_EQ(strSite + L"issue.htm", GetIssuePageUrl());
    EXPECT_EQ(strSite + L"help.htm", GetHelpPageUrl());
    EXPECT_EQ(strSite + L"download.htm", GetDownloadPageUrl());
    std::wstring strDonate = GetDonationPageUrl();
    EXPECT_EQ(0u, strDonate.find(L"https://"));
    for (const wchar_t* pszPart : {L"/cgi-bin/webscr?cmd=_donations", L"&lc=C2",
                                   L"&item_name=Ombra%20Skype%20recorder%20donation", L"&amount=1%2e00",
                                   L"&currency_code=USD&currency_code=USD",
                                   L"&bn=PP%2dDonationsBF%3abtn_donateCC_LG%2egif%3aNonHosted"})
        EXPECT_NE(std::wstring::npos, strDonate.find(pszPart)) << pszPart;
}

TEST(AppFolders, DataFolderIsApplicationDataPlusOmbra) {
    wchar_t szAppData[520] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, szAppData, CSIDL_APPDATA, FALSE));
    EXPECT_EQ(std::wstring(szAppData) + L"\\Ombra\\", GetAppDataFolder());
}

TEST(AppFolders, FolderTreeIsCreatedWithItsParents) {
    wchar_t szTemp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szTemp);
    std::wstring strRoot = std::wstring(szTemp) + FormatW(L"ombra-tree-%lu", ::GetCurrentProcessId());
    std::wstring strDeep = strRoot + L"\\a\\b\\c";
    EXPECT_TRUE(CreateFolderTree(strDeep));
    DWORD dwAttr = ::GetFileAttributesW(strDeep.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, dwAttr);
    EXPECT_TRUE(dwAttr & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(CreateFolderTree(strDeep));  // already there
    EXPECT_FALSE(CreateFolderTree(L"relative\\path"));  // not a full path
    ::RemoveDirectoryW(strDeep.c_str());
    ::RemoveDirectoryW((strRoot + L"\\a\\b").c_str());
    ::RemoveDirectoryW((strRoot + L"\\a").c_str());
    ::RemoveDirectoryW(strRoot.c_str());
}

TEST(HotKeys, AKeyAnotherProgramHoldsIsNamedAndTheOtherStillWorks) {
    HWND hOther = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    HWND hMine = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(::RegisterHotKey(hOther, 7, MOD_CONTROL | MOD_ALT, 'R'));
    std::vector<std::wstring> boxes;
    NotifierFn fnOld = SetNotifier([&](HWND, const std::wstring& strText, const std::wstring&, UINT) {
        boxes.push_back(strText);
        return IDOK;
    });
    {
        CHotKeys keys;
        EXPECT_EQ(keys.Apply(hMine, true), 1);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0].find(L"Ctrl+Alt+R is already taken by another program"), std::wstring::npos);
        // Ctrl+Alt+P is held: nobody else can have it until the keys are turned off.
        EXPECT_FALSE(::RegisterHotKey(hOther, 8, MOD_CONTROL | MOD_ALT, 'P'));
        EXPECT_EQ(keys.Apply(hMine, false), 0);
        EXPECT_TRUE(::RegisterHotKey(hOther, 8, MOD_CONTROL | MOD_ALT, 'P'));
    }
    SetNotifier(fnOld);
    ::UnregisterHotKey(hOther, 7);
    ::UnregisterHotKey(hOther, 8);
    ::DestroyWindow(hOther);
    ::DestroyWindow(hMine);
}
