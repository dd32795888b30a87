#pragma once
// The recording history kept in record.xml: one "rec..." element under
// quern/list per finished recording, holding name, time, file, type,
// duration, new and note as element text, and marks as attributes.
#include <ctime>
#include <string>
#include <vector>

#include "base/Lock.h"
#include "history/Xml.h"

struct RecordEntry {
    int m_nType = 3;         // 1 incoming, 2 outgoing, 3 no direction
    bool m_bNew = true;      // not yet played to its end
    int m_nDuration = 0;     // seconds, without paused spans
    std::wstring m_strName;  // partner handle(s), joined by ","
    std::wstring m_strTime;  // start, seconds since 1970 UTC, "%ld"
    std::wstring m_strFile;  // full path of the .mp3
    std::wstring m_strNote;  // free text, may hold CR LF
    // "mic" or "remote": that side sent only silence while the other spoke. Kept as
    // the record element's attribute "onesided", which earlier versions pass over.
    std::wstring m_strOneSided;
};

class CRecordHistory {
public:
    CRecordHistory() = default;
    ~CRecordHistory() = default;
    CRecordHistory(const CRecordHistory&) = delete;
    CRecordHistory& operator=(const CRecordHistory&) = delete;

    static CRecordHistory* GetInstance();
    static void DestroyInstance();

    // Remembers the path and, when it is not empty, opens the document.
    void Open(const std::wstring& strPath);
    // Entries under "list"; 0 without a document, -1 when the count cannot be read.
    int GetCount();
    bool GetRecord(int nIndex, RecordEntry& entry);
    // False when an entry with the same name and time (any letter case) exists.
    bool AddRecord(const RecordEntry& entry);
    bool SearchNode(const std::wstring& strName, const std::wstring& strTime, CXmlNode& node);
    bool DeleteRecord(const std::wstring& strName, const std::wstring& strTime);
    // Removes the entries with these names and times (any letter case) in one walk and
    // one save; returns how many went, -1 when the list cannot be walked.
    int DeleteRecords(const std::vector<RecordEntry>& entries);
    bool MarkRecordRead(const std::wstring& strName, const std::wstring& strTime);

    const std::wstring& GetPath() const { return m_strPath; }

    // The file is there but could not be read (another program holds it, access
    // denied): nothing is saved over it, new entries wait in memory.
    bool IsBlocked() const { return m_bBlocked; }
    // Tries a blocked file again: false while it still cannot be read. Once read,
    // its entries come first in the list, followed by those added meanwhile, and
    // the merged history is saved when something waited for it.
    bool RetryBlocked();
    // Entries that came in from a file read late by RetryBlocked or a save: they
    // lead the list.
    int GetTakenInCount() const { return m_nTakenIn; }
    // A change is held in memory only: the file could not be read or written.
    bool HasUnsavedChanges() const { return m_bUnsaved; }

    // Test seam for the clock that names new record elements.
    using ClockFn = time_t (*)();
    static ClockFn SetClock(ClockFn fn);

private:
    CXmlNode GetList();
    bool SaveDocument();
    bool KeepUnreadableFile();
    std::wstring NewRecordName(CXmlNode& list);
    void ForgetWalk();
    bool OpenFile(CXml& xml);
    bool TakeInBlockedFile();
    static void ReadEntry(CXmlNode& rec, RecordEntry& entry);
    static void WriteEntry(CXmlNode& rec, const RecordEntry& entry);

    CCriticalSection m_lock;
    CXml m_xml;
    std::wstring m_strPath;
    // The file at m_strPath exists but could not be read: keep it before saving over it.
    bool m_bKeepUnreadable = false;
    bool m_bBlocked = false;
    bool m_bUnsaved = false;
    int m_nTakenIn = 0;
    // GetRecord walks the list once when called for 0, 1, 2...
    CXmlNodeList m_walkList;
    int m_nWalkNext = -1;

    static CRecordHistory* s_pInstance;
};
