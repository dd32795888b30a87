#pragma once
// The history window: the recordings grouped by day in the owner-painted tree,
// with a player (play/pause, stop, position, volume), delete to the Recycle Bin,
// open in the file manager, and the "new" mark cleared once a file played to its end.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/Controls.h"
#include "base/Dialog.h"
#include "base/Gdi.h"
#include "history/EasyPlayer.h"
#include "history/HistoryItemData.h"
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

    CDlgRecHistory();
    ~CDlgRecHistory() override;

    // Adds a recording row (a copy of the entry) under its day row, newest first.
    void AddRecordItem(const RecordEntry& entry);
    // Recounts all recording rows and the new ones, and repaints the root row.
    void RefreshCounts();

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
    void DrawTitleStrip(HDC hDC, int cx, int cy);
    template <class Fn>
    void ForEachRow(HTREEITEM hItem, Fn&& fn) const;

    CTreeCtrlBT m_tree;
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
    CRecordHistory* m_pHistory = nullptr;
    SIZE m_sizeLaidOut = {-1, -1};
    RecordRuleFn m_fnRecordRule;
};
