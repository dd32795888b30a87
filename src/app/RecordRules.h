#pragma once
// Which call partners are recorded automatically: all of them, only the listed
// ones, or all but the listed ones ("rulemode", "rulelist"). Skype handles are
// compared ignoring case, as Skype itself treats them.
#include <string>
#include <vector>

// Whether a call with this partner is recorded automatically. A partner not yet
// known passes only when everyone is recorded: the decision waits for the handle.
bool PassesRecordRule(int nMode, const std::vector<std::wstring>& list, const std::wstring& strHandle);

class CGeneralProfile;
class CContactList;

// "Always record": the handle is taken out of a "never" list or added to an
// "only" list; with everyone recorded nothing changes.
void AlwaysRecord(int& nMode, std::vector<std::wstring>& list, const std::wstring& strHandle);
// "Never record": the handle is added to a "never" list or taken out of an "only"
// list; with everyone recorded the rule becomes "all except" this one handle.
void NeverRecord(int& nMode, std::vector<std::wstring>& list, const std::wstring& strHandle);

// The history menu's choice applied to the profile and stored at once.
void ApplyRecordRuleChoice(CGeneralProfile& profile, const std::wstring& strHandle, bool bAlways);

// Every handle the contact list knows (friends and past partners), for the options.
std::vector<std::wstring> GetContactHandles(CContactList& contacts);
