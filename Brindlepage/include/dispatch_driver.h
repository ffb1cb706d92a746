// Calls an automation object by member name through IDispatch, with the member table read once from the
// object's type information. Apartment-bound: a driver is made, used and destroyed on one thread.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

// One argument of a driver call, converted to the parameter's declared type when the call is made.
class DispatchArg {
public:
    DispatchArg(int32_t inValue) : kind(Kind::integer) { value.integer = inValue; }
    DispatchArg(bool inValue) : kind(Kind::integer) { value.integer = inValue ? 1 : 0; }
    DispatchArg(float inValue) : kind(Kind::real) { value.real = inValue; }
    DispatchArg(double inValue) : kind(Kind::real) { value.real = inValue; }
    DispatchArg(CY inValue) : kind(Kind::currency) { value.currency = inValue; }
    DispatchArg(const wchar_t* inText) : kind(Kind::text) { value.text = inText; }
    DispatchArg(const VARIANT& inVariant) : kind(Kind::variant) { value.variant = inVariant; }
    // Interfaces, SAFEARRAYs and the targets of by-reference parameters.
    DispatchArg(void* inPointer) : kind(Kind::pointer) { value.pointer = inPointer; }

    // Fills inOut (zeroed) for a parameter of the declared type; a BSTR made for it goes to outCopy.
    void toVariant(VARTYPE inDeclared, VARIANT& inOut, BSTR& outCopy) const;

private:
    enum class Kind { integer, real, currency, text, variant, pointer };
    int64_t asInteger() const;
    double asReal() const;
    void* asPointer() const;

    Kind kind;
    union {
        int64_t integer;
        double real;
        CY currency;
        const wchar_t* text;
        VARIANT variant;
        void* pointer;
    } value;
};

using DispatchArgs = std::initializer_list<DispatchArg>;

// One member of the scanned type information.
struct DispatchMember {
    DispatchMember();
    DispatchMember(const DispatchMember& inOther);
    DispatchMember& operator=(const DispatchMember& inOther);
    ~DispatchMember();

    DISPID dispid;
    BSTR name;
    uint16_t invokeKind;   // 1 method, 2 property get, 4 property put, 8 put by reference, 0 not callable
    int16_t vtableOffset;
    uint32_t callConv;
    VARTYPE returnType;
    VARIANT* result;       // the last invocation's result
    int32_t paramCount;
    std::vector<VARTYPE> paramTypes; // paramCount types, then 0
};

class DispatchDriver {
public:
    DispatchDriver();
    DispatchDriver(const DispatchDriver& inOther);
    DispatchDriver& operator=(const DispatchDriver& inOther);
    ~DispatchDriver();

    void Reset();

    bool Attach(IDispatch* inDispatch);
    bool CreateObject(const wchar_t* inProgId, DWORD inClassContext = CLSCTX_ALL, const wchar_t* inServer = nullptr);
    bool CreateObjectFromClsid(REFCLSID inClsid, DWORD inClassContext = CLSCTX_ALL, const wchar_t* inServer = nullptr);
    bool ScanTypeInfo();

    int32_t FindMember(const wchar_t* inName, uint16_t inInvokeKind) const;
    int32_t FindProperty(const wchar_t* inName) const { return FindMember(inName, DISPATCH_PROPERTYGET); }
    int32_t FindMethod(const wchar_t* inName) const { return FindMember(inName, DISPATCH_METHOD); }
    VARTYPE GetReturnType(int32_t inIndex) const;
    int32_t GetParamCount(int32_t inIndex) const;
    VARTYPE GetParamType(int32_t inIndex, int32_t inParam) const;
    VARTYPE GetPropertyType(const wchar_t* inName) const { return GetReturnType(FindProperty(inName)); }
    VARTYPE GetMethodReturnType(const wchar_t* inName) const { return GetReturnType(FindMethod(inName)); }
    int32_t GetMethodParamCount(const wchar_t* inName) const { return GetParamCount(FindMethod(inName)); }
    VARTYPE GetMethodParamType(const wchar_t* inName, int32_t inParam) const
    {
        return GetParamType(FindMethod(inName), inParam);
    }

    // Results belong to the driver and stay valid until the member is invoked again or the driver resets.
    VARIANT* GetProperty(const wchar_t* inName);
    VARIANT* GetPropertyAt(int32_t inIndex);
    bool SetProperty(const wchar_t* inName, DispatchArgs inArgs);
    bool SetPropertyAt(int32_t inIndex, DispatchArgs inArgs);
    bool SetPropertyRef(const wchar_t* inName, DispatchArgs inArgs);
    bool SetPropertyRefAt(int32_t inIndex, DispatchArgs inArgs);
    VARIANT* InvokeMethod(const wchar_t* inName, DispatchArgs inArgs = {});
    VARIANT* InvokeMethodAt(int32_t inIndex, DispatchArgs inArgs = {});
    HRESULT InvokeMember(int32_t inIndex, DispatchArgs inArgs);

    bool Advise(IUnknown* inSink, REFIID inEventInterface);
    void Unadvise();

    static HRESULT InvokeById(IDispatch* inDispatch, DISPID inDispid, WORD inFlags, VARIANT* outResult,
                              EXCEPINFO* outException, uint32_t inArgCount, const VARIANT* inArgs);
    static HRESULT InvokeByName(IDispatch* inDispatch, const wchar_t* inName, WORD inFlags, VARIANT* outResult,
                                EXCEPINFO* outException, uint32_t inArgCount, const VARIANT* inArgs);
    static HRESULT InvokeRaw(IDispatch* inDispatch, DISPID inDispid, WORD inFlags, VARIANT* outResult,
                             EXCEPINFO* outException, uint32_t inArgCount, const VARIANT* inArgs);

    IDispatch* getDispatch() const { return dispatch; }
    HRESULT getLastResult() const { return lastResult; }
    const EXCEPINFO* getExceptionInfo() const { return exceptionInfo; }
    int32_t getMemberCount() const { return memberCount; }
    const DispatchMember& getMember(int32_t inIndex) const { return members[size_t(inIndex)]; }
    int32_t getVarCount() const { return varCount; }
    int32_t getFuncCount() const { return funcCount; }

private:
    bool setPropertyKind(int32_t inIndex, uint16_t inKind, DispatchArgs inArgs);
    bool scanFunctions(ITypeInfo* inInfo);
    bool scanVariables(ITypeInfo* inInfo);
    void freeExceptionInfo();

    IDispatch* dispatch;
    IConnectionPoint* connectionPoint;
    uint32_t adviseCookie;
    int32_t memberCount;
    std::vector<DispatchMember> members;
    HRESULT lastResult;
    EXCEPINFO* exceptionInfo;
    int32_t varCount;
    int32_t funcCount;
    // CoInitialize succeeded for this driver (S_OK or S_FALSE), so its destructor owes one CoUninitialize.
    bool comInitialized;
};
