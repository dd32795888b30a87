#pragma once
// Captures what the code under test writes with OutputDebugString: without a
// debugger the text travels as a first-chance exception that a vectored
// handler can read before the system goes on with it.
#include <windows.h>

#include <mutex>
#include <string>

class CDebugOutputCapture {
public:
    CDebugOutputCapture() {
        s_pActive = this;
        m_pHandler = ::AddVectoredExceptionHandler(1, Handler);
    }
    ~CDebugOutputCapture() {
        ::RemoveVectoredExceptionHandler(m_pHandler);
        s_pActive = nullptr;
    }
    std::wstring Text() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_strText;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_strText.clear();
        m_bSawWide = false;
    }

private:
    static constexpr DWORD PRINT_A = 0x40010006;  // DBG_PRINTEXCEPTION_C
    static constexpr DWORD PRINT_W = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C

    static LONG CALLBACK Handler(EXCEPTION_POINTERS* pInfo) {
        CDebugOutputCapture* pThis = s_pActive;
        const EXCEPTION_RECORD* pRec = pInfo->ExceptionRecord;
        if (!pThis || pRec->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
        std::lock_guard<std::mutex> lock(pThis->m_mutex);
        if (pRec->ExceptionCode == PRINT_W) {
            // The wide form comes first; the narrow fallback repeats it.
            const wchar_t* psz = reinterpret_cast<const wchar_t*>(pRec->ExceptionInformation[1]);
            size_t cch = (size_t)pRec->ExceptionInformation[0];
            if (psz && cch) pThis->m_strText.append(psz, cch - 1);
            pThis->m_bSawWide = true;
        } else if (pRec->ExceptionCode == PRINT_A) {
            if (pThis->m_bSawWide) {
                pThis->m_bSawWide = false;
            } else {
                const char* psz = reinterpret_cast<const char*>(pRec->ExceptionInformation[1]);
                size_t cch = (size_t)pRec->ExceptionInformation[0];
                for (size_t i = 0; psz && i + 1 < cch; ++i)
                    pThis->m_strText += (wchar_t)(unsigned char)psz[i];
            }
        }
        return EXCEPTION_CONTINUE_SEARCH;
    }

    static inline CDebugOutputCapture* s_pActive = nullptr;
    PVOID m_pHandler = nullptr;
    std::mutex m_mutex;
    std::wstring m_strText;
    bool m_bSawWide = false;
};
