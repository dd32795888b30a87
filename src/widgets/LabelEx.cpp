#include "widgets/LabelEx.h"

#include "base/Dpi.h"

COLORREF LabelTextColor(bool bEnabled, COLORREF crText) { return bEnabled ? crText : LABEL_COLOR_DISABLED; }

int LabelTextLeft(bool bHasIcons, bool bFrame) { return (bHasIcons ? 20 : 4) + (bFrame ? 1 : 0); }

CLabelEx::CLabelEx() {
    m_hHand = (HCURSOR)::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_LABEL_HAND), IMAGE_CURSOR, 0,
                                    0, LR_DEFAULTSIZE | LR_SHARED);
    // A program without the cursor resource still shows a hand.
    if (!m_hHand) m_hHand = ::LoadCursorW(nullptr, IDC_HAND);
}

CLabelEx::~CLabelEx() {
    if (m_bHover && m_hWnd && ::GetCapture() == m_hWnd) ::ReleaseCapture();
}

void CLabelEx::PreSubclassWindow() {
    // SS_NOTIFY: a click reaches the parent as STN_CLICKED (a WM_COMMAND with our id).
    ModifyStyle(0, SS_NOTIFY);
    HWND hParent = GetParent();
    if (hParent) SetFont((HFONT)::SendMessageW(hParent, WM_GETFONT, 0, 0), false);
}

void CLabelEx::SetTextColor(COLORREF cr) {
    // While hovered the blue stays; the new colour is the one the leave brings back.
    if (m_bHover && m_bHoverColor)
        m_crSaved = cr;
    else
        m_crText = cr;
    if (m_hWnd) RedrawWithParent();
}

bool CLabelEx::SetIconList(UINT nIdBitmap, COLORREF crMask) {
    m_nIconId = nIdBitmap;
    m_crIconMask = crMask;
    bool bOk = m_icons.CreateFromBitmap(nIdBitmap, 16, crMask, Dpi::ForWindow(m_hWnd));
    if (m_hWnd) RedrawWithParent();
    return bOk;
}

bool CLabelEx::SetIconList(HBITMAP hStrip, COLORREF crMask) {
    m_nIconId = 0;
    BITMAP bm{};
    bool bOk = hStrip && ::GetObjectW(hStrip, sizeof(bm), &bm) &&
               m_icons.CreateFromBitmap(hStrip, 16, bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight, crMask);
    if (m_hWnd) RedrawWithParent();
    return bOk;
}

bool CLabelEx::ReloadIconList() { return m_nIconId && SetIconList(m_nIconId, m_crIconMask); }

void CLabelEx::SetIconIndex(int nIndex) {
    m_nIconIndex = nIndex;
    if (m_hWnd) RedrawWithParent();
}

void CLabelEx::SetHoverTracking(bool bOn) {
    m_bHoverTracking = bOn;
    if (!bOn) LeaveHover();
}

void CLabelEx::SetFrame(bool bOn) {
    m_bFrame = bOn;
    if (m_hWnd) RedrawWithParent();
}

void CLabelEx::Draw(HDC hDC, const RECT& rcClient) {
    DrawParentBackground(m_hWnd, hDC, rcClient);
    CSaveDC save(hDC);
    RECT rc = rcClient;
    COLORREF cr = LabelTextColor(IsWindowEnabled(), m_crText);
    if (m_bFrame) {
        FrameRectColor(hDC, rc, cr);
        InflateRect(&rc, -1, -1);
    }
    if (HasIconList() && m_nIconIndex >= 0 && m_nIconIndex < m_icons.GetImageCount())
        m_icons.Draw(m_nIconIndex, hDC, rc.left, rc.top + (rc.bottom - rc.top - m_icons.GetImageHeight()) / 2);
    rc.left = rcClient.left + Dpi::Scale(LabelTextLeft(HasIconList(), m_bFrame), Dpi::ArtDpi(Dpi::ForWindow(m_hWnd)));
    HFONT hFont = GetFont();
    if (hFont) ::SelectObject(hDC, hFont);
    ::SetBkMode(hDC, TRANSPARENT);
    ::SetTextColor(hDC, cr);
    std::wstring str = GetWindowText();
    UINT uFormat = DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS;
    ::DrawTextW(hDC, str.c_str(), (int)str.size(), &rc, uFormat);
    if (m_bUnderline && !str.empty()) {
        RECT rcText = rc;
        ::DrawTextW(hDC, str.c_str(), (int)str.size(), &rcText, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
        int cyText = rcText.bottom - rcText.top;
        int y = rc.top + (rc.bottom - rc.top + cyText) / 2;
        if (y >= rc.bottom) y = rc.bottom - 1;
        LONG nRight = rcText.right < rc.right ? rcText.right : rc.right;
        FillSolidRect(hDC, RECT{rc.left, y, nRight, y + 1}, LABEL_COLOR_HOVER);
    }
}

void CLabelEx::EnterHover() {
    m_bHover = true;
    SetCapture();
    if (m_hHand) ::SetCursor(m_hHand);
    if (m_bHoverColor) {
        m_crSaved = m_crText;
        m_crText = LABEL_COLOR_HOVER;
    }
    m_bUnderline = m_bHoverUnderline;
    TrackMouseLeave();
    RedrawWithParent();
}

void CLabelEx::LeaveHover() {
    if (!m_bHover || m_bLeaving) return;
    m_bLeaving = true;  // ReleaseCapture sends WM_CAPTURECHANGED back to us
    m_bHover = false;
    if (m_bHoverColor) m_crText = m_crSaved;
    m_bUnderline = false;
    if (::GetCapture() == m_hWnd) ::ReleaseCapture();
    m_bLeaving = false;
    RedrawWithParent();
}

LRESULT CLabelEx::OnMouseMove(UINT, POINT pt) {
    RECT rc = GetClientRect();
    bool bInside = ::PtInRect(&rc, pt) != FALSE;
    if (m_bHover) {
        if (!bInside)
            LeaveHover();
        else if (m_hHand)
            ::SetCursor(m_hHand);
    } else if (bInside && m_bHoverTracking) {
        EnterHover();
    }
    return 0;
}

LRESULT CLabelEx::OnMouseLeave() {
    LeaveHover();
    return 0;
}

LRESULT CLabelEx::OnCaptureChanged(HWND hNew) {
    // Someone else took the mouse (a menu, a drag): the hover ends too.
    if (hNew != m_hWnd) LeaveHover();
    return Default();
}

LRESULT CLabelEx::OnLButtonDown(UINT, POINT) {
    m_bPressed = !m_bPressed;
    RedrawWithParent();
    return Default();  // the static control sends STN_CLICKED
}

LRESULT CLabelEx::OnSetCursor(HWND hWnd, UINT nHitTest, UINT uMouseMsg) {
    if (m_bHover && m_hHand) {
        ::SetCursor(m_hHand);
        return TRUE;
    }
    return CMemDCStatic::OnSetCursor(hWnd, nHitTest, uMouseMsg);
}

// The static control itself would paint its plain text right away on these;
// only our own painting may show.
LRESULT CLabelEx::OnEnable(bool) {
    RedrawWithParent();
    return 0;
}

LRESULT CLabelEx::OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_SETTEXT) {
        LRESULT lResult = ::DefWindowProcW(m_hWnd, uMsg, wParam, lParam);
        RedrawWithParent();
        return lResult;
    }
    return CMemDCStatic::OnMessage(uMsg, wParam, lParam);
}
