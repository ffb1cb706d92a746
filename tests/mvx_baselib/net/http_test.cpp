// The HTTP client against the loopback servers of tests/support/loopback_server.py.
#include "http_test_support.h"
#include "loopback_server.h"
#include "mvx_credentials.h"
#include "mvx_exception.h"
#include "mvx_http.h"
#include "mvx_syncobjs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>
#include <windows.h>

using Morvenix::AutoPtr;
using Morvenix::CredentialInfo;
using Morvenix::CredentialProvider;
using Morvenix::HttpConnection;
using Morvenix::HttpManager;
using Morvenix::HttpProxyChoice;
using Morvenix::HttpRequestStream;
using Morvenix::HttpResponseStream;
using Morvenix::String;

using MvxTest::Answers;
using MvxTest::ListProvider;
using MvxTest::TestProxyChooser;

namespace {

const char* const kUser = "alice";
const char* const kPassword = "s3cret pass";

std::string bodyPattern(size_t inFirst, size_t inCount)
{
    std::string s;
    for (size_t i = inFirst; i < inFirst + inCount; ++i)
        s += char((i * 7 + 3) & 255);
    return s;
}

// The whole body, read in bounded steps.
std::string readAll(HttpResponseStream& inResponse)
{
    std::string s;
    char buffer[4096];
    for (int i = 0; i < 10000; ++i) {
        const uint32_t n = inResponse.readBytes(buffer, sizeof(buffer), false);
        if (n == 0)
            return s;
        s.append(buffer, n);
    }
    ADD_FAILURE() << "the body does not end";
    return s;
}

class HttpClient : public ::testing::Test {
protected:
    void SetUp() override
    {
        ports = MvxTest::loopbackServers(HttpManager::getDefaultUserAgent().c_str());
        chooser = new TestProxyChooser(0);
        manager = HttpManager::create("", nullptr, chooser.get());
        // Every wait for the server is bounded: a stalled answer fails in seconds.
        manager->setTimeouts(2000, 2000, 2000, 2000);
    }

    AutoPtr<HttpResponseStream> get(uint16_t inPort, const char* inPath, CredentialProvider* inProvider = nullptr,
                                    const char* inVerb = "GET", const char* inHeader = nullptr)
    {
        // The TLS ports are reached over TLS, the trusted one with certificate checks, the other without.
        AutoPtr<HttpConnection> c =
            inPort == ports.tls || inPort == ports.trusted
                ? manager->createSecureConnection("127.0.0.1", inPort, inPort == ports.trusted)
                : manager->createConnection("127.0.0.1", inPort);
        AutoPtr<HttpRequestStream> r = c->createRequestStream(inVerb, inPath, false, inProvider);
        if (inHeader) {
            EXPECT_TRUE(r->addHeader(inHeader));
        }
        return r->post(nullptr, 0);
    }

    MvxTest::LoopbackPorts ports;
    AutoPtr<TestProxyChooser> chooser;
    AutoPtr<HttpManager> manager;
};

TEST_F(HttpClient, GetHeadAndRangedGet)
{
    AutoPtr<HttpResponseStream> r = get(ports.plain, "/data/1000");
    EXPECT_EQ(200u, r->getStatus());
    EXPECT_EQ(1000u, r->getContentLength());
    EXPECT_EQ(bodyPattern(0, 1000), readAll(*r));
    EXPECT_TRUE(r->isEof());

    r = get(ports.plain, "/data/1000", nullptr, "HEAD");
    EXPECT_EQ(200u, r->getStatus());
    EXPECT_EQ(1000u, r->getContentLength());
    EXPECT_EQ("", readAll(*r));

    r = get(ports.plain, "/data/1000", nullptr, "GET", "Range: bytes=100-199");
    EXPECT_EQ(206u, r->getStatus());
    EXPECT_STREQ("bytes 100-199/1000", r->getHeader("content-range").c_str());
    EXPECT_EQ(100u, r->getContentLength());
    EXPECT_EQ(bodyPattern(100, 100), readAll(*r));
    MvxTest::expectThrow([&] { r->getHeader("X-Missing"); }, Morvenix::errNotFound,
                         "\"X-Missing\" not found from HTTP header.");
    Morvenix::HttpHeader::Pair pair;
    r->getNthHeader(pair, 0);
    EXPECT_FALSE(pair.first.isEmpty());
    MvxTest::expectThrow([&] { r->getNthHeader(pair, r->getHeaderCount()); }, Morvenix::errInvalidParam);
    // The proxy of a connection is looked up with scheme, host and port, never with a bare host.
    ASSERT_FALSE(chooser->lookups.empty());
    EXPECT_EQ("http://127.0.0.1:" + std::to_string(ports.plain) + "/", chooser->lookups[0]);
}

// Without a chooser of its own the manager follows the user's settings, which name no proxy here.
TEST_F(HttpClient, SystemProxyChoiceReachesTheLoopbackServer)
{
    manager = HttpManager::create("", nullptr);
    AutoPtr<HttpResponseStream> r = get(ports.plain, "/data/5");
    EXPECT_EQ(200u, r->getStatus());
    EXPECT_EQ(bodyPattern(0, 5), readAll(*r));
    EXPECT_FALSE(r->getHeaderCount() == 0);
}

TEST_F(HttpClient, ReadsWithAndWithoutTheExactFlag)
{
    AutoPtr<HttpResponseStream> r = get(ports.plain, "/data/100");
    char buffer[1000];
    uint32_t total = 0;
    for (int i = 0; i < 100 && total < 100; ++i)
        total += r->readBytes(buffer + total, sizeof(buffer) - total, false);
    EXPECT_EQ(100u, total);
    EXPECT_EQ(0u, r->readBytes(buffer, sizeof(buffer), false));
    EXPECT_TRUE(r->isEof());
    EXPECT_EQ(0u, r->readBytes(buffer, 0, true));

    r = get(ports.plain, "/data/100");
    MvxTest::expectThrow([&] { r->readBytes(buffer, sizeof(buffer), true); }, Morvenix::errEOF);
    MvxTest::expectThrow([&] { r->writeBytes("x", 1); }, Morvenix::errNotImplemented);
}

TEST_F(HttpClient, PostSendsBodyAndExtraDataAndStatusesAreNoErrors)
{
    AutoPtr<HttpConnection> c = manager->createConnection("127.0.0.1", ports.plain);
    AutoPtr<HttpRequestStream> q = c->createRequestStream("POST", "/echo", false, nullptr);
    q->writeBytes("body+", 5);
    AutoPtr<HttpResponseStream> r = q->post("extra", 5);
    EXPECT_EQ(200u, r->getStatus());
    EXPECT_EQ("body+extra", readAll(*r));

    r = get(ports.plain, "/status/404");
    EXPECT_EQ(404u, r->getStatus());
    EXPECT_EQ("status page", readAll(*r));
    r = get(ports.plain, "/status/500");
    EXPECT_EQ(500u, r->getStatus());
}

TEST_F(HttpClient, RequestAndConnectionFacts)
{
    AutoPtr<HttpConnection> c = manager->createConnection("127.0.0.1", ports.plain);
    EXPECT_STREQ("127.0.0.1", c->getHost().c_str());
    EXPECT_EQ(ports.plain, c->getPort());
    EXPECT_FALSE(c->isSecure());
    EXPECT_EQ(manager.get(), c->getManager().get());
    AutoPtr<HttpRequestStream> q = c->createRequestStream("GET", "/a b", false, nullptr);
    EXPECT_EQ("http://127.0.0.1:" + std::to_string(ports.plain) + "/a b", std::string(q->getUrl().c_str()));
    char b[4];
    MvxTest::expectThrow([&] { q->readBytes(b, 4, false); }, Morvenix::errNotImplemented, "errNotImplemented");
    MvxTest::expectThrow([&] { manager->setProxy("x"); }, Morvenix::errNotImplemented);
    q.reset();
    // The path is percent-encoded unless the caller says it already is.
    AutoPtr<HttpResponseStream> r = get(ports.plain, "/data/3?x=a b");
    EXPECT_EQ(200u, r->getStatus());
    EXPECT_EQ(bodyPattern(0, 3), readAll(*r));
    EXPECT_TRUE(manager->createSecureConnection("127.0.0.1", 0, false)->isSecure());
    EXPECT_EQ(443u, manager->createSecureConnection("127.0.0.1", 0, false)->getPort());
    EXPECT_EQ(80u, manager->createConnection("127.0.0.1", 0)->getPort());
    EXPECT_STREQ("xn--mller-kva.example", manager->createConnection("m\xC3\xBCller.example", 80)->getHost().c_str());
}

// Through a named proxy the whole URL goes into the request line: a host that could break it is refused
// before anything is sent.
TEST_F(HttpClient, HostThatCouldBreakALineIsRefused)
{
    AutoPtr<TestProxyChooser> viaProxy(new TestProxyChooser(ports.proxy));
    manager = HttpManager::create("", nullptr, viaProxy.get());
    for (const char* host : {"[x\r\nX-Injected: yes\r\nY]", "x\r\nX-Injected: yes"}) {
        MvxTest::expectThrow([&] { manager->createConnection(host, ports.plain); }, Morvenix::errOperationFailed);
        MvxTest::expectThrow([&] { manager->createStorage(std::string("http://") + host + "/file.djvu", false,
                                                          nullptr, nullptr); },
                             Morvenix::errOperationFailed);
    }
    EXPECT_TRUE(viaProxy->lookups.empty());
}

TEST_F(HttpClient, BasicChallengeIsAnsweredAndTheCredentialReused)
{
    AutoPtr<ListProvider> provider(new ListProvider(Answers{{kUser, kPassword}}));
    manager = HttpManager::create("", provider.get(), chooser.get());
    AutoPtr<HttpResponseStream> r = get(ports.trusted, "/auth/plain");
    EXPECT_EQ(200u, r->getStatus());
    ASSERT_EQ(1u, provider->captions.size());
    EXPECT_EQ("loopback realm (127.0.0.1:" + std::to_string(ports.trusted) + ")", provider->captions[0]);
    EXPECT_EQ(uint32_t(CredentialProvider::kindServer), provider->kinds[0]);
    // The credential is kept for the server: its scheme, host and port, and the realm.
    ASSERT_EQ(1u, provider->scopes.size());
    EXPECT_EQ(uint32_t(CredentialProvider::kindServer), provider->scopes[0].kind);
    EXPECT_STREQ("https", provider->scopes[0].scheme.c_str());
    EXPECT_STREQ("127.0.0.1", provider->scopes[0].host.c_str());
    EXPECT_EQ(ports.trusted, provider->scopes[0].port);
    EXPECT_STREQ("loopback realm", provider->scopes[0].realm.c_str());
    r = get(ports.trusted, "/auth/plain");
    EXPECT_EQ(200u, r->getStatus());
    EXPECT_EQ(1u, provider->captions.size());
}

// Basic hands the password itself to whoever answers: a server gets it over TLS with its certificate
// checked only. Over plain HTTP, or TLS without the checks (anyone on the way may answer), nobody is asked,
// nothing is sent, and the post ends at the challenge.
TEST_F(HttpClient, BasicOnlyToACheckedServer)
{
    MvxTest::writeFile(MvxTest::loopbackFilesFolder() + "\\basic.txt", {'o', 'k'});
    for (uint16_t port : {ports.plain, ports.tls, ports.trusted}) {
        const std::string key = "basic" + std::to_string(port);
        const std::string path = "/file/" + key + "/auth/basic.txt";
        AutoPtr<ListProvider> provider(new ListProvider(Answers{{"carol", "w0rd_pass"}}));
        if (port != ports.trusted) {
            MvxTest::expectThrow([&] { get(port, path.c_str(), provider.get()); }, Morvenix::errAuthFailed,
                                 "Authorization Failed (401).");
            EXPECT_TRUE(provider->captions.empty());
        } else {
            EXPECT_EQ("ok", readAll(*get(port, path.c_str(), provider.get())));
            EXPECT_EQ(1u, provider->captions.size());
        }
        const std::vector<std::string> log = MvxTest::loopbackRequestLog(key);
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(port == ports.trusted, log.back().find("Basic_") != std::string::npos) << log.back();
    }
}

// What the threads of the shared-manager test share, and what each of them runs.
struct SharedManager {
    AutoPtr<HttpManager> manager;
    uint16_t port;
    volatile long failures;
    int requests = 3;
};

// Requests the guarded file s.requests times; counts what did not end in 200.
DWORD WINAPI requestGuarded(void* inShared)
{
    SharedManager& s = *static_cast<SharedManager*>(inShared);
    for (int i = 0; i < s.requests; ++i) {
        try {
            AutoPtr<HttpConnection> c = s.manager->createSecureConnection("127.0.0.1", s.port, true);
            if (c->createRequestStream("GET", "/auth/plain", false, nullptr)->post(nullptr, 0)->getStatus() != 200)
                InterlockedIncrement(&s.failures);
        } catch (const Morvenix::Exception&) {
            InterlockedIncrement(&s.failures);
        }
    }
    return 0;
}

// Several threads share one manager and meet the challenge at once; they answer it one at a time, and
// the answer the server accepted serves the others: the provider, slow to answer, is asked once.
TEST_F(HttpClient, ThreadsShareTheManagersCredentials)
{
    AutoPtr<ListProvider> provider(new ListProvider(Answers(8, {kUser, kPassword})));
    provider->delayMs = 300;
    SharedManager shared = {HttpManager::create("", provider.get(), chooser.get()), ports.trusted, 0};
    HANDLE threads[4];
    for (HANDLE& t : threads)
        t = CreateThread(nullptr, 0, requestGuarded, &shared, 0, nullptr);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(4, threads, TRUE, 30000));
    for (HANDLE t : threads)
        CloseHandle(t);
    EXPECT_EQ(0, shared.failures);
    EXPECT_EQ(1u, provider->captions.size());
}

TEST_F(HttpClient, RealmCaptions)
{
    struct Case {
        const char* path;
        const char* realm;
    } cases[] = {{"/auth/second", "second realm"}, {"/auth/norealm", ""}};
    for (const Case& c : cases) {
        AutoPtr<ListProvider> provider(new ListProvider(Answers{{kUser, kPassword}}));
        EXPECT_EQ(200u, get(ports.trusted, c.path, provider.get())->getStatus());
        ASSERT_EQ(1u, provider->captions.size());
        EXPECT_EQ(std::string(c.realm) + " (127.0.0.1:" + std::to_string(ports.trusted) + ")",
                  provider->captions[0]);
    }
}

// The realm scan looks back five characters from each '="': one at the start of the challenge is skipped,
// not read before it. (That challenge names no scheme; a second one offers Basic.)
TEST_F(HttpClient, RealmScanStaysInsideTheChallenge)
{
    AutoPtr<ListProvider> provider(new ListProvider(Answers{{kUser, kPassword}}));
    EXPECT_EQ(200u, get(ports.trusted, "/auth/early", provider.get())->getStatus());
    ASSERT_EQ(1u, provider->captions.size());
    EXPECT_EQ("early realm (127.0.0.1:" + std::to_string(ports.trusted) + ")", provider->captions[0]);
}

// A 401 that offers nothing a password could answer (no challenge, only Bearer, a challenge naming no
// scheme) is the server's last word, over http and over checked https alike: nobody is asked (no dialog
// with a realm the server chose), nothing is sent again, and the post ends as a refusal does.
TEST_F(HttpClient, NoUsableSchemeAsksNobody)
{
    for (const char* kind : {"none", "bearer", "garbage"}) {
        for (uint16_t port : {ports.plain, ports.trusted}) {
            const std::string path = std::string("/auth/") + kind;
            const std::string counter = "/count/auth/" + std::string(kind);
            const std::string before = readAll(*get(ports.plain, counter.c_str()));
            AutoPtr<ListProvider> provider(new ListProvider(Answers{{kUser, kPassword}}));
            MvxTest::expectThrow([&] { get(port, path.c_str(), provider.get()); }, Morvenix::errAuthFailed,
                                 "Authorization Failed (401).");
            EXPECT_TRUE(provider->captions.empty()) << kind << " on " << port;
            EXPECT_EQ(std::to_string(std::stoi(before) + 1), readAll(*get(ports.plain, counter.c_str())))
                << kind << " on " << port << ": the request was sent again";
        }
    }
}

TEST_F(HttpClient, RefusedCredentialFailsThePostAndIsNotOfferedAgain)
{
    AutoPtr<ListProvider> provider(new ListProvider(Answers{{kUser, "wrong"}, {kUser, kPassword}}));
    manager = HttpManager::create("", provider.get(), chooser.get());
    const std::string trace = MvxTest::tempFolder() + "\\trace.txt";
    SetEnvironmentVariableA("_TRVN_DEBUG_FILE", trace.c_str());
    MvxTest::expectThrow([&] { get(ports.trusted, "/auth/plain"); }, Morvenix::errAuthFailed,
                         "Authorization Failed (401).");
    SetEnvironmentVariableA("_TRVN_DEBUG_FILE", nullptr);
    // The next post asks again instead of sending the refused password.
    EXPECT_EQ(200u, get(ports.trusted, "/auth/plain")->getStatus());
    ASSERT_EQ(2u, provider->captions.size());
    // Nothing written for the failure names the password.
    const std::vector<unsigned char> text = MvxTest::readFile(trace);
    const std::string logged(text.begin(), text.end());
    EXPECT_NE(std::string::npos, logged.find("Authorization Failed (401)."));
    EXPECT_EQ(std::string::npos, logged.find("wrong"));
}

TEST_F(HttpClient, ChallengeWithoutAnAnswerEndsWithAuthFailed)
{
    AutoPtr<ListProvider> none(new ListProvider(Answers{}));
    MvxTest::expectThrow([&] { get(ports.trusted, "/auth/plain", none.get()); }, Morvenix::errAuthFailed,
                         "Authorization Failed (401).");
    EXPECT_EQ(1u, none->captions.size());
    // Credentials the URL carried: one fixed answer, refused, and the post ends.
    AutoPtr<CredentialProvider> fixed = Morvenix::SimpleCredentialProviderImpl::create(kUser, "bad", "");
    MvxTest::expectThrow([&] { get(ports.trusted, "/auth/plain", fixed.get()); }, Morvenix::errAuthFailed);
    fixed = Morvenix::SimpleCredentialProviderImpl::create(kUser, kPassword, "");
    EXPECT_EQ(200u, get(ports.trusted, "/auth/plain", fixed.get())->getStatus());
}

// post follows a redirection only on its own scheme, host and port, and takes the headers and the
// credentials already given there along; a redirection to another host (127.0.0.1 to localhost) comes back
// to the caller, and that host hears nothing, least of all the password. Without following, post gives
// every redirection back.
TEST_F(HttpClient, RedirectionsAreFollowedWithinTheOriginOnly)
{
    MvxTest::writeFile(MvxTest::loopbackFilesFolder() + "\\redirected.txt", {'o', 'k'});
    struct Case {
        const char *key, *switches;
        uint32_t status;
        size_t prompts, movedRequests;
    } cases[] = {
        {"follow1", "auth,https,moved", 302, 1, 0},      // elsewhere, after the challenge was answered
        {"follow2", "https,lateauth,moved", 302, 0, 0},  // elsewhere, where a challenge would come
        {"follow3", "auth,moved,near", 206, 1, 1},       // here
    };
    for (const Case& c : cases) {
        AutoPtr<ListProvider> provider(new ListProvider(Answers{{"carol", "w0rd_pass"}}));
        AutoPtr<HttpConnection> conn = manager->createSecureConnection("127.0.0.1", ports.trusted, true);
        AutoPtr<HttpRequestStream> q = conn->createRequestStream(
            "GET", std::string("/file/") + c.key + "/" + c.switches + "/redirected.txt", false, provider.get());
        q->addHeader("Range: bytes=0-0");
        AutoPtr<HttpResponseStream> r = q->post(nullptr, 0);
        EXPECT_EQ(c.status, r->getStatus()) << c.switches;
        EXPECT_EQ(c.prompts, provider->captions.size()) << c.switches;
        const std::vector<std::string> moved = MvxTest::loopbackRequestLog(std::string(c.key) + "-moved");
        ASSERT_EQ(c.movedRequests, moved.size()) << c.switches;
        if (c.status == 206) {
            EXPECT_EQ("o", readAll(*r));
            EXPECT_NE(std::string::npos, moved[0].find("Basic_")) << moved[0];
            EXPECT_NE(std::string::npos, moved[0].find(" 127.0.0.1:")) << moved[0];
        } else {
            EXPECT_EQ("https://localhost:" + std::to_string(ports.trusted) + "/file/" + c.key +
                          "-moved/auth/redirected.txt",
                      std::string(r->getHeader("Location").c_str()));
        }
    }

    AutoPtr<HttpConnection> c = manager->createConnection("127.0.0.1", ports.plain);
    AutoPtr<HttpRequestStream> q =
        c->createRequestStream("GET", "/file/captions/moved,near/redirected.txt", false, nullptr);
    q->setFollowRedirects(false);
    AutoPtr<HttpResponseStream> r = q->post(nullptr, 0);
    EXPECT_EQ(302u, r->getStatus());
    EXPECT_EQ("/file/captions-moved/-/redirected.txt", std::string(r->getHeader("Location").c_str()));
}

// Wine's WinHTTP sends no Digest answer: a server that offers only Digest cannot be passed there.
TEST_F(HttpClient, DigestOnlyServerIsRefusedCleanly)
{
    AutoPtr<ListProvider> provider(new ListProvider(Answers{{kUser, kPassword}}));
    try {
        AutoPtr<HttpResponseStream> r = get(ports.plain, "/auth/digest", provider.get());
        ADD_FAILURE() << "status " << r->getStatus();
    } catch (const Morvenix::Exception& e) {
        EXPECT_EQ(Morvenix::errAuthFailed, e.getCode()) << e.what();
    }
}

TEST_F(HttpClient, ProxyChoiceAndProxyChallenge)
{
    AutoPtr<TestProxyChooser> viaProxy(new TestProxyChooser(ports.proxy));
    AutoPtr<ListProvider> provider(new ListProvider(Answers{{"proxyuser", "proxypass"}}));
    manager = HttpManager::create("", provider.get(), viaProxy.get());
    // The target is named "localhost": Wine's WinHTTP sends the path alone, not the whole URL, to a proxy
    // of the same name as the target.
    AutoPtr<HttpConnection> c = manager->createConnection("localhost", ports.plain);
    AutoPtr<HttpResponseStream> r = c->createRequestStream("GET", "/data/10", false, nullptr)->post(nullptr, 0);
    EXPECT_EQ(200u, r->getStatus());
    EXPECT_STREQ("loopback", r->getHeader("X-Via-Proxy").c_str());
    EXPECT_EQ(bodyPattern(0, 10), readAll(*r));

    EXPECT_EQ("http://localhost:" + std::to_string(ports.plain) + "/", viaProxy->lookups.at(0));
    r.reset();
    r = c->createRequestStream("GET", "/proxyauth/data/10", false, nullptr)->post(nullptr, 0);
    EXPECT_EQ(200u, r->getStatus());
    EXPECT_EQ(bodyPattern(0, 10), readAll(*r));
    ASSERT_EQ(1u, provider->captions.size());
    EXPECT_EQ("proxy realm (127.0.0.1:" + std::to_string(ports.proxy) + ")", provider->captions[0]);
    EXPECT_EQ(uint32_t(CredentialProvider::kindProxy), provider->kinds[0]);
    // The credential is kept for the proxy, by its name and realm.
    ASSERT_EQ(1u, provider->scopes.size());
    EXPECT_EQ(uint32_t(CredentialProvider::kindProxy), provider->scopes[0].kind);
    EXPECT_STREQ("", provider->scopes[0].scheme.c_str());
    EXPECT_EQ("127.0.0.1:" + std::to_string(ports.proxy), provider->scopes[0].host.c_str());
    EXPECT_EQ(0u, provider->scopes[0].port);
    EXPECT_STREQ("proxy realm", provider->scopes[0].realm.c_str());
}

// A 407 asks for a proxy's credentials, and only a proxy on the way may send one: a server reached
// directly (no proxy, or one whose bypass list names the server) or through a tunnel of the proxy that
// answers 407 is refused at once. Nobody is asked, and neither a new password nor the proxy's own, accepted
// for the same realm just before, reaches the server.
TEST_F(HttpClient, ProxyChallengeFromAServerIsRefused)
{
    MvxTest::writeFile(MvxTest::loopbackFilesFolder() + "\\asked.txt", {'o', 'k'});
    struct Case {
        const char* key;
        uint16_t proxy;
        const char* bypass; // null: the user's settings, which name no proxy here
        const char* host;
        uint16_t port;
    } cases[] = {
        {"ask407direct", 0, "", "127.0.0.1", ports.plain},
        {"ask407system", 0, nullptr, "127.0.0.1", ports.plain},
        {"ask407bypassed", ports.proxy, "example.org; 127.0.0.1", "127.0.0.1", ports.plain},
        {"ask407tunnelled", ports.proxy, "", "localhost", ports.trusted},
    };
    for (const Case& c : cases) {
        AutoPtr<ListProvider> provider(new ListProvider(Answers(3, {"proxyuser", "proxypass"})));
        AutoPtr<TestProxyChooser> route(c.bypass ? new TestProxyChooser(c.proxy, c.bypass) : nullptr);
        manager = HttpManager::create("", provider.get(), route.get());
        size_t asked = 0;
        if (c.proxy) {
            AutoPtr<HttpResponseStream> r = manager->createConnection("localhost", ports.plain)
                                                ->createRequestStream("GET", "/proxyauth/data/10", false, nullptr)
                                                ->post(nullptr, 0);
            ASSERT_EQ(200u, r->getStatus()) << c.key;
            asked = 1;
        }
        AutoPtr<HttpConnection> conn = c.port == ports.trusted ? manager->createSecureConnection(c.host, c.port, true)
                                                                : manager->createConnection(c.host, c.port);
        const std::string path = std::string("/file/") + c.key + "/ask407/asked.txt";
        MvxTest::expectThrow([&] { conn->createRequestStream("GET", path.c_str(), false, nullptr)->post(nullptr, 0); },
                             Morvenix::errAuthFailed,
                             "Proxy challenge refused: the 407 came from the server, not from a proxy.");
        EXPECT_EQ(asked, provider->captions.size()) << c.key;
        const std::vector<std::string> log = MvxTest::loopbackRequestLog(c.key);
        ASSERT_FALSE(log.empty()) << c.key;
        for (const std::string& line : log)
            EXPECT_EQ(std::string::npos, line.find("Basic")) << c.key << ": " << line;
    }
}

TEST_F(HttpClient, TlsWithAndWithoutCertificateChecks)
{
    AutoPtr<HttpConnection> c = manager->createSecureConnection("127.0.0.1", ports.tls, true);
    MvxTest::expectThrow([&] { c->createRequestStream("GET", "/data/50", false, nullptr)->post(nullptr, 0); },
                         Morvenix::errOperationFailed, "on WinHttpSendRequest");
    c = manager->createSecureConnection("127.0.0.1", ports.tls, false);
    AutoPtr<HttpResponseStream> r = c->createRequestStream("GET", "/data/50", false, nullptr)->post(nullptr, 0);
    EXPECT_EQ(200u, r->getStatus());
    EXPECT_EQ(bodyPattern(0, 50), readAll(*r));
    // A certificate from a trusted authority for the name passes them.
    for (const char* host : {"127.0.0.1", "localhost"}) {
        c = manager->createSecureConnection(host, ports.trusted, true);
        r = c->createRequestStream("GET", "/data/50", false, nullptr)->post(nullptr, 0);
        EXPECT_EQ(bodyPattern(0, 50), readAll(*r)) << host;
    }
}

// The certificate is checked when a connection opens. The server keeps an answered connection open, and
// WinHTTP's pool of open connections spans sessions (the whole process under Wine): a checked request
// after an unchecked one to the same host and port, from the same manager or another, must still fail.
TEST_F(HttpClient, CheckedRequestAfterAnUncheckedOneIsStillChecked)
{
    for (bool sameManager : {true, false}) {
        AutoPtr<HttpConnection> c = manager->createSecureConnection("127.0.0.1", ports.tls, false);
        AutoPtr<HttpResponseStream> r = c->createRequestStream("GET", "/data/50", false, nullptr)->post(nullptr, 0);
        EXPECT_EQ(bodyPattern(0, 50), readAll(*r));
        r.reset();
        c.reset();
        AutoPtr<HttpManager> checking = sameManager ? manager : HttpManager::create("", nullptr, chooser.get());
        c = checking->createSecureConnection("127.0.0.1", ports.tls, true);
        MvxTest::expectThrow([&] { c->createRequestStream("GET", "/data/50", false, nullptr)->post(nullptr, 0); },
                             Morvenix::errOperationFailed, "on WinHttpSendRequest");
    }
}

TEST_F(HttpClient, ClientCertificateMissingFailsCleanly)
{
    AutoPtr<HttpConnection> c = manager->createSecureConnection("127.0.0.1", ports.tlsClient, false);
    try {
        AutoPtr<HttpResponseStream> r = c->createRequestStream("GET", "/client", false, nullptr)->post(nullptr, 0);
        ADD_FAILURE() << "status " << r->getStatus();
    } catch (const Morvenix::Exception& e) {
        EXPECT_EQ(Morvenix::errOperationFailed, e.getCode()) << e.what();
    }
}

TEST_F(HttpClient, HeadersThatALinePatternLoses)
{
    AutoPtr<HttpResponseStream> r = get(ports.plain, "/headers");
    EXPECT_EQ(200u, r->getStatus());
    EXPECT_STREQ("odd", r->getHeader("X-Odd.Name_1").c_str());
    EXPECT_STREQ("", r->getHeader("X-Empty").c_str());
    EXPECT_STREQ("b=2", r->getHeader("Set-Cookie").c_str());
    EXPECT_EQ(1000u, r->getHeader("X-Long").getLength());
    EXPECT_STREQ("a:b: c", r->getHeader("X-Colon").c_str());
    EXPECT_EQ("ok", readAll(*r));
}

bool isDeadlineFailure(const Morvenix::Exception& inError)
{
    return std::string(inError.what()).find("past its deadline") != std::string::npos;
}

// Answers that break the protocol end in a library exception with a mapped code of their own, long before
// the request's deadline would end them; what the message shows of the server's values is short.
TEST_F(HttpClient, BrokenAnswers)
{
    manager->setDeadline(30000);
    struct Case {
        const char* path;
        int code;
    } cases[] = {
        {"/broken/nostatus", Morvenix::errOperationFailed},
        {"/broken/close", Morvenix::errOperationFailed},
        {"/broken/garbagestatus", Morvenix::errDataBroken},
        {"/broken/hugeheaders", Morvenix::errDataBroken},
        {"/broken/badlength", Morvenix::errDataBroken},
        {"/broken/longlength", Morvenix::errDataBroken},
        {"/broken/earlyclose", Morvenix::errDataBroken},
        {"/broken/stall", Morvenix::errOperationFailed},
        {"/broken/stallbody", Morvenix::errOperationFailed},
    };
    for (const Case& c : cases) {
        try {
            AutoPtr<HttpResponseStream> r = get(ports.plain, c.path);
            readAll(*r);
            ADD_FAILURE() << c.path << ": status " << r->getStatus();
        } catch (const Morvenix::Exception& e) {
            EXPECT_EQ(c.code, e.getCode()) << c.path << ": " << e.what();
            EXPECT_FALSE(isDeadlineFailure(e)) << c.path << ": " << e.what();
            EXPECT_GT(400u, std::strlen(e.what())) << c.path << ": " << e.what();
        }
    }
    // Slow but whole: the answer arrives in small pieces within the time-outs.
    AutoPtr<HttpResponseStream> r = get(ports.plain, "/broken/drip");
    EXPECT_STREQ("yes", r->getHeader("X-Drip").c_str());
    EXPECT_EQ("hello", readAll(*r));
}

// A body dripped a byte each half second against 2 s waits: no wait ever runs out, and only the request's
// deadline ends it, with the time-out failure; so does a new manager's default one, minutes away.
TEST_F(HttpClient, DeadlineEndsADrippedBody)
{
    manager->setDeadline(3000);
    std::string got;
    try {
        AutoPtr<HttpResponseStream> r = get(ports.plain, "/broken/slowdrip");
        char buffer[100];
        for (uint32_t n; (n = r->readBytes(buffer, sizeof(buffer), false)) != 0;)
            got.append(buffer, n);
        ADD_FAILURE() << "the dripped body was read whole";
    } catch (const Morvenix::Exception& e) {
        EXPECT_EQ(Morvenix::errOperationFailed, e.getCode()) << e.what();
        EXPECT_TRUE(isDeadlineFailure(e)) << e.what();
        EXPECT_NE(std::string::npos, std::string(e.what()).find("3000 ms")) << e.what();
    }
    EXPECT_LT(got.size(), 100u);
    EXPECT_EQ(5u * 60u * 1000u, HttpManager::defaultDeadlineMs);
}

// Tells when a person is at the dialog and when the answer is given.
class WatchedProvider : public ListProvider {
public:
    explicit WatchedProvider(Answers inAnswers) : ListProvider(std::move(inAnswers)) {}
    void getCredential(Morvenix::AutoPtr<Morvenix::CredentialInfo>& outCredential, uint32_t inKind,
                       const Morvenix::String& inCaption, uint32_t inFlags) override
    {
        SetEvent(asking);
        ListProvider::getCredential(outCredential, inKind, inCaption, inFlags);
        InterlockedExchange(&answered, 1);
    }
    HANDLE asking = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    volatile long answered = 0;
};

// While one request waits at a credential dialog, another that meets a challenge waits for its turn only
// as long as its own deadline: the person at the dialog may take any time.
TEST_F(HttpClient, WaitingForAnotherRequestsChallengeKeepsTheDeadline)
{
    AutoPtr<WatchedProvider> provider(new WatchedProvider(Answers(2, {kUser, kPassword})));
    provider->delayMs = 8000;
    SharedManager shared = {HttpManager::create("", provider.get(), chooser.get()), ports.trusted, 0, 1};
    shared.manager->setDeadline(0);
    HANDLE first = CreateThread(nullptr, 0, requestGuarded, &shared, 0, nullptr);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(provider->asking, 30000));
    shared.manager->setDeadline(1000);
    try {
        shared.manager->createSecureConnection("127.0.0.1", ports.trusted, true)
            ->createRequestStream("GET", "/auth/plain", false, nullptr)
            ->post(nullptr, 0);
        ADD_FAILURE() << "the second request went on";
    } catch (const Morvenix::Exception& e) {
        EXPECT_TRUE(isDeadlineFailure(e)) << e.what();
    }
    EXPECT_EQ(0, provider->answered) << "the second request waited for the dialog's answer";
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first, 30000));
    CloseHandle(first);
    CloseHandle(provider->asking);
    EXPECT_EQ(0, shared.failures);
    EXPECT_EQ(1u, provider->captions.size());
}

// What the slow request's thread gets.
struct SlowRequest {
    AutoPtr<HttpManager> manager;
    uint16_t port;
    uint32_t status;
};

DWORD WINAPI requestSlowly(void* inRequest)
{
    SlowRequest& s = *static_cast<SlowRequest*>(inRequest);
    try {
        s.status = s.manager->createSecureConnection("127.0.0.1", s.port, true)
                       ->createRequestStream("GET", "/file/slowauth/auth,slow/slow.txt", false, nullptr)
                       ->post(nullptr, 0)
                       ->getStatus();
    } catch (const Morvenix::Exception&) {
    }
    return 0;
}

// The turn covers the question alone: a server that takes its credential and then holds its answer (4 s)
// holds up no other request of the manager that meets a challenge, however short its deadline.
TEST_F(HttpClient, ServerSlowAfterItsChallengeHoldsNoOtherQuestion)
{
    MvxTest::writeFile(MvxTest::loopbackFilesFolder() + "\\slow.txt", {'o', 'k'});
    AutoPtr<WatchedProvider> provider(new WatchedProvider(Answers{{"carol", "w0rd_pass"}, {kUser, kPassword}}));
    SlowRequest slow = {HttpManager::create("", provider.get(), chooser.get()), ports.trusted, 0};
    HANDLE thread = CreateThread(nullptr, 0, requestSlowly, &slow, 0, nullptr);
    for (int i = 0; i < 1000 && !provider->answered; ++i)
        Sleep(10);
    ASSERT_EQ(1, provider->answered);
    slow.manager->setDeadline(2000);
    try {
        AutoPtr<HttpResponseStream> r = slow.manager->createSecureConnection("127.0.0.1", ports.trusted, true)
                                            ->createRequestStream("GET", "/auth/plain", false, nullptr)
                                            ->post(nullptr, 0);
        EXPECT_EQ(200u, r->getStatus());
    } catch (const Morvenix::Exception& e) {
        ADD_FAILURE() << e.what();
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 30000));
    CloseHandle(thread);
    CloseHandle(provider->asking);
    EXPECT_EQ(200u, slow.status);
    EXPECT_EQ(2u, provider->captions.size());
}

// Makes a request of the manager on its own thread while it is asked, as a window procedure may while a
// credential dialog pumps messages.
class ReentrantProvider : public ListProvider {
public:
    ReentrantProvider(Answers inAnswers, uint16_t inPort) : ListProvider(std::move(inAnswers)), port(inPort) {}
    void getCredential(Morvenix::AutoPtr<Morvenix::CredentialInfo>& outCredential, uint32_t inKind,
                       const Morvenix::String& inCaption, uint32_t inFlags) override
    {
        if (manager && !nested) {
            nested = true;
            try {
                nestedStatus = manager->createSecureConnection("127.0.0.1", port, true)
                                   ->createRequestStream("GET", "/auth/second", false, nullptr)
                                   ->post(nullptr, 0)
                                   ->getStatus();
            } catch (const Morvenix::Exception& e) {
                nestedError = e.what();
            }
        }
        ListProvider::getCredential(outCredential, inKind, inCaption, inFlags);
    }
    HttpManager* manager = nullptr; // not held: the manager holds the provider
    uint16_t port;
    bool nested = false;
    uint32_t nestedStatus = 0;
    std::string nestedError;
};

// A request made on the thread that holds the turn, while it asks, takes the turn again and answers its
// own challenge instead of waiting for itself.
TEST_F(HttpClient, RequestMadeWhileAskingAnswersItsOwnChallenge)
{
    AutoPtr<ReentrantProvider> provider(new ReentrantProvider(Answers(2, {kUser, kPassword}), ports.trusted));
    manager = HttpManager::create("", provider.get(), chooser.get());
    manager->setDeadline(3000);
    provider->manager = manager.get();
    EXPECT_EQ(200u, get(ports.trusted, "/auth/plain")->getStatus());
    EXPECT_EQ(200u, provider->nestedStatus) << provider->nestedError;
    ASSERT_EQ(2u, provider->captions.size());
    EXPECT_EQ("second realm (127.0.0.1:" + std::to_string(ports.trusted) + ")", provider->captions[0]);
}

} // namespace
