// The reading side of the "(maparea ...)" expression: one map area built from the items of a parsed
// expression.
#pragma once

#include "djv_annoparse.h"
#include "djv_mapareas.h"
#include "djv_pageinfo.h"
#include "mvx_string.h"

namespace Morvenix {
namespace DjVu {

// Appends to ioAreas the area that the items of one "maparea" expression describe (keyword included, as
// parsed), on the page inInfo of rotation inRotation: text coordinates are bottom-up in that orientation,
// the area's are top-down in the same orientation. A malformed expression adds nothing and goes to the
// debug trace; a bad colour throws errDataBroken and adds nothing.
void parseMapArea(MapAreas& ioAreas, const AnnoParse::Elements& inItems, const PageInfo& inInfo,
                  int inRotation);

// A link "#file://.../name" becomes "#name"; any other URL is returned unchanged.
String rewriteMapAreaUrl(const String& inUrl);

} // namespace DjVu
} // namespace Morvenix
