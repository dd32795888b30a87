#pragma once
// Commands waiting for the sender thread. The GUI thread pushes, the sender
// thread pops; the lock is held only for the queue operation itself.
#include <deque>
#include <string>

#include "base/Lock.h"

// Where composed commands go; the call table queues its partner query here.
class ICommandSink {
public:
    virtual ~ICommandSink() = default;
    virtual bool QueueCommand(const std::wstring& strCommand) = 0;
};

class CCommandQueue : public ICommandSink {
public:
    CCommandQueue() = default;
    CCommandQueue(const CCommandQueue&) = delete;
    CCommandQueue& operator=(const CCommandQueue&) = delete;

    static CCommandQueue* GetInstance();
    static void DestroyInstance();

    // Skype takes about a hundred commands a second; a flood of texts that each
    // queue a few queries must not make the queue grow without end.
    static constexpr size_t MAX_WAITING = 10000;

    // Appends a non-empty command while enabled and not full; otherwise drops
    // it and returns false.
    bool QueueCommand(const std::wstring& strCommand) override;
    // Takes the oldest command; false while disabled or empty.
    bool Pop(std::wstring* pstrCommand);
    // Disabling keeps the waiting commands for the next Enable.
    void Enable();
    void Disable();
    void Clear();
    bool IsEnabled();
    size_t GetSize();

private:
    CCriticalSection m_cs;
    std::deque<std::wstring> m_items;
    bool m_bEnabled = false;
};
