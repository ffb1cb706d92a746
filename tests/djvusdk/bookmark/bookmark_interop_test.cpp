// Interoperability with djvused of djvulibre-bin: an outline that djvused writes into a bundled document
// reads as the outline it was given, and djvused prints the outline of a NAVM chunk we wrote.
#include "djv_bookmark.h"
#include "djv_chunk.h"
#include "djv_data.h"

#include "bookmark_test_support.h"
#include "djvu_page_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

using namespace BookmarkTest;
using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::Data;

namespace {

uint32_t be32(const Bytes& b, size_t at)
{
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}

void setBe32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}

// A bundled document with the NAVM chunk placed right after its directory (replacing one that is there):
// the FORM length and the component offsets of the directory move by the size it adds.
Bytes withNavm(const Bytes& inBundled, const Bytes& inNavmBody)
{
    Bytes out;
    if (inBundled.size() < 27 || std::string(inBundled.begin() + 12, inBundled.begin() + 20) != "DJVMDIRM" ||
        !(inBundled[24] & 0x80)) {
        ADD_FAILURE() << "not a bundled document";
        return out;
    }
    const uint32_t dirmLength = be32(inBundled, 20);
    const size_t afterDirm = 24 + dirmLength + (dirmLength & 1);
    size_t rest = afterDirm;
    if (std::string(inBundled.begin() + long(afterDirm), inBundled.begin() + long(afterDirm) + 4) == "NAVM") {
        const uint32_t old = be32(inBundled, afterDirm + 4);
        rest += 8 + old + (old & 1);
    }
    Bytes navm;
    MvxTest::putChunk(navm, "NAVM", inNavmBody);
    out.assign(inBundled.begin(), inBundled.begin() + long(afterDirm));
    out.insert(out.end(), navm.begin(), navm.end());
    out.insert(out.end(), inBundled.begin() + long(rest), inBundled.end());
    const int64_t delta = int64_t(navm.size()) - int64_t(rest - afterDirm);
    setBe32(out, 8, uint32_t(int64_t(be32(out, 8)) + delta));
    const uint32_t components = (uint32_t(out[25]) << 8) | out[26];
    for (uint32_t i = 0; i < components; ++i)
        setBe32(out, 27 + 4 * i, uint32_t(int64_t(be32(out, 27 + 4 * i)) + delta));
    return out;
}

// The outline djvused prints, (bookmarks ("title" "url" entries...) ...) with C escapes in its strings,
// in the form BookmarkTest::describe gives a root.
class PrintedOutline {
public:
    explicit PrintedOutline(const std::string& inText) : m_text(inText), m_at(0) {}

    std::string describeRoot()
    {
        std::string out = "(\"\" \"\"";
        skipBlanks();
        if (m_at == m_text.size())
            return out + ")"; // no outline printed at all
        expect('(');
        std::string word;
        while (m_at < m_text.size() && std::isalpha((unsigned char)m_text[m_at]))
            word += m_text[m_at++];
        EXPECT_EQ("bookmarks", word);
        for (skipBlanks(); m_at < m_text.size() && m_text[m_at] == '('; skipBlanks())
            out += " " + entry();
        expect(')');
        return out + ")";
    }

private:
    void skipBlanks()
    {
        while (m_at < m_text.size() && std::isspace((unsigned char)m_text[m_at]))
            ++m_at;
    }
    void expect(char c)
    {
        skipBlanks();
        if (m_at >= m_text.size() || m_text[m_at] != c) {
            ADD_FAILURE() << "expected '" << c << "' at " << m_at << " of " << m_text;
            m_at = m_text.size();
            return;
        }
        ++m_at;
    }
    std::string quoted()
    {
        expect('"');
        std::string s;
        while (m_at < m_text.size() && m_text[m_at] != '"') {
            char c = m_text[m_at++];
            if (c != '\\' || m_at == m_text.size()) {
                s += c;
                continue;
            }
            c = m_text[m_at++];
            if (c >= '0' && c <= '7') {
                int v = c - '0';
                for (int k = 0; k < 2 && m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '7'; ++k)
                    v = v * 8 + (m_text[m_at++] - '0');
                s += char(v);
            } else if (c == 'n') {
                s += '\n';
            } else if (c == 't') {
                s += '\t';
            } else {
                s += c;
            }
        }
        expect('"');
        return s;
    }
    std::string entry()
    {
        expect('(');
        std::string title = quoted();
        std::string url = quoted();
        std::string out = "(\"" + title + "\" \"" + url + "\"";
        for (skipBlanks(); m_at < m_text.size() && m_text[m_at] == '('; skipBlanks())
            out += " " + entry();
        expect(')');
        return out + ")";
    }

    const std::string& m_text;
    size_t m_at;
};

class BookmarkInterop : public MvxTest::HostToolTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(MvxTest::HostToolTest::SetUp());
        // Three small JB2 pages joined into a bundled document without an outline.
        for (int p = 1; p <= 3; ++p) {
            const int w = 64, h = 48;
            std::string pbm = "P4\n64 48\n";
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; x += 8)
                    pbm += char((x / 8 + y / 8 + p) % 2 ? 0xF0 : 0x0F);
            MvxTest::writeFile(path("p" + std::to_string(p) + ".pbm"), Bytes(pbm.begin(), pbm.end()));
            ASSERT_EQ(0, MvxTest::runHostTool("cjb2 " + host("p" + std::to_string(p) + ".pbm") + " " +
                                              host("p" + std::to_string(p) + ".djvu")));
        }
        ASSERT_EQ(0, MvxTest::runHostTool("djvm -c " + host("doc.djvu") + " " + host("p1.djvu") + " " +
                                          host("p2.djvu") + " " + host("p3.djvu")));
        bundled = MvxTest::readFile(path("doc.djvu"));
    }

    Bytes bundled;
};

TEST_F(BookmarkInterop, OutlineWrittenByDjvusedReads)
{
    const std::string outline = "(bookmarks\n"
                                " (\"Chapter \\\"one\\\"\" \"#1\"\n"
                                "  (\"Caf\xC3\xA9\" \"#p2.djvu\")\n"
                                "  (\"Back\\\\slash\" \"#3\"\n"
                                "   (\"Deep\" \"http://example.org/?a=1&b=2\")))\n"
                                " (\"Two\" \"#3\"))\n";
    const std::string expected = "(\"\" \"\" (\"Chapter \"one\"\" \"#1\" (\"Caf\xC3\xA9\" \"#p2.djvu\") "
                                 "(\"Back\\slash\" \"#3\" (\"Deep\" \"http://example.org/?a=1&b=2\"))) "
                                 "(\"Two\" \"#3\"))";
    MvxTest::writeFile(path("outline.txt"), Bytes(outline.begin(), outline.end()));
    ASSERT_EQ(0, MvxTest::runHostTool("djvused " + host("doc.djvu") + " -e 'set-outline " + host("outline.txt") +
                                      "' -s"));
    const Bytes file = MvxTest::readFile(path("doc.djvu"));
    const Bytes navm = MvxTest::findChunk(file, "NAVM");
    ASSERT_FALSE(navm.empty());
    AutoPtr<Chunk> chunk = Chunk::createFromBytes("NAVM", navm.data(), uint32_t(navm.size()));
    AutoPtr<Bookmark> root = Bookmark::create(*chunk);
    EXPECT_EQ(expected, describe(*root));
    // Our reading agrees with what djvused itself prints.
    std::string printed = run("djvused " + host("doc.djvu") + " -e print-outline");
    EXPECT_EQ(expected, PrintedOutline(printed).describeRoot());
    // Written again by us, the outline is the same bytes djvused wrote before compression.
    MvxTest::writeFile(path("navm.bzz"), navm);
    ASSERT_EQ(0, MvxTest::runHostTool("bzz -d " + host("navm.bzz") + " " + host("navm.raw")));
    EXPECT_EQ(MvxTest::readFile(path("navm.raw")), encoded(*root));
}

TEST_F(BookmarkInterop, DjvusedPrintsOurOutline)
{
    AutoPtr<Bookmark> root = Bookmark::create("", "");
    AutoPtr<Bookmark> one = add(root, "Chapter \"one\"", "#1");
    add(one, "Caf\xC3\xA9 \xE2\x82\xAC", "#p2.djvu");
    AutoPtr<Bookmark> deep = add(one, "Back\\slash", "#3");
    add(deep, "Deep", "http://example.org/?a=1&b=2");
    AutoPtr<Bookmark> wide = add(root, "Wide", "#2");
    for (int i = 0; i < 255; ++i)
        add(wide, ("Item " + std::to_string(i)).c_str(), ("#" + std::to_string(1 + i % 3)).c_str());
    add(root, "Last", "#3");

    AutoPtr<Chunk> chunk = root->makeNAVM();
    AutoPtr<Data> data = chunk->getData();
    const Bytes navm(data->getBuffer(), data->getBuffer() + data->getSize());
    MvxTest::writeFile(path("ours.djvu"), withNavm(bundled, navm));

    std::string dump = run("djvudump " + host("ours.djvu"));
    EXPECT_NE(std::string::npos, dump.find("NAVM [" + std::to_string(navm.size()) + "]")) << dump;
    EXPECT_NE(std::string::npos, dump.find("bundled, 3 files 3 pages")) << dump;
    std::string printed = run("djvused " + host("ours.djvu") + " -e print-outline");
    EXPECT_EQ(describe(*root), PrintedOutline(printed).describeRoot()) << printed;
    // The pages are still where the directory says.
    EXPECT_EQ(0, MvxTest::runHostTool("ddjvu -format=pbm -page=3 " + host("ours.djvu") + " " + host("p3.out.pbm")));

    // Replacing djvused's own outline with ours works the same way.
    const std::string outline = "(bookmarks (\"x\" \"#1\"))\n";
    MvxTest::writeFile(path("outline.txt"), Bytes(outline.begin(), outline.end()));
    ASSERT_EQ(0, MvxTest::runHostTool("djvused " + host("doc.djvu") + " -e 'set-outline " + host("outline.txt") +
                                      "' -s"));
    MvxTest::writeFile(path("replaced.djvu"), withNavm(MvxTest::readFile(path("doc.djvu")), navm));
    printed = run("djvused " + host("replaced.djvu") + " -e print-outline");
    EXPECT_EQ(describe(*root), PrintedOutline(printed).describeRoot());
}

} // namespace
