#pragma once
// The seam between the Skype link's logic and Windows: events to the notify
// window, thread timers, the discover broadcast, the blocking send to Skype,
// sleeping and the clock. CWin32SkypeHost is the real one; tests drive the
// logic through a recording fake with their own time.
#include <windows.h>

#include <cstdint>
#include <map>

class CSkypeClient;

class ISkypeHost {
public:
    virtual ~ISkypeHost() = default;
    virtual void PostEvent(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) = 0;
    // A repeating thread timer; each tick calls pClient->OnTimer(id) on the GUI thread.
    virtual UINT_PTR StartTimer(CSkypeClient* pClient, UINT uElapse) = 0;
    virtual void StopTimer(UINT_PTR uId) = 0;
    virtual void Broadcast(UINT uMsg, WPARAM wParam, LPARAM lParam) = 0;
    // Sender thread: one WM_COPYDATA, returning Skype's answer (0 = not accepted
    // or not answered in time).
    virtual LRESULT SendCopyData(HWND hwndTo, HWND hwndFrom, const void* pData, DWORD cbData) = 0;
    virtual void Sleep(DWORD dwMilliseconds) = 0;
    // Seconds since 1970-01-01 UTC.
    virtual int64_t Now() = 0;
};

class CWin32SkypeHost : public ISkypeHost {
public:
    CWin32SkypeHost() = default;
    ~CWin32SkypeHost() override;
    void PostEvent(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    UINT_PTR StartTimer(CSkypeClient* pClient, UINT uElapse) override;
    void StopTimer(UINT_PTR uId) override;
    void Broadcast(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    LRESULT SendCopyData(HWND hwndTo, HWND hwndFrom, const void* pData, DWORD cbData) override;
    void Sleep(DWORD dwMilliseconds) override;
    int64_t Now() override;

private:
    static void CALLBACK TimerProc(HWND hwnd, UINT uMsg, UINT_PTR uId, DWORD dwTime);
    // Thread timers carry no context: their ids lead back to the client (GUI thread only).
    static std::map<UINT_PTR, CSkypeClient*> s_timers;
};
