#include "settings/DlgRulesSettings.h"

#include <cwctype>

#include "../../resources/ids_options.h"
#include "base/Notifier.h"
#include "base/StringUtil.h"

namespace {
const wchar_t* const RULE_MODE_TEXTS[] = {L"Record all calls", L"Record only calls with the contacts listed below",
                                          L"Record all calls except with the contacts listed below"};
const wchar_t* const KEEP_MODE_TEXTS[] = {L"Keep recordings forever", L"Keep recordings for", L"Keep recordings up to"};

std::wstring Trim(const std::wstring& str) {
    const size_t nBegin = str.find_first_not_of(L" \t");
    if (nBegin == std::wstring::npos) return std::wstring();
    return str.substr(nBegin, str.find_last_not_of(L" \t") - nBegin + 1);
}

bool SameHandle(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }
}  // namespace

bool IsPlausibleSkypeHandle(const std::wstring& strHandle) {
    if (strHandle.empty() || strHandle.size() > 128) return false;
    for (wchar_t ch : strHandle)
        if (ch < 32 || ch == L',' || iswspace(ch)) return false;
    return true;
}

CDlgRulesSettings::CDlgRulesSettings() : COptionsPage(IDD_OPTIONS_RULES) {}

LRESULT CDlgRulesSettings::SendItem(UINT nId, UINT uMsg, WPARAM wParam, LPARAM lParam) const {
    return ::SendDlgItemMessageW(m_hWnd, (int)nId, uMsg, wParam, lParam);
}

BOOL CDlgRulesSettings::OnInitDialog() {
    m_pProfile = CGeneralProfile::GetInstance();
    for (const wchar_t* psz : RULE_MODE_TEXTS) SendItem(IDC_OPT_RULE_MODE, CB_ADDSTRING, 0, (LPARAM)psz);
    for (const wchar_t* psz : KEEP_MODE_TEXTS) SendItem(IDC_OPT_KEEP_MODE, CB_ADDSTRING, 0, (LPARAM)psz);
    for (const std::wstring& str : m_friends)
        SendItem(IDC_OPT_RULE_CONTACT, CB_ADDSTRING, 0, (LPARAM)str.c_str());
    SendItem(IDC_OPT_RULE_CONTACT, CB_LIMITTEXT, 128);
    SendItem(IDC_OPT_KEEP_VALUE, EM_LIMITTEXT, 6);
    ::SetDlgItemTextW(m_hWnd, IDC_OPT_RULE_LIST, L"Contacts");  // its name for screen readers
    FillList();
    ShowRuleMode();
    ShowKeepMode();
    ::CheckDlgButton(m_hWnd, IDC_OPT_HOTKEYS, m_pProfile->m_bHotKeys ? BST_CHECKED : BST_UNCHECKED);
    return TRUE;
}

void CDlgRulesSettings::FillList() {
    SendItem(IDC_OPT_RULE_LIST, LB_RESETCONTENT);
    for (const std::wstring& str : m_pProfile->m_ruleList)
        SendItem(IDC_OPT_RULE_LIST, LB_ADDSTRING, 0, (LPARAM)str.c_str());
}

void CDlgRulesSettings::ShowRuleMode() {
    int nMode = m_pProfile->m_nRuleMode;
    if (nMode < RULE_RECORD_ALL || nMode > RULE_RECORD_EXCEPT) nMode = RULE_RECORD_ALL;
    SendItem(IDC_OPT_RULE_MODE, CB_SETCURSEL, (WPARAM)nMode);
    // With every call recorded the list says nothing; it is kept for a later mode.
    const bool bList = nMode != RULE_RECORD_ALL;
    for (UINT nId : {IDC_OPT_RULE_LIST, IDC_OPT_RULE_CONTACT, IDC_OPT_RULE_ADD, IDC_OPT_RULE_REMOVE})
        ::EnableWindow(GetDlgItem(nId), bList);
}

void CDlgRulesSettings::ShowKeepMode() {
    int nMode = m_pProfile->m_nKeepMode;
    if (nMode < KEEP_FOREVER || nMode > KEEP_SIZE) nMode = KEEP_FOREVER;
    SendItem(IDC_OPT_KEEP_MODE, CB_SETCURSEL, (WPARAM)nMode);
    const bool bValue = nMode != KEEP_FOREVER;
    const int nValue = nMode == KEEP_SIZE ? m_pProfile->m_nKeepGigabytes : m_pProfile->m_nKeepDays;
    ::SetDlgItemTextW(m_hWnd, IDC_OPT_KEEP_VALUE, bValue ? FormatW(L"%d", nValue).c_str() : L"");
    ::SetDlgItemTextW(m_hWnd, IDC_OPT_KEEP_UNIT, nMode == KEEP_SIZE ? L"GB in all" : nMode == KEEP_DAYS ? L"days" : L"");
    ::EnableWindow(GetDlgItem(IDC_OPT_KEEP_VALUE), bValue);
    ::ShowWindow(GetDlgItem(IDC_OPT_KEEP_UNIT), bValue ? SW_SHOW : SW_HIDE);  // no blank control for screen readers
}

void CDlgRulesSettings::OnKeepValueChanged() {
    const int nMode = m_pProfile->m_nKeepMode;
    if (nMode != KEEP_DAYS && nMode != KEEP_SIZE) return;
    // Only a number in range counts; leaving the field shows what is in force.
    const std::wstring strText = GetDlgItemText(m_hWnd, IDC_OPT_KEEP_VALUE);
    const long nValue = strText.empty() ? 0 : std::wcstol(strText.c_str(), nullptr, 10);
    if (nMode == KEEP_DAYS && nValue >= 1 && nValue <= MAX_KEEP_DAYS) m_pProfile->m_nKeepDays = (int)nValue;
    if (nMode == KEEP_SIZE && nValue >= 1 && nValue <= MAX_KEEP_GIGABYTES) m_pProfile->m_nKeepGigabytes = (int)nValue;
}

bool CDlgRulesSettings::AddContact() {
    const std::wstring strHandle = Trim(GetDlgItemText(m_hWnd, IDC_OPT_RULE_CONTACT));
    if (!IsPlausibleSkypeHandle(strHandle)) {
        NotifyMessageBox(m_hWnd,
                         strHandle.empty() ? std::wstring(L"Type a Skype name or pick a contact to add.")
                                           : FormatW(L"'%ls' is not a Skype name: a Skype name has no blanks or commas.",
                                                     strHandle.c_str()),
                         L"Options", MB_OK | MB_ICONWARNING);
        return false;
    }
    std::vector<std::wstring>& list = m_pProfile->m_ruleList;
    size_t nIndex = 0;
    while (nIndex < list.size() && !SameHandle(list[nIndex], strHandle)) ++nIndex;
    if (nIndex == list.size()) {
        list.push_back(strHandle);
        SendItem(IDC_OPT_RULE_LIST, LB_ADDSTRING, 0, (LPARAM)strHandle.c_str());
    }
    SendItem(IDC_OPT_RULE_LIST, LB_SETCURSEL, (WPARAM)nIndex);
    ::SetDlgItemTextW(m_hWnd, IDC_OPT_RULE_CONTACT, L"");
    return true;
}

void CDlgRulesSettings::RemoveSelectedContact() {
    const int nSel = (int)SendItem(IDC_OPT_RULE_LIST, LB_GETCURSEL);
    std::vector<std::wstring>& list = m_pProfile->m_ruleList;
    if (nSel < 0 || nSel >= (int)list.size()) return;
    list.erase(list.begin() + nSel);
    SendItem(IDC_OPT_RULE_LIST, LB_DELETESTRING, (WPARAM)nSel);
    const int nCount = (int)list.size();
    if (nCount > 0) SendItem(IDC_OPT_RULE_LIST, LB_SETCURSEL, (WPARAM)(nSel < nCount ? nSel : nCount - 1));
}

LRESULT CDlgRulesSettings::OnCommand(UINT nId, UINT nCode, HWND hCtl) {
    if (!m_pProfile) return COptionsPage::OnCommand(nId, nCode, hCtl);
    switch (nId) {
    case IDC_OPT_RULE_MODE:
        if (nCode != CBN_SELCHANGE) break;
        m_pProfile->m_nRuleMode = (int)SendItem(IDC_OPT_RULE_MODE, CB_GETCURSEL);
        ShowRuleMode();
        return 0;
    case IDC_OPT_KEEP_MODE:
        if (nCode != CBN_SELCHANGE) break;
        m_pProfile->m_nKeepMode = (int)SendItem(IDC_OPT_KEEP_MODE, CB_GETCURSEL);
        ShowKeepMode();
        return 0;
    case IDC_OPT_KEEP_VALUE:
        if (nCode == EN_CHANGE) OnKeepValueChanged();
        if (nCode == EN_KILLFOCUS) ShowKeepMode();
        return 0;
    case IDC_OPT_RULE_ADD:
        if (nCode == BN_CLICKED) AddContact();
        return 0;
    case IDC_OPT_RULE_REMOVE:
        if (nCode == BN_CLICKED) RemoveSelectedContact();
        return 0;
    case IDC_OPT_HOTKEYS:
        if (nCode == BN_CLICKED) m_pProfile->m_bHotKeys = IsButtonChecked(m_hWnd, IDC_OPT_HOTKEYS);
        return 0;
    default: break;
    }
    return COptionsPage::OnCommand(nId, nCode, hCtl);
}
