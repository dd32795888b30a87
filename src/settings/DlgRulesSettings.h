#pragma once
// Page "Rules": whose calls are recorded automatically, how long recordings are
// kept, and the global hot keys. Like the other pages, every change goes to the
// profile at once.
#include <string>
#include <vector>

#include "settings/DlgOptionsPages.h"

class CDlgRulesSettings : public COptionsPage {
public:
    CDlgRulesSettings();

    // Skype's friends, offered for the list; set before the page is created.
    void SetFriends(std::vector<std::wstring> friends) { m_friends = std::move(friends); }

    // The handle typed or picked in the contact box goes on the list; false, after
    // telling the user, when it cannot be a Skype name.
    bool AddContact();
    void RemoveSelectedContact();

    // Limits of the retention value, per "keepmode".
    static constexpr int MAX_KEEP_DAYS = 36500;
    static constexpr int MAX_KEEP_GIGABYTES = 100000;

protected:
    BOOL OnInitDialog() override;
    LRESULT OnCommand(UINT nId, UINT nCode, HWND hCtl) override;

private:
    LRESULT SendItem(UINT nId, UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    void FillList();
    void ShowRuleMode();
    void ShowKeepMode();
    void OnKeepValueChanged();

    std::vector<std::wstring> m_friends;
};

// A Skype name as a user may type it: not empty, at most 128 characters, no
// blanks, commas or control characters.
bool IsPlausibleSkypeHandle(const std::wstring& strHandle);
