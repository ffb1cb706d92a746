// The response header list: the raw block split into lines and names, sorted for lookup.
#define MVX_SOURCE "mvx_httphdr"
#include "mvx_http.h"

#include "mvx_exception.h"

#include <algorithm>
#include <string>

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

void HttpHeader::parse(const String& inRawHeaders)
{
    // The fields in the order they came; sorted once at the end, as a header of a megabyte may hold a
    // quarter of a million lines, each of which put in its place at once would move those after it.
    std::vector<Pair> received;
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
                received.push_back(Pair(String(nameBegin, int32_t(nameEnd - nameBegin)),
                                        String(valueBegin, int32_t(valueEnd - valueBegin))));
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
    // By name in byte order, a later field of a name before an earlier one.
    std::vector<uint32_t> order(received.size());
    for (uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&received](uint32_t inA, uint32_t inB) {
        const int byName = received[inA].first.compare(received[inB].first);
        return byName != 0 ? byName < 0 : inA > inB;
    });
    m_pairs.clear();
    m_received.clear();
    m_pairs.reserve(order.size());
    m_received.reserve(order.size());
    for (uint32_t i : order) {
        m_pairs.push_back(received[i]);
        m_received.push_back(i);
    }
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
    // Gathered where appending grows the text in place: a name may have a hundred thousand lines.
    std::string result;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i)
            result += ", ";
        result.append(fields[i].second->begin(), fields[i].second->getLength());
    }
    return String(result.data(), int32_t(result.size()));
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
