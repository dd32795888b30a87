#pragma once
// The history window: the recordings grouped by day in the owner-painted tree, a
// filter box in the title strip that narrows it, a player (play/pause, stop,
// position, volume), delete to the Recycle Bin, open in the file manager, and the
// "new" mark cleared once a file played to its end.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/Controls.h"
#include "base/Dialog.h"
#include "base/Gdi.h"
#include "history/EasyPlayer.h"
#include "history/HistoryItemData.h"
#include "history/SearchEdit.h"
#include "history/TreeCtrlBT.h"
#include "widgets/MyButtonST.h"

struct RecordEntry;
class CRecordHistory;

constexpr int PLAYSTATE_NONE = -1;  // nothing loaded yet
constexpr int PLAYSTATE_PLAYING = 0;
constexpr int PLAYSTATE_PAUSED = 1;
constexpr int PLAYSTATE_STOPPED = 2;

class CDlgRecHistory : public CDialog {
public:
    static constexpr UINT_PTR HISTORY_TIMER_PLAY = 100;
    static constexpr UINT HISTORY_TIMER_PERIOD_MS = 500;
    static constexpr int HISTORY_MIN_WIDTH = 426;
    static constexpr int HISTORY_MIN_HEIGHT = 162;
    static constexpr int HISTORY_TITLE_HEIGHT = 22;
    static constexpr int HISTORY_BOTTOM_HEIGHT = 30;
    static constexpr int HISTORY_FILTER_WIDTH = 160;

    CDlgRecHistory();
    ~CDlgRecHistory() override;

    // Adds a recording row (a copy of the entry) under its day row, newest first;
    // while a filter is set it shows only when it matches.
    void AddRecordItem(const RecordEntry& entry);
    // The same for many at once (start-up): the tree is laid out once, not per row.
    void AddRecordItems(const std::vector<RecordEntry>& entries);
    // Recounts the recording rows shown and the new ones, and repaints the root row.
    void RefreshCounts();
    // The filter as matched: what the box holds, folded, without blanks around it.
    const std::wstring& GetFilter() const { return m_strFilter; }

    // Moves one file to the Recycle Bin; returns the shell's result (0 = done). Where the
    // bin cannot take the file the shell asks the user before it deletes it for good.
    static int MoveFileToRecycleBin(const std::wstring& strPath, HWND hOwner = nullptr);
    // A full path of one existing file: no folder, no wildcard, nothing relative.
    static bool IsOnePlainFile(const std::wstring& strPath);
    // The file manager's command line that opens a file's folder with the file selected.
    static std::wstring BuildSelectCommandLine(const std::wstring& strFile);

    // Shows a file in its folder in the file manager; tests replace it to see the path.
    using OpenFolderFn = std::function<bool(const std::wstring& strFile)>;
    static OpenFolderFn SetFolderOpener(OpenFolderFn fn);

    // The row menu's "Always record" (bAlways) and "Never record" for one partner handle.
    using RecordRuleFn = std::function<void(const std::wstring& strHandle, bool bAlways)>;
    void SetRecordRuleHandler(RecordRuleFn fn) { m_fnRecordRule = std::move(fn); }
    // Takes these recordings' rows out of the window; a day left without rows goes too.
    void RemoveRecordItems(const std::vector<RecordEntry>& entries);

    int GetPlayState() const { return m_nPlayState; }
    const HistoryCounts& GetCounts() const { return m_counts; }
    HTREEITEM GetRootItem() const { return m_hRootItem; }
    HistoryItemData* GetCurrentRecord() const { return m_pCurrentRecord; }
    CTreeCtrlBT& GetTree() { return m_tree; }
    CEasyPlayer& GetPlayer() { return m_player; }
    // The recording row holding exactly this item data, or null.
    HTREEITEM FindRowOf(const HistoryItemData* pData) const;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    LRESULT OnPaint() override;
    LRESULT OnDestroy() override;
    LRESULT OnLButtonDown(UINT nFlags, POINT pt) override;
    LRESULT OnEraseBkgnd(HDC hDC) override;
    LRESULT OnCommand(UINT nId, UINT nCode, HWND hCtl) override;
    LRESULT OnSize(UINT nType, int cx, int cy) override;
    LRESULT OnNotify(UINT nId, NMHDR* pHdr) override;
    LRESULT OnTimer(UINT_PTR nId) override;
    LRESULT OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    void OnPlayPause();
    void StartSelectedRecording();
    void OnStop();
    void EnterStoppedState();
    void OnPlaybackEnded();
    void OnSelectionChanged(HTREEITEM hNew);
    void OnDeleteRow(HTREEITEM hItem, HistoryItemData* pData);
    void OnOpenFolder(HTREEITEM hItem, HistoryItemData* pData);
    void ShowRowMenu();
    void ShowPlayButtonBitmap(UINT nIdBitmap);
    bool IsRecordRow(HTREEITEM hItem) const;
    void ReleaseMedia();
    void LayoutControls(int cx, int cy);
    RECT FilterFrameRect(int cx, int cxClose) const;
    // A length at 96 DPI at the scale of the window's pictures.
    int Px(int n) const;
    void DrawTitleStrip(HDC hDC, int cx, int cy);

    // Every day row and recording, shown or filtered out, in the tree's order; the
    // window owns their item data, the tree only shows some of it.
    struct RecordRow {
        HistoryItemData* pData = nullptr;
        HTREEITEM hRow = nullptr;  // null while filtered out
        std::wstring strKey;       // BuildSearchKey's text; made when first needed
        bool bWanted = true;       // matches the filter (or its day label does)
    };
    struct DayGroup {
        HistoryItemData* pDay = nullptr;
        HTREEITEM hDay = nullptr;
        std::vector<RecordRow> rows;  // newest first
        bool bWanted = true;          // shows: no filter, or rows that match it
    };
    // Files a recording under its day (made when none is near enough); returns its place.
    size_t StoreRow(const RecordEntry& entry, size_t& nDay);
    void ApplyFilter(const std::wstring& strTyped);
    void RebuildTree();
    HTREEITEM RemoveUnwantedRows();
    HTREEITEM InsertWantedRows();
    bool DayLabelMatches(const DayGroup& day) const;
    bool RowMatches(RecordRow& row);
    void ShowRow(DayGroup& day, size_t nRow);
    void ForgetRow(const HistoryItemData* pData);
    void OnHistoryKey(WPARAM wKey);
    void FreeAllRows();

    CTreeCtrlBT m_tree;
    CSearchEdit m_editFilter;
    CMyButtonST m_btnClose;
    CMyButtonST m_btnPlay;
    CMyButtonST m_btnStop;
    CMyButtonST m_btnSpeaker;
    CTrackBar m_sliderPosition;
    CTrackBar m_sliderVolume;
    CBitmap m_bmpTitle;
    CFont m_fontTitle;
    CEasyPlayer m_player;

    int m_nPlayState = PLAYSTATE_NONE;
    int m_nPlayTicks = 0;  // timer ticks since playback started or resumed
    HTREEITEM m_hRootItem = nullptr;
    HistoryItemData* m_pCurrentRecord = nullptr;
    HistoryCounts m_counts;
    std::vector<DayGroup> m_days;
    std::wstring m_strFilter;
    CRecordHistory* m_pHistory = nullptr;
    SIZE m_sizeLaidOut = {-1, -1};
    RecordRuleFn m_fnRecordRule;
};
