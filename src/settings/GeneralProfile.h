#pragma once
// The program's settings, one instance per run, read field by field at the moment of use.
#include <windows.h>

#include <string>
#include <vector>

#include "settings/ProfileBase.h"

// Which calls are recorded automatically ("rulemode").
enum { RULE_RECORD_ALL = 0, RULE_RECORD_ONLY = 1, RULE_RECORD_EXCEPT = 2 };
// How long recordings are kept ("keepmode").
enum { KEEP_FOREVER = 0, KEEP_DAYS = 1, KEEP_SIZE = 2 };

class CGeneralProfile : public CProfileBase {
public:
    CGeneralProfile();
    ~CGeneralProfile() override = default;

    static CGeneralProfile* GetInstance();
    static void DestroyInstance();

    bool Save() override;
    bool Load() override;
    void SetDefaults() override;

    // Key of the values: m_strBaseKey + "config".
    std::wstring GetConfigKey() const { return m_strBaseKey + L"config"; }

    bool m_bAutoStart;           // "autostart": start with Windows
    std::wstring m_strPosition;  // "position": main window "left,top,right,bottom"
    bool m_bNotifyConversation;  // "notifycov": front on conversation start
    bool m_bNotifyFinish;        // "notifyfinish": front when a recording finishes
    bool m_bNotifyHistory;       // "notifyhistory": show history when a recording finishes
    BYTE m_nRecordType;          // "rectype": 0 manual, 1 automatic
    int m_nRecordSide;           // "recside": 0 both, 1 my side, 2 remote side
    std::wstring m_strFolder;    // "sfolder": recording folder, no trailing backslash
    int m_nAudioMode;            // "amode": 0 mono, 1 stereo, 2 joint stereo
    int m_nAudioBitrate;         // "abitrate": 0..5 = 32, 64, 96, 128, 192, 256 kbit/s
    int m_nAudioSample;          // "asample": 0..3 = 16000, 32000, 44100, 48000 Hz
    int m_nRuleMode;                      // "rulemode": RULE_RECORD_ALL, _ONLY or _EXCEPT
    std::vector<std::wstring> m_ruleList;  // "rulelist": the handles the rule names
    int m_nKeepMode;                      // "keepmode": KEEP_FOREVER, KEEP_DAYS or KEEP_SIZE
    int m_nKeepDays;                      // "keepdays": days a recording is kept
    int m_nKeepGigabytes;                 // "keepgb": gigabytes all recordings may take
    bool m_bHotKeys;                      // "hotkeys": Ctrl+Alt+R record/stop, Ctrl+Alt+P pause

    // Stores only the rule, as the history window's menu changes it outside the options.
    bool SaveRule();

private:
    static CGeneralProfile* s_pInstance;
};

// Documents folder + "\Ombra"; empty when the shell gives no documents folder.
std::wstring GetDefaultRecordFolder();

// The "Ombra" value under HKCU\Software\Microsoft\Windows\CurrentVersion\Run.
// AddRunEntry never rewrites an existing entry, even one naming another path.
bool AddRunEntry();
bool RemoveRunEntry();

extern const wchar_t RUN_KEY_PATH[];
extern const wchar_t RUN_VALUE_NAME[];
