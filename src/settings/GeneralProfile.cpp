#include "settings/GeneralProfile.h"

#include <shlobj.h>

const wchar_t RUN_KEY_PATH[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t RUN_VALUE_NAME[] = L"Ombra";

CGeneralProfile* CGeneralProfile::s_pInstance = nullptr;

CGeneralProfile::CGeneralProfile() { SetDefaults(); }

CGeneralProfile* CGeneralProfile::GetInstance() {
    if (!s_pInstance) s_pInstance = new CGeneralProfile();
    return s_pInstance;
}

void CGeneralProfile::DestroyInstance() {
    delete s_pInstance;
    s_pInstance = nullptr;
}

void CGeneralProfile::SetDefaults() {
    m_bAutoStart = false;
    m_strPosition.clear();
    m_bNotifyConversation = true;
    m_bNotifyFinish = true;
    m_bNotifyHistory = true;
    m_nRecordType = 0;
    m_nRecordSide = 0;
    m_strFolder = GetDefaultRecordFolder();
    m_nAudioMode = 1;
    m_nAudioBitrate = 1;
    m_nAudioSample = 1;
    m_nRuleMode = RULE_RECORD_ALL;
    m_ruleList.clear();
    m_nKeepMode = KEEP_FOREVER;
    m_nKeepDays = 90;
    m_nKeepGigabytes = 10;
    m_bHotKeys = false;
}

// Any non-zero byte reads as on, as the stored byte is all the registry keeps.
bool CGeneralProfile::Load() {
    const std::wstring strKey = GetConfigKey();
    m_bAutoStart = ReadByte(strKey, L"autostart", m_bAutoStart ? 1 : 0) != 0;
    m_bNotifyConversation = ReadByte(strKey, L"notifycov", m_bNotifyConversation ? 1 : 0) != 0;
    m_bNotifyFinish = ReadByte(strKey, L"notifyfinish", m_bNotifyFinish ? 1 : 0) != 0;
    m_bNotifyHistory = ReadByte(strKey, L"notifyhistory", m_bNotifyHistory ? 1 : 0) != 0;
    m_strPosition = ReadString(strKey, L"position", m_strPosition);
    m_nRecordType = ReadByte(strKey, L"rectype", m_nRecordType);
    m_nRecordSide =
        static_cast<int>(ReadDword(strKey, L"recside", static_cast<DWORD>(m_nRecordSide)));
    m_strFolder = ReadString(strKey, L"sfolder", m_strFolder);
    m_nAudioMode = static_cast<int>(ReadDword(strKey, L"amode", static_cast<DWORD>(m_nAudioMode)));
    m_nAudioBitrate =
        static_cast<int>(ReadDword(strKey, L"abitrate", static_cast<DWORD>(m_nAudioBitrate)));
    m_nAudioSample =
        static_cast<int>(ReadDword(strKey, L"asample", static_cast<DWORD>(m_nAudioSample)));
    m_nRuleMode = static_cast<int>(ReadDword(strKey, L"rulemode", static_cast<DWORD>(m_nRuleMode)));
    m_ruleList = ReadStringList(strKey, L"rulelist", m_ruleList);
    m_nKeepMode = static_cast<int>(ReadDword(strKey, L"keepmode", static_cast<DWORD>(m_nKeepMode)));
    m_nKeepDays = static_cast<int>(ReadDword(strKey, L"keepdays", static_cast<DWORD>(m_nKeepDays)));
    m_nKeepGigabytes =
        static_cast<int>(ReadDword(strKey, L"keepgb", static_cast<DWORD>(m_nKeepGigabytes)));
    m_bHotKeys = ReadByte(strKey, L"hotkeys", m_bHotKeys ? 1 : 0) != 0;
    return true;
}

bool CGeneralProfile::Save() {
    if (!m_bModified) return true;
    const std::wstring strKey = GetConfigKey();
    WriteByte(strKey, L"autostart", m_bAutoStart ? 1 : 0);
    WriteByte(strKey, L"notifycov", m_bNotifyConversation ? 1 : 0);
    WriteByte(strKey, L"notifyfinish", m_bNotifyFinish ? 1 : 0);
    WriteByte(strKey, L"notifyhistory", m_bNotifyHistory ? 1 : 0);
    WriteString(strKey, L"position", m_strPosition);
    WriteByte(strKey, L"rectype", m_nRecordType);
    WriteDword(strKey, L"recside", static_cast<DWORD>(m_nRecordSide));
    WriteString(strKey, L"sfolder", m_strFolder);
    WriteDword(strKey, L"amode", static_cast<DWORD>(m_nAudioMode));
    WriteDword(strKey, L"abitrate", static_cast<DWORD>(m_nAudioBitrate));
    WriteDword(strKey, L"asample", static_cast<DWORD>(m_nAudioSample));
    SaveRule();
    WriteDword(strKey, L"keepmode", static_cast<DWORD>(m_nKeepMode));
    WriteDword(strKey, L"keepdays", static_cast<DWORD>(m_nKeepDays));
    WriteDword(strKey, L"keepgb", static_cast<DWORD>(m_nKeepGigabytes));
    WriteByte(strKey, L"hotkeys", m_bHotKeys ? 1 : 0);
    return true;
}

bool CGeneralProfile::SaveRule() {
    const std::wstring strKey = GetConfigKey();
    bool bMode = WriteDword(strKey, L"rulemode", static_cast<DWORD>(m_nRuleMode));
    return WriteStringList(strKey, L"rulelist", m_ruleList) && bMode;
}

std::wstring GetDefaultRecordFolder() {
    wchar_t szPath[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, szPath, CSIDL_PERSONAL, FALSE) || !szPath[0])
        return std::wstring();
    return std::wstring(szPath) + L"\\Ombra";
}

bool AddRunEntry() {
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, RUN_KEY_PATH, 0, KEY_READ | KEY_WRITE, &hKey) !=
        ERROR_SUCCESS)
        return false;
    DWORD cb = 0;
    LSTATUS st = ::RegQueryValueExW(hKey, RUN_VALUE_NAME, nullptr, nullptr, nullptr, &cb);
    if (st == ERROR_SUCCESS || cb != 0) {
        // Whatever is there stays: the user or an installer may have set it.
        ::RegCloseKey(hKey);
        return true;
    }
    constexpr DWORD MAX_EXE_CHARS = 520;
    wchar_t szExe[MAX_EXE_CHARS] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, szExe, MAX_EXE_CHARS);
    bool bStored = false;
    // A truncated path would start some other program, or nothing.
    if (n > 0 && n < MAX_EXE_CHARS) {
        std::wstring strData = L"\"" + std::wstring(szExe, n) + L"\"";
        bStored = ::RegSetValueExW(hKey, RUN_VALUE_NAME, 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(strData.c_str()),
                                   static_cast<DWORD>((strData.size() + 1) * sizeof(wchar_t))) ==
                  ERROR_SUCCESS;
    }
    ::RegCloseKey(hKey);
    return bStored;
}

bool RemoveRunEntry() {
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, RUN_KEY_PATH, 0, KEY_READ | KEY_WRITE, &hKey) !=
        ERROR_SUCCESS)
        return false;
    bool bDeleted = ::RegDeleteValueW(hKey, RUN_VALUE_NAME) == ERROR_SUCCESS;
    ::RegCloseKey(hKey);
    return bDeleted;
}
