#include "bp_emfrenderer.h"

void EmfPageRenderer::FlushTextTrace()
{
    m_pendingText = false;
}
void EmfPageRenderer::TraceStructureEnd() {}
void EmfPageRenderer::FlushPendingText()
{
    if (m_pendingText)
        FlushTextTrace();
}
