// Slice-by-slice coding of one plane's coefficients through the ZP coder, in the order and with the
// contexts of the IW44 format, and the estimate of the error that remains.
#pragma once

#include "djv_iw44map.h"
#include "djv_zpcoder.h"
#include "mvx_referable.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace IW44 {

// The coding state shared by both directions of the format: thresholds, states and contexts.
class ComponentCodec : public Referable {
public:
    static const uint32_t kBands = 10;
    enum State : uint8_t { ZERO = 1, ACTIVE = 2, NEW = 4, UNK = 8 };

    ComponentCodec();
    ~ComponentCodec() override;

protected:
    // First bucket and bucket count of each band.
    static const uint8_t kBandFirst[kBands + 1];

    uint32_t m_quantHi[kBands];
    uint32_t m_quantLo[16];
    uint8_t m_coeffState[256];
    uint8_t m_bucketState[16];
    uint8_t m_startContext[32];
    uint8_t m_bucketContext[kBands][8];
    uint8_t m_mantissaContext;
    uint8_t m_rootContext;
};

class ComponentEncoder : public ComponentCodec {
public:
    ComponentEncoder(uint32_t inWidth, uint32_t inHeight);
    ~ComponentEncoder() override;

    // Transforms the plane (paddedWidth x paddedHeight samples of the map) in place and takes its
    // coefficients.
    void decomposePlane(int16_t* ioPlane);
    // Drops finer detail: level 2 or 3 keeps buckets 0-15, 4 to 7 buckets 0-3, 8 and above bucket 0.
    void cutResolution(uint32_t inLevel);
    // Codes the current band of every block; false once the plane is finished (nothing is coded then).
    bool codeSlice(ZPEncoder& ioCoder);
    // Mean squared error of what has been coded, in sample units squared (the samples are x64).
    float estimateMSE() const;

    const Map& coefficients() const { return *m_coeffs; }

private:
    bool isNullSlice();
    void encodeBuckets(ZPEncoder& ioCoder, uint32_t inBlock);

    AutoPtr<Map> m_coeffs;
    AutoPtr<Map> m_coded;
    int32_t m_round;
    uint32_t m_band;
};

} // namespace IW44
} // namespace DjVu
} // namespace Morvenix
