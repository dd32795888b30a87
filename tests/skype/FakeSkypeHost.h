#pragma once
// A recording stand-in for the Win32 side of the Skype link: events, timers,
// broadcasts and sends are written down; time only moves when a test says so.
#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "skype/SkypeClient.h"
#include "skype/SkypeHost.h"

struct RecordedEvent {
    UINT uMsg;
    WPARAM wParam;
    LPARAM lParam;
};

class CFakeSkypeHost : public ISkypeHost {
public:
    void PostEvent(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam) override {
        m_events.push_back({uMsg, wParam, lParam});
    }
    UINT_PTR StartTimer(CSkypeClient* pClient, UINT uElapse) override {
        UINT_PTR uId = ++m_nLastTimer;
        m_timers[uId] = Timer{pClient, uElapse, m_nNowMs + uElapse};
        return uId;
    }
    void StopTimer(UINT_PTR uId) override { m_timers.erase(uId); }
    void Broadcast(UINT uMsg, WPARAM wParam, LPARAM) override {
        m_broadcasts.push_back({uMsg, wParam, 0});
    }
    LRESULT SendCopyData(HWND hwndTo, HWND, const void* pData, DWORD cbData) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sends.emplace_back(static_cast<const char*>(pData), cbData);
        m_sendTargets.push_back(hwndTo);
        if (m_nFailSends > 0) {
            --m_nFailSends;
            return 0;
        }
        return m_lSendResult;
    }
    void Sleep(DWORD dwMs) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_sleeps.push_back(dwMs);
        }
        ::Sleep(dwMs > 10 ? 2 : 1);  // fast, but the sender thread still yields
    }
    int64_t Now() override { return m_tNow; }

    // Moves the fake clock and fires the timers that fall due, in time order.
    void Advance(UINT uMs) {
        int64_t nTarget = m_nNowMs + uMs;
        for (;;) {
            UINT_PTR uDue = 0;
            int64_t nDue = nTarget + 1;
            for (auto& [uId, t] : m_timers) {
                if (t.nDue < nDue) {
                    nDue = t.nDue;
                    uDue = uId;
                }
            }
            if (!uDue) break;
            m_nNowMs = nDue;
            Timer& t = m_timers[uDue];
            t.nDue += t.uElapse;
            t.pClient->OnTimer(uDue);
        }
        m_nNowMs = nTarget;
    }

    std::vector<std::string> Sends() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sends;
    }
    std::vector<DWORD> Sleeps() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sleeps;
    }
    void FailNextSends(int n) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nFailSends = n;
    }
    size_t CountEvents(UINT uMsg) const {
        size_t n = 0;
        for (const auto& e : m_events) n += e.uMsg == uMsg;
        return n;
    }
    bool HasTimer(UINT_PTR uId) const { return m_timers.count(uId) != 0; }
    UINT TimerElapse(UINT_PTR uId) const {
        auto it = m_timers.find(uId);
        return it == m_timers.end() ? 0 : it->second.uElapse;
    }

    struct Timer {
        CSkypeClient* pClient = nullptr;
        UINT uElapse = 0;
        int64_t nDue = 0;
    };
    std::vector<RecordedEvent> m_events;
    std::vector<RecordedEvent> m_broadcasts;
    std::map<UINT_PTR, Timer> m_timers;
    UINT_PTR m_nLastTimer = 100;
    int64_t m_nNowMs = 0;
    int64_t m_tNow = 1700000000;
    LRESULT m_lSendResult = 1;

private:
    std::mutex m_mutex;
    std::vector<std::string> m_sends;
    std::vector<HWND> m_sendTargets;
    std::vector<DWORD> m_sleeps;
    int m_nFailSends = 0;
};

// Takes every waiting command off the queue (enabling it for the moment if needed).
inline std::vector<std::wstring> DrainQueue(CCommandQueue* pQueue) {
    bool bWasEnabled = pQueue->IsEnabled();
    pQueue->Enable();
    std::vector<std::wstring> commands;
    std::wstring str;
    while (pQueue->Pop(&str)) commands.push_back(str);
    if (!bWasEnabled) pQueue->Disable();
    return commands;
}
