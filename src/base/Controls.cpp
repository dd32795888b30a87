#include "base/Controls.h"

#include "base/Dpi.h"
#include "base/Gdi.h"

int CTabCtrl::InsertItem(int nIndex, const std::wstring& strText) const {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(strText.c_str());
    return (int)SendMessage(TCM_INSERTITEMW, (WPARAM)nIndex, (LPARAM)&item);
}

std::wstring CTabCtrl::GetItemText(int nIndex) const {
    wchar_t sz[256] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = sz;
    item.cchTextMax = 255;
    if (!SendMessage(TCM_GETITEMW, (WPARAM)nIndex, (LPARAM)&item)) return std::wstring();
    // The control may point pszText at its own copy instead of filling ours.
    return item.pszText ? std::wstring(item.pszText) : std::wstring();
}

RECT CTabCtrl::GetItemRect(int nIndex) const {
    RECT rc{};
    SendMessage(TCM_GETITEMRECT, (WPARAM)nIndex, (LPARAM)&rc);
    return rc;
}

RECT CTabCtrl::AdjustRect(bool bLarger, const RECT& rc) const {
    RECT r = rc;
    SendMessage(TCM_ADJUSTRECT, bLarger, (LPARAM)&r);
    return r;
}

bool CToolTipCtrl::Create(HWND hOwner) {
    if (m_hWnd) return true;
    RegisterFrameworkClasses();
    HWND hWnd = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  ::GetAncestor(hOwner, GA_ROOT), nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!hWnd) return false;
    m_hWnd = hWnd;
    m_bOwned = true;
    return true;
}

bool CToolTipCtrl::AddTool(HWND hTool, const std::wstring& strText) {
    m_strBuf = strText;
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof(ti);
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = ::GetParent(hTool) ? ::GetParent(hTool) : hTool;
    ti.uId = (UINT_PTR)hTool;
    ti.lpszText = m_strBuf.data();
    return SendMessage(TTM_ADDTOOLW, 0, (LPARAM)&ti) != FALSE;
}

void CToolTipCtrl::UpdateTipText(HWND hTool, const std::wstring& strText) {
    m_strBuf = strText;
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof(ti);
    ti.uFlags = TTF_IDISHWND;
    ti.hwnd = ::GetParent(hTool) ? ::GetParent(hTool) : hTool;
    ti.uId = (UINT_PTR)hTool;
    ti.lpszText = m_strBuf.data();
    SendMessage(TTM_UPDATETIPTEXTW, 0, (LPARAM)&ti);
}

std::wstring CToolTipCtrl::GetText(HWND hTool) const {
    wchar_t sz[512] = {};
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof(ti);
    ti.hwnd = ::GetParent(hTool) ? ::GetParent(hTool) : hTool;
    ti.uId = (UINT_PTR)hTool;
    ti.lpszText = sz;
    SendMessage(TTM_GETTEXTW, 511, (LPARAM)&ti);
    return sz;
}

bool CImageList::CreateFromBitmap(UINT nIdBitmap, int cx, COLORREF crMask, UINT nDpi) {
    CBitmap bmp;
    if (!bmp.Load(nIdBitmap, nDpi)) return false;
    SIZE sz = bmp.GetSize();
    return CreateFromBitmap(bmp, Dpi::Scale(cx, Dpi::ArtDpi(nDpi)), sz.cy, crMask);
}

bool CImageList::CreateFromBitmap(HBITMAP hBitmap, int cx, int cy, COLORREF crMask) {
    Reset();
    if (!hBitmap || cx <= 0 || cy <= 0) return false;
    m_h = ImageList_Create(cx, cy, ILC_COLOR24 | ILC_MASK, 8, 8);
    if (!m_h) return false;
    if (ImageList_AddMasked(m_h, hBitmap, crMask) < 0) {
        Reset();
        return false;
    }
    return true;
}
