#pragma once
// The table of calls Skype has mentioned: 20 fixed slots, taken by AddCall and
// freed all at once by Reset. Written by the parser, read by the recording
// controller, both on the GUI thread, so it has no lock.
#include <cstdint>
#include <functional>
#include <string>

#include "skype/CommandQueue.h"

struct CCallInfo {
    std::wstring m_strCallId;  // empty: the slot is free
    std::wstring m_strPartner;
    int m_nStatus = 0;
    int64_t m_tStart = 0;  // seconds since 1970 when the slot was taken
};

class CCallList {
public:
    static constexpr int CALL_SLOTS = 20;
    using ClockFn = std::function<int64_t()>;

    CCallList();
    CCallList(const CCallList&) = delete;
    CCallList& operator=(const CCallList&) = delete;

    static CCallList* GetInstance();
    static void DestroyInstance();

    // Where AddCall queues the partner query of a new call; null queues nothing.
    void SetQueue(ICommandSink* pQueue) { m_pQueue = pQueue; }
    // The clock for m_tStart (the C library's 64-bit time by default).
    void SetClock(ClockFn fnClock);

    // Slot of the (trimmed) id, taking the lowest free slot for a new id and
    // queueing its partner query; -1 for an empty id or a full table.
    int AddCall(const std::wstring& strId);
    int FindCall(const std::wstring& strId) const;
    // Stores the code; a new call is added only for routing, early media,
    // ringing, in progress and on hold, so calls first seen ended never take a slot.
    int SetStatus(const std::wstring& strId, int nCode);
    int SetPartner(const std::wstring& strId, const std::wstring& strHandle);
    // Slots with an id and any non-zero status (ended calls count until Reset).
    int CountActiveCalls() const;
    bool IsCallPartner(const std::wstring& strHandle) const;

    int GetStatus(int nSlot) const;
    std::wstring GetCallId(int nSlot) const;
    bool IsAnyCallActive() const;
    // The active call taken earliest (the higher slot among equal times).
    void GetCurrentCall(std::wstring& strId, std::wstring& strPartner) const;
    // Partner of the first slot whose id equals strId exactly (not trimmed).
    std::wstring GetPartner(const std::wstring& strId) const;
    // A copy of a slot for 0..19, an empty slot otherwise.
    CCallInfo GetSlot(int nSlot) const;
    void Reset();

private:
    static bool IsValidSlot(int nSlot) { return nSlot >= 0 && nSlot < CALL_SLOTS; }

    ICommandSink* m_pQueue = nullptr;
    ClockFn m_fnClock;
    CCallInfo m_slots[CALL_SLOTS];
};
