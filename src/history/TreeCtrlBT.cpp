#include "history/TreeCtrlBT.h"

#include <algorithm>
#include <ctime>

#include "../../resources/ids_history.h"
#include "history/RecordHistory.h"
#include "history/SearchEdit.h"
#include "skype/ContactList.h"
#include "base/Dpi.h"
#include "widgets/MemDCStatic.h"

namespace {

long long SystemNow() { return (long long)::_time64(nullptr); }
CTreeCtrlBT::ClockFn s_fnClock = &SystemNow;

LOGFONTW ArialFont(int nWeight, UINT nArtDpi) {
    LOGFONTW lf = {};
    lf.lfHeight = Dpi::Scale(15, nArtDpi);
    lf.lfWeight = nWeight;
    lf.lfCharSet = DEFAULT_CHARSET;
    wcscpy_s(lf.lfFaceName, L"Arial");
    return lf;
}

void DrawTextIn(HDC hDC, const std::wstring& str, RECT rc, COLORREF cr, UINT uFormat) {
    ::SetTextColor(hDC, cr);
    ::DrawTextW(hDC, str.c_str(), (int)str.size(), &rc,
                uFormat | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_WORD_ELLIPSIS);
}

void FillRoundRect(HDC hDC, const RECT& rc, int nCorner, COLORREF cr) {
    CBrush brush(cr);
    CPen pen(PS_SOLID, 1, cr);
    CSelectObject selBrush(hDC, brush);
    CSelectObject selPen(hDC, pen);
    ::RoundRect(hDC, rc.left, rc.top, rc.right, rc.bottom, nCorner, nCorner);
}

void DrawLine(HDC hDC, int x1, int x2, int y, COLORREF cr) {
    RECT rc = {x1, y, x2, y + 1};
    FillSolidRect(hDC, rc, cr);
}

int CALLBACK CompareRecordRows(LPARAM lParam1, LPARAM lParam2, LPARAM) {
    auto* pA = (HistoryItemData*)lParam1;
    auto* pB = (HistoryItemData*)lParam2;
    if (!pA || !pB || !pA->Entry() || !pB->Entry()) return 0;
    return CompareNewestFirst(HistoryTimeFromText(pA->Entry()->m_strTime),
                              HistoryTimeFromText(pB->Entry()->m_strTime));
}

}  // namespace

CTreeCtrlBT::ClockFn CTreeCtrlBT::SetClock(ClockFn fn) {
    ClockFn fnOld = s_fnClock;
    s_fnClock = fn ? fn : &SystemNow;
    return fnOld;
}

long long CTreeCtrlBT::Now() { return s_fnClock(); }

bool CTreeCtrlBT::Attach(UINT nId, HWND hParent) {
    if (!SubclassDlgItem(nId, hParent)) return false;
    m_pfnTreeProc = reinterpret_cast<WNDPROC>(::GetClassLongPtrW(m_hWnd, GCLP_WNDPROC));
    m_nArtDpi = Dpi::ArtDpi(Dpi::ForWindow(m_hWnd));
    m_nRowHeight = Dpi::Scale(TREE_ROW_HEIGHT, m_nArtDpi);
    TreeView_SetItemHeight(m_hWnd, m_nRowHeight);
    m_fontBold = CFont(ArialFont(FW_BOLD, m_nArtDpi));
    m_fontNormal = CFont(ArialFont(FW_MEDIUM, m_nArtDpi));
    return true;
}

bool CTreeCtrlBT::LoadImageLists() {
    const COLORREF crWhite = RGB(255, 255, 255);
    const UINT nDpi = m_nArtDpi;
    bool bOk = m_imgDay.CreateFromBitmap(IDB_TREE_DAY_COLLAPSED, 16, crWhite, nDpi);
    if (bOk) {
        CBitmap bmpExpanded;
        bOk = bmpExpanded.Load(IDB_TREE_DAY_EXPANDED, nDpi) &&
              ImageList_AddMasked(m_imgDay, bmpExpanded, crWhite) >= 0;
    }
    bOk = m_imgRoot.CreateFromBitmap(IDB_TREE_ROOT, 16, crWhite, nDpi) && bOk;
    bOk = m_imgCalls.CreateFromBitmap(IDB_TREE_CALLS, 16, crWhite, nDpi) && bOk;
    bOk = m_imgActions.CreateFromBitmap(IDB_TREE_ACTIONS, 14, TREE_ACCENT, nDpi) && bOk;
    return bOk;
}

HTREEITEM CTreeCtrlBT::InsertItem(HistoryItemData* pData, HTREEITEM hParent, HTREEITEM hAfter,
                                  bool bExpanded) const {
    TVINSERTSTRUCTW tvis = {};
    tvis.hParent = hParent;
    tvis.hInsertAfter = hAfter;
    tvis.item.mask = TVIF_PARAM | TVIF_TEXT | TVIF_STATE;
    tvis.item.pszText = const_cast<wchar_t*>(L"");
    tvis.item.lParam = (LPARAM)pData;
    // Expanded from the start: no expand notifications, one per day row otherwise.
    tvis.item.stateMask = TVIS_EXPANDED;
    tvis.item.state = bExpanded ? TVIS_EXPANDED : 0;
    if (!m_pfnTreeProc) return TreeView_InsertItem(m_hWnd, &tvis);
    return (HTREEITEM)::CallWindowProcW(m_pfnTreeProc, m_hWnd, TVM_INSERTITEMW, 0, (LPARAM)&tvis);
}

bool CTreeCtrlBT::DeleteItem(HTREEITEM hItem) const {
    if (!m_pfnTreeProc) return TreeView_DeleteItem(m_hWnd, hItem) != FALSE;
    return ::CallWindowProcW(m_pfnTreeProc, m_hWnd, TVM_DELETEITEM, 0, (LPARAM)hItem) != FALSE;
}

void CTreeCtrlBT::ForgetItem(HTREEITEM hItem) {
    if (hItem == m_hHoverItem) {
        m_hHoverItem = nullptr;
        m_nHoverSpot = ROWSPOT_NONE;
    }
    if (hItem == m_hUnderPointer) m_hUnderPointer = nullptr;
}

HistoryItemData* CTreeCtrlBT::GetItemData(HTREEITEM hItem) const {
    if (!hItem) return nullptr;
    TVITEMW item = {};
    item.mask = TVIF_PARAM | TVIF_HANDLE;
    item.hItem = hItem;
    if (!TreeView_GetItem(m_hWnd, &item)) return nullptr;
    return (HistoryItemData*)item.lParam;
}

bool CTreeCtrlBT::IsExpanded(HTREEITEM hItem) const {
    return (TreeView_GetItemState(m_hWnd, hItem, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
}

RECT CTreeCtrlBT::GetRowRect(HTREEITEM hItem) const {
    RECT rc = {};
    if (!TreeView_GetItemRect(m_hWnd, hItem, &rc, FALSE)) return RECT{};
    return rc;
}

bool CTreeCtrlBT::SortNewestFirst(HTREEITEM hDay) const {
    TVSORTCB sort = {};
    sort.hParent = hDay;
    sort.lpfnCompare = &CompareRecordRows;
    return TreeView_SortChildrenCB(m_hWnd, &sort, FALSE) != FALSE;
}

HTREEITEM CTreeCtrlBT::HitTest(POINT pt) const {
    TVHITTESTINFO hit = {};
    hit.pt = pt;
    HTREEITEM hItem = TreeView_HitTest(m_hWnd, &hit);
    // Full-row hits: the rows have no text, so anywhere on the row counts.
    if (!hItem || !(hit.flags & (TVHT_ONITEM | TVHT_ONITEMINDENT | TVHT_ONITEMBUTTON | TVHT_ONITEMRIGHT)))
        return nullptr;
    return hItem;
}

TreeRowView CTreeCtrlBT::DescribeRow(HTREEITEM hItem) const {
    TreeRowView view;
    HistoryItemData* pData = GetItemData(hItem);
    if (!pData) return view;
    view.m_nKind = pData->m_nKind;
    if (HistoryCounts* pCounts = pData->Counts()) {
        view.m_strText = FormatTotalText(pCounts->m_nTotal);
        if (pCounts->m_nNew > 0) view.m_strBadge = FormatNewText(pCounts->m_nNew);
    } else if (std::wstring* pTime = pData->DayTime()) {
        view.m_strText = FormatDayLabel(Now(), HistoryTimeFromText(*pTime));
    } else if (RecordEntry* pEntry = pData->Entry()) {
        view.m_nIcon = CallIconIndex(pEntry->m_nType, pEntry->m_bNew);
        std::wstring strNames;
        if (!pEntry->m_strName.empty())
            strNames = CContactList::GetInstance()->FormatDisplayNames(pEntry->m_strName);
        view.m_strText = RecordNameText(strNames, pEntry->m_strName);
        view.m_strTime = FormatStartTime(pEntry->m_strTime);
        view.m_strLength = FormatRecordLength(pEntry->m_nDuration);
        view.m_strMark = OneSidedMarkText(pEntry->m_strOneSided);
    }
    return view;
}

LRESULT CTreeCtrlBT::OnEraseBkgnd(HDC) { return 1; }

LRESULT CTreeCtrlBT::OnPaint() {
    CPaintDC dcPaint(m_hWnd);
    RECT rcClient = GetClientRect();
    CMyMemDC dc(dcPaint, rcClient);
    if (dc.IsValid()) PaintRows(dc, rcClient);
    return 0;
}

void CTreeCtrlBT::PaintRows(HDC hDC, const RECT& rcClient) {
    FillSolidRect(hDC, rcClient, RGB(255, 255, 255));
    ::SetBkMode(hDC, TRANSPARENT);
    HTREEITEM hSelected = GetSelectedItem();
    for (HTREEITEM hItem = TreeView_GetFirstVisible(m_hWnd); hItem; hItem = TreeView_GetNextVisible(m_hWnd, hItem)) {
        RECT rcRow = {}, rcText = {};
        if (!TreeView_GetItemRect(m_hWnd, hItem, &rcRow, FALSE)) break;
        if (rcRow.top >= rcClient.bottom) break;
        TreeView_GetItemRect(m_hWnd, hItem, &rcText, TRUE);
        rcRow.left = rcClient.left;
        rcRow.right = rcClient.right;
        DrawRow(hDC, hItem, rcRow, rcText.left, hItem == hSelected);
    }
}

void CTreeCtrlBT::DrawRow(HDC hDC, HTREEITEM hItem, const RECT& rcRow, int x0, bool bSelected) {
    TreeRowView view = DescribeRow(hItem);
    switch (view.m_nKind) {
    case ITEM_ROOT: DrawRootRow(hDC, view, rcRow, x0); break;
    case ITEM_DAY: DrawDayRow(hDC, hItem, view, rcRow, x0); break;
    case ITEM_RECORD: DrawRecordRow(hDC, hItem, view, rcRow, x0, bSelected); break;
    default: break;
    }
    if (m_bSeparators) {
        int xStart = rcRow.left + (view.m_nKind == ITEM_RECORD ? Dpi::Scale(16, m_nArtDpi) : 0);
        DrawLine(hDC, xStart, rcRow.right, rcRow.bottom - 1, TREE_SEPARATOR);
    }
}

void CTreeCtrlBT::DrawRootRow(HDC hDC, const TreeRowView& view, const RECT& rcRow, int x0) {
    FillSolidRect(hDC, rcRow, TREE_ROOT_BACK);
    CSelectObject selFont(hDC, m_fontNormal);
    const int yIcon = rcRow.top + (rcRow.bottom - rcRow.top - Dpi::Scale(16, m_nArtDpi)) / 2;
    m_imgRoot.Draw(0, hDC, x0, yIcon);
    RECT rcText = {x0 + Dpi::Scale(20, m_nArtDpi), rcRow.top, rcRow.right, rcRow.bottom};
    if (!view.m_strBadge.empty()) {
        SIZE size = {};
        ::GetTextExtentPoint32W(hDC, view.m_strBadge.c_str(), (int)view.m_strBadge.size(), &size);
        RECT rcBadge = {rcRow.right - 2 - (size.cx + 20), rcRow.top + 2, rcRow.right - 2, rcRow.bottom - 2};
        FillRoundRect(hDC, rcBadge, 5, TREE_BADGE);
        DrawTextIn(hDC, view.m_strBadge, rcBadge, RGB(0, 0, 0), DT_CENTER);
        rcText.right = rcBadge.left - 4;
    }
    DrawTextIn(hDC, view.m_strText, rcText, RGB(0, 0, 0), DT_LEFT);
}

void CTreeCtrlBT::DrawDayRow(HDC hDC, HTREEITEM hItem, const TreeRowView& view, const RECT& rcRow, int x0) {
    const bool bCollapsed = GetChildItem(hItem) && !IsExpanded(hItem);
    const int yIcon = rcRow.top + (rcRow.bottom - rcRow.top - Dpi::Scale(16, m_nArtDpi)) / 2;
    m_imgDay.Draw(bCollapsed ? 0 : 1, hDC, x0, yIcon);
    CSelectObject selFont(hDC, m_fontBold);
    RECT rcText = {x0 + Dpi::Scale(20, m_nArtDpi), rcRow.top, rcRow.right, rcRow.bottom};
    DrawTextIn(hDC, view.m_strText, rcText, RGB(0, 0, 0), DT_LEFT);
}

void CTreeCtrlBT::DrawRecordRow(HDC hDC, HTREEITEM hItem, const TreeRowView& view, const RECT& rcRow, int x0,
                                bool bSelected) {
    RecordRowLayout l = LayoutRecordRow(rcRow, x0, m_nArtDpi);
    COLORREF crName = RGB(0, 0, 0), crTime = TREE_TIME_TEXT;
    if (bSelected) {
        FillRoundRect(hDC, l.rcSelection, 3, TREE_ACCENT);
        crName = RGB(255, 255, 255);
        crTime = TREE_TIME_TEXT_SELECTED;
    }
    if (view.m_nIcon >= 0) m_imgCalls.Draw(view.m_nIcon, hDC, l.rcIcon.left, l.rcIcon.top);
    CSelectObject selFont(hDC, m_fontNormal);
    RECT rcName = l.rcName;
    if (!view.m_strMark.empty()) {
        // A tag at the end of the names: the names give way to it.
        SIZE size = {};
        ::GetTextExtentPoint32W(hDC, view.m_strMark.c_str(), (int)view.m_strMark.size(), &size);
        RECT rcMark = {std::max(rcName.left, rcName.right - 4 - (size.cx + 10)), rcRow.top + 2, rcName.right - 4,
                       rcRow.bottom - 2};
        FillRoundRect(hDC, rcMark, 5, TREE_MARK);
        DrawTextIn(hDC, view.m_strMark, rcMark, RGB(255, 255, 255), DT_CENTER);
        rcName.right = rcMark.left - 4;
    }
    DrawTextIn(hDC, view.m_strText, rcName, crName, DT_LEFT);
    DrawTextIn(hDC, view.m_strTime, l.rcTime, crTime, DT_CENTER);
    DrawTextIn(hDC, view.m_strLength, l.rcLength, crTime, DT_CENTER);
    if (bSelected) {
        m_imgActions.Draw(ACTIONICON_DELETE_SELECTED, hDC, l.ptDeleteIcon.x, l.ptDeleteIcon.y);
        m_imgActions.Draw(ACTIONICON_FOLDER_SELECTED, hDC, l.ptFolderIcon.x, l.ptFolderIcon.y);
    } else if (hItem == m_hHoverItem && m_nHoverSpot != ROWSPOT_NONE) {
        if (m_nHoverSpot == ROWSPOT_DELETE)
            m_imgActions.Draw(ACTIONICON_DELETE, hDC, l.ptDeleteIcon.x, l.ptDeleteIcon.y);
        else
            m_imgActions.Draw(ACTIONICON_FOLDER, hDC, l.ptFolderIcon.x, l.ptFolderIcon.y);
    }
}

void CTreeCtrlBT::InvalidateSpots(HTREEITEM hItem) const {
    if (!hItem) return;
    RECT rcRow = GetRowRect(hItem);
    if (::IsRectEmpty(&rcRow)) return;
    RecordRowLayout l = LayoutRecordRow(rcRow, rcRow.left, m_nArtDpi);
    ::InvalidateRect(m_hWnd, &l.rcDeleteSpot, FALSE);
    ::InvalidateRect(m_hWnd, &l.rcFolderSpot, FALSE);
}

LRESULT CTreeCtrlBT::OnMouseMove(UINT nFlags, POINT pt) {
    if (!m_bTrackingLeave) m_bTrackingLeave = TrackMouseLeave();
    HTREEITEM hItem = HitTest(pt);
    if (hItem != m_hUnderPointer) {
        m_hUnderPointer = hItem;
        m_nHoverSpot = ROWSPOT_NONE;
        Invalidate(false);
    }
    HistoryItemData* pData = GetItemData(hItem);
    if (pData && pData->m_nKind == ITEM_RECORD) {
        int nSpot = HitTestRowSpot(GetRowRect(hItem), pt, m_nArtDpi);
        if (nSpot != ROWSPOT_NONE && (nSpot != m_nHoverSpot || hItem != m_hHoverItem)) {
            m_hHoverItem = hItem;
            m_nHoverSpot = nSpot;
            InvalidateSpots(hItem);
            UpdateWindow();
        }
    }
    return CWindow::OnMouseMove(nFlags, pt);
}

LRESULT CTreeCtrlBT::OnMouseLeave() {
    m_bTrackingLeave = false;
    m_hUnderPointer = nullptr;
    m_nHoverSpot = ROWSPOT_NONE;
    InvalidateSpots(m_hHoverItem);
    return CWindow::OnMouseLeave();
}

LRESULT CTreeCtrlBT::OnLButtonDown(UINT nFlags, POINT pt) {
    HTREEITEM hItem = HitTest(pt);
    int nSpot = ROWSPOT_NONE;
    if (hItem && hItem == m_hHoverItem) nSpot = HitTestRowSpot(GetRowRect(hItem), pt, m_nArtDpi);
    // The day mark stands where the expand button would be: a click on it toggles.
    bool bOnDayMark = false;
    if (HistoryItemData* pHit = GetItemData(hItem); pHit && pHit->m_nKind == ITEM_DAY) {
        RECT rcText = {};
        TreeView_GetItemRect(m_hWnd, hItem, &rcText, TRUE);
        bOnDayMark = pt.x >= rcText.left && pt.x < rcText.left + Dpi::Scale(18, m_nArtDpi);
    }
    // The tree selects the row first; the window handles the action afterwards.
    LRESULT lResult = CWindow::OnLButtonDown(nFlags, pt);
    if (bOnDayMark && GetChildItem(hItem)) {
        Expand(hItem, TVE_TOGGLE);
        Invalidate(false);
    }
    if (!hItem || !m_hNotifyWnd || nSpot == ROWSPOT_NONE) return lResult;
    HistoryItemData* pData = GetItemData(hItem);
    if (!pData || pData->m_nKind != ITEM_RECORD) return lResult;
    UINT uMsg = nSpot == ROWSPOT_DELETE ? WM_HISTORY_DELETE : WM_HISTORY_OPENFOLDER;
    ::PostMessageW(m_hNotifyWnd, uMsg, (WPARAM)hItem, (LPARAM)pData);
    return lResult;
}

bool CTreeCtrlBT::OnReflect(UINT uMsg, WPARAM, LPARAM lParam, LRESULT&) {
    auto* pHdr = reinterpret_cast<NMHDR*>(lParam);
    if (uMsg == WM_NOTIFY && pHdr && pHdr->code == TVN_DELETEITEMW)
        ForgetItem(reinterpret_cast<NMTREEVIEWW*>(lParam)->itemOld.hItem);
    return false;
}

LRESULT CTreeCtrlBT::OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    // Esc and Ctrl+F reach the window's filter from the tree as well.
    if (uMsg == WM_KEYDOWN && m_hNotifyWnd) {
        if (WPARAM wKey = HistoryKeyOf(wParam)) {
            ::SendMessageW(m_hNotifyWnd, WM_HISTORY_KEY, wKey, 0);
            return 0;
        }
        // Enter plays the selected recording and Delete deletes it, as the row's spots do.
        if (wParam == VK_RETURN || wParam == VK_DELETE) {
            HTREEITEM hItem = GetSelectedItem();
            HistoryItemData* pData = GetItemData(hItem);
            if (pData && pData->m_nKind == ITEM_RECORD && !(lParam & (1 << 30)))
                ::PostMessageW(m_hNotifyWnd, wParam == VK_RETURN ? WM_HISTORY_PLAY : WM_HISTORY_DELETE, (WPARAM)hItem,
                               (LPARAM)pData);
            return 0;
        }
    }
    // In a dialog Enter would go to the dialog's default button instead.
    if (uMsg == WM_GETDLGCODE) {
        const MSG* pMsg = reinterpret_cast<const MSG*>(lParam);
        LRESULT lCode = CWindow::OnMessage(uMsg, wParam, lParam);
        if (pMsg && pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_RETURN) lCode |= DLGC_WANTMESSAGE;
        return lCode;
    }
    return CWindow::OnMessage(uMsg, wParam, lParam);
}
