// The capture pass's text records: one line zone a record, one word zone between separators, one
// character zone a character, with boxes in pixels of the rendered page.
#include "bp_emfrecord.h"
#include "bp_emfrenderer.h"
#include "bp_textcapture.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

using Morvenix::AutoPtr;
using Morvenix::String;
using Morvenix::DjVu::TextZone;

namespace {

// Offsets in EMR_EXTTEXTOUTA/W (the EMRTEXT part starts at 36) and in EMR_SMALLTEXTOUT.
enum : uint32_t {
    kExtReference = 36,
    kExtCount = 44,
    kExtStringOffset = 48,
    kExtOptions = 52,
    kExtDxOffset = 72,
    kSmallReference = 8,
    kSmallCount = 16,
    kSmallOptions = 20,
    kSmallStringWithRect = 52,
    kSmallStringWithoutRect = 36,
};

// tenths of a degree to radians, as the host's text angles are given
const double kEscapementToRadians = 0.0017453277777777778;

struct RecordText {
    POINT reference{0, 0};
    std::vector<wchar_t> units;
    // One a unit, or none: the run is then measured.
    std::vector<int32_t> advances;
};

// To the nearest unit: the angle's sine and cosine are never quite 0 or 1 away from 0 degrees, and
// truncating would cut a whole unit off turned boxes. Damaged advances can add up far beyond any page;
// the value is held well inside what int64_t and a double share.
int64_t rounded(double inValue)
{
    const double limit = 4.0e18;
    return int64_t(std::floor(std::max(-limit, std::min(limit, inValue)) + 0.5));
}

// The ANSI code page's characters, each unit paired with the advances of the bytes that made it: a
// double-byte character takes both its bytes' advances, and a character that comes out as two units gives
// its second unit none.
void ansiUnits(const uint8_t* inBytes, uint32_t inCount, const std::vector<int32_t>& inByteAdvances,
               RecordText& ioText)
{
    const bool withAdvances = !inByteAdvances.empty();
    CPINFO info;
    if (GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1) {
        ioText.units.resize(inCount);
        if (MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(inBytes), int(inCount),
                                ioText.units.data(), int(inCount)) != int(inCount))
            std::fill(ioText.units.begin(), ioText.units.end(), wchar_t(0xFFFD));
        ioText.advances = inByteAdvances;
        return;
    }
    for (uint32_t at = 0; at < inCount;) {
        const uint32_t length = (IsDBCSLeadByte(inBytes[at]) && at + 1 < inCount) ? 2 : 1;
        wchar_t converted[2];
        int units = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(inBytes + at), int(length),
                                        converted, 2);
        if (units <= 0) {
            converted[0] = wchar_t(0xFFFD);
            units = 1;
        }
        int64_t advance = 0;
        for (uint32_t k = 0; withAdvances && k < length; ++k)
            advance += inByteAdvances[at + k];
        for (int k = 0; k < units; ++k) {
            ioText.units.push_back(converted[k]);
            if (withAdvances)
                ioText.advances.push_back(k ? 0 : ClampToInt32(advance));
        }
        at += length;
    }
}

// EMR_EXTTEXTOUTW and EMR_EXTTEXTOUTA. False when the record holds no text to capture: no characters,
// glyph indices, or a string or advance array that does not lie inside the record.
bool readExtTextOut(const EmfRecordView& inRecord, bool inAnsi, RecordText& outText)
{
    uint32_t count = 0, stringOffset = 0, options = 0, dxOffset = 0;
    if (!inRecord.read(kExtReference, outText.reference.x) || !inRecord.read(kExtReference + 4, outText.reference.y) ||
        !inRecord.read(kExtCount, count) || !inRecord.read(kExtStringOffset, stringOffset) ||
        !inRecord.read(kExtOptions, options) || !inRecord.read(kExtDxOffset, dxOffset))
        return false;
    if (!count || (options & ETO_GLYPH_INDEX))
        return false;
    const uint8_t* chars = inRecord.at(stringOffset, uint64_t(count) * (inAnsi ? 1 : 2));
    if (!chars)
        return false;
    std::vector<int32_t> advances;
    if (dxOffset) {
        // With ETO_PDY every character has an x and a y advance.
        const uint32_t stride = (options & ETO_PDY) ? 2 : 1;
        const uint8_t* dx = inRecord.at(dxOffset, uint64_t(count) * stride * 4);
        if (!dx)
            return false;
        advances.resize(count);
        for (uint32_t i = 0; i < count; ++i)
            std::memcpy(&advances[i], dx + uint64_t(i) * stride * 4, 4);
    }
    if (inAnsi) {
        ansiUnits(chars, count, advances, outText);
    } else {
        outText.units.resize(count);
        std::memcpy(outText.units.data(), chars, size_t(count) * 2);
        outText.advances.swap(advances);
    }
    return true;
}

// EMR_SMALLTEXTOUT: no advances; 8-bit characters with ETO_SMALL_CHARS; no clip rectangle with ETO_NO_RECT.
bool readSmallTextOut(const EmfRecordView& inRecord, RecordText& outText)
{
    uint32_t count = 0, options = 0;
    if (!inRecord.read(kSmallReference, outText.reference.x) ||
        !inRecord.read(kSmallReference + 4, outText.reference.y) || !inRecord.read(kSmallCount, count) ||
        !inRecord.read(kSmallOptions, options))
        return false;
    if (!count || (options & ETO_GLYPH_INDEX))
        return false;
    const uint32_t stringOffset = (options & BP_ETO_NO_RECT) ? kSmallStringWithoutRect : kSmallStringWithRect;
    const bool ansi = (options & BP_ETO_SMALL_CHARS) != 0;
    const uint8_t* chars = inRecord.at(stringOffset, uint64_t(count) * (ansi ? 1 : 2));
    if (!chars)
        return false;
    if (ansi) {
        ansiUnits(chars, count, std::vector<int32_t>(), outText);
    } else {
        outText.units.resize(count);
        std::memcpy(outText.units.data(), chars, size_t(count) * 2);
    }
    return true;
}

// Where a run's glyph cells lie: the reference point, the shift along the baseline that right or centre
// alignment asks for, the baseline's offset across it, the font's ascent, descent and angle.
struct RunPlacement {
    POINT reference;
    int64_t alongShift;
    int64_t acrossShift;
    int32_t ascent;
    int32_t descent;
    double cosine;
    double sine;
    bool yUp;
};

RunPlacement placeRun(POINT inReference, uint32_t inAlign, int64_t inSpan, int32_t inAscent, int32_t inDescent,
                      const LOGFONTW* inFont, bool inYUp)
{
    RunPlacement placement{inReference, 0, 0, inAscent, inDescent, 1.0, 0.0, inYUp};
    switch (inAlign & (TA_TOP | TA_BOTTOM | TA_BASELINE)) {
    case TA_TOP:
        placement.acrossShift = inAscent;
        break;
    case TA_BOTTOM:
        placement.acrossShift = -int64_t(inDescent);
        break;
    default:
        break;
    }
    switch (inAlign & (TA_LEFT | TA_RIGHT | TA_CENTER)) {
    case TA_RIGHT:
        placement.alongShift = -inSpan;
        break;
    case TA_CENTER:
        placement.alongShift = -(inSpan / 2);
        break;
    default:
        break;
    }
    if (inFont && inFont->lfEscapement) {
        const double angle = inFont->lfEscapement * kEscapementToRadians;
        placement.cosine = std::cos(angle);
        placement.sine = std::sin(angle);
    }
    return placement;
}

// The box of the glyph cell from inBefore to inAfter along the baseline, as two points in logical units.
// Offsets are taken as on the page, y downward (the angle turns counter-clockwise there); a mapping whose
// y grows upward turns the vertical offsets round, so the box does not come out mirrored at the baseline.
void cellBox(const RunPlacement& inPlacement, int64_t inBefore, int64_t inAfter, POINT outBox[2])
{
    const int64_t along[2] = {inBefore + inPlacement.alongShift, inAfter + inPlacement.alongShift};
    const int64_t across[2] = {inPlacement.acrossShift - inPlacement.ascent,
                               inPlacement.acrossShift + inPlacement.descent};
    const double c = inPlacement.cosine, s = inPlacement.sine;
    POINT corners[4];
    for (int k = 0; k < 4; ++k) {
        const double u = double(along[k == 1 || k == 2]), v = double(across[k >= 2]);
        const int64_t dx = rounded(u * c + v * s), dy = rounded(v * c - u * s);
        corners[k].x = ClampToInt32(inPlacement.reference.x + dx);
        corners[k].y = ClampToInt32(inPlacement.reference.y + (inPlacement.yUp ? -dy : dy));
    }
    const RECTL box = BoundingBoxOfPoints(corners, 4);
    outBox[0] = POINT{box.left, box.top};
    outBox[1] = POINT{box.right, box.bottom};
}

// Whether the device context's y axis runs up the page.
bool mapsYUpward(HDC inDC)
{
    POINT probe[2] = {{0, 0}, {0, 1024}};
    return LPtoDP(inDC, probe, 2) && probe[1].y < probe[0].y;
}

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

} // namespace

void EmfPageRenderer::CaptureTextRecord(uint32_t inType, const uint8_t* inRecord, uint32_t inRecordSize)
{
    if (!m_pageZone)
        return;
    const EmfRecordView record(inRecord, inRecordSize);
    RecordText text;
    const bool found = inType == EMR_SMALLTEXTOUT_TYPE ? readSmallTextOut(record, text)
                                                       : readExtTextOut(record, inType == EMR_EXTTEXTOUTA, text);
    if (!found)
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
    const RunPlacement placement = placeRun(reference, align, span, metrics.tmAscent, metrics.tmDescent,
                                            fontKnown ? &font : nullptr, mapsYUpward(inDC));

    // Characters that lie wholly off the rendered page are not on it; the rest are held to its edges.
    const bool clip = bool(m_image);
    const Morvenix::Rect page{0, 0, clip ? m_image->GetWidth() : 0, clip ? m_image->GetHeight() : 0};

    AutoPtr<TextZone> line = TextZone::create(TextZone::zoneLine);
    AutoPtr<TextZone> word = TextZone::create(TextZone::zoneWord);
    int64_t before = 0;
    for (uint32_t i = 0; i < n;) {
        const uint32_t unit = uint16_t(inText[i]);
        if (IsWordSeparator(unit)) {
            if (word->children.count()) {
                line->children.append(word);
                AppendWordSpace(word.get(), " ");
                m_lastWordZone = word;
                word = TextZone::create(TextZone::zoneWord);
            } else if (m_lastWordZone) {
                AppendWordSpace(m_lastWordZone.get(), " ");
            }
            before += advances[i];
            ++i;
            continue;
        }
        // A surrogate pair is one character; a lone surrogate is no character and shows as U+FFFD.
        uint32_t codePoint = unit, units = 1;
        if (isHighSurrogate(unit) && i + 1 < n && isLowSurrogate(uint16_t(inText[i + 1]))) {
            codePoint = 0x10000 + ((unit - 0xD800) << 10) + (uint16_t(inText[i + 1]) - 0xDC00);
            units = 2;
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            codePoint = 0xFFFD;
        }
        int64_t after = before;
        for (uint32_t k = 0; k < units; ++k)
            after += advances[i + k];

        POINT box[2];
        cellBox(placement, before, after, box);
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
        before = after;
        i += units;
        if (clip) {
            // Right and bottom lie one past the box: a box that ends at an edge has nothing on the page.
            if (right <= 0 || bottom <= 0 || left >= page.width || top >= page.height)
                continue;
            left = std::max<int64_t>(left, 0);
            top = std::max<int64_t>(top, 0);
            right = std::min<int64_t>(right, page.width);
            bottom = std::min<int64_t>(bottom, page.height);
        }
        const Morvenix::Rect rect{int32_t(left), int32_t(top), ClampToInt32(right - left), ClampToInt32(bottom - top)};

        AutoPtr<TextZone> character = TextZone::create(TextZone::zoneCharacter);
        character->text = String(&codePoint, 1);
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
