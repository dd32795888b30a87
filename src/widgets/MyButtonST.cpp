#include "widgets/MyButtonST.h"

#include <vector>

#include "base/Dpi.h"
#include "widgets/MemDCStatic.h"

namespace {
// While hovered, a slow check notices the window losing activation, which
// the button itself is never told about.
constexpr UINT_PTR BTNST_TIMER_HOVER = 0x5354;
constexpr UINT BTNST_HOVER_CHECK_MS = 200;
}  // namespace

int ChooseButtonSlot(bool bPressed, bool bHover, int nSlots) {
    if (bHover) return bPressed && nSlots > 2 ? 2 : 0;
    return nSlots > 1 ? 1 : 0;
}

COLORREF GreyOf(COLORREF cr) {
    int n = (int)(0.30 * GetRValue(cr) + 0.59 * GetGValue(cr) + 0.11 * GetBValue(cr));
    if (n > 255) n = 255;
    return RGB(n, n, n);
}

CMyButtonST::~CMyButtonST() {
    if (m_hWnd) KillTimer(BTNST_TIMER_HOVER);
}

void CMyButtonST::PreSubclassWindow() {
    ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW);
}

bool CMyButtonST::SetBitmaps(UINT nIdIn, COLORREF crIn, UINT nIdOut, COLORREF crOut, UINT nIdPressed,
                             COLORREF crPressed, UINT nIdSlot3) {
    m_ids = {nIdIn, nIdOut, nIdPressed, nIdSlot3};
    m_idColors = {crIn, crOut, crPressed, 0};
    return ReloadBitmaps();
}

bool CMyButtonST::ReloadBitmaps() {
    if (!m_ids[0]) return false;
    CBitmap bmps[BTNST_SLOTS];
    const UINT nDpi = Dpi::ForWindow(m_hWnd);
    bool bOk = true;
    for (int i = 0; i < BTNST_SLOTS && m_ids[i]; ++i)
        if (!bmps[i].Load(m_ids[i], nDpi)) bOk = false;
    // The HBITMAP overload forgets the ids; they are put back after it.
    const auto ids = m_ids;
    bOk = SetBitmaps(bmps[0].Release(), m_idColors[0], bmps[1].Release(), m_idColors[1], bmps[2].Release(),
                     m_idColors[2], bmps[3].Release()) && bOk;
    m_ids = ids;
    return bOk;
}

bool CMyButtonST::SetBitmaps(HBITMAP hIn, COLORREF crIn, HBITMAP hOut, COLORREF crOut, HBITMAP hPressed,
                             COLORREF crPressed, HBITMAP hSlot3) {
    m_ids = {};
    HBITMAP hs[BTNST_SLOTS] = {hIn, hOut, hPressed, hSlot3};
    COLORREF crs[BTNST_SLOTS] = {crIn, crOut, crPressed, 0};
    for (Slot& s : m_slots) s.bmp.Reset();
    m_nSlots = 0;
    bool bEnded = false;
    for (int i = 0; i < BTNST_SLOTS; ++i) {
        // An empty slot ends the list; bitmaps after it are not kept.
        if (!hs[i]) bEnded = true;
        if (bEnded) {
            if (hs[i]) ::DeleteObject(hs[i]);
            continue;
        }
        m_slots[i].bmp.Reset(hs[i]);
        m_slots[i].crTrans = crs[i];
        m_nSlots = i + 1;
    }
    if (m_hWnd) Invalidate();
    return m_nSlots > 0;
}

void CMyButtonST::SetTooltipText(const std::wstring& strText) {
    if (!m_hWnd) return;
    // Never painted: the face is the pictures alone.
    if (GetWindowText() != strText) SetWindowText(strText);
    if (!m_tooltip.IsWindow()) {
        if (!m_tooltip.Create(m_hWnd)) return;
        m_tooltip.AddTool(m_hWnd, strText);
    } else {
        m_tooltip.UpdateTipText(m_hWnd, strText);
    }
    m_tooltip.Activate(true);
}

std::wstring CMyButtonST::GetTooltipText() const {
    return m_tooltip.IsWindow() ? m_tooltip.GetText(m_hWnd) : std::wstring();
}

void CMyButtonST::DrawSlot(HDC hDC, const RECT& rc, const Slot& slot, bool bGrey) {
    SIZE sz = slot.bmp.GetSize();
    if (sz.cx <= 0 || sz.cy <= 0) return;
    // Read the picture as 32-bit pixels, then copy every pixel that is not the
    // transparent colour onto the background, greyed when asked.
    CBitmap dib;
    DWORD* pBits = nullptr;
    if (!dib.CreateDib32(sz.cx, sz.cy, reinterpret_cast<void**>(&pBits))) return;
    {
        CCompatibleDC src(hDC), dst(hDC);
        CSelectObject selSrc(src, slot.bmp), selDst(dst, dib);
        ::BitBlt(dst, 0, 0, sz.cx, sz.cy, src, 0, 0, SRCCOPY);
    }
    ::GdiFlush();
    // The DIB holds 0x00RRGGBB; COLORREF is 0x00BBGGRR.
    auto toDib = [](COLORREF cr) { return (DWORD)((GetRValue(cr) << 16) | (GetGValue(cr) << 8) | GetBValue(cr)); };
    DWORD dwTrans = toDib(slot.crTrans);
    int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    // Centred in the button, like the pictures of a push button.
    int x0 = rc.left + (cx - sz.cx) / 2, y0 = rc.top + (cy - sz.cy) / 2;

    CBitmap back;
    DWORD* pBack = nullptr;
    if (!back.CreateDib32(sz.cx, sz.cy, reinterpret_cast<void**>(&pBack))) return;
    CCompatibleDC mem(hDC);
    CSelectObject selBack(mem, back);
    ::BitBlt(mem, 0, 0, sz.cx, sz.cy, hDC, x0, y0, SRCCOPY);
    ::GdiFlush();
    size_t n = (size_t)sz.cx * sz.cy;
    for (size_t i = 0; i < n; ++i) {
        DWORD px = pBits[i] & 0xFFFFFF;
        if (px == dwTrans) continue;
        if (bGrey) {
            COLORREF g = GreyOf(RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF));
            px = toDib(g);
        }
        pBack[i] = px;
    }
    ::BitBlt(hDC, x0, y0, sz.cx, sz.cy, mem, 0, 0, SRCCOPY);
}

void CMyButtonST::DrawButton(HDC hDC, const RECT& rc, bool bPressed, bool bDisabled) {
    if (m_hWnd)
        DrawParentBackground(m_hWnd, hDC, rc);
    else
        FillSolidRect(hDC, rc, ::GetSysColor(COLOR_BTNFACE));
    if (m_nSlots == 0) return;
    int nSlot = ChooseButtonSlot(bPressed, m_bHover && !bDisabled, m_nSlots);
    DrawSlot(hDC, rc, m_slots[nSlot], bDisabled && m_bGrayDisabled);
}

bool CMyButtonST::OnReflect(UINT uMsg, WPARAM, LPARAM lParam, LRESULT& lResult) {
    if (uMsg != WM_DRAWITEM) return false;
    DRAWITEMSTRUCT* pDis = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
    {
        CMemDC mem(pDis->hDC, pDis->rcItem);
        if (mem.IsValid()) {
            DrawButton(mem, pDis->rcItem, (pDis->itemState & ODS_SELECTED) != 0,
                       (pDis->itemState & ODS_DISABLED) != 0);
            if (ShowsFocusRect(pDis->itemState)) {
                RECT rcFocus = pDis->rcItem;
                ::InflateRect(&rcFocus, -1, -1);
                ::SetTextColor(mem, RGB(0, 0, 0));
                ::SetBkColor(mem, RGB(255, 255, 255));
                ::DrawFocusRect(mem, &rcFocus);
            }
        }
    }
    lResult = TRUE;
    return true;
}

// As Windows does: only once the keyboard has been used in the window (UISF_HIDEFOCUS cleared).
bool CMyButtonST::ShowsFocusRect(UINT nItemState) {
    if (!(nItemState & ODS_FOCUS) || (nItemState & ODS_NOFOCUSRECT)) return false;
    return !(SendMessage(WM_QUERYUISTATE) & UISF_HIDEFOCUS);
}

bool CMyButtonST::IsOwnWindowActive() const {
    HWND hActive = ::GetActiveWindow();
    if (!hActive) return false;
    // The window family counts as one: a docked owned window works while its owner is active.
    return ::GetAncestor(hActive, GA_ROOTOWNER) == ::GetAncestor(m_hWnd, GA_ROOTOWNER);
}

void CMyButtonST::SetHover(bool bHover) {
    if (m_bHover == bHover) return;
    m_bHover = bHover;
    if (bHover) {
        TrackMouseLeave();
        SetTimer(BTNST_TIMER_HOVER, BTNST_HOVER_CHECK_MS);
    } else {
        KillTimer(BTNST_TIMER_HOVER);
    }
    Invalidate();
}

LRESULT CMyButtonST::OnMouseMove(UINT nFlags, POINT pt) {
    RECT rc = GetClientRect();
    SetHover(::PtInRect(&rc, pt) && IsOwnWindowActive());
    return CButton::OnMouseMove(nFlags, pt);
}

LRESULT CMyButtonST::OnMouseLeave() {
    SetHover(false);
    return Default();
}

LRESULT CMyButtonST::OnLButtonDblClk(UINT nFlags, POINT pt) {
    // The button class reports a quick second click on an owner-drawn button
    // only as BN_DOUBLECLICKED; here it is pressed and clicked like the first.
    return SendMessage(WM_LBUTTONDOWN, nFlags, MAKELPARAM(pt.x, pt.y));
}

LRESULT CMyButtonST::OnKillFocus(HWND hNew) {
    SetHover(false);
    return CButton::OnKillFocus(hNew);
}

LRESULT CMyButtonST::OnTimer(UINT_PTR nId) {
    if (nId != BTNST_TIMER_HOVER) return Default();
    if (!IsOwnWindowActive()) SetHover(false);
    return 0;
}

LRESULT CMyButtonST::OnEnable(bool bEnable) {
    if (!bEnable) SetHover(false);
    LRESULT lResult = Default();
    Invalidate();  // the grey face and back
    return lResult;
}

LRESULT CMyButtonST::OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_GETDLGCODE: {
        // Enter presses the focused button, as Space does; the dialog would send IDOK instead.
        const MSG* pMsg = reinterpret_cast<const MSG*>(lParam);
        LRESULT lCode = Default();
        if (pMsg && pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_RETURN) lCode |= DLGC_WANTMESSAGE;
        return lCode;
    }
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            if (!(lParam & (1 << 30)) && IsWindowEnabled())  // not the key's repeats
                ::SendMessageW(GetParent(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(), BN_CLICKED), (LPARAM)m_hWnd);
            return 0;
        }
        return Default();
    case WM_UPDATEUISTATE: {
        LRESULT lResult = Default();
        Invalidate();  // the focus rectangle comes or goes
        return lResult;
    }
    default: return CButton::OnMessage(uMsg, wParam, lParam);
    }
}
