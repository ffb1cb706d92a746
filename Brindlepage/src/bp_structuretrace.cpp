#include "bp_exporter.h"

void CDjVuExporter::DumpStructureNode(EmfPageRenderer&, const StructureNodeTrace&) {}
