// Exporter benchmark: page metafiles exported through CDjVuExporter as Office drives it (the name, one
// AddEmfPage a page, FinishDocument), timed as a whole (GDI+'s start-up included, after one untimed drawing
// that loads the fonts) with the process's committed memory sampled after every page; then the same pages once more through the exporter's steps one by one, to say where the time
// goes: the capture pass (and, drawn once more without capture, what the capture itself costs), the plain
// pass, the agreement mask, encodePage, the text and annotation chunks, the flush (JB2) and the writing.
// The capture pass's image of each page is written as RENDERDIR/page-N.ppm for the script's PSNR.
//   export_bench OUT.djvu RENDERDIR PAGE.emf...
#include "bp_exporter.h"
#include "bp_useroutput.h"
#include "djv_iff.h"
#include "djv_pageinfo.h"
#include "mvx_diskstorage.h"
#include "mvx_exception.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstring>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

using namespace Morvenix;
using namespace Morvenix::DjVu;

namespace {

typedef std::chrono::steady_clock Clock;

double secondsSince(Clock::time_point inStart)
{
    return std::chrono::duration<double>(Clock::now() - inStart).count();
}

uint64_t committedBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.PagefileUsage : 0;
}

int WINAPI printBox(HWND, const wchar_t* inText, const wchar_t* inCaption, UINT)
{
    std::fprintf(stderr, "%ls: %ls\n", inCaption, inText);
    return IDOK;
}

void writePpm(const T_Image& inImage, const std::string& inPath)
{
    std::ofstream out(inPath, std::ios::binary);
    out << "P6\n" << inImage.GetWidth() << " " << inImage.GetHeight() << "\n255\n";
    std::vector<char> row(size_t(inImage.GetWidth()) * 3);
    for (int32_t y = 0; y < inImage.GetHeight(); ++y) {
        const uint8_t* bgr = inImage.GetRow(y);
        for (size_t x = 0; x < size_t(inImage.GetWidth()); ++x) {
            row[x * 3] = char(bgr[x * 3 + 2]);
            row[x * 3 + 1] = char(bgr[x * 3 + 1]);
            row[x * 3 + 2] = char(bgr[x * 3]);
        }
        out.write(row.data(), std::streamsize(row.size()));
    }
}

uint32_t sizeOf(Chunk& inChunk)
{
    AutoPtr<Data> data = inChunk.getData();
    return data ? data->getSize() : 0;
}

struct Breakdown {
    double capture = 0, drawOnly = 0, plain = 0, mask = 0, encode = 0, chunks = 0, flush = 0, write = 0;
    std::map<std::string, uint64_t> layers;
};

// The exporter's steps one by one, with its parameters.
Breakdown stepByStep(const std::vector<HENHMETAFILE>& inPages, const char* inRenderDir)
{
    Breakdown b;
    EmfPageRenderer renderer;
    AutoPtr<DjVuEncoder> encoder = DjVuEncoder::create(1, 20, nullptr);
    AutoPtr<ChunkCollection> document = ChunkCollection::create("DJVM");
    DjVuEncoder::Params params(DjVuEncoder::emCompoundBoth, 12, 75, 3, 75);
    for (size_t i = 0; i < inPages.size(); ++i) {
        AutoPtr<TextZone> text = TextZone::create(TextZone::zonePage);
        AutoPtr<Annotation> annotation = Annotation::create(0, 0, Annotation::backgroundNone, 0, Annotation::modeColor);
        auto t = Clock::now();
        AutoPtr<T_Image> page = renderer.Render(inPages[i], text.get(), annotation.get(), true);
        b.capture += secondsSince(t);
        t = Clock::now();
        renderer.Render(inPages[i], nullptr, nullptr, true);
        b.drawOnly += secondsSince(t);
        t = Clock::now();
        AutoPtr<T_Image> plain = renderer.Render(inPages[i], nullptr, nullptr, false);
        b.plain += secondsSince(t);
        t = Clock::now();
        AutoPtr<T_Image> mask;
        CDjVuExporter::BuildAgreementMask(mask, *page, *plain);
        b.mask += secondsSince(t);
        plain.reset();
        t = Clock::now();
        AutoPtr<Chunk> form;
        encoder->encodePage(form, page->GetRow(0), page->GetRowStep(), phBGR, uint32_t(page->GetWidth()),
                            uint32_t(page->GetHeight()), 300, &params, mask->GetRow(0), mask->GetRowStep(), mtBits);
        b.encode += secondsSince(t);
        t = Clock::now();
        const PageInfo info{uint32_t(page->GetWidth()), uint32_t(page->GetHeight()), 25, 0, 300, 22, 1};
        form->getChildren().append(text->makeTXTz(info));
        form->getChildren().append(annotation->makeANTz(info));
        b.chunks += secondsSince(t);
        document->getChildren().append(form);
        writePpm(*page, std::string(inRenderDir) + "\\page-" + std::to_string(i + 1) + ".ppm");
    }
    auto t = Clock::now();
    encoder->flush();
    b.flush = secondsSince(t);
    for (AutoPtr<Chunk>& form : document->getChildren()) {
        CDjVuExporter::KeepSmallerForeground(*form);
        for (AutoPtr<Chunk>& child : form->getChildren())
            if (!child->isRedirector())
                b.layers[child->getId().c_str()] += sizeOf(*child);
    }
    t = Clock::now();
    AutoPtr<DiskStorage> out = DiskStorage::createTemp();
    IFF::serialize(out.get(), document.get(), nullptr, nullptr, IFF::smDefault, nullptr, nullptr);
    b.write = secondsSince(t);
    return b;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: export_bench OUT.djvu RENDERDIR PAGE.emf...\n");
        return 2;
    }
    SetMessageBoxFunction(&printBox);
    std::vector<HENHMETAFILE> pages;
    for (int i = 3; i < argc; ++i) {
        pages.push_back(GetEnhMetaFileA(argv[i]));
        if (!pages.back()) {
            std::fprintf(stderr, "%s: not a metafile\n", argv[i]);
            return 1;
        }
    }
    const std::wstring target(argv[1], argv[1] + std::strlen(argv[1]));

    // One untimed drawing of the first page first: GDI+'s and the font system's start-up in a fresh process
    // are not a page's cost (inside Office both have long been running).
    {
        ULONG_PTR token = 0;
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
        {
            EmfPageRenderer renderer;
            renderer.Render(pages.front(), nullptr, nullptr, true);
        }
        Gdiplus::GdiplusShutdown(token);
    }

    uint64_t before = committedBytes(), highest = before;
    const auto start = Clock::now();
    double finish = 0;
    {
        CDjVuExporter exporter;
        IMsoDocExporter* host = nullptr;
        exporter.QueryInterface(IID_IMsoDocExporter, reinterpret_cast<void**>(&host));
        host->SetOutputName(target.c_str());
        for (HENHMETAFILE page : pages) {
            if (host->AddEmfPage(page) != S_OK)
                return 1;
            highest = std::max(highest, committedBytes());
        }
        const auto t = Clock::now();
        if (host->FinishDocument() != S_OK)
            return 1;
        finish = secondsSince(t);
        highest = std::max(highest, committedBytes());
    }
    const double total = secondsSince(start);
    std::ifstream written(argv[1], std::ios::binary | std::ios::ate);
    std::printf("exporter pages %zu bytes %lld seconds %.3f finish %.3f committed_before_MB %.1f "
                "committed_peak_MB %.1f\n",
                pages.size(), (long long)written.tellg(), total, finish, before / 1048576.0, highest / 1048576.0);

    ULONG_PTR gdiplus = 0;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&gdiplus, &input, nullptr);
    try {
        const Breakdown b = stepByStep(pages, argv[2]);
        std::printf("steps capture_pass %.3f (drawing alone %.3f) plain_pass %.3f mask %.3f encodePage %.3f "
                    "txt_ant %.3f flush %.3f write %.3f\n",
                    b.capture, b.drawOnly, b.plain, b.mask, b.encode, b.chunks, b.flush, b.write);
        std::printf("layers");
        for (const auto& layer : b.layers)
            std::printf(" %s %llu", layer.first.c_str(), (unsigned long long)layer.second);
        std::printf("\n");
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    Gdiplus::GdiplusShutdown(gdiplus);
    for (HENHMETAFILE page : pages)
        DeleteEnhMetaFile(page);
    return 0;
}
