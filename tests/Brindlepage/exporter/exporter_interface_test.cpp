// The exporter's interface as the host sees it: identity, the slots that do nothing, the traces of the
// metadata, locale and outline calls, and the calls that come too early, too late or with nothing.
#include "exporter_test_support.h"

#include "bp_useroutput.h"

#include <dispex.h>
#include <inspectable.h>
#include <ocidl.h>
#include <servprov.h>

#include <functional>
#include <utility>
#include <vector>

using namespace ExporterTest;

namespace {

// The host's exporter identifier is not published, so IUnknown and identifiers the exporter does not know
// are answered with the exporter; the system's interfaces that it does not implement are refused, so that
// no caller of one of them lands in the exporter's slots.
TEST(ExporterInterface, AnswersUnknownIdentifiersAndRefusesTheSystemsInterfaces)
{
    CDjVuExporter exporter;
    static const IID kUnknownHostIid = {0xA1B2C3D4, 0x1111, 0x2222, {3, 3, 4, 4, 5, 5, 6, 6}};
    const struct {
        const char* name;
        const IID* iid;
        HRESULT result;
    } cases[] = {
        {"IUnknown", &IID_IUnknown, S_OK},
        {"the add-in's exporter identifier", &IID_IMsoDocExporter, S_OK},
        {"an identifier of the host's own", &kUnknownHostIid, S_OK},
        {"IMarshal", &IID_IMarshal, E_NOINTERFACE},
        {"IAgileObject", &IID_IAgileObject, E_NOINTERFACE},
        {"INoMarshal", &IID_INoMarshal, E_NOINTERFACE},
        {"IStdMarshalInfo", &IID_IStdMarshalInfo, E_NOINTERFACE},
        {"IExternalConnection", &IID_IExternalConnection, E_NOINTERFACE},
        {"IDispatch", &IID_IDispatch, E_NOINTERFACE},
        {"IDispatchEx", &__uuidof(IDispatchEx), E_NOINTERFACE},
        {"ISupportErrorInfo", &IID_ISupportErrorInfo, E_NOINTERFACE},
        {"IServiceProvider", &IID_IServiceProvider, E_NOINTERFACE},
        {"IConnectionPointContainer", &IID_IConnectionPointContainer, E_NOINTERFACE},
        {"IProvideClassInfo", &IID_IProvideClassInfo, E_NOINTERFACE},
        {"IProvideClassInfo2", &IID_IProvideClassInfo2, E_NOINTERFACE},
        {"IPersist", &IID_IPersist, E_NOINTERFACE},
        {"IPersistStream", &IID_IPersistStream, E_NOINTERFACE},
        {"IObjectWithSite", &IID_IObjectWithSite, E_NOINTERFACE},
        {"IClassFactory", &IID_IClassFactory, E_NOINTERFACE},
        {"IInspectable", &__uuidof(IInspectable), E_NOINTERFACE},
    };
    for (const auto& c : cases) {
        void* object = reinterpret_cast<void*>(UINT_PTR(0xBAD0));
        EXPECT_EQ(c.result, exporter.QueryInterface(*c.iid, &object)) << c.name;
        EXPECT_EQ(c.result == S_OK ? static_cast<void*>(static_cast<IMsoDocExporter*>(&exporter)) : nullptr, object)
            << c.name;
    }
    EXPECT_EQ(E_POINTER, exporter.QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(0u, exporter.AddRef());
    EXPECT_EQ(0u, exporter.Release());
    EXPECT_EQ(0u, exporter.Release());
}

TEST(ExporterInterface, SlotsWithoutAnOperationSucceed)
{
    CDjVuExporter exporter;
    IMsoDocExporter& host = exporter;
    EXPECT_EQ(S_OK, host.Slot04(1, 2));
    EXPECT_EQ(S_OK, host.Slot05(1, 2));
    EXPECT_EQ(S_OK, host.Slot11(1, 2, 3));
    EXPECT_EQ(S_OK, host.Slot12(1));
    EXPECT_EQ(S_OK, host.Slot14(1, 2, 3, 4));
    EXPECT_EQ(S_OK, host.Slot15());
    EXPECT_EQ(S_OK, host.Slot16(1));
    EXPECT_EQ(S_OK, host.Slot17(1));
}

// Nothing says which words of the empty slots are out-parameters: a word may as well point at the host's
// own data (an object, a VARIANT, a buffer on its stack). Every slot leaves the memory behind every word
// it is given as it was, a whole pointer-sized word included.
TEST(ExporterInterface, SlotsWithoutAnOperationWriteNothingThroughTheirWords)
{
    CDjVuExporter exporter;
    IMsoDocExporter& host = exporter;
    constexpr size_t kWords = 4;
    UINT_PTR sentinels[kWords][4];
    const auto fill = [&] {
        for (auto& words : sentinels)
            for (UINT_PTR& word : words)
                word = UINT_PTR(0xA5C3E10F96B4D287ull);
    };
    const auto address = [&](size_t inWord) { return reinterpret_cast<UINT_PTR>(&sentinels[inWord][1]); };
    const std::vector<std::pair<const char*, std::function<HRESULT()>>> slots = {
        {"Slot04", [&] { return host.Slot04(address(0), address(1)); }},
        {"Slot05", [&] { return host.Slot05(address(0), address(1)); }},
        {"Slot11", [&] { return host.Slot11(address(0), address(1), address(2)); }},
        {"Slot12", [&] { return host.Slot12(address(0)); }},
        {"Slot14", [&] { return host.Slot14(address(0), address(1), address(2), address(3)); }},
        {"Slot16", [&] { return host.Slot16(address(0)); }},
        {"Slot17", [&] { return host.Slot17(address(0)); }},
    };
    for (const auto& slot : slots) {
        fill();
        EXPECT_EQ(S_OK, slot.second()) << slot.first;
        for (const auto& words : sentinels)
            for (UINT_PTR word : words)
                EXPECT_EQ(UINT_PTR(0xA5C3E10F96B4D287ull), word) << slot.first;
    }
    // A VARIANT the host passes keeps its type and value.
    VARIANT value;
    value.vt = VT_I4;
    value.lVal = 5;
    EXPECT_EQ(S_OK, host.Slot04(2, reinterpret_cast<UINT_PTR>(&value)));
    EXPECT_EQ(VT_I4, value.vt);
    EXPECT_EQ(5, value.lVal);
}

TEST(ExporterInterface, KeepsTheFirstOutputName)
{
    CDjVuExporter exporter;
    EXPECT_EQ(S_OK, exporter.SetOutputName(nullptr));
    EXPECT_TRUE(exporter.outputPath.isEmpty());
    EXPECT_EQ(S_OK, exporter.SetOutputName(L"C:\\first.djvu"));
    EXPECT_EQ(S_OK, exporter.SetOutputName(L"C:\\second.djvu"));
    EXPECT_STREQ("C:\\first.djvu", exporter.outputPath.c_str());

    // Excel's path is set by the click handler before the host is called.
    CDjVuExporter excel;
    excel.outputPath = "C:\\Book1.djvu";
    EXPECT_EQ(S_OK, excel.SetOutputName(L"C:\\host.djvu"));
    EXPECT_STREQ("C:\\Book1.djvu", excel.outputPath.c_str());
}

TEST(ExporterInterface, MetadataLocaleAndOutlineOnlyTrace)
{
    UserOutputRecorder recorder;
    CDjVuExporter exporter;
    IMsoDocExporter& host = exporter;
    const struct {
        int32_t type;
        const wchar_t* value;
        const wchar_t* trace;
    } texts[] = {
        {0, L"Annual report", L"Metadata: Title value=\"Annual report\"\n"},
        {1, L"J\u00F6rg", L"Metadata: Author value=\"J\u00F6rg\"\n"},
        {8, nullptr, L"Metadata: Comments value=\"\"\n"},
        {10, L"x", L"Metadata: ModDate value=\"x\"\n"},
        {11, L"y", L"Metadata: ??? value=\"y\"\n"},
        {-1, L"z", L"Metadata: ??? value=\"z\"\n"},
    };
    for (const auto& c : texts) {
        recorder.traces.clear();
        EXPECT_EQ(S_OK, host.AddMetadataText(c.type, c.value));
        EXPECT_EQ(std::wstring(c.trace), recorder.traces);
    }

    recorder.traces.clear();
    EXPECT_EQ(S_OK, host.SetDocumentLocale(0x409));
    EXPECT_EQ(0u, recorder.traces.find(L"Locale: 1033 (409h) ")) << narrow(recorder.traces);
    EXPECT_NE(std::wstring::npos, recorder.traces.find(L"English")) << narrow(recorder.traces);

    // The date as the host gives it (no time-zone shift), in the locale's short form.
    SYSTEMTIME late{2024, 3, 2, 5, 23, 59, 0, 0};
    FILETIME date;
    ASSERT_TRUE(SystemTimeToFileTime(&late, &date));
    recorder.traces.clear();
    EXPECT_EQ(S_OK, host.AddMetadataDate(9, &date));
    EXPECT_EQ(std::wstring(L"Metadata: CreationDate date=\"3/5/2024\"\n"), recorder.traces);
    // After the host's locale call the dates follow the document's locale.
    EXPECT_EQ(S_OK, host.SetDocumentLocale(0x407));
    recorder.traces.clear();
    EXPECT_EQ(S_OK, host.AddMetadataDate(10, &date));
    wchar_t german[64];
    ASSERT_TRUE(GetDateFormatW(0x407, DATE_SHORTDATE, &late, nullptr, german, 64));
    EXPECT_NE(std::wstring::npos, std::wstring(german).find(L"3.2024"));
    EXPECT_EQ(L"Metadata: ModDate date=\"" + std::wstring(german) + L"\"\n", recorder.traces);
    recorder.traces.clear();
    EXPECT_EQ(S_OK, host.AddMetadataDate(10, nullptr));
    EXPECT_EQ(std::wstring(L"Metadata: ModDate date=\"\"\n"), recorder.traces);

    MSODOCEXOUTLINENODE node{};
    node.idNode = 7;
    wcscpy(node.rgwchNodeText, L"Figures");
    node.iDestPage = 2;
    node.dytfvDestPage = 792.0f;
    node.dxtfvDestOffset = 72.5f;
    node.dytfvDestOffset = -1.25f;
    recorder.traces.clear();
    EXPECT_EQ(S_OK, host.AddOutlineEntry(0, &node));
    EXPECT_EQ(std::wstring(L"MSODOCEXOUTLINENODE\nidNode\t7\nrgwchNodeText\t\"Figures\"\niDestPage\t2\n"
                           L"dytfvDestPage\t792.000000\ndxtfvDestOffset\t72.500000\ndytfvDestOffset\t-1.250000\n"),
              recorder.traces);
    // A title that fills its whole field without a NUL is cut there.
    for (wchar_t& c : node.rgwchNodeText)
        c = L'A';
    recorder.traces.clear();
    EXPECT_EQ(S_OK, host.AddOutlineEntry(0, &node));
    EXPECT_NE(std::wstring::npos, recorder.traces.find(L"\"" + std::wstring(256, L'A') + L"\"\niDestPage\t2\n"));
    EXPECT_EQ(S_OK, host.AddOutlineEntry(0, nullptr));
    EXPECT_TRUE(recorder.boxes.empty());
}

// A null page before the finish is a page missing from the document (exporter_failure_test.cpp).
TEST(ExporterInterface, RefusesCallsAfterTheFinish)
{
    UserOutputRecorder recorder;
    const std::string folder = MvxTest::tempFolder();
    CDjVuExporter exporter;
    exporter.outputPath = (folder + "\\once.djvu").c_str();
    Metafile page = reportPage(1);
    ASSERT_EQ(S_OK, exporter.AddEmfPage(page.get()));
    ASSERT_EQ(S_OK, exporter.FinishDocument());
    const std::vector<unsigned char> written = MvxTest::readFile(folder + "\\once.djvu");
    EXPECT_EQ(E_POINTER, exporter.AddEmfPage(nullptr));
    EXPECT_EQ(E_FAIL, exporter.AddEmfPage(page.get()));
    EXPECT_EQ(E_FAIL, exporter.FinishDocument());
    EXPECT_EQ(written, MvxTest::readFile(folder + "\\once.djvu"));
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST(ExporterInterface, StructureTraceOnlyInTheCapturePass)
{
    UserOutputRecorder recorder;
    EmfPageRenderer renderer;
    StructureNodeTrace node;
    node.type = 3;
    node.id = 5;
    node.hasText = true;
    CDjVuExporter::DumpStructureNode(renderer, node);
    EXPECT_TRUE(recorder.traces.empty());
    EXPECT_FALSE(renderer.PendingText());
    EXPECT_EQ(-1, renderer.LastStructureNode().type);
}

// The host's structure comments around the text they hold, as Word writes them for a heading and a picture.
void markStructureNode(HDC inDC, int32_t inId, int32_t inType, int32_t inLevel, bool inHasText, const wchar_t* inAltText)
{
    const uint32_t altLength = uint32_t(wcslen(inAltText));
    std::vector<uint32_t> words{0x50504E55, 0x209, 0, uint32_t(inId), uint32_t(inId), uint32_t(inType),
                                uint32_t(inLevel), inHasText ? 1u : 0u, altLength};
    std::vector<BYTE> data(words.size() * 4 + (altLength + 1) * 2);
    memcpy(data.data(), words.data(), words.size() * 4);
    memcpy(&data[words.size() * 4], inAltText, (altLength + 1) * 2);
    GdiComment(inDC, UINT(data.size()), data.data());
}

void markStructureEnd(HDC inDC)
{
    const uint32_t words[3] = {0x50504E55, 0x20A, 0};
    GdiComment(inDC, sizeof words, reinterpret_cast<const BYTE*>(words));
}

TEST(ExporterInterface, StructureTraceFollowsTheCapturedText)
{
    Metafile page = drawPage(50, 50, [](HDC dc) {
        markStructureNode(dc, 1, 3, 2, true, L"");
        drawText(dc, 10, 20, L"Results", 12);
        markStructureEnd(dc);
        markStructureNode(dc, 2, 1, 0, false, L"A lake");
        markStructureEnd(dc);
        markStructureNode(dc, 3, 99, 0, true, L"");
        drawText(dc, 10, 60, L"Body", 10);
    });
    UserOutputRecorder recorder;
    CDjVuExporter exporter;
    ASSERT_EQ(S_OK, exporter.AddEmfPage(page.get()));
    // Only the capture pass traces; the text of the last node goes out when the page ends.
    EXPECT_EQ(std::wstring(L"Heading ID=1 PARENT=0, SORTORDER=1\n  LEVEL=2\n  TEXT=Results\n<<<<"
                           L"Figure ID=2 PARENT=0, SORTORDER=2\n  ALTTEXT=\"A lake\"\n>>>><<<<"
                           L"??? ID=3 PARENT=0, SORTORDER=3\n  TEXT=Body\n"),
              recorder.traces);
}

} // namespace
