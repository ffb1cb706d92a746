// An Office host's life with its add-ins, as the hosts live it: at start-up every add-in its registry key
// lists with LoadBehavior 3 is created by its ProgID and connected with the Application; the ribbon asks
// for the definition, hands over the ribbon object and asks for the button's image; a press of the button
// calls the callback the definition names for it, by name; at the end the add-in is disconnected and let go.
#pragma once

#include "office_hosts.h"

#include <string>

namespace FakeOffice {

class OfficeSession {
public:
    // Starts the host's add-in "Brindlepage.Connect" (it must be registered for the host).
    explicit OfficeSession(Host& inHost);
    OfficeSession(const OfficeSession&) = delete;
    OfficeSession& operator=(const OfficeSession&) = delete;
    ~OfficeSession();

    // Empty when the add-in started; otherwise what went wrong.
    const std::wstring& failure() const { return problem; }
    // The module the add-in was loaded from.
    HMODULE addInModule() const { return module; }
    const std::wstring& ribbon() const { return ribbonXml; }

    // The user presses the add-in's button: the onAction callback of the definition's button, called by
    // name through the add-in's IDispatch with a ribbon control. Returns what the callback returned.
    HRESULT pressButton();

private:
    void fail(const std::wstring& inWhat, HRESULT inResult);

    Host& host;
    std::wstring problem;
    IDTExtensibility2* addIn = nullptr;
    IDispatch* callbacks = nullptr;
    IDispatch* ribbonUI = nullptr;
    HMODULE module = nullptr;
    std::wstring ribbonXml;
    std::wstring action;
};

} // namespace FakeOffice
