// Office's start-up, played through COM as the hosts do it: the add-in keys, the object by its ProgID, the
// connection, the ribbon definition, the callbacks by name, and the disconnection.
#include "addin_support.h"

#include "BrindlepageLib.h"

#include <gtest/gtest.h>
#include <olectl.h>

namespace {

using namespace AddInTest;

struct Host {
    const wchar_t* name;
    const wchar_t* caption;
    const wchar_t* ribbonId;
};

class OfficeStartup : public ::testing::TestWithParam<Host> {
protected:
    Apartment apartment;
};

std::wstring stringValue(HKEY inKey, const wchar_t* inName)
{
    wchar_t text[256] = {};
    DWORD size = sizeof(text);
    if (RegGetValueW(inKey, nullptr, inName, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return L"(missing)";
    return text;
}

DWORD dwordValue(HKEY inKey, const wchar_t* inName)
{
    DWORD value = 0xFFFFFFFF;
    DWORD size = sizeof(value);
    RegGetValueW(inKey, nullptr, inName, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

// The ProgIDs the host loads at start-up: its add-in keys with LoadBehavior 3.
std::vector<std::wstring> startupAddIns(const wchar_t* inHost)
{
    std::vector<std::wstring> found;
    HKEY addins = nullptr;
    const std::wstring path = std::wstring(L"Software\\Microsoft\\Office\\") + inHost + L"\\Addins";
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &addins) != ERROR_SUCCESS)
        return found;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(addins, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY key = nullptr;
        if (RegOpenKeyExW(addins, name, 0, KEY_READ, &key) != ERROR_SUCCESS)
            continue;
        if (dwordValue(key, L"LoadBehavior") == 3) {
            found.push_back(name);
            EXPECT_EQ(0u, dwordValue(key, L"CommandLineSafe")) << name;
            EXPECT_EQ(L"Brindlepage DjVu Export", stringValue(key, L"FriendlyName")) << name;
            EXPECT_EQ(L"Brindlepage DjVu Export", stringValue(key, L"Description")) << name;
        }
        RegCloseKey(key);
    }
    RegCloseKey(addins);
    return found;
}

TEST_P(OfficeStartup, LoadsTheAddInShowsItsButtonAndLetsItGo)
{
    const Host host = GetParam();
    const std::vector<std::wstring> addIns = startupAddIns(host.name);
    ASSERT_EQ(1u, addIns.size());
    ASSERT_EQ(L"Brindlepage.Connect", addIns[0]);

    CLSID clsid;
    ASSERT_EQ(S_OK, CLSIDFromProgID(addIns[0].c_str(), &clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_Connect, clsid));
    IUnknown* object = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)));
    IDTExtensibility2* connection = nullptr;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IDTExtensibility2, reinterpret_cast<void**>(&connection)));

    FakeOffice::Application* app = FakeOffice::Application::create(host.caption);
    FakeOffice::Record* addInInstance = FakeOffice::Record::create();
    CustomArray custom;
    EXPECT_EQ(S_OK, connection->OnConnection(app, ext_cm_Startup, addInInstance, custom.get()));
    EXPECT_EQ(2, app->references()); // the add-in keeps the Application
    EXPECT_EQ(S_OK, connection->OnAddInsUpdate(custom.get()));
    EXPECT_EQ(S_OK, connection->OnStartupComplete(custom.get()));

    IRibbonExtensibility* ribbon = nullptr;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IRibbonExtensibility, reinterpret_cast<void**>(&ribbon)));
    Bstr ribbonId(host.ribbonId);
    Bstr xml;
    EXPECT_EQ(S_OK, ribbon->GetCustomUI(ribbonId.get(), xml.out()));
    // The whole English definition, to its last character and not one beyond.
    EXPECT_EQ(sourceText("Brindlepage/res/ribbon.xml"), xml.text());

    // The ribbon finds the callbacks by name through the IDispatch of the object that gave the definition.
    IDispatch* callbacks = nullptr;
    ASSERT_EQ(S_OK, ribbon->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&callbacks)));
    FakeOffice::RibbonUI* ui = FakeOffice::RibbonUI::create();
    FakeOffice::RibbonControl* control = FakeOffice::RibbonControl::create();
    VARIANT result;
    DISPID id = 0;
    EXPECT_EQ(S_OK, callByName(callbacks, L"OnLoad", {dispatchArg(ui)}, &result, &id));
    EXPECT_EQ(2, id);
    EXPECT_EQ(2, ui->references());
    for (int round = 0; round < 2; ++round) { // the second image comes from the same shared icon
        EXPECT_EQ(S_OK, callByName(callbacks, L"GetImage", {dispatchArg(control)}, &result, &id));
        EXPECT_EQ(3, id);
        ASSERT_EQ(VT_DISPATCH, result.vt);
        ASSERT_NE(nullptr, result.pdispVal);
        IPicture* picture = nullptr;
        ASSERT_EQ(S_OK, result.pdispVal->QueryInterface(IID_IPicture, reinterpret_cast<void**>(&picture)));
        SHORT type = 0;
        OLE_HANDLE handle = 0;
        EXPECT_EQ(S_OK, picture->get_Type(&type));
        EXPECT_EQ(PICTYPE_ICON, type);
        EXPECT_EQ(S_OK, picture->get_Handle(&handle));
        ICONINFO info = {};
        EXPECT_TRUE(GetIconInfo(reinterpret_cast<HICON>(static_cast<UINT_PTR>(handle)), &info));
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        picture->Release();
        VariantClear(&result);
    }
    EXPECT_EQ(S_OK, callByName(callbacks, L"ConvButtonClicked", {dispatchArg(control)}, &result, &id));
    EXPECT_EQ(1, id);

    EXPECT_EQ(S_OK, connection->OnBeginShutdown(custom.get()));
    EXPECT_EQ(S_OK, connection->OnDisconnection(ext_dm_HostShutdown, custom.get()));
    EXPECT_EQ(1, app->references());
    callbacks->Release();
    ribbon->Release();
    connection->Release();
    EXPECT_EQ(0u, object->Release());
    EXPECT_EQ(1, ui->references()); // the add-in let the ribbon go with itself
    ui->Release();
    control->Release();
    addInInstance->Release();
    app->Release();
}

INSTANTIATE_TEST_SUITE_P(Hosts, OfficeStartup,
                         ::testing::Values(Host{L"Word", L"Document1 - Microsoft Word", L"Microsoft.Word.Document"},
                                           Host{L"Excel", L"Microsoft Excel - Book1", L"Microsoft.Excel.Workbook"},
                                           Host{L"PowerPoint", L"Microsoft PowerPoint - [Presentation1]",
                                                L"Microsoft.PowerPoint.Presentation"}),
                         [](const ::testing::TestParamInfo<Host>& inInfo) {
                             return std::string(inInfo.param.name, inInfo.param.name + wcslen(inInfo.param.name));
                         });

} // namespace
