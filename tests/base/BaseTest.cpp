#include <gtest/gtest.h>

#include <thread>

#include "base/File.h"
#include "base/Log.h"
#include "base/Notifier.h"
#include "base/StringUtil.h"

TEST(StringUtil, Utf8RoundTripKeepsAccentsCjkAndEmoji) {
    std::wstring wide = L"Zo\u00eb \u5f20\u4f1f \U0001F600";
    std::string utf8 = WideToUtf8(wide);
    EXPECT_EQ(utf8, "Zo\xc3\xab \xe5\xbc\xa0\xe4\xbc\x9f \xf0\x9f\x98\x80");
    EXPECT_EQ(Utf8ToWide(utf8), wide);
}

TEST(StringUtil, FormatGrowsPastItsFirstBuffer) {
    std::wstring big(1000, L'x');
    EXPECT_EQ(FormatW(L"%ls-%d", big.c_str(), 7), big + L"-7");
}

TEST(Notifier, ReplacedNotifierAnswersInsteadOfABox) {
    std::wstring seen;
    NotifierFn previous = SetNotifier([&](HWND, const std::wstring& text, const std::wstring&, UINT) {
        seen = text;
        return IDNO;
    });
    EXPECT_EQ(NotifyMessageBox(nullptr, L"Delete?", L"Ombra Skype Recorder", MB_YESNO), IDNO);
    EXPECT_EQ(seen, L"Delete?");
    SetNotifier(previous);
}

// A real message box: another thread finds it by its caption and presses OK.
TEST(Notifier, RealBoxIsShownAndDismissed) {
    const wchar_t* caption = L"Ombra Skype Recorder test box";
    std::thread closer([&] {
        for (int i = 0; i < 500; ++i) {
            HWND hBox = ::FindWindowW(L"#32770", caption);
            if (hBox) {
                ::PostMessageW(hBox, WM_COMMAND, IDOK, 0);
                return;
            }
            ::Sleep(20);
        }
    });
    int answer = NotifyMessageBox(nullptr, L"Press OK", caption, MB_OK);
    closer.join();
    EXPECT_EQ(answer, IDOK);
}

// Two threads write 2.6 MB of lines: the log moves on at the limit, keeps three
// files under it, and every line is whole.
TEST(Log, RotatesAtTheLimitKeepingThreeFilesOfWholeLines) {
    wchar_t szTemp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, szTemp);
    std::wstring strFolder = std::wstring(szTemp) + L"ombra-log-test-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ::CreateDirectoryW(strFolder.c_str(), nullptr);
    ASSERT_TRUE(LogOpen(strFolder));
    std::wstring strFill(600, L'\u00e9');
    auto writer = [&](int nThread) {
        for (int i = 0; i < 1100; ++i) LogLine(L"thread %d line %d %s", nThread, i, strFill.c_str());
    };
    std::thread other(writer, 2);
    writer(1);
    other.join();
    LogClose();
    LogLine(L"dropped: the log is closed");

    for (int nAge = 0; nAge < LOG_FILES + 1; ++nAge) {
        std::string data;
        DWORD dwRead = ReadWholeFile(LogFilePath(strFolder, nAge), data);
        ::DeleteFileW(LogFilePath(strFolder, nAge).c_str());
        if (nAge == LOG_FILES) {
            EXPECT_NE(dwRead, static_cast<DWORD>(ERROR_SUCCESS)) << "a fourth file";
            break;
        }
        ASSERT_EQ(dwRead, static_cast<DWORD>(ERROR_SUCCESS)) << nAge;
        EXPECT_LE(data.size(), LOG_MAX_BYTES);
        EXPECT_GT(data.size(), LOG_MAX_BYTES / 2) << nAge;
        size_t nLines = 0;
        for (size_t nStart = 0; nStart < data.size(); ++nLines) {
            size_t nEnd = data.find("\r\n", nStart);
            ASSERT_NE(nEnd, std::string::npos);
            std::wstring strLine = Utf8ToWide(data.substr(nStart, nEnd - nStart));
            ASSERT_EQ(strLine.size(), 600 + strLine.find(L" \u00e9") + 1) << "cut or mixed line";
            EXPECT_EQ(strLine.find(L"dropped"), std::wstring::npos);
            nStart = nEnd + 2;
        }
        EXPECT_GT(nLines, 0u);
    }
    ::RemoveDirectoryW(strFolder.c_str());
    // A folder that cannot be written costs the lines, nothing else.
    EXPECT_FALSE(LogOpen(strFolder + L"missing\\"));
    LogLine(L"nowhere to go");
    LogClose();
}
