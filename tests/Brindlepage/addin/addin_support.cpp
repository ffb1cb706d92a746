#include "addin_support.h"

#include "test_support.h"

#include <gtest/gtest.h>

namespace AddInTest {

namespace {

std::wstring widen(const std::string& inAscii)
{
    return std::wstring(inAscii.begin(), inAscii.end());
}

std::wstring fileName(const std::wstring& inPath)
{
    return inPath.substr(inPath.find_last_of(L'\\') + 1);
}

} // namespace

std::wstring builtFile(const char* inHostPath)
{
    return widen(MvxTest::windowsPath(inHostPath));
}

std::wstring sourceText(const char* inRelativePath)
{
    const std::vector<unsigned char> bytes = MvxTest::readFile(MvxTest::windowsPath(MvxTest::sourceHostPath(inRelativePath)));
    if (bytes.empty())
        return std::wstring();
    std::wstring text(bytes.size(), L'\0');
    const int units = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(bytes.data()), int(bytes.size()),
                                          &text[0], int(text.size()));
    text.resize(size_t(units));
    return text;
}

AddInCopy::AddInCopy(const std::vector<std::pair<std::wstring, std::wstring>>& inModules, const std::wstring& inSubPath)
    : where(widen(MvxTest::tempFolder()))
{
    size_t start = 0;
    while (start < inSubPath.size()) {
        const size_t end = inSubPath.find(L'\\', start);
        where += L"\\" + inSubPath.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        EXPECT_TRUE(CreateDirectoryW(where.c_str(), nullptr)) << GetLastError();
        start = end == std::wstring::npos ? inSubPath.size() : end + 1;
    }
    const std::wstring addIn = builtFile(BRINDLEPAGE_DLL);
    const std::wstring copy = where + L"\\" + fileName(addIn);
    EXPECT_TRUE(CopyFileW(addIn.c_str(), copy.c_str(), FALSE)) << GetLastError();
    for (const auto& m : inModules)
        EXPECT_TRUE(CopyFileW(m.first.c_str(), (where + L"\\" + m.second).c_str(), FALSE)) << GetLastError();
    module = LoadLibraryW(copy.c_str());
    EXPECT_NE(nullptr, module) << GetLastError();
}

HRESULT AddInCopy::classObject(REFCLSID inClsid, REFIID inIid, void** outObject) const
{
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    return get ? get(inClsid, inIid, outObject) : E_FAIL;
}

HRESULT AddInCopy::createObject(REFCLSID inClsid, REFIID inIid, void** outObject) const
{
    IClassFactory* factory = nullptr;
    HRESULT hr = classObject(inClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    hr = factory->CreateInstance(nullptr, inIid, outObject);
    factory->Release();
    return hr;
}

HRESULT AddInCopy::canUnloadNow() const
{
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    auto can = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    return can ? can() : E_FAIL;
}

std::wstring ribbonAfterConnecting(IDTExtensibility2* inAddIn, const wchar_t* inCaption, const wchar_t* inRibbonId)
{
    FakeOffice::Application* app = FakeOffice::Application::create(inCaption);
    CustomArray custom;
    EXPECT_EQ(S_OK, inAddIn->OnConnection(app, ext_cm_Startup, nullptr, custom.get()));
    IRibbonExtensibility* ribbon = nullptr;
    EXPECT_EQ(S_OK, inAddIn->QueryInterface(IID_IRibbonExtensibility, reinterpret_cast<void**>(&ribbon)));
    Bstr xml;
    if (ribbon) {
        Bstr id(inRibbonId);
        EXPECT_EQ(S_OK, ribbon->GetCustomUI(id.get(), xml.out()));
        ribbon->Release();
    }
    EXPECT_EQ(S_OK, inAddIn->OnDisconnection(ext_dm_HostShutdown, custom.get()));
    app->Release();
    return xml.text();
}

} // namespace AddInTest
