// The debugger trace of the host's document-structure comments: which node of the document the text that
// follows belongs to, so that the capture of a page can be followed against the document's structure.
#include "bp_exporter.h"

#include "bp_useroutput.h"

namespace {

// The host's structure node types from -1 on.
const wchar_t* const StructureTypeNames[] = {
    L"Nil",        L"Para",       L"Figure",      L"Article",    L"Heading",   L"Table",      L"TR",
    L"TD",         L"TH",         L"List",        L"ListItem",   L"ListBody",  L"Document",   L"Page",
    L"TOC",        L"TOCI",       L"ExtLink",     L"IntLink",    L"Footnote",  L"Endnote",    L"Textbox",
    L"Header",     L"Footer",     L"InlineShape", L"Annotation", L"SpanBlock", L"LinkObjR",   L"Artifact",
    L"Span",       L"Workbook",   L"Worksheet",   L"Macrosheet", L"Chartsheet", L"Dialogsheet", L"Slide",
    L"Chart",      L"Diagram"};

const wchar_t* structureTypeName(int32_t inType)
{
    const int64_t index = int64_t(inType) + 1;
    if (index < 0 || index >= int64_t(sizeof StructureTypeNames / sizeof StructureTypeNames[0]))
        return L"???";
    return StructureTypeNames[index];
}

} // namespace

void CDjVuExporter::DumpStructureNode(EmfPageRenderer& inRenderer, const StructureNodeTrace& inNode)
{
    // Only the capture pass traces: the plain pass plays the same comments again.
    if (!inRenderer.HasPageZone())
        return;
    if (inRenderer.PendingText())
        inRenderer.FlushTextTrace();
    // A copy first: the node may be the renderer's own last node, which is replaced below.
    const StructureNodeTrace node = inNode;
    TraceDebugOutput(L"%s ID=%d PARENT=%d, SORTORDER=%d\n", structureTypeName(node.type), int(node.id),
                     int(node.parentId), int(node.sortOrder));
    if (!node.altText.isEmpty())
        TraceDebugOutput(L"  ALTTEXT=\"%s\"\n", node.altText.wc_str());
    inRenderer.LastStructureNode() = node;
    if (node.hasText) {
        // The text collected up to the next structure comment is traced then, under this node.
        inRenderer.PendingText() = true;
    } else {
        inRenderer.PendingText() = false;
        TraceDebugOutput(L">>>>");
    }
}
