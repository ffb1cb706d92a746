// Text records and host comments built byte by byte, as an Office host or another recorder may write
// them (Wine's own recorder writes neither EMR_SMALLTEXTOUT nor EMR_EXTTEXTOUTA), and copies of records
// that end or begin right at an inaccessible page, so that a read outside a record faults.
#pragma once

#include "render_support.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace CaptureTest {

typedef std::vector<uint8_t> Bytes;

const uint32_t kSmallTextOut = 108;

inline void append(Bytes& ioBytes, const void* inData, size_t inSize)
{
    const uint8_t* p = static_cast<const uint8_t*>(inData);
    ioBytes.insert(ioBytes.end(), p, p + inSize);
}

template <class T>
void appendValue(Bytes& ioBytes, T inValue)
{
    append(ioBytes, &inValue, sizeof inValue);
}

inline void padTo4(Bytes& ioBytes)
{
    while (ioBytes.size() % 4)
        ioBytes.push_back(0);
}

inline Bytes wideBytes(const std::wstring& inText)
{
    Bytes bytes;
    for (wchar_t unit : inText)
        appendValue(bytes, uint16_t(unit));
    return bytes;
}

// EMR_EXTTEXTOUTW (84) or EMR_EXTTEXTOUTA (83): no bounds, GM_COMPATIBLE, the string right behind the
// 76 bytes of the fixed part, the advances (when given) behind the string.
inline Bytes extTextOut(uint32_t inType, POINT inReference, const Bytes& inChars, uint32_t inCount,
                        const std::vector<int32_t>& inAdvances, uint32_t inOptions)
{
    Bytes chars = inChars;
    padTo4(chars);
    const uint32_t stringOffset = 76;
    const uint32_t dxOffset = inAdvances.empty() ? 0 : stringOffset + uint32_t(chars.size());
    Bytes payload = RenderTest::words({0, 0, 0, 0, GM_COMPATIBLE, 0, 0, uint32_t(inReference.x),
                                       uint32_t(inReference.y), inCount, stringOffset, inOptions, 0, 0, 0, 0,
                                       dxOffset});
    append(payload, chars.data(), chars.size());
    for (int32_t advance : inAdvances)
        appendValue(payload, advance);
    return RenderTest::makeRecord(inType, payload);
}

inline Bytes extTextOutW(POINT inReference, const std::wstring& inText, const std::vector<int32_t>& inAdvances,
                         uint32_t inOptions = 0)
{
    return extTextOut(EMR_EXTTEXTOUTW, inReference, wideBytes(inText), uint32_t(inText.size()), inAdvances,
                      inOptions);
}

inline Bytes extTextOutA(POINT inReference, const std::string& inText, const std::vector<int32_t>& inAdvances,
                         uint32_t inOptions = 0)
{
    return extTextOut(EMR_EXTTEXTOUTA, inReference, Bytes(inText.begin(), inText.end()), uint32_t(inText.size()),
                      inAdvances, inOptions);
}

// EMR_SMALLTEXTOUT (108): the clip rectangle unless ETO_NO_RECT (0x100), 8-bit characters with
// ETO_SMALL_CHARS (0x200).
inline Bytes smallTextOut(POINT inReference, const std::wstring& inText, uint32_t inOptions,
                          RECTL inClip = RECTL{0, 0, 0, 0})
{
    Bytes payload = RenderTest::words({uint32_t(inReference.x), uint32_t(inReference.y), uint32_t(inText.size()),
                                       inOptions, GM_COMPATIBLE, 0, 0});
    if (!(inOptions & 0x100))
        appendValue(payload, inClip);
    if (inOptions & 0x200) {
        for (wchar_t unit : inText)
            payload.push_back(uint8_t(unit));
    } else {
        const Bytes chars = wideBytes(inText);
        append(payload, chars.data(), chars.size());
    }
    return RenderTest::makeRecord(kSmallTextOut, payload);
}

// The data of the host's comments: "UNPP", the sub-type, then the sub-type's fields.
inline Bytes hostCommentData(uint32_t inSubType, const Bytes& inFields)
{
    Bytes data{'U', 'N', 'P', 'P'};
    appendValue(data, inSubType);
    append(data, inFields.data(), inFields.size());
    return data;
}

inline Bytes linkToUrlData(int32_t inX1, int32_t inY1, int32_t inX2, int32_t inY2, const std::wstring& inUrl)
{
    Bytes fields = RenderTest::words({uint32_t(inX1), uint32_t(inY1), uint32_t(inX2), uint32_t(inY2)});
    const Bytes url = wideBytes(inUrl + L'\0');
    append(fields, url.data(), url.size());
    return hostCommentData(0x201, fields);
}

inline Bytes linkToPageData(int32_t inX1, int32_t inY1, int32_t inX2, int32_t inY2, uint32_t inPageIndex)
{
    return hostCommentData(0x202, RenderTest::words({uint32_t(inX1), uint32_t(inY1), uint32_t(inX2),
                                                     uint32_t(inY2), inPageIndex}));
}

// Sub-types 0x210 and 0x211: x, y, width, height in points, then the target.
inline Bytes linkInPointsData(uint32_t inSubType, float inX, float inY, float inWidth, float inHeight,
                              const Bytes& inTarget)
{
    Bytes fields;
    for (float value : {inX, inY, inWidth, inHeight})
        appendValue(fields, value);
    append(fields, inTarget.data(), inTarget.size());
    return hostCommentData(inSubType, fields);
}

// Sub-type 0x209 as the add-in reads it: parent, sort order, id, type, level, has-text flag, the
// alternative text's length in units and the text.
inline Bytes structureNodeData(int32_t inParent, int32_t inSortOrder, int32_t inId, int32_t inType, int32_t inLevel,
                               bool inHasText, const std::wstring& inAltText)
{
    Bytes fields = RenderTest::words({uint32_t(inParent), uint32_t(inSortOrder), uint32_t(inId), uint32_t(inType),
                                      uint32_t(inLevel), inHasText ? 1u : 0u, uint32_t(inAltText.size())});
    const Bytes text = wideBytes(inAltText);
    append(fields, text.data(), text.size());
    return hostCommentData(0x209, fields);
}

// EMR_GDICOMMENT (70) around comment data; its data size (offset 8) is the data's own length.
inline Bytes commentRecord(const Bytes& inData)
{
    Bytes payload;
    appendValue(payload, uint32_t(inData.size()));
    append(payload, inData.data(), inData.size());
    return RenderTest::makeRecord(EMR_GDICOMMENT, payload);
}

// A copy of bytes placed against an inaccessible page: ending right before it, or beginning right after it.
class GuardedBytes {
public:
    enum Side { guardAfter, guardBefore };

    explicit GuardedBytes(const Bytes& inBytes, Side inSide = guardAfter) : m_size(uint32_t(inBytes.size()))
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        const size_t page = info.dwPageSize;
        const size_t dataPages = (inBytes.size() + page - 1) / page + 1;
        m_base = static_cast<uint8_t*>(VirtualAlloc(nullptr, (dataPages + 1) * page, MEM_RESERVE | MEM_COMMIT,
                                                    PAGE_READWRITE));
        DWORD previous = 0;
        if (inSide == guardAfter) {
            VirtualProtect(m_base + dataPages * page, page, PAGE_NOACCESS, &previous);
            m_data = m_base + dataPages * page - inBytes.size();
        } else {
            VirtualProtect(m_base, page, PAGE_NOACCESS, &previous);
            m_data = m_base + page;
        }
        if (!inBytes.empty())
            std::memcpy(m_data, inBytes.data(), inBytes.size());
    }
    ~GuardedBytes() { VirtualFree(m_base, 0, MEM_RELEASE); }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    const uint8_t* data() const { return m_data; }
    uint32_t size() const { return m_size; }

private:
    uint8_t* m_base;
    uint8_t* m_data;
    uint32_t m_size;
};

} // namespace CaptureTest
