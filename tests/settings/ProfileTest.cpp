// The profile against the real registry of the Wine prefix. Every value is read
// back with the Win32 calls directly, not through the code under test.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "settings/GeneralProfile.h"

namespace {

const wchar_t OMBRA_KEY[] = L"software\\Ombra";
const wchar_t CONFIG_KEY[] = L"software\\Ombra\\config";

struct RawValue {
    DWORD dwType = REG_NONE;
    std::vector<BYTE> data;
};

std::optional<RawValue> QueryRaw(const wchar_t* pszKey, const wchar_t* pszName) {
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, pszKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return std::nullopt;
    RawValue v;
    DWORD cb = 0;
    LSTATUS st = ::RegQueryValueExW(hKey, pszName, nullptr, &v.dwType, nullptr, &cb);
    if (st == ERROR_SUCCESS) {
        v.data.resize(cb);
        st = ::RegQueryValueExW(hKey, pszName, nullptr, &v.dwType, v.data.data(), &cb);
        v.data.resize(cb);
    }
    ::RegCloseKey(hKey);
    if (st != ERROR_SUCCESS) return std::nullopt;
    return v;
}

void SetRaw(const wchar_t* pszKey, const wchar_t* pszName, DWORD dwType, const void* p, DWORD cb) {
    HKEY hKey = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, pszKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &hKey, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(hKey, pszName, 0, dwType, static_cast<const BYTE*>(p), cb),
              ERROR_SUCCESS);
    ::RegCloseKey(hKey);
}

void SetRawString(const wchar_t* pszKey, const wchar_t* pszName, const std::wstring& s) {
    SetRaw(pszKey, pszName, REG_SZ, s.c_str(), static_cast<DWORD>((s.size() + 1) * 2));
}

// The text of a REG_SZ value up to its first NUL.
std::wstring StringOf(const RawValue& v) {
    std::wstring s(reinterpret_cast<const wchar_t*>(v.data.data()), v.data.size() / 2);
    return s.substr(0, s.find(L'\0'));
}

DWORD DwordOf(const RawValue& v) {
    DWORD d = 0;
    if (v.data.size() == 4) memcpy(&d, v.data.data(), 4);
    return d;
}

class ProfileRegistry : public ::testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, OMBRA_KEY); }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, OMBRA_KEY); }

    void ExpectByte(const wchar_t* pszName, BYTE nExpected) {
        auto v = QueryRaw(CONFIG_KEY, pszName);
        ASSERT_TRUE(v) << "missing " << testing::PrintToString(std::wstring(pszName));
        EXPECT_EQ(v->dwType, static_cast<DWORD>(REG_BINARY));
        ASSERT_EQ(v->data.size(), 1u);
        EXPECT_EQ(v->data[0], nExpected);
    }
    void ExpectDword(const wchar_t* pszName, DWORD dwExpected) {
        auto v = QueryRaw(CONFIG_KEY, pszName);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->dwType, static_cast<DWORD>(REG_DWORD));
        ASSERT_EQ(v->data.size(), 4u);
        EXPECT_EQ(DwordOf(*v), dwExpected);
    }
};

}  // namespace

TEST(DefaultRecordFolder, IsDocumentsFolderPlusOmbra) {
    wchar_t szDocs[MAX_PATH] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, szDocs, CSIDL_PERSONAL, FALSE));
    EXPECT_EQ(GetDefaultRecordFolder(), std::wstring(szDocs) + L"\\Ombra");
}

TEST_F(ProfileRegistry, FirstLoadStoresAllDefaults) {
    CGeneralProfile profile;
    EXPECT_EQ(profile.m_strBaseKey, L"software\\Ombra\\");
    EXPECT_FALSE(profile.m_bModified);
    EXPECT_TRUE(profile.Load());

    ExpectByte(L"autostart", 0);
    ExpectByte(L"notifycov", 1);
    ExpectByte(L"notifyfinish", 1);
    ExpectByte(L"notifyhistory", 1);
    ExpectByte(L"rectype", 0);
    ExpectDword(L"recside", 0);
    ExpectDword(L"amode", 1);
    ExpectDword(L"abitrate", 1);
    ExpectDword(L"asample", 1);
    // Every call recorded, every recording kept, no hot keys: as before these settings existed.
    ExpectDword(L"rulemode", 0);
    ExpectDword(L"keepmode", 0);
    ExpectByte(L"hotkeys", 0);
    auto list = QueryRaw(CONFIG_KEY, L"rulelist");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->dwType, static_cast<DWORD>(REG_MULTI_SZ));
    // Defaults of strings are stored with a fixed 520-byte length.
    auto pos = QueryRaw(CONFIG_KEY, L"position");
    ASSERT_TRUE(pos);
    EXPECT_EQ(pos->dwType, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(pos->data.size(), 520u);
    EXPECT_EQ(StringOf(*pos), L"");
    auto folder = QueryRaw(CONFIG_KEY, L"sfolder");
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->data.size(), 520u);
    EXPECT_EQ(StringOf(*folder), GetDefaultRecordFolder());

    EXPECT_FALSE(profile.m_bAutoStart);
    EXPECT_TRUE(profile.m_bNotifyConversation);
    EXPECT_EQ(profile.m_strFolder, GetDefaultRecordFolder());
    EXPECT_EQ(profile.m_nAudioSample, 1);
}

TEST_F(ProfileRegistry, WrongSizedValuesAreReplacedByTheInMemoryValue) {
    DWORD dwFour = 1;
    SetRaw(CONFIG_KEY, L"rectype", REG_DWORD, &dwFour, 4);
    SetRawString(CONFIG_KEY, L"sfolder", std::wstring(300, L'x'));

    CGeneralProfile profile;
    profile.m_nRecordType = 1;
    profile.m_strFolder = L"D:\\calls";
    profile.Load();

    EXPECT_EQ(profile.m_nRecordType, 1);
    EXPECT_EQ(profile.m_strFolder, L"D:\\calls");
    ExpectByte(L"rectype", 1);
    auto folder = QueryRaw(CONFIG_KEY, L"sfolder");
    ASSERT_TRUE(folder);
    EXPECT_EQ(StringOf(*folder), L"D:\\calls");
}

TEST_F(ProfileRegistry, StringsUpTo259CharactersLoadAndLongerOnesDoNot) {
    std::wstring s259(259, L'a');
    SetRawString(CONFIG_KEY, L"position", s259);
    // Exactly 260 characters stored without a terminator fill the buffer: too long.
    std::wstring s260(260, L'b');
    SetRaw(CONFIG_KEY, L"sfolder", REG_SZ, s260.data(), 520);
    CGeneralProfile profile;
    profile.m_strFolder = L"E:\\rec";
    profile.Load();
    EXPECT_EQ(profile.m_strPosition, s259);
    EXPECT_EQ(profile.m_strFolder, L"E:\\rec");
    EXPECT_EQ(StringOf(*QueryRaw(CONFIG_KEY, L"sfolder")), L"E:\\rec");
}

TEST_F(ProfileRegistry, StringStoredWithoutTerminatorReadsAsItsOwnText) {
    // Other tools may store REG_SZ data without its NUL; the in-memory value
    // filling the rest of the buffer must not show through.
    const std::wstring strStored = L"D:\\x";
    SetRaw(CONFIG_KEY, L"sfolder", REG_SZ, strStored.data(),
           static_cast<DWORD>(strStored.size() * 2));
    // An odd byte count leaves half a character, whose other half would come
    // from the in-memory value: only whole characters count.
    SetRaw(CONFIG_KEY, L"position", REG_SZ, L"1,2,3,4", 7);
    CGeneralProfile profile;
    profile.m_strFolder = L"C:\\Users\\me\\Documents\\Ombra";
    profile.m_strPosition = L"10,\u4e2d\u4e2d";
    profile.Load();
    EXPECT_EQ(profile.m_strFolder, strStored);
    EXPECT_EQ(profile.m_strPosition, L"1,2");
    // No data at all reads as the in-memory value, which is left alone.
    SetRaw(CONFIG_KEY, L"sfolder", REG_SZ, L"", 0);
    profile.m_strFolder = L"E:\\rec";
    profile.Load();
    EXPECT_EQ(profile.m_strFolder, L"E:\\rec");
    EXPECT_EQ(QueryRaw(CONFIG_KEY, L"sfolder")->data.size(), 0u);
}

TEST_F(ProfileRegistry, OutOfRangeValuesLoadAsTheyAre) {
    DWORD dwSeven = 7, dwNine = 9;
    SetRaw(CONFIG_KEY, L"recside", REG_DWORD, &dwSeven, 4);
    SetRaw(CONFIG_KEY, L"asample", REG_DWORD, &dwNine, 4);
    BYTE nType = 200;
    SetRaw(CONFIG_KEY, L"rectype", REG_BINARY, &nType, 1);
    CGeneralProfile profile;
    profile.Load();
    EXPECT_EQ(profile.m_nRecordSide, 7);
    EXPECT_EQ(profile.m_nAudioSample, 9);
    EXPECT_EQ(profile.m_nRecordType, 200);
    ExpectDword(L"recside", 7);
}

TEST_F(ProfileRegistry, LoadBringsBackStoredValuesOverUnsavedChanges) {
    CGeneralProfile profile;
    profile.Load();
    profile.m_nAudioBitrate = 5;
    profile.m_bNotifyFinish = false;
    profile.Load();
    EXPECT_EQ(profile.m_nAudioBitrate, 1);
    EXPECT_TRUE(profile.m_bNotifyFinish);
}

TEST_F(ProfileRegistry, SaveWithoutModifiedTouchesNothing) {
    CGeneralProfile profile;
    profile.m_nAudioMode = 2;
    EXPECT_TRUE(profile.Save());
    HKEY hKey = nullptr;
    EXPECT_NE(::RegOpenKeyExW(HKEY_CURRENT_USER, CONFIG_KEY, 0, KEY_READ, &hKey), ERROR_SUCCESS);

    profile.Load();  // stores the in-memory values, amode 2 among them
    DWORD dwZero = 0;
    SetRaw(CONFIG_KEY, L"amode", REG_DWORD, &dwZero, 4);
    profile.m_nAudioMode = 1;
    EXPECT_TRUE(profile.Save());
    ExpectDword(L"amode", 0);
}

TEST_F(ProfileRegistry, SaveWritesEveryValueWithItsTypeAndKeepsModified) {
    CGeneralProfile profile;
    profile.m_bAutoStart = true;
    profile.m_strPosition = L"10,20,330,140";
    profile.m_bNotifyConversation = false;
    profile.m_bNotifyFinish = false;
    profile.m_bNotifyHistory = false;
    profile.m_nRecordType = 1;
    profile.m_nRecordSide = 2;
    profile.m_strFolder = L"C:\\Aufnahmen";
    profile.m_nAudioMode = 0;
    profile.m_nAudioBitrate = 5;
    profile.m_nAudioSample = 3;
    profile.m_bModified = true;
    EXPECT_TRUE(profile.Save());
    EXPECT_TRUE(profile.m_bModified);

    ExpectByte(L"autostart", 1);
    ExpectByte(L"notifycov", 0);
    ExpectByte(L"notifyfinish", 0);
    ExpectByte(L"notifyhistory", 0);
    ExpectByte(L"rectype", 1);
    ExpectDword(L"recside", 2);
    ExpectDword(L"amode", 0);
    ExpectDword(L"abitrate", 5);
    ExpectDword(L"asample", 3);
    auto pos = QueryRaw(CONFIG_KEY, L"position");
    ASSERT_TRUE(pos);
    EXPECT_EQ(pos->dwType, static_cast<DWORD>(REG_SZ));
    // Written strings carry their text and one NUL, no zero fill.
    EXPECT_EQ(pos->data.size(), (13u + 1u) * 2u);
    EXPECT_EQ(StringOf(*pos), L"10,20,330,140");

    CGeneralProfile other;
    other.Load();
    EXPECT_TRUE(other.m_bAutoStart);
    EXPECT_EQ(other.m_strPosition, L"10,20,330,140");
    EXPECT_EQ(other.m_nRecordSide, 2);
    EXPECT_EQ(other.m_strFolder, L"C:\\Aufnahmen");
    EXPECT_EQ(other.m_nAudioSample, 3);
}

TEST_F(ProfileRegistry, NonAsciiFolderSurvivesTheRegistry) {
    const std::wstring strFolder = L"C:\\Users\\Zo\u00eb\\\u5f55\u97f3 \U0001F3A4";
    CGeneralProfile profile;
    profile.m_strFolder = strFolder;
    profile.m_bModified = true;
    profile.Save();
    EXPECT_EQ(StringOf(*QueryRaw(CONFIG_KEY, L"sfolder")), strFolder);
    CGeneralProfile other;
    other.Load();
    EXPECT_EQ(other.m_strFolder, strFolder);
}

TEST_F(ProfileRegistry, RegisterAccessReadsStoredValuesRegardlessOfType) {
    CRegisterAccess reg;
    // A 1-byte REG_BINARY is what ReadByte expects; a REG_DWORD of 4 bytes is too large.
    BYTE b = 0x5a;
    SetRaw(CONFIG_KEY, L"b", REG_BINARY, &b, 1);
    EXPECT_EQ(reg.ReadByte(CONFIG_KEY, L"b", 3), 0x5a);
    DWORD d = 0x12345678;
    SetRaw(CONFIG_KEY, L"d", REG_BINARY, &d, 4);
    EXPECT_EQ(reg.ReadDword(CONFIG_KEY, L"d", 3), 0x12345678u);
    // Two bytes are no DWORD: the default replaces them rather than mixing with them.
    WORD w = 0x0102;
    SetRaw(CONFIG_KEY, L"short", REG_BINARY, &w, 2);
    EXPECT_EQ(reg.ReadDword(CONFIG_KEY, L"short", 0xAABBCCDD), 0xAABBCCDDu);
    auto stored = QueryRaw(CONFIG_KEY, L"short");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->dwType, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(DwordOf(*stored), 0xAABBCCDDu);
    // An empty binary value is no byte either.
    SetRaw(CONFIG_KEY, L"nobyte", REG_BINARY, &b, 0);
    EXPECT_EQ(reg.ReadByte(CONFIG_KEY, L"nobyte", 9), 9);
    // Missing values come back as the default, which is then stored.
    EXPECT_EQ(reg.ReadDword(CONFIG_KEY, L"missing", 77), 77u);
    EXPECT_EQ(DwordOf(*QueryRaw(CONFIG_KEY, L"missing")), 77u);
    EXPECT_EQ(reg.ReadString(L"software\\Ombra\\other\\deep", L"s", L"def"), L"def");
    EXPECT_EQ(StringOf(*QueryRaw(L"software\\Ombra\\other\\deep", L"s")), L"def");
    EXPECT_TRUE(reg.WriteString(L"software\\Ombra\\new", L"s", L"v"));
    EXPECT_EQ(reg.ReadString(L"software\\Ombra\\new", L"s", L"def"), L"v");
    // A list typed by hand as one string is split; a number is no list.
    const wchar_t szTyped[] = L"bob, carol;;dave";
    SetRaw(CONFIG_KEY, L"typed", REG_SZ, szTyped, sizeof(szTyped));
    EXPECT_EQ(reg.ReadStringList(CONFIG_KEY, L"typed", {}), (std::vector<std::wstring>{L"bob", L"carol", L"dave"}));
    SetRaw(CONFIG_KEY, L"number", REG_DWORD, &d, 4);
    EXPECT_EQ(reg.ReadStringList(CONFIG_KEY, L"number", {L"x"}), std::vector<std::wstring>{L"x"});
    EXPECT_EQ(QueryRaw(CONFIG_KEY, L"number")->dwType, static_cast<DWORD>(REG_MULTI_SZ));
}

TEST(ProfileInstance, GetInstanceCreatesOneProfileWithDefaults) {
    CGeneralProfile* p = CGeneralProfile::GetInstance();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(CGeneralProfile::GetInstance(), p);
    EXPECT_EQ(p->m_nAudioMode, 1);
    EXPECT_TRUE(p->m_strPosition.empty());
    CGeneralProfile::DestroyInstance();
    // Nothing is read from the registry on creation.
    HKEY hKey = nullptr;
    EXPECT_NE(::RegOpenKeyExW(HKEY_CURRENT_USER, L"software\\Ombra\\config", 0, KEY_READ, &hKey),
              ERROR_SUCCESS);
}

namespace {

class RunEntry : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = QueryRaw(RUN_KEY_PATH, RUN_VALUE_NAME);
        DeleteEntry();
    }
    void TearDown() override {
        DeleteEntry();
        if (m_saved)
            SetRaw(RUN_KEY_PATH, RUN_VALUE_NAME, m_saved->dwType, m_saved->data.data(),
                   static_cast<DWORD>(m_saved->data.size()));
    }
    static void DeleteEntry() {
        HKEY hKey = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, RUN_KEY_PATH, 0, KEY_WRITE, &hKey) ==
            ERROR_SUCCESS) {
            ::RegDeleteValueW(hKey, RUN_VALUE_NAME);
            ::RegCloseKey(hKey);
        }
    }
    std::optional<RawValue> m_saved;
};

}  // namespace

TEST_F(RunEntry, AddStoresTheQuotedExecutablePathWithItsNul) {
    EXPECT_TRUE(AddRunEntry());
    wchar_t szExe[520] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, szExe, 520);
    std::wstring strExpected = L"\"" + std::wstring(szExe, n) + L"\"";
    auto v = QueryRaw(RUN_KEY_PATH, RUN_VALUE_NAME);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->dwType, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(v->data.size(), (strExpected.size() + 1) * 2);
    EXPECT_EQ(StringOf(*v), strExpected);

    EXPECT_TRUE(RemoveRunEntry());
    EXPECT_FALSE(QueryRaw(RUN_KEY_PATH, RUN_VALUE_NAME));
    // Nothing left to delete.
    EXPECT_FALSE(RemoveRunEntry());
}

TEST_F(RunEntry, ExistingEntryWithAnotherPathIsKeptByAddAndRemovedByRemove) {
    SetRawString(RUN_KEY_PATH, RUN_VALUE_NAME, L"\"C:\\Old\\ombra.exe\"");
    EXPECT_TRUE(AddRunEntry());
    EXPECT_EQ(StringOf(*QueryRaw(RUN_KEY_PATH, RUN_VALUE_NAME)), L"\"C:\\Old\\ombra.exe\"");
    EXPECT_TRUE(RemoveRunEntry());
    EXPECT_FALSE(QueryRaw(RUN_KEY_PATH, RUN_VALUE_NAME));
}

TEST_F(RunEntry, AnExistingEntryWithoutDataCountsAsPresent) {
    SetRaw(RUN_KEY_PATH, RUN_VALUE_NAME, REG_SZ, L"", 0);
    EXPECT_TRUE(AddRunEntry());
    auto v = QueryRaw(RUN_KEY_PATH, RUN_VALUE_NAME);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->data.size(), 0u);
}

// Leaves a saved profile in the registry for registry_export.sh, which reads it
// back with Wine's reg export and removes it.
TEST(ProfileExport, SaveForTheExportCheck) {
    const char* pszRun = std::getenv("OMBRA_PROFILE_EXPORT");
    if (!pszRun || !*pszRun) GTEST_SKIP() << "run by registry_export.sh";
    ::RegDeleteTreeW(HKEY_CURRENT_USER, OMBRA_KEY);
    CGeneralProfile profile;
    profile.Load();
    profile.m_bAutoStart = true;
    profile.m_nRecordType = 1;
    profile.m_nRecordSide = 2;
    profile.m_nAudioBitrate = 4;
    profile.m_strPosition = L"-5,10,315,130";
    profile.m_strFolder = L"C:\\Users\\Zo\u00eb\\\u5f55\u97f3 \U0001F3A4";
    profile.m_nRuleMode = RULE_RECORD_EXCEPT;
    profile.m_ruleList = {L"bob", L"zo\u00eb"};
    profile.m_nKeepMode = KEEP_DAYS;
    profile.m_nKeepDays = 30;
    profile.m_bModified = true;
    EXPECT_TRUE(profile.Save());
}
