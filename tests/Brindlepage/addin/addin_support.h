// What the add-in's tests share: COM for the test, owned BSTRs, the build's add-in and resource modules,
// copies of the add-in in folders of their own, and calls through IDispatch by name as Office makes them.
#pragma once

#include "fake_office.h"
#include "office_host.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace AddInTest {

class Apartment {
public:
    Apartment() { CoInitialize(nullptr); }
    ~Apartment() { CoUninitialize(); }
};

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* inText) : value(SysAllocString(inText)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(value); }
    BSTR* out() { return &value; }
    BSTR get() const { return value; }
    std::wstring text() const { return value ? std::wstring(value, SysStringLen(value)) : std::wstring(); }

private:
    BSTR value = nullptr;
};

// The Windows path of a file the build made (given as its host path).
std::wstring builtFile(const char* inHostPath);

// The text of a UTF-8 file of the source tree.
std::wstring sourceText(const char* inRelativePath);

// The custom array the hosts pass with each connection call: an empty array of VARIANTs.
class CustomArray {
public:
    CustomArray() : array(SafeArrayCreateVector(VT_VARIANT, 0, 0)) {}
    CustomArray(const CustomArray&) = delete;
    CustomArray& operator=(const CustomArray&) = delete;
    ~CustomArray() { SafeArrayDestroy(array); }
    SAFEARRAY** get() { return &array; }

private:
    SAFEARRAY* array;
};

// A copy of the add-in DLL in a fresh folder (below a further sub-path when one is given) with the given
// resource modules beside it, each a source file and the name it gets there; loaded for the whole run.
class AddInCopy {
public:
    AddInCopy(const std::vector<std::pair<std::wstring, std::wstring>>& inModules, const std::wstring& inSubPath = L"");

    // A new add-in object from the copy's class factory, as the given interface.
    template <class Itf>
    Itf* create(REFCLSID inClsid) const
    {
        Itf* object = nullptr;
        createObject(inClsid, __uuidof(Itf), reinterpret_cast<void**>(&object));
        return object;
    }
    HRESULT createObject(REFCLSID inClsid, REFIID inIid, void** outObject) const;
    // The copy's DllGetClassObject.
    HRESULT classObject(REFCLSID inClsid, REFIID inIid, void** outObject) const;
    HRESULT canUnloadNow() const;

    const std::wstring& folder() const { return where; }

private:
    std::wstring where;
    HMODULE module = nullptr;
};

using FakeOffice::callByName;
using FakeOffice::dispatchArg;

// The ribbon definition an add-in object gives after connecting to an application with this caption.
std::wstring ribbonAfterConnecting(IDTExtensibility2* inAddIn, const wchar_t* inCaption,
                                   const wchar_t* inRibbonId = L"Microsoft.Word.Document");

} // namespace AddInTest
