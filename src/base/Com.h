#pragma once
// COM helpers: ComPtr, a scoped CoInitialize and an owned BSTR.
#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>

using Microsoft::WRL::ComPtr;

class CComInit {
public:
    explicit CComInit(DWORD dwCoInit = COINIT_APARTMENTTHREADED)
        : m_hr(::CoInitializeEx(nullptr, dwCoInit)) {}
    ~CComInit() {
        if (SUCCEEDED(m_hr)) ::CoUninitialize();
    }
    CComInit(const CComInit&) = delete;
    CComInit& operator=(const CComInit&) = delete;
    bool Succeeded() const { return SUCCEEDED(m_hr); }

private:
    HRESULT m_hr;
};

class CBstr {
public:
    CBstr() = default;
    explicit CBstr(const std::wstring& s) : m_b(::SysAllocStringLen(s.data(), (UINT)s.size())) {}
    ~CBstr() { ::SysFreeString(m_b); }
    CBstr(CBstr&& o) noexcept : m_b(o.m_b) { o.m_b = nullptr; }
    CBstr& operator=(CBstr&& o) noexcept {
        if (this != &o) {
            ::SysFreeString(m_b);
            m_b = o.m_b;
            o.m_b = nullptr;
        }
        return *this;
    }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;

    BSTR Get() const { return m_b; }
    operator BSTR() const { return m_b; }
    // For out-parameters: frees what is held and hands out the slot.
    BSTR* Out() {
        ::SysFreeString(m_b);
        m_b = nullptr;
        return &m_b;
    }
    std::wstring Str() const { return m_b ? std::wstring(m_b, ::SysStringLen(m_b)) : std::wstring(); }

private:
    BSTR m_b = nullptr;
};
