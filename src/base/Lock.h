#pragma once
// Critical section, scoped lock and event wrappers.
#include <windows.h>

class CCriticalSection {
public:
    CCriticalSection() { ::InitializeCriticalSection(&m_cs); }
    ~CCriticalSection() { ::DeleteCriticalSection(&m_cs); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Enter() { ::EnterCriticalSection(&m_cs); }
    void Leave() { ::LeaveCriticalSection(&m_cs); }
    CRITICAL_SECTION* Get() { return &m_cs; }

private:
    CRITICAL_SECTION m_cs;
};

// Holds a critical section for the lifetime of the object.
class CLock {
public:
    explicit CLock(CCriticalSection& cs) : m_cs(cs) { m_cs.Enter(); }
    ~CLock() { m_cs.Leave(); }
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

private:
    CCriticalSection& m_cs;
};

class CEvent {
public:
    CEvent(bool bManualReset, bool bInitialState)
        : m_h(::CreateEventW(nullptr, bManualReset, bInitialState, nullptr)) {}
    ~CEvent() {
        if (m_h) ::CloseHandle(m_h);
    }
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    bool Set() { return ::SetEvent(m_h) != FALSE; }
    bool Reset() { return ::ResetEvent(m_h) != FALSE; }
    HANDLE Get() const { return m_h; }
    operator HANDLE() const { return m_h; }

private:
    HANDLE m_h;
};
