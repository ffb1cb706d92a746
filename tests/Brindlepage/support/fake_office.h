// Automation objects that stand in for an Office host: an Application with its type library, a record with
// dispatch properties, and the ribbon's objects. Each starts with one reference, held by the test.
#pragma once

#include "fake_office_lib.h"
#include "office_host.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace FakeOffice {

// The QueryInterface of a stand-in: the object itself, with a reference added, for the interfaces listed.
template <class Itf>
HRESULT answerQuery(Itf* inObject, REFIID inIid, std::initializer_list<const IID*> inIids, void** outObject)
{
    if (!outObject)
        return E_POINTER;
    for (const IID* iid : inIids) {
        if (inIid == *iid) {
            *outObject = inObject;
            inObject->AddRef();
            return S_OK;
        }
    }
    *outObject = nullptr;
    return E_NOINTERFACE;
}

// Reference counting of the stand-ins; the last release deletes the object.
template <class Itf>
class Counted : public Itf {
public:
    LONG references() const { return refs; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = --refs;
        if (left == 0)
            delete this;
        return ULONG(left);
    }

protected:
    virtual ~Counted() = default;

private:
    LONG refs = 1;
};

// Which type information the application's IDispatch gives out.
enum class Describes { itsInterface, itsCoclass, itsTablePart };

class Application : public Counted<IFakeApplication> {
public:
    static Application* create(const std::wstring& inCaption, Describes inDescribes = Describes::itsInterface);

    const std::wstring& caption() const { return captionText; }
    IDispatch* owner() const { return ownerObject; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* outCount) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT inIndex, LCID inLcid, ITypeInfo** outInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID inIid, LPOLESTR* inNames, UINT inCount, LCID inLcid,
                                            DISPID* outIds) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID inId, REFIID inIid, LCID inLcid, WORD inFlags, DISPPARAMS* inParams,
                                     VARIANT* outResult, EXCEPINFO* outException, UINT* outArgError) override;

    HRESULT STDMETHODCALLTYPE get_Caption(BSTR* outCaption) override;
    HRESULT STDMETHODCALLTYPE put_Caption(BSTR inCaption) override;
    HRESULT STDMETHODCALLTYPE Describe(short inShort, LONG inLong, float inFloat, double inDouble, BSTR inText, VARIANT_BOOL inFlag, VARIANT inAny, unsigned char inByte,
                                       DATE inDate, BSTR* outText) override;
    HRESULT STDMETHODCALLTYPE Negate(VARIANT_BOOL* inOutFlag) override;
    HRESULT STDMETHODCALLTYPE Fail(BSTR inDescription) override;
    HRESULT STDMETHODCALLTYPE Sum(SAFEARRAY* inValues, LONG* outSum) override;
    HRESULT STDMETHODCALLTYPE Quit() override;
    HRESULT STDMETHODCALLTYPE putref_Owner(IDispatch* inOwner) override;

private:
    Application(const std::wstring& inCaption, Describes inDescribes);
    ~Application() override;

    std::wstring captionText;
    Describes describes;
    IDispatch* ownerObject;
};

// An object described by a dispinterface with two properties (Title read and written, Pages) and a method.
class Record : public Counted<IDispatch> {
public:
    static Record* create();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* outCount) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT inIndex, LCID inLcid, ITypeInfo** outInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID inIid, LPOLESTR* inNames, UINT inCount, LCID inLcid,
                                            DISPID* outIds) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID inId, REFIID inIid, LCID inLcid, WORD inFlags, DISPPARAMS* inParams,
                                     VARIANT* outResult, EXCEPINFO* outException, UINT* outArgError) override;

    const std::wstring& title() const { return titleText; }

private:
    Record() = default;
    std::wstring titleText = L"Report";
};

// The ribbon object that OnLoad receives and a control of the ribbon; their IDispatch parts are not used.
template <class Itf>
class RibbonObject : public Counted<Itf> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        return answerQuery(static_cast<Itf*>(this), inIid, {&IID_IUnknown, &IID_IDispatch, &__uuidof(Itf)}, outObject);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* outCount) override
    {
        *outCount = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

protected:
    RibbonObject() = default;
};

class RibbonUI : public RibbonObject<IRibbonUI> {
public:
    static RibbonUI* create() { return new RibbonUI; }
    HRESULT STDMETHODCALLTYPE Invalidate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE InvalidateControl(BSTR) override { return S_OK; }
};

class RibbonControl : public RibbonObject<IRibbonControl> {
public:
    static RibbonControl* create() { return new RibbonControl; }
    HRESULT STDMETHODCALLTYPE get_Id(BSTR* outId) override;
    HRESULT STDMETHODCALLTYPE get_Context(IDispatch** outContext) override;
    HRESULT STDMETHODCALLTYPE get_Tag(BSTR* outTag) override;
};

// The type information of the test type library (embedded in the test program) for a type of it.
ITypeInfo* typeInfo(REFGUID inGuid);
// The table part of a dual interface of the test type library, through which DispInvoke reaches the methods.
ITypeInfo* tablePartTypeInfo(REFIID inIid);

// Calls a member by name through IDispatch, as the ribbon calls its callbacks: the arguments in their
// order (reversed into DISPPARAMS here).
HRESULT callByName(IDispatch* inObject, const wchar_t* inName, std::vector<VARIANT> inArgs, VARIANT* outResult,
                   DISPID* outDispid = nullptr);

VARIANT dispatchArg(IDispatch* inObject);

// Makes an error object with the description and source the thread's, as a failing automation call does.
void raiseErrorInfo(const wchar_t* inDescription, const wchar_t* inSource);

} // namespace FakeOffice
