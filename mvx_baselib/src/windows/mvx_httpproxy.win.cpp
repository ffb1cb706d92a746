// The proxy choice from the user's settings: automatic detection or a configuration script, else the
// manually configured proxy, else none.
#define MVX_SOURCE "mvx_httpproxy.win"
#include "mvx_http_internal.h"

#include "mvx_format.h"
#include "mvx_syncobjs.h"

#include <map>

namespace _Mvx_Internal_NS_ {

namespace {

using Morvenix::HttpProxyChoice;
using Morvenix::String;

// Frees a text WinHTTP allocated.
class GlobalText {
public:
    GlobalText() : text(nullptr) {}
    ~GlobalText()
    {
        if (text)
            GlobalFree(text);
    }
    String get() const { return text ? String(text) : String(); }
    LPWSTR text;

    GlobalText(const GlobalText&) = delete;
    GlobalText& operator=(const GlobalText&) = delete;
};

class SystemProxyChooser : public Morvenix::HttpProxyChooser {
public:
    SystemProxyChooser() : m_session(nullptr) {}
    ~SystemProxyChooser() override
    {
        if (m_session)
            WinHttpCloseHandle(m_session);
    }

    HttpProxyChoice choose(const String& inLookupUrl) override
    {
        HttpProxyChoice choice;
        WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
        if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) {
            Morvenix::debugTrace("WinHttpGetIEProxyConfigForCurrentUser failed, do nothing with Proxy.\n");
            return choice;
        }
        GlobalText script, proxy, bypass;
        script.text = config.lpszAutoConfigUrl;
        proxy.text = config.lpszProxy;
        bypass.text = config.lpszProxyBypass;
        if (config.fAutoDetect || script.text)
            return detect(inLookupUrl, script.text);
        if (proxy.text || bypass.text) {
            Morvenix::debugTrace("Proxies are manually configured:\nProxy: %ls\nProxy Bypass: %ls\n",
                                 proxy.text ? proxy.text : L"None", bypass.text ? bypass.text : L"None");
            choice.kind = HttpProxyChoice::kindNamed;
            choice.proxy = proxy.get();
            choice.bypass = bypass.get();
            return choice;
        }
        choice.kind = HttpProxyChoice::kindDirect;
        return choice;
    }

private:
    // Detection is slow (it may wait for DHCP and DNS), so each lookup URL is asked once.
    HttpProxyChoice detect(const String& inLookupUrl, const wchar_t* inScript)
    {
        Morvenix::AutoLock guard(m_lock);
        auto known = m_cache.find(inLookupUrl);
        if (known != m_cache.end())
            return known->second;
        HttpProxyChoice choice;
        if (!m_session)
            m_session = WinHttpOpen(L"", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
        WINHTTP_AUTOPROXY_OPTIONS options = {};
        if (inScript) {
            options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
            options.lpszAutoConfigUrl = inScript;
        } else {
            options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
            options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
        }
        options.fAutoLogonIfChallenged = TRUE;
        WINHTTP_PROXY_INFO info = {};
        if (m_session && WinHttpGetProxyForUrl(m_session, inLookupUrl.wc_str(), &options, &info)) {
            GlobalText proxy, bypass;
            proxy.text = info.lpszProxy;
            bypass.text = info.lpszProxyBypass;
            Morvenix::debugTrace("Proxy: %ls\n", proxy.text ? proxy.text : L"");
            if (proxy.text) {
                choice.kind = HttpProxyChoice::kindNamed;
                choice.proxy = proxy.get();
                choice.bypass = bypass.get();
            } else {
                choice.kind = HttpProxyChoice::kindDirect;
            }
        } else {
            Morvenix::debugTrace("WinHttpGetProxyForUrl failed. (error=%u)\n", unsigned(GetLastError()));
        }
        m_cache[inLookupUrl] = choice;
        return choice;
    }

    Morvenix::Mutex m_lock;
    HINTERNET m_session;
    std::map<String, HttpProxyChoice> m_cache;
};

} // namespace

} // namespace _Mvx_Internal_NS_

namespace Morvenix {

AutoPtr<HttpProxyChooser> HttpProxyChooser::createSystem()
{
    return AutoPtr<HttpProxyChooser>(new _Mvx_Internal_NS_::SystemProxyChooser);
}

} // namespace Morvenix
