#pragma once
// Registry access under HKEY_CURRENT_USER. Holds no data: every call opens and
// closes its key. Reads store the default when the value cannot be read, so a
// first run leaves every setting visible in the registry.
#include <windows.h>

#include <string>
#include <vector>

class CRegisterAccess {
public:
    virtual ~CRegisterAccess() = default;

    // Each returns the stored value, or the default after storing it.
    BYTE ReadByte(const std::wstring& strKey, const std::wstring& strName, BYTE nDefault);
    DWORD ReadDword(const std::wstring& strKey, const std::wstring& strName, DWORD dwDefault);
    std::wstring ReadString(const std::wstring& strKey, const std::wstring& strName,
                            const std::wstring& strDefault);
    // A REG_MULTI_SZ list (or a REG_SZ of items split at blanks, commas or semicolons);
    // empty items are not kept. Missing or of another type: the default, stored.
    std::vector<std::wstring> ReadStringList(const std::wstring& strKey, const std::wstring& strName,
                                             const std::vector<std::wstring>& defaults);

    // Create the key if needed and store the value. Callers ignore failures;
    // the result only says whether the value was stored.
    bool WriteByte(const std::wstring& strKey, const std::wstring& strName, BYTE nValue);
    bool WriteDword(const std::wstring& strKey, const std::wstring& strName, DWORD dwValue);
    bool WriteString(const std::wstring& strKey, const std::wstring& strName,
                     const std::wstring& strValue);
    bool WriteStringList(const std::wstring& strKey, const std::wstring& strName,
                         const std::vector<std::wstring>& values);

    // 260 UTF-16 units including the terminator: longer strings read as missing.
    static constexpr DWORD REG_STRING_BYTES = 520;
};
