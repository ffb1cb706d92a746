// The debugger trace of the captured text, in step with the host's document-structure comments: the text
// of the lines captured since the last flush goes out under the structure node it belongs to.
#include "bp_emfrenderer.h"

void EmfPageRenderer::FlushTextTrace()
{
    m_pendingText = false;
    if (m_pageZone && !m_pageText.isEmpty()) {
        const Morvenix::String trace =
            m_lastStructureNode.type == 3
                ? Morvenix::String::format("  LEVEL=%d\n  TEXT=%s\n", int(m_lastStructureNode.level), m_pageText.c_str())
                : Morvenix::String::format("  TEXT=%s\n", m_pageText.c_str());
        OutputDebugStringW(trace.wc_str());
    }
    m_pageText.clear();
}

void EmfPageRenderer::TraceStructureEnd()
{
    if (!m_pageZone)
        return;
    FlushTextTrace();
    OutputDebugStringW(L"<<<<");
}

void EmfPageRenderer::FlushPendingText()
{
    if (m_pendingText)
        FlushTextTrace();
}
