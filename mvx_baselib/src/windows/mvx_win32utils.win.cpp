// Security attributes, global object names, module lookup and the warning box.
#include "mvx_win32utils.h"

#include "mvx_exception.h"
#include "mvx_string.h"

#include <windows.h>
#include <tlhelp32.h>

#include <string>

#define MVX_SOURCE "mvx_win32utils.win"

namespace Morvenix_Win32 {

using Morvenix::String;

_SECURITY_ATTRIBUTES* createSecurityAttributes(_SECURITY_ATTRIBUTES* outAttributes)
{
    // Looked up at run time: the conversion is not present on every system the library loads on.
    typedef BOOL(WINAPI * Convert)(LPCWSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);
    outAttributes->nLength = sizeof(SECURITY_ATTRIBUTES);
    outAttributes->lpSecurityDescriptor = nullptr;
    outAttributes->bInheritHandle = FALSE;
    HMODULE advapi = LoadLibraryW(L"advapi32.dll");
    if (!advapi)
        return nullptr;
    Convert convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "ConvertStringSecurityDescriptorToSecurityDescriptorW")));
    BOOL converted = convert && convert(L"D:AR(A;OICI;GA;;;WD)", 1, &outAttributes->lpSecurityDescriptor, nullptr);
    FreeLibrary(advapi);
    if (!converted) {
        outAttributes->lpSecurityDescriptor = nullptr;
        return nullptr;
    }
    return outAttributes;
}

String makeGlobalObjectName(const String& inName)
{
    std::string name(inName.c_str(), inName.getLength());
    for (char& c : name) {
        if (c == '/')
            c = '\\';
    }
    name.insert(0, name.empty() || name[0] != '\\' ? "Global\\" : "Global");
    return String(name.c_str(), uint32_t(name.size()));
}

String getModuleNameFromAddress(const void* inAddress)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
    if (snapshot != INVALID_HANDLE_VALUE) {
        uintptr_t address = reinterpret_cast<uintptr_t>(inAddress);
        MODULEENTRY32W entry;
        entry.dwSize = sizeof entry;
        for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry)) {
            uintptr_t base = reinterpret_cast<uintptr_t>(entry.modBaseAddr);
            if (base <= address && address - base < entry.modBaseSize) {
                CloseHandle(snapshot);
                return String(entry.szExePath, String::npos);
            }
        }
        CloseHandle(snapshot);
    }
    MVX_THROW(Morvenix::errNotFound, "Cannot locate the function!", "Morvenix_Win32::getModuleNameFromAddress");
}

__attribute__((noinline)) String getCallerModuleName()
{
    return getModuleNameFromAddress(__builtin_return_address(0));
}

void warnAndThrow(uint32_t inCode, const String& inMessage, const String& inCaption)
{
    USEROBJECTFLAGS flags;
    if (GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr) &&
        (flags.dwFlags & WSF_VISIBLE)) {
        MessageBoxW(nullptr, inMessage.wc_str(),
                    inCaption.isEmpty() ? L"Morvenix Base Library" : inCaption.wc_str(),
                    MB_OK | MB_ICONEXCLAMATION | MB_SYSTEMMODAL);
    }
    MVX_THROW(int(inCode), inMessage, "Morvenix_Win32::warnAndThrow");
}

} // namespace Morvenix_Win32
