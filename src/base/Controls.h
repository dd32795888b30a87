#pragma once
// Thin wrappers over the standard and common controls: each method is one
// message. Attach() one to a template item to talk to it, or derive from it and
// SubclassDlgItem() to handle its messages too.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "base/Window.h"

class CButton : public CWindow {
public:
    bool GetCheck() const { return SendMessage(BM_GETCHECK) == BST_CHECKED; }
    void SetCheck(bool bChecked) const { SendMessage(BM_SETCHECK, bChecked ? BST_CHECKED : BST_UNCHECKED); }
    void Click() const { SendMessage(BM_CLICK); }
};

class CStatic : public CWindow {};

class CEdit : public CWindow {
public:
    void SetReadOnly(bool bReadOnly) const { SendMessage(EM_SETREADONLY, bReadOnly); }
};

class CComboBox : public CWindow {
public:
    int AddString(const std::wstring& str) const { return (int)SendMessage(CB_ADDSTRING, 0, (LPARAM)str.c_str()); }
    int GetCount() const { return (int)SendMessage(CB_GETCOUNT); }
    int GetCurSel() const { return (int)SendMessage(CB_GETCURSEL); }
    void SetCurSel(int n) const { SendMessage(CB_SETCURSEL, (WPARAM)n); }
};

class CTabCtrl : public CWindow {
public:
    int InsertItem(int nIndex, const std::wstring& strText) const;
    int GetItemCount() const { return (int)SendMessage(TCM_GETITEMCOUNT); }
    int GetCurSel() const { return (int)SendMessage(TCM_GETCURSEL); }
    int SetCurSel(int n) const { return (int)SendMessage(TCM_SETCURSEL, (WPARAM)n); }
    std::wstring GetItemText(int nIndex) const;
    RECT GetItemRect(int nIndex) const;
    // The display area for a given window rectangle (bLarger false), or back.
    RECT AdjustRect(bool bLarger, const RECT& rc) const;
};

class CTrackBar : public CWindow {
public:
    void SetRange(int nMin, int nMax, bool bRedraw = true) const {
        SendMessage(TBM_SETRANGEMIN, FALSE, nMin);
        SendMessage(TBM_SETRANGEMAX, bRedraw, nMax);
    }
    int GetPos() const { return (int)SendMessage(TBM_GETPOS); }
    void SetPos(int n, bool bRedraw = true) const { SendMessage(TBM_SETPOS, bRedraw, n); }
};

// A tooltip window for a control; destroyed with this object.
class CToolTipCtrl : public CWindow {
public:
    ~CToolTipCtrl() override { DestroyWindow(); }
    // Creates the tooltip owned by hOwner's top-level window.
    bool Create(HWND hOwner);
    // One tool covering the whole of hTool's client area (its id is hTool).
    bool AddTool(HWND hTool, const std::wstring& strText);
    void UpdateTipText(HWND hTool, const std::wstring& strText);
    void Activate(bool bActivate) const { SendMessage(TTM_ACTIVATE, bActivate); }
    std::wstring GetText(HWND hTool) const;
    int GetToolCount() const { return (int)SendMessage(TTM_GETTOOLCOUNT); }

private:
    std::wstring m_strBuf;
};

// Owns an image list.
class CImageList {
public:
    CImageList() = default;
    ~CImageList() { Reset(); }
    CImageList(CImageList&& o) noexcept : m_h(o.m_h) { o.m_h = nullptr; }
    CImageList& operator=(CImageList&& o) noexcept {
        if (this != &o) {
            Reset();
            m_h = o.m_h;
            o.m_h = nullptr;
        }
        return *this;
    }
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    // A strip of cx-wide images from a BITMAP resource; crMask marks the transparent pixels.
    // cx is the width of one image at 96 DPI; the strip is the one drawn for nDpi.
    bool CreateFromBitmap(UINT nIdBitmap, int cx, COLORREF crMask, UINT nDpi = 96);
    // The same from a bitmap already loaded (the image list copies it).
    bool CreateFromBitmap(HBITMAP hBitmap, int cx, int cy, COLORREF crMask);
    int GetImageCount() const { return m_h ? ImageList_GetImageCount(m_h) : 0; }
    int GetImageHeight() const {
        int cx = 0, cy = 0;
        return m_h && ImageList_GetIconSize(m_h, &cx, &cy) ? cy : 0;
    }
    bool Draw(int nIndex, HDC hDC, int x, int y, UINT uStyle = ILD_TRANSPARENT) const {
        return m_h && ImageList_Draw(m_h, nIndex, hDC, x, y, uStyle);
    }
    HIMAGELIST Get() const { return m_h; }
    operator HIMAGELIST() const { return m_h; }
    void Reset() {
        if (m_h) ImageList_Destroy(m_h);
        m_h = nullptr;
    }

private:
    HIMAGELIST m_h = nullptr;
};
