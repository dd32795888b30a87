#pragma once
// CWindow: one C++ object per HWND, messages routed to a few virtual handlers.
//
// A window or control overrides only the handlers it answers; every handler's
// base version calls Default(), which hands the message on to the previous
// window procedure (a control's own class, DefWindowProc, or, for a dialog,
// the dialog manager). Anything without a handler of its own arrives in
// OnMessage.
//
//   class CLevelLabel : public CWindow {
//   protected:
//       LRESULT OnPaint() override;                         // draws the label
//       LRESULT OnMouseMove(UINT nFlags, POINT pt) override; // hover effect
//   };
//   CLevelLabel m_label;
//   m_label.SubclassDlgItem(1008, m_hWnd);   // in the dialog's OnInitDialog
//
// Notifications from a child (WM_COMMAND, WM_NOTIFY, WM_DRAWITEM, WM_CTLCOLOR*,
// WM_HSCROLL...) are first offered to the child's own object (OnReflect), the
// way owner-drawn controls draw themselves, and then to the parent's handler.
// WM_PRINTCLIENT runs OnPaint into the DC it brings (CPaintDC picks it up).
// Objects are neither copied nor moved: the HWND points back at them.
#include <windows.h>
#include <windowsx.h>  // GET_X_LPARAM...; its SubclassWindow macro would hide ours
#undef SubclassWindow

#include <string>

void RegisterFrameworkClasses();

class CWindow {
public:
    CWindow() = default;
    virtual ~CWindow();
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;

    HWND m_hWnd = nullptr;
    operator HWND() const { return m_hWnd; }

    // The object of a window attached by SubclassWindow/Create/a dialog, or null.
    static CWindow* FromHandle(HWND hWnd);

    // Attach this object to an existing window (a template control) and route its
    // messages here. Fails when the object already has a window or hWnd is null.
    bool SubclassWindow(HWND hWnd);
    bool SubclassDlgItem(UINT nId, HWND hParent);
    // Stops routing; the window itself lives on. Called by the destructor.
    void UnsubclassWindow();
    // Only remember the handle (for wrappers that merely send messages).
    void Attach(HWND hWnd) { m_hWnd = hWnd; }

    // Creates a window of the program's own class "OmbraWindow" (or of a system
    // class such as WC_BUTTONW, then subclassed). The object owns what it creates:
    // the destructor destroys it.
    bool CreateEx(DWORD dwExStyle, const wchar_t* pszClass, const wchar_t* pszTitle, DWORD dwStyle,
                  const RECT& rc, HWND hParent, UINT nId = 0);
    bool DestroyWindow();

    // Thin wrappers, one API call each.
    LRESULT SendMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hWnd, uMsg, wParam, lParam);
    }
    bool PostMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageW(m_hWnd, uMsg, wParam, lParam) != FALSE;
    }
    HWND GetDlgItem(UINT nId) const { return ::GetDlgItem(m_hWnd, (int)nId); }
    UINT GetDlgCtrlID() const { return (UINT)::GetDlgCtrlID(m_hWnd); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    bool ShowWindow(int nCmdShow) const { return ::ShowWindow(m_hWnd, nCmdShow) != FALSE; }
    bool IsWindowVisible() const { return ::IsWindowVisible(m_hWnd) != FALSE; }
    bool IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd) != FALSE; }
    bool EnableWindow(bool bEnable) const { return ::EnableWindow(m_hWnd, bEnable) != FALSE; }
    bool IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }
    bool Invalidate(bool bErase = true) const { return ::InvalidateRect(m_hWnd, nullptr, bErase) != FALSE; }
    bool UpdateWindow() const { return ::UpdateWindow(m_hWnd) != FALSE; }
    RECT GetClientRect() const;
    RECT GetWindowRect() const;
    // The window's rectangle in its parent's client coordinates.
    RECT GetRectInParent() const;
    bool MoveWindow(const RECT& rc, bool bRepaint = true) const;
    bool SetWindowPos(HWND hAfter, int x, int y, int cx, int cy, UINT uFlags) const {
        return ::SetWindowPos(m_hWnd, hAfter, x, y, cx, cy, uFlags) != FALSE;
    }
    std::wstring GetWindowText() const;
    bool SetWindowText(const std::wstring& strText) const { return ::SetWindowTextW(m_hWnd, strText.c_str()) != FALSE; }
    DWORD GetStyle() const { return (DWORD)::GetWindowLongPtrW(m_hWnd, GWL_STYLE); }
    DWORD GetExStyle() const { return (DWORD)::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE); }
    // Adds and removes style bits; uFlags != 0 also calls SetWindowPos (e.g. SWP_FRAMECHANGED).
    void ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT uFlags = 0) const;
    void ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT uFlags = 0) const;
    HFONT GetFont() const { return (HFONT)SendMessage(WM_GETFONT); }
    void SetFont(HFONT hFont, bool bRedraw = true) const { SendMessage(WM_SETFONT, (WPARAM)hFont, bRedraw); }
    UINT_PTR SetTimer(UINT_PTR nId, UINT nElapse) const { return ::SetTimer(m_hWnd, nId, nElapse, nullptr); }
    bool KillTimer(UINT_PTR nId) const { return ::KillTimer(m_hWnd, nId) != FALSE; }
    HWND SetCapture() const { return ::SetCapture(m_hWnd); }
    // Asks for one WM_MOUSELEAVE when the mouse leaves the client area.
    bool TrackMouseLeave() const;

protected:
    // The message being handled, for Default().
    struct CurrentMsg {
        UINT uMsg;
        WPARAM wParam;
        LPARAM lParam;
        bool bDefault;  // Default() was asked for (dialogs: "not handled")
    };

    // Routes one message to the handlers below; override only to see everything.
    virtual LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam);
    // Passes the current message to the previous procedure and returns its result.
    virtual LRESULT Default();
    // A child's notification, offered to the child's object before the parent's
    // handler; return true (with lResult) to stop it there.
    virtual bool OnReflect(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
    // Called once SubclassWindow has attached the object (style tweaks, fonts).
    virtual void PreSubclassWindow() {}
    // Called after the last message (WM_NCDESTROY), m_hWnd already null.
    virtual void OnFinalMessage() {}

    virtual LRESULT OnCreate(CREATESTRUCTW* pCs);
    virtual LRESULT OnDestroy();
    virtual LRESULT OnCommand(UINT nId, UINT nCode, HWND hCtl);
    virtual LRESULT OnNotify(UINT nId, NMHDR* pHdr);
    virtual LRESULT OnPaint();
    virtual LRESULT OnEraseBkgnd(HDC hDC);
    virtual LRESULT OnTimer(UINT_PTR nId);
    virtual LRESULT OnSize(UINT nType, int cx, int cy);
    virtual LRESULT OnMouseMove(UINT nFlags, POINT pt);
    virtual LRESULT OnMouseLeave();
    virtual LRESULT OnLButtonDown(UINT nFlags, POINT pt);
    virtual LRESULT OnLButtonUp(UINT nFlags, POINT pt);
    virtual LRESULT OnLButtonDblClk(UINT nFlags, POINT pt);
    virtual LRESULT OnSetCursor(HWND hWnd, UINT nHitTest, UINT uMouseMsg);
    virtual LRESULT OnSetFocus(HWND hOld);
    virtual LRESULT OnKillFocus(HWND hNew);
    virtual LRESULT OnCaptureChanged(HWND hNew);
    virtual LRESULT OnEnable(bool bEnable);
    // WM_CTLCOLORSTATIC/BTN/EDIT/DLG/LISTBOX/SCROLLBAR; returns the brush.
    virtual LRESULT OnCtlColor(HDC hDC, HWND hCtl, UINT uMsg);
    virtual LRESULT OnDrawItem(UINT nId, DRAWITEMSTRUCT* pDis);
    // Everything else.
    virtual LRESULT OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);

    static LRESULT CALLBACK StaticWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR uIdSubclass, DWORD_PTR dwRefData);
    // Runs WindowProc with the current-message frame set; used by the three entry points.
    LRESULT Dispatch(UINT uMsg, WPARAM wParam, LPARAM lParam, bool* pbDefault = nullptr);
    // Offers a child notification to the child's object.
    static bool ReflectToChild(HWND hChild, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);

    CurrentMsg* m_pCurrentMsg = nullptr;
    bool m_bSubclassed = false;  // routed through SubclassProc
    bool m_bOwnClass = false;    // created with "OmbraWindow": default is DefWindowProc
    bool m_bOwned = false;       // created by this object: destroyed with it

    friend class CDialog;
    friend void RegisterFrameworkClasses();
};

// Window classes the framework registers; call once before creating windows
// (also done by CreateEx). Initialises the common controls as well.
void RegisterFrameworkClasses();
inline constexpr wchar_t OMBRA_WINDOW_CLASS[] = L"OmbraWindow";
// The window property that leads from an HWND back to its CWindow.
inline constexpr wchar_t WND_PROP_OBJECT[] = L"OmbraWindowObject";
