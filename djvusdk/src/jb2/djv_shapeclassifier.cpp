// Linking shapes to prototypes, one page at a time or across the pages of a group.
#include "djv_shapeclassifier.h"

#include <vector>

namespace _Mvx_Internal_NS_ {

using namespace Morvenix;
using namespace Morvenix::DjVu;
using namespace Morvenix::DjVu::JB2;

namespace {

uint32_t sizeKey(const Shape& inShape)
{
    return (inShape.getHeight() << 16) + inShape.getWidth();
}

} // namespace

void ShapeClassifier::classify(ShapeList& ioShapes, PrototypeIndex& outPrototypeIndex, uint32_t inSecondCompare,
                               uint32_t inMatchThreshold)
{
    // Prototypes by size key, each list in the order its prototypes were accepted.
    std::map<uint32_t, std::vector<uint32_t>> prototypes;
    CentroidCache cache;
    const uint32_t count = ioShapes.count();
    for (uint32_t i = 0; i < count; ++i) {
        Shape& s = *ioShapes[i];
        const uint32_t width = s.getWidth(), height = s.getHeight();
        if (width > kMaxSide || height > kMaxSide)
            continue;
        const uint32_t key = sizeKey(s);
        // In 64 bits: the caller's threshold may be any number.
        const uint64_t allowed = uint64_t(height) * width * inMatchThreshold / 100;

        // Same height, one pixel narrower or as wide; the first strictly smaller count wins.
        uint32_t best = kNotComparable;
        uint32_t bestIndex = 0;
        for (uint32_t k = key - 1; k != key + 1; ++k) {
            const auto found = prototypes.find(k);
            if (found == prototypes.end())
                continue;
            for (uint32_t j : found->second) {
                const uint32_t c = compareShapes(*ioShapes[j], s, cache);
                if (c < best) {
                    best = c;
                    bestIndex = j;
                }
            }
        }

        if (best != kNotComparable && best < allowed) {
            const AutoPtr<Shape> prototype = ioShapes[bestIndex];
            if (inSecondCompare) {
                const uint32_t flipped = removeIsolatedDifferences(*prototype, s, cache, 1);
                if (flipped != kNotComparable)
                    best -= flipped;
            }
            // A copy is drawn as its prototype at the copy's place: only a shape whose pixels are now the
            // prototype's can be one, or whole glyphs would land a column or a row off.
            if (best == 0 && s.getBitmap().samePixels(prototype->getBitmap())) {
                outPrototypeIndex[prototype.get()] = bestIndex;
                s.setMatch(prototype);
                continue;
            }
            // The prototype is refined as it is: copies of it, here, on earlier pages or in the dictionary,
            // are already drawn with its pixels and would move with any rewrite of them.
            outPrototypeIndex[prototype.get()] = bestIndex;
            s.setRefinement(prototype);
        }
        // A refinement is a prototype too; the key is the shape's size now, after any rewrite.
        if (best != 0 || s.getType() == Refinement)
            prototypes[sizeKey(s)].push_back(i);
    }
}

void ShapeClassifier::buildPageDictionary(JB2Page& ioPage, uint32_t inSecondCompare, uint32_t inMatchThreshold)
{
    PrototypeIndex prototypeIndex;
    classify(ioPage.getShapes(), prototypeIndex, inSecondCompare, inMatchThreshold);
}

void ShapeClassifier::buildSharedDictionary(PageList& ioPages, JB2Dictionary& ioDictionary,
                                            uint32_t inSecondCompare, uint32_t inMatchThreshold)
{
    const uint32_t pageCount = ioPages.count();
    ShapeList combined(0, 128);
    SimpleArray<uint32_t, 2> firstIndex(0, 128);
    for (uint32_t p = 0; p < pageCount; ++p) {
        ShapeList& shapes = ioPages[p]->getShapes();
        firstIndex.append(combined.count());
        combined.insert(combined.count(), shapes.count(), shapes.data());
        shapes.free();
    }
    firstIndex.append(combined.count());

    PrototypeIndex prototypeIndex;
    classify(combined, prototypeIndex, inSecondCompare, inMatchThreshold);

    // A prototype that a later page uses goes into the dictionary with every prototype it refines.
    std::vector<bool> shared(combined.count(), false);
    uint32_t sharedCount = 0;
    for (uint32_t p = 0; p < pageCount; ++p) {
        for (uint32_t i = firstIndex[p]; i < firstIndex[p + 1]; ++i) {
            const Shape* r = combined[i]->getReference();
            PrototypeIndex::const_iterator found = r ? prototypeIndex.find(r) : prototypeIndex.end();
            if (found == prototypeIndex.end() || found->second >= firstIndex[p])
                continue;
            // A marked shape has its chain marked already.
            for (const Shape* up = r; up; up = up->getReference()) {
                const PrototypeIndex::const_iterator it = prototypeIndex.find(up);
                if (it == prototypeIndex.end() || shared[it->second])
                    break;
                shared[it->second] = true;
                ++sharedCount;
            }
        }
    }

    // In combined order, which is page order and then each page's shape order; each one's place on its
    // own page becomes a copy of it.
    ShapeList& dictionary = ioDictionary.getShapes();
    dictionary.reserve(dictionary.count() + sharedCount);
    for (uint32_t i = 0; i < combined.count(); ++i) {
        if (!shared[i])
            continue;
        const AutoPtr<Shape> d = combined[i];
        dictionary.append(d);
        Color color;
        d->getColor(color);
        combined[i] = Shape::createMatch(d, d->getX(), d->getY());
        combined[i]->setColor(color);
    }

    for (uint32_t p = 0; p < pageCount; ++p)
        ioPages[p]->getShapes().insert(0, firstIndex[p + 1] - firstIndex[p], combined.data() + firstIndex[p]);
}

} // namespace _Mvx_Internal_NS_
