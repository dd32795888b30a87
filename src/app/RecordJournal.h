#pragma once
// The journal of a running recording: a small file beside record.xml naming the
// recording's file, partners, start time and direction, written when the
// recording starts and removed once its history entry is saved. A journal found
// at the next start belongs to a recording whose program was killed or crashed.
#include <string>

#include "history/RecordHistory.h"

class CRecordJournal {
public:
    // strFolder ends in a backslash (the folder of record.xml), or is empty.
    explicit CRecordJournal(std::wstring strFolder = {}) : m_strFolder(std::move(strFolder)) {}

    void SetFolder(const std::wstring& strFolder) { m_strFolder = strFolder; }
    // Writes (or rewrites, when the partners change) the journal of the entry.
    bool Write(const RecordEntry& entry);
    // Removes the journal last written: its entry is saved.
    void Remove();
    // Forgets the journal last written but leaves it on disk for Recover: its entry
    // is held in memory only.
    void Leave() { m_strPath.clear(); }
    // The journal file of the recording running now; empty when none.
    const std::wstring& GetPath() const { return m_strPath; }

    // Turns every journal in the folder except strSkip into a history entry marked
    // new, its duration read from the file's frames. A journal is removed once its
    // entry is saved; a damaged one, or one whose file is missing from a folder that
    // exists, is dropped. One whose file is out of reach or cannot be read now stays
    // for a later start. Returns the number of entries added.
    static int Recover(const std::wstring& strFolder, CRecordHistory& history,
                       const std::wstring& strSkip = {});

private:
    std::wstring m_strFolder;
    std::wstring m_strPath;
};
