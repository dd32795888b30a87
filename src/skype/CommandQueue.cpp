#include "skype/CommandQueue.h"

#include "skype/SingleInstance.h"

CCommandQueue* CCommandQueue::GetInstance() { return CSingleInstance<CCommandQueue>::Get(); }

void CCommandQueue::DestroyInstance() { CSingleInstance<CCommandQueue>::Destroy(); }

bool CCommandQueue::QueueCommand(const std::wstring& strCommand) {
    CLock lock(m_cs);
    if (!m_bEnabled || strCommand.empty() || m_items.size() >= MAX_WAITING) return false;
    m_items.push_back(strCommand);
    return true;
}

bool CCommandQueue::Pop(std::wstring* pstrCommand) {
    CLock lock(m_cs);
    if (!m_bEnabled || m_items.empty()) return false;
    *pstrCommand = std::move(m_items.front());
    m_items.pop_front();
    return true;
}

void CCommandQueue::Enable() {
    CLock lock(m_cs);
    m_bEnabled = true;
}

void CCommandQueue::Disable() {
    CLock lock(m_cs);
    m_bEnabled = false;
}

void CCommandQueue::Clear() {
    CLock lock(m_cs);
    m_items.clear();
}

bool CCommandQueue::IsEnabled() {
    CLock lock(m_cs);
    return m_bEnabled;
}

size_t CCommandQueue::GetSize() {
    CLock lock(m_cs);
    return m_items.size();
}
