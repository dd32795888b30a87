#pragma once
// The history tree: a tree view whose rows are painted entirely from their
// HistoryItemData (root with counts, day rows, recording rows), with delete and
// open-folder spots on every recording row that post to the history window.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "base/Controls.h"
#include "base/Gdi.h"
#include "base/Window.h"
#include "history/HistoryItemData.h"

// Posted to the history window: wParam the recording row, lParam its HistoryItemData.
constexpr UINT WM_HISTORY_DELETE = WM_USER + 0x444;
constexpr UINT WM_HISTORY_OPENFOLDER = WM_USER + 0x445;
// Enter on a recording row: play it.
constexpr UINT WM_HISTORY_PLAY = WM_USER + 0x447;

// What one row shows, as painted.
struct TreeRowView {
    int m_nKind = -1;
    int m_nIcon = -1;          // call icon of a recording row, -1 for none
    std::wstring m_strText;    // root: total; day: label; recording: names
    std::wstring m_strBadge;   // root: "%d new" or empty
    std::wstring m_strTime;    // recording: start time
    std::wstring m_strLength;  // recording: length
    std::wstring m_strMark;    // recording: the side that was silent, or empty
};

class CTreeCtrlBT : public CWindow {
public:
    static constexpr int TREE_ROW_HEIGHT = 20;
    static constexpr COLORREF TREE_ACCENT = RGB(51, 150, 253);
    static constexpr COLORREF TREE_BADGE = RGB(252, 140, 5);
    static constexpr COLORREF TREE_MARK = RGB(214, 48, 39);
    static constexpr COLORREF TREE_ROOT_BACK = RGB(238, 238, 238);
    static constexpr COLORREF TREE_SEPARATOR = RGB(235, 235, 235);
    static constexpr COLORREF TREE_TIME_TEXT = RGB(128, 128, 128);
    static constexpr COLORREF TREE_TIME_TEXT_SELECTED = RGB(228, 228, 228);

    // Takes over the template's tree control: row height, fonts.
    bool Attach(UINT nId, HWND hParent);
    void SetNotifyWindow(HWND hWnd) { m_hNotifyWnd = hWnd; }
    HWND GetNotifyWindow() const { return m_hNotifyWnd; }
    bool LoadImageLists();

    // Standard tree operations; rows carry only their item data. Insert and delete go
    // straight to the control: through the subclass every message costs wineserver
    // round trips (window properties), and a search inserts thousands of rows.
    HTREEITEM InsertItem(HistoryItemData* pData, HTREEITEM hParent, HTREEITEM hAfter = TVI_LAST,
                         bool bExpanded = false) const;
    HistoryItemData* GetItemData(HTREEITEM hItem) const;
    HTREEITEM GetRootItem() const { return TreeView_GetRoot(m_hWnd); }
    HTREEITEM GetChildItem(HTREEITEM hItem) const { return TreeView_GetChild(m_hWnd, hItem); }
    HTREEITEM GetNextSiblingItem(HTREEITEM hItem) const { return TreeView_GetNextSibling(m_hWnd, hItem); }
    HTREEITEM GetParentItem(HTREEITEM hItem) const { return TreeView_GetParent(m_hWnd, hItem); }
    HTREEITEM GetSelectedItem() const { return TreeView_GetSelection(m_hWnd); }
    bool SelectItem(HTREEITEM hItem) const { return TreeView_SelectItem(m_hWnd, hItem) != FALSE; }
    bool Expand(HTREEITEM hItem, UINT uCode = TVE_EXPAND) const { return TreeView_Expand(m_hWnd, hItem, uCode) != FALSE; }
    bool IsExpanded(HTREEITEM hItem) const;
    bool EnsureVisible(HTREEITEM hItem) const { return TreeView_EnsureVisible(m_hWnd, hItem) != FALSE; }
    bool DeleteItem(HTREEITEM hItem) const;
    // A row is being deleted: it must not stay the hover row, its handle would be stale.
    void ForgetItem(HTREEITEM hItem);
    int GetCount() const { return (int)TreeView_GetCount(m_hWnd); }
    // The full-width rectangle of a row; empty when it is not visible.
    RECT GetRowRect(HTREEITEM hItem) const;
    // Sorts the recording rows under a day row, newest first.
    bool SortNewestFirst(HTREEITEM hDay) const;
    HTREEITEM HitTest(POINT pt) const;

    // Paints every visible row into a DC whose coordinates are the client area's.
    void PaintRows(HDC hDC, const RECT& rcClient);
    // What a row shows now (the same texts the painting uses).
    TreeRowView DescribeRow(HTREEITEM hItem) const;
    // The row whose action spot the pointer last entered, and that spot.
    HTREEITEM GetHoverItem() const { return m_hHoverItem; }
    int GetHoverSpot() const { return m_nHoverSpot; }

    // The clock the day labels are measured against (tests and screenshots fix it).
    using ClockFn = long long (*)();
    static ClockFn SetClock(ClockFn fn);
    static long long Now();

protected:
    LRESULT OnPaint() override;
    LRESULT OnEraseBkgnd(HDC hDC) override;
    LRESULT OnMouseMove(UINT nFlags, POINT pt) override;
    LRESULT OnMouseLeave() override;
    LRESULT OnLButtonDown(UINT nFlags, POINT pt) override;
    bool OnReflect(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;
    LRESULT OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    void DrawRow(HDC hDC, HTREEITEM hItem, const RECT& rcRow, int x0, bool bSelected);
    void DrawRootRow(HDC hDC, const TreeRowView& view, const RECT& rcRow, int x0);
    void DrawDayRow(HDC hDC, HTREEITEM hItem, const TreeRowView& view, const RECT& rcRow, int x0);
    void DrawRecordRow(HDC hDC, HTREEITEM hItem, const TreeRowView& view, const RECT& rcRow, int x0,
                       bool bSelected);
    void InvalidateSpots(HTREEITEM hItem) const;

    HWND m_hNotifyWnd = nullptr;
    WNDPROC m_pfnTreeProc = nullptr;  // the tree control's own procedure
    HTREEITEM m_hHoverItem = nullptr;  // recording row whose action spot was entered last
    int m_nHoverSpot = ROWSPOT_NONE;   // the spot the pointer is in on that row
    HTREEITEM m_hUnderPointer = nullptr;
    bool m_bTrackingLeave = false;
    CFont m_fontBold;    // "Arial" 15, weight 700: day rows
    CFont m_fontNormal;  // "Arial" 15, weight 500: root and recording rows
    CImageList m_imgDay;      // 1016 collapsed, 1017 expanded
    CImageList m_imgRoot;     // 1035
    CImageList m_imgCalls;    // 1033: outgoing, incoming, outgoing new, incoming new
    CImageList m_imgActions;  // 1034, 14x14, blue is transparent
    int m_nRowHeight = TREE_ROW_HEIGHT;
    UINT m_nArtDpi = 96;  // the scale of the pictures and rows
    bool m_bSeparators = true;
};
