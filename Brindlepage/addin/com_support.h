// The small COM layer the add-in's classes stand on: reference counting, class factories, IDispatch from
// the type library, and the barrier that keeps C++ exceptions inside the DLL.
#pragma once

#include "addin_module.h"
#include "bp_owned.h"

#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>

#include <new>
#include <utility>

// Runs the body of a COM entry point; no exception may reach the caller, who is not C++.
template <class F>
HRESULT comBarrier(F&& inBody) noexcept
{
    try {
        return inBody();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

template <class Itf>
void releaseInterface(Itf*& ioPointer)
{
    if (ioPointer)
        ioPointer->Release();
}

inline void freeBstr(BSTR& ioText)
{
    SysFreeString(ioText);
}

inline void clearVariant(VARIANT& ioValue)
{
    VariantClear(&ioValue);
}

// One reference to an interface, released when the owner goes.
template <class Itf>
using OwnedInterface = Owned<Itf*, &releaseInterface<Itf>>;
using OwnedBstr = Owned<BSTR, &freeBstr>;
using OwnedVariant = Owned<VARIANT, &clearVariant>;

// A creatable class T with IUnknown; T answers findInterface(iid) with the interface pointer or null.
// Every live object keeps the DLL loaded.
template <class T>
class ComObject final : public T {
public:
    ComObject() { CAddInModule::lock(); }
    ~ComObject() { CAddInModule::unlock(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        if (!outObject)
            return E_POINTER;
        *outObject = this->findInterface(inIid);
        if (!*outObject)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&references)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&references);
        if (left == 0)
            delete this;
        return ULONG(left);
    }

private:
    LONG references = 0;
};

// The class factory of T, itself a COM object: while it lives the DLL stays loaded.
template <class T>
class ClassFactory : public IClassFactory {
public:
    static HRESULT create(REFIID inIid, void** outFactory)
    {
        ComObject<ClassFactory>* factory = new (std::nothrow) ComObject<ClassFactory>;
        if (!factory)
            return E_OUTOFMEMORY;
        factory->AddRef();
        const HRESULT hr = factory->QueryInterface(inIid, outFactory);
        factory->Release();
        return hr;
    }

    void* findInterface(REFIID inIid)
    {
        return inIid == IID_IUnknown || inIid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* inOuter, REFIID inIid, void** outObject) override
    {
        return comBarrier([&] {
            if (!outObject)
                return E_POINTER;
            *outObject = nullptr;
            if (inOuter)
                return CLASS_E_NOAGGREGATION;
            ComObject<T>* object = new ComObject<T>;
            object->AddRef();
            const HRESULT hr = object->QueryInterface(inIid, outObject);
            object->Release();
            return hr;
        });
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL inLock) override
    {
        if (inLock)
            CAddInModule::lock();
        else
            CAddInModule::unlock();
        return S_OK;
    }
};

// IDispatch of the dual interface Itf, implemented from its type information. The further interfaces in
// Extra are reachable by name through the same IDispatch, as late-bound clients (scripts, macros) have no
// other way to them: their member ids are moved up by 0x10000 per interface so that Itf's own ids stay
// what its type library says.
template <class Derived, class Itf, class... Extra>
class DispatchPart : public Itf {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* outCount) override
    {
        if (!outCount)
            return E_POINTER;
        *outCount = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT inIndex, LCID, ITypeInfo** outInfo) override
    {
        if (!outInfo)
            return E_POINTER;
        *outInfo = nullptr;
        if (inIndex != 0)
            return DISP_E_BADINDEX;
        ITypeInfo* info = nullptr;
        const HRESULT hr = typeInfo(0, &info);
        if (SUCCEEDED(hr)) {
            info->AddRef();
            *outInfo = info;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID inIid, LPOLESTR* inNames, UINT inCount, LCID,
                                            DISPID* outIds) override
    {
        if (!inNames || !outIds)
            return E_POINTER;
        if (inIid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        HRESULT hr = DISP_E_UNKNOWNNAME;
        for (size_t part = 0; part < kParts; ++part) {
            ITypeInfo* info = nullptr;
            hr = vtableTypeInfo(part, &info);
            if (FAILED(hr))
                return hr;
            hr = DispGetIDsOfNames(info, inNames, inCount, outIds);
            if (SUCCEEDED(hr)) {
                if (inCount > 0)
                    outIds[0] += DISPID(part << 16);
                return hr;
            }
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID inId, REFIID inIid, LCID, WORD inFlags, DISPPARAMS* inParams,
                                     VARIANT* outResult, EXCEPINFO* outException, UINT* outArgError) override
    {
        if (inIid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        if (!inParams)
            return E_POINTER;
        size_t part = 0;
        if (inId >= 0x10000) {
            part = size_t(inId) >> 16;
            if (part >= kParts)
                return DISP_E_MEMBERNOTFOUND;
            inId &= 0xFFFF;
        }
        ITypeInfo* info = nullptr;
        const HRESULT hr = vtableTypeInfo(part, &info);
        if (FAILED(hr))
            return hr;
        Derived* self = static_cast<Derived*>(this);
        void* const parts[kParts] = {static_cast<Itf*>(self), static_cast<Extra*>(self)...};
        return DispInvoke(parts[part], info, inId, inFlags, inParams, outResult, outException, outArgError);
    }

protected:
    ~DispatchPart()
    {
        for (ITypeInfo* info : infos)
            if (info)
                info->Release();
        for (ITypeInfo* info : vtableInfos)
            if (info)
                info->Release();
    }

private:
    static constexpr size_t kParts = 1 + sizeof...(Extra);

    HRESULT typeInfo(size_t inPart, ITypeInfo** outInfo)
    {
        if (!infos[inPart]) {
            const IID* const iids[kParts] = {&__uuidof(Itf), &__uuidof(Extra)...};
            const HRESULT hr = CAddInModule::loadTypeInfo(*iids[inPart], &infos[inPart]);
            if (FAILED(hr))
                return hr;
        }
        *outInfo = infos[inPart];
        return S_OK;
    }

    // The dual interface's table part, through which calls reach the methods directly (the dispatch part
    // that clients are given would only lead back to this IDispatch).
    HRESULT vtableTypeInfo(size_t inPart, ITypeInfo** outInfo)
    {
        if (!vtableInfos[inPart]) {
            ITypeInfo* info = nullptr;
            HRESULT hr = typeInfo(inPart, &info);
            HREFTYPE ref = 0;
            if (SUCCEEDED(hr))
                hr = info->GetRefTypeOfImplType(UINT(-1), &ref);
            if (SUCCEEDED(hr))
                hr = info->GetRefTypeInfo(ref, &vtableInfos[inPart]);
            if (FAILED(hr))
                return hr;
        }
        *outInfo = vtableInfos[inPart];
        return S_OK;
    }

    ITypeInfo* infos[kParts] = {};
    ITypeInfo* vtableInfos[kParts] = {};
};
