#include "mvx_credentials.h"
#include "mvx_exception.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>
#include <windows.h>
#include <wincred.h>

using Morvenix::AutoPtr;
using Morvenix::CredentialInfo;
using Morvenix::CredentialProvider;
using Morvenix::String;

namespace {

// Answers with the next of its user names (password "pw-" and the name), counting the questions.
class CountingProvider : public CredentialProvider {
public:
    explicit CountingProvider(std::vector<std::string> inUsers) : users(std::move(inUsers)) {}
    void getCredential(AutoPtr<CredentialInfo>& outCredential, uint32_t inKind, const String& inCaption,
                       uint32_t inFlags) override
    {
        asked.push_back({inCaption.c_str(), inFlags});
        lastKind = inKind;
        outCredential.reset();
        if (next < users.size()) {
            const std::string user = users[next++];
            Morvenix::SimpleCredentialProviderImpl::create(user.c_str(), ("pw-" + user).c_str(), inCaption)
                ->getCredential(outCredential, inKind, inCaption, inFlags);
        }
    }
    std::vector<std::string> users;
    size_t next = 0;
    std::vector<std::pair<std::string, uint32_t>> asked;
    uint32_t lastKind = 0;
};

TEST(CredentialCache, ConfirmedCredentialIsReusedWithoutAsking)
{
    AutoPtr<CountingProvider> base(new CountingProvider({"alice", "bob"}));
    AutoPtr<CredentialProvider> cache = Morvenix::CredentialProviderCache::create(base.get());
    AutoPtr<CredentialInfo> first, second, other;
    cache->getCredential(first, 1, "realm (host:80)", 0);
    ASSERT_TRUE(first);
    EXPECT_STREQ("alice", first->getUserName().c_str());
    EXPECT_STREQ("pw-alice", first->getPassword().c_str());
    EXPECT_STREQ("realm (host:80)", first->getTarget().c_str());
    EXPECT_FALSE(first->isConfirmed());
    first->setConfirmed(true);
    cache->getCredential(second, 1, "realm (host:80)", 0);
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(1u, base->asked.size());
    // Captions are compared byte for byte.
    cache->getCredential(other, 1, "Realm (host:80)", 0);
    EXPECT_STREQ("bob", other->getUserName().c_str());
    EXPECT_EQ(2u, base->asked.size());
}

TEST(CredentialCache, RefusedCredentialIsDroppedAndNeverOfferedAgain)
{
    AutoPtr<CountingProvider> base(new CountingProvider({"alice", "bob", "carol"}));
    AutoPtr<CredentialProvider> cache = Morvenix::CredentialProviderCache::create(base.get());
    AutoPtr<CredentialInfo> c;
    cache->getCredential(c, 1, "r", 0);
    c->setConfirmed(false);
    c->setConfirmed(true); // the refusal stands
    EXPECT_FALSE(c->isConfirmed());
    AutoPtr<CredentialInfo> next;
    cache->getCredential(next, 1, "r", CredentialProvider::flagIncorrectPassword);
    EXPECT_STREQ("bob", next->getUserName().c_str());
    ASSERT_EQ(2u, base->asked.size());
    EXPECT_EQ(uint32_t(CredentialProvider::flagIncorrectPassword), base->asked[1].second);

    // Accepted once, refused later (the password changed on the server): dropped as well.
    next->setConfirmed(true);
    AutoPtr<CredentialInfo> again;
    cache->getCredential(again, 1, "r", 0);
    EXPECT_EQ(next.get(), again.get());
    again->setConfirmed(false);
    cache->getCredential(again, 1, "r", 0);
    EXPECT_STREQ("carol", again->getUserName().c_str());

    // A late refusal of an older answer leaves the newer entry alone.
    again->setConfirmed(true);
    c->setConfirmed(false);
    AutoPtr<CredentialInfo> kept;
    cache->getCredential(kept, 1, "r", 0);
    EXPECT_EQ(again.get(), kept.get());
    EXPECT_EQ(3u, base->asked.size());
}

TEST(CredentialCache, NoAnswerIsNotStored)
{
    AutoPtr<CountingProvider> base(new CountingProvider({}));
    AutoPtr<CredentialProvider> cache = Morvenix::CredentialProviderCache::create(base.get());
    AutoPtr<CredentialInfo> none;
    cache->getCredential(none, 2, "proxy", 1);
    EXPECT_FALSE(none);
    EXPECT_EQ(2u, base->lastKind);
    EXPECT_EQ(1u, base->asked[0].second);
    base->users = {"alice"};
    AutoPtr<CredentialInfo> c;
    cache->getCredential(c, 2, "proxy", 0);
    ASSERT_TRUE(c);
    EXPECT_EQ(2u, base->asked.size());
    // The credential handed out earlier outlives the cache.
    cache.reset();
    base.reset();
    c->setConfirmed(false);
    EXPECT_STREQ("alice", c->getUserName().c_str());
}

// An answer serves every question of its key until a server refuses it, also before any server has
// accepted it: requests that meet one challenge at once ask once. A late acceptance by one of them does
// not bring back what another's server refused.
TEST(CredentialCache, AnswerServesEveryQuestionUntilRefused)
{
    AutoPtr<CountingProvider> base(new CountingProvider({"alice", "bob"}));
    AutoPtr<CredentialProvider> cache = Morvenix::CredentialProviderCache::create(base.get());
    AutoPtr<CredentialInfo> first, second, later;
    cache->getCredential(first, 1, "r", 0);
    cache->getCredential(second, 1, "r", 0);
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(1u, base->asked.size());
    second->setConfirmed(false);
    first->setConfirmed(true);
    cache->getCredential(later, 1, "r", CredentialProvider::flagIncorrectPassword);
    EXPECT_STREQ("bob", later->getUserName().c_str());
    EXPECT_EQ(2u, base->asked.size());
}

// A scope marked verified: only what verified servers are given is kept.
Morvenix::CredentialScope scope(uint32_t inKind, const char* inScheme, const char* inHost, uint16_t inPort,
                                const char* inRealm)
{
    Morvenix::CredentialScope s;
    s.verified = true;
    s.kind = inKind;
    s.scheme = inScheme;
    s.host = inHost;
    s.port = inPort;
    s.realm = inRealm;
    return s;
}

// A credential is kept for whom it went to: a server or a proxy, its scheme, host (in any case) and port,
// and the realm. Anyone else is asked anew, though the realm and the caption be the same; so is a question
// by caption alone.
TEST(CredentialCache, ScopesKeepTheirCredentialsApart)
{
    AutoPtr<CountingProvider> base(new CountingProvider({"alice", "bob", "carol", "dave", "erin", "frank", "gus"}));
    AutoPtr<CredentialProvider> cache = Morvenix::CredentialProviderCache::create(base.get());
    const String caption = "R (h:8443)";
    const uint32_t server = CredentialProvider::kindServer;
    AutoPtr<CredentialInfo> accepted, again;
    cache->getCredentialFor(accepted, scope(server, "https", "h", 8443, "R"), caption, 0);
    ASSERT_TRUE(accepted);
    accepted->setConfirmed(true);
    cache->getCredentialFor(again, scope(server, "https", "H", 8443, "R"), caption, 0);
    EXPECT_EQ(accepted.get(), again.get());
    EXPECT_EQ(1u, base->asked.size());
    const Morvenix::CredentialScope others[] = {
        scope(server, "http", "h", 8443, "R"),
        scope(server, "https", "h", 8444, "R"),
        scope(server, "https", "g", 8443, "R"),
        scope(server, "https", "h", 8443, "R2"),
        scope(CredentialProvider::kindProxy, "", "h:8443", 0, "R"),
    };
    for (const Morvenix::CredentialScope& other : others) {
        AutoPtr<CredentialInfo> c;
        cache->getCredentialFor(c, other, caption, 0);
        ASSERT_TRUE(c);
        EXPECT_STRNE("alice", c->getUserName().c_str()) << other.scheme.c_str() << "://" << other.host.c_str() << ":"
                                                        << other.port << " " << other.realm.c_str();
        c->setConfirmed(true);
    }
    AutoPtr<CredentialInfo> byCaption;
    cache->getCredential(byCaption, server, caption, 0);
    ASSERT_TRUE(byCaption);
    EXPECT_STREQ("gus", byCaption->getUserName().c_str());
    EXPECT_EQ(7u, base->asked.size());
}

// A server whose certificate was not checked may be anyone: it is given no credential kept for the
// same address, and nothing given to it is kept. A proxy's credential is kept (the way to a proxy is never
// checked).
TEST(CredentialCache, UncheckedServersGetNothingKept)
{
    AutoPtr<CountingProvider> base(new CountingProvider({"alice", "bob", "carol", "dave", "erin"}));
    AutoPtr<CredentialProvider> cache = Morvenix::CredentialProviderCache::create(base.get());
    const Morvenix::CredentialScope checked = scope(CredentialProvider::kindServer, "https", "h", 443, "R");
    Morvenix::CredentialScope unchecked = checked;
    unchecked.verified = false;
    Morvenix::CredentialScope proxy = scope(CredentialProvider::kindProxy, "", "p:8080", 0, "R");
    proxy.verified = false;
    AutoPtr<CredentialInfo> c;
    const char* const expected[][2] = {{"checked", "alice"},   {"unchecked", "bob"}, {"unchecked", "carol"},
                                       {"checked", "alice"},   {"proxy", "dave"},    {"proxy", "dave"}};
    for (const auto& e : expected) {
        const std::string which = e[0];
        cache->getCredentialFor(c, which == "checked" ? checked : which == "proxy" ? proxy : unchecked, "R (h:443)", 0);
        ASSERT_TRUE(c) << which;
        EXPECT_STREQ(e[1], c->getUserName().c_str()) << which;
        c->setConfirmed(true);
    }
    EXPECT_EQ(4u, base->asked.size());
}

TEST(CredentialCache, RefusesANullBaseProvider)
{
    MvxTest::expectThrow([] { Morvenix::CredentialProviderCache cache(nullptr); }, Morvenix::errInvalidParam,
                         "CredentialProviderCache: inBaseCredCache is NULL!");
}

TEST(FixedCredentialProvider, AnswersTheSameCredentialWhateverIsAsked)
{
    AutoPtr<CredentialProvider> p = Morvenix::SimpleCredentialProviderImpl::create("u", "p w", "");
    AutoPtr<CredentialInfo> a, b;
    p->getCredential(a, 1, "one", 0);
    a->setConfirmed(false);
    p->getCredential(b, 2, "two", 3);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_STREQ("u", b->getUserName().c_str());
    EXPECT_STREQ("p w", b->getPassword().c_str());
    EXPECT_STREQ("", b->getTarget().c_str());
}

// CredUI without a desktop answers at once with an error: no credential, no exception.
TEST(InteractiveCredentialProvider, HeadlessDialogGivesNoCredential)
{
    AutoPtr<CredentialProvider> p =
        Morvenix::CredentialProviderImpl::create(nullptr, "HTTP Authentication", "Log on to %s");
    AutoPtr<CredentialInfo> c;
    p->getCredential(c, 1, "nobody saved this (host:1)", 0);
    EXPECT_FALSE(c);
}

// With saved credentials allowed, CredUI answers from the credential manager without a dialog.
TEST(InteractiveCredentialProvider, SavedCredentialIsAnswered)
{
    const wchar_t* target = L"saved realm (127.0.0.1:9)";
    const wchar_t password[] = L"saved pass";
    CREDENTIALW cred = {};
    cred.Type = CRED_TYPE_GENERIC;
    cred.TargetName = const_cast<wchar_t*>(target);
    cred.UserName = const_cast<wchar_t*>(L"saveduser");
    cred.CredentialBlob = reinterpret_cast<BYTE*>(const_cast<wchar_t*>(password));
    cred.CredentialBlobSize = DWORD(sizeof(password) - sizeof(wchar_t));
    cred.Persist = CRED_PERSIST_LOCAL_MACHINE;
    ASSERT_TRUE(CredWriteW(&cred, 0)) << GetLastError();
    AutoPtr<CredentialProvider> p = Morvenix::CredentialProviderImpl::create(nullptr, "HTTP Authentication", "");
    AutoPtr<CredentialInfo> c;
    p->getCredential(c, 1, String(target), CredentialProvider::flagMayUseSaved);
    CredDeleteW(target, CRED_TYPE_GENERIC, 0);
    ASSERT_TRUE(c);
    EXPECT_STREQ("saveduser", c->getUserName().c_str());
    EXPECT_STREQ("saved pass", c->getPassword().c_str());
    EXPECT_STREQ("saved realm (127.0.0.1:9)", c->getTarget().c_str());
}

} // namespace
