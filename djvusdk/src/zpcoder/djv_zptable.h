// The adaptation table shared by the ZP encoder and decoder.
#pragma once

#include <cstdint>

namespace Morvenix {
namespace DjVu {
namespace ZPTable {

struct State {
    uint16_t p;  // LPS interval
    uint16_t m;  // adaptation threshold of an MPS
    uint8_t up;  // next state after an adapting MPS
    uint8_t dn;  // next state after an LPS
};

const int kStateCount = 251;
extern const State kStates[kStateCount];

// Each coder keeps its own copy, split into the four arrays its inner loops index by context; the entries
// past the last state are zero and unreachable.
inline void fill(uint32_t* outP, uint32_t* outM, uint8_t* outUp, uint8_t* outDn)
{
    for (int i = 0; i < 256; ++i) {
        const bool known = i < kStateCount;
        outP[i] = known ? kStates[i].p : 0;
        outM[i] = known ? kStates[i].m : 0;
        outUp[i] = known ? kStates[i].up : 0;
        outDn[i] = known ? kStates[i].dn : 0;
    }
}

} // namespace ZPTable
} // namespace DjVu
} // namespace Morvenix
