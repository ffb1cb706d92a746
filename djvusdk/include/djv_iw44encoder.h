// The IW44 wavelet encoder of one colour or grey image: a progressive sequence of IW44 chunks ("BG44",
// "FG44" and the other kinds), each refining the picture of the chunks before it by a number of slices.
#pragma once

#include "djv_chunk.h"
#include "djv_image.h"
#include "mvx_referable.h"
#include "mvx_simplearray.h"
#include "mvx_stream.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace IW44 {

class IW44Encoder : public Referable {
public:
    // Budget of one chunk: most slices (0: no limit) and most code-stream bytes (0: no limit).
    struct ChunkConfig {
        uint32_t slices;
        uint32_t bytes;
    };
    // Called after every coded slice with the chunk's serial number, its slices so far and its code-stream
    // bytes so far: 1 ends the chunk, 2 abandons the layer (no chunk, nothing more), anything else goes on.
    typedef int (*ProgressCallback)(IW44Encoder* inEncoder, uint32_t inSerial, uint32_t inSlices,
                                    uint32_t inBytes, uintptr_t inUserData);

    struct Params {
        Params(uint32_t inKind, uint32_t inQuality, uint32_t inChromaMode, uint32_t inCrcbDelay);
        // Fills chunks with the slice table of the kind at the quality (0-100).
        void configureChunks(uint32_t inKind, uint32_t inQuality);

        // 0 "IW44", 1 "BG44", 2 "FG44", 3 "PM44", 4 "BM44", 5 "TH44".
        uint32_t kind;
        uint32_t quality;
        // 0 luminance only, 1 chroma at half resolution, any other value full chroma.
        uint32_t chromaMode;
        // Slices coded for luminance alone before chroma joins; 255 stands for the default.
        uint32_t crcbDelay;
        // Budget of each chunk in order; empty with no callback and no user data: derived from kind and
        // quality.
        SimpleArray<ChunkConfig, 1> chunks;
        ProgressCallback callback;
        uintptr_t userData;
    };

    // Codes the next chunk's body (header and code stream) into outStorage; false once the layer is done.
    // outSize, when given, receives the body's byte count.
    virtual bool encode(Storage* outStorage, uint32_t* outSize) = 0;
    // The next chunk, or null once the layer is done.
    virtual void encodeChunk(AutoPtr<Chunk>& outChunk) = 0;
    // Mean squared error of the luminance, in pixel units, after the chunks coded so far.
    virtual float calculateMSE() = 0;

    // The pixels (first row at inPixels, rows inStride bytes apart, negative for bottom-up) are read by the
    // first chunk and must stay valid until then. Sizes: 1 to 65535; the row step must hold a row.
    static AutoPtr<IW44Encoder> create(const void* inPixels, int32_t inStride, Photometric inPhotometric,
                                       uint32_t inWidth, uint32_t inHeight, const Params* inParams);

protected:
    IW44Encoder() {}
};

} // namespace IW44
} // namespace DjVu
} // namespace Morvenix
