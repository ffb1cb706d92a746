// Stand-ins for the HTTP tests: a credential provider that answers from a list, and a proxy chooser that
// sends everything direct or through the loopback proxy.
#pragma once

#include "mvx_credentials.h"
#include "mvx_http.h"
#include "mvx_syncobjs.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>
#include <windows.h>

namespace MvxTest {

// Answers with its (user, password) pairs in turn, then with none, each after delayMs (as a person at a
// dialog would take a while); remembers every question, and the scope of those asked with one.
typedef std::vector<std::pair<std::string, std::string>> Answers;

class ListProvider : public Morvenix::CredentialProvider {
public:
    explicit ListProvider(Answers inAnswers) : answers(std::move(inAnswers)) {}
    void getCredential(Morvenix::AutoPtr<Morvenix::CredentialInfo>& outCredential, uint32_t inKind,
                       const Morvenix::String& inCaption, uint32_t inFlags) override
    {
        Sleep(delayMs);
        captions.push_back(inCaption.c_str());
        kinds.push_back(inKind);
        flags.push_back(inFlags);
        outCredential.reset();
        if (next < answers.size()) {
            const auto& a = answers[next++];
            Morvenix::SimpleCredentialProviderImpl::create(a.first.c_str(), a.second.c_str(), inCaption)
                ->getCredential(outCredential, inKind, inCaption, inFlags);
        }
    }
    void getCredentialFor(Morvenix::AutoPtr<Morvenix::CredentialInfo>& outCredential,
                          const Morvenix::CredentialScope& inScope, const Morvenix::String& inCaption,
                          uint32_t inFlags) override
    {
        scopes.push_back(inScope);
        getCredential(outCredential, inScope.kind, inCaption, inFlags);
    }
    Answers answers;
    DWORD delayMs = 0;
    size_t next = 0;
    std::vector<std::string> captions;
    std::vector<uint32_t> kinds;
    std::vector<uint32_t> flags;
    std::vector<Morvenix::CredentialScope> scopes;
};

// Sends everything through the loopback proxy when a proxy port is set (but for the hosts of the bypass
// list), else direct; records the lookups.
class TestProxyChooser : public Morvenix::HttpProxyChooser {
public:
    explicit TestProxyChooser(uint16_t inProxyPort, const char* inBypass = "")
        : proxyPort(inProxyPort), bypass(inBypass)
    {
    }
    Morvenix::HttpProxyChoice choose(const Morvenix::String& inLookupUrl) override
    {
        Morvenix::AutoLock guard(lock);
        lookups.push_back(inLookupUrl.c_str());
        Morvenix::HttpProxyChoice choice;
        choice.kind = proxyPort ? Morvenix::HttpProxyChoice::kindNamed : Morvenix::HttpProxyChoice::kindDirect;
        if (proxyPort) {
            choice.proxy = Morvenix::String::format("127.0.0.1:%u", unsigned(proxyPort));
            choice.bypass = bypass.c_str();
        }
        return choice;
    }
    uint16_t proxyPort;
    std::string bypass;
    Morvenix::Mutex lock; // the manager's threads ask at once
    std::vector<std::string> lookups;
};

} // namespace MvxTest
