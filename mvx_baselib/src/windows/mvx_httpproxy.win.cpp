// The proxy choice from the user's settings: automatic detection or a configuration script, else the
// manually configured proxy, else none.
#define MVX_SOURCE "mvx_httpproxy.win"
#include "mvx_http_internal.h"

#include "mvx_format.h"
#include "mvx_string_internal.h"
#include "mvx_syncobjs.h"

#include <map>
#include <string>
#include <vector>

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

// Whether a pattern of a bypass list covers the host: '*' stands for any run of characters, '?' for one.
bool coversHost(const char* inPattern, const char* inHost)
{
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*inHost) {
        if (*inPattern == '*') {
            star = inPattern++;
            resume = inHost;
        } else if (*inPattern == '?' || *inPattern == *inHost) {
            ++inPattern;
            ++inHost;
        } else if (star) {
            inPattern = star + 1;
            inHost = ++resume;
        } else {
            return false;
        }
    }
    while (*inPattern == '*')
        ++inPattern;
    return *inPattern == 0;
}

// The entries of a proxy or bypass list, lower-cased: WinHTTP parts them with semicolons and blanks (a
// bypass list also with commas).
std::vector<std::string> listEntries(const String& inList)
{
    std::vector<std::string> entries;
    for (const String& entry : splitList(inList.toLower(), ";, \t\r\n"))
        if (!entry.isEmpty())
            entries.push_back(entry.c_str());
    return entries;
}

// Whether the bypass list may send the host around the proxy. Read more widely than WinHTTP reads it
// (schemes and ports of the entries aside, wildcards anywhere, "*.name" also for the name itself), so that
// a host counts as behind the proxy only when it surely is.
bool mayBypass(const String& inBypass, const String& inHost)
{
    const std::string host = inHost.toLower().c_str();
    for (std::string entry : listEntries(inBypass)) {
        if (entry == "<local>") {
            if (host.find('.') == std::string::npos)
                return true;
            continue;
        }
        const size_t scheme = entry.find("://");
        if (scheme != std::string::npos)
            entry.erase(0, scheme + 3);
        const size_t colon = entry.rfind(':');
        const size_t bracket = entry.rfind(']');
        if (colon != std::string::npos && (bracket == std::string::npos ? entry.find(':') == colon : colon > bracket))
            entry.erase(colon);
        if (coversHost(entry.c_str(), host.c_str()) ||
            (entry.compare(0, 2, "*.") == 0 && coversHost(entry.c_str() + 2, host.c_str())) ||
            (entry.compare(0, 1, ".") == 0 && coversHost(("*" + entry).c_str(), host.c_str())))
            return true;
    }
    return false;
}

} // namespace

String proxyOnTheWay(const HttpProxyChoice& inChoice, const String& inHost, bool inSecure)
{
    String proxies = inChoice.proxy;
    String bypass = inChoice.bypass;
    if (inChoice.kind == HttpProxyChoice::kindDirect)
        return String();
    if (inChoice.kind == HttpProxyChoice::kindDefault) {
        // The system's WinHTTP setting, which a session of the default kind follows.
        WINHTTP_PROXY_INFO info = {};
        if (!WinHttpGetDefaultProxyConfiguration(&info))
            return String();
        GlobalText proxy, list;
        proxy.text = info.lpszProxy;
        list.text = info.lpszProxyBypass;
        if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY)
            return String();
        proxies = proxy.get();
        bypass = list.get();
    }
    if (mayBypass(bypass, inHost))
        return String();
    // "scheme=host:port" serves its scheme, a plain entry every scheme; the first that serves the request's.
    const std::string own = inSecure ? "https=" : "http=";
    for (const std::string& entry : listEntries(proxies)) {
        if (entry.compare(0, own.size(), own) == 0)
            return String(entry.substr(own.size()));
        if (entry.find('=') == std::string::npos)
            return String(entry);
    }
    return String();
}

} // namespace _Mvx_Internal_NS_

namespace Morvenix {

AutoPtr<HttpProxyChooser> HttpProxyChooser::createSystem()
{
    return AutoPtr<HttpProxyChooser>(new _Mvx_Internal_NS_::SystemProxyChooser);
}

} // namespace Morvenix
