// The response header list: the raw block split into lines and names, sorted for lookup.
#define MVX_SOURCE "mvx_httphdr"
#include "mvx_http.h"

#include "mvx_exception.h"

#include <algorithm>

namespace Morvenix {

namespace {

bool isBlank(char inChar)
{
    return inChar == ' ' || inChar == '\t';
}

// [begin, end) without blanks and line-break bytes at either end.
void trimRun(const char*& ioBegin, const char*& ioEnd)
{
    while (ioBegin != ioEnd && (isBlank(*ioBegin) || *ioBegin == '\r' || *ioBegin == '\n'))
        ++ioBegin;
    while (ioEnd != ioBegin && (isBlank(ioEnd[-1]) || ioEnd[-1] == '\r' || ioEnd[-1] == '\n'))
        --ioEnd;
}

} // namespace

void HttpHeader::insert(const String& inName, const String& inValue, uint32_t inReceived)
{
    size_t at = 0;
    while (at != m_pairs.size() && m_pairs[at].first < inName)
        ++at;
    m_pairs.insert(m_pairs.begin() + ptrdiff_t(at), Pair(inName, inValue));
    m_received.insert(m_received.begin() + ptrdiff_t(at), inReceived);
}

void HttpHeader::parse(const String& inRawHeaders)
{
    m_pairs.clear();
    m_received.clear();
    const char* p = inRawHeaders.begin();
    const char* end = inRawHeaders.end();
    // The logical line being gathered (a folded line continues it) and whether it may carry a header:
    // the first line is the status line.
    std::string line;
    bool first = true;
    auto flush = [&]() {
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            const char* nameBegin = line.data();
            const char* nameEnd = nameBegin + colon;
            const char* valueBegin = nameEnd + 1;
            const char* valueEnd = line.data() + line.size();
            trimRun(nameBegin, nameEnd);
            trimRun(valueBegin, valueEnd);
            if (nameBegin != nameEnd)
                insert(String(nameBegin, int32_t(nameEnd - nameBegin)), String(valueBegin, int32_t(valueEnd - valueBegin)),
                       uint32_t(m_pairs.size()));
        }
        line.clear();
    };
    while (p != end) {
        const char* lineEnd = p;
        while (lineEnd != end && *lineEnd != '\n')
            ++lineEnd;
        const char* textEnd = lineEnd;
        if (textEnd != p && textEnd[-1] == '\r')
            --textEnd;
        if (first) {
            first = false;
        } else if (p != textEnd && isBlank(*p) && !line.empty()) {
            line += ' ';
            const char* b = p;
            const char* e = textEnd;
            trimRun(b, e);
            line.append(b, e);
        } else {
            flush();
            line.assign(p, textEnd);
        }
        p = lineEnd == end ? end : lineEnd + 1;
    }
    flush();
}

const HttpHeader::Pair& HttpHeader::getNth(uint32_t inIndex) const
{
    if (inIndex >= m_pairs.size())
        MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::HttpHeader::getNth");
    return m_pairs[inIndex];
}

bool HttpHeader::has(const String& inName) const
{
    for (const Pair& pair : m_pairs)
        if (pair.first.compareNoCase(inName) == 0)
            return true;
    return false;
}

String HttpHeader::combined(const String& inName) const
{
    std::vector<std::pair<uint32_t, const String*>> fields;
    for (size_t i = 0; i < m_pairs.size(); ++i)
        if (m_pairs[i].first.compareNoCase(inName) == 0)
            fields.push_back({m_received[i], &m_pairs[i].second});
    std::sort(fields.begin(), fields.end());
    String result;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i)
            result += ", ";
        result += *fields[i].second;
    }
    return result;
}

const String& HttpHeader::operator[](const String& inName) const
{
    for (const Pair& pair : m_pairs)
        if (pair.first.compareNoCase(inName) == 0)
            return pair.second;
    MVX_THROW(errNotFound, String::format("\"%s\" not found from HTTP header.", inName.c_str()),
              "Morvenix::HttpHeader::operator []");
}

bool HttpResponseStream::isRedirection(uint32_t inStatus)
{
    return inStatus == 301 || inStatus == 302 || inStatus == 303 || inStatus == 307 || inStatus == 308;
}

} // namespace Morvenix
