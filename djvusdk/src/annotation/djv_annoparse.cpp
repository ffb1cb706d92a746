// Annotation expressions: the parser, the element tree, the text rebuilt from it, and the keyword and
// colour conversions of the annotation readers.
#include "djv_annoparse.h"

#include "mvx_exception.h"
#include "mvx_unicode.h"

#include <cstring>
#include <string>

// Parser failures reach callers as failures of the annotation being read, so they carry its source name.
#define MVX_SOURCE "djv_annotation"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu::AnnoParse;

class ElementImpl : public Element {
public:
    ElementImpl(const String& inText, bool inQuoted) : m_text(inText), m_quoted(inQuoted) {}
    String toString() const override { return m_text; }
    bool isQuoted() const override { return m_quoted; }

private:
    String m_text;
    uint8_t m_quoted;
};

class ElementArrayImpl : public ElementArray {
public:
    ElementArrayImpl() : m_items(0, 128, nullptr, 128) {}

    String toString() const override;
    bool isQuoted() const override { return false; }
    const Elements& getElements() const override { return m_items; }
    Elements& getElements() override { return m_items; }

private:
    Elements m_items;
};

namespace {

// A word is written bare only when reading it back gives the same word.
bool needsQuotes(const Element& inItem, const String& inText)
{
    if (inItem.isQuoted() || inText.isEmpty() || inText[0] == '"')
        return true;
    const char* p = inText.begin();
    const char* end = inText.end();
    while (p < end) {
        uint32_t length = 0;
        uint32_t c = decodeUtf8Char(p, uint32_t(end - p), &length);
        if (c == '(' || c == ')' || isWhiteSpace(c))
            return true;
        p += length ? length : 1;
    }
    return false;
}

void appendEscaped(const String& inText, std::string& ioText)
{
    for (const char* p = inText.begin(); p < inText.end(); ++p) {
        if (*p == '\\' || *p == '"')
            ioText.push_back('\\');
        ioText.push_back(*p);
    }
}

// The character a backslash and inCode stand for, or 0 when the pair is not an escape.
char escapedCharacter(char inCode)
{
    switch (inCode) {
    case '\\':
    case '"':
        return inCode;
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'a':
        return '\a';
    case 'v':
        return '\v';
    default:
        return 0;
    }
}

// The string's text between its quotes, with its escapes taken as the characters they stand for: a
// backslash before a backslash or a quote, the C escapes of control characters and one to three octal
// digits for a byte, which is how other DjVu software stores control characters it was given. Any other
// backslash stays.
String unescape(const char* inBegin, const char* inEnd)
{
    std::string text;
    text.reserve(size_t(inEnd - inBegin));
    for (const char* p = inBegin; p < inEnd; ++p) {
        if (*p != '\\' || p + 1 == inEnd) {
            text.push_back(*p);
            continue;
        }
        if (const char c = escapedCharacter(p[1])) {
            text.push_back(c);
            ++p;
        } else if (p[1] >= '0' && p[1] <= '7') {
            uint32_t value = 0;
            for (int digits = 0; digits < 3 && p + 1 < inEnd && p[1] >= '0' && p[1] <= '7'; ++digits, ++p)
                value = value * 8 + uint32_t(p[1] - '0');
            text.push_back(char(value & 0xFF));
        } else {
            text.push_back(*p);
        }
    }
    return String(text.data(), int32_t(text.size()));
}

// A word that an opening parenthesis interrupts runs on over the nested list, so each level of nesting
// may copy the text inside it once more. ioBytesLeft bounds what the words of one text take in all.
void appendWord(ElementArray& ioList, const char* inBegin, const char* inEnd, uint64_t& ioBytesLeft)
{
    const uint64_t length = uint64_t(inEnd - inBegin);
    if (length > ioBytesLeft)
        MVX_THROW(errDataBroken, "Words spanning nested lists repeat too much of the text!",
                  "_Mvx_Internal_NS_::parseAnno");
    ioBytesLeft -= length;
    ioList.getElements().append(Element::create(String(inBegin, int32_t(inEnd - inBegin)), false));
}

const char* parseExpression(ElementArray& ioList, const char* p, const char* end, uint32_t inDepth,
                            uint64_t& ioBytesLeft)
{
    static const char* const kFunction = "_Mvx_Internal_NS_::parseAnno";
    if (p >= end || *p != '(')
        MVX_THROW(errDataBroken, "The data does not start with '('!", kFunction);
    if (inDepth > maxDepth)
        MVX_THROW(errDataBroken, "Expressions are nested too deeply!", kFunction);

    enum { stateNormal, stateString, stateEscape } state = stateNormal;
    const char* word = nullptr;
    const char* string = nullptr;
    const char* pos = p + 1;
    while (pos < end) {
        uint32_t announced = Utf8::sequenceLength(uint8_t(*pos));
        if (uint64_t(end - pos) < announced)
            MVX_THROW(errDataBroken, "No matching \" found!", kFunction);
        const char* next = pos + announced;
        uint32_t length = 0;
        uint32_t c = decodeUtf8Char(pos, announced, &length);

        switch (state) {
        case stateEscape:
            state = stateString;
            break;
        case stateString:
            if (c == '\\') {
                state = stateEscape;
            } else if (c == '"') {
                ioList.getElements().append(Element::create(unescape(string, pos), true));
                state = stateNormal;
                word = nullptr;
            }
            break;
        case stateNormal:
            if (c == '"' && !word) {
                state = stateString;
                string = next;
            } else if (c == '(') {
                AutoPtr<ElementArray> inner = ElementArray::create();
                next = parseExpression(*inner, pos, end, inDepth + 1, ioBytesLeft);
                ioList.getElements().append(inner);
            } else if (c == ')') {
                if (word)
                    appendWord(ioList, word, pos, ioBytesLeft);
                return next;
            } else if (isWhiteSpace(c)) {
                if (word)
                    appendWord(ioList, word, pos, ioBytesLeft);
                word = nullptr;
            } else if (!word) {
                word = pos;
            }
            break;
        }
        pos = next;
    }
    if (state == stateEscape)
        MVX_THROW(errDataBroken, "Malformed escape!", kFunction);
    if (state == stateString)
        MVX_THROW(errDataBroken, "No matching \" found!", kFunction);
    MVX_THROW(errDataBroken, "No matching ')' found!", kFunction);
}

// Appended into one buffer: rebuilding by string concatenation would copy the text once per item and
// once per level of nesting.
void appendList(const ElementArray& inList, std::string& ioText)
{
    ioText.push_back('(');
    bool first = true;
    for (const AutoPtr<Element>& item : inList.getElements()) {
        if (!first)
            ioText.push_back(' ');
        first = false;
        if (const ElementArray* list = dynamic_cast<const ElementArray*>(item.get())) {
            appendList(*list, ioText);
            continue;
        }
        String text = item->toString();
        if (needsQuotes(*item, text)) {
            ioText.push_back('"');
            appendEscaped(text, ioText);
            ioText.push_back('"');
        } else {
            ioText.append(text.begin(), text.getLength());
        }
    }
    ioText.push_back(')');
}

} // namespace

// What the words of a text may take in all: far more than any text of words and lists needs, far less
// than nesting could make them copy.
static uint64_t wordBytesFor(uint64_t inLength) { return 4 * inLength + 4096; }

const char* parseAnno(ElementArray& ioList, const char* p, const char* end)
{
    uint64_t wordBytes = wordBytesFor(p < end ? uint64_t(end - p) : 0);
    return parseExpression(ioList, p, end, 1, wordBytes);
}

String ElementArrayImpl::toString() const
{
    std::string text;
    appendList(*this, text);
    return String(text.data(), int32_t(text.size()));
}

uint32_t convertString(const String& inValue, const char* const inTable[])
{
    for (uint32_t i = 0; inTable[i]; ++i) {
        size_t length = std::strlen(inTable[i]);
        if (length == inValue.getLength() && (length == 0 || std::memcmp(inTable[i], inValue.begin(), length) == 0))
            return i;
    }
    MVX_THROW(errDataBroken, String::format("Invalid Data \"%s\"!", inValue.c_str()),
              "_Mvx_Internal_NS_::convertString");
}

uint32_t convertColor(const String& inText)
{
    if (inText.getLength() == 7 && inText[0] == '#') {
        uint32_t value = 0;
        uint32_t digits = 0;
        for (; digits < 6; ++digits) {
            char c = inText[1 + digits];
            uint32_t v;
            if (c >= '0' && c <= '9')
                v = uint32_t(c - '0');
            else if (c >= 'A' && c <= 'F')
                v = uint32_t(c - 'A' + 10);
            else if (c >= 'a' && c <= 'f')
                v = uint32_t(c - 'a' + 10);
            else
                break;
            value = value * 16 + v;
        }
        if (digits > 0)
            return value;
    }
    MVX_THROW(errDataBroken, String::format("Invalid Color \"%s\"!", inText.c_str()),
              "_Mvx_Internal_NS_::convertColor");
}

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {
namespace AnnoParse {

AutoPtr<Element> Element::create(const String& inText, bool inQuoted)
{
    return new _Mvx_Internal_NS_::ElementImpl(inText, inQuoted);
}

AutoPtr<ElementArray> ElementArray::create() { return new _Mvx_Internal_NS_::ElementArrayImpl(); }

void parseAnnotationText(ElementArray& outList, const char* inText, uint32_t inLength)
{
    // Every word and string must fit a String; a text that does fits them all.
    if (inLength > String::maxLength)
        MVX_THROW(errDataBroken, "The annotation text is too long!", "Morvenix::DjVu::AnnoParse::parseAnnotationText");
    const char* end = inText + inLength;
    uint64_t wordBytes = _Mvx_Internal_NS_::wordBytesFor(inLength);
    for (const char* p = inText; p < end;) {
        if (*p != '(') {
            ++p;
            continue;
        }
        AutoPtr<ElementArray> expression = ElementArray::create();
        p = _Mvx_Internal_NS_::parseExpression(*expression, p, end, 1, wordBytes);
        outList.getElements().append(expression);
    }
}

void parseAnnotationText(ElementArray& outList, const String& inText)
{
    parseAnnotationText(outList, inText.begin(), inText.getLength());
}

String escapeString(const String& inText)
{
    std::string text;
    text.reserve(inText.getLength());
    _Mvx_Internal_NS_::appendEscaped(inText, text);
    return String(text.data(), int32_t(text.size()));
}

} // namespace AnnoParse
} // namespace DjVu
} // namespace Morvenix
