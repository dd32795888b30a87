#pragma once
// GDI objects and device contexts that release themselves: pens, brushes, fonts
// and bitmaps are deleted, selections restored, DCs released or deleted by the
// destructor. Movable, not copyable.
#include <windows.h>

#include <utility>

template <class T>
class CGdiObject {
public:
    CGdiObject() = default;
    explicit CGdiObject(T h) : m_h(h) {}
    ~CGdiObject() { Reset(); }
    CGdiObject(CGdiObject&& o) noexcept : m_h(o.Release()) {}
    CGdiObject& operator=(CGdiObject&& o) noexcept {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    T Get() const { return m_h; }
    operator T() const { return m_h; }
    bool IsNull() const { return m_h == nullptr; }
    void Reset(T h = nullptr) {
        if (m_h) ::DeleteObject(m_h);
        m_h = h;
    }
    T Release() { return std::exchange(m_h, nullptr); }

protected:
    T m_h = nullptr;
};

class CPen : public CGdiObject<HPEN> {
public:
    CPen() = default;
    CPen(int nStyle, int nWidth, COLORREF cr) : CGdiObject(::CreatePen(nStyle, nWidth, cr)) {}
};

class CBrush : public CGdiObject<HBRUSH> {
public:
    CBrush() = default;
    explicit CBrush(COLORREF cr) : CGdiObject(::CreateSolidBrush(cr)) {}
};

class CFont : public CGdiObject<HFONT> {
public:
    CFont() = default;
    explicit CFont(const LOGFONTW& lf) : CGdiObject(::CreateFontIndirectW(&lf)) {}
    // The description of any font (e.g. a dialog's), to derive a variant from it.
    static LOGFONTW GetLogFont(HFONT hFont);
};

class CBitmap : public CGdiObject<HBITMAP> {
public:
    CBitmap() = default;
    explicit CBitmap(HBITMAP h) : CGdiObject(h) {}
    // A picture of the program drawn for the given DPI (its 96-DPI BITMAP if none is).
    bool Load(UINT nId, UINT nDpi = 96);
    bool CreateCompatible(HDC hDC, int cx, int cy);
    // A top-down 32-bit DIB section; pBits (optional) receives its pixels.
    bool CreateDib32(int cx, int cy, void** ppBits = nullptr);
    SIZE GetSize() const;
};

// Selects an object into a DC for the lifetime of this object.
class CSelectObject {
public:
    CSelectObject(HDC hDC, HGDIOBJ hObj) : m_hDC(hDC), m_hOld(::SelectObject(hDC, hObj)) {}
    ~CSelectObject() {
        if (m_hOld) ::SelectObject(m_hDC, m_hOld);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};

// SaveDC / RestoreDC around a block that changes modes, colours or the origin.
class CSaveDC {
public:
    explicit CSaveDC(HDC hDC) : m_hDC(hDC), m_nSaved(::SaveDC(hDC)) {}
    ~CSaveDC() {
        if (m_nSaved) ::RestoreDC(m_hDC, m_nSaved);
    }
    CSaveDC(const CSaveDC&) = delete;
    CSaveDC& operator=(const CSaveDC&) = delete;

private:
    HDC m_hDC;
    int m_nSaved;
};

// A memory DC (CreateCompatibleDC) deleted by the destructor.
class CCompatibleDC {
public:
    explicit CCompatibleDC(HDC hTarget = nullptr) : m_hDC(::CreateCompatibleDC(hTarget)) {}
    ~CCompatibleDC() {
        if (m_hDC) ::DeleteDC(m_hDC);
    }
    CCompatibleDC(const CCompatibleDC&) = delete;
    CCompatibleDC& operator=(const CCompatibleDC&) = delete;
    HDC Get() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

private:
    HDC m_hDC;
};

// BeginPaint / EndPaint. While the window answers WM_PRINTCLIENT (CWindow turns
// that into OnPaint), it is the DC given there instead, so every window that
// paints through CPaintDC can also be drawn into any DC: the self-drawn
// controls use that to show their parent's picture behind them.
class CPaintDC {
public:
    explicit CPaintDC(HWND hWnd);
    ~CPaintDC() {
        if (!m_bPrint) ::EndPaint(m_hWnd, &m_ps);
    }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    HDC Get() const { return m_hDC; }
    operator HDC() const { return m_hDC; }
    const PAINTSTRUCT& Ps() const { return m_ps; }

    // The window property that holds the WM_PRINTCLIENT target while it is drawn.
    static constexpr wchar_t PROP_PRINT_DC[] = L"OmbraPrintDC";

private:
    HWND m_hWnd;
    PAINTSTRUCT m_ps{};
    HDC m_hDC = nullptr;
    bool m_bPrint = false;
};

// GetDC / ReleaseDC.
class CClientDC {
public:
    explicit CClientDC(HWND hWnd) : m_hWnd(hWnd), m_hDC(::GetDC(hWnd)) {}
    ~CClientDC() {
        if (m_hDC) ::ReleaseDC(m_hWnd, m_hDC);
    }
    CClientDC(const CClientDC&) = delete;
    CClientDC& operator=(const CClientDC&) = delete;
    HDC Get() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

private:
    HWND m_hWnd;
    HDC m_hDC;
};

// Off-screen painting: a bitmap of the target rectangle in a memory DC whose
// coordinates are those of the target, copied to the target in one piece when
// the object ends (or at Flush), so the screen never shows a half-drawn state.
class CMemDC {
public:
    CMemDC(HDC hTarget, const RECT& rc);
    ~CMemDC() { Flush(); }
    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    HDC Get() const { return m_dc; }
    operator HDC() const { return m_dc; }
    const RECT& GetRect() const { return m_rc; }
    bool IsValid() const { return m_dc.Get() && !m_bmp.IsNull(); }
    // Copies the picture to the target now; later drawing is not copied again.
    void Flush();
    // Forget the picture: nothing is copied.
    void Discard() { m_bDone = true; }

private:
    HDC m_hTarget;
    RECT m_rc;
    CCompatibleDC m_dc;
    CBitmap m_bmp;
    HGDIOBJ m_hOldBmp = nullptr;
    bool m_bDone = false;
};

// Fills a rectangle with one colour (ExtTextOut with ETO_OPAQUE: no brush needed).
void FillSolidRect(HDC hDC, const RECT& rc, COLORREF cr);
// A rectangle outline of 1 pixel.
void FrameRectColor(HDC hDC, const RECT& rc, COLORREF cr);
