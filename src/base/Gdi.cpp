#include "base/Gdi.h"

#include <wincodec.h>

#include "base/Com.h"
#include "base/Dpi.h"

LOGFONTW CFont::GetLogFont(HFONT hFont) {
    LOGFONTW lf{};
    if (!hFont || !::GetObjectW(hFont, sizeof(lf), &lf)) ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
    return lf;
}

namespace {
// A PNG resource of the given type decoded into a 24-bit DIB section, or null.
HBITMAP LoadPngResource(UINT nId, const wchar_t* pszType) {
    HMODULE hModule = ::GetModuleHandleW(nullptr);
    HRSRC hRes = ::FindResourceW(hModule, MAKEINTRESOURCEW(nId), pszType);
    HGLOBAL hData = hRes ? ::LoadResource(hModule, hRes) : nullptr;
    const BYTE* pData = hData ? static_cast<const BYTE*>(::LockResource(hData)) : nullptr;
    if (!pData) return nullptr;
    CComInit com;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICBitmapSource> bgr;
    UINT cx = 0, cy = 0;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(&factory))) ||
        FAILED(factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(pData), ::SizeofResource(hModule, hRes))) ||
        FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)) ||
        FAILED(::WICConvertBitmapSource(GUID_WICPixelFormat24bppBGR, frame.Get(), &bgr)) ||
        FAILED(bgr->GetSize(&cx, &cy)) || cx == 0 || cy == 0)
        return nullptr;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = static_cast<LONG>(cx);
    bi.bmiHeader.biHeight = -static_cast<LONG>(cy);
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* pBits = nullptr;
    HBITMAP hBitmap = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    if (!hBitmap) return nullptr;
    const UINT nStride = (cx * 3 + 3) & ~3u;
    if (FAILED(bgr->CopyPixels(nullptr, nStride, nStride * cy, static_cast<BYTE*>(pBits)))) {
        ::DeleteObject(hBitmap);
        return nullptr;
    }
    return hBitmap;
}
}  // namespace

bool CBitmap::Load(UINT nId, UINT nDpi) {
    // The larger scales are stored as PNG, which keeps the program small.
    const UINT nArt = Dpi::ArtDpi(nDpi);
    const wchar_t* pszType = nArt == 120 ? L"PNG125" : nArt == 144 ? L"PNG150" : nArt == 192 ? L"PNG200" : nullptr;
    HBITMAP hBitmap = pszType ? LoadPngResource(nId, pszType) : nullptr;
    if (!hBitmap)
        hBitmap = (HBITMAP)::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(nId), IMAGE_BITMAP, 0, 0,
                                        LR_CREATEDIBSECTION);
    Reset(hBitmap);
    return m_h != nullptr;
}

bool CBitmap::CreateCompatible(HDC hDC, int cx, int cy) {
    Reset(::CreateCompatibleBitmap(hDC, cx > 0 ? cx : 1, cy > 0 ? cy : 1));
    return m_h != nullptr;
}

bool CBitmap::CreateDib32(int cx, int cy, void** ppBits) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = cx > 0 ? cx : 1;
    bi.bmiHeader.biHeight = -(cy > 0 ? cy : 1);
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* pBits = nullptr;
    Reset(::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &pBits, nullptr, 0));
    if (ppBits) *ppBits = m_h ? pBits : nullptr;
    return m_h != nullptr;
}

SIZE CBitmap::GetSize() const {
    BITMAP bm{};
    if (!m_h || !::GetObjectW(m_h, sizeof(bm), &bm)) return SIZE{0, 0};
    return SIZE{bm.bmWidth, bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight};
}

CPaintDC::CPaintDC(HWND hWnd) : m_hWnd(hWnd) {
    HDC hPrint = static_cast<HDC>(::GetPropW(hWnd, PROP_PRINT_DC));
    if (hPrint) {
        m_bPrint = true;
        m_hDC = hPrint;
        m_ps.hdc = hPrint;
        ::GetClientRect(hWnd, &m_ps.rcPaint);
        return;
    }
    m_hDC = ::BeginPaint(hWnd, &m_ps);
}

CMemDC::CMemDC(HDC hTarget, const RECT& rc) : m_hTarget(hTarget), m_rc(rc), m_dc(hTarget) {
    int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    if (!m_dc.Get() || cx <= 0 || cy <= 0 || !m_bmp.CreateCompatible(hTarget, cx, cy)) {
        m_bDone = true;
        return;
    }
    m_hOldBmp = ::SelectObject(m_dc, m_bmp);
    ::SetWindowOrgEx(m_dc, rc.left, rc.top, nullptr);
    // Start from the target's font so text looks the same as drawn directly.
    ::SelectObject(m_dc, ::GetCurrentObject(hTarget, OBJ_FONT));
}

void CMemDC::Flush() {
    if (!m_bDone)
        ::BitBlt(m_hTarget, m_rc.left, m_rc.top, m_rc.right - m_rc.left, m_rc.bottom - m_rc.top, m_dc, m_rc.left,
                 m_rc.top, SRCCOPY);
    m_bDone = true;
    if (m_hOldBmp) ::SelectObject(m_dc, m_hOldBmp);
    m_hOldBmp = nullptr;
}

void FillSolidRect(HDC hDC, const RECT& rc, COLORREF cr) {
    COLORREF crOld = ::SetBkColor(hDC, cr);
    ::ExtTextOutW(hDC, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
    ::SetBkColor(hDC, crOld);
}

void FrameRectColor(HDC hDC, const RECT& rc, COLORREF cr) {
    RECT r = rc;
    FillSolidRect(hDC, RECT{r.left, r.top, r.right, r.top + 1}, cr);
    FillSolidRect(hDC, RECT{r.left, r.bottom - 1, r.right, r.bottom}, cr);
    FillSolidRect(hDC, RECT{r.left, r.top, r.left + 1, r.bottom}, cr);
    FillSolidRect(hDC, RECT{r.right - 1, r.top, r.right, r.bottom}, cr);
}
