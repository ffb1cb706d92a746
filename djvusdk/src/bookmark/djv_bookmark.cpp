// Bookmarks: the outline tree and its NAVM payload, written and read.
#include "djv_bookmark.h"

#include "djv_mapareaparser.h"
#include "djv_payload.h"
#include "mvx_exception.h"

#include <cstring>

#define MVX_SOURCE "djv_bookmark"

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;

const int kTooManyChildren = 39;
const uint32_t kMaxLength24 = 0xFFFFFF;

class BookmarkImpl : public Bookmark {
public:
    BookmarkImpl(const String& inTitle, const String& inUrl)
    {
        title = inTitle;
        url = inUrl;
    }

    void encode(Stream& outStream) override;
    AutoPtr<Chunk> makeNAVM() override;

private:
    static uint32_t checkEntry(const Bookmark& inEntry, uint32_t inDepth);
    static void encodeBookmark(const Bookmark& inEntry, SimpleArray<unsigned char, 2>& ioPayload);
};

// ---- Writing ----

const char* const kEncodeFunction = "Morvenix::DjVu::Bookmark::encode";

namespace {

void append(SimpleArray<unsigned char, 2>& ioPayload, const void* inBytes, uint32_t inSize)
{
    if (!inSize)
        return;
    uint32_t at = ioPayload.count();
    ioPayload.setSize(at + inSize);
    std::memcpy(ioPayload.data() + at, inBytes, inSize);
}

void append24(SimpleArray<unsigned char, 2>& ioPayload, uint32_t inValue)
{
    const unsigned char bytes[3] = {uint8_t(inValue >> 16), uint8_t(inValue >> 8), uint8_t(inValue)};
    append(ioPayload, bytes, 3);
}

} // namespace

// The entries of inEntry's subtree, itself included, after checking each of them against the format's
// fields.
uint32_t BookmarkImpl::checkEntry(const Bookmark& inEntry, uint32_t inDepth)
{
    if (inDepth >= maxDepth)
        MVX_THROW(errInvalidParam, "Bookmarks are nested too deeply!", kEncodeFunction);
    if (inEntry.children.count() > maxChildren)
        MVX_THROW(kTooManyChildren, "Too many bookmark children!", "_Mvx_Internal_NS_::BookmarkImpl::encodeBookmark");
    if (inEntry.title.getLength() > kMaxLength24 || inEntry.url.getLength() > kMaxLength24)
        MVX_THROW(errInvalidParam, "A bookmark title or url is too long for the NAVM format!", kEncodeFunction);
    uint32_t entries = 1;
    for (const AutoPtr<Bookmark>& child : inEntry.children) {
        if (!child)
            MVX_THROW(errInvalidParam, "A bookmark has an empty child!", kEncodeFunction);
        entries += checkEntry(*child, inDepth + 1);
        if (entries > maxEntries)
            break;
    }
    return entries;
}

void BookmarkImpl::encodeBookmark(const Bookmark& inEntry, SimpleArray<unsigned char, 2>& ioPayload)
{
    unsigned char childCount = uint8_t(inEntry.children.count());
    append(ioPayload, &childCount, 1);
    append24(ioPayload, inEntry.title.getLength());
    append(ioPayload, inEntry.title.c_str(), inEntry.title.getLength());
    append24(ioPayload, inEntry.url.getLength());
    append(ioPayload, inEntry.url.c_str(), inEntry.url.getLength());
    for (const AutoPtr<Bookmark>& child : inEntry.children)
        encodeBookmark(*child, ioPayload);
}

void BookmarkImpl::encode(Stream& outStream)
{
    // A root stands for its children; any other bookmark for an outline holding itself alone.
    bool root = isRoot();
    uint32_t total = 0;
    if (root) {
        for (const AutoPtr<Bookmark>& child : children) {
            if (!child)
                MVX_THROW(errInvalidParam, "A bookmark has an empty child!", kEncodeFunction);
            total += checkEntry(*child, 0);
            if (total > maxEntries)
                break;
        }
    } else {
        total = checkEntry(*this, 0);
    }
    if (total > maxEntries)
        MVX_THROW(errInvalidParam, "The outline has more bookmarks than the NAVM format can count!", kEncodeFunction);

    SimpleArray<unsigned char, 2> payload(0, 0);
    const unsigned char head[2] = {uint8_t(total >> 8), uint8_t(total)};
    append(payload, head, 2);
    if (root) {
        for (const AutoPtr<Bookmark>& child : children)
            encodeBookmark(*child, payload);
    } else {
        encodeBookmark(*this, payload);
    }
    outStream.writeBytes(payload.data(), payload.count());
}

AutoPtr<Chunk> BookmarkImpl::makeNAVM()
{
    return makePayloadChunk("NAVM", true, [this](Stream& outStream) { encode(outStream); });
}

// ---- Reading ----

const char* const kReadFunction = "Morvenix::DjVu::Bookmark::create";

namespace {

[[noreturn]] void broken(const char* inWhy) { MVX_THROW(errDataBroken, inWhy, kReadFunction); }

class NavmReader {
public:
    explicit NavmReader(Stream& inStream) : m_stream(inStream), m_read(0) {}

    AutoPtr<Bookmark> read()
    {
        unsigned char head[2];
        readExact(head, 2);
        uint32_t total = (uint32_t(head[0]) << 8) | head[1];
        AutoPtr<Bookmark> root(new BookmarkImpl(String(), String()));
        // A total below the real count stops after the top-level entry that reaches it.
        while (m_read < total)
            root->children.append(readEntry(0));
        return root;
    }

private:
    void readExact(void* outBuffer, uint32_t inSize)
    {
        if (m_stream.readBytes(outBuffer, inSize, false) != inSize)
            broken("The NAVM data ends too early!");
    }

    uint32_t read24()
    {
        unsigned char bytes[3];
        readExact(bytes, 3);
        return (uint32_t(bytes[0]) << 16) | (uint32_t(bytes[1]) << 8) | bytes[2];
    }

    // A length field says how much follows, but the data may be cut short: the text grows as its bytes
    // arrive, so a damaged length costs no more memory than the data holds.
    String readText()
    {
        uint32_t length = read24();
        if (!length)
            return String();
        const uint32_t kPiece = 65536;
        SimpleArray<char, 2> text(0, int32_t(length < kPiece ? length : kPiece));
        while (text.count() < length) {
            uint32_t at = text.count(), piece = length - at < kPiece ? length - at : kPiece;
            text.setSize(at + piece);
            readExact(text.data() + at, piece);
        }
        return String(text.data(), int32_t(length));
    }

    AutoPtr<Bookmark> readEntry(uint32_t inDepth)
    {
        if (inDepth >= Bookmark::maxDepth)
            broken("Bookmarks are nested too deeply!");
        // Children are read whatever the total says, and an entry of seven bytes becomes an object of a
        // thousand: without a bound, a small compressed chunk could ask for gigabytes. No outline that
        // the two-byte total can count holds more entries.
        if (m_read >= Bookmark::maxEntries)
            broken("The NAVM data holds more bookmarks than its total can count!");
        unsigned char childCount;
        readExact(&childCount, 1);
        String title = readText();
        String url = rewriteMapAreaUrl(readText());
        AutoPtr<Bookmark> entry(new BookmarkImpl(title, url));
        ++m_read;
        for (uint32_t i = 0; i < childCount; ++i)
            entry->children.append(readEntry(inDepth + 1));
        return entry;
    }

    Stream& m_stream;
    uint32_t m_read;
};

} // namespace

} // namespace _Mvx_Internal_NS_

namespace Morvenix {
namespace DjVu {

using _Mvx_Internal_NS_::BookmarkImpl;

AutoPtr<Bookmark> Bookmark::create(const String& inTitle, const String& inUrl)
{
    return AutoPtr<Bookmark>(new BookmarkImpl(inTitle, inUrl));
}

AutoPtr<Bookmark> Bookmark::create(Stream& inStream) { return _Mvx_Internal_NS_::NavmReader(inStream).read(); }

AutoPtr<Bookmark> Bookmark::create(const Chunk& inNavm)
{
    return create(*openPayload(inNavm, true, "NAVM", MVX_SOURCE, "Morvenix::DjVu::Bookmark::create"));
}

} // namespace DjVu
} // namespace Morvenix
