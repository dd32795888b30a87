#include "settings/RegisterAccess.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace {

// Opens HKCU\key with full access, creating it when it cannot be opened.
HKEY OpenOrCreate(const std::wstring& strKey) {
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, strKey.c_str(), 0, KEY_ALL_ACCESS, &hKey) ==
        ERROR_SUCCESS)
        return hKey;
    hKey = nullptr;
    if (::RegCreateKeyW(HKEY_CURRENT_USER, strKey.c_str(), &hKey) == ERROR_SUCCESS) return hKey;
    return nullptr;
}

bool SetValue(HKEY hKey, const std::wstring& strName, DWORD dwType, const void* pData,
              DWORD cbData) {
    return ::RegSetValueExW(hKey, strName.c_str(), 0, dwType, static_cast<const BYTE*>(pData),
                            cbData) == ERROR_SUCCESS;
}

// Opens or creates the key and stores one value.
bool WriteValue(const std::wstring& strKey, const std::wstring& strName, DWORD dwType,
                const void* pData, DWORD cbData) {
    HKEY hKey = OpenOrCreate(strKey);
    if (!hKey) return false;
    bool bOk = SetValue(hKey, strName, dwType, pData, cbData);
    ::RegCloseKey(hKey);
    return bOk;
}

// Queries into a buffer of exactly cbBuffer bytes; a value stored larger than
// that (or of another size for the fixed kinds) counts as unreadable.
// pcbRead, when given, receives the size of the data read.
template <typename Store>
bool ReadOrStore(const std::wstring& strKey, const std::wstring& strName, void* pBuffer,
                 DWORD cbBuffer, bool bExactSize, Store storeDefault, DWORD* pcbRead = nullptr) {
    HKEY hKey = nullptr;
    bool bRead = false;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, strKey.c_str(), 0, KEY_ALL_ACCESS, &hKey) ==
        ERROR_SUCCESS) {
        DWORD cb = cbBuffer;
        LSTATUS st = ::RegQueryValueExW(hKey, strName.c_str(), nullptr, nullptr,
                                        static_cast<BYTE*>(pBuffer), &cb);
        bRead = st == ERROR_SUCCESS && (!bExactSize || cb == cbBuffer);
        if (bRead && pcbRead) *pcbRead = cb;
        if (!bRead) storeDefault(hKey);
    } else {
        hKey = nullptr;
        if (::RegCreateKeyW(HKEY_CURRENT_USER, strKey.c_str(), &hKey) == ERROR_SUCCESS)
            storeDefault(hKey);
        else
            hKey = nullptr;
    }
    if (hKey) ::RegCloseKey(hKey);
    return bRead;
}

}  // namespace

BYTE CRegisterAccess::ReadByte(const std::wstring& strKey, const std::wstring& strName,
                               BYTE nDefault) {
    BYTE nValue = nDefault;
    bool bRead = ReadOrStore(strKey, strName, &nValue, sizeof(nValue), true, [&](HKEY hKey) {
        SetValue(hKey, strName, REG_BINARY, &nDefault, sizeof(nDefault));
    });
    return bRead ? nValue : nDefault;
}

DWORD CRegisterAccess::ReadDword(const std::wstring& strKey, const std::wstring& strName,
                                 DWORD dwDefault) {
    DWORD dwValue = dwDefault;
    bool bRead = ReadOrStore(strKey, strName, &dwValue, sizeof(dwValue), true, [&](HKEY hKey) {
        SetValue(hKey, strName, REG_DWORD, &dwDefault, sizeof(dwDefault));
    });
    return bRead ? dwValue : dwDefault;
}

std::wstring CRegisterAccess::ReadString(const std::wstring& strKey, const std::wstring& strName,
                                         const std::wstring& strDefault) {
    constexpr size_t nChars = REG_STRING_BYTES / sizeof(wchar_t);
    // The default, its NUL and zero fill: this is also what gets stored.
    std::vector<wchar_t> defaultBuf(nChars, L'\0');
    std::wmemcpy(defaultBuf.data(), strDefault.data(), std::min(strDefault.size(), nChars - 1));
    std::vector<wchar_t> buf(defaultBuf);
    DWORD cbRead = 0;
    bool bRead = ReadOrStore(
        strKey, strName, buf.data(), REG_STRING_BYTES, false,
        [&](HKEY hKey) { SetValue(hKey, strName, REG_SZ, defaultBuf.data(), REG_STRING_BYTES); },
        &cbRead);
    // Data stored without its NUL (or with half a character) ends where the data ends:
    // the default text left in the buffer behind it is not part of the value. Data of
    // no whole character leaves the buffer as it was, the default.
    const std::vector<wchar_t>& src = bRead ? buf : defaultBuf;
    const size_t nLimit = bRead && cbRead >= sizeof(wchar_t) ? cbRead / sizeof(wchar_t) : nChars;
    size_t n = 0;
    while (n < nLimit && src[n] != L'\0') ++n;
    if (bRead && n == nChars) {
        // 260 characters stored without a NUL: too long, like an oversized value.
        WriteValue(strKey, strName, REG_SZ, defaultBuf.data(), REG_STRING_BYTES);
        return std::wstring(defaultBuf.data());
    }
    return std::wstring(src.data(), n);
}

bool CRegisterAccess::WriteByte(const std::wstring& strKey, const std::wstring& strName,
                                BYTE nValue) {
    return WriteValue(strKey, strName, REG_BINARY, &nValue, sizeof(nValue));
}

bool CRegisterAccess::WriteDword(const std::wstring& strKey, const std::wstring& strName,
                                 DWORD dwValue) {
    return WriteValue(strKey, strName, REG_DWORD, &dwValue, sizeof(dwValue));
}

bool CRegisterAccess::WriteString(const std::wstring& strKey, const std::wstring& strName,
                                  const std::wstring& strValue) {
    return WriteValue(strKey, strName, REG_SZ, strValue.c_str(),
                      static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t)));
}

namespace {
std::wstring JoinMultiString(const std::vector<std::wstring>& values) {
    std::wstring strData;
    for (const std::wstring& str : values)
        if (!str.empty()) strData.append(str).push_back(L'\0');
    strData.push_back(L'\0');
    return strData;
}
}  // namespace

std::vector<std::wstring> CRegisterAccess::ReadStringList(const std::wstring& strKey,
                                                          const std::wstring& strName,
                                                          const std::vector<std::wstring>& defaults) {
    HKEY hKey = nullptr;
    std::vector<wchar_t> buf;
    bool bRead = false;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, strKey.c_str(), 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
        DWORD dwType = 0, cb = 0;
        // A list typed by hand as one string counts too, its items split at blanks, commas or semicolons.
        auto isList = [&] { return dwType == REG_MULTI_SZ || dwType == REG_SZ; };
        if (::RegQueryValueExW(hKey, strName.c_str(), nullptr, &dwType, nullptr, &cb) == ERROR_SUCCESS && isList()) {
            buf.assign(cb / sizeof(wchar_t) + 1, L'\0');
            bRead = ::RegQueryValueExW(hKey, strName.c_str(), nullptr, &dwType,
                                       reinterpret_cast<BYTE*>(buf.data()), &cb) == ERROR_SUCCESS &&
                    isList();
            if (bRead && dwType == REG_SZ)
                for (wchar_t& ch : buf)
                    if (ch == L',' || ch == L';' || ch == L' ' || ch == L'\t') ch = L'\0';
        }
        ::RegCloseKey(hKey);
    }
    if (!bRead) {
        WriteStringList(strKey, strName, defaults);
        return defaults;
    }
    std::vector<std::wstring> values;
    for (size_t nPos = 0; nPos < buf.size();) {
        size_t nEnd = nPos;
        while (nEnd < buf.size() && buf[nEnd] != L'\0') ++nEnd;
        if (nEnd > nPos) values.emplace_back(buf.data() + nPos, nEnd - nPos);
        nPos = nEnd + 1;
    }
    return values;
}

bool CRegisterAccess::WriteStringList(const std::wstring& strKey, const std::wstring& strName,
                                      const std::vector<std::wstring>& values) {
    const std::wstring strData = JoinMultiString(values);
    return WriteValue(strKey, strName, REG_MULTI_SZ, strData.data(),
                      static_cast<DWORD>(strData.size() * sizeof(wchar_t)));
}
