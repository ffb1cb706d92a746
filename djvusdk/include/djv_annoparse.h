// Annotation text (ANTa/ANTz payloads) as a tree of expressions: words, double-quoted strings and nested
// lists; the text rebuilt from a list, and the keyword and colour conversions the annotation readers use.
#pragma once

#include "mvx_referable.h"
#include "mvx_simplearray.h"
#include "mvx_string.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace AnnoParse {

// One item of an expression: a word or a string. Trees belong to the thread that builds them.
class Element : public ReferableNoTS {
public:
    ~Element() override {}
    // A word's or string's text (unescaped); a list's text rebuilt as an expression.
    virtual String toString() const = 0;
    // True for a string that stood between double quotes.
    virtual bool isQuoted() const = 0;

    static AutoPtr<Element> create(const String& inText, bool inQuoted);
};

typedef SimpleArray<AutoPtr<Element>, 1> Elements;

// A parenthesised list of items; readers tell it from a word with dynamic_cast.
class ElementArray : public Element {
public:
    ~ElementArray() override {}
    virtual const Elements& getElements() const = 0;
    virtual Elements& getElements() = 0;

    static AutoPtr<ElementArray> create();
};

// The deepest nesting of parentheses the parser accepts; deeper text is refused with errDataBroken.
const uint32_t maxDepth = 256;

// Appends to outList one list for every top-level expression of the text; bytes outside top-level
// parentheses are skipped. In strings, a backslash before a backslash or a double quote, the C escapes of
// control characters ("\n", "\t", ...) and one to three octal digits stand for the character; any other
// backslash stays. Malformed text throws errDataBroken, as does text whose words, running on over the
// lists nested in them, would copy it over and over (more than four times its length and 4 KB).
void parseAnnotationText(ElementArray& outList, const char* inText, uint32_t inLength);
void parseAnnotationText(ElementArray& outList, const String& inText);

// The text with a backslash before every backslash and double quote, ready to stand between double quotes
// in annotation text; the parser reads it back unchanged.
String escapeString(const String& inText);

} // namespace AnnoParse
} // namespace DjVu
} // namespace Morvenix

namespace _Mvx_Internal_NS_ {

// Reads the one expression that begins at p, which must be an opening parenthesis, into ioList and gives
// back the position just after its closing parenthesis. Malformed text throws errDataBroken.
const char* parseAnno(Morvenix::DjVu::AnnoParse::ElementArray& ioList, const char* p, const char* end);

// The index of inValue in a keyword table ending with a null entry; a value not listed throws
// errDataBroken.
uint32_t convertString(const Morvenix::String& inValue, const char* const inTable[]);

// "#RRGGBB" as 0x00RRGGBB (hexadecimal digits in either case; reading stops at the first other character,
// and at least one digit is needed). Anything else throws errDataBroken.
uint32_t convertColor(const Morvenix::String& inText);

} // namespace _Mvx_Internal_NS_
