// The capture pass's text records: one line zone a record, one word zone between separators, one
// character zone a character, with boxes in pixels of the rendered page.
#include "bp_emfrenderer.h"
#include "bp_runplacement.h"
#include "bp_textcapture.h"
#include "bp_textrecord.h"

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

using Morvenix::AutoPtr;
using Morvenix::String;
using Morvenix::DjVu::TextZone;

namespace {

// The texts of the zone's leaves in order, appended in place (a long run would make joining strings
// level by level copy its text over and over).
void appendLeafTexts(const TextZone& inZone, std::string& ioText)
{
    if (!inZone.children.count()) {
        ioText.append(inZone.text.c_str(), inZone.text.getLength());
        return;
    }
    for (const AutoPtr<TextZone>& child : inZone.children)
        appendLeafTexts(*child, ioText);
}

bool isHighSurrogate(uint32_t inUnit) { return inUnit >= 0xD800 && inUnit <= 0xDBFF; }
bool isLowSurrogate(uint32_t inUnit) { return inUnit >= 0xDC00 && inUnit <= 0xDFFF; }

// A character of a run: its units, and the stretch of the baseline its box covers, in logical units.
struct RunCharacter {
    uint32_t first, units, codePoint;
    bool separator;
    int64_t from, to;
};

// The run's characters with their stretches. A glyph that stands for several letters (a ligature: "fi",
// "ffi") comes with its advance on the first letter and none on the others; a box of no width would be
// an empty zone, for which readers refuse the page's whole text layer. So the letters of a glyph (one with
// an advance, the letters of no advance after it, and those before it at the start of a word) share its
// stretch, split evenly. Separators keep their own advance and belong to no glyph.
std::vector<RunCharacter> runCharacters(const wchar_t* inText, uint32_t inCount, const int32_t* inAdvances)
{
    std::vector<RunCharacter> characters;
    for (uint32_t i = 0; i < inCount;) {
        const uint32_t unit = uint16_t(inText[i]);
        RunCharacter c{i, 1, unit, IsWordSeparator(unit), 0, 0};
        // A surrogate pair is one character; a lone surrogate is no character and shows as U+FFFD.
        if (isHighSurrogate(unit) && i + 1 < inCount && isLowSurrogate(uint16_t(inText[i + 1]))) {
            c.codePoint = 0x10000 + ((unit - 0xD800) << 10) + (uint16_t(inText[i + 1]) - 0xDC00);
            c.units = 2;
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            c.codePoint = 0xFFFD;
        }
        for (uint32_t k = 0; k < c.units; ++k)
            c.to += inAdvances[i + k]; // the advance, until the stretches are laid out below
        characters.push_back(c);
        i += c.units;
    }
    int64_t position = 0;
    for (size_t c = 0; c < characters.size();) {
        size_t end = c + 1;
        int64_t span = characters[c].to;
        if (!characters[c].separator) {
            // The glyph ends before a separator, or before the next letter with an advance once it has one.
            for (bool advanced = span != 0; end < characters.size() && !characters[end].separator; ++end) {
                if (advanced && characters[end].to)
                    break;
                advanced = advanced || characters[end].to;
                span += characters[end].to;
            }
        }
        // Split without overflow: the span is a sum of 32-bit advances, the count of letters below 2^31.
        const int64_t letters = int64_t(end - c);
        const auto share = [&](int64_t inLetter) {
            return span / letters * inLetter + span % letters * inLetter / letters;
        };
        for (size_t k = c; k < end; ++k) {
            characters[k].from = position + share(int64_t(k - c));
            characters[k].to = position + share(int64_t(k - c) + 1);
        }
        position += span;
        c = end;
    }
    return characters;
}

} // namespace

void EmfPageRenderer::CaptureTextRecord(uint32_t inType, const uint8_t* inRecord, uint32_t inRecordSize)
{
    if (!m_pageZone)
        return;
    TextRecord text;
    if (!ReadTextRecord(inType, EmfRecordView(inRecord, inRecordSize), text))
        return;
    CaptureTextRun(m_dc, text.units.data(), uint32_t(text.units.size()), text.reference,
                   text.advances.empty() ? nullptr : text.advances.data());
}

void EmfPageRenderer::CaptureTextRun(HDC inDC, const wchar_t* inText, uint32_t inCount, POINT inReference,
                                     const int32_t* inAdvances)
{
    if (!m_pageZone)
        return;
    uint32_t n = 0;
    while (n < inCount && inText[n])
        ++n;
    // GDI measures at most INT_MAX units; no record holds more.
    n = std::min<uint32_t>(n, INT_MAX);
    if (!n)
        return;

    std::vector<int32_t> measured;
    const int32_t* advances = inAdvances;
    if (!advances) {
        std::vector<INT> extents(n, 0);
        SIZE size;
        if (!GetTextExtentExPointW(inDC, inText, int(n), 0, nullptr, extents.data(), &size))
            std::fill(extents.begin(), extents.end(), 0);
        measured.resize(n);
        for (uint32_t i = 0; i < n; ++i)
            measured[i] = i ? extents[i] - extents[i - 1] : extents[0];
        advances = measured.data();
    }
    TEXTMETRICW metrics{};
    if (!GetTextMetricsW(inDC, &metrics))
        metrics = TEXTMETRICW{};

    // The alignment and the font are the DC's, as GDI draws the run: the records before it, a restored
    // state and stock fonts included, have been played into it.
    UINT align = GetTextAlign(inDC);
    if (align == GDI_ERROR)
        align = 0;
    LOGFONTW font{};
    const HGDIOBJ fontObject = GetCurrentObject(inDC, OBJ_FONT);
    const bool fontKnown = fontObject && GetObjectW(fontObject, sizeof font, &font) == int(sizeof font);

    // GDI aligns a right-aligned or centred run by the sum of its advances, from the current position when
    // the run updates it.
    int64_t span = 0;
    for (uint32_t i = 0; i < n; ++i)
        span += advances[i];
    POINT reference = inReference;
    if (align & TA_UPDATECP)
        GetCurrentPositionEx(inDC, &reference);
    const RunPlacement placement = PlaceRun(reference, align, span, metrics.tmAscent, metrics.tmDescent,
                                            fontKnown ? &font : nullptr, MapsYUpward(inDC));

    // Characters that lie wholly off the rendered page are not on it; the rest are held to its edges.
    const bool clip = bool(m_image);
    const Morvenix::Rect page{0, 0, clip ? m_image->GetWidth() : 0, clip ? m_image->GetHeight() : 0};

    AutoPtr<TextZone> line = TextZone::create(TextZone::zoneLine);
    AutoPtr<TextZone> word = TextZone::create(TextZone::zoneWord);
    for (const RunCharacter& c : runCharacters(inText, n, advances)) {
        if (c.separator) {
            if (word->children.count()) {
                line->children.append(word);
                AppendWordSpace(word.get(), " ");
                m_lastWordZone = word;
                word = TextZone::create(TextZone::zoneWord);
            } else if (m_lastWordZone) {
                AppendWordSpace(m_lastWordZone.get(), " ");
            }
            continue;
        }
        POINT box[2];
        CellBox(placement, c.from, c.to, box);
        // All four corners go to the device: the mapping may turn or mirror the box.
        POINT corners[4] = {box[0], {box[1].x, box[0].y}, box[1], {box[0].x, box[1].y}};
        LPtoDP(inDC, corners, 4);
        int64_t left = corners[0].x, top = corners[0].y, right = left, bottom = top;
        for (const POINT& corner : corners) {
            left = std::min<int64_t>(left, corner.x);
            right = std::max<int64_t>(right, corner.x);
            top = std::min<int64_t>(top, corner.y);
            bottom = std::max<int64_t>(bottom, corner.y);
        }
        if (clip) {
            // Right and bottom lie one past the box: a box that ends at an edge has nothing on the page.
            if (right <= 0 || bottom <= 0 || left >= page.width || top >= page.height)
                continue;
            left = std::max<int64_t>(left, 0);
            top = std::max<int64_t>(top, 0);
            right = std::min<int64_t>(right, page.width);
            bottom = std::min<int64_t>(bottom, page.height);
        }
        // A mapping that shrinks the page can bring a thin box down to no pixel: it keeps one, which on a
        // clipped page still lies on it (left and top lie inside the page there).
        right = std::max(right, left + 1);
        bottom = std::max(bottom, top + 1);
        const Morvenix::Rect rect{int32_t(left), int32_t(top), ClampToInt32(right - left), ClampToInt32(bottom - top)};

        AutoPtr<TextZone> character = TextZone::create(TextZone::zoneCharacter);
        character->text = String(&c.codePoint, 1);
        character->rect = rect;
        word->children.append(character);
    }
    // The run's last word ends without a space: whether one follows is told by where the next run starts
    // (the geometry pass), since hosts split runs before punctuation and inside words too. A next run that
    // starts with a separator spaces it.
    if (word->children.count()) {
        line->children.append(word);
        m_lastWordZone = word;
    }
    if (line->children.count()) {
        m_pageZone->children.append(line);
        appendLeafTexts(*line, m_pageText);
    }
}
