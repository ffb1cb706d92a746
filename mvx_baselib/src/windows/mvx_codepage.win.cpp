// Conversions between UTF-8 or UTF-16 and the current ANSI code page (CP_ACP). Failures of the
// code-page calls show only as a shorter, possibly empty, result.
#define MVX_SOURCE "mvx_codepage.win"
#include "mvx_unicode.h"

#include <cstring>
#include <windows.h>

namespace Morvenix {

namespace {

uint32_t terminatorOnly(WipedBlock<char>& outBlock)
{
    outBlock.reset(1)[0] = 0;
    return 1;
}

// inCount includes the terminator when the text has one; the block gets a NUL after what the code page
// produced.
uint32_t wideToAnsi(const wchar_t* inText, int inCount, WipedBlock<char>& outBlock)
{
    int size = inCount > 0 ? WideCharToMultiByte(CP_ACP, 0, inText, inCount, nullptr, 0, nullptr, nullptr) : 0;
    if (size <= 0) {
        terminatorOnly(outBlock);
        return 0;
    }
    char* out = outBlock.reset(uint32_t(size) + 1);
    int written = WideCharToMultiByte(CP_ACP, 0, inText, inCount, out, size, nullptr, nullptr);
    if (written < 0)
        written = 0;
    out[written] = 0;
    out[size] = 0;
    return uint32_t(written);
}

} // namespace

uint32_t ansiToUtf8(const char* inText, int32_t inLength, WipedBlock<char>& outBlock)
{
    if (!inText || inLength == 0)
        return terminatorOnly(outBlock);
    size_t length = inLength < 0 ? std::strlen(inText) : size_t(inLength);
    if (length > 0x7FFFFFFFu)
        length = 0x7FFFFFFFu;
    int units = MultiByteToWideChar(CP_ACP, 0, inText, int(length), nullptr, 0);
    if (units <= 0)
        return terminatorOnly(outBlock);
    WipedBlock<wchar_t> wide;
    wchar_t* w = wide.reset(uint32_t(units) + 1);
    int written = MultiByteToWideChar(CP_ACP, 0, inText, int(length), w, units);
    w[written > 0 ? written : 0] = 0;
    return utf16ToUtf8(w, written > 0 ? written : 0, outBlock);
}

uint32_t utf8ToAnsi(const char* inText, int32_t inLength, WipedBlock<char>& outBlock)
{
    WipedBlock<wchar_t> wide;
    uint32_t units = utf8ToUtf16(inText, inLength, wide);
    return wideToAnsi(wide.get(), int(units), outBlock);
}

uint32_t utf16ToAnsi(const wchar_t* inText, int32_t inLength, WipedBlock<char>& outBlock)
{
    if (!inText || inLength == 0)
        return wideToAnsi(nullptr, 0, outBlock);
    size_t length = 0;
    if (inLength < 0) {
        while (inText[length])
            ++length;
    } else {
        length = size_t(inLength);
    }
    if (length > 0x7FFFFFFEu)
        length = 0x7FFFFFFEu;
    // Converted with a terminator so that the count the code page reports includes it.
    WipedBlock<wchar_t> copy;
    wchar_t* w = copy.reset(uint32_t(length) + 1);
    std::memcpy(w, inText, length * sizeof(wchar_t));
    w[length] = 0;
    return wideToAnsi(w, int(length) + 1, outBlock);
}

} // namespace Morvenix
