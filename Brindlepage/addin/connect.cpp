#include "connect.h"

#include "resource_ids.h"

#include <olectl.h>
#include <shlwapi.h>

#include <cwchar>
#include <vector>

namespace {

// Shown when the chosen resources hold no ribbon definition: a tab of its own instead of the Office menu.
const wchar_t kFallbackRibbon[] =
    L"<customUI xmlns=\"http://schemas.microsoft.com/office/2006/01/customui\" onLoad=\"OnLoad\">"
    L"<ribbon><tabs><tab id=\"DjVuTab\" label=\"DjVu\" keytip=\"D\">"
    L"<group id=\"DjVuConvGroup\" label=\"DjVu Conversion\">"
    L"<button id=\"StartConv\" imageMso=\"FileSave\" size=\"large\" label=\"Convert\" keytip=\"C\" "
    L"onAction=\"ConvButtonClicked\"/>"
    L"</group></tab></tabs></ribbon></customUI>";

HMODULE loadResourceModule(const std::wstring& inAddInPath, unsigned inLanguage)
{
    wchar_t name[32];
    std::swprintf(name, sizeof(name) / sizeof(name[0]), L"bpgres-%04x.dll", inLanguage);
    const std::wstring path = inAddInPath.substr(0, size_t(PathFindFileNameW(inAddInPath.c_str()) - inAddInPath.c_str())) + name;
    HMODULE module = LoadLibraryW(path.c_str());
    if (module)
        OutputDebugStringW((L"Loading resources from " + path + L"\n").c_str());
    return module;
}

// The resource module beside the add-in for the user's language, else for its primary language; the
// add-in's own resources when there is neither. Chosen once for the process, never freed.
void chooseResourceModule()
{
    if (CAddInModule::resourceInstance() != CAddInModule::instance())
        return;
    const std::wstring addIn = CAddInModule::modulePath(CAddInModule::instance());
    if (addIn.empty())
        return;
    const LANGID language = GetUserDefaultLangID();
    HMODULE module = loadResourceModule(addIn, language);
    if (!module)
        module = loadResourceModule(addIn, language & 0xFFu);
    if (module)
        CAddInModule::setResourceInstance(module);
}

std::wstring ribbonDefinition()
{
    HINSTANCE resources = CAddInModule::resourceInstance();
    HRSRC found = FindResourceW(resources, MAKEINTRESOURCEW(IDR_RIBBONX), L"RIBBONX");
    HGLOBAL loaded = found ? LoadResource(resources, found) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!bytes)
        return kFallbackRibbon;
    const DWORD size = SizeofResource(resources, found);
    // UTF-8 never takes fewer bytes than UTF-16 units; the unit beyond them ends a text that fills them all.
    std::vector<wchar_t> text(size_t(size) + 1, L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, bytes, int(size), text.data(), int(size));
    return text.data();
}

} // namespace

CConnect::CConnect() : application(nullptr), addInInstance(nullptr), ribbonUI(nullptr)
{
}

CConnect::~CConnect()
{
    releaseHostObjects();
    if (ribbonUI)
        ribbonUI->Release();
}

void* CConnect::findInterface(REFIID inIid)
{
    if (inIid == IID_IUnknown || inIid == IID_IDispatch || inIid == IID_ICallbackInterface)
        return static_cast<ICallbackInterface*>(this);
    if (inIid == IID_IDTExtensibility2)
        return static_cast<IDTExtensibility2*>(this);
    if (inIid == IID_IRibbonExtensibility)
        return static_cast<IRibbonExtensibility*>(this);
    return nullptr;
}

void CConnect::releaseHostObjects()
{
    if (application) {
        application->Release();
        application = nullptr;
    }
    if (addInInstance) {
        addInInstance->Release();
        addInInstance = nullptr;
    }
}

HRESULT CConnect::OnConnection(IDispatch* inApplication, int32_t, IDispatch* inAddInInst, SAFEARRAY**)
{
    return comBarrier([&] {
        if (!inApplication)
            return E_POINTER;
        releaseHostObjects();
        inApplication->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&application));
        if (inAddInInst)
            inAddInInst->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&addInInstance));
        chooseResourceModule();
        return S_OK;
    });
}

// Everything the host handed over goes back, the ribbon too: a host that keeps the add-in object after the
// disconnection must not keep its ribbon alive through it.
HRESULT CConnect::OnDisconnection(int32_t, SAFEARRAY**)
{
    releaseHostObjects();
    if (ribbonUI) {
        ribbonUI->Release();
        ribbonUI = nullptr;
    }
    return S_OK;
}

HRESULT CConnect::OnAddInsUpdate(SAFEARRAY**)
{
    return S_OK;
}

HRESULT CConnect::OnStartupComplete(SAFEARRAY**)
{
    return S_OK;
}

HRESULT CConnect::OnBeginShutdown(SAFEARRAY**)
{
    return S_OK;
}

HRESULT CConnect::GetCustomUI(BSTR, BSTR* outRibbonXml)
{
    return comBarrier([&] {
        if (!outRibbonXml)
            return E_POINTER;
        *outRibbonXml = SysAllocString(ribbonDefinition().c_str());
        return *outRibbonXml ? S_OK : E_OUTOFMEMORY;
    });
}

HRESULT CConnect::OnLoad(IDispatch* inRibbonUI)
{
    IRibbonUI* ui = nullptr;
    if (inRibbonUI)
        inRibbonUI->QueryInterface(IID_IRibbonUI, reinterpret_cast<void**>(&ui));
    if (ui != ribbonUI) {
        if (ui)
            ui->AddRef();
        if (ribbonUI)
            ribbonUI->Release();
        ribbonUI = ui;
    }
    if (ui)
        ui->Release();
    return S_OK;
}

HRESULT CConnect::GetImage(IDispatch*, IPictureDisp** outImage)
{
    if (!outImage)
        return E_POINTER;
    *outImage = nullptr;
    HICON icon = static_cast<HICON>(
        LoadImageW(CAddInModule::resourceInstance(), MAKEINTRESOURCEW(IDI_BUTTON), IMAGE_ICON, 32, 32, LR_SHARED));
    if (!icon)
        return E_FAIL;
    PICTDESC picture = {};
    picture.cbSizeofstruct = sizeof(picture);
    picture.picType = PICTYPE_ICON;
    picture.icon.hicon = icon;
    // A shared icon belongs to the system, which hands out the same handle on the next request: the
    // picture must not destroy it.
    return OleCreatePictureIndirect(&picture, IID_IPictureDisp, FALSE, reinterpret_cast<void**>(outImage));
}
