#pragma once
// The audio engine: two loopback servers receiving the call's audio from
// Skype (microphone = my side on 58377, call output = remote side on 58376),
// a level meter per side posted to a window, and the recorder.
#include <winsock2.h>

#include <atomic>

#include "audio/BlockCutter.h"
#include "audio/LevelMeter.h"
#include "audio/Recorder.h"
#include "audio/SocketServer.h"

// Recording states, set by the recording controller.
constexpr int RECSTATE_RECORDING = 256;
constexpr int RECSTATE_PAUSED = 257;
constexpr int RECSTATE_RESUMED = 258;
constexpr int RECSTATE_STOPPED = 259;
constexpr int RECSTATE_IDLE = 260;

// Posted to m_hWnd with the level (0..512) in wParam.
constexpr UINT WM_MIC_LEVEL = WM_USER + 0x111;
constexpr UINT WM_REMOTE_LEVEL = WM_USER + 0x112;

constexpr u_short AUDIO_MIC_PORT = 58377;
constexpr u_short AUDIO_REMOTE_PORT = 58376;

// Longest recording file name, terminator included.
constexpr size_t AUDIO_MAX_PATH = 520;

class CAudioServer {
public:
    static CAudioServer* GetInstance();
    static void DestroyInstance();

    // The window that receives the level messages.
    void SetLevelWindow(HWND hWnd) { m_hWnd = hWnd; }
    // Start the server of port 58377 (58376) and its service thread.
    bool StartMicServer();
    bool StartRemoteServer();

    // Starts a recording into pszPath + ".mp3", unless one is already running.
    // nRecordSide is the "recside" setting: 0 both, 1 only my side, 2 only the remote side.
    // False with the reason as the thread's last error (see CRecorder::Start).
    bool StartRecording(const wchar_t* pszPath, int nOutSampleRate, int nBitrateKbps, int nChannelMode,
                        int nRecordSide = RECSIDE_BOTH, const Mp3Tags* pTags = nullptr);
    // The recording state, set by the recording controller; a pause stops the recording's clock.
    int GetRecordState() const { return m_nRecordState; }
    void SetRecordState(int nState);
    CRecorder* GetRecorder() const { return m_pRecorder; }

    u_long GetAddress() const { return m_nAddress; }
    bool IsServing(bool bMic) const { return bMic ? m_bMicRunning : m_bRemoteRunning; }
    int GetSocketCount(bool bMic) const { return (bMic ? m_micServer : m_remoteServer).GetSocketCount(); }

private:
    CAudioServer();
    ~CAudioServer();
    CAudioServer(const CAudioServer&) = delete;
    CAudioServer& operator=(const CAudioServer&) = delete;

    struct CSideInfo;
    bool StartServer(CSideInfo& side);
    bool Listen(CSideInfo& side);
    struct CRelistenState {
        uint64_t nLastTryMs = 0;
        bool bTold = false;  // the user knows the port could not be opened again
    };
    void Relisten(CSideInfo& side, bool bServiceFailed, CRelistenState& state);
    void ServiceLoop(CSideInfo& side);
    void StopThread(HANDLE& hThread);
    static DWORD WINAPI MicThread(void* pParam);
    static DWORD WINAPI RemoteThread(void* pParam);

    static CAudioServer* s_pInstance;
    u_long m_nAddress;
    CSocketServer m_micServer;
    CSocketServer m_remoteServer;
    HANDLE m_hMicThread = nullptr;
    HANDLE m_hRemoteThread = nullptr;
    // Written by the recording controller, read by the service threads.
    std::atomic<int> m_nRecordState{RECSTATE_IDLE};
    std::atomic<bool> m_bMicRunning{false};
    std::atomic<bool> m_bRemoteRunning{false};
    CRecorder* m_pRecorder = nullptr;
    std::atomic<HWND> m_hWnd{nullptr};
    CLevelMeter m_micMeter;
    CLevelMeter m_remoteMeter;
};
