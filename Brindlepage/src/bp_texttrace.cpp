// The debugger trace of the captured text, in step with the host's document-structure comments: the text
// of the lines captured since the last flush goes out under the structure node it belongs to.
#include "bp_emfrenderer.h"
#include "bp_useroutput.h"

void EmfPageRenderer::FlushTextTrace()
{
    m_pendingText = false;
    if (m_pageZone && !m_pageText.empty()) {
        const Morvenix::String text(m_pageText);
        if (m_lastStructureNode.type == 3)
            TraceDebugOutput(L"  LEVEL=%d\n  TEXT=%s\n", int(m_lastStructureNode.level), text.wc_str());
        else
            TraceDebugOutput(L"  TEXT=%s\n", text.wc_str());
    }
    m_pageText.clear();
}

void EmfPageRenderer::TraceStructureEnd()
{
    if (!m_pageZone)
        return;
    FlushTextTrace();
    TraceDebugOutput(L"<<<<");
}

void EmfPageRenderer::FlushPendingText()
{
    if (m_pendingText)
        FlushTextTrace();
}
