// historyshots: shows the history window with a dozen recordings over three days
// (one row selected, one hovered on its delete spot, new and played ones, two with
// a silent side), writes its screen rectangle to a file once painted, and closes
// after a while.
// With "playing" the newest row is selected and plays a short tone, and the oldest
// day is folded. With "reselect" it plays the same way, then the day row and the root
// row are clicked and the playing row again. With "cannotplay" play is pressed on a
// row whose file is missing; the media window's box about it is answered. With
// "filter" a name is typed into the filter box, and the first row left is selected.
//   historyshots.exe RECTFILE [SECONDS] [playing|reselect|cannotplay|filter]
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "base/Com.h"
#include "base/Dpi.h"
#include "base/StringUtil.h"
#include "../../resources/ids_history.h"
#include "history/DlgRecHistory.h"
#include "history/RecordHistory.h"
#include "skype/ContactList.h"

namespace {

void WriteRect(const wchar_t* pszFile, HWND hWnd) {
    RECT rc{};
    ::GetWindowRect(hWnd, &rc);
    FILE* f = _wfopen(pszFile, L"w");
    if (!f) return;
    fprintf(f, "%ld %ld %ld %ld\n", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    fclose(f);
}

struct Sample {
    const wchar_t* pszName;
    long long nAgo;  // seconds before now
    int nType;
    bool bNew;
    int nDuration;
    const wchar_t* pszOneSided = L"";  // the side that was silent
};

const Sample SAMPLES[] = {
    {L"alice.walker", 35 * 60, 1, true, 754},
    {L"bob.m,carol_k", 2 * 3600 + 600, 2, true, 2710},
    {L"+441632960123", 4 * 3600, 2, false, 95},
    {L"dmitri.v", 6 * 3600 + 1200, 1, false, 1322, L"mic"},
    {L"emma-j", 9 * 3600, 1, true, 48},
    {L"alice.walker", 26 * 3600, 2, false, 3725},
    {L"frank.o", 29 * 3600, 1, false, 610, L"remote"},
    {L"", 31 * 3600, 2, false, 12},
    {L"gwen_s", 36 * 3600, 1, true, 1980},
    {L"hiro.t", 5 * 86400, 2, false, 420},
    {L"bob.m", 5 * 86400 + 3 * 3600, 1, false, 5400},
    {L"irene.l", 5 * 86400 + 7 * 3600, 2, false, 333},
};

HTREEITEM FindRow(CTreeCtrlBT& tree, HTREEITEM hParent, int nWanted, int& nSeen) {
    for (HTREEITEM h = tree.GetChildItem(hParent); h; h = tree.GetNextSiblingItem(h)) {
        HistoryItemData* pData = tree.GetItemData(h);
        if (pData && pData->m_nKind == ITEM_RECORD && nSeen++ == nWanted) return h;
        if (HTREEITEM hFound = FindRow(tree, h, nWanted, nSeen)) return hFound;
    }
    return nullptr;
}

HTREEITEM NthRecordRow(CTreeCtrlBT& tree, int n) {
    int nSeen = 0;
    return FindRow(tree, TVI_ROOT, n, nSeen);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 2) return 2;
    const wchar_t* pszRectFile = argv[1];
    DWORD dwMs = argc > 2 ? (DWORD)_wtoi(argv[2]) * 1000 : 6000;
    const std::wstring strMode = argc > 3 ? argv[3] : L"";
    const bool bReselect = strMode == L"reselect", bCannotPlay = strMode == L"cannotplay";
    const bool bFilter = strMode == L"filter";
    const bool bPlaying = strMode == L"playing" || bReselect;
    CComInit com;

    wchar_t szTemp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, szTemp);
    std::wstring strDir = std::wstring(szTemp) + L"ombra_historyshots";
    ::CreateDirectoryW(strDir.c_str(), nullptr);
    std::wstring strXml = strDir + L"\\record.xml";
    ::DeleteFileW(strXml.c_str());

    CContactList* pContacts = CContactList::GetInstance();
    pContacts->SetFullName(L"alice.walker", L"Alice Walker");
    pContacts->SetFullName(L"bob.m", L"Bob Martin");
    pContacts->SetFullName(L"dmitri.v", L"Dmitri Volkov");
    pContacts->SetFullName(L"gwen_s", L"Gwen Stacy-Lund");

    CRecordHistory* pHistory = CRecordHistory::GetInstance();
    pHistory->Open(strXml);
    const long long tNow = (long long)::_time64(nullptr);
    // The still shot selects an outgoing call, the playing one an incoming call.
    const int nSelected = bPlaying ? 0 : 1;
    for (const Sample& s : SAMPLES) {
        RecordEntry e;
        e.m_strName = s.pszName;
        e.m_strTime = FormatW(L"%ld", (long)(tNow - s.nAgo));
        e.m_nType = s.nType;
        e.m_bNew = s.bNew;
        e.m_nDuration = s.nDuration;
        e.m_strOneSided = s.pszOneSided;
        e.m_strFile = strDir + L"\\" + (e.m_strName.empty() ? L"unknown" : e.m_strName) + L".mp3";
        if (bPlaying && &s == &SAMPLES[nSelected]) {
            std::wstring strTone = L"Z:" OMBRA_TONE_FILE;
            for (wchar_t& c : strTone) c = (c == L'/') ? L'\\' : c;
            ::CopyFileW(strTone.c_str(), e.m_strFile.c_str(), FALSE);
        }
        pHistory->AddRecord(e);
    }

    CDlgRecHistory dlg;
    if (!dlg.Create(nullptr)) return 1;
    for (int i = 0, n = pHistory->GetCount(); i < n; ++i) {
        RecordEntry e;
        if (pHistory->GetRecord(i, e)) dlg.AddRecordItem(e);
    }
    dlg.RefreshCounts();
    // The shots' size at 96 DPI, scaled like the window's pictures.
    const UINT nArt = Dpi::ArtDpi(Dpi::ForWindow(dlg));
    dlg.SetWindowPos(HWND_TOP, 24, 24, Dpi::Scale(560, nArt), Dpi::Scale(420, nArt), SWP_SHOWWINDOW);
    ::SetForegroundWindow(dlg);

    CTreeCtrlBT& tree = dlg.GetTree();
    tree.SelectItem(NthRecordRow(tree, nSelected));
    tree.EnsureVisible(tree.GetRootItem());
    if (bFilter) {
        HWND hFilter = dlg.GetDlgItem(IDC_HISTORY_FILTER);
        ::SetFocus(hFilter);
        for (wchar_t c : std::wstring(L"Alice")) ::SendMessageW(hFilter, WM_CHAR, c, 0);
        tree.SelectItem(NthRecordRow(tree, 0));
    }

    auto ClickPlay = [&] {
        ::SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDC_HISTORY_PLAY, BN_CLICKED), (LPARAM)dlg.GetDlgItem(IDC_HISTORY_PLAY));
    };
    if (bPlaying) {
        HTREEITEM hLastDay = nullptr;
        for (HTREEITEM h = tree.GetChildItem(tree.GetRootItem()); h; h = tree.GetNextSiblingItem(h)) hLastDay = h;
        tree.Expand(hLastDay, TVE_COLLAPSE);
        ClickPlay();
    }
    if (bCannotPlay) {
        // The media window tells about the missing file in its own box: answer it (the
        // history window is a dialog too: it is left alone).
        static HWND s_hHistory = nullptr;
        static volatile bool s_bDone = false;
        s_hHistory = dlg;
        HANDLE hThread = ::CreateThread(
            nullptr, 0,
            [](void*) -> DWORD {
                while (!s_bDone) {
                    for (HWND hBox = ::FindWindowW(L"#32770", nullptr); hBox;
                         hBox = ::FindWindowExW(nullptr, hBox, L"#32770", nullptr)) {
                        DWORD dwPid = 0;
                        ::GetWindowThreadProcessId(hBox, &dwPid);
                        if (dwPid == ::GetCurrentProcessId() && hBox != s_hHistory) ::PostMessageW(hBox, WM_COMMAND, IDOK, 0);
                    }
                    ::Sleep(300);
                }
                return 0;
            },
            nullptr, 0, nullptr);
        ClickPlay();
        s_bDone = true;
        ::WaitForSingleObject(hThread, 2000);
        ::CloseHandle(hThread);
    }

    DWORD dwStart = ::GetTickCount();
    bool bHovered = false, bReselected = false, bWritten = false;
    MSG msg;
    while (::GetTickCount() - dwStart < dwMs) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!::IsDialogMessageW(dlg, &msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        if (bReselect && !bReselected && ::GetTickCount() - dwStart > 700) {
            // Away to the day row and the root row, and back to the row that plays.
            HTREEITEM hPlaying = tree.GetSelectedItem();
            tree.SelectItem(tree.GetParentItem(hPlaying));
            tree.SelectItem(tree.GetRootItem());
            tree.SelectItem(hPlaying);
            bReselected = true;
        }
        if (!bHovered && !bPlaying && !bFilter && ::GetTickCount() - dwStart > 500) {
            // Put the pointer on the delete spot of another row, as a user would.
            RECT rc = tree.GetRowRect(NthRecordRow(tree, 3));
            POINT pt = {rc.right - 12, (rc.top + rc.bottom) / 2};
            ::ClientToScreen(tree, &pt);
            ::SetCursorPos(pt.x, pt.y);
            bHovered = true;
        }
        if (!bWritten && ::GetTickCount() - dwStart > 1500) {
            WriteRect(pszRectFile, dlg);
            bWritten = true;
        }
        ::Sleep(10);
    }
    dlg.DestroyWindow();
    CRecordHistory::DestroyInstance();
    CContactList::DestroyInstance();
    return 0;
}
