// The add-in DLL's module object: its instance and resource handles, the lock count that keeps it loaded,
// and the classes it serves.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

class CAddInModule {
public:
    static HINSTANCE instance();
    // Where strings, the ribbon definition and the icon come from: the add-in itself until a per-language
    // resource module is chosen.
    static HINSTANCE resourceInstance();
    static void setResourceInstance(HINSTANCE inModule);

    static void lock();
    static void unlock();
    static LONG lockCount();

    // The full path of a module, however long it is; empty when Windows cannot give it.
    static std::wstring modulePath(HMODULE inModule);

    // The type information of one of the add-in's dispatch interfaces, from the type libraries in its resources.
    static HRESULT loadTypeInfo(REFIID inIid, ITypeInfo** outInfo);
};
