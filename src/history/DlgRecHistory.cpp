#include "history/DlgRecHistory.h"

#include <shellapi.h>
#include <shlobj.h>
#include <wctype.h>

#include <unordered_set>
#include <vector>

#include "../../resources/ids_history.h"
#include "base/Dpi.h"
#include "base/Notifier.h"
#include "base/StringUtil.h"
#include "history/HistoryFilter.h"
#include "history/RecordHistory.h"
#include "skype/ContactList.h"

namespace {

const wchar_t HISTORY_CAPTION[] = L"Ombra Skype Recorder";
const COLORREF HISTORY_WHITE = RGB(255, 255, 255);

bool LaunchProcess(const std::wstring& strCommandLine) {
    // CreateProcessW may write into the command line: give it a copy of its own.
    std::vector<wchar_t> cmd(strCommandLine.begin(), strCommandLine.end());
    cmd.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return true;
}

bool ShowInFileManager(const std::wstring& strFile) {
    PIDLIST_ABSOLUTE pidl = nullptr;
    if (SUCCEEDED(::SHParseDisplayName(strFile.c_str(), nullptr, &pidl, 0, nullptr)) && pidl) {
        // A full item list with no children: the shell opens its folder and selects it.
        HRESULT hr = ::SHOpenFolderAndSelectItems(pidl, 0, nullptr, 0);
        ::CoTaskMemFree(pidl);
        if (SUCCEEDED(hr)) return true;
    }
    return LaunchProcess(CDlgRecHistory::BuildSelectCommandLine(strFile));
}

CDlgRecHistory::OpenFolderFn& FolderOpener() {
    static CDlgRecHistory::OpenFolderFn s_fn = &ShowInFileManager;
    return s_fn;
}

bool HasWildcardOrBreak(const std::wstring& strPath) {
    return strPath.find_first_of(std::wstring(L"*?\"\0", 4)) != std::wstring::npos;
}

}  // namespace

CDlgRecHistory::CDlgRecHistory() : CDialog(IDD_HISTORY) {}

CDlgRecHistory::~CDlgRecHistory() { DestroyWindow(); }

CDlgRecHistory::OpenFolderFn CDlgRecHistory::SetFolderOpener(OpenFolderFn fn) {
    OpenFolderFn fnOld = FolderOpener();
    FolderOpener() = fn ? std::move(fn) : OpenFolderFn(&ShowInFileManager);
    return fnOld;
}

std::wstring CDlgRecHistory::BuildSelectCommandLine(const std::wstring& strFile) {
    // The Windows folder's own file manager, not whatever the search path finds first;
    // the path quoted, as a comma in it would end the /select argument.
    wchar_t szWindows[MAX_PATH] = {};
    UINT nLen = ::GetWindowsDirectoryW(szWindows, MAX_PATH);
    std::wstring strWindows = (nLen > 0 && nLen < MAX_PATH) ? szWindows : L"C:\\Windows";
    if (strWindows.back() != L'\\') strWindows += L'\\';
    return L"\"" + strWindows + L"explorer.exe\" /select, \"" + strFile + L"\"";
}

bool CDlgRecHistory::IsOnePlainFile(const std::wstring& strPath) {
    // Only a full path: a relative one would be taken from the current folder.
    const bool bDrive = strPath.size() > 3 && iswalpha(strPath[0]) && strPath[1] == L':' && strPath[2] == L'\\';
    const bool bShare = strPath.size() > 2 && strPath[0] == L'\\' && strPath[1] == L'\\';
    if ((!bDrive && !bShare) || HasWildcardOrBreak(strPath)) return false;
    DWORD dwAttr = ::GetFileAttributesW(strPath.c_str());
    return dwAttr != INVALID_FILE_ATTRIBUTES && !(dwAttr & FILE_ATTRIBUTE_DIRECTORY);
}

int CDlgRecHistory::MoveFileToRecycleBin(const std::wstring& strPath, HWND hOwner) {
    // The shell takes a list ended by two NULs; the path may be of any length.
    std::wstring strFrom = strPath;
    strFrom.push_back(L'\0');
    SHFILEOPSTRUCTW op = {};
    op.hwnd = hOwner;
    op.wFunc = FO_DELETE;
    op.pFrom = strFrom.c_str();
    op.pTo = nullptr;
    // The user has said yes to the Recycle Bin, not to losing the file for good: where
    // the bin cannot take it the shell asks first (FOF_WANTNUKEWARNING).
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING | FOF_ALLOWUNDO | FOF_NOERRORUI;
    int nResult = ::SHFileOperationW(&op);
    if (nResult == 0 && op.fAnyOperationsAborted) nResult = ERROR_CANCELLED;
    return nResult;
}

namespace {
// The window runs in the main window's dialog loop, which hands only its own keys
// to the dialog manager; this hook, called from that loop, hands the history's.
HHOOK g_hDialogKeysHook = nullptr;
HWND g_hDialogKeysWnd = nullptr;

LRESULT CALLBACK DialogKeysHook(int nCode, WPARAM wParam, LPARAM lParam) {
    static bool s_bInside = false;  // IsDialogMessage calls this hook again
    MSG* pMsg = reinterpret_cast<MSG*>(lParam);
    if (nCode == MSGF_DIALOGBOX && !s_bInside && pMsg && g_hDialogKeysWnd && pMsg->message >= WM_KEYFIRST &&
        pMsg->message <= WM_KEYLAST && (pMsg->hwnd == g_hDialogKeysWnd || ::IsChild(g_hDialogKeysWnd, pMsg->hwnd))) {
        s_bInside = true;
        BOOL bDone = ::IsDialogMessageW(g_hDialogKeysWnd, pMsg);
        s_bInside = false;
        if (bDone) return 1;
    }
    return ::CallNextHookEx(g_hDialogKeysHook, nCode, wParam, lParam);
}
}  // namespace

BOOL CDlgRecHistory::OnInitDialog() {
    if (!g_hDialogKeysHook) {
        g_hDialogKeysHook = ::SetWindowsHookExW(WH_MSGFILTER, DialogKeysHook, nullptr, ::GetCurrentThreadId());
        g_hDialogKeysWnd = m_hWnd;
    }
    ModifyStyle(WS_CAPTION, WS_MINIMIZEBOX, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);

    m_bmpTitle.Load(IDB_HISTORY_TITLE, Dpi::ForWindow(m_hWnd));
    LOGFONTW lf = CFont::GetLogFont(GetFont());
    wcscpy_s(lf.lfFaceName, L"Arial");
    lf.lfHeight = -Px(13);
    m_fontTitle = CFont(lf);

    m_btnClose.SubclassDlgItem(IDC_HISTORY_CLOSE, m_hWnd);
    m_btnPlay.SubclassDlgItem(IDC_HISTORY_PLAY, m_hWnd);
    m_btnStop.SubclassDlgItem(IDC_HISTORY_STOP, m_hWnd);
    m_btnSpeaker.SubclassDlgItem(IDC_HISTORY_SPEAKER, m_hWnd);
    m_btnClose.SetBitmaps(IDB_HISTORY_CLOSE_HOVER, HISTORY_WHITE, IDB_HISTORY_CLOSE, HISTORY_WHITE,
                          IDB_HISTORY_CLOSE_PRESSED, HISTORY_WHITE);
    m_btnPlay.SetBitmaps(IDB_HISTORY_PLAY, HISTORY_WHITE);
    m_btnStop.SetBitmaps(IDB_HISTORY_STOP, HISTORY_WHITE);
    m_btnSpeaker.SetBitmaps(IDB_HISTORY_SPEAKER, HISTORY_WHITE);
    m_btnClose.SetTooltipText(L"Close");
    m_btnPlay.SetTooltipText(L"Play");
    m_btnStop.SetTooltipText(L"Stop");
    m_btnSpeaker.SetWindowText(L"Speaker");
    m_btnPlay.EnableWindow(false);
    m_btnStop.EnableWindow(false);

    m_player.SetParentWindow(GetDlgItem(IDC_HISTORY_PLAYER));
    m_player.CreateMediaWindow();
    m_player.SetVolume(1000);

    m_sliderPosition.Attach(GetDlgItem(IDC_HISTORY_POSITION));
    m_sliderVolume.Attach(GetDlgItem(IDC_HISTORY_VOLUME));
    m_sliderVolume.SetRange(0, 10);
    m_sliderVolume.SetPos(10);
    m_sliderPosition.SetWindowText(L"Position");
    m_sliderVolume.SetWindowText(L"Volume");
    ::SetDlgItemTextW(m_hWnd, IDC_HISTORY_PLAYER, L"Player");

    m_pHistory = CRecordHistory::GetInstance();

    m_editFilter.SubclassDlgItem(IDC_HISTORY_FILTER, m_hWnd);
    m_editFilter.SetNotifyWindow(m_hWnd);
    m_editFilter.SetFont(m_fontTitle);
    m_editFilter.SetCueBanner(L"Search name or date");

    m_tree.Attach(IDC_HISTORY_TREE, m_hWnd);
    m_tree.SetNotifyWindow(m_hWnd);
    m_tree.LoadImageLists();
    m_tree.SetWindowText(L"Recordings");
    m_counts = HistoryCounts{};
    m_strFilter.clear();
    m_hRootItem = m_tree.InsertItem(NewRootItemData(&m_counts), TVI_ROOT);
    DayGroup today;
    today.pDay = NewDayItemData(FormatW(L"%ld", (long)CTreeCtrlBT::Now()));
    today.hDay = m_tree.InsertItem(today.pDay, m_hRootItem, TVI_LAST, true);
    m_days.push_back(std::move(today));
    return TRUE;
}

// Enter does nothing and Escape empties the filter, or hides the window when there is
// none: the window lives as long as the main window.
void CDlgRecHistory::OnOK() {}
void CDlgRecHistory::OnCancel() {
    if (!m_editFilter.GetWindowText().empty())
        m_editFilter.SetWindowText(L"");  // EN_CHANGE shows everything again
    else
        ShowWindow(SW_HIDE);
}

void CDlgRecHistory::OnHistoryKey(WPARAM wKey) {
    if (wKey == 'F') {
        ::SetFocus(m_editFilter);
        m_editFilter.SendMessage(EM_SETSEL, 0, -1);
    } else if (wKey == VK_ESCAPE && !m_editFilter.GetWindowText().empty()) {
        m_editFilter.SetWindowText(L"");
    }
}

void CDlgRecHistory::AddRecordItem(const RecordEntry& entry) {
    if (!m_hRootItem) return;
    size_t nDay = 0;
    const size_t nRow = StoreRow(entry, nDay);
    DayGroup& day = m_days[nDay];
    if (!DayLabelMatches(day) && !RowMatches(day.rows[nRow])) return;
    ShowRow(day, nRow);
    if (day.hDay) m_tree.Expand(day.hDay);
    m_tree.Expand(m_hRootItem);
}

void CDlgRecHistory::AddRecordItems(const std::vector<RecordEntry>& entries) {
    if (!m_hRootItem) return;
    size_t nDay = 0;
    for (const RecordEntry& entry : entries) StoreRow(entry, nDay);
    RebuildTree();
}

size_t CDlgRecHistory::StoreRow(const RecordEntry& entry, size_t& nDay) {
    const long long t = HistoryTimeFromText(entry.m_strTime);
    nDay = 0;
    while (nDay < m_days.size() && !IsSameDayGroup(t, HistoryTimeFromText(*m_days[nDay].pDay->DayTime()))) ++nDay;
    if (nDay == m_days.size()) {
        DayGroup day;
        day.pDay = NewDayItemData(entry.m_strTime);
        m_days.push_back(std::move(day));
    }
    DayGroup& day = m_days[nDay];
    // Newest first; one as old as others goes after them.
    size_t nRow = 0;
    while (nRow < day.rows.size() &&
           CompareNewestFirst(HistoryTimeFromText(day.rows[nRow].pData->Entry()->m_strTime), t) <= 0)
        ++nRow;
    RecordRow row;
    row.pData = NewRecordItemData(entry);
    day.rows.insert(day.rows.begin() + (std::ptrdiff_t)nRow, std::move(row));
    return nRow;
}

// Puts a recording into the tree after the shown rows before it, its day row too if needed.
void CDlgRecHistory::ShowRow(DayGroup& day, size_t nRow) {
    if (!day.hDay) {
        HTREEITEM hAfter = TVI_FIRST;
        for (const DayGroup& other : m_days) {
            if (&other == &day) break;
            if (other.hDay) hAfter = other.hDay;
        }
        day.hDay = m_tree.InsertItem(day.pDay, m_hRootItem, hAfter, true);
        if (!day.hDay) return;
    }
    HTREEITEM hAfter = TVI_FIRST;
    for (size_t i = nRow; i-- > 0;) {
        if (day.rows[i].hRow) {
            hAfter = day.rows[i].hRow;
            break;
        }
    }
    day.rows[nRow].hRow = m_tree.InsertItem(day.rows[nRow].pData, day.hDay, hAfter);
}

bool CDlgRecHistory::DayLabelMatches(const DayGroup& day) const {
    if (m_strFilter.empty()) return true;
    return MatchesFilter(FoldCase(FormatDayLabel(CTreeCtrlBT::Now(), HistoryTimeFromText(*day.pDay->DayTime()))),
                         m_strFilter);
}

bool CDlgRecHistory::RowMatches(RecordRow& row) {
    if (m_strFilter.empty()) return true;
    if (row.strKey.empty()) {
        const RecordEntry& entry = *row.pData->Entry();
        std::wstring strNames;
        if (!entry.m_strName.empty()) strNames = CContactList::GetInstance()->FormatDisplayNames(entry.m_strName);
        row.strKey = BuildSearchKey(entry, RecordNameText(strNames, entry.m_strName));
    }
    return MatchesFilter(row.strKey, m_strFilter);
}

void CDlgRecHistory::ApplyFilter(const std::wstring& strTyped) {
    std::wstring strFilter = MakeFilterText(strTyped);
    if (strFilter == m_strFilter) return;
    // Names may have come from Skype since the last search: each search takes them afresh.
    if (m_strFilter.empty()) {
        for (DayGroup& day : m_days)
            for (RecordRow& row : day.rows) row.strKey.clear();
    }
    m_strFilter = std::move(strFilter);
    RebuildTree();
}

// The tree shows the rows that match, under their day rows; day rows without any are
// left out while a filter is set, without one every day row shows.
void CDlgRecHistory::RebuildTree() {
    if (!m_hRootItem) return;
    // When what shows now is part of what showed (a key typed on), rows only go.
    bool bOnlyFewer = true;
    for (DayGroup& day : m_days) {
        const bool bDayMatches = DayLabelMatches(day);
        day.bWanted = m_strFilter.empty();
        for (RecordRow& row : day.rows) {
            row.bWanted = bDayMatches || RowMatches(row);
            day.bWanted = day.bWanted || row.bWanted;
            if (row.bWanted && !row.hRow) bOnlyFewer = false;
        }
        if (day.bWanted && !day.hDay) bOnlyFewer = false;
    }
    m_tree.SendMessage(WM_SETREDRAW, FALSE);
    HTREEITEM hSelect = bOnlyFewer ? RemoveUnwantedRows() : InsertWantedRows();
    m_tree.SendMessage(WM_SETREDRAW, TRUE);
    if (hSelect) m_tree.EnsureVisible(hSelect);
    m_tree.Invalidate(false);
    RefreshCounts();
}

HTREEITEM CDlgRecHistory::RemoveUnwantedRows() {
    for (DayGroup& day : m_days) {
        if (!day.hDay) continue;
        if (!day.bWanted) {
            m_tree.DeleteItem(day.hDay);  // its rows go with it
            day.hDay = nullptr;
            for (RecordRow& row : day.rows) row.hRow = nullptr;
            continue;
        }
        for (RecordRow& row : day.rows) {
            if (!row.hRow || row.bWanted) continue;
            m_tree.DeleteItem(row.hRow);
            row.hRow = nullptr;
        }
    }
    return m_tree.GetSelectedItem();
}

// Every row anew: inserting after the rows that stay would cost a search per row.
HTREEITEM CDlgRecHistory::InsertWantedRows() {
    HistoryItemData* pSelected = m_tree.GetItemData(m_tree.GetSelectedItem());
    // Nothing selected while rows go: the tree would move the selection from row to row.
    m_tree.SelectItem(nullptr);
    // Rows under a folded root cost the tree nothing to lay out until it opens, once, at the end.
    m_tree.Expand(m_hRootItem, TVE_COLLAPSE);
    for (DayGroup& day : m_days) {
        if (day.hDay) m_tree.DeleteItem(day.hDay);
        day.hDay = nullptr;
        for (RecordRow& row : day.rows) row.hRow = nullptr;
    }
    HTREEITEM hSelect = pSelected == m_tree.GetItemData(m_hRootItem) ? m_hRootItem : nullptr;
    for (DayGroup& day : m_days) {
        if (!day.bWanted || !(day.hDay = m_tree.InsertItem(day.pDay, m_hRootItem, TVI_LAST, true))) continue;
        if (day.pDay == pSelected) hSelect = day.hDay;
        for (RecordRow& row : day.rows) {
            if (!row.bWanted) continue;
            row.hRow = m_tree.InsertItem(row.pData, day.hDay, TVI_LAST);
            if (row.pData == pSelected) hSelect = row.hRow;
        }
    }
    m_tree.Expand(m_hRootItem);
    if (hSelect) m_tree.SelectItem(hSelect);
    return hSelect;
}

// The window's record of a row that leaves the history; a day row left without
// matches goes with it while a filter is set.
void CDlgRecHistory::ForgetRow(const HistoryItemData* pData) {
    for (DayGroup& day : m_days) {
        for (auto it = day.rows.begin(); it != day.rows.end(); ++it) {
            if (it->pData != pData) continue;
            day.rows.erase(it);
            if (m_strFilter.empty() || !day.hDay || m_tree.GetChildItem(day.hDay)) return;
            m_tree.DeleteItem(day.hDay);
            day.hDay = nullptr;
            return;
        }
    }
}

void CDlgRecHistory::FreeAllRows() {
    for (DayGroup& day : m_days) {
        for (RecordRow& row : day.rows) FreeItemData(row.pData);
        FreeItemData(day.pDay);
    }
    m_days.clear();
}

void CDlgRecHistory::RefreshCounts() {
    m_counts = HistoryCounts{};
    if (!m_hRootItem) return;
    for (const DayGroup& day : m_days) {
        for (const RecordRow& row : day.rows) {
            if (!row.hRow) continue;
            ++m_counts.m_nTotal;
            if (row.pData->Entry()->m_bNew) ++m_counts.m_nNew;
        }
    }
    RECT rcRoot = m_tree.GetRowRect(m_hRootItem);
    ::InvalidateRect(m_tree, &rcRoot, TRUE);
}

HTREEITEM CDlgRecHistory::FindRowOf(const HistoryItemData* pData) const {
    if (!pData || !m_hRootItem) return nullptr;
    for (const DayGroup& day : m_days)
        for (const RecordRow& row : day.rows)
            if (row.pData == pData) return row.hRow;
    return nullptr;
}

bool CDlgRecHistory::IsRecordRow(HTREEITEM hItem) const {
    HistoryItemData* pData = m_tree.GetItemData(hItem);
    return pData && pData->m_nKind == ITEM_RECORD;
}

void CDlgRecHistory::ShowPlayButtonBitmap(UINT nIdBitmap) {
    m_btnPlay.ShowWindow(SW_HIDE);
    m_btnPlay.SetBitmaps(nIdBitmap, HISTORY_WHITE);
    m_btnPlay.SetTooltipText(nIdBitmap == IDB_HISTORY_PAUSE ? L"Pause" : L"Play");
    m_btnPlay.ShowWindow(SW_SHOW);
}

LRESULT CDlgRecHistory::OnCommand(UINT nId, UINT nCode, HWND hCtl) {
    if (nCode == BN_CLICKED) {
        switch (nId) {
        case IDC_HISTORY_CLOSE: ShowWindow(SW_HIDE); return 0;
        case IDC_HISTORY_PLAY: OnPlayPause(); return 0;
        case IDC_HISTORY_STOP: OnStop(); return 0;
        default: break;
        }
    }
    if (nId == IDC_HISTORY_FILTER && nCode == EN_CHANGE) {
        ApplyFilter(m_editFilter.GetWindowText());
        return 0;
    }
    return CDialog::OnCommand(nId, nCode, hCtl);
}

void CDlgRecHistory::OnPlayPause() {
    switch (m_nPlayState) {
    case PLAYSTATE_PLAYING:
        ShowPlayButtonBitmap(IDB_HISTORY_PLAY);
        m_player.Pause();
        m_nPlayState = PLAYSTATE_PAUSED;
        KillTimer(HISTORY_TIMER_PLAY);
        m_btnStop.EnableWindow(true);
        break;
    case PLAYSTATE_PAUSED:
        ShowPlayButtonBitmap(IDB_HISTORY_PAUSE);
        m_player.Play();
        m_nPlayState = PLAYSTATE_PLAYING;
        m_nPlayTicks = 0;
        SetTimer(HISTORY_TIMER_PLAY, HISTORY_TIMER_PERIOD_MS);
        m_btnStop.EnableWindow(true);
        break;
    default: StartSelectedRecording(); break;
    }
}

void CDlgRecHistory::StartSelectedRecording() {
    std::wstring strFile;
    HistoryItemData* pData = m_tree.GetItemData(m_tree.GetSelectedItem());
    if (RecordEntry* pEntry = pData ? pData->Entry() : nullptr) {
        strFile = pEntry->m_strFile;
        m_pCurrentRecord = pData;
    }
    if (strFile.empty()) {
        NotifyMessageBox(m_hWnd, FormatW(L"'%ls' File not found!", strFile.c_str()), HISTORY_CAPTION, MB_OK);
        return;
    }
    ShowPlayButtonBitmap(IDB_HISTORY_PAUSE);
    ReleaseMedia();
    m_player.SetFileName(strFile);
    m_player.CreateMediaWindow();
    // A new media window starts at full volume: give it the one the slider shows.
    m_player.SetVolume(m_sliderVolume.GetPos() * 100);
    m_player.Seek(0);
    LONG nLength = m_player.GetLength();
    m_sliderPosition.SetRange(0, nLength, false);
    m_sliderPosition.SetPos(0, true);
    if (nLength <= 0) {
        // Missing, undecodable or empty: the media window has said what it had to say.
        // Nothing plays, so nothing is marked played, and the buttons must not wait for an end.
        m_nPlayState = PLAYSTATE_STOPPED;
        EnterStoppedState();
        return;
    }
    SetTimer(HISTORY_TIMER_PLAY, HISTORY_TIMER_PERIOD_MS);
    m_nPlayState = PLAYSTATE_PLAYING;
    m_nPlayTicks = 0;
    m_player.Play();
    m_btnStop.EnableWindow(true);
}

// Stops and closes the media and ends its media window; a fresh one opens the next file.
void CDlgRecHistory::ReleaseMedia() {
    m_player.Stop();
    m_player.CloseMedia();
    m_player.Destroy();
}

void CDlgRecHistory::OnStop() {
    if (m_nPlayState == PLAYSTATE_PLAYING || m_nPlayState == PLAYSTATE_PAUSED) {
        m_player.Stop();
        m_player.Seek(0);
    }
    EnterStoppedState();
}

// Play picture, Stop disabled, no timer; play/pause works again on a selected recording.
void CDlgRecHistory::EnterStoppedState() {
    KillTimer(HISTORY_TIMER_PLAY);
    if (m_nPlayState != PLAYSTATE_NONE) m_nPlayState = PLAYSTATE_STOPPED;  // stop before any play changes nothing
    m_sliderPosition.SetPos(0);
    m_btnStop.EnableWindow(false);
    ShowPlayButtonBitmap(IDB_HISTORY_PLAY);
    if (IsRecordRow(m_tree.GetSelectedItem())) m_btnPlay.EnableWindow(true);
}

LRESULT CDlgRecHistory::OnTimer(UINT_PTR nId) {
    if (nId != HISTORY_TIMER_PLAY) return CDialog::OnTimer(nId);
    if (m_player.GetLength() <= 0) {
        // The media went away under the player (its file was removed or replaced).
        EnterStoppedState();
        return 0;
    }
    m_sliderPosition.SetPos((int)m_player.GetPosition());
    // A stopped media counts as ended from the second tick on: by then it has started.
    if (m_nPlayState == PLAYSTATE_PLAYING && m_player.HasPlayedToEnd(++m_nPlayTicks >= 2)) OnPlaybackEnded();
    return 0;
}

void CDlgRecHistory::OnPlaybackEnded() {
    m_nPlayState = PLAYSTATE_STOPPED;
    m_player.Seek(0);
    m_sliderPosition.SetPos(0);
    ShowPlayButtonBitmap(IDB_HISTORY_PLAY);
    m_btnStop.EnableWindow(false);
    KillTimer(HISTORY_TIMER_PLAY);
    if (RecordEntry* pEntry = m_pCurrentRecord ? m_pCurrentRecord->Entry() : nullptr) {
        if (m_pHistory) m_pHistory->MarkRecordRead(pEntry->m_strName, pEntry->m_strTime);
        pEntry->m_bNew = false;
        // The row's call icon loses its "new" form.
        RECT rcRow = m_tree.GetRowRect(FindRowOf(m_pCurrentRecord));
        ::InvalidateRect(m_tree, &rcRow, FALSE);
    }
    RefreshCounts();
}

LRESULT CDlgRecHistory::OnNotify(UINT nId, NMHDR* pHdr) {
    if (!pHdr) return CDialog::OnNotify(nId, pHdr);
    if (nId == IDC_HISTORY_TREE && pHdr->code == TVN_SELCHANGEDW) {
        OnSelectionChanged(reinterpret_cast<NMTREEVIEWW*>(pHdr)->itemNew.hItem);
        return 0;
    }
    if (nId == IDC_HISTORY_TREE && pHdr->code == NM_RCLICK) {
        ShowRowMenu();
        return 1;
    }
    if (nId == IDC_HISTORY_POSITION && pHdr->code == NM_RELEASEDCAPTURE) {
        m_player.Seek(m_sliderPosition.GetPos());
        if (m_nPlayState == PLAYSTATE_PLAYING) m_player.Play();  // seeking stops the media
        return 0;
    }
    if (pHdr->code == NM_CUSTOMDRAW && (nId == IDC_HISTORY_POSITION || nId == IDC_HISTORY_VOLUME)) {
        if (nId == IDC_HISTORY_VOLUME) m_player.SetVolume(m_sliderVolume.GetPos() * 100);
        return CDRF_DODEFAULT;
    }
    return CDialog::OnNotify(nId, pHdr);
}

void CDlgRecHistory::OnSelectionChanged(HTREEITEM hNew) {
    if (IsRecordRow(hNew)) {
        // Another recording leaves the button as it is while one plays or is paused;
        // the one that plays gets its pause and resume back.
        const bool bBusy = m_nPlayState == PLAYSTATE_PLAYING || m_nPlayState == PLAYSTATE_PAUSED;
        if (!bBusy || m_tree.GetItemData(hNew) == m_pCurrentRecord) m_btnPlay.EnableWindow(true);
    } else {
        m_btnPlay.EnableWindow(false);
    }
}

LRESULT CDlgRecHistory::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    // A search deletes rows by the thousand, each with its notification: the tree hears
    // of them here, without the window property lookup (a wineserver round trip) that
    // reflecting a notification takes.
    if (uMsg == WM_NOTIFY && lParam) {
        auto* pHdr = reinterpret_cast<NMHDR*>(lParam);
        if (pHdr->code == TVN_DELETEITEMW && pHdr->hwndFrom == m_tree) {
            m_tree.ForgetItem(reinterpret_cast<NMTREEVIEWW*>(lParam)->itemOld.hItem);
            return Default();
        }
    }
    return CDialog::WindowProc(uMsg, wParam, lParam);
}

LRESULT CDlgRecHistory::OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_HISTORY_DELETE: OnDeleteRow((HTREEITEM)wParam, (HistoryItemData*)lParam); return 0;
    case WM_HISTORY_OPENFOLDER: OnOpenFolder((HTREEITEM)wParam, (HistoryItemData*)lParam); return 0;
    case WM_HISTORY_KEY: OnHistoryKey(wParam); return 0;
    case WM_HISTORY_PLAY:
        // Posted: the row may be gone or another selected by now.
        if ((HTREEITEM)wParam == m_tree.GetSelectedItem() && FindRowOf((HistoryItemData*)lParam) == (HTREEITEM)wParam)
            StartSelectedRecording();
        return 0;
    case WM_GETMINMAXINFO: {
        auto* pInfo = reinterpret_cast<MINMAXINFO*>(lParam);
        if (pInfo->ptMinTrackSize.x <= Px(HISTORY_MIN_WIDTH) - 6) pInfo->ptMinTrackSize.x = Px(HISTORY_MIN_WIDTH);
        if (pInfo->ptMinTrackSize.y <= Px(HISTORY_MIN_HEIGHT) - 2) pInfo->ptMinTrackSize.y = Px(HISTORY_MIN_HEIGHT);
        return 0;
    }
    default: return CDialog::OnMessage(uMsg, wParam, lParam);
    }
}

void CDlgRecHistory::OnDeleteRow(HTREEITEM hItem, HistoryItemData* pData) {
    if (!pData) return;
    // The request was posted: the row may be gone by now (a second click on the spot).
    HTREEITEM hRow = FindRowOf(pData);
    if (!hRow || (hItem && hItem != hRow) || !pData->Entry()) return;
    int nAnswer = NotifyMessageBox(m_hWnd, L"Are you sure you want to delete the selected item?", HISTORY_CAPTION,
                                   MB_YESNO | MB_ICONQUESTION);
    if (nAnswer != IDYES) return;
    // The answer took a message loop: check once more that the row still exists.
    if (FindRowOf(pData) != hRow) return;
    RecordEntry* pEntry = pData->Entry();
    if (!m_pHistory) return;
    CXmlNode stored;
    if (!m_pHistory->SearchNode(pEntry->m_strName, pEntry->m_strTime, stored)) return;
    if (pData == m_pCurrentRecord) {
        // The player holds the file open; the shell cannot move it while it does.
        if (m_nPlayState == PLAYSTATE_PLAYING || m_nPlayState == PLAYSTATE_PAUSED) OnStop();
        ReleaseMedia();
        m_pCurrentRecord = nullptr;
    }
    // Only one existing file goes to the bin: an entry naming a folder or a pattern moves
    // nothing, and one whose file is gone already just leaves the history.
    if (IsOnePlainFile(pEntry->m_strFile)) {
        MoveFileToRecycleBin(pEntry->m_strFile, m_hWnd);
        if (FindRowOf(pData) != hRow) return;  // the shell may have asked: a message loop
        if (IsOnePlainFile(pEntry->m_strFile)) {
            NotifyMessageBox(m_hWnd,
                             FormatW(L"'%ls' could not be moved to the Recycle Bin. The file and its entry are kept.",
                                     pEntry->m_strFile.c_str()),
                             HISTORY_CAPTION, MB_OK | MB_ICONWARNING);
            return;
        }
    }
    if (!m_pHistory->DeleteRecord(pEntry->m_strName, pEntry->m_strTime)) return;
    m_tree.DeleteItem(hRow);
    ForgetRow(pData);
    FreeItemData(pData);
    RefreshCounts();
}

void CDlgRecHistory::ShowRowMenu() {
    POINT ptScreen{};
    ::GetCursorPos(&ptScreen);
    POINT pt = ptScreen;
    ::ScreenToClient(m_tree, &pt);
    HTREEITEM hRow = m_tree.HitTest(pt);
    HistoryItemData* pData = hRow ? m_tree.GetItemData(hRow) : nullptr;
    RecordEntry* pEntry = pData ? pData->Entry() : nullptr;
    if (!pEntry || !m_fnRecordRule) return;
    m_tree.SelectItem(hRow);
    // One pair of choices per partner of the recording, named as the row names them.
    constexpr UINT ID_FIRST = 100, MAX_PARTNERS = 16;
    std::vector<std::wstring> handles;
    ForEachCommaPiece(pEntry->m_strName, [&](const std::wstring& strHandle) {
        if (handles.size() < MAX_PARTNERS) handles.push_back(strHandle);
    });
    if (handles.empty()) return;
    HMENU hMenu = ::CreatePopupMenu();
    if (!hMenu) return;
    for (size_t i = 0; i < handles.size(); ++i) {
        std::wstring strName = CContactList::GetInstance()->FormatDisplayNames(handles[i]);
        for (size_t nAmp = strName.find(L'&'); nAmp != std::wstring::npos; nAmp = strName.find(L'&', nAmp + 2))
            strName.insert(nAmp, 1, L'&');
        if (i > 0) ::AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuW(hMenu, MF_STRING, ID_FIRST + 2 * i, (L"Always record " + strName).c_str());
        ::AppendMenuW(hMenu, MF_STRING, ID_FIRST + 2 * i + 1, (L"Never record " + strName).c_str());
    }
    UINT nCmd = (UINT)::TrackPopupMenu(hMenu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, ptScreen.x, ptScreen.y,
                                       0, m_hWnd, nullptr);
    ::DestroyMenu(hMenu);
    if (nCmd < ID_FIRST || nCmd >= ID_FIRST + 2 * handles.size()) return;
    m_fnRecordRule(handles[(nCmd - ID_FIRST) / 2], (nCmd - ID_FIRST) % 2 == 0);
}

void CDlgRecHistory::RemoveRecordItems(const std::vector<RecordEntry>& entries) {
    if (!m_hRootItem || entries.empty()) return;
    std::unordered_set<std::wstring> keys;
    for (const RecordEntry& gone : entries) keys.insert(gone.m_strTime + L'\n' + gone.m_strName);
    for (size_t nDay = 0; nDay < m_days.size();) {
        DayGroup& day = m_days[nDay];
        for (auto it = day.rows.begin(); it != day.rows.end();) {
            const RecordEntry* pEntry = it->pData->Entry();
            if (!pEntry || !keys.count(pEntry->m_strTime + L'\n' + pEntry->m_strName)) {
                ++it;
                continue;
            }
            if (it->pData == m_pCurrentRecord) {
                if (m_nPlayState == PLAYSTATE_PLAYING || m_nPlayState == PLAYSTATE_PAUSED) OnStop();
                ReleaseMedia();
                m_pCurrentRecord = nullptr;
            }
            if (it->hRow) m_tree.DeleteItem(it->hRow);
            FreeItemData(it->pData);
            it = day.rows.erase(it);
        }
        // The first day row stands for today even when empty, as at start-up.
        if (nDay > 0 && day.rows.empty()) {
            if (day.hDay) m_tree.DeleteItem(day.hDay);
            FreeItemData(day.pDay);
            m_days.erase(m_days.begin() + (std::ptrdiff_t)nDay);
            continue;
        }
        ++nDay;
    }
    RefreshCounts();
}

void CDlgRecHistory::OnOpenFolder(HTREEITEM hItem, HistoryItemData* pData) {
    if (!pData) return;
    HTREEITEM hRow = FindRowOf(pData);
    if (!hRow || (hItem && hItem != hRow) || !pData->Entry()) return;
    FolderOpener()(pData->Entry()->m_strFile);
}

LRESULT CDlgRecHistory::OnLButtonDown(UINT, POINT) {
    // The window has no caption: a press anywhere moves it.
    ::ReleaseCapture();
    SendMessage(WM_NCLBUTTONDOWN, HTCAPTION, (LPARAM)::GetMessagePos());
    return 0;
}

LRESULT CDlgRecHistory::OnEraseBkgnd(HDC) { return 1; }

LRESULT CDlgRecHistory::OnSize(UINT nType, int cx, int cy) {
    LRESULT lResult = CDialog::OnSize(nType, cx, cy);
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return lResult;
}

int CDlgRecHistory::Px(int n) const { return Dpi::Scale(n, Dpi::ArtDpi(Dpi::ForWindow(m_hWnd))); }

RECT CDlgRecHistory::FilterFrameRect(int cx, int cxClose) const {
    const int xRight = cx - Px(1) - cxClose - Px(8);
    return RECT{xRight - Px(HISTORY_FILTER_WIDTH), Px(2), xRight, Px(HISTORY_TITLE_HEIGHT - 2)};
}

void CDlgRecHistory::LayoutControls(int cx, int cy) {
    RECT rcClose = m_btnClose.GetRectInParent();
    const int cxClose = rcClose.right - rcClose.left, cyClose = rcClose.bottom - rcClose.top;
    if (rcClose.top != Px(1) || rcClose.right != cx - Px(1))
        m_btnClose.SetWindowPos(nullptr, cx - Px(1) - cxClose, Px(1), cxClose, cyClose, SWP_NOZORDER | SWP_NOACTIVATE);
    // The filter box stands in the title strip, left of the close button, inside the
    // rounded frame the strip paints around it.
    RECT rcFrame = FilterFrameRect(cx, cxClose);
    m_editFilter.SetWindowPos(nullptr, rcFrame.left + Px(6), rcFrame.top + Px(2), rcFrame.right - rcFrame.left - Px(9),
                              rcFrame.bottom - rcFrame.top - Px(3), SWP_NOZORDER | SWP_NOACTIVATE);
    m_tree.SetWindowPos(nullptr, 0, Px(HISTORY_TITLE_HEIGHT), cx, cy - Px(52), SWP_NOZORDER | SWP_NOACTIVATE);

    const int yButtons = cy - Px(27);
    RECT rcPlay = m_btnPlay.GetRectInParent();
    const int cxButton = rcPlay.right - rcPlay.left, cyButton = rcPlay.bottom - rcPlay.top;
    const UINT uFlags = SWP_NOZORDER | SWP_NOACTIVATE;
    m_btnPlay.SetWindowPos(nullptr, Px(6), yButtons, cxButton, cyButton, uFlags);
    const int xStop = Px(6) + cxButton + Px(3);
    m_btnStop.SetWindowPos(nullptr, xStop, yButtons, cxButton, cyButton, uFlags);
    const int xSpeaker = cx - Px(110);
    m_btnSpeaker.SetWindowPos(nullptr, xSpeaker, yButtons, cxButton, cyButton, uFlags);
    RECT rcVolume = m_sliderVolume.GetRectInParent();
    const int cySlider = rcVolume.bottom - rcVolume.top;
    const int ySlider = yButtons + (cyButton - cySlider) / 2;
    m_sliderVolume.SetWindowPos(nullptr, xSpeaker + cxButton, ySlider, cx - 2 - (xSpeaker + cxButton), cySlider,
                                uFlags);
    const int xPosition = xStop + cxButton + 2;
    m_sliderPosition.SetWindowPos(nullptr, xPosition, ySlider, (xSpeaker - 2) - xPosition, cySlider, uFlags);
    m_sizeLaidOut = {cx, cy};
}

void CDlgRecHistory::DrawTitleStrip(HDC hDC, int cx, int cy) {
    RECT rcBottom = {0, cy - Px(HISTORY_BOTTOM_HEIGHT), cx, cy};
    ::FillRect(hDC, &rcBottom, ::GetSysColorBrush(COLOR_BTNFACE));
    const int nSide = Px(HISTORY_TITLE_HEIGHT);
    if (!m_bmpTitle.IsNull()) {
        CCompatibleDC dcBmp(hDC);
        CSelectObject selBmp(dcBmp, m_bmpTitle);
        const SIZE size = m_bmpTitle.GetSize();
        ::BitBlt(hDC, 0, 0, nSide, nSide, dcBmp, 0, 0, SRCCOPY);
        ::StretchBlt(hDC, nSide, 0, cx - 2 * nSide, nSide, dcBmp, nSide, 0, nSide, nSide, SRCCOPY);
        ::BitBlt(hDC, cx - nSide, 0, nSide, nSide, dcBmp, size.cx - nSide, 0, SRCCOPY);
    } else {
        RECT rcTitle = {0, 0, cx, nSide};
        FillSolidRect(hDC, rcTitle, RGB(244, 245, 247));
    }
    RECT rcClose = m_btnClose.GetRectInParent();
    RECT rcFrame = FilterFrameRect(cx, rcClose.right - rcClose.left);
    {
        CBrush brush(RGB(255, 255, 255));
        CPen pen(PS_SOLID, 1, RGB(170, 178, 189));
        CSelectObject selBrush(hDC, brush);
        CSelectObject selPen(hDC, pen);
        ::RoundRect(hDC, rcFrame.left, rcFrame.top, rcFrame.right, rcFrame.bottom, Px(7), Px(7));
    }
    CSelectObject selFont(hDC, m_fontTitle);
    ::SetBkMode(hDC, TRANSPARENT);
    ::SetTextColor(hDC, RGB(60, 60, 60));
    RECT rcText = {Px(3), Px(3), cx - Px(60 + HISTORY_FILTER_WIDTH), Px(20)};
    ::DrawTextW(hDC, L"History", -1, &rcText, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
}

LRESULT CDlgRecHistory::OnPaint() {
    CPaintDC dc(m_hWnd);
    RECT rcClient = GetClientRect();
    const int cx = rcClient.right, cy = rcClient.bottom;
    // Lay out again whenever the size changed, not only when the height did.
    RECT rcPlay = m_btnPlay.GetRectInParent();
    if (rcPlay.top != cy - Px(27) || m_sizeLaidOut.cx != cx || m_sizeLaidOut.cy != cy) LayoutControls(cx, cy);
    DrawTitleStrip(dc, cx, cy);
    return 0;
}

LRESULT CDlgRecHistory::OnDestroy() {
    if (g_hDialogKeysWnd == m_hWnd) {
        ::UnhookWindowsHookEx(g_hDialogKeysHook);
        g_hDialogKeysHook = nullptr;
        g_hDialogKeysWnd = nullptr;
    }
    KillTimer(HISTORY_TIMER_PLAY);
    if (m_hRootItem) {
        // Rows go first, their data after: deleting rows still notifies about them.
        HistoryItemData* pRoot = m_tree.GetItemData(m_hRootItem);
        m_hRootItem = nullptr;
        TreeView_DeleteAllItems(m_tree);
        FreeItemData(pRoot);
    }
    FreeAllRows();
    m_strFilter.clear();
    m_pCurrentRecord = nullptr;
    m_player.CloseMedia();
    m_player.Destroy();
    m_counts = HistoryCounts{};
    return CDialog::OnDestroy();
}
