// The options dialog as a real dialog under Wine, driven by the messages a
// user's clicks produce; the registry and the Run entry are read back with the
// Win32 calls directly.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../../resources/ids_options.h"
#include "base/Notifier.h"
#include "base/StringUtil.h"
#include "settings/DlgOptions.h"

namespace {

const wchar_t OMBRA_KEY[] = L"software\\Ombra";
const wchar_t CONFIG_KEY[] = L"software\\Ombra\\config";
const wchar_t RUN_KEY[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::optional<std::vector<BYTE>> QueryRaw(const wchar_t* pszKey, const wchar_t* pszName, DWORD* pdwType = nullptr) {
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, pszKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return std::nullopt;
    DWORD cb = 0, dwType = 0;
    std::vector<BYTE> data;
    LSTATUS st = ::RegQueryValueExW(hKey, pszName, nullptr, &dwType, nullptr, &cb);
    if (st == ERROR_SUCCESS) {
        data.resize(cb);
        st = ::RegQueryValueExW(hKey, pszName, nullptr, &dwType, data.data(), &cb);
        data.resize(cb);
    }
    ::RegCloseKey(hKey);
    if (st != ERROR_SUCCESS) return std::nullopt;
    if (pdwType) *pdwType = dwType;
    return data;
}

std::optional<std::wstring> QueryString(const wchar_t* pszKey, const wchar_t* pszName) {
    auto v = QueryRaw(pszKey, pszName);
    if (!v) return std::nullopt;
    std::wstring s(reinterpret_cast<const wchar_t*>(v->data()), v->size() / 2);
    return s.substr(0, s.find(L'\0'));
}

int QueryNumber(const wchar_t* pszName) {
    auto v = QueryRaw(CONFIG_KEY, pszName);
    if (!v || v->empty()) return -1000;
    if (v->size() == 1) return (*v)[0];
    DWORD d = 0;
    memcpy(&d, v->data(), v->size() < 4 ? v->size() : 4);
    return (int)d;
}

void SetRaw(const wchar_t* pszKey, const wchar_t* pszName, DWORD dwType, const void* p, DWORD cb) {
    HKEY hKey = nullptr;
    ::RegCreateKeyExW(HKEY_CURRENT_USER, pszKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr);
    ::RegSetValueExW(hKey, pszName, 0, dwType, static_cast<const BYTE*>(p), cb);
    ::RegCloseKey(hKey);
}
void SetByte(const wchar_t* pszName, BYTE n) { SetRaw(CONFIG_KEY, pszName, REG_BINARY, &n, 1); }
void SetDword(const wchar_t* pszName, DWORD n) { SetRaw(CONFIG_KEY, pszName, REG_DWORD, &n, 4); }
void SetString(const wchar_t* pszKey, const wchar_t* pszName, const std::wstring& s) {
    SetRaw(pszKey, pszName, REG_SZ, s.c_str(), (DWORD)((s.size() + 1) * 2));
}

void DeleteRunEntry() {
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, RUN_KEY, 0, KEY_ALL_ACCESS, &hKey) == ERROR_SUCCESS) {
        ::RegDeleteValueW(hKey, L"Ombra");
        ::RegCloseKey(hKey);
    }
}

std::wstring ExePathQuoted() {
    wchar_t sz[520] = {};
    ::GetModuleFileNameW(nullptr, sz, 520);
    return L"\"" + std::wstring(sz) + L"\"";
}

bool Checked(HWND hPage, UINT nId) { return ::IsDlgButtonChecked(hPage, (int)nId) == BST_CHECKED; }
void Click(HWND hPage, UINT nId) { ::SendMessageW(::GetDlgItem(hPage, (int)nId), BM_CLICK, 0, 0); }

// The user clicks a tab: the control changes its selection and notifies the dialog.
void ClickTab(CDlgOptions& dlg, int nTab) {
    ::SendMessageW(dlg.m_tab, TCM_SETCURSEL, nTab, 0);
    NMHDR hdr{dlg.m_tab.m_hWnd, IDC_OPT_TAB, (UINT)TCN_SELCHANGE};
    ::SendMessageW(dlg, WM_NOTIFY, IDC_OPT_TAB, (LPARAM)&hdr);
}

class OptionsDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, OMBRA_KEY);
        DeleteRunEntry();
        CGeneralProfile::DestroyInstance();
        m_pProfile = CGeneralProfile::GetInstance();
        m_pProfile->Load();  // as the main window does at start-up: the defaults are stored
        // Nothing in this dialog may show a message box.
        m_prevNotifier = SetNotifier([this](HWND, const std::wstring& s, const std::wstring&, UINT) {
            m_boxes.push_back(s);
            return IDOK;
        });
    }
    void TearDown() override {
        SetNotifier(m_prevNotifier);
        EXPECT_TRUE(m_boxes.empty());
        CGeneralProfile::DestroyInstance();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, OMBRA_KEY);
        DeleteRunEntry();
    }

    CGeneralProfile* m_pProfile = nullptr;
    NotifierFn m_prevNotifier;
    std::vector<std::wstring> m_boxes;
};

// Top-level dialogs of this thread other than the given one (the folder browser).
HWND FindOtherDialog(DWORD dwThread, HWND hExcept) {
    struct Ctx {
        HWND hExcept, hFound;
    } ctx{hExcept, nullptr};
    ::EnumThreadWindows(
        dwThread,
        [](HWND h, LPARAM lp) -> BOOL {
            Ctx* c = reinterpret_cast<Ctx*>(lp);
            wchar_t szClass[32] = {};
            ::GetClassNameW(h, szClass, 32);
            if (h != c->hExcept && ::IsWindowVisible(h) && std::wstring(szClass) == L"#32770") {
                c->hFound = h;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    return ctx.hFound;
}

bool HasChildText(HWND hWnd, const std::wstring& strText) {
    struct Ctx {
        const std::wstring* p;
        bool bFound;
    } ctx{&strText, false};
    ::EnumChildWindows(
        hWnd,
        [](HWND h, LPARAM lp) -> BOOL {
            Ctx* c = reinterpret_cast<Ctx*>(lp);
            wchar_t sz[256] = {};
            ::GetWindowTextW(h, sz, 256);
            if (*c->p == sz) c->bFound = true;
            return !c->bFound;
        },
        reinterpret_cast<LPARAM>(&ctx));
    return ctx.bFound;
}

// The text of the selected row of the folder browser's tree.
std::wstring SelectedTreeText(HWND hBrowse) {
    HWND hTree = nullptr;
    ::EnumChildWindows(
        hBrowse,
        [](HWND h, LPARAM lp) -> BOOL {
            wchar_t szClass[32] = {};
            ::GetClassNameW(h, szClass, 32);
            if (std::wstring(szClass) != WC_TREEVIEWW) return TRUE;
            *reinterpret_cast<HWND*>(lp) = h;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&hTree));
    if (!hTree) return std::wstring();
    wchar_t sz[260] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = (HTREEITEM)::SendMessageW(hTree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    item.pszText = sz;
    item.cchTextMax = 259;
    if (!item.hItem || !::SendMessageW(hTree, TVM_GETITEMW, 0, (LPARAM)&item)) return std::wstring();
    return sz;
}

}  // namespace

TEST_F(OptionsDialog, OpensWithTheStoredValuesOnItsFourPages) {
    SetByte(L"autostart", 1);
    SetByte(L"notifycov", 0);
    SetByte(L"notifyfinish", 1);
    SetByte(L"notifyhistory", 0);
    SetByte(L"rectype", 1);
    SetDword(L"recside", 2);
    SetString(CONFIG_KEY, L"sfolder", L"C:\\Aufnahmen\\Zo\u00eb");
    SetDword(L"amode", 2);
    SetDword(L"abitrate", 9);  // out of range: no bit-rate radio is selected
    SetDword(L"asample", 3);
    SetDword(L"rulemode", 2);
    SetRaw(CONFIG_KEY, L"rulelist", REG_MULTI_SZ, L"bob\0carol\0", 22);  // without the closing NUL
    SetDword(L"keepmode", 1);
    SetDword(L"keepdays", 14);
    // Clicked earlier and never applied: opening the dialog brings back the stored values.
    m_pProfile->m_nRecordType = 0;
    m_pProfile->m_bAutoStart = false;

    CDlgOptions dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    EXPECT_EQ(dlg.GetWindowText(), L"Options");
    EXPECT_EQ(GetDlgItemText(dlg, IDOK), L"Apply");
    EXPECT_EQ(GetDlgItemText(dlg, IDCANCEL), L"Cancel");
    EXPECT_EQ(m_pProfile->m_nRecordType, 1);
    EXPECT_TRUE(m_pProfile->m_bAutoStart);

    ASSERT_EQ(dlg.m_tab.GetItemCount(), 4);
    EXPECT_EQ(dlg.m_tab.GetItemText(0), L"General");
    EXPECT_EQ(dlg.m_tab.GetItemText(1), L"Call Recording");
    EXPECT_EQ(dlg.m_tab.GetItemText(2), L"MP3 Quality");
    EXPECT_EQ(dlg.m_tab.GetItemText(3), L"Rules");
    EXPECT_NE(dlg.m_tab.GetStyle() & TCS_OWNERDRAWFIXED, 0u);

    HWND hGeneral = dlg.m_dlgGeneral, hRecording = dlg.m_dlgRecording, hAdvance = dlg.m_dlgAdvance;
    EXPECT_TRUE(Checked(hGeneral, IDC_OPT_AUTOSTART));
    EXPECT_FALSE(Checked(hGeneral, IDC_OPT_NOTIFY_CONVERSATION));
    EXPECT_TRUE(Checked(hGeneral, IDC_OPT_NOTIFY_FINISH));
    EXPECT_FALSE(Checked(hGeneral, IDC_OPT_NOTIFY_HISTORY));
    EXPECT_TRUE(Checked(hRecording, IDC_OPT_REC_AUTO));
    EXPECT_FALSE(Checked(hRecording, IDC_OPT_REC_MANUAL));
    EXPECT_EQ(dlg.m_dlgRecording.m_nRecordType, 0);  // the variable is the reverse of "rectype"
    EXPECT_TRUE(Checked(hRecording, IDC_OPT_SIDE_REMOTE));
    EXPECT_FALSE(Checked(hRecording, IDC_OPT_SIDE_BOTH));
    EXPECT_EQ(GetDlgItemText(hRecording, IDC_OPT_FOLDER), L"C:\\Aufnahmen\\Zo\u00eb");
    EXPECT_NE(::GetWindowLongPtrW(::GetDlgItem(hRecording, IDC_OPT_FOLDER), GWL_STYLE) & ES_READONLY, 0);
    EXPECT_TRUE(Checked(hAdvance, IDC_OPT_MODE_JOINT));
    for (UINT nId = IDC_OPT_BITRATE_32; nId <= IDC_OPT_BITRATE_256; ++nId) EXPECT_FALSE(Checked(hAdvance, nId));
    EXPECT_TRUE(Checked(hAdvance, IDC_OPT_SAMPLE_48000));
    HWND hRules = dlg.m_dlgRules;
    EXPECT_EQ(::SendDlgItemMessageW(hRules, IDC_OPT_RULE_MODE, CB_GETCURSEL, 0, 0), 2);
    ASSERT_EQ(::SendDlgItemMessageW(hRules, IDC_OPT_RULE_LIST, LB_GETCOUNT, 0, 0), 2);
    wchar_t szItem[64] = {};
    ::SendDlgItemMessageW(hRules, IDC_OPT_RULE_LIST, LB_GETTEXT, 1, (LPARAM)szItem);
    EXPECT_STREQ(szItem, L"carol");
    EXPECT_EQ(::SendDlgItemMessageW(hRules, IDC_OPT_KEEP_MODE, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(GetDlgItemText(hRules, IDC_OPT_KEEP_VALUE), L"14");
    EXPECT_EQ(GetDlgItemText(hRules, IDC_OPT_KEEP_UNIT), L"days");
    EXPECT_FALSE(Checked(hRules, IDC_OPT_HOTKEYS));
    EXPECT_EQ(m_boxes.size(), 0u);
}

TEST_F(OptionsDialog, RulesPageAddsFriendsAndTypedNamesRefusesBlanksAndAppliesTheRule) {
    CDlgOptions dlg;
    dlg.m_dlgRules.SetFriends({L"bob", L"carol"});
    ASSERT_TRUE(dlg.Create(nullptr));
    ClickTab(dlg, OPTIONS_PAGE_RULES);
    HWND hRules = dlg.m_dlgRules;
    // Everyone is recorded by default: the list has nothing to say yet.
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(hRules, IDC_OPT_RULE_LIST)));
    ::SendDlgItemMessageW(hRules, IDC_OPT_RULE_MODE, CB_SETCURSEL, 1, 0);
    ::SendMessageW(hRules, WM_COMMAND, MAKEWPARAM(IDC_OPT_RULE_MODE, CBN_SELCHANGE),
                   (LPARAM)::GetDlgItem(hRules, IDC_OPT_RULE_MODE));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(hRules, IDC_OPT_RULE_LIST)));
    EXPECT_EQ(::SendDlgItemMessageW(hRules, IDC_OPT_RULE_CONTACT, CB_GETCOUNT, 0, 0), 2);
    ::SendDlgItemMessageW(hRules, IDC_OPT_RULE_CONTACT, CB_SETCURSEL, 1, 0);  // carol
    Click(hRules, IDC_OPT_RULE_ADD);
    ::SetDlgItemTextW(hRules, IDC_OPT_RULE_CONTACT, L"  dave.smith ");
    Click(hRules, IDC_OPT_RULE_ADD);
    ::SetDlgItemTextW(hRules, IDC_OPT_RULE_CONTACT, L"CAROL");  // listed already
    Click(hRules, IDC_OPT_RULE_ADD);
    ::SetDlgItemTextW(hRules, IDC_OPT_RULE_CONTACT, L"two words");
    Click(hRules, IDC_OPT_RULE_ADD);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_NE(m_boxes[0].find(L"'two words' is not a Skype name"), std::wstring::npos);
    m_boxes.clear();
    EXPECT_EQ(GetDlgItemText(hRules, IDC_OPT_RULE_CONTACT), L"two words");  // kept for correcting
    EXPECT_EQ(m_pProfile->m_ruleList, (std::vector<std::wstring>{L"carol", L"dave.smith"}));
    ::SendDlgItemMessageW(hRules, IDC_OPT_RULE_LIST, LB_SETCURSEL, 0, 0);
    Click(hRules, IDC_OPT_RULE_REMOVE);
    // A retention value out of range is not taken; the field shows what is in force again.
    ::SendDlgItemMessageW(hRules, IDC_OPT_KEEP_MODE, CB_SETCURSEL, 2, 0);
    ::SendMessageW(hRules, WM_COMMAND, MAKEWPARAM(IDC_OPT_KEEP_MODE, CBN_SELCHANGE),
                   (LPARAM)::GetDlgItem(hRules, IDC_OPT_KEEP_MODE));
    ::SetDlgItemTextW(hRules, IDC_OPT_KEEP_VALUE, L"0");
    ::SendMessageW(hRules, WM_COMMAND, MAKEWPARAM(IDC_OPT_KEEP_VALUE, EN_KILLFOCUS),
                   (LPARAM)::GetDlgItem(hRules, IDC_OPT_KEEP_VALUE));
    EXPECT_EQ(GetDlgItemText(hRules, IDC_OPT_KEEP_VALUE), L"10");
    ::SetDlgItemTextW(hRules, IDC_OPT_KEEP_VALUE, L"25");
    Click(hRules, IDC_OPT_HOTKEYS);
    Click(dlg, IDOK);

    CGeneralProfile stored;
    stored.Load();
    EXPECT_EQ(stored.m_nRuleMode, 1);
    EXPECT_EQ(stored.m_ruleList, std::vector<std::wstring>{L"dave.smith"});
    EXPECT_EQ(stored.m_nKeepMode, 2);
    EXPECT_EQ(stored.m_nKeepGigabytes, 25);
    EXPECT_TRUE(stored.m_bHotKeys);
}

TEST_F(OptionsDialog, TabsShowOnlyTheirOwnPage) {
    CDlgOptions dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    EXPECT_TRUE(dlg.m_dlgGeneral.IsWindowVisible() || !dlg.IsWindowVisible());
    EXPECT_NE(dlg.m_dlgGeneral.GetStyle() & WS_VISIBLE, 0u);
    EXPECT_EQ(dlg.m_dlgRecording.GetStyle() & WS_VISIBLE, 0u);
    EXPECT_EQ(dlg.m_dlgAdvance.GetStyle() & WS_VISIBLE, 0u);
    struct {
        int nTab;
        bool bGeneral, bRecording, bAdvance;
    } steps[] = {{2, false, false, true}, {1, false, true, false}, {0, true, false, false}};
    for (const auto& s : steps) {
        ClickTab(dlg, s.nTab);
        EXPECT_EQ((dlg.m_dlgGeneral.GetStyle() & WS_VISIBLE) != 0, s.bGeneral) << s.nTab;
        EXPECT_EQ((dlg.m_dlgRecording.GetStyle() & WS_VISIBLE) != 0, s.bRecording) << s.nTab;
        EXPECT_EQ((dlg.m_dlgAdvance.GetStyle() & WS_VISIBLE) != 0, s.bAdvance) << s.nTab;
    }
    // The pages are children of the options dialog, lying inside the tab control.
    EXPECT_EQ(dlg.m_dlgAdvance.GetParent(), dlg.m_hWnd);
    RECT rcTab = dlg.m_tab.GetRectInParent(), rcPage = dlg.m_dlgAdvance.GetRectInParent();
    EXPECT_GE(rcPage.left, rcTab.left);
    EXPECT_GT(rcPage.top, rcTab.top);
    EXPECT_LE(rcPage.right, rcTab.right);
    EXPECT_LE(rcPage.bottom, rcTab.bottom);
    // Pages leave their background to the tab control's drawing.
    HDC hDC = ::GetDC(dlg.m_dlgAdvance);
    EXPECT_EQ(::SendMessageW(dlg.m_dlgAdvance, WM_ERASEBKGND, (WPARAM)hDC, 0), 1);
    ::ReleaseDC(dlg.m_dlgAdvance, hDC);
}

TEST_F(OptionsDialog, EveryClickChangesTheProfileAtOnce) {
    CDlgOptions dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    HWND hGeneral = dlg.m_dlgGeneral, hRecording = dlg.m_dlgRecording, hAdvance = dlg.m_dlgAdvance;

    // Defaults: autostart off, the three notifications on.
    Click(hGeneral, IDC_OPT_AUTOSTART);
    EXPECT_TRUE(m_pProfile->m_bAutoStart);
    Click(hGeneral, IDC_OPT_NOTIFY_CONVERSATION);
    EXPECT_FALSE(m_pProfile->m_bNotifyConversation);
    Click(hGeneral, IDC_OPT_NOTIFY_FINISH);
    EXPECT_FALSE(m_pProfile->m_bNotifyFinish);
    Click(hGeneral, IDC_OPT_NOTIFY_HISTORY);
    EXPECT_FALSE(m_pProfile->m_bNotifyHistory);
    Click(hGeneral, IDC_OPT_NOTIFY_HISTORY);
    EXPECT_TRUE(m_pProfile->m_bNotifyHistory);

    ClickTab(dlg, 1);
    Click(hRecording, IDC_OPT_REC_AUTO);
    EXPECT_EQ(m_pProfile->m_nRecordType, 1);
    EXPECT_EQ(dlg.m_dlgRecording.m_nRecordType, 0);
    Click(hRecording, IDC_OPT_REC_MANUAL);
    EXPECT_EQ(m_pProfile->m_nRecordType, 0);
    EXPECT_EQ(dlg.m_dlgRecording.m_nRecordType, 1);
    EXPECT_FALSE(Checked(hRecording, IDC_OPT_REC_AUTO));
    const std::pair<UINT, int> sides[] = {{IDC_OPT_SIDE_REMOTE, 2}, {IDC_OPT_SIDE_MINE, 1}, {IDC_OPT_SIDE_BOTH, 0}};
    for (auto [nId, nSide] : sides) {
        Click(hRecording, nId);
        EXPECT_EQ(m_pProfile->m_nRecordSide, nSide);
    }

    ClickTab(dlg, 2);
    const std::pair<UINT, int*> groups[] = {{IDC_OPT_MODE_MONO, &m_pProfile->m_nAudioMode},
                                            {IDC_OPT_BITRATE_32, &m_pProfile->m_nAudioBitrate},
                                            {IDC_OPT_SAMPLE_16000, &m_pProfile->m_nAudioSample}};
    const int counts[] = {3, 6, 4};
    for (int g = 0; g < 3; ++g)
        for (int i = counts[g] - 1; i >= 0; --i) {
            Click(hAdvance, groups[g].first + i);
            EXPECT_EQ(*groups[g].second, i) << "radio " << groups[g].first + i;
        }
    // The other groups stayed as clicked last: mono, 32 kbit/s, 16000 Hz.
    EXPECT_EQ(m_pProfile->m_nAudioMode, 0);
    EXPECT_EQ(m_pProfile->m_nAudioBitrate, 0);
    EXPECT_TRUE(Checked(hAdvance, IDC_OPT_MODE_MONO));

    // Nothing was written yet: the registry still has the defaults.
    EXPECT_EQ(QueryNumber(L"rectype"), 0);
    EXPECT_EQ(QueryNumber(L"autostart"), 0);
    EXPECT_EQ(QueryNumber(L"amode"), 1);
}

TEST_F(OptionsDialog, ApplyStoresTheProfileAndTheRunEntry) {
    {
        CDlgOptions dlg;
        ASSERT_TRUE(dlg.Create(nullptr));
        Click(dlg.m_dlgGeneral, IDC_OPT_AUTOSTART);
        Click(dlg.m_dlgRecording, IDC_OPT_REC_AUTO);
        Click(dlg.m_dlgRecording, IDC_OPT_SIDE_MINE);
        Click(dlg.m_dlgAdvance, IDC_OPT_BITRATE_256);
        Click(dlg.m_dlgAdvance, IDC_OPT_MODE_JOINT);
        Click(dlg, IDOK);
    }
    DWORD dwType = 0;
    auto autostart = QueryRaw(CONFIG_KEY, L"autostart", &dwType);
    ASSERT_TRUE(autostart);
    EXPECT_EQ(dwType, (DWORD)REG_BINARY);
    EXPECT_EQ(autostart->size(), 1u);
    EXPECT_EQ(QueryNumber(L"autostart"), 1);
    EXPECT_EQ(QueryNumber(L"rectype"), 1);
    EXPECT_EQ(QueryNumber(L"recside"), 1);
    EXPECT_EQ(QueryNumber(L"abitrate"), 5);
    EXPECT_EQ(QueryNumber(L"amode"), 2);
    EXPECT_EQ(QueryString(RUN_KEY, L"Ombra"), ExePathQuoted());

    // Apply again with autostart off: the Run entry goes.
    {
        CDlgOptions dlg;
        ASSERT_TRUE(dlg.Create(nullptr));
        EXPECT_TRUE(Checked(dlg.m_dlgGeneral, IDC_OPT_AUTOSTART));
        Click(dlg.m_dlgGeneral, IDC_OPT_AUTOSTART);
        Click(dlg, IDOK);
    }
    EXPECT_EQ(QueryNumber(L"autostart"), 0);
    EXPECT_FALSE(QueryString(RUN_KEY, L"Ombra"));
}

TEST_F(OptionsDialog, ApplyKeepsAnExistingRunEntryUntouched) {
    SetString(RUN_KEY, L"Ombra", L"\"D:\\elsewhere\\ombra.exe\"");
    {
        CDlgOptions dlg;
        ASSERT_TRUE(dlg.Create(nullptr));
        Click(dlg.m_dlgGeneral, IDC_OPT_AUTOSTART);
        Click(dlg, IDOK);
    }
    EXPECT_EQ(QueryString(RUN_KEY, L"Ombra"), std::wstring(L"\"D:\\elsewhere\\ombra.exe\""));
}

// Cancel cancels: the clicked values leave memory again, nothing reaches the
// registry (not even at exit, when the main window saves the profile) and
// the Run entry stays as it was.
TEST_F(OptionsDialog, CancelBringsBackTheStoredProfile) {
    {
        CDlgOptions dlg;
        ASSERT_TRUE(dlg.Create(nullptr));
        Click(dlg.m_dlgGeneral, IDC_OPT_AUTOSTART);
        Click(dlg.m_dlgRecording, IDC_OPT_REC_AUTO);
        Click(dlg.m_dlgAdvance, IDC_OPT_SAMPLE_48000);
        EXPECT_TRUE(m_pProfile->m_bAutoStart);
        EXPECT_EQ(m_pProfile->m_nRecordType, 1);
        Click(dlg, IDCANCEL);
    }
    EXPECT_FALSE(m_pProfile->m_bAutoStart);
    EXPECT_EQ(m_pProfile->m_nRecordType, 0);
    EXPECT_EQ(m_pProfile->m_nAudioSample, 1);
    EXPECT_FALSE(QueryString(RUN_KEY, L"Ombra"));
    // The save at exit writes what is stored, not what was clicked.
    m_pProfile->m_bModified = true;
    m_pProfile->Save();
    EXPECT_EQ(QueryNumber(L"autostart"), 0);
    EXPECT_EQ(QueryNumber(L"rectype"), 0);
    EXPECT_EQ(QueryNumber(L"asample"), 1);
}

// The real modal loop: another thread plays the user.
TEST_F(OptionsDialog, ModalRunEndsWithEscapeAsCancel) {
    std::atomic<bool> bClicked{false};
    DWORD dwThread = ::GetCurrentThreadId();
    std::thread user([&] {
        for (int i = 0; i < 500; ++i) {
            HWND hDlg = FindOtherDialog(dwThread, nullptr);
            if (hDlg) {
                ::Sleep(50);
                // "Manually record calls" is on by default; switch to automatic, then Escape.
                HWND hPage = nullptr;
                ::EnumChildWindows(
                    hDlg,
                    [](HWND h, LPARAM lp) -> BOOL {
                        if (::GetDlgItem(h, IDC_OPT_REC_AUTO)) {
                            *reinterpret_cast<HWND*>(lp) = h;
                            return FALSE;
                        }
                        return TRUE;
                    },
                    reinterpret_cast<LPARAM>(&hPage));
                if (hPage) ::SendMessageW(::GetDlgItem(hPage, IDC_OPT_REC_AUTO), BM_CLICK, 0, 0);
                bClicked = hPage != nullptr;
                ::PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                return;
            }
            ::Sleep(10);
        }
    });
    CDlgOptions dlg;
    INT_PTR nResult = dlg.DoModal();
    user.join();
    EXPECT_EQ(nResult, IDCANCEL);
    EXPECT_TRUE(bClicked);
    EXPECT_EQ(m_pProfile->m_nRecordType, 0);
}

TEST_F(OptionsDialog, BrowseSetsTheFolderAndCancelledBrowseKeepsIt) {
    wchar_t szTemp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, szTemp);
    std::wstring strPicked = std::wstring(szTemp) + L"Ombra Aufnahmen \u00e9t\u00e9";
    ::CreateDirectoryW(strPicked.c_str(), nullptr);

    CDlgOptions dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    ClickTab(dlg, 1);
    std::wstring strBefore = m_pProfile->m_strFolder;
    DWORD dwThread = ::GetCurrentThreadId();
    HWND hOptions = dlg;
    for (bool bPick : {false, true}) {
        std::atomic<bool> bTitled{false}, bFound{false};
        std::thread user([&] {
            for (int i = 0; i < 500; ++i) {
                HWND hBrowse = FindOtherDialog(dwThread, hOptions);
                if (hBrowse) {
                    bFound = true;
                    ::Sleep(100);
                    bTitled = HasChildText(hBrowse, L"Select recording folder");
                    // The browser fills its tree after showing: select until the selection holds.
                    for (int n = 0; bPick && n < 50; ++n) {
                        ::SendMessageW(hBrowse, BFFM_SETSELECTIONW, TRUE, (LPARAM)strPicked.c_str());
                        ::Sleep(30);
                        if (SelectedTreeText(hBrowse) == L"Ombra Aufnahmen \u00e9t\u00e9") break;
                    }
                    ::PostMessageW(hBrowse, WM_COMMAND, MAKEWPARAM(bPick ? IDOK : IDCANCEL, BN_CLICKED), 0);
                    return;
                }
                ::Sleep(10);
            }
        });
        Click(dlg.m_dlgRecording, IDC_OPT_FOLDER_BROWSE);
        user.join();
        ASSERT_TRUE(bFound);
        EXPECT_TRUE(bTitled);
        if (!bPick) {
            EXPECT_EQ(m_pProfile->m_strFolder, strBefore);
            EXPECT_EQ(GetDlgItemText(dlg.m_dlgRecording, IDC_OPT_FOLDER), strBefore);
        }
    }
    // The path comes back as the shell names it; compare case-insensitively.
    EXPECT_EQ(::lstrcmpiW(m_pProfile->m_strFolder.c_str(), strPicked.c_str()), 0) << WideToUtf8(m_pProfile->m_strFolder);
    EXPECT_EQ(GetDlgItemText(dlg.m_dlgRecording, IDC_OPT_FOLDER), m_pProfile->m_strFolder);
    ::RemoveDirectoryW(strPicked.c_str());
}

TEST_F(OptionsDialog, OpeningAMissingFolderShowsNothing) {
    m_pProfile->m_strFolder = L"C:\\no\\such\\folder\\here";
    SetString(CONFIG_KEY, L"sfolder", m_pProfile->m_strFolder);
    CDlgOptions dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    Click(dlg.m_dlgRecording, IDC_OPT_FOLDER_OPEN);
    EXPECT_EQ(FindOtherDialog(::GetCurrentThreadId(), dlg), nullptr);
    EXPECT_EQ(m_pProfile->m_strFolder, L"C:\\no\\such\\folder\\here");
}
