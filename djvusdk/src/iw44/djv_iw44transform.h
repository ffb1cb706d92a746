// The IW44 forward lifting wavelet over one plane of signed 16-bit samples.
#pragma once

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace IW44 {

// Decomposes the inWidth x inHeight area of the plane (rows inRowSize samples apart) in place, scales 1 to
// 16; samples outside the area are left as they are.
void forwardTransform(int16_t* ioPlane, uint32_t inWidth, uint32_t inHeight, uint32_t inRowSize);

} // namespace IW44
} // namespace DjVu
} // namespace Morvenix
