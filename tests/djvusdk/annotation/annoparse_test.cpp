// The annotation expression parser: words, strings and lists, escapes, separators, the rebuilt text, the
// keyword and colour conversions, and the errors of malformed text.
#include "djv_annoparse.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

using Morvenix::AutoPtr;
using Morvenix::String;
using Morvenix::DjVu::AnnoParse::Element;
using Morvenix::DjVu::AnnoParse::ElementArray;
using Morvenix::DjVu::AnnoParse::parseAnnotationText;
using MvxTest::expectThrow;

namespace {

std::string str(const String& s) { return std::string(s.begin(), s.end()); }

AutoPtr<ElementArray> parse(const std::string& inText)
{
    AutoPtr<ElementArray> all = ElementArray::create();
    parseAnnotationText(*all, inText.data(), uint32_t(inText.size()));
    return all;
}

const ElementArray* asList(const AutoPtr<Element>& e) { return dynamic_cast<const ElementArray*>(e.get()); }

// The tree in a form that shows every item's kind: [list], <word>, "string" (text shown raw).
std::string shape(const Element& e)
{
    if (const ElementArray* list = dynamic_cast<const ElementArray*>(&e)) {
        std::string s = "[";
        for (uint32_t i = 0; i < list->getElements().count(); ++i)
            s += (i ? " " : "") + shape(*list->getElements()[i]);
        return s + "]";
    }
    return e.isQuoted() ? "\"" + str(e.toString()) + "\"" : "<" + str(e.toString()) + ">";
}

TEST(AnnoParse, TreesOfWordsStringsAndLists)
{
    struct Case {
        const char* text;
        const char* tree;
    } cases[] = {
        {"", "[]"},
        {"no parenthesis at all ) )", "[]"},
        {"()", "[[]]"},
        {"(mode color)", "[[<mode> <color>]]"},
        {"junk (a) more junk ) (b \"c d\")trailing", "[[<a>] [<b> \"c d\"]]"},
        {"(maparea \"http://x\" \"\" (rect 1 2 3 4) (xor))",
         "[[<maparea> \"http://x\" \"\" [<rect> <1> <2> <3> <4>] [<xor>]]]"},
        {"(a (b (c)) d)", "[[<a> [<b> [<c>]] <d>]]"},
        {"(a\tb\r\nc  d\x0B\x0C" "e)", "[[<a> <b> <c> <d> <e>]]"},
        {"(ab\"c d\")", "[[<ab\"c> <d\">]]"},              // a quote inside a word is part of it
        {"(ab(c d)e f)", "[[[<c> <d>] <ab(c d)e> <f>]]"}, // the word takes the nested text into it
        {"(a(b(c(d e)f)g)h)", "[[[[[<d> <e>] <c(d e)f>] <b(c(d e)f)g>] <a(b(c(d e)f)g)h>]]"},
        {"(\"a\"\"b\")", "[[\"a\" \"b\"]]"},
        {"(\"a\"b)", "[[\"a\" <b>]]"},
        {"(a\xC2\xA0" "b\xE3\x80\x80" "c\xE2\x80\x8B" "d)", "[[<a> <b> <c> <d>]]"}, // U+00A0, U+3000, U+200B
        {"(\xE2\x82\xAC \"\xE2\x82\xAC\")", "[[<\xE2\x82\xAC> \"\xE2\x82\xAC\"]]"},
        {"(a)(b)", "[[<a>] [<b>]]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.tree, shape(*parse(c.text))) << c.text;
}

TEST(AnnoParse, EscapesInStrings)
{
    struct Case {
        const char* text;
        const char* value;
    } cases[] = {
        {"(\"a\\\"b\")", "a\"b"},                  // \" is a quote
        {"(\"a\\\\b\")", "a\\b"},                  // \\ is one backslash
        {"(\"a\\nb\\tc\\rd\\fe\\bf\\ag\\vh\")", "a\nb\tc\rd\fe\bf\ag\vh"}, // control characters
        {"(\"\\001\\177\\377\\7x\\0101\")", "\001\177\377\007x\0101"},    // one to three octal digits
        {"(\"\\e\\x41\\8\\N\")", "\\e\\x41\\8\\N"},                      // other escapes keep their backslash
        {"(\"C:\\\\dir\\\\\")", "C:\\dir\\"},      // a text ending in a backslash
        {"(\"\\\\\\\\server\\\\share\\\\\")", "\\\\server\\share\\"},
        {"(\"\\\\\\\"\")", "\\\""},                // \\ then \" : pairs taken left to right
        {"(\"\\\\\\\\\\\"\")", "\\\\\""},
        {"(\"\\\xE2\x82\xAC\")", "\\\xE2\x82\xAC"}, // a backslash before a multi-byte character stays
        {"(\"(a) b\")", "(a) b"},
    };
    for (const Case& c : cases) {
        AutoPtr<ElementArray> all = parse(c.text);
        ASSERT_EQ(1u, all->getElements().count()) << c.text;
        const ElementArray* list = asList(all->getElements()[0]);
        ASSERT_TRUE(list);
        ASSERT_EQ(1u, list->getElements().count()) << c.text;
        EXPECT_TRUE(list->getElements()[0]->isQuoted());
        EXPECT_EQ(c.value, str(list->getElements()[0]->toString())) << c.text;
    }
}

TEST(AnnoParse, EmptyStringIsQuotedAndRebuiltAsTwoQuotes)
{
    AutoPtr<ElementArray> all = parse("(a \"\")");
    const ElementArray* list = asList(all->getElements()[0]);
    ASSERT_EQ(2u, list->getElements().count());
    EXPECT_TRUE(list->getElements()[1]->isQuoted());
    EXPECT_EQ("", str(list->getElements()[1]->toString()));
    EXPECT_EQ("(a \"\")", str(list->toString()));
}

TEST(AnnoParse, RebuiltText)
{
    AutoPtr<ElementArray> list = ElementArray::create();
    list->getElements().append(Element::create(String("word"), false));
    list->getElements().append(Element::create(String("quoted"), true));
    list->getElements().append(Element::create(String("a\tb"), false));
    list->getElements().append(Element::create(String("a b"), false));
    list->getElements().append(Element::create(String("f(x)"), false));
    list->getElements().append(Element::create(String("say \"hi\" \\"), true));
    list->getElements().append(Element::create(String("x\"y"), false)); // reads back as a word
    AutoPtr<ElementArray> inner = ElementArray::create();
    inner->getElements().append(Element::create(String("n"), false));
    list->getElements().append(inner);
    list->getElements().append(ElementArray::create());
    EXPECT_FALSE(list->isQuoted());
    const std::string text = str(list->toString());
    EXPECT_EQ("(word \"quoted\" \"a\tb\" \"a b\" \"f(x)\" \"say \\\"hi\\\" \\\\\" x\"y (n) ())", text);

    // Read back, every item keeps its text.
    AutoPtr<ElementArray> back = parse(text);
    ASSERT_EQ(1u, back->getElements().count());
    const ElementArray* again = asList(back->getElements()[0]);
    ASSERT_EQ(list->getElements().count(), again->getElements().count());
    for (uint32_t i = 0; i < again->getElements().count(); ++i)
        EXPECT_EQ(str(list->getElements()[i]->toString()), str(again->getElements()[i]->toString())) << i;
    EXPECT_EQ(text, str(again->toString()));
}

TEST(AnnoParse, TextsThatAWordCannotHoldAreQuotedWhenRebuilt)
{
    // Items made by code, not by the parser: rebuilt, they must read back as one item with the same text.
    for (const char* t : {"", "a\nb", "a\xC2\xA0" "b", "\"lead"}) {
        AutoPtr<ElementArray> list = ElementArray::create();
        list->getElements().append(Element::create(String(t), false));
        AutoPtr<ElementArray> back = parse(str(list->toString()));
        const ElementArray* again = asList(back->getElements()[0]);
        ASSERT_EQ(1u, again->getElements().count()) << t;
        EXPECT_EQ(t, str(again->getElements()[0]->toString()));
    }
}

TEST(AnnoParse, LargeListsRebuildWhole)
{
    // Many items and deep nesting together: the rebuilt text is the text read.
    std::string text = "(";
    for (int i = 0; i < 200000; ++i)
        text += (i ? " w" : "w") + std::to_string(i) + (i % 1000 == 0 ? " \"s \\\" x\"" : "");
    text += " " + std::string(200, '(') + "deep" + std::string(200, ')') + ")";
    AutoPtr<ElementArray> all = parse(text);
    ASSERT_EQ(1u, all->getElements().count());
    EXPECT_EQ(200000u + 200u + 1u, asList(all->getElements()[0])->getElements().count());
    EXPECT_EQ(text, str(all->getElements()[0]->toString()));
}

TEST(AnnoParse, StringOverloadReadsTheSameBytes)
{
    AutoPtr<ElementArray> a = ElementArray::create();
    parseAnnotationText(*a, String("(zoom d150) (align left top)"));
    EXPECT_EQ("[[<zoom> <d150>] [<align> <left> <top>]]", shape(*a));
    // Appends to what the list holds.
    parseAnnotationText(*a, "(x)", 3);
    EXPECT_EQ(3u, a->getElements().count());
}

TEST(AnnoParse, LengthBoundsTheText)
{
    const char text[] = "(a b) (c";
    EXPECT_EQ("[[<a> <b>]]", shape(*parse(std::string(text, 5))));
}

TEST(AnnoParse, OneExpressionIsReadFromWhereItBegins)
{
    const std::string text = "(a (b \")\") c) (next";
    AutoPtr<ElementArray> list = ElementArray::create();
    const char* after = _Mvx_Internal_NS_::parseAnno(*list, text.data(), text.data() + text.size());
    EXPECT_EQ(" (next", std::string(after, text.data() + text.size()));
    EXPECT_EQ("[<a> [<b> \")\"] <c>]", shape(*list));
    AutoPtr<ElementArray> none = ElementArray::create();
    expectThrow([&] { _Mvx_Internal_NS_::parseAnno(*none, text.data() + 1, text.data() + text.size()); },
                Morvenix::errDataBroken, "The data does not start with '('!", "_Mvx_Internal_NS_::parseAnno");
    expectThrow([&] { _Mvx_Internal_NS_::parseAnno(*none, text.data(), text.data()); }, Morvenix::errDataBroken,
                "The data does not start with '('!");
    expectThrow([&] { _Mvx_Internal_NS_::parseAnno(*none, text.data(), text.data() + 8); }, Morvenix::errDataBroken,
                "No matching \" found!");
}

std::string repeat(const std::string& inText, int inCount)
{
    std::string out;
    for (int i = 0; i < inCount; ++i)
        out += inText;
    return out;
}

TEST(AnnoParse, MalformedText)
{
    struct Case {
        std::string text;
        const char* message;
    } cases[] = {
        {"(abc", "No matching ')' found!"},
        {"(a (b c)", "No matching ')' found!"},
        {"(", "No matching ')' found!"},
        {"(\"abc", "No matching \" found!"},
        {"(\"abc)", "No matching \" found!"},
        {"(\"abc\\", "Malformed escape!"},
        {"(\"abc\\\"", "No matching \" found!"},
        {"(a \xE2\x82", "No matching \" found!"},          // a character cut short by the end
        {"(\"\xF0\x9F\x98", "No matching \" found!"},
        {"(a \xFC\x80", "No matching \" found!"},
        {"(ok) (bad", "No matching ')' found!"},
        {std::string(300, '('), "nested too deeply"},
        // Each word runs on over all the lists nested in it: 200 levels would copy the text 200 times.
        {repeat("(a", 200) + std::string(1000, 'x') + std::string(200, ')'), "repeat too much of the text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        expectThrow([&] { parse(c.text); }, Morvenix::errDataBroken, c.message, "_Mvx_Internal_NS_::parseAnno");
        expectThrow([&] { parse(c.text); }, Morvenix::errDataBroken, "djv_annotation");
    }
}

TEST(AnnoParse, TextLongerThanAStringCanHoldIsRefusedBeforeReading)
{
    AutoPtr<ElementArray> all = ElementArray::create();
    expectThrow([&] { parseAnnotationText(*all, "(a)", String::maxLength + 1); }, Morvenix::errDataBroken,
                "The annotation text is too long!");
    EXPECT_EQ(0u, all->getElements().count());
}

TEST(AnnoParse, NestingUpToTheLimit)
{
    using Morvenix::DjVu::AnnoParse::maxDepth;
    std::string deepest = std::string(maxDepth, '(') + "x" + std::string(maxDepth, ')');
    AutoPtr<ElementArray> all = parse(deepest);
    const Element* e = all->getElements()[0].get();
    uint32_t depth = 0;
    while (const ElementArray* list = dynamic_cast<const ElementArray*>(e)) {
        ++depth;
        e = list->getElements()[0].get();
    }
    EXPECT_EQ(maxDepth, depth);
    EXPECT_EQ(deepest, str(all->getElements()[0]->toString()));

    std::string tooDeep = "(" + deepest + ")";
    expectThrow([&] { parse(tooDeep); }, Morvenix::errDataBroken, "nested too deeply");
    // Many lists side by side are not nesting.
    std::string wide = "(";
    for (int i = 0; i < 5000; ++i)
        wide += "(a)";
    wide += ")";
    EXPECT_EQ(5000u, asList(parse(wide)->getElements()[0])->getElements().count());
}

TEST(AnnoParseConvert, KeywordIndex)
{
    using _Mvx_Internal_NS_::convertString;
    static const char* const kModes[] = {"none", "color", "bw", "fore", "back", nullptr};
    EXPECT_EQ(0u, convertString(String("none"), kModes));
    EXPECT_EQ(4u, convertString(String("back"), kModes));
    static const char* const kTwice[] = {"a", "b", "a", "", nullptr};
    EXPECT_EQ(0u, convertString(String("a"), kTwice));
    EXPECT_EQ(3u, convertString(String(""), kTwice));
    for (const char* bad : {"Color", "colo", "colors", "back "}) {
        expectThrow([&] { convertString(String(bad), kModes); }, Morvenix::errDataBroken,
                    (std::string("Invalid Data \"") + bad + "\"!").c_str(), "_Mvx_Internal_NS_::convertString");
    }
    expectThrow([&] { convertString(String(""), kModes); }, Morvenix::errDataBroken, "Invalid Data \"\"!");
}

TEST(AnnoParseConvert, Colours)
{
    using _Mvx_Internal_NS_::convertColor;
    struct Good {
        const char* text;
        uint32_t value;
    } good[] = {
        {"#FF0000", 0x00FF0000}, {"#00ff80", 0x0000FF80}, {"#aBcDeF", 0x00ABCDEF},
        {"#000000", 0},          {"#12zzzz", 0x12},       {"#1G2345", 0x1},
    };
    for (const Good& g : good)
        EXPECT_EQ(g.value, convertColor(String(g.text))) << g.text;
    for (const char* bad : {"FF0000", "#FFF", "#FF00000", "", "#", "#zzzzzz", "#-12345", "# 12345", "FF00001"}) {
        expectThrow([&] { convertColor(String(bad)); }, Morvenix::errDataBroken,
                    (std::string("Invalid Color \"") + bad + "\"!").c_str(), "_Mvx_Internal_NS_::convertColor");
    }
    // Seven bytes, but a multi-byte character where digits belong; the message keeps the UTF-8 text.
    try {
        convertColor(String("#\xE2\x82\xAC" "123"));
        ADD_FAILURE() << "no exception";
    } catch (const Morvenix::Exception& e) {
        EXPECT_EQ(Morvenix::errDataBroken, e.getCode());
        EXPECT_NE(std::string::npos, str(e.getMessage()).find("Invalid Color \"#\xE2\x82\xAC" "123\"!"));
    }
}

} // namespace
