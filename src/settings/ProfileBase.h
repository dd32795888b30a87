#pragma once
// A settings profile kept under HKCU\software\Ombra\.
#include <string>

#include "settings/RegisterAccess.h"

class CProfileBase : public CRegisterAccess {
public:
    CProfileBase() = default;
    ~CProfileBase() override = default;

    virtual bool Save() = 0;
    virtual bool Load() = 0;
    virtual void SetDefaults() = 0;

    std::wstring m_strBaseKey = L"software\\Ombra\\";
    // Set by callers right before Save; Save writes nothing while it is false.
    bool m_bModified = false;
};
