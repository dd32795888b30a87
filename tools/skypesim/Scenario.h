#pragma once
// A scenario: timed steps, one per line ("at 2 call 17 status INPROGRESS").
// Parsing checks every step, so a bad file is refused before anything runs.
#include <string>
#include <vector>

enum ETimeMode { TIME_NONE, TIME_AT, TIME_AFTER };

struct SimStep {
    int nLine = 0;
    ETimeMode eTime = TIME_NONE;
    double dTime = 0;
    std::wstring strText;               // the step without its time
    std::vector<std::wstring> words;    // words of strText
    std::vector<size_t> starts;         // offset of each word in strText

    // The text from word n to the end of the line ("Bob Builder" of "friend bob Bob Builder").
    std::wstring RestFrom(size_t n) const;
};

bool ParseScenario(const std::wstring& strText, std::vector<SimStep>& steps, std::wstring& strError);
bool LoadScenario(const std::wstring& strPath, std::vector<SimStep>& steps, std::wstring& strError);
