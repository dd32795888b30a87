#pragma once
// The recording in progress: the history entry being built, the pause
// bookkeeping and the Skype call ids taken into it. One per run.
#include <cstdint>
#include <functional>
#include <string>

#include "history/RecordHistory.h"

class CCurrentRecord {
public:
    using ClockFn = std::function<int64_t()>;  // seconds since 1970-01-01 UTC

    CCurrentRecord();
    CCurrentRecord(const CCurrentRecord&) = delete;
    CCurrentRecord& operator=(const CCurrentRecord&) = delete;

    static CCurrentRecord* GetInstance();
    static void DestroyInstance();

    // The C library's 64-bit time by default; tests step a clock of their own.
    void SetClock(ClockFn fnClock);

    // Appends the id unless it is already one of the comma-separated items.
    void AddCallId(const std::wstring& strId);
    // Starts a new entry: name, type (1 incoming, 2 outgoing) and file = path + ".mp3".
    void Begin(const std::wstring& strName, int nType, const std::wstring& strPathWithoutExtension);
    // The file the recording actually went into (the writer numbers a name already taken).
    void SetFile(const std::wstring& strFile) { m_entry.m_strFile = strFile; }
    // Closes a running pause, computes the duration without pauses and copies the entry out.
    void Finish(RecordEntry& entry);
    void Reset();
    void PauseBegin();
    void PauseEnd();
    // "mic" or "remote": that side of the recording was found silent.
    void SetOneSided(const std::wstring& strSide) { m_entry.m_strOneSided = strSide; }

    const std::wstring& GetCallIds() const { return m_strCallIds; }
    const RecordEntry& GetEntry() const { return m_entry; }
    int64_t GetStartTime() const { return m_tStart; }
    bool IsPaused() const { return m_bPaused; }
    int GetPausedSeconds() const { return m_nPausedSeconds; }

private:
    int64_t Now() const;

    RecordEntry m_entry;
    bool m_bPaused = false;
    int32_t m_nPausedSeconds = 0;
    int64_t m_tPauseStart = 0;
    int64_t m_tStart = 0;
    std::wstring m_strCallIds;
    ClockFn m_fnClock;

    static CCurrentRecord* s_pInstance;
};
