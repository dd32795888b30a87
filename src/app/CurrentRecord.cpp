#include "app/CurrentRecord.h"

#include <ctime>

#include "base/StringUtil.h"

CCurrentRecord* CCurrentRecord::s_pInstance = nullptr;

CCurrentRecord::CCurrentRecord() = default;

CCurrentRecord* CCurrentRecord::GetInstance() {
    if (!s_pInstance) s_pInstance = new CCurrentRecord();
    return s_pInstance;
}

void CCurrentRecord::DestroyInstance() {
    delete s_pInstance;
    s_pInstance = nullptr;
}

void CCurrentRecord::SetClock(ClockFn fnClock) { m_fnClock = std::move(fnClock); }

int64_t CCurrentRecord::Now() const {
    if (m_fnClock) return m_fnClock();
    return static_cast<int64_t>(std::time(nullptr));
}

void CCurrentRecord::AddCallId(const std::wstring& strId) {
    size_t nPos = 0;
    while (nPos <= m_strCallIds.size() && !m_strCallIds.empty()) {
        size_t nComma = m_strCallIds.find(L',', nPos);
        size_t nEnd = nComma == std::wstring::npos ? m_strCallIds.size() : nComma;
        if (m_strCallIds.compare(nPos, nEnd - nPos, strId) == 0) return;
        if (nComma == std::wstring::npos) break;
        nPos = nComma + 1;
    }
    if (m_strCallIds.empty())
        m_strCallIds = strId;
    else
        m_strCallIds += L"," + strId;
}

void CCurrentRecord::Begin(const std::wstring& strName, int nType,
                           const std::wstring& strPathWithoutExtension) {
    m_entry.m_bNew = true;
    m_entry.m_strName = strName;
    m_entry.m_nType = nType;
    m_tStart = Now();
    // History files keep the low 32 bits of the start time, as older files do.
    m_entry.m_strTime = FormatW(L"%ld", static_cast<long>(static_cast<int32_t>(m_tStart)));
    m_entry.m_strFile = strPathWithoutExtension + L".mp3";
    m_entry.m_strOneSided.clear();
    m_nPausedSeconds = 0;
    m_bPaused = false;
    m_tPauseStart = 0;
}

void CCurrentRecord::Finish(RecordEntry& entry) {
    PauseEnd();
    int64_t tNow = Now();
    m_entry.m_nDuration = static_cast<int32_t>(tNow - m_nPausedSeconds - m_tStart);
    entry.m_nType = m_entry.m_nType;
    entry.m_bNew = m_entry.m_bNew;
    entry.m_nDuration = m_entry.m_nDuration;
    entry.m_strName = m_entry.m_strName;
    entry.m_strTime = m_entry.m_strTime;
    entry.m_strFile = m_entry.m_strFile;
    entry.m_strNote = m_entry.m_strNote;
    entry.m_strOneSided = m_entry.m_strOneSided;
}

void CCurrentRecord::Reset() {
    m_strCallIds.clear();
    m_nPausedSeconds = 0;
    m_tPauseStart = 0;
}

void CCurrentRecord::PauseBegin() {
    if (m_bPaused) return;
    m_bPaused = true;
    m_tPauseStart = Now();
}

void CCurrentRecord::PauseEnd() {
    if (!m_bPaused) return;
    m_nPausedSeconds += static_cast<int32_t>(Now() - m_tPauseStart);
    m_tPauseStart = 0;
    m_bPaused = false;
}
