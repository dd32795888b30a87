#pragma once
// The Windows side of the simulated Skype: its API window, the discover and
// attach answers, the outgoing text queue, the scenario clock and the audio
// connections made on redirects.
#include <winsock2.h>
#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AudioStream.h"
#include "Options.h"
#include "Scenario.h"
#include "SimLog.h"
#include "SimSkype.h"

constexpr LPARAM SIM_ATTACH_SUCCESS = 0;
constexpr LPARAM SIM_ATTACH_REFUSED = 2;
constexpr LPARAM SIM_ATTACH_NOT_AVAILABLE = 3;
constexpr LPARAM SIM_ATTACH_API_AVAILABLE = 0x8001;

class CSimApp : public ISimHost {
public:
    CSimApp(const SimOptions& opt, std::vector<SimStep> steps, CSimLog& log);
    ~CSimApp() override;
    CSimApp(const CSimApp&) = delete;
    CSimApp& operator=(const CSimApp&) = delete;

    // Creates the window and runs the message loop; returns the exit code.
    int Run();

    void Reply(const std::wstring& strText) override;
    void Notify(const std::wstring& strText) override;
    void Redirect(const SimCall& call, ESimSide eSide, int nPort) override;
    void CallAudio(const std::wstring& strCallId, ECallAudio eAudio) override;
    void Later(double dSeconds, std::function<void()> fn) override;

private:
    struct Outgoing {
        HWND hTarget = nullptr;  // null: every attached client
        std::wstring strText;
        bool bAttach = false;  // an attach answer with status nStatus instead of a text
        LPARAM nStatus = 0;
    };

    static LRESULT CALLBACK WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
    void OnDiscover(HWND hClient);
    LRESULT OnCopyData(HWND hFrom, const COPYDATASTRUCT* pCds);
    void OnTick();
    bool RunStep(const SimStep& st);
    bool StepReady(const SimStep& st);
    void Enqueue(Outgoing out);
    void Flush();
    bool SendText(HWND hTarget, const std::wstring& strText);
    bool IsAttached(HWND h) const;
    void Announce();
    void Quit(const wchar_t* pszReason);
    void StopAllStreams();

    SimOptions m_opt;
    std::vector<SimStep> m_steps;
    CSimLog& m_log;
    CSimSkype m_skype;
    HWND m_hWnd = nullptr;
    UINT m_uAttachMsg = 0;
    UINT m_uDiscoverMsg = 0;
    bool m_bRefuseAttach = false;
    bool m_bRefuseCommands = false;
    bool m_bSilent = false;
    bool m_bQuitting = false;
    bool m_bFlushPosted = false;
    HWND m_hReplyTo = nullptr;
    std::vector<HWND> m_clients;
    std::deque<Outgoing> m_out;
    std::map<std::pair<std::wstring, int>, std::unique_ptr<CAudioStream>> m_streams;
    std::vector<std::pair<double, std::function<void()>>> m_later;
    std::vector<std::wstring> m_received;  // accepted commands, for wait-recv
    size_t m_nRecvMark = 0;                // commands received before the last step ran
    size_t m_nStep = 0;
    double m_dPrevStep = 0;
};
