#include "addin_module.h"

#include "callback_interface.h"
#include "com_support.h"
#include "connect.h"
#include "registrar.h"
#include "resource_ids.h"

#include <vector>

namespace {

HINSTANCE moduleInstance = nullptr;
HINSTANCE resourceModule = nullptr;
LONG locks = 0;

// The classes the DLL serves: class id, class factory, registry script.
struct ObjectEntry {
    const CLSID* clsid;
    HRESULT (*createFactory)(REFIID, void**);
    UINT registryScript;
};

const ObjectEntry objectMap[] = {
    {&CLSID_Connect, &ClassFactory<CConnect>::create, IDR_CONNECT_SCRIPT},
    {&CLSID_CallbackInterface, &ClassFactory<CCallbackInterface>::create, IDR_CALLBACKINTERFACE_SCRIPT},
};

HRESULT loadTypeLibrary(const std::wstring& inPath, ITypeLib** outLibrary)
{
    return LoadTypeLibEx(inPath.c_str(), REGKIND_NONE, outLibrary);
}

// Registration always runs in the system's default locale, so that the keys written do not depend on
// the locale of whoever registers.
class SystemLocaleScope {
public:
    SystemLocaleScope() : saved(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~SystemLocaleScope() { SetThreadLocale(saved); }

private:
    LCID saved;
};

HRESULT unregisterTypeLibrary(ITypeLib* inLibrary)
{
    TLIBATTR* attr = nullptr;
    HRESULT hr = inLibrary->GetLibAttr(&attr);
    if (SUCCEEDED(hr)) {
        hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
        inLibrary->ReleaseTLibAttr(attr);
    }
    return hr;
}

// A registration that fails half-way takes back the scripts already run (each takes back its own part): a
// server registered in part is found by its hosts and then fails in them.
HRESULT registerServer(const Registrar& inRegistrar, const std::wstring& inPath)
{
    size_t scriptsRun = 0;
    const auto fail = [&](HRESULT inResult) {
        while (scriptsRun > 0)
            inRegistrar.runScript(objectMap[--scriptsRun].registryScript, false);
        return inResult;
    };
    for (const ObjectEntry& entry : objectMap) {
        const HRESULT hr = inRegistrar.runScript(entry.registryScript, true);
        if (FAILED(hr))
            return fail(hr);
        ++scriptsRun;
    }
    ITypeLib* library = nullptr;
    HRESULT hr = loadTypeLibrary(inPath, &library);
    if (FAILED(hr))
        return fail(hr);
    hr = RegisterTypeLib(library, const_cast<OLECHAR*>(inPath.c_str()), nullptr);
    if (FAILED(hr))
        unregisterTypeLibrary(library);
    library->Release();
    return FAILED(hr) ? fail(hr) : hr;
}

// Unregistering goes on past a script or a type library it cannot take back, so that as much of the server
// as possible goes, and answers the first failure.
HRESULT unregisterServer(const Registrar& inRegistrar, const std::wstring& inPath)
{
    HRESULT first = S_OK;
    const auto note = [&](HRESULT inResult) {
        if (SUCCEEDED(first) && FAILED(inResult))
            first = inResult;
    };
    for (const ObjectEntry& entry : objectMap)
        note(inRegistrar.runScript(entry.registryScript, false));
    ITypeLib* library = nullptr;
    HRESULT hr = loadTypeLibrary(inPath, &library);
    if (SUCCEEDED(hr)) {
        hr = unregisterTypeLibrary(library);
        library->Release();
    }
    note(hr);
    return first;
}

HRESULT runRegistration(bool inRegister)
{
    const std::wstring path = CAddInModule::modulePath(moduleInstance);
    if (path.empty())
        return HRESULT_FROM_WIN32(GetLastError());
    const Registrar registrar(moduleInstance, path);
    return inRegister ? registerServer(registrar, path) : unregisterServer(registrar, path);
}

} // namespace

HINSTANCE CAddInModule::instance()
{
    return moduleInstance;
}

HINSTANCE CAddInModule::resourceInstance()
{
    return resourceModule;
}

void CAddInModule::setResourceInstance(HINSTANCE inModule)
{
    resourceModule = inModule;
}

void CAddInModule::lock()
{
    InterlockedIncrement(&locks);
}

void CAddInModule::unlock()
{
    InterlockedDecrement(&locks);
}

LONG CAddInModule::lockCount()
{
    return locks;
}

std::wstring CAddInModule::modulePath(HMODULE inModule)
{
    // GetModuleFileNameW cuts a path that does not fit and says so only through the returned length.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(inModule, buffer.data(), DWORD(buffer.size()));
        if (length == 0)
            return std::wstring();
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        if (buffer.size() >= 0x8000)
            return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}

HRESULT CAddInModule::loadTypeInfo(REFIID inIid, ITypeInfo** outInfo)
{
    return comBarrier([&] {
        const std::wstring path = modulePath(moduleInstance);
        if (path.empty())
            return E_FAIL;
        // The registered library comes first; the second one, never registered, describes the hosts'
        // interfaces that the add-in implements.
        HRESULT hr = E_FAIL;
        for (const std::wstring& library : {path, path + L"\\2"}) {
            ITypeLib* lib = nullptr;
            hr = loadTypeLibrary(library, &lib);
            if (FAILED(hr))
                return hr;
            hr = lib->GetTypeInfoOfGuid(inIid, outInfo);
            lib->Release();
            if (SUCCEEDED(hr))
                return hr;
        }
        return hr;
    });
}


extern "C" BOOL WINAPI DllMain(HINSTANCE inInstance, DWORD inReason, LPVOID)
{
    if (inReason == DLL_PROCESS_ATTACH) {
        moduleInstance = inInstance;
        resourceModule = inInstance;
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return CAddInModule::lockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID inClsid, REFIID inIid, void** outObject)
{
    return comBarrier([&] {
        if (!outObject)
            return E_POINTER;
        *outObject = nullptr;
        for (const ObjectEntry& entry : objectMap)
            if (inClsid == *entry.clsid)
                return entry.createFactory(inIid, outObject);
        return CLASS_E_CLASSNOTAVAILABLE;
    });
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer()
{
    return comBarrier([] {
        SystemLocaleScope locale;
        return runRegistration(true);
    });
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    return comBarrier([] {
        SystemLocaleScope locale;
        const HRESULT hr = runRegistration(false);
        return FAILED(hr) ? hr : S_OK;
    });
}
