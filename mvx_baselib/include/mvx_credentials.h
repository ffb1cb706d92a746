// How the network layer obtains user names and passwords: the credential and provider interfaces, the
// interactive provider over the system's credential dialog, a provider of one fixed credential, and the
// cache that reuses a credential once a server has accepted it.
#pragma once

#include "mvx_referable.h"
#include "mvx_string.h"

#include <cstdint>

namespace Morvenix {

class CredentialInfo : public Referable {
public:
    ~CredentialInfo() override {}
    // Each call decrypts into a new String; the credential itself keeps its texts only encrypted.
    virtual String getTarget() = 0;
    virtual String getUserName() = 0;
    virtual String getPassword() = 0;
    // Whether the server accepted the credential (true) or refused it (false).
    virtual void setConfirmed(bool inConfirmed) = 0;
    // The last value recorded, false before any.
    virtual bool isConfirmed() = 0;
};

// Whom a credential is asked for: the server or the proxy that sent the challenge, as the client reaches it.
struct CredentialScope {
    uint32_t kind = 0; // CredentialProvider::kindServer or kindProxy
    String scheme;     // the server's "http" or "https"; empty for a proxy
    String host;       // the server's host in ASCII form, or the proxy as the proxy setting names it
    uint16_t port = 0; // the server's port; 0 for a proxy (its name holds its port)
    String realm;      // the challenge's, as it came
    bool verified = false; // a server reached over TLS whose certificate passed the checks
};

class CredentialProvider : public Referable {
public:
    enum Kind : uint32_t { kindServer = 1, kindProxy = 2 };
    enum Flags : uint32_t {
        flagMayUseSaved = 1,        // saved credentials may be used without showing the dialog
        flagIncorrectPassword = 2,  // the previous password was refused
    };

    ~CredentialProvider() override {}
    // A credential for the caption (realm and server), or null when there is none (dialog cancelled).
    virtual void getCredential(AutoPtr<CredentialInfo>& outCredential, uint32_t inKind, const String& inCaption,
                               uint32_t inFlags) = 0;
    // The same question with whom it is for, as the HTTP client asks it; a provider that does not tell
    // them apart answers it as getCredential of the scope's kind.
    virtual void getCredentialFor(AutoPtr<CredentialInfo>& outCredential, const CredentialScope& inScope,
                                  const String& inCaption, uint32_t inFlags)
    {
        getCredential(outCredential, inScope.kind, inCaption, inFlags);
    }
};

// Asks the user with the system's credential dialog (credui.dll, loaded on first use).
class CredentialProviderImpl : public CredentialProvider {
public:
    // inParentWindow is a window handle or null. A non-empty message is a format whose one "%s" receives
    // the caption; an empty one shows the caption itself.
    static AutoPtr<CredentialProvider> create(void* inParentWindow, const String& inCaption,
                                              const String& inMessage);
    // Tells the system whether the credentials it saved for the target are valid; nothing when credui.dll
    // lacks the call.
    virtual void confirm(const String& inTarget, bool inConfirmed) = 0;
};

// Gives out one fixed credential (for URLs that carry a user name and password), whatever is asked.
class SimpleCredentialProviderImpl : public CredentialProvider {
public:
    static AutoPtr<CredentialProvider> create(const String& inUserName, const String& inPassword,
                                              const String& inTarget);
};

class CredMap;

// Over a base provider: an answer it gave is given again, without asking, for the same scope (kind,
// scheme, host, port and realm; the realm alone never counts) or, asked without a scope, for the same kind
// and caption, so one question serves every request that meets the challenge; once a server refuses it,
// it is dropped, and the base provider is asked again. A server that is not verified (plain HTTP, or TLS
// without certificate checks) is always asked for anew, and nothing given to it is kept. Safe to share
// between threads: the base provider is asked by one thread at a time.
class CredentialProviderCache : public CredentialProvider {
public:
    // A null base provider throws errInvalidParam.
    explicit CredentialProviderCache(CredentialProvider* inBaseCredCache);
    ~CredentialProviderCache() override;
    void getCredential(AutoPtr<CredentialInfo>& outCredential, uint32_t inKind, const String& inCaption,
                       uint32_t inFlags) override;
    void getCredentialFor(AutoPtr<CredentialInfo>& outCredential, const CredentialScope& inScope,
                          const String& inCaption, uint32_t inFlags) override;

    static AutoPtr<CredentialProvider> create(CredentialProvider* inBaseCredCache);

private:
    AutoPtr<CredentialProvider> m_base;
    AutoPtr<CredMap> m_map;
};

} // namespace Morvenix
