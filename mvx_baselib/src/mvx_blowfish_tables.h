// Blowfish's initial tables (generated; see mvx_blowfish_tables.cpp).
#pragma once

#include <cstdint>

namespace Morvenix {
namespace BlowfishTables {

extern const uint32_t kInitialP[18];
extern const uint32_t kInitialS[4][256];

} // namespace BlowfishTables
} // namespace Morvenix
