// One press of the add-in's button inside a host that plays Word, Excel or PowerPoint: the user in front
// of it, the host with its document, the registered add-in started as Office starts it.
#pragma once

#include "fake_user.h"
#include "office_hosts.h"
#include "office_session.h"
#include "test_support.h"

#include <string>
#include <vector>

namespace CommandTest {

class Apartment {
public:
    Apartment() { CoInitialize(nullptr); }
    ~Apartment() { CoUninitialize(); }
};

// The Windows paths of the sample report's page metafiles (three A4 pages: text, a table, a photo, a link),
// or of its first inCount pages.
std::vector<std::wstring> samplePages(size_t inCount = 3);

std::wstring widen(const std::string& inText);
std::string narrow(const std::wstring& inText);

// A host, the user at it and the add-in; press() is the click. Needs an initialised apartment.
class HostRun {
public:
    HostRun(const FakeOffice::HostSettings& inSettings, const std::wstring& inAnswer, bool inSystemDialog = true);

    // Presses the button and gives back what the button's callback returned.
    HRESULT press();

    FakeOffice::FakeUser user;
    FakeOffice::Host host;
    FakeOffice::OfficeSession session;
};

} // namespace CommandTest
