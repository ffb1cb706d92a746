#include "exporter_test_support.h"

#include "bp_useroutput.h"
#include "djv_annotation.h"
#include "djv_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

namespace ExporterTest {

const wchar_t* const kLinkUrl = L"https://example.com/brindlepage/guide";

namespace {

UserOutputRecorder* g_recorder = nullptr;

int WINAPI recordBox(HWND inOwner, const wchar_t* inText, const wchar_t* inCaption, UINT inStyle)
{
    if (g_recorder)
        g_recorder->boxes.push_back({inText ? inText : L"", inCaption ? inCaption : L"", inStyle, inOwner});
    return IDOK;
}

void WINAPI recordTrace(const wchar_t* inText)
{
    if (g_recorder && inText)
        g_recorder->traces += inText;
}

std::wstring widen(const std::string& inText)
{
    return std::wstring(inText.begin(), inText.end());
}

} // namespace

UserOutputRecorder::UserOutputRecorder()
    : m_previousBox(SetMessageBoxFunction(&recordBox)), m_previousOutput(SetDebugOutputFunction(&recordTrace))
{
    g_recorder = this;
}

UserOutputRecorder::~UserOutputRecorder()
{
    g_recorder = nullptr;
    SetMessageBoxFunction(m_previousBox);
    SetDebugOutputFunction(m_previousOutput);
}

int pixelsPerInch()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

Metafile drawPage(int inWidthMm, int inHeightMm, const std::function<void(HDC)>& inDraw)
{
    const RECT frame{0, 0, inWidthMm * 100, inHeightMm * 100};
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, L"Brindlepage test\0page\0");
    if (!dc)
        return Metafile();
    inDraw(dc);
    return Metafile(CloseEnhMetaFile(dc));
}

void drawText(HDC inDC, int inX, int inY, const wchar_t* inText, int inPoints, COLORREF inColor)
{
    HFONT font = CreateFontW(-MulDiv(inPoints, pixelsPerInch(), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH, L"Liberation Sans");
    HGDIOBJ previous = SelectObject(inDC, font);
    SetTextAlign(inDC, TA_BASELINE | TA_LEFT);
    SetTextColor(inDC, inColor);
    SetBkMode(inDC, TRANSPARENT);
    ExtTextOutW(inDC, inX, inY, 0, nullptr, inText, UINT(wcslen(inText)), nullptr);
    SelectObject(inDC, previous);
    DeleteObject(font);
}

void markLink(HDC inDC, const RECT& inRect, const wchar_t* inUrl)
{
    std::vector<BYTE> data(24 + (wcslen(inUrl) + 1) * 2);
    const uint32_t signature = 0x50504E55, subtype = 0x201;
    const int32_t points[4] = {inRect.left, inRect.top, inRect.right, inRect.bottom};
    std::memcpy(&data[0], &signature, 4);
    std::memcpy(&data[4], &subtype, 4);
    std::memcpy(&data[8], points, 16);
    std::memcpy(&data[24], inUrl, (wcslen(inUrl) + 1) * 2);
    GdiComment(inDC, UINT(data.size()), data.data());
}

std::string pageText(int inNumber)
{
    return "Quarterly figures page " + std::to_string(inNumber);
}

Metafile reportPage(int inNumber, int inWidthMm, int inHeightMm)
{
    return drawPage(inWidthMm, inHeightMm, [&](HDC dc) {
        // Laid out on a page 100 mm wide, and scaled to the page's width.
        const double scale = inWidthMm / 100.0;
        const int dpi = pixelsPerInch();
        const auto px = [&](double inMm) { return int(inMm * scale * dpi / 25.4 + 0.5); };
        const auto pt = [&](int inPoints) { return std::max(1, int(inPoints * scale + 0.5)); };
        drawText(dc, px(10), px(15), widen(pageText(inNumber)).c_str(), pt(14));
        drawText(dc, px(10), px(25), L"Sales rose in every region this quarter.", pt(10));
        drawText(dc, px(10), px(31), L"Costs held steady against the plan.", pt(10));
        // A coloured box behind text, and a rule: background and line art.
        HBRUSH brush = CreateSolidBrush(RGB(200, 220, 250));
        const RECT box{px(10), px(40), px(90), px(60)};
        FillRect(dc, &box, brush);
        DeleteObject(brush);
        drawText(dc, px(14), px(52), L"Call-out in blue", pt(12), RGB(20, 40, 160));
        MoveToEx(dc, px(10), px(65), nullptr);
        LineTo(dc, px(90), px(65));
        drawText(dc, px(10), px(75), L"Read the guide", pt(10), RGB(0, 0, 200));
        markLink(dc, RECT{px(10), px(71), px(40), px(76)}, kLinkUrl);
    });
}

std::vector<Metafile> samplePages()
{
    std::vector<Metafile> pages;
    for (int i = 1; i <= 3; ++i) {
        const std::string path =
            MvxTest::windowsPath(MvxTest::sourceHostPath("samples/report/pages/page-000" + std::to_string(i) + ".emf"));
        pages.emplace_back(GetEnhMetaFileA(path.c_str()));
        EXPECT_TRUE(pages.back()) << path;
    }
    return pages;
}

MvxTest::NetpbmImage renderPage(HENHMETAFILE inPage)
{
    // GDI+ runs here for this render only, so that the exporter's tests see the exporter start it itself.
    ULONG_PTR gdiplus = 0;
    Gdiplus::GdiplusStartupInput input;
    EXPECT_EQ(Gdiplus::Ok, Gdiplus::GdiplusStartup(&gdiplus, &input, nullptr));
    struct Shutdown {
        ULONG_PTR token;
        ~Shutdown() { Gdiplus::GdiplusShutdown(token); }
    } shutdown{gdiplus};
    EmfPageRenderer renderer;
    Morvenix::AutoPtr<Morvenix::DjVu::TextZone> zone = Morvenix::DjVu::TextZone::create(1);
    Morvenix::AutoPtr<Morvenix::DjVu::Annotation> annotation = Morvenix::DjVu::Annotation::create(0, 0, 0xFFFFFFFFu, 0, 1);
    Morvenix::AutoPtr<T_Image> image = renderer.Render(inPage, zone.get(), annotation.get(), true);
    MvxTest::NetpbmImage out(uint32_t(image->GetWidth()), uint32_t(image->GetHeight()), 3);
    for (uint32_t y = 0; y < out.height; ++y) {
        const uint8_t* row = image->GetRow(int32_t(y));
        for (uint32_t x = 0; x < out.width; ++x) {
            out.at(x, y)[0] = row[x * 3 + 2];
            out.at(x, y)[1] = row[x * 3 + 1];
            out.at(x, y)[2] = row[x * 3];
        }
    }
    return out;
}

HRESULT exportAsOffice(CDjVuExporter& inExporter, const std::string& inPath, const std::vector<HENHMETAFILE>& inPages)
{
    IMsoDocExporter* host = nullptr;
    static const IID kSomeHostIid = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(S_OK, inExporter.QueryInterface(kSomeHostIid, reinterpret_cast<void**>(&host)));
    if (!host)
        return E_NOINTERFACE;
    host->AddRef();
    EXPECT_EQ(S_OK, host->SetOutputName(widen(inPath).c_str()));
    EXPECT_EQ(S_OK, host->SetDocumentLocale(0x409));
    EXPECT_EQ(S_OK, host->AddMetadataText(0, L"Quarterly report"));
    FILETIME created{};
    SYSTEMTIME when{2024, 3, 2, 5, 10, 30, 0, 0};
    SystemTimeToFileTime(&when, &created);
    EXPECT_EQ(S_OK, host->AddMetadataDate(9, &created));
    for (size_t i = 0; i < inPages.size(); ++i) {
        EXPECT_EQ(S_OK, host->AddEmfPage(inPages[i])) << "page " << i + 1;
        MSODOCEXOUTLINENODE node{};
        node.idNode = int32_t(i + 1);
        wcscpy(node.rgwchNodeText, L"Section");
        node.iDestPage = int32_t(i);
        EXPECT_EQ(S_OK, host->AddOutlineEntry(0, &node));
    }
    const HRESULT result = host->FinishDocument();
    host->Release();
    return result;
}

DocumentLayout parseDjvudump(const std::string& inDump)
{
    DocumentLayout layout;
    std::istringstream in(inDump);
    std::string line;
    size_t pageIndent = std::string::npos;
    while (std::getline(in, line)) {
        const size_t indent = line.find_first_not_of(' ');
        if (indent == std::string::npos)
            continue;
        const std::string id = line.substr(indent, line.find_first_of(" [", indent) - indent);
        if (id == "FORM:DJVM")
            layout.bundled = true;
        if (indent <= pageIndent)
            pageIndent = std::string::npos;
        if (id == "FORM:DJVI")
            ++layout.dictionaries;
        if (id == "FORM:DJVU") {
            pageIndent = indent;
            layout.pages.emplace_back();
        } else if (pageIndent != std::string::npos) {
            layout.pages.back().push_back(id);
        }
    }
    return layout;
}

std::vector<FolderEntry> listFolder(const std::string& inFolder)
{
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((inFolder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    do {
        if (std::strcmp(found.cFileName, ".") && std::strcmp(found.cFileName, ".."))
            entries.push_back({found.cFileName, found.dwFileAttributes});
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return entries;
}

std::string narrow(const std::wstring& inText)
{
    return std::string(Morvenix::String(inText.c_str()).c_str());
}

std::string errorBoxText(const UserOutputRecorder& inRecorder)
{
    EXPECT_EQ(1u, inRecorder.boxes.size());
    if (inRecorder.boxes.size() != 1)
        return std::string();
    const UserOutputRecorder::Box& box = inRecorder.boxes[0];
    EXPECT_EQ(std::wstring(L"DjVu Related Error"), box.caption);
    EXPECT_EQ(UINT(MB_ICONHAND | MB_TASKMODAL), box.style);
    return narrow(box.text);
}

std::string firstLine(const std::string& inText)
{
    return inText.substr(0, inText.find('\n'));
}

} // namespace ExporterTest
