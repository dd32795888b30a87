#include "widgets/MemDCStatic.h"

void DrawParentBackground(HWND hChild, HDC hDC, const RECT& rcClient) {
    HWND hParent = ::GetParent(hChild);
    HBRUSH hBrush = nullptr;
    if (hParent) hBrush = (HBRUSH)::SendMessageW(hParent, WM_CTLCOLORSTATIC, (WPARAM)hDC, (LPARAM)hChild);
    ::FillRect(hDC, &rcClient, hBrush ? hBrush : ::GetSysColorBrush(COLOR_BTNFACE));
    if (!hParent) return;
    // Shift the origin so the parent draws the part that lies behind the child.
    POINT pt{0, 0};
    ::MapWindowPoints(hChild, hParent, &pt, 1);
    CSaveDC save(hDC);
    POINT ptOrg{};
    ::GetWindowOrgEx(hDC, &ptOrg);
    ::SetWindowOrgEx(hDC, ptOrg.x + pt.x, ptOrg.y + pt.y, nullptr);
    ::SendMessageW(hParent, WM_PRINTCLIENT, (WPARAM)hDC, PRF_CLIENT);
}

LRESULT CMemDCStatic::OnPaint() {
    CPaintDC dc(m_hWnd);
    RECT rc = GetClientRect();
    CMyMemDC mem(dc, rc);
    if (mem.IsValid()) Draw(mem, rc);
    return 0;
}

void CMemDCStatic::RedrawWithParent() {
    HWND hParent = GetParent();
    if (hParent) {
        RECT rc = GetRectInParent();
        ::InvalidateRect(hParent, &rc, TRUE);
    }
    Invalidate(false);
}
