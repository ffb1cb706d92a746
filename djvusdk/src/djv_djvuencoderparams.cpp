// The page encoder's parameter block and its defaults.
#include "djv_djvuencoder.h"

namespace Morvenix {
namespace DjVu {

DjVuEncoder::Params::Params(uint32_t inMode, uint32_t inFgSubsample, uint32_t inFgQuality, uint32_t inBgSubsample,
                            uint32_t inBgQuality)
    : mode(inMode), fgSubsample(inFgSubsample), fgParams(2, inFgQuality, 2, 255), bgSubsample(inBgSubsample),
      bgParams(1, inBgQuality, 2, 255), segmenterParams(Segmenter::defaultParams()),
      jb2Params(JB2::JB2Encoder::defaultParams()), flags(0)
{
}

} // namespace DjVu
} // namespace Morvenix
