// Classifying the shapes of JB2 pages against prototypes: a shape close enough to an earlier one becomes
// an exact copy or a refinement of it, and the prototypes that later pages use move into a shared
// dictionary. The JB2 encoder runs it once, when it first builds its dictionary.
#pragma once

#include "djv_jb2page.h"
#include "djv_jb2shape.h"

#include <cstdint>
#include <map>
#include <unordered_map>

namespace _Mvx_Internal_NS_ {

class ShapeClassifier {
public:
    // In pixels from the bitmap's top-left corner.
    struct Centroid {
        double x;
        double y;
    };
    // Keyed by shape identity; lives for one classification run, an entry made on first use and redone
    // when a comparison rewrites that shape's bitmap.
    typedef std::unordered_map<const Morvenix::DjVu::JB2::Shape*, Centroid> CentroidCache;
    // Each prototype that some shape was matched or refined against, with its index in the list classified.
    typedef std::map<const Morvenix::DjVu::JB2::Shape*, uint32_t> PrototypeIndex;
    typedef Morvenix::SimpleArray<Morvenix::AutoPtr<Morvenix::DjVu::JB2::JB2Page>, 1> PageList;

    // Returned by the comparisons for a pair too far apart in size or alignment to be compared.
    static constexpr uint32_t kNotComparable = 0xFFFFFFFFu;
    // The comparisons and the classifier take part only up to this many pixels in either direction.
    static constexpr uint32_t kMaxSide = 64;

    static const Centroid& getCentroid(CentroidCache& ioCache, const Morvenix::DjVu::JB2::Shape& inShape);

    // Differing pixels of the two bitmaps aligned on their centroids; changes nothing.
    static uint32_t compareShapes(const Morvenix::DjVu::JB2::Shape& inA, const Morvenix::DjVu::JB2::Shape& inB,
                                  CentroidCache& ioCache);

    // Flips the differing pixels that have no differing neighbour in the shape given second (mode 1), so
    // that it agrees with the other, crops it to its ink and moves it; returns the pixels flipped. When
    // the first shape is the taller the roles swap (mode 0) and the second is still the one rewritten. A
    // shape whose ink would all be flipped away is left as it was (result 0).
    static uint32_t removeIsolatedDifferences(Morvenix::DjVu::JB2::Shape& inA, Morvenix::DjVu::JB2::Shape& inB,
                                              CentroidCache& ioCache, uint8_t inMode);

    // Each shape of the list, in order, becomes a copy or a refinement of the closest earlier prototype
    // within inMatchThreshold percent of its area, or a prototype itself. A non-zero inSecondCompare lets
    // the shape's isolated differing pixels be removed before copy and refinement are told apart (lossy).
    // Only the shape being classified is ever rewritten: once its turn is over, a shape keeps its pixels
    // and place, so that every copy stays exactly what it replaced.
    static void classify(Morvenix::DjVu::JB2::ShapeList& ioShapes, PrototypeIndex& outPrototypeIndex,
                         uint32_t inSecondCompare, uint32_t inMatchThreshold);

    // One page's shapes among themselves.
    static void buildPageDictionary(Morvenix::DjVu::JB2::JB2Page& ioPage, uint32_t inSecondCompare,
                                    uint32_t inMatchThreshold);

    // The shapes of all pages as one list; the prototypes that a later page uses, with every prototype
    // they refine, move into the (empty) dictionary, and their places on their own page become copies.
    static void buildSharedDictionary(PageList& ioPages, Morvenix::DjVu::JB2::JB2Dictionary& ioDictionary,
                                      uint32_t inSecondCompare, uint32_t inMatchThreshold);

    // Shapes in position order: lower on the page first, then left to right.
    static bool isBeforeInPosition(const Morvenix::DjVu::JB2::Shape& inA, const Morvenix::DjVu::JB2::Shape& inB)
    {
        return inA.getY() > inB.getY() || (inA.getY() == inB.getY() && inA.getX() < inB.getX());
    }
};

} // namespace _Mvx_Internal_NS_
