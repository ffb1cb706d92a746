// The exporter's tests play the Office host: they draw page metafiles (with GDI, or read the committed
// LibreOffice-made ones), hand them to the exporter through its interface, and look at the written file
// with the outside DjVu tools. What the exporter shows the user or tells the debugger is recorded.
#pragma once

#include "bp_exporter.h"
#include "bp_useroutput.h"
#include "netpbm.h"
#include "test_support.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ExporterTest {

// Records the message boxes and debugger traces of the add-in while it lives; the boxes return IDOK.
class UserOutputRecorder {
public:
    struct Box {
        std::wstring text;
        std::wstring caption;
        UINT style;
        HWND owner;
    };
    UserOutputRecorder();
    ~UserOutputRecorder();
    UserOutputRecorder(const UserOutputRecorder&) = delete;
    UserOutputRecorder& operator=(const UserOutputRecorder&) = delete;

    std::vector<Box> boxes;
    std::wstring traces;

private:
    MessageBoxFunction m_previousBox;
    DebugOutputFunction m_previousOutput;
};

// A page metafile the test owns, as the host owns the ones it hands to the exporter.
struct MetafileDeleter {
    void operator()(HENHMETAFILE__* inMetafile) const { DeleteEnhMetaFile(inMetafile); }
};
typedef std::unique_ptr<HENHMETAFILE__, MetafileDeleter> Metafile;

// A page of the given size in millimetres recorded by GDI against the screen; the drawing's coordinates
// are the screen's pixels (see pixelsPerInch).
Metafile drawPage(int inWidthMm, int inHeightMm, const std::function<void(HDC)>& inDraw);
int pixelsPerInch();
// Text in a font of the given size in points (black unless a colour is given), left on its baseline at
// (x, y), as a host draws a text run: one EMR_EXTTEXTOUTW with its advances.
void drawText(HDC inDC, int inX, int inY, const wchar_t* inText, int inPoints, COLORREF inColor = RGB(0, 0, 0));
// The host's comment that marks a link to a URL over the rectangle (logical coordinates).
void markLink(HDC inDC, const RECT& inRect, const wchar_t* inUrl);
// A page with a heading, body text, a coloured box, a rule and a link; the text runs are named by
// pageText (inNumber from 1), the link by kLinkUrl.
Metafile reportPage(int inNumber, int inWidthMm = 100, int inHeightMm = 140);
std::string pageText(int inNumber);
extern const wchar_t* const kLinkUrl;

// The committed LibreOffice-made page metafiles of the sample report (three A4 pages, a link on one).
std::vector<Metafile> samplePages();

// The page as the exporter's capture pass draws it, as a PPM-like image (red, green, blue, top row first).
MvxTest::NetpbmImage renderPage(HENHMETAFILE inPage);

// Plays Office: the interface from QueryInterface, the name, the pages, the metadata, locale and outline
// calls the hosts make, the finish. Returns the finish's result; every page must be accepted.
HRESULT exportAsOffice(CDjVuExporter& inExporter, const std::string& inPath, const std::vector<HENHMETAFILE>& inPages);

// The chunk ids of each page of a bundled document, in order, as djvudump lists them (the page's own
// chunks, the INCL redirections included), and the number of shared DJVI components.
struct DocumentLayout {
    bool bundled = false;
    int dictionaries = 0;
    std::vector<std::vector<std::string>> pages;
};
DocumentLayout parseDjvudump(const std::string& inDump);

// The entries of a folder with their attributes.
struct FolderEntry {
    std::string name;
    DWORD attributes;
};
std::vector<FolderEntry> listFolder(const std::string& inFolder);

std::string narrow(const std::wstring& inText);

// The text of the one message box shown, which must be the exporter's error box (its caption and icon).
std::string errorBoxText(const UserOutputRecorder& inRecorder);
// The first line of a box's text: what failed, for which file, in words.
std::string firstLine(const std::string& inText);

} // namespace ExporterTest
