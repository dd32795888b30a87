#include <gtest/gtest.h>

#include <thread>

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
