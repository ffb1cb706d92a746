// URL operations of the network layer: percent-encoding and decoding, the split of a URL into its
// components, "file:" URLs as local paths, host names between Unicode and their ASCII-compatible form, and
// the URL under which a host's proxy is looked up.
#pragma once

#include "mvx_string.h"

#include <cstdint>

namespace Morvenix {

class Url {
public:
    struct Parts {
        String scheme;
        String user;
        String password;
        String host;
        uint32_t port = 0; // 0 when the URL names none
        String path;
        String rest; // everything from the first '?' or '#' after the path
    };

    // Every byte outside 33..125, and % ^ & ` { } | [ ] " < > \, becomes '%' and two lower-case hex digits.
    static String encode(const String& inText);
    // A '%' needs two hexadecimal digits after it, else errDataBroken; '+' stays '+'.
    static String decode(const String& inText);
    // True for a non-empty text of bytes 32..126 whose every '%' starts a two-digit escape, with at least
    // one escape in it (a text without escapes is not taken as encoded).
    static bool isValidEncoded(const String& inText);
    static String decodeIfEncoded(const String& inText);
    static String encodeIfNeeded(const String& inText);
    // The per-byte rule of encode.
    static bool isUnsafeChar(char inByte);
    // Only the bytes that cannot stand in a request line (below 33, 127 and above) become escapes:
    // delimiters and escapes already in the text stay as written.
    static String encodeForRequestLine(const String& inText);

    // scheme "://" [user [":" password] "@"] host [":" port] path [rest]. The scheme is at least three
    // characters of letters, digits, '_' and '-', beginning and ending with no '-'; the authority ends at
    // the first '/', '?' or '#', and only an '@' inside it separates user information; the port is
    // 0..65535; the host is a bracketed IPv6 address (no zone; the last 32 bits may be dotted IPv4) or a
    // name of letters, digits, "-._~!$&'()*+,;=" and bytes of 128 and above, never a control byte or
    // blank. Anything else throws errOperationFailed and leaves outParts as it was.
    static void separateUrl(Parts& outParts, const String& inUrl);
    // The URL without the password of its user information ("scheme://user@host..."), as separateUrl
    // splits it. A text that names a scheme (getScheme) but is no URL for separateUrl is shown as
    // "scheme:<unreadable URL>", whatever it holds, unless it is a "file:" URL of a local path (no
    // authority, "///" or "//localhost/"); so is a URL whose authority holds a ':' and whose path, query
    // or fragment holds an '@' (a password with a '/', '?' or '#' in it reads as a host and a port). Any
    // other text with "://" in it (whatever stands before, a blank or a '_') is shown as "<unreadable URL>"
    // when a ':' of the authority after its first "://" has an '@' after it; any other text (a path)
    // unchanged. What may be shown or traced of a URL.
    static String withoutPassword(const String& inUrl);
    // The scheme a text begins with: a letter, then letters, digits, '+', '-' and '.', two or more in
    // all, before a ':' (one letter before a ':' is a drive); empty when the text names none.
    static String getScheme(const String& inText);
    // The target of a request line for the parts: the path (a '/' put in front when it has none) and the
    // query as written, never the fragment, through encodeForRequestLine.
    static String requestTarget(const Parts& inParts);
    // The absolute URL a redirection's Location names, read against the absolute URL that answered: an
    // "http://" or "https://" URL (any case) as it is, "//host/..." with the base's scheme, an absolute
    // path or a path relative to the base's folder on the base's scheme, host and port. The base must
    // pass separateUrl.
    static String resolve(const String& inBase, const String& inReference);
    // The parts of the URL a redirection's Location names, read (as resolve reads it) against the target
    // that answered on scheme://inHost:inPort, the scheme lower-cased and a port the URL leaves out given
    // as its scheme's (80, 443; 0 for any other scheme).
    static void resolveLocation(Parts& outParts, bool inSecure, const String& inHost, uint16_t inPort,
                                const String& inTarget, const String& inLocation);
    // prefix + host + suffix == inUrl: the prefix is the scheme with "://" and any user information with
    // its '@', the suffix the port (with its ':') and everything after the authority.
    static void splitAroundHost(const String& inUrl, String& outPrefix, String& outHost, String& outSuffix);
    // The URL with its host in ASCII-compatible form and the part after the host percent-encoded, as
    // automatic proxy detection wants it; the URL should carry its scheme, host and port.
    static void makeProxyLookupUrl(String& outText, const String& inUrl);
    // The canonical local path of a "file:" URL (three slashes or "//localhost/" before a local path);
    // empty for any other URL. An escaped NUL, and a path that is not on a local drive (a server name
    // after two slashes, a UNC or device path, also escaped, a name the system maps to a device), throw
    // errInvalidParam.
    static String fileUrlToPath(const String& inUrl);
    // The host name converted by libidn (a bracketed address as it is). A host that libidn refuses, or
    // that separateUrl would not take, before or after the conversion, throws errOperationFailed (an
    // empty one passes).
    static String hostToAscii(const String& inHost);
    // The host name converted by libidn; the host unchanged when libidn refuses it (it is only shown).
    static String hostToUnicode(const String& inHost);
};

} // namespace Morvenix
