// A bundled DjVu document served over HTTP and read through the resource broker as a viewer would: the
// directory first, then page by page from the directory's offsets, with the library's readers (page
// information, JB2 pages over a shared dictionary, text, annotations). It must read as the local file does.
#include "../chunkmanager/iff_test_support.h"
#include "djv_annotation.h"
#include "djv_chunk.h"
#include "djv_iff.h"
#include "djv_jb2encoder.h"
#include "djv_jb2page.h"
#include "djv_pageinfo.h"
#include "djv_pageinforeader.h"
#include "djv_text.h"
#include "djvu_page_file.h"
#include "http_test_support.h"
#include "loopback_server.h"
#include "mvx_broker.h"
#include "mvx_cachedstorage.h"
#include "mvx_http.h"
#include "mvx_memstorage.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

using Morvenix::AutoPtr;
using Morvenix::Storage;
using Morvenix::String;
using Morvenix::DjVu::Annotation;
using Morvenix::DjVu::Chunk;
using Morvenix::DjVu::ChunkCollection;
using Morvenix::DjVu::ChunkRedirector;
using Morvenix::DjVu::PageInfo;
using Morvenix::DjVu::TextZone;
using Morvenix::DjVu::JB2::JB2Dictionary;
using Morvenix::DjVu::JB2::JB2Page;

namespace {

const uint32_t kWidth = 800, kHeight = 600, kPages = 4;

std::string wordOf(uint32_t inPage, int inWord)
{
    return inWord == 2 ? "caf\xc3\xa9" : "p" + std::to_string(inPage) + "w" + std::to_string(inWord);
}

// A page mask (one byte a pixel, 0 ink) with the same few marks at places of its own, so the pages share
// a dictionary, and a bar as wide as its number.
std::vector<uint8_t> pageMask(uint32_t inPage)
{
    std::vector<uint8_t> mask(kWidth * kHeight, 255);
    std::mt19937 rnd(inPage);
    for (int i = 0; i < 60; ++i) {
        const uint32_t kind = rnd() % 3, x0 = 20 + rnd() % (kWidth - 60), y0 = 20 + rnd() % (kHeight - 60);
        for (uint32_t y = 0; y < 24; ++y)
            for (uint32_t x = 0; x < 16; ++x) {
                const bool ink = kind == 0 ? (x < 4 || y < 4) : kind == 1 ? (x + y) % 7 < 3 : (x > 10 || y > 18);
                if (ink)
                    mask[(y0 + y) * kWidth + x0 + x] = 0;
            }
    }
    for (uint32_t y = 5; y < 12; ++y)
        for (uint32_t x = 5; x < 5 + 30 * (inPage + 1); ++x)
            mask[y * kWidth + x] = 0;
    return mask;
}

// The document: pages with INFO, a reference to the shared dictionary, Sjbz, TXTz and ANTz.
std::vector<unsigned char> makeDocument()
{
    const PageInfo info{kWidth, kHeight, 26, 0, 300, 22, 1};
    AutoPtr<Morvenix::DjVu::JB2::JB2Encoder> jb2 = Morvenix::DjVu::JB2::JB2Encoder::create(nullptr);
    for (uint32_t p = 0; p < kPages; ++p) {
        const std::vector<uint8_t> mask = pageMask(p);
        jb2->addPage(mask.data(), int32_t(kWidth), 0, kWidth, kHeight, nullptr, 0, Morvenix::DjVu::phGray, nullptr);
    }
    EXPECT_FALSE(jb2->isDjbzEmpty());
    AutoPtr<Chunk> djbz;
    jb2->createDjbzChunk(djbz);
    AutoPtr<ChunkCollection> doc = ChunkCollection::create("DJVM");
    for (uint32_t p = 0; p < kPages; ++p) {
        AutoPtr<ChunkCollection> page = ChunkCollection::create("DJVU");
        page->setName(("page" + std::to_string(p + 1) + ".djvu").c_str());
        const MvxTest::Bytes infoBody = MvxTest::infoChunkBody(info);
        page->getChildren().append(IffTest::leaf("INFO", std::string(infoBody.begin(), infoBody.end())));
        page->getChildren().append(AutoPtr<Chunk>(ChunkRedirector::create(djbz).get()));
        AutoPtr<Chunk> sjbz;
        jb2->createSjbzChunk(sjbz, p);
        page->getChildren().append(sjbz);
        AutoPtr<TextZone> text = TextZone::create(info);
        AutoPtr<TextZone> line = TextZone::create(TextZone::zoneLine);
        for (int w = 0; w < 3; ++w)
            line->children.append(TextZone::create(wordOf(p, w).c_str(), TextZone::zoneWord, 100 + 120 * w, 300, 100, 30));
        text->children.append(line);
        page->getChildren().append(text->makeTXTz(info));
        AutoPtr<Annotation> annotation = Annotation::create(0, 0, Annotation::backgroundNone, 0, Annotation::modeColor);
        annotation->interpret(("(mode color) (maparea \"#page" + std::to_string(kPages - p) +
                               ".djvu\" \"next\" (rect 10 20 " + std::to_string(100 + p) + " 40))")
                                  .c_str(),
                              info);
        page->getChildren().append(annotation->makeANTz(info));
        doc->getChildren().append(AutoPtr<Chunk>(page.get()));
    }
    AutoPtr<Morvenix::MemoryStorage> out = Morvenix::MemoryStorage::create();
    Morvenix::DjVu::IFF::serialize(out.get(), doc.get(), nullptr, nullptr, Morvenix::DjVu::IFF::smBundled, nullptr,
                                   nullptr);
    const std::string bytes = IffTest::bytesOf(*out);
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

std::string readAt(Storage& inStorage, uint64_t inPos, uint32_t inCount)
{
    std::string s(inCount, '\0');
    inStorage.setPos(inPos);
    if (inCount)
        inStorage.readBytes(&s[0], inCount, true);
    return s;
}

// What the readers make of one page.
struct PageRead {
    PageInfo info{};
    std::vector<uint8_t> mask;
    std::string text;
    std::string textPayload;
    std::string annotation;
};

bool operator==(const PageRead& a, const PageRead& b)
{
    return a.info.width == b.info.width && a.info.height == b.info.height && a.info.version == b.info.version &&
           a.info.dpi == b.info.dpi && a.mask == b.mask && a.text == b.text && a.textPayload == b.textPayload &&
           a.annotation == b.annotation;
}

// The leaves of the FORM at inOffset, as chunks.
std::vector<AutoPtr<Chunk>> formLeaves(Storage& inStorage, uint64_t inOffset, std::string& outType)
{
    const std::string header = readAt(inStorage, inOffset, 12);
    EXPECT_EQ("FORM", header.substr(0, 4));
    outType = header.substr(8, 4);
    const uint64_t end = inOffset + 8 + IffTest::be(header, 4, 4);
    std::vector<AutoPtr<Chunk>> leaves;
    for (uint64_t at = inOffset + 12; at + 8 <= end;) {
        const std::string chunkHeader = readAt(inStorage, at, 8);
        const uint32_t length = IffTest::be(chunkHeader, 4, 4);
        const std::string body = readAt(inStorage, at + 8, length);
        leaves.push_back(Chunk::createFromBytes(chunkHeader.substr(0, 4).c_str(), body.data(), length));
        at += 8 + length + (length & 1);
    }
    return leaves;
}

// Reads the directory, then the pages last to first by their offsets.
std::vector<PageRead> readDocument(Storage& inStorage)
{
    const std::string header = readAt(inStorage, 0, 24);
    EXPECT_EQ("AT&TFORM", header.substr(0, 8));
    EXPECT_EQ("DJVMDIRM", header.substr(12, 8));
    const IffTest::Directory directory =
        IffTest::parseDirectory(readAt(inStorage, 24, IffTest::be(header, 20, 4)));
    std::map<std::string, uint64_t> offsets;
    std::vector<uint64_t> pages;
    for (uint32_t i = 0; i < directory.count; ++i) {
        offsets[directory.names[i]] = directory.offsets[i];
        if (directory.componentFlags[i] == 1)
            pages.push_back(directory.offsets[i]);
    }
    std::vector<PageRead> result(pages.size());
    std::map<std::string, AutoPtr<JB2Dictionary>> dictionaries;
    for (size_t p = pages.size(); p-- > 0;) {
        std::string type;
        PageRead& page = result[p];
        AutoPtr<JB2Dictionary> dictionary;
        AutoPtr<JB2Page> jb2;
        for (const AutoPtr<Chunk>& chunk : formLeaves(inStorage, pages[p], type)) {
            const std::string id = chunk->getId().c_str();
            if (id == "INFO") {
                page.info = Morvenix::DjVu::readPageInfo(*chunk);
            } else if (id == "INCL") {
                AutoPtr<Morvenix::Storage> body = chunk->getData()->getReadStorage(true);
                const std::string name = readAt(*body, 0, uint32_t(body->getSize()));
                if (!dictionaries.count(name)) {
                    std::string sharedType;
                    for (const AutoPtr<Chunk>& shared : formLeaves(inStorage, offsets.at(name), sharedType))
                        if (shared->getId() == "Djbz")
                            dictionaries[name] = JB2Dictionary::create(*shared);
                    EXPECT_EQ("DJVI", sharedType);
                }
                dictionary = dictionaries[name];
            } else if (id == "Sjbz") {
                jb2 = JB2Page::create(*chunk, dictionary.get());
            } else if (id == "TXTz") {
                AutoPtr<TextZone> text = TextZone::decode(*chunk, page.info);
                page.text = text->getText().c_str();
                AutoPtr<Morvenix::MemoryStorage> payload = Morvenix::MemoryStorage::create();
                text->encode(*payload, page.info);
                page.textPayload = IffTest::bytesOf(*payload);
            } else if (id == "ANTz") {
                page.annotation = Annotation::create(*chunk, page.info)->getANTString(page.info).c_str();
            }
        }
        EXPECT_EQ("DJVU", type);
        if (jb2) {
            page.mask.assign(size_t(page.info.width) * page.info.height, 255);
            const Morvenix::Rect window{0, 0, int32_t(page.info.width), int32_t(page.info.height)};
            jb2->renderMask(page.mask.data(), int32_t(page.info.width), Morvenix::DjVu::phGray, &window, 0, 0, false, 0);
        }
    }
    return result;
}

class DjvmOverHttp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ports = MvxTest::loopbackServers(Morvenix::HttpManager::getDefaultUserAgent().c_str());
        chooser = new MvxTest::TestProxyChooser(0);
        manager = Morvenix::HttpManager::create("", nullptr, chooser.get());
        manager->setTimeouts(5000, 5000, 5000, 5000);
        broker = Morvenix::ResourceBroker::create(manager.get(), false);
    }
    MvxTest::LoopbackPorts ports;
    AutoPtr<MvxTest::TestProxyChooser> chooser;
    AutoPtr<Morvenix::HttpManager> manager;
    AutoPtr<Morvenix::ResourceBroker> broker;
};

TEST_F(DjvmOverHttp, ReadsAsTheLocalFile)
{
    const std::vector<unsigned char> document = makeDocument();
    const std::string local = MvxTest::tempFolder() + "\\document.djvu";
    MvxTest::writeFile(local, document);
    MvxTest::writeFile(MvxTest::loopbackFilesFolder() + "\\djvm-document.djvu", document);

    const std::vector<PageRead> expected = readDocument(*broker->locateFile(local.c_str()));
    ASSERT_EQ(kPages, expected.size());
    for (uint32_t p = 0; p < kPages; ++p) {
        EXPECT_EQ(kWidth, expected[p].info.width);
        EXPECT_EQ(wordOf(p, 0) + wordOf(p, 1) + wordOf(p, 2), expected[p].text);
        EXPECT_NE(std::string::npos, expected[p].annotation.find("#page" + std::to_string(kPages - p) + ".djvu"))
            << expected[p].annotation;
        EXPECT_NE(expected[p].mask.end(), std::find(expected[p].mask.begin(), expected[p].mask.end(), 0));
    }
    EXPECT_NE(expected[0].mask, expected[1].mask);

    // Opened at once, in small blocks so the pages come piece by piece; and bound late.
    const std::string url =
        "http://127.0.0.1:" + std::to_string(ports.plain) + "/file/djvm/-/djvm-document.djvu";
    AutoPtr<Storage> remote = broker->locateFile(url.c_str());
    dynamic_cast<Morvenix::AdvCachedStorage&>(*remote).setBlockSize(1024);
    EXPECT_TRUE(expected == readDocument(*remote));
    AutoPtr<Storage> late = _Mvx_Internal_NS_::LateBindingStorage::create(url.c_str(), true, broker.get());
    EXPECT_TRUE(expected == readDocument(*late));

    // The first storage asked for each of its 1024-byte blocks once, whatever order the reader went in.
    std::vector<std::pair<unsigned long long, unsigned long long>> asked;
    for (const std::string& line : MvxTest::loopbackRequestLog("djvm")) {
        unsigned long long first = 0, last = 0;
        if (std::sscanf(line.c_str(), "GET bytes=%llu-%llu", &first, &last) == 2)
            asked.push_back({first, last});
    }
    ASSERT_FALSE(asked.empty());
    std::vector<std::pair<unsigned long long, unsigned long long>> firstStorage;
    for (const auto& a : asked)
        if (a.second - a.first + 1 == 1024)
            firstStorage.push_back(a);
    std::sort(firstStorage.begin(), firstStorage.end());
    for (size_t i = 1; i < firstStorage.size(); ++i)
        EXPECT_GT(firstStorage[i].first, firstStorage[i - 1].second) << "asked twice";
    EXPECT_LT(1u, firstStorage.size());
    EXPECT_GE((document.size() + 1023) / 1024, firstStorage.size());
}

} // namespace
