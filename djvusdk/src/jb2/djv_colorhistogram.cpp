// The foreground colour histogram and its median cut.
#include "djv_colorhistogram.h"

#include <algorithm>

using Morvenix::SimpleArray;
using Morvenix::DjVu::Color;

namespace _Mvx_Internal_NS_ {

namespace {

const uint32_t kCellCount = 4096;

// A non-empty cell during the cut: its mean colour and its weight.
struct PData {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint64_t weight;
};

// A run of records; extent is the largest channel range found when the box was last examined.
struct Box {
    uint32_t first;
    uint32_t count;
    uint32_t extent;
    uint64_t weight;
};

// Ranges never exceed 255: a box that was never examined must count as wide.
const uint32_t kNotExamined = 0xFFFFFFFFu;

uint8_t roundChannel(float inValue)
{
    const float v = inValue + 0.5f;
    return v >= 255.0f ? uint8_t(255) : uint8_t(v);
}

uint32_t range(const PData* inFirst, uint32_t inCount, uint8_t PData::*inChannel)
{
    uint8_t lo = 255, hi = 0;
    for (uint32_t i = 0; i < inCount; ++i) {
        lo = std::min(lo, inFirst[i].*inChannel);
        hi = std::max(hi, inFirst[i].*inChannel);
    }
    return uint32_t(hi - lo);
}

// Before the first box from inFrom on whose weight is lower than inWeight; the end when there is none.
uint32_t placeFor(const SimpleArray<uint32_t, 2>& inOrder, const SimpleArray<Box, 2>& inBoxes, uint32_t inFrom,
                  uint64_t inWeight)
{
    uint32_t at = inFrom;
    while (at < inOrder.count() && inBoxes[inOrder[at]].weight >= inWeight)
        ++at;
    return at;
}

Color boxMean(const PData* inFirst, uint32_t inCount, uint64_t inWeight)
{
    float red = 0, green = 0, blue = 0;
    for (uint32_t i = 0; i < inCount; ++i) {
        const float w = float(inFirst[i].weight);
        red += float(inFirst[i].red) * w;
        green += float(inFirst[i].green) * w;
        blue += float(inFirst[i].blue) * w;
    }
    const float w = float(inWeight);
    return Color{roundChannel(blue / w), roundChannel(green / w), roundChannel(red / w), 0};
}

} // namespace

ColorHistogram::ColorHistogram() : m_cells(kCellCount, int32_t(kCellCount)) {}

void ColorHistogram::add(uint32_t inRGB, uint64_t inWeight)
{
    if (inWeight == 0)
        return;
    const uint32_t red = (inRGB >> 16) & 0xFF, green = (inRGB >> 8) & 0xFF, blue = inRGB & 0xFF;
    Cell& cell = m_cells[(red & 0xF0) << 4 | (green & 0xF0) | blue >> 4];
    const double w = double(inWeight);
    cell.red += red * w;
    cell.green += green * w;
    cell.blue += blue * w;
    cell.weight += inWeight;
}

void ColorHistogram::medianCut(uint32_t inMaxColors, SimpleArray<Color, 1>& outPalette) const
{
    SimpleArray<PData, 2> records(0, int32_t(kCellCount));
    uint64_t total = 0;
    for (const Cell& cell : m_cells) {
        if (cell.weight == 0)
            continue;
        const double w = double(cell.weight);
        records.append(PData{roundChannel(float(cell.blue / w)), roundChannel(float(cell.green / w)),
                             roundChannel(float(cell.red / w)), cell.weight});
        total += cell.weight;
    }
    SimpleArray<Box, 2> boxes;
    SimpleArray<uint32_t, 2> order; // box numbers, heaviest first
    if (records.count()) {
        boxes.append(Box{0, records.count(), kNotExamined, total});
        order.append(0);
    }

    while (order.count() < inMaxColors) {
        uint32_t at = 0;
        while (at < order.count() && (boxes[order[at]].count <= 1 || boxes[order[at]].extent <= 1))
            ++at;
        if (at == order.count())
            break;
        const uint32_t taken = order[at];
        PData* first = records.data() + boxes[taken].first;
        const uint32_t count = boxes[taken].count;
        const uint32_t redRange = range(first, count, &PData::red);
        const uint32_t greenRange = range(first, count, &PData::green);
        const uint32_t blueRange = range(first, count, &PData::blue);
        const uint32_t extent = std::max(redRange, std::max(greenRange, blueRange));
        boxes[taken].extent = extent;
        if (extent <= 1)
            continue;

        uint8_t PData::*channel = greenRange == extent ? &PData::green : redRange == extent ? &PData::red : &PData::blue;
        // Stable, so that records of equal value keep their cell order and the cut is reproducible.
        std::stable_sort(first, first + count,
                         [channel](const PData& a, const PData& b) { return a.*channel < b.*channel; });

        uint32_t split = 1;
        uint64_t kept = first[0].weight;
        while (split < count - 1 && 2 * kept < boxes[taken].weight)
            kept += first[split++].weight;

        const Box rest{boxes[taken].first + split, count - split, kNotExamined, boxes[taken].weight - kept};
        boxes[taken].count = split;
        boxes[taken].weight = kept;
        const uint32_t restId = boxes.count();
        boxes.append(rest);
        const uint32_t restAt = placeFor(order, boxes, at, rest.weight);
        order.insert(restAt, 1, &restId);
        if (restAt == at) // the rest is heavier than what the taken box kept
            ++at;

        // The taken box has become lighter: it moves down past every box at least as heavy.
        order.remove(at, 1);
        order.insert(placeFor(order, boxes, at, kept), 1, &taken);
    }

    outPalette.resize(0, int32_t(order.count()));
    for (uint32_t id : order)
        outPalette.append(boxMean(records.data() + boxes[id].first, boxes[id].count, boxes[id].weight));
    std::sort(outPalette.begin(), outPalette.end(),
              [](const Color& a, const Color& b) { return a.toRGB() < b.toRGB(); });
}

} // namespace _Mvx_Internal_NS_
