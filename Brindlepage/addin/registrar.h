// Runs the add-in's registry scripts (resources of type "REGISTRY") to register or unregister its keys.
//
// Script format: root keys (HKCR, HKLM, HKCU or their long names) each followed by a braced body; in a body,
// "val NAME = s 'text'" or "val NAME = d 'number'" sets a value, and a key is written as
// "[NoRemove|ForceRemove] NAME [= s 'default text'] [{ body }]". Tokens are separated by white space;
// quoted texts double a quote to hold one. "%MODULE%" stands for the DLL's path, "%APPID%" for the empty
// text and "%%" for "%". Unregistering deletes ForceRemove keys whole, never deletes NoRemove keys, and
// deletes any other key once it has no subkeys left. A registration that fails half-way is unregistered
// again before the failure is returned.
#pragma once

#include <windows.h>

#include <string>

class Registrar {
public:
    Registrar(HINSTANCE inModule, const std::wstring& inModulePath);

    HRESULT runScript(UINT inResourceId, bool inRegister) const;
    HRESULT runText(const std::wstring& inScript, bool inRegister) const;

private:
    HINSTANCE module;
    std::wstring modulePath;
};
