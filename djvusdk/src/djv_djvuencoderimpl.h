// The page encoder's implementation: the current page group (its JB2 encoder, the deferred dictionary
// and one record per page that has a JB2 part) and the page checks and mode guess it runs per page.
#pragma once

#include "djv_djvuencoder.h"
#include "djv_jb2placeholders.h"
#include "mvx_simplearray.h"

#include <cstdint>
#include <exception>

namespace _Mvx_Internal_NS_ {

// A page of the current group whose JB2 chunks wait for the group's flush.
struct Page {
    uint32_t number = 0; // among the pages the encoder made, from 1
    bool hasFGbz = false;
    Morvenix::AutoPtr<Morvenix::DjVu::Chunk> form;
    Morvenix::AutoPtr<Morvenix::DjVu::Chunk> dictionaryRef;
    Morvenix::AutoPtr<ChunkSjbz> sjbz;
    Morvenix::AutoPtr<ChunkFGbz> fgbz;
};

class DjVuEncoderImpl : public Morvenix::DjVu::DjVuEncoder {
public:
    typedef Morvenix::AutoPtr<Morvenix::DjVu::JB2::JB2Encoder> (*JB2Factory)(
        const Morvenix::DjVu::JB2::JB2Encoder::Params* inParams);

    // A group whose shapes hold this many bytes takes no more pages: on a 32-bit host a group of line art
    // would otherwise hold gigabytes until its flush. With one page more it stays within about 256 MB.
    static constexpr uint64_t kGroupShapeBudget = uint64_t(128) << 20;

    // inJB2Factory makes the JB2 encoder of every group; inShapeBudget is the group's.
    DjVuEncoderImpl(uint32_t inUseSharedDictionary, uint32_t inPagesPerDictionary, const Params* inParams,
                    JB2Factory inJB2Factory = &Morvenix::DjVu::JB2::JB2Encoder::create,
                    uint64_t inShapeBudget = kGroupShapeBudget);
    ~DjVuEncoderImpl() override;

    void encodePage(Morvenix::AutoPtr<Morvenix::DjVu::Chunk>& outForm, const void* inPixels, int32_t inStride,
                    Morvenix::DjVu::Photometric inPhotometric, uint32_t inWidth, uint32_t inHeight, uint32_t inDpi,
                    const Params* inParams, const void* inMask, int32_t inMaskStride, uint32_t inMaskType) override;
    void flush() override;
    void discardGroup() noexcept override;

    // emCompound, emPhoto or emBitonal for emAuto: from the mask when there is one, else from the pixels.
    static void guessEncodeMode(const uint8_t* inPixels, int32_t inStride, Morvenix::DjVu::Photometric inPhotometric,
                                uint32_t inWidth, uint32_t inHeight, uint32_t* outMode, const uint8_t* inMask,
                                int32_t inMaskStride, uint32_t inMaskType);

private:
    // encodePage but for the failure of the group that the page ends, which is handed back in outLostPages.
    void makePage(Morvenix::AutoPtr<Morvenix::DjVu::Chunk>& outForm, const void* inPixels, int32_t inStride,
                  Morvenix::DjVu::Photometric inPhotometric, uint32_t inWidth, uint32_t inHeight, uint32_t inDpi,
                  const Params* inParams, const void* inMask, int32_t inMaskStride, uint32_t inMaskType,
                  std::exception_ptr& outLostPages);
    // What a group starts with, made before the current group changes, so that the change cannot stop
    // half-way.
    struct Group {
        Morvenix::AutoPtr<Morvenix::DjVu::JB2::JB2Encoder> jb2Encoder;
        Morvenix::AutoPtr<ChunkDjbz> dictionary;
        Morvenix::AutoPtr<Morvenix::DjVu::Chunk> redirector;
        Morvenix::DjVu::JB2::JB2Encoder::Params jb2Params;
    };
    Group makeGroup(const Morvenix::DjVu::JB2::JB2Encoder::Params& inJB2Params) const;
    // Makes inGroup the current one, without records.
    void startGroup(const Group& inGroup) noexcept;
    // Ends the current group as flush does and starts the next, which classifies with inJB2Params. The
    // next group is made first: when that fails, the current one stays as it was and the exception goes
    // out. Otherwise the next group starts whatever else fails, and the failure, naming the pages it cost,
    // is handed back (null when none was lost).
    std::exception_ptr nextGroup(const Morvenix::DjVu::JB2::JB2Encoder::Params& inJB2Params);
    // Gives every page of the current group its JB2 bytes, or drops the JB2 chunks of those that cannot
    // have them; hands back the failure that cost them. Throws only before any page is touched.
    std::exception_ptr writeGroup();
    // Whether the next JB2 page starts a new group: this one holds pagesPerDictionary pages, or its shapes
    // reach the budget, or one of its placeholders was asked for its bytes before the flush (its JB2
    // encoder has built its dictionary then and takes no more pages), or its pages were discarded.
    bool groupIsClosed() const;

    JB2Factory m_jb2Factory;
    Morvenix::AutoPtr<Morvenix::DjVu::JB2::JB2Encoder> m_jb2Encoder;
    Morvenix::AutoPtr<ChunkDjbz> m_groupDictionary;
    Morvenix::AutoPtr<Morvenix::DjVu::Chunk> m_dictionaryRedirector;
    Morvenix::SimpleArray<Page, 1> m_pages;
    uint32_t m_pagesPerDictionary;
    uint32_t m_useSharedDictionary;
    Params m_defaultParams;
    // Those the current group's JB2 encoder classifies with: the pages of a group share them.
    Morvenix::DjVu::JB2::JB2Encoder::Params m_groupJB2Params;
    uint32_t m_pagesMade = 0;
    uint64_t m_shapeBudget;
    // The current group's pages were discarded: its JB2 encoder still holds them, so it takes no more.
    bool m_groupDiscarded = false;
};

// Refuses, before any work, a page the encoder could only truncate or fail on half-way: a null image,
// sizes of 0 or above 65535, a dpi above 65535, an unknown photometric ("Unknown photometric!"), a row
// step shorter than a row, and for a given mask an unknown type or a step that is not positive or shorter
// than a mask row.
void checkPage(const void* inPixels, int32_t inStride, Morvenix::DjVu::Photometric inPhotometric, uint32_t inWidth,
               uint32_t inHeight, uint32_t inDpi, const void* inMask, int32_t inMaskStride, uint32_t inMaskType);

// bytesPerPixel of a layout the page encoder takes; any other throws code 7 "Unknown photometric!".
uint32_t knownPixelBytes(Morvenix::DjVu::Photometric inPhotometric, const char* inFunction);

} // namespace _Mvx_Internal_NS_
