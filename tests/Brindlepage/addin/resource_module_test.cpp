// The resource module beside the add-in, chosen by the user's language: the full identifier, then its
// primary language, then the add-in's own resources; a module without a ribbon definition gives the
// built-in one. Each case works on a copy of the add-in in a folder of its own.
#include "addin_support.h"

#include "BrindlepageLib.h"

#include <gtest/gtest.h>

namespace {

using namespace AddInTest;

const wchar_t kFallbackRibbon[] =
    L"<customUI xmlns=\"http://schemas.microsoft.com/office/2006/01/customui\" onLoad=\"OnLoad\">"
    L"<ribbon><tabs><tab id=\"DjVuTab\" label=\"DjVu\" keytip=\"D\">"
    L"<group id=\"DjVuConvGroup\" label=\"DjVu Conversion\">"
    L"<button id=\"StartConv\" imageMso=\"FileSave\" size=\"large\" label=\"Convert\" keytip=\"C\" "
    L"onAction=\"ConvButtonClicked\"/>"
    L"</group></tab></tabs></ribbon></customUI>";

// A resource module of the build, beside the built add-in.
std::wstring builtModule(const wchar_t* inName)
{
    const std::wstring addIn = builtFile(BRINDLEPAGE_DLL);
    return addIn.substr(0, addIn.find_last_of(L'\\') + 1) + inName;
}

std::wstring moduleWithoutRibbon()
{
    return builtFile(BRINDLEPAGE_NORIBBON_DLL);
}

// The ribbon definition of a fresh copy of the add-in with these modules beside it.
std::wstring ribbonOfCopy(const std::vector<std::pair<std::wstring, std::wstring>>& inModules,
                          const std::wstring& inSubPath = L"")
{
    AddInCopy copy(inModules, inSubPath);
    IDTExtensibility2* addIn = copy.create<IDTExtensibility2>(CLSID_Connect);
    if (!addIn) {
        ADD_FAILURE() << "no add-in object";
        return std::wstring();
    }
    const std::wstring xml = ribbonAfterConnecting(addIn, L"Document1 - Microsoft Word");
    addIn->Release();
    return xml;
}

class ResourceModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (GetUserDefaultLangID() != 0x0409)
            GTEST_SKIP() << "the user's language is not US English";
    }
    Apartment apartment;
};

TEST_F(ResourceModule, WithoutAnyTheAddInsOwnResourcesGiveTheDefinition)
{
    EXPECT_EQ(sourceText("Brindlepage/res/ribbon.xml"), ribbonOfCopy({}));
}

TEST_F(ResourceModule, TheUsersLanguageModuleIsTakenFromBesideTheAddIn)
{
    EXPECT_EQ(sourceText("Brindlepage/res/ribbon.xml"), ribbonOfCopy({{builtModule(L"bpgres-0409.dll"), L"bpgres-0409.dll"}}));
    // The same module without a definition shows that it, not the add-in, was read.
    EXPECT_EQ(kFallbackRibbon, ribbonOfCopy({{moduleWithoutRibbon(), L"bpgres-0409.dll"}}));
}

TEST_F(ResourceModule, IsFoundBesideAnAddInWhosePathIsLongerThanMaxPath)
{
    const std::wstring segment(100, L'p');
    const std::wstring subPath = segment + L"\\" + segment + L"\\" + segment;
    EXPECT_EQ(kFallbackRibbon, ribbonOfCopy({{moduleWithoutRibbon(), L"bpgres-0409.dll"}}, subPath));
}

TEST_F(ResourceModule, TheFirstModuleFoundStaysForTheProcess)
{
    AddInCopy copy({{moduleWithoutRibbon(), L"bpgres-0409.dll"}});
    IDTExtensibility2* first = copy.create<IDTExtensibility2>(CLSID_Connect);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(kFallbackRibbon, ribbonAfterConnecting(first, L"Document1 - Microsoft Word"));
    // Gone from the folder, the module stays loaded and in use, for a reconnection and a second object.
    ASSERT_TRUE(MoveFileW((copy.folder() + L"\\bpgres-0409.dll").c_str(), (copy.folder() + L"\\moved.dll").c_str()));
    EXPECT_EQ(kFallbackRibbon, ribbonAfterConnecting(first, L"Microsoft Excel - Book1"));
    IDTExtensibility2* second = copy.create<IDTExtensibility2>(CLSID_Connect);
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(kFallbackRibbon, ribbonAfterConnecting(second, L"Microsoft PowerPoint - [Presentation1]"));
    second->Release();
    first->Release();
}

TEST_F(ResourceModule, AnyHostAndAnyRibbonGetTheSameDefinition)
{
    AddInCopy copy({});
    IDTExtensibility2* addIn = copy.create<IDTExtensibility2>(CLSID_Connect);
    ASSERT_NE(nullptr, addIn);
    const std::wstring english = sourceText("Brindlepage/res/ribbon.xml");
    EXPECT_EQ(english, ribbonAfterConnecting(addIn, L"Untitled - Notepad", L"Microsoft.Outlook.Mail.Read"));
    EXPECT_EQ(english, ribbonAfterConnecting(addIn, L"", L""));
    addIn->Release();
}

class ResourceModuleGerman : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (GetUserDefaultLangID() != 0x0407)
            GTEST_SKIP() << "the user's language is not German (run with LANG=de_DE.UTF-8)";
    }
    Apartment apartment;
};

TEST_F(ResourceModuleGerman, TheGermanModuleGivesTheGermanDefinition)
{
    const std::wstring german = ribbonOfCopy({{builtModule(L"bpgres-0409.dll"), L"bpgres-0409.dll"}, {builtModule(L"bpgres-0407.dll"), L"bpgres-0407.dll"}});
    EXPECT_EQ(sourceText("Brindlepage/resmodule/ribbon-0407.xml"), german);
    EXPECT_NE(std::wstring::npos, german.find(L"label=\"D&amp;jVu-Format\""));
    EXPECT_NE(std::wstring::npos, german.find(L"am st\u00e4rksten komprimierenden"));
}

class ResourceModuleJapanese : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (GetUserDefaultLangID() != 0x0411)
            GTEST_SKIP() << "the user's language is not Japanese (run with LANG=ja_JP.UTF-8)";
    }
    Apartment apartment;
};

TEST_F(ResourceModuleJapanese, TheFullIdentifierComesBeforeThePrimaryLanguage)
{
    EXPECT_EQ(kFallbackRibbon, ribbonOfCopy({{moduleWithoutRibbon(), L"bpgres-0411.dll"}, {builtModule(L"bpgres-0409.dll"), L"bpgres-0011.dll"}}));
    EXPECT_EQ(kFallbackRibbon, ribbonOfCopy({{moduleWithoutRibbon(), L"bpgres-0011.dll"}}));
}

TEST_F(ResourceModuleJapanese, WithoutAJapaneseModuleTheAddInsOwnResourcesAreUsed)
{
    EXPECT_EQ(sourceText("Brindlepage/res/ribbon.xml"),
              ribbonOfCopy({{moduleWithoutRibbon(), L"bpgres-0409.dll"}, {builtModule(L"bpgres-0407.dll"), L"bpgres-0407.dll"}}));
}

} // namespace
