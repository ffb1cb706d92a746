#include "mvx_win32utils.h"

#include "mvx_exception.h"
#include "mvx_string.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

using Morvenix::String;

namespace {

std::wstring lower(std::wstring s)
{
    for (wchar_t& c : s)
        c = towlower(c);
    return s;
}

std::wstring exePath()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return lower(path);
}

TEST(Win32Utils, GlobalObjectNames)
{
    struct Case {
        const char* name;
        const char* global;
    } cases[] = {
        {"abc", "Global\\abc"}, {"\\abc", "Global\\abc"}, {"a/b", "Global\\a\\b"},
        {"/x", "Global\\x"},    {"", "Global\\"},         {"\xC3\xA9/\xE2\x82\xAC", "Global\\\xC3\xA9\\\xE2\x82\xAC"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(c.global, Morvenix_Win32::makeGlobalObjectName(String(c.name)).c_str()) << c.name;
}

TEST(Win32Utils, SecurityAttributesForEveryone)
{
    SECURITY_ATTRIBUTES attributes;
    std::memset(&attributes, 0xCC, sizeof attributes);
    SECURITY_ATTRIBUTES* result = Morvenix_Win32::createSecurityAttributes(&attributes);
    ASSERT_EQ(&attributes, result);
    EXPECT_EQ(sizeof(SECURITY_ATTRIBUTES), attributes.nLength);
    EXPECT_FALSE(attributes.bInheritHandle);
    ASSERT_NE(nullptr, attributes.lpSecurityDescriptor);
    EXPECT_TRUE(IsValidSecurityDescriptor(attributes.lpSecurityDescriptor));
    HANDLE m = CreateMutexW(result, FALSE, nullptr);
    EXPECT_NE(nullptr, m);
    CloseHandle(m);
    EXPECT_EQ(nullptr, LocalFree(attributes.lpSecurityDescriptor));
}

void localFunction() {}

TEST(Win32Utils, ModuleOfAnAddress)
{
    EXPECT_EQ(exePath(), lower(Morvenix_Win32::getModuleNameFromAddress(
                             reinterpret_cast<const void*>(&localFunction)).wc_str()));
    EXPECT_EQ(exePath(), lower(Morvenix_Win32::getCallerModuleName().wc_str()));
    const void* kernelFunction = reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                                                               "GetTickCount"));
    std::wstring kernel = lower(Morvenix_Win32::getModuleNameFromAddress(kernelFunction).wc_str());
    EXPECT_EQ(L"kernel32.dll", kernel.substr(kernel.size() - 12)) << kernel.c_str();
}

TEST(Win32Utils, AddressOutsideEveryModule)
{
    void* heap = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    for (const void* address : {static_cast<const void*>(nullptr), static_cast<const void*>(heap)}) {
        try {
            Morvenix_Win32::getModuleNameFromAddress(address);
            ADD_FAILURE() << "no exception";
        } catch (const Morvenix::Exception& e) {
            EXPECT_EQ(Morvenix::errNotFound, e.getCode());
            std::string text = e.what();
            EXPECT_NE(std::string::npos,
                      text.find(": Morvenix_Win32::getModuleNameFromAddress: Error 12: Cannot locate the function!"))
                << text;
        }
    }
    VirtualFree(heap, 0, MEM_RELEASE);
}

// The process runs in a window station of its own without WSF_VISIBLE for the scope, as a service does,
// so that no message box can be shown whatever display the tests run on.
class InvisibleStation {
public:
    InvisibleStation() : m_old(GetProcessWindowStation())
    {
        m_station = CreateWindowStationW(nullptr, 0, WINSTA_ALL_ACCESS, nullptr);
        if (m_station && !SetProcessWindowStation(m_station)) {
            CloseWindowStation(m_station);
            m_station = nullptr;
        }
    }
    ~InvisibleStation()
    {
        if (m_station) {
            SetProcessWindowStation(m_old);
            CloseWindowStation(m_station);
        }
    }
    bool active() const
    {
        USEROBJECTFLAGS flags;
        return m_station &&
               GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr) &&
               !(flags.dwFlags & WSF_VISIBLE);
    }

private:
    HWINSTA m_old;
    HWINSTA m_station;
};

TEST(Win32Utils, WarnAndThrowWithoutAVisibleStationThrowsAtOnce)
{
    InvisibleStation station;
    if (!station.active())
        GTEST_SKIP() << "no window station without WSF_VISIBLE on this system";
    struct Case {
        uint32_t code;
        const char* message;
        const char* caption;
    } cases[] = {{26, "Something failed", ""}, {7, "caf\xC3\xA9 \xE2\x82\xAC", "Caption"}};
    for (const Case& c : cases) {
        try {
            Morvenix_Win32::warnAndThrow(c.code, String(c.message), String(c.caption));
        } catch (const Morvenix::Exception& e) {
            EXPECT_EQ(int(c.code), e.getCode());
            String message = e.getMessage();
            std::string text(message.c_str(), message.getLength());
            std::string tail = ": Morvenix_Win32::warnAndThrow: Error " + std::to_string(c.code) + ": " + c.message + "\n";
            EXPECT_EQ(0u, text.find("mvx_win32utils.win(")) << text;
            ASSERT_GE(text.size(), tail.size());
            EXPECT_EQ(tail, text.substr(text.size() - tail.size())) << text;
        }
    }
}

} // namespace
