#include "bp_emfrenderer.h"

// Not captured yet: host comments add no links.
void EmfPageRenderer::ReadHostComment(const uint8_t*, uint32_t) {}
Morvenix::Rect EmfPageRenderer::LinkRectFromComment(const uint8_t*, uint32_t) const
{
    return Morvenix::Rect{0, 0, 0, 0};
}
void EmfPageRenderer::AddLinkArea(const Morvenix::Rect&, const Morvenix::String&) {}
Morvenix::String EmfPageRenderer::FormatPageLink(uint32_t)
{
    return Morvenix::String();
}
