// The passes of the segmenter, in the order it runs them: blur, classification of blocks and pixels,
// then the clean-up passes (edge cutting, block deletion, noise deletion, expansion). They work on the
// work images of the segmenter (page at offset two blocks in both directions).
#pragma once

#include "djv_segworkimage.h"
#include "mvx_simplearray.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace Seg {

// Grey statistics of one block's window and the threshold they give.
struct BlockData {
    enum : uint32_t { kTwoClasses = 0, kNearlyUniform = 1, kOneClass = 2, kNotComputed = 0xFFFFFFFF };
    uint32_t kind = kNotComputed;
    // Fraction of the window's pixels in the dark class (0 unless two classes were found).
    float share = 0;
    float darkMean = 0;
    float lightMean = 0;
    // Pixels above this grey level are background.
    uint32_t threshold = 0;
};

// The records of all blocks of the blurred image, each computed on its first request.
class BlockGrid {
public:
    BlockGrid(const Config& inConfig, const ImageView& inBlurred);
    // The record of the block holding work pixel (inX, inY).
    const BlockData& get(uint32_t inX, uint32_t inY);

private:
    void compute(BlockData& outData, uint32_t inX, uint32_t inY) const;

    const Config& m_config;
    ImageView m_blurred;
    uint32_t m_gridWidth;
    SimpleArray<BlockData, 1> m_blocks;
};

// 3x3 binomial blur of the page area; the margins are copied.
void blur(const Config& inConfig, const ImageView& inGray, const ImageView& outBlurred);

// Splits every block of the classified range by its threshold, or decides it whole as foreground or
// background (marking it 0 in the block image).
void classify(const Config& inConfig, const ImageView& inGray, const ImageView& inBlurred,
              const ImageView& ioSegmented, const ImageView& ioBlocks);

// Cuts foreground along the ridges of strong grey edges.
void detectEdges(const ImageView& inGray, const ImageView& ioSegmented);

// Turns foreground areas that reach into blocks decided whole into background, flipping what they
// enclose. inScratch is a byte buffer at least as large as the segmentation image.
void deleteBlocks(const Config& inConfig, const ImageView& ioSegmented, const ImageView& inBlocks,
                  uint8_t* inScratch);

// Erases small isolated pieces and low-contrast pieces of foreground.
void deleteNoise(const Config& inConfig, const ImageView& ioSegmented, const ImageView& inBlurred);

// Grows the foreground into its 4-neighbours where they are not too exposed (all of them with expandFully).
void expand(const Config& inConfig, const ImageView& ioSegmented);

} // namespace Seg
} // namespace DjVu
} // namespace Morvenix
