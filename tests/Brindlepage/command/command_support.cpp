#include "command_support.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace CommandTest {

std::wstring widen(const std::string& inText)
{
    std::wstring text(inText.size() + 1, L'\0');
    const int units = MultiByteToWideChar(CP_UTF8, 0, inText.c_str(), -1, &text[0], int(text.size()));
    text.resize(units > 0 ? size_t(units - 1) : 0);
    return text;
}

std::string narrow(const std::wstring& inText)
{
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, inText.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(size_t(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, inText.c_str(), -1, &text[0], bytes, nullptr, nullptr);
    text.resize(text.size() - 1);
    return text;
}

std::vector<std::wstring> samplePages(size_t inCount)
{
    std::vector<std::wstring> pages;
    for (size_t page = 1; page <= inCount; ++page) {
        char name[64];
        std::snprintf(name, sizeof(name), "samples/report/pages/page-%04u.emf", unsigned(page));
        pages.push_back(widen(MvxTest::windowsPath(MvxTest::sourceHostPath(name))));
    }
    return pages;
}

HostRun::HostRun(const FakeOffice::HostSettings& inSettings, const std::wstring& inAnswer, bool inSystemDialog)
    : user(inSystemDialog), host(inSettings), session(host)
{
    user.answerSaveDialogs(inAnswer);
    EXPECT_EQ(L"", session.failure()) << "the add-in must be registered (CTest fixture brindlepage_registered)";
    if (session.addInModule()) {
        EXPECT_TRUE(FakeOffice::FakeUser::watch(session.addInModule()));
    }
}

HRESULT HostRun::press()
{
    return session.pressButton();
}

} // namespace CommandTest
