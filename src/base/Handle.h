#pragma once
// Owns one kernel handle (thread, event, mutex, file...). Null and
// INVALID_HANDLE_VALUE both mean "no handle". Movable, not copyable.
#include <windows.h>

class CHandle {
public:
    CHandle() = default;
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle() { Close(); }
    CHandle(CHandle&& other) noexcept : m_h(other.Release()) {}
    CHandle& operator=(CHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    HANDLE Get() const { return m_h; }
    operator HANDLE() const { return m_h; }
    bool IsValid() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE h = nullptr) {
        Close();
        m_h = h;
    }
    HANDLE Release() {
        HANDLE h = m_h;
        m_h = nullptr;
        return h;
    }
    void Close() {
        if (IsValid()) ::CloseHandle(m_h);
        m_h = nullptr;
    }

private:
    HANDLE m_h = nullptr;
};
