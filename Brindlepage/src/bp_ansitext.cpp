#include "bp_ansitext.h"

#include "bp_textcapture.h"

#include <windows.h>

#include <algorithm>

void AnsiTextUnits(const uint8_t* inBytes, uint32_t inCount, const std::vector<int32_t>& inByteAdvances,
                   std::vector<wchar_t>& outUnits, std::vector<int32_t>& outAdvances)
{
    const bool withAdvances = !inByteAdvances.empty();
    CPINFO info;
    if (GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1) {
        // One byte, one unit: the whole text in one conversion.
        const size_t start = outUnits.size();
        outUnits.resize(start + inCount);
        if (MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(inBytes), int(inCount),
                                outUnits.data() + start, int(inCount)) != int(inCount))
            std::fill(outUnits.begin() + std::ptrdiff_t(start), outUnits.end(), wchar_t(0xFFFD));
        outAdvances.insert(outAdvances.end(), inByteAdvances.begin(), inByteAdvances.end());
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
            outUnits.push_back(converted[k]);
            if (withAdvances)
                outAdvances.push_back(k ? 0 : ClampToInt32(advance));
        }
        at += length;
    }
}
