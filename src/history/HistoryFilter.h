#pragma once
// The history window's search: which recordings a filter text keeps. Plain text
// matching without case over what the tree shows of a recording.
#include <string>

struct RecordEntry;

// Lower case as Windows folds it, in any language.
std::wstring FoldCase(const std::wstring& str);
// A typed filter as it is matched: folded, without the blanks around it.
std::wstring MakeFilterText(const std::wstring& strTyped);
// What a recording is found by, folded: its handles, the names the tree shows for
// them, and its local date ("2026-05-03").
std::wstring BuildSearchKey(const RecordEntry& entry, const std::wstring& strShownNames);
// True when the filter (as MakeFilterText gives it) is empty or occurs in the folded text.
bool MatchesFilter(const std::wstring& strFolded, const std::wstring& strFilter);
