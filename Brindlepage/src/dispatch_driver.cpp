#include "dispatch_driver.h"

#include <cwchar>
#include <new>

namespace {

constexpr LCID kInvokeLocale = LOCALE_SYSTEM_DEFAULT;

VARIANT* newEmptyVariant()
{
    VARIANT* v = new VARIANT;
    VariantInit(v);
    return v;
}

void freeVariant(VARIANT*& inOutVariant)
{
    if (inOutVariant) {
        VariantClear(inOutVariant);
        delete inOutVariant;
        inOutVariant = nullptr;
    }
}

// The VARTYPE a parameter or result is declared with: pointers as their target with VT_BYREF, SAFEARRAYs as
// their element with VT_ARRAY.
VARTYPE declaredType(const TYPEDESC& inDesc)
{
    if (inDesc.vt == VT_PTR && inDesc.lptdesc)
        return VARTYPE(declaredType(*inDesc.lptdesc) | VT_BYREF);
    if (inDesc.vt == VT_SAFEARRAY && inDesc.lptdesc)
        return VARTYPE(declaredType(*inDesc.lptdesc) | VT_ARRAY);
    return inDesc.vt;
}

bool isPointerType(VARTYPE inType)
{
    const VARTYPE base = VARTYPE(inType & VT_TYPEMASK);
    if (inType & VT_BYREF) {
        if (inType & VT_ARRAY)
            return base == 0 || (base >= VT_I2 && base <= VT_UNKNOWN) || base == VT_UI1;
        return (base >= VT_I2 && base <= VT_UI1);
    }
    if (inType & VT_ARRAY)
        return base == 0 || (base >= VT_I2 && base <= VT_UNKNOWN) || base == VT_UI1;
    return false;
}

void callDeferredFillIn(EXCEPINFO* inInfo)
{
    if (inInfo && inInfo->pfnDeferredFillIn)
        inInfo->pfnDeferredFillIn(inInfo);
}

void clearExceptionInfo(EXCEPINFO* inInfo)
{
    SysFreeString(inInfo->bstrSource);
    SysFreeString(inInfo->bstrDescription);
    SysFreeString(inInfo->bstrHelpFile);
}

} // namespace

int64_t DispatchArg::asInteger() const
{
    switch (kind) {
    case Kind::integer: return value.integer;
    case Kind::real: return int64_t(value.real);
    case Kind::currency: return value.currency.int64 / 10000;
    default: return 0;
    }
}

double DispatchArg::asReal() const
{
    switch (kind) {
    case Kind::integer: return double(value.integer);
    case Kind::real: return value.real;
    case Kind::currency: return double(value.currency.int64) / 10000.0;
    default: return 0.0;
    }
}

void* DispatchArg::asPointer() const
{
    return kind == Kind::pointer ? value.pointer : nullptr;
}

void DispatchArg::toVariant(VARTYPE inDeclared, VARIANT& inOut, BSTR& outCopy) const
{
    outCopy = nullptr;
    if (inDeclared == VT_VARIANT) {
        if (kind == Kind::variant)
            inOut = value.variant;
        return;
    }
    inOut.vt = inDeclared;
    if (isPointerType(inDeclared)) {
        void* p = asPointer();
        if (inDeclared == (VT_BYREF | VT_BOOL) && p) {
            // The caller's flag is a 32-bit value; its low half is what the VARIANT_BOOL reference reads.
            int32_t* flag = static_cast<int32_t*>(p);
            *flag = *flag ? -1 : 0;
        }
        inOut.byref = p;
        return;
    }
    switch (inDeclared) {
    case VT_I2: inOut.iVal = SHORT(asInteger()); break;
    case VT_I4: inOut.lVal = LONG(asInteger()); break;
    case VT_ERROR: inOut.scode = SCODE(asInteger()); break;
    case VT_DISPATCH: inOut.pdispVal = static_cast<IDispatch*>(asPointer()); break;
    case VT_UNKNOWN: inOut.punkVal = static_cast<IUnknown*>(asPointer()); break;
    case VT_R4: inOut.fltVal = float(asReal()); break;
    case VT_R8: inOut.dblVal = asReal(); break;
    case VT_DATE: inOut.date = asReal(); break;
    case VT_CY:
        if (kind == Kind::currency)
            inOut.cyVal = value.currency;
        else
            inOut.cyVal.int64 = int64_t(asReal() * 10000.0);
        break;
    case VT_BSTR:
        if (kind == Kind::text && value.text) {
            outCopy = SysAllocString(value.text);
            if (!outCopy)
                throw std::bad_alloc();
        }
        inOut.bstrVal = outCopy;
        break;
    case VT_BOOL: inOut.boolVal = asInteger() ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_UI1: inOut.bVal = BYTE(asInteger()); break;
    default: break; // the declared type without a value
    }
}

DispatchMember::DispatchMember()
    : dispid(0), name(nullptr), invokeKind(0), vtableOffset(-1), callConv(CC_STDCALL), returnType(VT_EMPTY),
      result(nullptr), paramCount(0)
{
}

DispatchMember::DispatchMember(const DispatchMember& inOther)
    : dispid(inOther.dispid), name(nullptr), invokeKind(inOther.invokeKind), vtableOffset(inOther.vtableOffset),
      callConv(inOther.callConv), returnType(inOther.returnType), result(newEmptyVariant()),
      paramCount(inOther.paramCount), paramTypes(inOther.paramTypes)
{
    if (inOther.name) {
        name = SysAllocStringLen(inOther.name, SysStringLen(inOther.name));
        if (!name) {
            freeVariant(result);
            throw std::bad_alloc();
        }
    }
}

DispatchMember& DispatchMember::operator=(const DispatchMember& inOther)
{
    if (this != &inOther) {
        DispatchMember copy(inOther);
        std::swap(dispid, copy.dispid);
        std::swap(name, copy.name);
        std::swap(invokeKind, copy.invokeKind);
        std::swap(vtableOffset, copy.vtableOffset);
        std::swap(callConv, copy.callConv);
        std::swap(returnType, copy.returnType);
        std::swap(result, copy.result);
        std::swap(paramCount, copy.paramCount);
        std::swap(paramTypes, copy.paramTypes);
    }
    return *this;
}

DispatchMember::~DispatchMember()
{
    SysFreeString(name);
    freeVariant(result);
}

DispatchDriver::DispatchDriver()
    : dispatch(nullptr), connectionPoint(nullptr), adviseCookie(0), memberCount(0), lastResult(S_OK),
      exceptionInfo(nullptr), varCount(0), funcCount(0), comInitialized(SUCCEEDED(CoInitialize(nullptr)))
{
}

DispatchDriver::DispatchDriver(const DispatchDriver& inOther) : DispatchDriver()
{
    *this = inOther;
}

DispatchDriver& DispatchDriver::operator=(const DispatchDriver& inOther)
{
    if (this == &inOther)
        return *this;
    Reset();
    dispatch = inOther.dispatch;
    if (dispatch)
        dispatch->AddRef();
    members = inOther.members;
    memberCount = inOther.memberCount;
    return *this;
}

DispatchDriver::~DispatchDriver()
{
    Reset();
    // A thread already in another apartment (RPC_E_CHANGED_MODE) was not initialised here, and must not be
    // uninitialised under its owner.
    if (comInitialized)
        CoUninitialize();
}

void DispatchDriver::freeExceptionInfo()
{
    if (exceptionInfo) {
        clearExceptionInfo(exceptionInfo);
        delete exceptionInfo;
        exceptionInfo = nullptr;
    }
}

void DispatchDriver::Reset()
{
    lastResult = S_OK;
    Unadvise();
    freeExceptionInfo();
    if (dispatch) {
        dispatch->Release();
        dispatch = nullptr;
    }
    members.clear();
    memberCount = varCount = funcCount = 0;
}

bool DispatchDriver::Attach(IDispatch* inDispatch)
{
    Reset();
    if (!inDispatch)
        return false;
    dispatch = inDispatch;
    dispatch->AddRef();
    return ScanTypeInfo();
}

bool DispatchDriver::CreateObject(const wchar_t* inProgId, DWORD inClassContext, const wchar_t* inServer)
{
    Reset();
    CLSID clsid;
    lastResult = CLSIDFromProgID(inProgId, &clsid);
    if (FAILED(lastResult))
        return false;
    return CreateObjectFromClsid(clsid, inClassContext, inServer);
}

bool DispatchDriver::CreateObjectFromClsid(REFCLSID inClsid, DWORD inClassContext, const wchar_t* inServer)
{
    Reset();
    COSERVERINFO server = {};
    server.pwszName = const_cast<wchar_t*>(inServer);
    MULTI_QI query = {&IID_IDispatch, nullptr, S_OK};
    lastResult = CoCreateInstanceEx(inClsid, nullptr, inClassContext, inServer ? &server : nullptr, 1, &query);
    if (FAILED(lastResult))
        return false;
    if (FAILED(query.hr) || !query.pItf) {
        lastResult = FAILED(query.hr) ? query.hr : E_NOINTERFACE;
        return false;
    }
    dispatch = static_cast<IDispatch*>(query.pItf);
    return ScanTypeInfo();
}

bool DispatchDriver::ScanTypeInfo()
{
    if (!dispatch) {
        lastResult = S_FALSE;
        return false;
    }
    ITypeInfo* info = nullptr;
    lastResult = dispatch->GetTypeInfo(0, kInvokeLocale, &info);
    if (FAILED(lastResult) || !info)
        return false;
    TYPEATTR* attr = nullptr;
    lastResult = info->GetTypeAttr(&attr);
    if (FAILED(lastResult)) {
        info->Release();
        return false;
    }
    if (attr->typekind == TKIND_COCLASS) {
        // The coclass describes the object through its default interface; with several, the last one counts.
        ITypeInfo* chosen = nullptr;
        TYPEATTR* chosenAttr = nullptr;
        for (UINT i = 0; i < attr->cImplTypes; ++i) {
            INT flags = 0;
            HREFTYPE ref = 0;
            ITypeInfo* implemented = nullptr;
            TYPEATTR* implementedAttr = nullptr;
            lastResult = info->GetImplTypeFlags(i, &flags);
            if (FAILED(lastResult))
                break;
            if (!(flags & IMPLTYPEFLAG_FDEFAULT))
                continue;
            lastResult = info->GetRefTypeOfImplType(i, &ref);
            if (SUCCEEDED(lastResult))
                lastResult = info->GetRefTypeInfo(ref, &implemented);
            if (FAILED(lastResult))
                break;
            lastResult = implemented->GetTypeAttr(&implementedAttr);
            if (FAILED(lastResult)) {
                implemented->Release();
                break;
            }
            if (chosen) {
                chosen->ReleaseTypeAttr(chosenAttr);
                chosen->Release();
            }
            chosen = implemented;
            chosenAttr = implementedAttr;
        }
        info->ReleaseTypeAttr(attr);
        info->Release();
        if (!chosen) {
            if (SUCCEEDED(lastResult))
                lastResult = S_FALSE;
            return false;
        }
        info = chosen;
        attr = chosenAttr;
    } else if (attr->typekind != TKIND_DISPATCH) {
        info->ReleaseTypeAttr(attr);
        info->Release();
        lastResult = S_FALSE;
        return false;
    }

    funcCount = attr->cFuncs;
    varCount = attr->cVars;
    memberCount = funcCount + 2 * varCount;
    // Each copy of the new entry gets a result VARIANT of its own.
    members.assign(size_t(memberCount), DispatchMember());
    const bool scanned = scanFunctions(info) && scanVariables(info);
    info->ReleaseTypeAttr(attr);
    info->Release();
    if (!scanned) {
        members.clear();
        memberCount = varCount = funcCount = 0;
    }
    return scanned;
}

bool DispatchDriver::scanFunctions(ITypeInfo* inInfo)
{
    for (int32_t i = 0; i < funcCount; ++i) {
        FUNCDESC* desc = nullptr;
        lastResult = inInfo->GetFuncDesc(UINT(i), &desc);
        if (FAILED(lastResult))
            return false;
        DispatchMember& member = members[size_t(i)];
        UINT names = 0;
        lastResult = inInfo->GetNames(desc->memid, &member.name, 1, &names);
        if (FAILED(lastResult)) {
            inInfo->ReleaseFuncDesc(desc);
            return false;
        }
        member.dispid = desc->memid;
        const INVOKEKIND kind = desc->invkind;
        if (kind == INVOKE_FUNC || kind == INVOKE_PROPERTYGET || kind == INVOKE_PROPERTYPUT ||
            kind == INVOKE_PROPERTYPUTREF)
            member.invokeKind = uint16_t(kind);
        member.vtableOffset = desc->oVft;
        member.callConv = uint32_t(desc->callconv);
        const VARTYPE ret = declaredType(desc->elemdescFunc.tdesc);
        member.returnType = (ret == VT_VOID || ret == VT_NULL) ? VARTYPE(VT_EMPTY) : ret;
        member.paramCount = desc->cParams;
        member.paramTypes.resize(size_t(desc->cParams) + 1, 0);
        for (int32_t p = 0; p < desc->cParams; ++p)
            member.paramTypes[size_t(p)] = declaredType(desc->lprgelemdescParam[p].tdesc);
        inInfo->ReleaseFuncDesc(desc);
    }
    return true;
}

bool DispatchDriver::scanVariables(ITypeInfo* inInfo)
{
    for (int32_t k = 0; k < varCount; ++k) {
        VARDESC* desc = nullptr;
        lastResult = inInfo->GetVarDesc(UINT(k), &desc);
        if (FAILED(lastResult))
            return false;
        DispatchMember& getter = members[size_t(funcCount + k)];
        DispatchMember& setter = members[size_t(funcCount + varCount + k)];
        UINT names = 0;
        lastResult = inInfo->GetNames(desc->memid, &getter.name, 1, &names);
        if (FAILED(lastResult)) {
            inInfo->ReleaseVarDesc(desc);
            return false;
        }
        if (getter.name) {
            setter.name = SysAllocStringLen(getter.name, SysStringLen(getter.name));
            if (!setter.name) {
                inInfo->ReleaseVarDesc(desc);
                throw std::bad_alloc();
            }
        }
        getter.dispid = setter.dispid = desc->memid;
        if (desc->varkind == VAR_DISPATCH) {
            const VARTYPE type = declaredType(desc->elemdescVar.tdesc);
            getter.invokeKind = DISPATCH_PROPERTYGET;
            getter.returnType = type;
            getter.paramTypes.assign(1, 0);
            setter.invokeKind = DISPATCH_PROPERTYPUT;
            setter.paramCount = 1;
            setter.paramTypes = {type, 0};
        }
        inInfo->ReleaseVarDesc(desc);
    }
    return true;
}

int32_t DispatchDriver::FindMember(const wchar_t* inName, uint16_t inInvokeKind) const
{
    if (!inName)
        return -1;
    for (int32_t i = 0; i < memberCount; ++i) {
        const DispatchMember& m = members[size_t(i)];
        if (m.invokeKind == inInvokeKind && m.name && std::wcscmp(m.name, inName) == 0)
            return i;
    }
    return -1;
}

VARTYPE DispatchDriver::GetReturnType(int32_t inIndex) const
{
    return (inIndex < 0 || inIndex >= memberCount) ? VARTYPE(0) : members[size_t(inIndex)].returnType;
}

int32_t DispatchDriver::GetParamCount(int32_t inIndex) const
{
    return (inIndex < 0 || inIndex >= memberCount) ? -1 : members[size_t(inIndex)].paramCount;
}

VARTYPE DispatchDriver::GetParamType(int32_t inIndex, int32_t inParam) const
{
    if (inIndex < 0 || inIndex >= memberCount || inParam < 0 || inParam >= members[size_t(inIndex)].paramCount)
        return 0;
    return members[size_t(inIndex)].paramTypes[size_t(inParam)];
}

VARIANT* DispatchDriver::GetProperty(const wchar_t* inName)
{
    const int32_t index = FindProperty(inName);
    return index < 0 ? nullptr : GetPropertyAt(index);
}

VARIANT* DispatchDriver::GetPropertyAt(int32_t inIndex)
{
    if (inIndex < 0 || inIndex >= memberCount || members[size_t(inIndex)].invokeKind != DISPATCH_PROPERTYGET)
        return nullptr;
    lastResult = InvokeMember(inIndex, {});
    return lastResult == S_OK ? members[size_t(inIndex)].result : nullptr;
}

bool DispatchDriver::setPropertyKind(int32_t inIndex, uint16_t inKind, DispatchArgs inArgs)
{
    if (inIndex < 0 || inIndex >= memberCount || members[size_t(inIndex)].invokeKind != inKind)
        return false;
    return InvokeMember(inIndex, inArgs) == S_OK;
}

bool DispatchDriver::SetProperty(const wchar_t* inName, DispatchArgs inArgs)
{
    return setPropertyKind(FindMember(inName, DISPATCH_PROPERTYPUT), DISPATCH_PROPERTYPUT, inArgs);
}

bool DispatchDriver::SetPropertyAt(int32_t inIndex, DispatchArgs inArgs)
{
    return setPropertyKind(inIndex, DISPATCH_PROPERTYPUT, inArgs);
}

bool DispatchDriver::SetPropertyRef(const wchar_t* inName, DispatchArgs inArgs)
{
    return setPropertyKind(FindMember(inName, DISPATCH_PROPERTYPUTREF), DISPATCH_PROPERTYPUTREF, inArgs);
}

bool DispatchDriver::SetPropertyRefAt(int32_t inIndex, DispatchArgs inArgs)
{
    return setPropertyKind(inIndex, DISPATCH_PROPERTYPUTREF, inArgs);
}

VARIANT* DispatchDriver::InvokeMethod(const wchar_t* inName, DispatchArgs inArgs)
{
    const int32_t index = FindMethod(inName);
    return index < 0 ? nullptr : InvokeMethodAt(index, inArgs);
}

VARIANT* DispatchDriver::InvokeMethodAt(int32_t inIndex, DispatchArgs inArgs)
{
    if (inIndex < 0 || inIndex >= memberCount || members[size_t(inIndex)].invokeKind != DISPATCH_METHOD)
        return nullptr;
    return InvokeMember(inIndex, inArgs) == S_OK ? members[size_t(inIndex)].result : nullptr;
}

HRESULT DispatchDriver::InvokeMember(int32_t inIndex, DispatchArgs inArgs)
{
    lastResult = S_OK;
    if (inIndex < 0 || inIndex >= memberCount || members[size_t(inIndex)].invokeKind == 0 || !dispatch)
        return lastResult = S_FALSE;
    DispatchMember& member = members[size_t(inIndex)];

    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params = {nullptr, nullptr, 0, 0};
    if (member.invokeKind == DISPATCH_PROPERTYPUT || member.invokeKind == DISPATCH_PROPERTYPUTREF) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    const size_t count = size_t(member.paramCount);
    std::vector<VARIANT> values(count);
    std::vector<BSTR> copies(count, nullptr);
    struct CopiesGuard {
        std::vector<BSTR>& copies;
        ~CopiesGuard()
        {
            for (BSTR b : copies)
                SysFreeString(b);
        }
    } guard{copies};
    // Arguments go in reverse: the first parameter is the last VARIANT. Parameters without an argument
    // keep their declared type and no value.
    auto arg = inArgs.begin();
    for (size_t p = 0; p < count; ++p) {
        VARIANT& slot = values[count - 1 - p];
        VariantInit(&slot);
        if (arg != inArgs.end())
            (arg++)->toVariant(member.paramTypes[p], slot, copies[p]);
        else
            slot.vt = member.paramTypes[p];
    }
    params.rgvarg = count ? values.data() : nullptr;
    params.cArgs = UINT(count);

    VariantClear(member.result);
    freeExceptionInfo();
    exceptionInfo = new EXCEPINFO();
    UINT argError = UINT(-1);
    lastResult = dispatch->Invoke(member.dispid, IID_NULL, kInvokeLocale, member.invokeKind, &params, member.result,
                                  exceptionInfo, &argError);
    if (FAILED(lastResult)) {
        VariantClear(member.result);
        if (lastResult == DISP_E_EXCEPTION)
            callDeferredFillIn(exceptionInfo);
        else
            freeExceptionInfo();
    } else {
        freeExceptionInfo();
    }
    return lastResult;
}

bool DispatchDriver::Advise(IUnknown* inSink, REFIID inEventInterface)
{
    if (!dispatch) {
        lastResult = S_FALSE;
        return false;
    }
    Unadvise();
    IConnectionPointContainer* container = nullptr;
    lastResult = dispatch->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
    if (FAILED(lastResult))
        return false;
    lastResult = container->FindConnectionPoint(inEventInterface, &connectionPoint);
    container->Release();
    if (FAILED(lastResult)) {
        connectionPoint = nullptr;
        return false;
    }
    DWORD cookie = 0;
    lastResult = connectionPoint->Advise(inSink, &cookie);
    if (FAILED(lastResult)) {
        connectionPoint->Release();
        connectionPoint = nullptr;
        return false;
    }
    adviseCookie = cookie;
    return true;
}

void DispatchDriver::Unadvise()
{
    if (connectionPoint) {
        lastResult = connectionPoint->Unadvise(adviseCookie);
        connectionPoint->Release();
        connectionPoint = nullptr;
        adviseCookie = 0;
    }
}

HRESULT DispatchDriver::InvokeById(IDispatch* inDispatch, DISPID inDispid, WORD inFlags, VARIANT* outResult,
                                   EXCEPINFO* outException, uint32_t inArgCount, const VARIANT* inArgs)
{
    if (!inDispatch)
        return S_FALSE;
    return InvokeRaw(inDispatch, inDispid, inFlags, outResult, outException, inArgCount, inArgs);
}

HRESULT DispatchDriver::InvokeByName(IDispatch* inDispatch, const wchar_t* inName, WORD inFlags, VARIANT* outResult,
                                     EXCEPINFO* outException, uint32_t inArgCount, const VARIANT* inArgs)
{
    if (!inDispatch || !inName)
        return S_FALSE;
    LPOLESTR name = const_cast<LPOLESTR>(inName);
    DISPID dispid = DISPID_UNKNOWN;
    const HRESULT hr = inDispatch->GetIDsOfNames(IID_NULL, &name, 1, kInvokeLocale, &dispid);
    if (FAILED(hr))
        return hr;
    return InvokeRaw(inDispatch, dispid, inFlags, outResult, outException, inArgCount, inArgs);
}

HRESULT DispatchDriver::InvokeRaw(IDispatch* inDispatch, DISPID inDispid, WORD inFlags, VARIANT* outResult,
                                  EXCEPINFO* outException, uint32_t inArgCount, const VARIANT* inArgs)
{
    std::vector<VARIANT> reversed(inArgCount);
    for (uint32_t i = 0; i < inArgCount; ++i)
        reversed[inArgCount - 1 - i] = inArgs[i];
    DISPPARAMS params = {inArgCount ? reversed.data() : nullptr, nullptr, UINT(inArgCount), 0};
    if (outResult)
        VariantInit(outResult);
    const HRESULT hr = inDispatch->Invoke(inDispid, IID_NULL, kInvokeLocale, inFlags, &params, outResult,
                                          outException, nullptr);
    if (FAILED(hr)) {
        if (outResult)
            VariantClear(outResult);
        if (hr == DISP_E_EXCEPTION)
            callDeferredFillIn(outException);
    }
    return hr;
}
