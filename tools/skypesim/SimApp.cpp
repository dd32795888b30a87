#include "SimApp.h"

#include <cmath>

#include "base/StringUtil.h"

namespace {

const wchar_t* const SIM_CLASS_NAME = L"SkypeSimApiWnd";
constexpr UINT WM_SIM_FLUSH = WM_APP + 1;
constexpr UINT_PTR SIM_TIMER_TICK = 1;
constexpr UINT_PTR SIM_TIMER_SECOND = 2;
// A client that does not take a text within this time is treated as gone for that text.
constexpr UINT SIM_SEND_TIMEOUT_MS = 5000;

std::wstring HwndText(HWND h) { return FormatW(L"0x%llX", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(h))); }

const wchar_t* SideName(ESimSide e) { return e == SIDE_MIC ? L"mic" : e == SIDE_REMOTE ? L"remote" : L"input"; }

// Words joined by single blanks, upper case: how wait-recv compares commands.
std::wstring Normalized(const std::wstring& s) {
    std::wstring out;
    for (const std::wstring& w : SplitWords(s)) out += (out.empty() ? L"" : L" ") + w;
    return UpperW(out);
}

}  // namespace

CSimApp::CSimApp(const SimOptions& opt, std::vector<SimStep> steps, CSimLog& log)
    : m_opt(opt), m_steps(std::move(steps)), m_log(log), m_skype(this, opt.strUser),
      m_bRefuseAttach(opt.bRefuseAttach), m_bRefuseCommands(opt.bRefuseCommands) {}

CSimApp::~CSimApp() {
    StopAllStreams();
    if (m_hWnd) ::DestroyWindow(m_hWnd);
}

int CSimApp::Run() {
    m_uAttachMsg = ::RegisterWindowMessageW(L"SkypeControlAPIAttach");
    m_uDiscoverMsg = ::RegisterWindowMessageW(L"SkypeControlAPIDiscover");
    HINSTANCE hInst = ::GetModuleHandleW(nullptr);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = hInst;
    wc.lpszClassName = SIM_CLASS_NAME;
    ::RegisterClassW(&wc);
    // A hidden top-level window: broadcasts reach top-level windows only.
    m_hWnd = ::CreateWindowExW(0, SIM_CLASS_NAME, L"skypesim", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                               128, 128, nullptr, nullptr, hInst, this);
    if (!m_hWnd || !m_uAttachMsg || !m_uDiscoverMsg) {
        fwprintf(stderr, L"skypesim: cannot create the API window (error %lu)\n", ::GetLastError());
        return 3;
    }
    m_log.Write(L"INFO", L"start user=" + m_opt.strUser + L" hwnd=" + HwndText(m_hWnd));
    ::SetTimer(m_hWnd, SIM_TIMER_TICK, 10, nullptr);
    ::SetTimer(m_hWnd, SIM_TIMER_SECOND, 1000, nullptr);
    if (m_opt.bAnnounce) Announce();
    OnTick();
    MSG msg;
    int nExit = 0;
    while (true) {
        BOOL r = ::GetMessageW(&msg, nullptr, 0, 0);
        if (r == 0) {
            nExit = static_cast<int>(msg.wParam);
            break;
        }
        if (r < 0) break;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return nExit;
}

LRESULT CALLBACK CSimApp::WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_NCCREATE) {
        auto* pcs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pcs->lpCreateParams));
    }
    auto* self = reinterpret_cast<CSimApp*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (self && self->m_hWnd == hWnd) return self->OnMessage(uMsg, wParam, lParam);
    return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

LRESULT CSimApp::OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == m_uDiscoverMsg) {
        OnDiscover(reinterpret_cast<HWND>(wParam));
        return 1;
    }
    if (uMsg == m_uAttachMsg) return 1;  // our own announce broadcast comes back to us
    switch (uMsg) {
    case WM_COPYDATA:
        return OnCopyData(reinterpret_cast<HWND>(wParam), reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_SIM_FLUSH:
        m_bFlushPosted = false;
        Flush();
        return 0;
    case WM_TIMER:
        if (wParam == SIM_TIMER_TICK) {
            OnTick();
        } else if (wParam == SIM_TIMER_SECOND) {
            m_skype.OnSecondTick(!m_opt.bNoDuration);
            Flush();
        }
        return 0;
    case WM_CLOSE:
        Quit(L"close");
        return 0;
    }
    return ::DefWindowProcW(m_hWnd, uMsg, wParam, lParam);
}

bool CSimApp::IsAttached(HWND h) const {
    for (HWND c : m_clients)
        if (c == h) return true;
    return false;
}

void CSimApp::OnDiscover(HWND hClient) {
    if (!hClient || !::IsWindow(hClient) || hClient == m_hWnd) {
        m_log.Write(L"ATTACH", L"discover from " + HwndText(hClient) + L" ignored (no window)");
        return;
    }
    if (m_bSilent) {
        m_log.Write(L"ATTACH", L"discover from " + HwndText(hClient) + L" -> none (silent)");
        return;
    }
    LPARAM status = m_bRefuseAttach ? SIM_ATTACH_REFUSED
                    : m_skype.IsLoggedOut() ? SIM_ATTACH_NOT_AVAILABLE
                                            : SIM_ATTACH_SUCCESS;
    m_log.Write(L"ATTACH", FormatW(L"discover from %ls -> %d", HwndText(hClient).c_str(), static_cast<int>(status)));
    Outgoing out;
    out.hTarget = hClient;
    out.bAttach = true;
    out.nStatus = status;
    Enqueue(out);
    if (status == SIM_ATTACH_SUCCESS && !IsAttached(hClient)) {
        m_clients.push_back(hClient);
        if (!m_opt.bQuietAttach)
            for (const std::wstring& s : m_skype.AttachGreeting()) Enqueue({hClient, s, false, 0});
    } else if (status != SIM_ATTACH_SUCCESS) {
        std::erase(m_clients, hClient);
    }
}

LRESULT CSimApp::OnCopyData(HWND hFrom, const COPYDATASTRUCT* pCds) {
    std::string bytes;
    if (pCds && pCds->lpData && pCds->cbData) {
        const char* p = static_cast<const char*>(pCds->lpData);
        size_t n = 0;
        while (n < pCds->cbData && p[n]) ++n;
        bytes.assign(p, n);
    }
    std::wstring text = Utf8ToWide(bytes);
    if (!IsAttached(hFrom) || m_bRefuseCommands) {
        m_log.Write(L"REFUSED", text);
        return 0;
    }
    m_log.Write(L"RECV", text);
    m_received.push_back(text);
    m_hReplyTo = hFrom;
    m_skype.HandleCommand(text);
    m_hReplyTo = nullptr;
    return 1;
}

void CSimApp::Reply(const std::wstring& strText) { Enqueue({m_hReplyTo, strText, false, 0}); }

void CSimApp::Notify(const std::wstring& strText) { Enqueue({nullptr, strText, false, 0}); }

void CSimApp::Enqueue(Outgoing out) {
    if (!out.bAttach && (m_bSilent || (!out.hTarget && m_clients.empty()))) {
        m_log.Write(L"DROP", out.strText);
        return;
    }
    m_out.push_back(std::move(out));
    // Skype answers after the sender's SendMessage has returned, never from inside it.
    if (!m_bFlushPosted && m_hWnd) m_bFlushPosted = ::PostMessageW(m_hWnd, WM_SIM_FLUSH, 0, 0) != FALSE;
}

bool CSimApp::SendText(HWND hTarget, const std::wstring& strText) {
    std::string utf8 = WideToUtf8(strText);
    utf8.push_back('\0');
    COPYDATASTRUCT cds = {};
    cds.cbData = static_cast<DWORD>(utf8.size());
    cds.lpData = utf8.data();
    DWORD_PTR result = 0;
    LRESULT ok = ::SendMessageTimeoutW(hTarget, WM_COPYDATA, reinterpret_cast<WPARAM>(m_hWnd),
                                       reinterpret_cast<LPARAM>(&cds), SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                       SIM_SEND_TIMEOUT_MS, &result);
    bool bOk = ok != 0 && result != 0;
    m_log.Write(bOk ? L"SEND" : L"FAIL", strText);
    return bOk;
}

void CSimApp::Flush() {
    // Texts queued while a send is under way (the client answering with a command
    // of its own) are appended and sent in this same loop, in order.
    while (!m_out.empty()) {
        Outgoing out = std::move(m_out.front());
        m_out.pop_front();
        if (out.bAttach) {
            DWORD_PTR result = 0;
            ::SendMessageTimeoutW(out.hTarget, m_uAttachMsg, reinterpret_cast<WPARAM>(m_hWnd), out.nStatus,
                                  SMTO_NORMAL | SMTO_ABORTIFHUNG, SIM_SEND_TIMEOUT_MS, &result);
            continue;
        }
        if (m_bSilent) {
            m_log.Write(L"DROP", out.strText);
            continue;
        }
        std::vector<HWND> targets = out.hTarget ? std::vector<HWND>{out.hTarget} : m_clients;
        for (HWND h : targets) {
            if (!::IsWindow(h)) {
                if (IsAttached(h)) {
                    std::erase(m_clients, h);
                    m_log.Write(L"ATTACH", L"gone " + HwndText(h));
                }
                m_log.Write(L"DROP", out.strText);
                continue;
            }
            SendText(h, out.strText);
        }
    }
}

void CSimApp::Announce() {
    m_log.Write(L"ATTACH", L"announce");
    ::SendNotifyMessageW(HWND_BROADCAST, m_uAttachMsg, reinterpret_cast<WPARAM>(m_hWnd), SIM_ATTACH_API_AVAILABLE);
}

void CSimApp::Later(double dSeconds, std::function<void()> fn) {
    m_later.emplace_back(m_log.Now() + dSeconds, std::move(fn));
}

bool CSimApp::StepReady(const SimStep& st) {
    double due = st.eTime == TIME_AT ? st.dTime : m_dPrevStep + (st.eTime == TIME_AFTER ? st.dTime : 0);
    if (m_log.Now() < due) return false;
    std::wstring k = UpperW(st.words[0]);
    if (k == L"WAIT-ATTACH") return !m_clients.empty();
    if (k == L"WAIT-RECV") {
        std::wstring want = Normalized(st.RestFrom(1));
        for (size_t i = m_nRecvMark; i < m_received.size(); ++i)
            if (Normalized(m_received[i]).rfind(want, 0) == 0) return true;
        return false;
    }
    return true;
}

void CSimApp::OnTick() {
    if (m_bQuitting) return;
    double now = m_log.Now();
    if (m_opt.dQuitAfter > 0 && now >= m_opt.dQuitAfter) return Quit(L"quit-after");
    for (size_t i = 0; i < m_later.size();) {
        if (m_later[i].first <= now) {
            auto fn = std::move(m_later[i].second);
            m_later.erase(m_later.begin() + static_cast<std::ptrdiff_t>(i));
            fn();
        } else {
            ++i;
        }
    }
    while (m_nStep < m_steps.size() && !m_bQuitting) {
        const SimStep& st = m_steps[m_nStep];
        if (!StepReady(st)) break;
        ++m_nStep;
        m_dPrevStep = m_log.Now();
        m_nRecvMark = m_received.size();
        m_log.Write(L"STEP", FormatW(L"line %d: %ls", st.nLine, st.strText.c_str()));
        if (!RunStep(st)) break;
    }
    if (!m_bQuitting) Flush();
}

bool CSimApp::RunStep(const SimStep& st) {
    const auto& w = st.words;
    std::wstring k = UpperW(w[0]);
    std::wstring err;
    bool ok = true;
    if (k == L"EXIT") {
        Flush();
        Quit(L"scenario");
        return false;
    } else if (k == L"WAIT-ATTACH" || k == L"WAIT-RECV") {
    } else if (k == L"LOGOUT") {
        m_skype.Logout();
    } else if (k == L"LOGIN") {
        m_skype.Login();
        Flush();
        Announce();
    } else if (k == L"ANNOUNCE") {
        Announce();
    } else if (k == L"REFUSE-ATTACH") {
        m_bRefuseAttach = true;
    } else if (k == L"ACCEPT-ATTACH") {
        m_bRefuseAttach = false;
    } else if (k == L"REVOKE") {
        for (HWND h : m_clients) {
            m_log.Write(L"ATTACH", L"revoke " + HwndText(h));
            Outgoing out;
            out.hTarget = h;
            out.bAttach = true;
            out.nStatus = SIM_ATTACH_REFUSED;
            Enqueue(out);
        }
        m_clients.clear();
    } else if (k == L"REFUSE-COMMANDS") {
        m_bRefuseCommands = true;
    } else if (k == L"ACCEPT-COMMANDS") {
        m_bRefuseCommands = false;
    } else if (k == L"SILENT") {
        Flush();
        m_bSilent = true;
    } else if (k == L"RESUME") {
        m_bSilent = false;
    } else if (k == L"HANG") {
        // A hung Skype: its window handles nothing, not even messages sent to it.
        Flush();
        ::Sleep(static_cast<DWORD>(wcstod(w[1].c_str(), nullptr) * 1000));
        m_log.Write(L"INFO", L"hang over");
    } else if (k == L"SEND") {
        Notify(st.RestFrom(1));
    } else if (k == L"FRIEND") {
        m_skype.AddFriend(w[1], st.RestFrom(2), w.size() > 2);
    } else if (k == L"UNFRIEND") {
        m_skype.RemoveFriend(w[1]);
    } else if (k == L"USER") {
        if (UpperW(w[2]) == L"FULLNAME")
            m_skype.SetFullName(w[1], st.RestFrom(3));
        else
            m_skype.SetUserStatus(w[1], w[3]);
    } else if (k == L"STATUS") {
        m_skype.SetOwnStatus(w[1]);
    } else if (k == L"CALL") {
        std::wstring a = UpperW(w[2]);
        if (a == L"INCOMING" || a == L"OUTGOING")
            ok = m_skype.AddCall(w[1], w[3], a == L"INCOMING", w.size() == 5, err);
        else if (a == L"STATUS")
            ok = m_skype.SetCallStatus(w[1], w[3], err);
        else if (a == L"ANSWER" || a == L"RESUME")
            ok = m_skype.SetCallStatus(w[1], L"INPROGRESS", err);
        else if (a == L"HOLD")
            ok = m_skype.SetCallStatus(w[1], L"LOCALHOLD", err);
        else if (a == L"END")
            ok = m_skype.SetCallStatus(w[1], L"FINISHED", err);
        else if (a == L"PARTICIPANTS")
            ok = m_skype.SetParticipants(w[1], std::vector<std::wstring>(w.begin() + 3, w.end()), err);
        else if (a == L"TARGET")
            ok = m_skype.SetTarget(w[1], w[3], err);
        else if (a == L"DTMF")
            ok = m_skype.SendDtmf(w[1], w[3], err);
        else if (a == L"MIC" || a == L"REMOTE") {
            SimSourceDesc sourceDesc;
            ok = ParseSourceDesc(w[3], sourceDesc, err) &&
                 m_skype.SetCallSource(w[1], a == L"MIC" ? SIDE_MIC : SIDE_REMOTE, sourceDesc, err);
        }
    }
    // A step about a call that does not exist is logged and skipped; the run goes on.
    if (!ok) m_log.Write(L"INFO", FormatW(L"line %d skipped: %ls", st.nLine, err.c_str()));
    return true;
}

void CSimApp::Redirect(const SimCall& call, ESimSide eSide, int nPort) {
    auto key = std::make_pair(call.strId, static_cast<int>(eSide));
    std::wstring label = L"call " + call.strId + L" " + SideName(eSide);
    auto it = m_streams.find(key);
    if (nPort == 0) {
        if (it != m_streams.end()) {
            it->second->Stop();
            m_streams.erase(it);
        }
        return;
    }
    if (!IsActiveStatus(call.strStatus)) {
        m_log.Write(L"AUDIO", label + L" redirect ignored, status " + call.strStatus);
        return;
    }
    if (it != m_streams.end()) {
        // The recorder may ask twice for the same redirect: the running connection is kept.
        if (it->second->Port() == nPort && it->second->Result() == STREAM_RUNNING) {
            m_log.Write(L"AUDIO", FormatW(L"%ls already streaming to %d", label.c_str(), nPort));
            return;
        }
        it->second->Stop();
        m_streams.erase(it);
    }
    SimSourceDesc sourceDesc = eSide == SIDE_MIC ? (call.bMicSource ? call.micSource : m_opt.mic)
                                             : (call.bRemoteSource ? call.remoteSource : m_opt.remote);
    SimStreamTiming timing;
    if (eSide != SIDE_INPUT) {
        const bool bMic = eSide == SIDE_MIC;
        timing.dRate = 1 + (bMic ? m_opt.dMicPpm : m_opt.dRemotePpm) * 1e-6;
        timing.dHoldAt = bMic ? m_opt.dMicHoldAt : m_opt.dRemoteHoldAt;
        timing.dHoldFor = bMic ? m_opt.dMicHoldFor : m_opt.dRemoteHoldFor;
    }
    if (eSide == SIDE_MIC && (m_opt.dMic2Gain != 1 || m_opt.dMic2LagMs != 0)) {
        // My microphone in a second call: the first call's sound on the first call's
        // clock, scaled, a little later.
        for (const auto& kv : m_streams) {
            const CAudioStream& other = *kv.second;
            if (kv.first.second != SIDE_MIC || other.Result() != STREAM_RUNNING || other.Zero() <= 0) continue;
            const double dPace = m_opt.dSpeed * timing.dRate;
            timing.dEpoch = other.Zero();
            timing.dStart = std::ceil((SimClock() - other.Zero()) * dPace * 100) / 100;
            sourceDesc.dGain = m_opt.dMic2Gain;
            sourceDesc.dLagMs = m_opt.dMic2LagMs;
            m_log.Write(L"AUDIO", FormatW(L"%ls copies call %ls mic from second %.2f, gain %g, %g ms later", label.c_str(),
                                          kv.first.first.c_str(), timing.dStart, m_opt.dMic2Gain, m_opt.dMic2LagMs));
            break;
        }
    }
    std::wstring err;
    auto source = CAudioSource::Create(sourceDesc, err);
    if (!source) {
        m_log.Write(L"AUDIO", label + L" no source: " + err);
        return;
    }
    auto stream = std::make_unique<CAudioStream>(std::move(source), nPort, m_opt.dSpeed, 0, eSide == SIDE_INPUT,
                                                 &m_log, label, timing);
    if (call.strStatus != L"INPROGRESS") stream->SetPaused(true);
    stream->Start();
    m_streams[key] = std::move(stream);
}

void CSimApp::CallAudio(const std::wstring& strCallId, ECallAudio eAudio) {
    for (auto it = m_streams.begin(); it != m_streams.end();) {
        if (it->first.first != strCallId) {
            ++it;
            continue;
        }
        if (eAudio == CALLAUDIO_END) {
            it->second->Stop();
            it = m_streams.erase(it);
            continue;
        }
        if (eAudio == CALLAUDIO_RUN) it->second->SetPaused(false);
        if (eAudio == CALLAUDIO_HOLD) it->second->SetPaused(true);
        ++it;
    }
}

void CSimApp::StopAllStreams() {
    for (auto& kv : m_streams) kv.second->Stop();
    m_streams.clear();
}

void CSimApp::Quit(const wchar_t* pszReason) {
    if (m_bQuitting) return;
    m_bQuitting = true;
    StopAllStreams();
    m_log.Write(L"INFO", std::wstring(L"exit ") + pszReason);
    ::KillTimer(m_hWnd, SIM_TIMER_TICK);
    ::KillTimer(m_hWnd, SIM_TIMER_SECOND);
    ::PostQuitMessage(0);
}
