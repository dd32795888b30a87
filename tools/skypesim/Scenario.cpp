#include "Scenario.h"

#include <cmath>
#include <cstdio>
#include <cwchar>

#include "AudioSource.h"
#include "SimLog.h"
#include "SimSkype.h"
#include "base/StringUtil.h"

std::wstring SimStep::RestFrom(size_t n) const {
    if (n >= starts.size()) return std::wstring();
    std::wstring s = strText.substr(starts[n]);
    while (!s.empty() && (s.back() == L' ' || s.back() == L'\t')) s.pop_back();
    return s;
}

namespace {

bool ParseSeconds(const std::wstring& s, double& d) {
    if (s.empty()) return false;
    wchar_t* end = nullptr;
    d = wcstod(s.c_str(), &end);
    return end && *end == 0 && std::isfinite(d) && d >= 0 && d < 1e7;
}

// Checks the words of one step; an empty result means it is well-formed.
std::wstring CheckStep(const SimStep& st) {
    const auto& w = st.words;
    std::wstring k = UpperW(w[0]);
    size_t n = w.size();
    if (k == L"WAIT-ATTACH" || k == L"LOGOUT" || k == L"LOGIN" || k == L"ANNOUNCE" || k == L"REFUSE-ATTACH" ||
        k == L"ACCEPT-ATTACH" || k == L"REVOKE" || k == L"REFUSE-COMMANDS" || k == L"ACCEPT-COMMANDS" ||
        k == L"SILENT" || k == L"RESUME" || k == L"EXIT")
        return n == 1 ? L"" : w[0] + L" takes no arguments";
    if (k == L"WAIT-RECV" || k == L"SEND") return n >= 2 ? L"" : w[0] + L" needs a text";
    if (k == L"HANG") {
        double d = 0;
        return n == 2 && ParseSeconds(w[1], d) ? L"" : L"hang needs a number of seconds";
    }
    if (k == L"FRIEND") return n >= 2 ? L"" : L"friend needs a handle";
    if (k == L"UNFRIEND") return n == 2 ? L"" : L"unfriend needs exactly one handle";
    if (k == L"STATUS") return n == 2 ? L"" : L"status needs one word";
    if (k == L"USER") {
        if (n >= 3 && UpperW(w[2]) == L"FULLNAME") return L"";
        if (n == 4 && UpperW(w[2]) == L"STATUS") return L"";
        return L"expected: user HANDLE fullname [NAME...] or user HANDLE status WORD";
    }
    if (k == L"CALL") {
        if (n < 3) return L"call needs an id and an action";
        std::wstring a = UpperW(w[2]);
        if (a == L"INCOMING" || a == L"OUTGOING") {
            if (n == 4 || (n == 5 && UpperW(w[4]) == L"PSTN")) return L"";
            return L"expected: call ID " + w[2] + L" HANDLE [pstn]";
        }
        if (a == L"STATUS" || a == L"DTMF" || a == L"TARGET") return n == 4 ? L"" : L"call ID " + w[2] + L" needs one word";
        if (a == L"ANSWER" || a == L"HOLD" || a == L"RESUME" || a == L"END")
            return n == 3 ? L"" : L"call ID " + w[2] + L" takes no arguments";
        if (a == L"PARTICIPANTS") return L"";
        if (a == L"MIC" || a == L"REMOTE") {
            if (n != 4) return L"call ID " + w[2] + L" needs one audio source";
            SimSourceDesc sourceDesc;
            std::wstring err;
            return ParseSourceDesc(w[3], sourceDesc, err) ? L"" : err;
        }
        return L"unknown call action '" + w[2] + L"'";
    }
    return L"unknown step '" + w[0] + L"'";
}

}  // namespace

bool ParseScenario(const std::wstring& strText, std::vector<SimStep>& steps, std::wstring& strError) {
    steps.clear();
    size_t pos = 0;
    int nLine = 0;
    while (pos <= strText.size()) {
        size_t end = strText.find(L'\n', pos);
        if (end == std::wstring::npos) end = strText.size();
        std::wstring line = strText.substr(pos, end - pos);
        pos = end + 1;
        ++nLine;
        if (nLine == 1 && !line.empty() && line[0] == 0xFEFF) line.erase(0, 1);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        SimStep st;
        st.nLine = nLine;
        std::vector<size_t> starts;
        std::vector<std::wstring> w = SplitWords(line, &starts);
        if (w.empty() || w[0][0] == L'#') continue;
        size_t first = 0;
        std::wstring k = UpperW(w[0]);
        if (k == L"AT" || k == L"AFTER") {
            if (w.size() < 3 || !ParseSeconds(w[1], st.dTime)) {
                strError = FormatW(L"scenario line %d: expected '%ls SECONDS STEP'", nLine, w[0].c_str());
                return false;
            }
            st.eTime = k == L"AT" ? TIME_AT : TIME_AFTER;
            first = 2;
        }
        st.strText = line.substr(starts[first]);
        while (!st.strText.empty() && (st.strText.back() == L' ' || st.strText.back() == L'\t')) st.strText.pop_back();
        st.words = SplitWords(st.strText, &st.starts);
        std::wstring err = CheckStep(st);
        if (!err.empty()) {
            strError = FormatW(L"scenario line %d: %ls", nLine, err.c_str());
            return false;
        }
        steps.push_back(st);
        if (end == strText.size()) break;
    }
    return true;
}

bool LoadScenario(const std::wstring& strPath, std::vector<SimStep>& steps, std::wstring& strError) {
    FILE* f = _wfopen(SimPath(strPath).c_str(), L"rb");
    if (!f) {
        strError = L"cannot open scenario '" + strPath + L"'";
        return false;
    }
    std::string data;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    fclose(f);
    return ParseScenario(Utf8ToWide(data), steps, strError);
}
