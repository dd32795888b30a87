#pragma once
// The recording controller: turns Skype call events and the record and pause
// buttons into recordings. Plain logic on the GUI thread; everything it does to
// the window, Skype, the audio engine and the history goes through IRecordHost,
// so the rules can be driven without any of them.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/CurrentRecord.h"
#include "audiofile/Mp3File.h"
#include "history/RecordHistory.h"
#include "app/RecordStates.h"

class CCallList;
class CCallPartnerMap;
class CGeneralProfile;

// Recording states are the audio engine's (RECSTATE_*); only the controller writes them.

// Status line texts (SetRecordStatus).
enum {
    RECSTATUS_WAITING = 0,    // "Waiting to access Skype ..."
    RECSTATUS_READY = 1,      // "Ready for recording ..."
    RECSTATUS_RECORDING = 2,  // "Recording in progress ..."
    RECSTATUS_PAUSED = 3,     // "Recording pause ..."
};

// Skype's loopback ports: my side (microphone) and the remote side (call output).
inline constexpr wchar_t MIC_PORT_TEXT[] = L"58377";
inline constexpr wchar_t REMOTE_PORT_TEXT[] = L"58376";

// The colour and text of a status line state; an unknown number gives an empty text.
struct RecordStatusFace {
    std::wstring strText;
    COLORREF crText;
};
RecordStatusFace GetRecordStatusFace(int nStatus);

// "asample", "abitrate", "amode" indexes to the encoder's values; 0 leaves the choice to it.
int ConvertSampleRate(int nIndex);
int ConvertBitrate(int nIndex);
int ConvertChannelMode(int nIndex);

// A partner handle made safe as part of a file name: every character Windows
// forbids in names (\ / : * ? " < > | and control characters) becomes "_".
std::wstring MakeFileNamePart(const std::wstring& strName);
// Folder + "\" + safe name + "_" + local time "%Y-%m-%d_%H-%M-%S" (no extension).
std::wstring BuildRecordPath(const std::wstring& strFolder, const std::wstring& strName,
                             int64_t tNow);
// The local time of tNow as "%Y-%m-%d_%H-%M-%S"; empty when it cannot be converted.
std::wstring FormatRecordStamp(int64_t tNow);

// What a recording's file says about itself: title "Call with " and the partners'
// names as the history shows them (strNames), the names as artist, the program
// as album, the local start time, and the handles and direction in the comment.
Mp3Tags BuildRecordTags(const std::wstring& strHandles, const std::wstring& strNames, int nType,
                        int64_t tStart);

// One Skype redirection command the controller asks for.
struct AudioRoute {
    bool bMicrophone;  // true: RedirectMicrophone, false: RedirectOutput
    const wchar_t* pszPort;
};
// The redirections for "recside", in the order they are sent (at most two).
int GetAudioRoutes(int nRecordSide, AudioRoute routes[2]);

class IRecordHost {
public:
    virtual ~IRecordHost() = default;
    // Skype link.
    virtual bool IsIncomingCall() = 0;
    virtual void ResetCallInfo() = 0;
    virtual void RedirectMicrophone(const std::wstring& strId, const std::wstring& strPort) = 0;
    virtual void RedirectOutput(const std::wstring& strId, const std::wstring& strPort) = 0;
    // Audio engine.
    // False when no recording may start now (the drive is full); the host says why.
    virtual bool CanStartRecording() { return true; }
    virtual int GetRecordState() = 0;
    virtual void SetRecordState(int nState) = 0;
    // strPath has no extension. True with the file actually created in strFile (a name
    // already taken gets a number); false when nothing started, the user told why.
    virtual bool StartRecording(const std::wstring& strPath, int nSampleRate, int nBitrate, int nMode,
                                std::wstring& strFile) = 0;
    // Takes no more audio and returns at once; WM_RECORD_FINISHED follows once the
    // file holds everything.
    virtual void BeginStopRecorder() = 0;
    // Returns when the file is complete and closed.
    virtual void StopRecorder() = 0;
    // The closed file's tag is brought up to the entry's final partners.
    virtual void RetagRecording(const RecordEntry&) {}
    // Seconds of audio the stopped recording's file holds.
    virtual int GetRecordedSeconds() = 0;
    // History store and window.
    virtual void AddRecord(const RecordEntry& entry) = 0;
    virtual void AddHistoryItem(const RecordEntry& entry) = 0;
    // Main window.
    virtual void SetRecordStatus(int nStatus) = 0;
    virtual void HideRecordStatus() = 0;
    virtual void SetRecordButtonStart() = 0;
    virtual void SetRecordButtonStop() = 0;
    virtual void SetPauseButtonPause() = 0;
    virtual void SetPauseButtonResume() = 0;
    virtual void EnableRecordButton(bool bEnable) = 0;
    virtual void ResetLevelMeters() = 0;
    virtual void BringMainWindowToFront() = 0;
    virtual void ShowHistoryWindow() = 0;
    // Clock: seconds since 1970-01-01 UTC.
    virtual int64_t Now() = 0;
};

class CRecordController {
public:
    CRecordController(IRecordHost& host, CCallList& calls, CCallPartnerMap& partners,
                      CGeneralProfile& profile, CCurrentRecord& record);

    bool IsRecordingActive();
    // Active and not asked to stop; during a stop the state still reads active.
    bool IsRecordingRunning();
    // WM_SKYPE_CALL with a status change for the call in slot nSlot.
    void OnCallStatus(int nSlot);
    // WM_SKYPE_CALL telling the partner of the call in slot nSlot.
    void OnCallPartner(int nSlot);
    // The record button: stop when a recording runs, otherwise start one (during a
    // stop: once that recording is entered).
    void OnBnClickedRecord();
    void OnBnClickedPause();
    // WM_RECORD_FINISHED: closes the file, enters the recording into the history and
    // starts the one asked for meanwhile.
    void OnRecordFinished();
    // At exit: a running recording is finished and entered before the engine goes.
    void FinishBeforeExit();

private:
    void Start();
    // An automatic start, for a call the rule lets in.
    void StartAutomatically(const std::wstring& strCallId);
    void StartWith(const std::wstring& strId, const std::wstring& strPartner);
    // The one decision of who is recorded automatically ("rulemode", "rulelist").
    bool PassesRule(const std::wstring& strCallId) const;
    bool IsOwnCall(const std::wstring& strCallId) const;
    void Stop();
    void EnterRecording();
    void StartAfterStop();
    void RouteAudio(const std::wstring& strId);
    // One of the calls taken into the recording is still in progress or on hold.
    bool IsAnyOwnCallActive() const;

    IRecordHost& m_host;
    CCallList& m_calls;
    CCallPartnerMap& m_partners;
    CGeneralProfile& m_profile;
    CCurrentRecord& m_record;
    // A recording was started and not yet entered: a second finish adds nothing.
    bool m_bUnfinished = false;
    // The current recording is stopping: the recorder drains, the finish follows.
    bool m_bStopping = false;
    // A start asked for during the stop, and the calls that went in progress
    // meanwhile, which join it as they would have joined a running recording.
    bool m_bStartAfterStop = false;
    // That start was asked for by a call, not by the user: the rule decides who joins.
    bool m_bAutoAfterStop = false;
    std::vector<std::wstring> m_joinAfterStop;
    // Started by a call rather than by the user: calls join it only by the rule.
    bool m_bAutoStarted = false;
};
