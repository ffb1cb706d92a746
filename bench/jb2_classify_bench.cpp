// Shape classifier benchmark: synthetic text-like pages (a fixed set of glyph kinds, each instance with
// noise along its edges, as a scan gives), classified per page and through one shared dictionary, with
// lossless (secondCompare 0) and default lossy settings.
//   jb2_classify_bench [PAGES [SHAPES_PER_PAGE]]   defaults 20 and 2500
// Prints, per setting: seconds (best of three), milliseconds per page, copies, refinements, shapes left
// Normal and dictionary shapes.
#include "../djvusdk/src/jb2/djv_shapeclassifier.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu::JB2;
using _Mvx_Internal_NS_::ShapeClassifier;

namespace {

// A glyph kind: a few thick strokes in a box of 10 to 40 pixels.
ShapeBitmap makeKind(std::mt19937& ioRng)
{
    const uint32_t w = 10 + ioRng() % 31, h = 10 + ioRng() % 31;
    ShapeBitmap b(w, h);
    for (uint32_t stroke = 0, strokes = 2 + ioRng() % 3; stroke < strokes; ++stroke) {
        const double x0 = ioRng() % w, y0 = ioRng() % h, x1 = ioRng() % w, y1 = ioRng() % h;
        const uint32_t pen = 2 + ioRng() % 3;
        for (uint32_t step = 0; step <= 64; ++step) {
            const double t = step / 64.0;
            const uint32_t cx = uint32_t(x0 + (x1 - x0) * t), cy = uint32_t(y0 + (y1 - y0) * t);
            for (uint32_t y = cy; y < cy + pen && y < h; ++y)
                for (uint32_t x = cx; x < cx + pen && x < w; ++x)
                    b.setPixel(x, y, true);
        }
    }
    return b;
}

// An instance: ink pixels that touch blank ones flip with a small chance; then cut to the ink's box.
ShapeBitmap makeInstance(const ShapeBitmap& inKind, std::mt19937& ioRng)
{
    const uint32_t w = inKind.getWidth(), h = inKind.getHeight();
    ShapeBitmap noisy(inKind);
    uint32_t left = w, right = 0, top = h, bottom = 0;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const bool ink = inKind.getPixel(x, y);
            const bool edge = ink && (x == 0 || y == 0 || x + 1 == w || y + 1 == h || !inKind.getPixel(x - 1, y) ||
                                      !inKind.getPixel(x + 1, y) || !inKind.getPixel(x, y - 1) ||
                                      !inKind.getPixel(x, y + 1));
            const bool set = edge && ioRng() % 100 < 4 ? false : ink;
            noisy.setPixel(x, y, set);
            if (set) {
                left = x < left ? x : left;
                right = x > right ? x : right;
                top = y < top ? y : top;
                bottom = y > bottom ? y : bottom;
            }
        }
    }
    ShapeBitmap cut(right - left + 1, bottom - top + 1);
    for (uint32_t y = top; y <= bottom; ++y)
        for (uint32_t x = left; x <= right; ++x)
            cut.setPixel(x - left, y - top, noisy.getPixel(x, y));
    return cut;
}

struct Tally {
    uint32_t copies = 0, refinements = 0, normal = 0, dictionary = 0;
};

ShapeClassifier::PageList makePages(const std::vector<std::vector<ShapeBitmap>>& inBitmaps)
{
    ShapeClassifier::PageList pages;
    for (const std::vector<ShapeBitmap>& bitmaps : inBitmaps) {
        AutoPtr<JB2Page> page = JB2Page::create(2550, 3300);
        ShapeList& shapes = page->getShapes();
        for (size_t i = 0; i < bitmaps.size(); ++i)
            shapes.append(Shape::create(bitmaps[i], int32_t(i % 80) * 30, int32_t(i / 80) * 50, Normal));
        pages.append(page);
    }
    return pages;
}

double run(const std::vector<std::vector<ShapeBitmap>>& inBitmaps, bool inShared, uint32_t inSecondCompare,
           Tally& outTally)
{
    double best = 1e30;
    for (int attempt = 0; attempt < 3; ++attempt) {
        ShapeClassifier::PageList pages = makePages(inBitmaps);
        AutoPtr<JB2Dictionary> dictionary = JB2Dictionary::create();
        const auto start = std::chrono::steady_clock::now();
        if (inShared) {
            ShapeClassifier::buildSharedDictionary(pages, *dictionary, inSecondCompare, 21);
        } else {
            for (uint32_t p = 0; p < pages.count(); ++p)
                ShapeClassifier::buildPageDictionary(*pages[p], inSecondCompare, 21);
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = seconds < best ? seconds : best;
        Tally t;
        for (uint32_t p = 0; p < pages.count(); ++p) {
            for (const AutoPtr<Shape>& s : static_cast<const JB2Page&>(*pages[p]).getShapes()) {
                t.copies += s->getType() == Match;
                t.refinements += s->getType() == Refinement;
                t.normal += s->getType() == Normal;
            }
        }
        t.dictionary = static_cast<const JB2Dictionary&>(*dictionary).getShapes().count();
        outTally = t;
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t pageCount = argc > 1 ? uint32_t(std::atoi(argv[1])) : 20;
    const uint32_t perPage = argc > 2 ? uint32_t(std::atoi(argv[2])) : 2500;
    std::mt19937 rng(7);
    std::vector<ShapeBitmap> kinds;
    for (int k = 0; k < 80; ++k)
        kinds.push_back(makeKind(rng));
    std::vector<std::vector<ShapeBitmap>> bitmaps(pageCount);
    for (std::vector<ShapeBitmap>& page : bitmaps)
        for (uint32_t i = 0; i < perPage; ++i)
            page.push_back(makeInstance(kinds[rng() % kinds.size()], rng));

    std::printf("%u pages of %u shapes (%zu glyph kinds)\n", pageCount, perPage, kinds.size());
    std::printf("%-22s %9s %9s %8s %8s %8s %8s\n", "setting", "seconds", "ms/page", "copies", "refines", "normal",
                "dict");
    for (bool shared : {false, true}) {
        for (uint32_t secondCompare : {0u, 1u}) {
            Tally t;
            const double seconds = run(bitmaps, shared, secondCompare, t);
            char name[32];
            std::snprintf(name, sizeof name, "%s %s", shared ? "shared" : "per-page",
                          secondCompare ? "lossy" : "lossless");
            std::printf("%-22s %9.3f %9.2f %8u %8u %8u %8u\n", name, seconds, seconds * 1000 / pageCount, t.copies,
                        t.refinements, t.normal, t.dictionary);
        }
    }
    return 0;
}
