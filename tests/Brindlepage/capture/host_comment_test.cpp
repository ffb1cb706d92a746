#include "capture_probe.h"
#include "capture_records.h"
#include "capture_zones.h"

#include "bp_useroutput.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using namespace CaptureTest;
using Morvenix::AutoPtr;
using Morvenix::Rect;
using Morvenix::DjVu::Annotation;
using Morvenix::DjVu::MapArea;
using Morvenix::DjVu::MapRect;
using Morvenix::DjVu::TextZone;

namespace {

std::wstring g_trace;

void WINAPI collectTrace(const wchar_t* inText)
{
    g_trace += inText;
}

// The host's comments handed to the renderer over a memory device context in MM_TEXT.
class HostCommentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dc = CreateCompatibleDC(nullptr);
        ASSERT_NE(nullptr, dc);
        page = TextZone::create(TextZone::zonePage);
        annotation = Annotation::create(0, 0, Annotation::backgroundNone, 0, Annotation::modeColor);
        EmfPageRendererProbe::startPage(renderer, dc, page.get(), annotation.get());
        EmfPageRendererProbe::setMetafileDpi(renderer, 96, 96);
        g_trace.clear();
        previousTrace = SetDebugOutputFunction(&collectTrace);
    }
    void TearDown() override
    {
        SetDebugOutputFunction(previousTrace);
        DeleteDC(dc);
    }
    void comment(const Bytes& inData) { EmfPageRendererProbe::comment(renderer, commentRecord(inData)); }
    uint32_t links() const { return annotation->mapAreas.count(); }
    const MapRect& link(uint32_t inIndex) const
    {
        EXPECT_EQ(MapArea::shapeRect, annotation->mapAreas[inIndex]->getType());
        return static_cast<const MapRect&>(*annotation->mapAreas[inIndex]);
    }
    std::string url(uint32_t inIndex) const { return link(inIndex).url.c_str(); }

    HDC dc = nullptr;
    AutoPtr<TextZone> page;
    AutoPtr<Annotation> annotation;
    EmfPageRenderer renderer;
    DebugOutputFunction previousTrace = nullptr;
};

TEST_F(HostCommentTest, ALinkToAUrlIsAnXorFramedRectangleWithoutHighlight)
{
    comment(linkToUrlData(10, 20, 110, 50, L"https://example.com/a?b=\x00E9"));
    ASSERT_EQ(1u, links());
    const MapRect& area = link(0);
    EXPECT_EQ((Rect{10, 20, 100, 30}), area.rect);
    EXPECT_EQ("https://example.com/a?b=\xC3\xA9", url(0));
    EXPECT_EQ(Morvenix::DjVu::colorUnspecified, area.hiliteColor);
    EXPECT_EQ(0u, area.opacity);
    EXPECT_EQ(uint32_t(MapArea::borderXor), area.borderType);
    EXPECT_TRUE(area.target.isEmpty());
    EXPECT_TRUE(area.comment.isEmpty());
}

TEST_F(HostCommentTest, TheTwoPointsMayComeInAnyOrder)
{
    comment(linkToUrlData(110, 50, 10, 20, L"u"));
    comment(linkToUrlData(110, 20, 10, 50, L"v"));
    ASSERT_EQ(2u, links());
    EXPECT_EQ((Rect{10, 20, 100, 30}), link(0).rect);
    EXPECT_EQ((Rect{10, 20, 100, 30}), link(1).rect);
}

TEST_F(HostCommentTest, ALinkToAPageNamesItFromOne)
{
    comment(linkToPageData(0, 0, 10, 10, 0));
    comment(linkToPageData(0, 0, 10, 10, 4));
    comment(linkToPageData(0, 0, 10, 10, 0xFFFFFFFE));
    // The last index has no page number.
    comment(linkToPageData(0, 0, 10, 10, 0xFFFFFFFF));
    ASSERT_EQ(3u, links());
    EXPECT_EQ("#1", url(0));
    EXPECT_EQ("#5", url(1));
    EXPECT_EQ("#4294967295", url(2));
    EXPECT_EQ("#1", std::string(EmfPageRenderer::FormatPageLink(1).c_str()));
}

TEST_F(HostCommentTest, LinksInPointsGoThroughTheMetafileResolution)
{
    const Bytes target = wideBytes(std::wstring(L"http://x/") + L'\0');
    // One inch from the left, half an inch down, an inch and a half by a quarter inch, at 96 dpi.
    comment(linkInPointsData(0x210, 72, 36, 108, 18, target));
    comment(linkInPointsData(0x211, 72, 36, 108, 18, RenderTest::words({2})));
    // Halves round up.
    comment(linkInPointsData(0x210, 0.375f, 0, 0.375f, 1, target));
    ASSERT_EQ(3u, links());
    EXPECT_EQ((Rect{96, 48, 144, 24}), link(0).rect);
    EXPECT_EQ("http://x/", url(0));
    EXPECT_EQ((Rect{96, 48, 144, 24}), link(1).rect);
    EXPECT_EQ("#3", url(1));
    EXPECT_EQ((Rect{1, 0, 0, 1}), link(2).rect);
}

TEST_F(HostCommentTest, LinksInPointsThatAreNoNumbersStayOnThePage)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    comment(linkInPointsData(0x211, nan, -inf, inf, nan, RenderTest::words({0})));
    comment(linkInPointsData(0x211, 3e38f, -3e38f, 3e38f, 1, RenderTest::words({0})));
    ASSERT_EQ(2u, links());
    EXPECT_EQ(0, link(0).rect.x);
    EXPECT_GE(link(0).rect.width, 0);
    EXPECT_GE(link(1).rect.width, 0);
    EXPECT_GE(link(1).rect.height, 0);
}

TEST_F(HostCommentTest, TheLinkRectangleFollowsTheDeviceMapping)
{
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 100, 100, nullptr);
    SetViewportExtEx(dc, 300, -300, nullptr);
    SetViewportOrgEx(dc, 0, 3000, nullptr);
    comment(linkToUrlData(10, 20, 110, 50, L"u"));
    ASSERT_EQ(1u, links());
    EXPECT_EQ((Rect{30, 3000 - 150, 300, 90}), link(0).rect);
}

TEST_F(HostCommentTest, OtherCommentsAreLeftAlone)
{
    const Bytes fields = RenderTest::words({0, 0, 10, 10, 'u', 0, 0});
    for (uint32_t subType : {0x200u, 0x203u, 0x207u, 0x208u, 0x212u, 0x213u, 0x301u, 0u})
        comment(hostCommentData(subType, fields));
    Bytes foreign = linkToUrlData(0, 0, 10, 10, L"u");
    foreign[0] = 'G';
    comment(foreign);
    // Too short for their fields: no room for the target, or for the page index.
    const Bytes toUrl = linkToUrlData(0, 0, 10, 10, L"");
    comment(Bytes(toUrl.begin(), toUrl.begin() + 23));
    const Bytes toPage = linkToPageData(0, 0, 10, 10, 1);
    comment(Bytes(toPage.begin(), toPage.begin() + 27));
    // A signature alone, and a data size of 8 with a whole link behind it.
    comment(Bytes{'U', 'N', 'P', 'P'});
    Bytes record = commentRecord(linkToPageData(0, 0, 10, 10, 1));
    RenderTest::putWord(record, 8, 8);
    EmfPageRendererProbe::comment(renderer, record);
    EXPECT_EQ(0u, links());
    EXPECT_TRUE(g_trace.empty());
}

TEST_F(HostCommentTest, AUrlEndsAtTheEndOfTheCommentWithoutANul)
{
    Bytes data = linkToUrlData(0, 0, 10, 10, L"abc");
    data.resize(data.size() - 2);  // no NUL
    comment(data);
    data.push_back('d');           // and half a unit
    comment(data);
    comment(linkToUrlData(0, 0, 10, 10, L""));
    ASSERT_EQ(3u, links());
    EXPECT_EQ("abc", url(0));
    EXPECT_EQ("abc", url(1));
    EXPECT_EQ("", url(2));
}

TEST_F(HostCommentTest, WithoutAnAnnotationNoLinkIsRecorded)
{
    EmfPageRendererProbe::startPage(renderer, dc, nullptr, nullptr);
    comment(linkToUrlData(0, 0, 10, 10, L"u"));
    comment(linkToPageData(0, 0, 10, 10, 0));
    renderer.AddLinkArea(Rect{0, 0, 1, 1}, "u");
    EXPECT_EQ(0u, links());
}

TEST_F(HostCommentTest, AStructureNodeIsReadFieldByField)
{
    StructureNodeTrace node;
    const Bytes data = structureNodeData(7, 3, 12, 3, 2, true, L"Chart of sales");
    ASSERT_TRUE(EmfPageRenderer::ReadStructureNode(data.data(), uint32_t(data.size()), node));
    EXPECT_EQ(7, node.parentId);
    EXPECT_EQ(3, node.sortOrder);
    EXPECT_EQ(12, node.id);
    EXPECT_EQ(3, node.type);
    EXPECT_EQ(2, node.level);
    EXPECT_TRUE(node.hasText);
    EXPECT_EQ("Chart of sales", std::string(node.altText.c_str()));

    // The text stops at the end of the data whatever length it claims; the fixed part must be there.
    Bytes longer = structureNodeData(1, 2, 3, 4, 5, false, L"abc");
    RenderTest::putWord(longer, 32, 0x7FFFFFFF);
    ASSERT_TRUE(EmfPageRenderer::ReadStructureNode(longer.data(), uint32_t(longer.size()), node));
    EXPECT_EQ("abc", std::string(node.altText.c_str()));
    EXPECT_FALSE(node.hasText);
    const Bytes shortNode = structureNodeData(1, 2, 3, 4, 5, false, L"");
    EXPECT_FALSE(EmfPageRenderer::ReadStructureNode(shortNode.data(), uint32_t(shortNode.size()) - 1, node));
}

TEST_F(HostCommentTest, StructureCommentsTraceTheTextCapturedUnderThem)
{
    comment(structureNodeData(0, 1, 5, 3, 2, true, L""));
    EXPECT_EQ(5, renderer.LastStructureNode().id);
    EXPECT_TRUE(renderer.PendingText());
    renderer.CaptureTextRun(dc, L"ab cd", 5, POINT{0, 0}, nullptr);
    g_trace.clear();
    // Comment data of 8 bytes are no host comment; the end of a node carries the node's id.
    comment(hostCommentData(0x20A, Bytes()));
    EXPECT_EQ(L"", g_trace);
    comment(hostCommentData(0x20A, RenderTest::words({5})));
    EXPECT_EQ(L"  LEVEL=2\n  TEXT=ab cd\n<<<<", g_trace);
    EXPECT_FALSE(renderer.PendingText());

    // A node of another type traces the text alone; flushed text is not traced again.
    comment(structureNodeData(0, 2, 6, 0, 0, true, L""));
    renderer.CaptureTextRun(dc, L"ef", 2, POINT{0, 0}, nullptr);
    g_trace.clear();
    renderer.FlushPendingText();
    EXPECT_EQ(L"  TEXT=ef\n", g_trace);
    g_trace.clear();
    renderer.FlushPendingText();
    renderer.FlushTextTrace();
    EXPECT_EQ(L"", g_trace);
}

TEST_F(HostCommentTest, ThePlainPassTracesNothing)
{
    EmfPageRendererProbe::startPage(renderer, dc, nullptr, nullptr);
    comment(structureNodeData(0, 1, 5, 3, 2, true, L"x"));
    comment(hostCommentData(0x20A, RenderTest::words({5})));
    renderer.FlushTextTrace();
    EXPECT_EQ(L"", g_trace);
}

} // namespace
