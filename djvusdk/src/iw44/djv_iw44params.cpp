// The IW44 parameter block and the chunk budgets each kind gets by default.
#include "djv_iw44encoder.h"

#include "mvx_exception.h"

#define MVX_SOURCE "djv_iw44params"

namespace Morvenix {
namespace DjVu {
namespace IW44 {

IW44Encoder::Params::Params(uint32_t inKind, uint32_t inQuality, uint32_t inChromaMode, uint32_t inCrcbDelay)
    : kind(inKind), quality(inQuality), chromaMode(inChromaMode), crcbDelay(inCrcbDelay), chunks(0, 128),
      callback(nullptr), userData(0)
{
}

void IW44Encoder::Params::configureChunks(uint32_t inKind, uint32_t inQuality)
{
    if (inQuality > 100)
        MVX_THROW(errInvalidParam, "inQuality must be in 0-100",
                  "Morvenix::DjVu::IW44::IW44Encoder::Params::configureChunks");
    const uint32_t q = inQuality;
    // The background's four chunks share out the slices 74 : 10 : 4 : 9.
    const uint32_t s = q * 96 / 75 + 1;
    const uint32_t background[4] = {s * 74 / 97, s * 84 / 97 - s * 74 / 97, s * 88 / 97 - s * 84 / 97,
                                    s - s * 88 / 97};
    uint32_t single = 0;
    switch (inKind) {
    case 0:
    case 3:
    case 4:
        chunks.setSize(0);
        single = q * 99 / 75 + 1;
        break;
    case 2:
        single = q * 92 / 75 + 1;
        break;
    case 5:
        single = q * 74 / 75 + 1;
        break;
    default:
        break;
    }
    const uint32_t oldCount = chunks.count();
    if (inKind == 1) {
        chunks.setSize(4);
        for (uint32_t i = 0; i < 4; ++i)
            chunks[i] = ChunkConfig{background[i], i < oldCount ? chunks[i].bytes : 0};
    } else if (single) {
        chunks.setSize(1);
        chunks[0] = ChunkConfig{single, oldCount ? chunks[0].bytes : 0};
    }
    for (uint32_t i = 0; i < chunks.count(); ++i) {
        if (chunks[i].slices == 0) {
            chunks.setSize(i);
            break;
        }
    }
    if (chunks.count() == 0)
        chunks.append(ChunkConfig{1, 0});
}

} // namespace IW44
} // namespace DjVu
} // namespace Morvenix
