#include "base/Window.h"

#include "base/Gdi.h"

#include <commctrl.h>

namespace {
constexpr UINT_PTR WND_SUBCLASS_ID = 0x4F4D;

POINT PointFromLParam(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }
}  // namespace

void RegisterFrameworkClasses() {
    static bool s_bDone = false;
    if (s_bDone) return;
    s_bDone = true;
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&icc);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = CWindow::StaticWndProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = OMBRA_WINDOW_CLASS;
    ::RegisterClassExW(&wc);
}

CWindow::~CWindow() {
    if (m_bOwned && IsWindow()) ::DestroyWindow(m_hWnd);
    UnsubclassWindow();
}

CWindow* CWindow::FromHandle(HWND hWnd) {
    return hWnd ? static_cast<CWindow*>(::GetPropW(hWnd, WND_PROP_OBJECT)) : nullptr;
}

bool CWindow::SubclassWindow(HWND hWnd) {
    if (m_hWnd || !hWnd || FromHandle(hWnd)) return false;
    if (!::SetWindowSubclass(hWnd, SubclassProc, WND_SUBCLASS_ID, (DWORD_PTR)this)) return false;
    ::SetPropW(hWnd, WND_PROP_OBJECT, this);
    m_hWnd = hWnd;
    m_bSubclassed = true;
    PreSubclassWindow();
    return true;
}

bool CWindow::SubclassDlgItem(UINT nId, HWND hParent) { return SubclassWindow(::GetDlgItem(hParent, (int)nId)); }

void CWindow::UnsubclassWindow() {
    if (!m_bSubclassed) return;
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        ::RemoveWindowSubclass(m_hWnd, SubclassProc, WND_SUBCLASS_ID);
        if (FromHandle(m_hWnd) == this) ::RemovePropW(m_hWnd, WND_PROP_OBJECT);
    }
    m_bSubclassed = false;
    m_hWnd = nullptr;
}

bool CWindow::CreateEx(DWORD dwExStyle, const wchar_t* pszClass, const wchar_t* pszTitle, DWORD dwStyle,
                       const RECT& rc, HWND hParent, UINT nId) {
    if (m_hWnd) return false;
    RegisterFrameworkClasses();
    bool bOwnClass = !pszClass || ::lstrcmpiW(pszClass, OMBRA_WINDOW_CLASS) == 0;
    HMENU hMenu = (dwStyle & WS_CHILD) ? (HMENU)(UINT_PTR)nId : nullptr;
    HWND hWnd = ::CreateWindowExW(dwExStyle, bOwnClass ? OMBRA_WINDOW_CLASS : pszClass, pszTitle, dwStyle,
                                  rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, hParent, hMenu,
                                  ::GetModuleHandleW(nullptr), bOwnClass ? this : nullptr);
    if (!hWnd) return false;
    if (!bOwnClass && !SubclassWindow(hWnd)) {
        ::DestroyWindow(hWnd);
        return false;
    }
    m_bOwned = true;
    return true;
}

bool CWindow::DestroyWindow() {
    if (!IsWindow()) return false;
    return ::DestroyWindow(m_hWnd) != FALSE;
}

RECT CWindow::GetClientRect() const {
    RECT rc{};
    ::GetClientRect(m_hWnd, &rc);
    return rc;
}

RECT CWindow::GetWindowRect() const {
    RECT rc{};
    ::GetWindowRect(m_hWnd, &rc);
    return rc;
}

RECT CWindow::GetRectInParent() const {
    RECT rc = GetWindowRect();
    ::MapWindowPoints(HWND_DESKTOP, GetParent(), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

bool CWindow::MoveWindow(const RECT& rc, bool bRepaint) const {
    return ::MoveWindow(m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, bRepaint) != FALSE;
}

std::wstring CWindow::GetWindowText() const {
    int n = ::GetWindowTextLengthW(m_hWnd);
    std::wstring str(n + 1, L'\0');
    n = ::GetWindowTextW(m_hWnd, str.data(), n + 1);
    str.resize(n > 0 ? n : 0);
    return str;
}

void CWindow::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT uFlags) const {
    DWORD dw = GetStyle();
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, (dw & ~dwRemove) | dwAdd);
    if (uFlags) SetWindowPos(nullptr, 0, 0, 0, 0, uFlags | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindow::ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT uFlags) const {
    DWORD dw = GetExStyle();
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, (dw & ~dwRemove) | dwAdd);
    if (uFlags) SetWindowPos(nullptr, 0, 0, 0, 0, uFlags | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CWindow::TrackMouseLeave() const {
    TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, m_hWnd, 0};
    return ::TrackMouseEvent(&tme) != FALSE;
}

LRESULT CWindow::Dispatch(UINT uMsg, WPARAM wParam, LPARAM lParam, bool* pbDefault) {
    CurrentMsg cur{uMsg, wParam, lParam, false};
    CurrentMsg* pPrev = m_pCurrentMsg;
    m_pCurrentMsg = &cur;
    LRESULT lResult = WindowProc(uMsg, wParam, lParam);
    m_pCurrentMsg = pPrev;
    if (pbDefault) *pbDefault = cur.bDefault;
    return lResult;
}

LRESULT CWindow::Default() {
    CurrentMsg* p = m_pCurrentMsg;
    if (!p || !m_hWnd) return 0;
    p->bDefault = true;
    if (m_bSubclassed) return ::DefSubclassProc(m_hWnd, p->uMsg, p->wParam, p->lParam);
    return ::DefWindowProcW(m_hWnd, p->uMsg, p->wParam, p->lParam);
}

bool CWindow::ReflectToChild(HWND hChild, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) {
    CWindow* pChild = FromHandle(hChild);
    return pChild && pChild->OnReflect(uMsg, wParam, lParam, lResult);
}

bool CWindow::OnReflect(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT CWindow::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    LRESULT lResult = 0;
    switch (uMsg) {
    case WM_CREATE:
        return OnCreate(reinterpret_cast<CREATESTRUCTW*>(lParam));
    case WM_DESTROY:
        return OnDestroy();
    case WM_COMMAND:
        if (lParam && ReflectToChild((HWND)lParam, uMsg, wParam, lParam, lResult)) return lResult;
        return OnCommand(LOWORD(wParam), HIWORD(wParam), (HWND)lParam);
    case WM_NOTIFY: {
        NMHDR* pHdr = reinterpret_cast<NMHDR*>(lParam);
        if (pHdr && ReflectToChild(pHdr->hwndFrom, uMsg, wParam, lParam, lResult)) return lResult;
        return OnNotify(pHdr ? (UINT)pHdr->idFrom : 0, pHdr);
    }
    case WM_PAINT:
        return OnPaint();
    case WM_PRINTCLIENT:
        // OnPaint draws into the given DC (CPaintDC picks it up); a handler that
        // calls Default() passes the WM_PRINTCLIENT itself on.
        if ((lParam & PRF_CLIENT) && wParam && !::GetPropW(m_hWnd, CPaintDC::PROP_PRINT_DC)) {
            ::SetPropW(m_hWnd, CPaintDC::PROP_PRINT_DC, (HANDLE)wParam);
            LRESULT lPrint = OnPaint();
            ::RemovePropW(m_hWnd, CPaintDC::PROP_PRINT_DC);
            return lPrint;
        }
        return OnMessage(uMsg, wParam, lParam);
    case WM_ERASEBKGND:
        return OnEraseBkgnd((HDC)wParam);
    case WM_TIMER:
        return OnTimer(wParam);
    case WM_SIZE:
        return OnSize((UINT)wParam, LOWORD(lParam), HIWORD(lParam));
    case WM_MOUSEMOVE:
        return OnMouseMove((UINT)wParam, PointFromLParam(lParam));
    case WM_MOUSELEAVE:
        return OnMouseLeave();
    case WM_LBUTTONDOWN:
        return OnLButtonDown((UINT)wParam, PointFromLParam(lParam));
    case WM_LBUTTONUP:
        return OnLButtonUp((UINT)wParam, PointFromLParam(lParam));
    case WM_LBUTTONDBLCLK:
        return OnLButtonDblClk((UINT)wParam, PointFromLParam(lParam));
    case WM_SETCURSOR:
        return OnSetCursor((HWND)wParam, LOWORD(lParam), HIWORD(lParam));
    case WM_SETFOCUS:
        return OnSetFocus((HWND)wParam);
    case WM_KILLFOCUS:
        return OnKillFocus((HWND)wParam);
    case WM_CAPTURECHANGED:
        return OnCaptureChanged((HWND)lParam);
    case WM_ENABLE:
        return OnEnable(wParam != FALSE);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
        if (ReflectToChild((HWND)lParam, uMsg, wParam, lParam, lResult)) return lResult;
        return OnCtlColor((HDC)wParam, (HWND)lParam, uMsg);
    case WM_CTLCOLORDLG:
        return OnCtlColor((HDC)wParam, (HWND)lParam, uMsg);
    case WM_DRAWITEM: {
        DRAWITEMSTRUCT* pDis = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (pDis && pDis->CtlType != ODT_MENU && ReflectToChild(pDis->hwndItem, uMsg, wParam, lParam, lResult))
            return lResult;
        return OnDrawItem((UINT)wParam, pDis);
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (lParam && ReflectToChild((HWND)lParam, uMsg, wParam, lParam, lResult)) return lResult;
        return OnMessage(uMsg, wParam, lParam);
    default:
        return OnMessage(uMsg, wParam, lParam);
    }
}

LRESULT CWindow::OnCreate(CREATESTRUCTW*) { return Default(); }
LRESULT CWindow::OnDestroy() { return Default(); }
LRESULT CWindow::OnCommand(UINT, UINT, HWND) { return Default(); }
LRESULT CWindow::OnNotify(UINT, NMHDR*) { return Default(); }
LRESULT CWindow::OnPaint() { return Default(); }
LRESULT CWindow::OnEraseBkgnd(HDC) { return Default(); }
LRESULT CWindow::OnTimer(UINT_PTR) { return Default(); }
LRESULT CWindow::OnSize(UINT, int, int) { return Default(); }
LRESULT CWindow::OnMouseMove(UINT, POINT) { return Default(); }
LRESULT CWindow::OnMouseLeave() { return Default(); }
LRESULT CWindow::OnLButtonDown(UINT, POINT) { return Default(); }
LRESULT CWindow::OnLButtonUp(UINT, POINT) { return Default(); }
LRESULT CWindow::OnLButtonDblClk(UINT, POINT) { return Default(); }
LRESULT CWindow::OnSetCursor(HWND, UINT, UINT) { return Default(); }
LRESULT CWindow::OnSetFocus(HWND) { return Default(); }
LRESULT CWindow::OnKillFocus(HWND) { return Default(); }
LRESULT CWindow::OnCaptureChanged(HWND) { return Default(); }
LRESULT CWindow::OnEnable(bool) { return Default(); }
LRESULT CWindow::OnCtlColor(HDC, HWND, UINT) { return Default(); }
LRESULT CWindow::OnDrawItem(UINT, DRAWITEMSTRUCT*) { return Default(); }
LRESULT CWindow::OnMessage(UINT, WPARAM, LPARAM) { return Default(); }

LRESULT CALLBACK CWindow::StaticWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    CWindow* pWnd = FromHandle(hWnd);
    if (!pWnd && uMsg == WM_NCCREATE) {
        pWnd = static_cast<CWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        if (pWnd) {
            pWnd->m_hWnd = hWnd;
            pWnd->m_bOwnClass = true;
            ::SetPropW(hWnd, WND_PROP_OBJECT, pWnd);
        }
    }
    if (!pWnd) return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
    LRESULT lResult = pWnd->Dispatch(uMsg, wParam, lParam);
    if (uMsg == WM_NCDESTROY) {
        ::RemovePropW(hWnd, WND_PROP_OBJECT);
        pWnd->m_hWnd = nullptr;
        pWnd->m_bOwned = false;
        pWnd->OnFinalMessage();  // may delete the object
    }
    return lResult;
}

LRESULT CALLBACK CWindow::SubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR dwRefData) {
    CWindow* pWnd = reinterpret_cast<CWindow*>(dwRefData);
    if (!pWnd || pWnd->m_hWnd != hWnd) return ::DefSubclassProc(hWnd, uMsg, wParam, lParam);
    LRESULT lResult = pWnd->Dispatch(uMsg, wParam, lParam);
    if (uMsg == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hWnd, SubclassProc, WND_SUBCLASS_ID);
        ::RemovePropW(hWnd, WND_PROP_OBJECT);
        pWnd->m_hWnd = nullptr;
        pWnd->m_bSubclassed = false;
        pWnd->m_bOwned = false;
        pWnd->OnFinalMessage();
    }
    return lResult;
}
