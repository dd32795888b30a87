#include "SimLog.h"

#include <windows.h>

#include "base/StringUtil.h"

CSimLog::CSimLog() {
    LARGE_INTEGER li;
    ::QueryPerformanceFrequency(&li);
    m_nFrequency = li.QuadPart ? li.QuadPart : 1;
    ::QueryPerformanceCounter(&li);
    m_nStart = li.QuadPart;
}

CSimLog::~CSimLog() {
    if (m_pFile && m_bOwnFile) fclose(m_pFile);
}

bool CSimLog::Open(const std::wstring& strPath) {
    CLock lock(m_cs);
    if (strPath == L"-") {
        m_pFile = stdout;
        m_bOwnFile = false;
        return true;
    }
    m_pFile = _wfopen(SimPath(strPath).c_str(), L"wb");
    m_bOwnFile = m_pFile != nullptr;
    return m_pFile != nullptr;
}

double CSimLog::Now() const {
    LARGE_INTEGER li;
    ::QueryPerformanceCounter(&li);
    return static_cast<double>(li.QuadPart - m_nStart) / static_cast<double>(m_nFrequency);
}

void CSimLog::Write(const wchar_t* pszKind, const std::wstring& strText) {
    char szTime[32];
    snprintf(szTime, sizeof szTime, "%.3f ", Now());
    std::string line = szTime + WideToUtf8(pszKind) + " " + WideToUtf8(EscapeControl(strText)) + "\n";
    CLock lock(m_cs);
    if (m_pFile) {
        fwrite(line.data(), 1, line.size(), m_pFile);
        fflush(m_pFile);
    }
    if (m_bEcho) {
        fwrite(line.data(), 1, line.size(), stderr);
        fflush(stderr);
    }
}

std::wstring SimPath(const std::wstring& strPath) {
    if (!strPath.empty() && strPath[0] == L'/' && (strPath.size() < 2 || strPath[1] != L'/'))
        return L"Z:" + strPath;
    return strPath;
}

std::wstring EscapeControl(const std::wstring& strText) {
    std::wstring out;
    out.reserve(strText.size());
    for (wchar_t c : strText) {
        if (c == L'\r')
            out += L"\\r";
        else if (c == L'\n')
            out += L"\\n";
        else if (c == L'\t')
            out += L"\\t";
        else if (c < 0x20 || c == 0x7F)
            out += FormatW(L"\\x%02X", static_cast<unsigned>(c));
        else
            out += c;
    }
    return out;
}
