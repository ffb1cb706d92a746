// Every decoder is bounded by the length it is given: texts placed right before an inaccessible page
// make any read past their end fault.
#include "mvx_format.h"
#include "mvx_string.h"
#include "mvx_unicode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>
#include <windows.h>

using namespace Morvenix;

namespace {

class GuardedBytes {
public:
    GuardedBytes()
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        m_page = info.dwPageSize;
        m_base = static_cast<char*>(VirtualAlloc(nullptr, m_page * 2, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        if (m_base)
            VirtualProtect(m_base + m_page, m_page, PAGE_NOACCESS, &old);
    }
    ~GuardedBytes()
    {
        if (m_base)
            VirtualFree(m_base, 0, MEM_RELEASE);
    }
    bool ok() const { return m_base != nullptr; }
    // n bytes ending exactly at the guard page.
    char* place(const std::vector<char>& bytes)
    {
        char* p = m_base + m_page - bytes.size();
        std::memcpy(p, bytes.data(), bytes.size());
        return p;
    }
    wchar_t* placeWide(const std::vector<wchar_t>& units)
    {
        char* p = m_base + m_page - units.size() * sizeof(wchar_t);
        std::memcpy(p, units.data(), units.size() * sizeof(wchar_t));
        return reinterpret_cast<wchar_t*>(p);
    }

private:
    DWORD m_page;
    char* m_base;
};

const std::vector<std::vector<char>> kCorrupt = {
    {'\xC3'}, {'\xE2', '\x82'}, {'\xF0', '\x9F', '\x98'}, {'\xFC', '\x80', '\x80', '\x80', '\x80'},
    {'\xFD'}, {'\xFE'}, {'\xFF'}, {'\x80'}, {'a', '\xF8'}, {'a', 'b', '\xFC'},
    {'\xE0', '\x80', '\xC0'}, {'\xED', '\xA0', '\x80', '\xF4'},
};

void exercise(GuardedBytes& guard, const std::vector<char>& bytes)
{
    char* p = guard.place(bytes);
    int32_t n = int32_t(bytes.size());
    WipedBlock<wchar_t> wide;
    WipedBlock<uint32_t> utf32;
    WipedBlock<char> narrow;
    utf8ToUtf16(p, n, wide);
    utf8ToUtf32(p, n, utf32);
    utf8ToAnsi(p, n, narrow);
    ansiToUtf8(p, n, narrow);
    Utf8::isValid(p, uint32_t(n));
    for (int32_t pos = 0; pos < n;) {
        uint32_t used;
        decodeUtf8Char(p + pos, uint32_t(n - pos), &used);
        ASSERT_GT(used, 0u);
        isWhiteSpace(p + pos, p + n);
        isLineBreak(p + pos, p + n);
        pos += int32_t(used);
    }
    String s(p, n);
    s.wc_str();
    s.utf32_str();
    s.ansi_str();
    String tail = s.substr(uint32_t(n) / 2);
    tail.wc_str();
    char* text = formatAlloc("%.*s|%*s", n, p, n, p);
    ASSERT_NE(nullptr, text);
    std::free(text);
    String::formatAnsi("%.*s", n, p);
}

TEST(DecoderBounds, CorruptTextsAtTheEndOfAccessibleMemory)
{
    GuardedBytes guard;
    ASSERT_TRUE(guard.ok());
    for (const auto& bytes : kCorrupt)
        exercise(guard, bytes);
}

TEST(DecoderBounds, RandomMutations)
{
    GuardedBytes guard;
    ASSERT_TRUE(guard.ok());
    std::mt19937 rng(2024);
    std::vector<char> seed = {'h', '\xC3', '\xA9', '\xF0', '\x9F', '\x98', '\x80', ' ', '\xE2', '\x82', '\xAC'};
    for (int round = 0; round < 2000; ++round) {
        std::vector<char> bytes = seed;
        int edits = int(rng() % 4) + 1;
        for (int i = 0; i < edits; ++i) {
            size_t at = rng() % bytes.size();
            switch (rng() % 3) {
            case 0:
                bytes[at] = char(rng());
                break;
            case 1:
                bytes.insert(bytes.begin() + long(at), char(0xC0 | (rng() & 0x3F)));
                break;
            default:
                if (bytes.size() > 1)
                    bytes.erase(bytes.begin() + long(at));
            }
        }
        bytes.resize(rng() % (bytes.size() + 1));
        if (bytes.empty())
            continue;
        exercise(guard, bytes);
    }
}

TEST(DecoderBounds, Utf16TextsAtTheEndOfAccessibleMemory)
{
    GuardedBytes guard;
    ASSERT_TRUE(guard.ok());
    std::mt19937 rng(99);
    const wchar_t pool[] = {0xD83D, 0xDE00, 0xDBFF, 0xDC00, 0xFEFF, 0xFFFE, L'a', 0x00E9, 0x4E2D};
    for (int round = 0; round < 2000; ++round) {
        std::vector<wchar_t> units(rng() % 6 + 1);
        for (auto& u : units)
            u = pool[rng() % (sizeof(pool) / sizeof(pool[0]))];
        if (round % 4 == 0)
            units[0] = 0xFFFE;
        wchar_t* p = guard.placeWide(units);
        int32_t n = int32_t(units.size());
        WipedBlock<char> narrow;
        utf16ToUtf8(p, n, narrow);
        utf16ToAnsi(p, n, narrow);
        String s(p, n);
        s.wc_str();
        wchar_t* text = formatAllocW(L"%.*s", n, p);
        ASSERT_NE(nullptr, text);
        std::free(text);
    }
}

} // namespace
