#include "fake_office.h"

#include <cstdio>
#include <vector>

namespace FakeOffice {

ITypeInfo* typeInfo(REFGUID inGuid)
{
    wchar_t path[MAX_PATH];
    if (!GetModuleFileNameW(nullptr, path, MAX_PATH))
        return nullptr;
    ITypeLib* library = nullptr;
    if (FAILED(LoadTypeLibEx(path, REGKIND_NONE, &library)))
        return nullptr;
    ITypeInfo* info = nullptr;
    library->GetTypeInfoOfGuid(inGuid, &info);
    library->Release();
    return info;
}

Application* Application::create(const std::wstring& inCaption, Describes inDescribes)
{
    return new Application(inCaption, inDescribes);
}

Application::Application(const std::wstring& inCaption, Describes inDescribes)
    : captionText(inCaption), describes(inDescribes), ownerObject(nullptr)
{
}

Application::~Application()
{
    if (ownerObject)
        ownerObject->Release();
}

HRESULT Application::QueryInterface(REFIID inIid, void** outObject)
{
    return answerQuery(static_cast<IFakeApplication*>(this), inIid,
                       {&IID_IUnknown, &IID_IDispatch, &IID_IFakeApplication}, outObject);
}

HRESULT Application::GetTypeInfoCount(UINT* outCount)
{
    *outCount = 1;
    return S_OK;
}

ITypeInfo* tablePartTypeInfo(REFIID inIid)
{
    ITypeInfo* dispatch = typeInfo(inIid);
    ITypeInfo* info = nullptr;
    HREFTYPE ref = 0;
    if (dispatch && SUCCEEDED(dispatch->GetRefTypeOfImplType(UINT(-1), &ref)))
        dispatch->GetRefTypeInfo(ref, &info);
    if (dispatch)
        dispatch->Release();
    return info;
}

HRESULT Application::GetTypeInfo(UINT, LCID, ITypeInfo** outInfo)
{
    *outInfo = describes == Describes::itsInterface ? typeInfo(IID_IFakeApplication)
               : describes == Describes::itsCoclass ? typeInfo(CLSID_FakeApplication)
                                                    : tablePartTypeInfo(IID_IFakeApplication);
    return *outInfo ? S_OK : TYPE_E_ELEMENTNOTFOUND;
}

HRESULT Application::GetIDsOfNames(REFIID, LPOLESTR* inNames, UINT inCount, LCID, DISPID* outIds)
{
    ITypeInfo* info = tablePartTypeInfo(IID_IFakeApplication);
    const HRESULT hr = DispGetIDsOfNames(info, inNames, inCount, outIds);
    info->Release();
    return hr;
}

HRESULT Application::Invoke(DISPID inId, REFIID, LCID, WORD inFlags, DISPPARAMS* inParams, VARIANT* outResult,
                            EXCEPINFO* outException, UINT* outArgError)
{
    ITypeInfo* info = tablePartTypeInfo(IID_IFakeApplication);
    const HRESULT hr = DispInvoke(static_cast<IFakeApplication*>(this), info, inId, inFlags, inParams, outResult,
                                  outException, outArgError);
    info->Release();
    return hr;
}

HRESULT Application::get_Caption(BSTR* outCaption)
{
    *outCaption = SysAllocString(captionText.c_str());
    return S_OK;
}

HRESULT Application::put_Caption(BSTR inCaption)
{
    captionText = inCaption ? inCaption : L"";
    return S_OK;
}

HRESULT Application::Describe(short inShort, LONG inLong, float inFloat, double inDouble, BSTR inText,
                              VARIANT_BOOL inFlag, VARIANT inAny, unsigned char inByte, DATE inDate, BSTR* outText)
{
    VARIANT any;
    VariantInit(&any);
    VariantChangeType(&any, &inAny, 0, VT_BSTR);
    wchar_t text[512];
    std::swprintf(text, 512, L"%d|%ld|%g|%g|%ls|%d|%ls|%u|%g", inShort, long(inLong), double(inFloat), inDouble,
                  inText ? inText : L"(null)", int(inFlag),
                  any.vt == VT_BSTR ? any.bstrVal : L"?", unsigned(inByte), inDate);
    VariantClear(&any);
    *outText = SysAllocString(text);
    return S_OK;
}

HRESULT Application::Negate(VARIANT_BOOL* inOutFlag)
{
    *inOutFlag = *inOutFlag == VARIANT_TRUE ? VARIANT_FALSE : (*inOutFlag == VARIANT_FALSE ? VARIANT_TRUE : 7);
    return S_OK;
}

void raiseErrorInfo(const wchar_t* inDescription, const wchar_t* inSource)
{
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetDescription(const_cast<LPOLESTR>(inDescription));
        create->SetSource(const_cast<LPOLESTR>(inSource));
        IErrorInfo* error = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&error)))) {
            SetErrorInfo(0, error);
            error->Release();
        }
        create->Release();
    }
}

HRESULT Application::Fail(BSTR inDescription)
{
    raiseErrorInfo(inDescription, L"FakeOffice");
    return E_FAIL;
}

HRESULT Application::Sum(SAFEARRAY* inValues, LONG* outSum)
{
    LONG low = 0, high = -1;
    SafeArrayGetLBound(inValues, 1, &low);
    SafeArrayGetUBound(inValues, 1, &high);
    LONG sum = 0;
    for (LONG i = low; i <= high; ++i) {
        LONG v = 0;
        SafeArrayGetElement(inValues, &i, &v);
        sum += v;
    }
    *outSum = sum;
    return S_OK;
}

HRESULT Application::Quit()
{
    return S_OK;
}

HRESULT Application::putref_Owner(IDispatch* inOwner)
{
    if (inOwner)
        inOwner->AddRef();
    if (ownerObject)
        ownerObject->Release();
    ownerObject = inOwner;
    return S_OK;
}

Record* Record::create()
{
    return new Record;
}

HRESULT Record::QueryInterface(REFIID inIid, void** outObject)
{
    return answerQuery(static_cast<IDispatch*>(this), inIid, {&IID_IUnknown, &IID_IDispatch, &DIID_DFakeRecord},
                       outObject);
}

HRESULT Record::GetTypeInfoCount(UINT* outCount)
{
    *outCount = 1;
    return S_OK;
}

HRESULT Record::GetTypeInfo(UINT, LCID, ITypeInfo** outInfo)
{
    *outInfo = typeInfo(DIID_DFakeRecord);
    return *outInfo ? S_OK : TYPE_E_ELEMENTNOTFOUND;
}

HRESULT Record::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

// Title (1) reads and writes, Pages (2) reads 12, Count (3) gives 3.
HRESULT Record::Invoke(DISPID inId, REFIID, LCID, WORD inFlags, DISPPARAMS* inParams, VARIANT* outResult,
                       EXCEPINFO*, UINT*)
{
    if (inId == 1 && (inFlags & DISPATCH_PROPERTYPUT)) {
        if (inParams->cArgs != 1 || inParams->cNamedArgs != 1 || inParams->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT ||
            inParams->rgvarg[0].vt != VT_BSTR)
            return DISP_E_TYPEMISMATCH;
        titleText = inParams->rgvarg[0].bstrVal;
        return S_OK;
    }
    if (inId == 1 && (inFlags & DISPATCH_PROPERTYGET)) {
        outResult->vt = VT_BSTR;
        outResult->bstrVal = SysAllocString(titleText.c_str());
        return S_OK;
    }
    if ((inId == 2 && (inFlags & DISPATCH_PROPERTYGET)) || (inId == 3 && (inFlags & DISPATCH_METHOD))) {
        outResult->vt = VT_I4;
        outResult->lVal = inId == 2 ? 12 : 3;
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT RibbonControl::get_Id(BSTR* outId)
{
    *outId = SysAllocString(L"DjVuConvert");
    return S_OK;
}

HRESULT RibbonControl::get_Context(IDispatch** outContext)
{
    *outContext = nullptr;
    return S_OK;
}

HRESULT RibbonControl::get_Tag(BSTR* outTag)
{
    *outTag = SysAllocString(L"");
    return S_OK;
}

HRESULT callByName(IDispatch* inObject, const wchar_t* inName, std::vector<VARIANT> inArgs, VARIANT* outResult,
                   DISPID* outDispid)
{
    LPOLESTR name = const_cast<LPOLESTR>(inName);
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = inObject->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (outDispid)
        *outDispid = id;
    if (FAILED(hr))
        return hr;
    std::vector<VARIANT> reversed(inArgs.rbegin(), inArgs.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, UINT(reversed.size()), 0};
    if (outResult)
        VariantInit(outResult);
    EXCEPINFO exception = {};
    UINT argError = 0;
    return inObject->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, outResult, &exception,
                            &argError);
}

VARIANT dispatchArg(IDispatch* inObject)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = inObject;
    return v;
}

} // namespace FakeOffice
