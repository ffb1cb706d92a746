// The registry scripts' runner on keys of its own under HKEY_CURRENT_USER.
#include "registrar.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const wchar_t kRoot[] = L"Software\\BrindlepageRegistrarTest";

class RegistrarTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kRoot); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kRoot); }

    static std::wstring script(const std::wstring& inBody)
    {
        return L"HKCU { NoRemove Software { " + inBody + L" } }";
    }
    static bool exists(const std::wstring& inSubKey)
    {
        HKEY key = nullptr;
        const std::wstring path = std::wstring(kRoot) + inSubKey;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    static std::wstring text(const std::wstring& inSubKey, const wchar_t* inName)
    {
        wchar_t value[512] = {};
        DWORD size = sizeof(value);
        const std::wstring path = std::wstring(kRoot) + inSubKey;
        if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), inName, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
            return L"(missing)";
        return value;
    }
    static DWORD number(const std::wstring& inSubKey, const wchar_t* inName)
    {
        DWORD value = 0xDEADBEEF;
        DWORD size = sizeof(value);
        const std::wstring path = std::wstring(kRoot) + inSubKey;
        RegGetValueW(HKEY_CURRENT_USER, path.c_str(), inName, RRF_RT_REG_DWORD, nullptr, &value, &size);
        return value;
    }

    Registrar registrar{nullptr, L"C:\\Program Files\\O'Brien's Tools\\Brindlepage.dll"};
};

TEST_F(RegistrarTest, WritesKeysValuesAndTheModulePath)
{
    const std::wstring body = L"BrindlepageRegistrarTest { Server = s '%MODULE%' { val ThreadingModel = s 'Apartment' } "
                              L"'Key With Spaces' = s 'it''s' "
                              L"Counts { val Three = d '3' val Sixteen = d '0x10' } "
                              L"Plain = s '100%% %APPID%' }";
    ASSERT_EQ(S_OK, registrar.runText(script(body), true));
    EXPECT_EQ(L"C:\\Program Files\\O'Brien's Tools\\Brindlepage.dll", text(L"\\Server", nullptr));
    EXPECT_EQ(L"Apartment", text(L"\\Server", L"ThreadingModel"));
    EXPECT_EQ(L"it's", text(L"\\Key With Spaces", nullptr));
    EXPECT_EQ(3u, number(L"\\Counts", L"Three"));
    EXPECT_EQ(16u, number(L"\\Counts", L"Sixteen"));
    EXPECT_EQ(L"100% ", text(L"\\Plain", nullptr));
}

TEST_F(RegistrarTest, UnregisteringFollowsEachKeysRemovalRule)
{
    const std::wstring body = L"NoRemove BrindlepageRegistrarTest { "
                              L"ForceRemove Owned { Inner { Deeper } } "
                              L"Shared { val Ours = s 'x' Ours = s 'y' } "
                              L"NoRemove Kept { Ours } }";
    ASSERT_EQ(S_OK, registrar.runText(script(body), true));
    // Someone else's keys below ours.
    HKEY other = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kRoot) + L"\\Owned\\Theirs").c_str(), 0,
                                             nullptr, 0, KEY_WRITE, nullptr, &other, nullptr));
    RegCloseKey(other);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kRoot) + L"\\Shared\\Theirs").c_str(), 0,
                                             nullptr, 0, KEY_WRITE, nullptr, &other, nullptr));
    RegCloseKey(other);

    ASSERT_EQ(S_OK, registrar.runText(script(body), false));
    EXPECT_FALSE(exists(L"\\Owned"));          // removed whole, with what others put there
    EXPECT_TRUE(exists(L"\\Shared\\Theirs"));   // still holds another's key: stays
    EXPECT_FALSE(exists(L"\\Shared\\Ours"));
    EXPECT_EQ(L"(missing)", text(L"\\Shared", L"Ours"));
    EXPECT_TRUE(exists(L"\\Kept"));
    EXPECT_FALSE(exists(L"\\Kept\\Ours"));
    EXPECT_TRUE(exists(L""));
    // Unregistering what is not there is no failure.
    EXPECT_EQ(S_OK, registrar.runText(script(body), false));
}

// A registration that fails half-way (here at a key name longer than the registry takes, in the script's
// second root) takes back what it wrote before the failure, and leaves what others had there.
TEST_F(RegistrarTest, ARegistrationThatFailsHalfWayLeavesNothingOfItsOwn)
{
    HKEY other = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kRoot) + L"\\Theirs").c_str(), 0,
                                             nullptr, 0, KEY_WRITE, nullptr, &other, nullptr));
    RegCloseKey(other);
    const std::wstring tooLong(300, L'k');
    const std::wstring text =
        script(L"BrindlepageRegistrarTest { ForceRemove Ours = s 'x' { val Number = d '1' } Plain { Inner } }") +
        L" " + script(L"BrindlepageRegistrarTest { Second { val Name = s 'y' '" + tooLong + L"' } }");
    EXPECT_NE(S_OK, registrar.runText(text, true));
    EXPECT_FALSE(exists(L"\\Ours"));
    EXPECT_FALSE(exists(L"\\Plain"));
    EXPECT_FALSE(exists(L"\\Second"));
    EXPECT_TRUE(exists(L"\\Theirs"));
}

TEST_F(RegistrarTest, RefusesScriptsItCannotRead)
{
    const wchar_t* const bad[] = {
        L"HKCU { Software { Key = s 'unterminated } }",
        L"HKCU { Software { Key = s 'x' }",
        L"HKXX { Software }",
        L"HKCU { Software { Key = x 'x' } }",
        L"HKCU { Software { Key = d 'three' } }",
        L"HKCU { Software { Key = s '%UNKNOWN%' } }",
        L"HKCU { Software { Key = s '%MODULE' } }",
        L"HKCU { val Name = s 'a root takes no values' }",
    };
    for (const wchar_t* s : bad)
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), registrar.runText(s, true)) << std::string(s, s + wcslen(s));
    EXPECT_FALSE(exists(L""));
}

} // namespace
