#pragma once
// Helpers for the history tests: debugger-output capture, scratch folders, raw file bytes.
#include <windows.h>

#include <string>
#include <vector>

// Collects what OutputDebugString writes while it lives. The string reaches a
// vectored handler as the DBG_PRINTEXCEPTION that OutputDebugString raises.
class CTraceCapture {
public:
    CTraceCapture();
    ~CTraceCapture();
    CTraceCapture(const CTraceCapture&) = delete;
    CTraceCapture& operator=(const CTraceCapture&) = delete;
    std::wstring Text() const;
    void Clear();

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* pInfo);
    PVOID m_pHandler = nullptr;
};

// A new empty folder under the temp folder, removed with its contents at the end.
class CScratchFolder {
public:
    explicit CScratchFolder(const std::wstring& strLeaf = L"");
    ~CScratchFolder();
    const std::wstring& Path() const { return m_strPath; }
    std::wstring File(const std::wstring& strName) const { return m_strPath + L"\\" + strName; }
    // Names of the files in the folder.
    std::vector<std::wstring> List() const;

private:
    std::wstring m_strRoot;
    std::wstring m_strPath;
};

bool ReadBytes(const std::wstring& strPath, std::string& data);
bool WriteBytes(const std::wstring& strPath, const std::string& data);
bool FileExists(const std::wstring& strPath);
