// The compound page encoder: turns page images (with or without a foreground mask) into "DJVU" page forms
// with INFO, a JB2 mask, the foreground colours (FGbz palette and/or FG44 layer) and BG44 background
// layers, grouping the JB2 masks of consecutive pages around one shared shape dictionary.
#pragma once

#include "djv_chunk.h"
#include "djv_image.h"
#include "djv_iw44encoder.h"
#include "djv_jb2encoder.h"
#include "djv_segmenter.h"
#include "mvx_referable.h"

#include <cstdint>

namespace Morvenix {
namespace DjVu {

class DjVuEncoder : public Referable {
public:
    // Which layers a page gets after its INFO chunk.
    enum EncodeMode : uint32_t {
        emCompound = 0,        // Sjbz, FG44, BG44
        emCompoundPalette = 1, // Sjbz, FGbz, BG44
        emPhoto = 2,           // BG44 of the whole image, no mask
        emBitonal = 3,         // Sjbz only
        emAuto = 4,            // 0, 2 or 3, guessed per page from the mask or the image
        emCompoundBoth = 5,    // Sjbz, FGbz, FG44, BG44
        // Any other value: Sjbz, BG44.
    };

    // Bit of Params::flags: the background is averaged under the mask itself, without growing the
    // foreground by one pixel first.
    static constexpr uint32_t flagNoErosion = 1;

    struct Params {
        Params(uint32_t inMode = emAuto, uint32_t inFgSubsample = 12, uint32_t inFgQuality = 75,
               uint32_t inBgSubsample = 3, uint32_t inBgQuality = 75);

        uint32_t mode;
        // Reduction factors of the foreground and background layers, 1 to 12.
        uint32_t fgSubsample;
        IW44::IW44Encoder::Params fgParams;
        uint32_t bgSubsample;
        // The background layer's, and the whole image's in emPhoto.
        IW44::IW44Encoder::Params bgParams;
        // Used when the encoder makes the mask itself.
        Segmenter::Params segmenterParams;
        // The shapes of a group of pages are classified together: a page asking for another classification
        // (threshold, second comparison) than its group's starts a new group.
        JB2::JB2Encoder::Params jb2Params;
        uint32_t flags;
    };

    // A source of encoder settings.
    class Profile {
    public:
        struct Settings {
            uint32_t useSharedDictionary;
            uint32_t pagesPerDictionary;
            Params params;
        };
        virtual ~Profile() {}
        virtual const Settings* getSettings() const = 0;
    };

    // Flushes the last group; a flush failure is swallowed here, so callers that need to know call flush.
    ~DjVuEncoder() override {}

    // Encodes one page into a new "DJVU" collection in outForm, which is null when the page was not made
    // (it is reset first). inStride is the signed distance between rows (negative for bottom-up images).
    // inParams null means the encoder's own. inMask null makes the encoder work out a mask (except in
    // emPhoto); otherwise its step must be positive and inMaskType is a MaskType, a clear value being
    // foreground. Parameters, sizes (1 to 65535, dpi up to 65535), photometric and strides are checked
    // first: a refused page leaves the group untouched (errInvalidParam, or the image utilities' and IW44
    // encoder's own codes and messages). The JB2 chunks get their bytes when the group is flushed, or when
    // one is read earlier: the group then takes no more pages and is flushed when the next page comes. A
    // page that comes to a full (or early read) group flushes it first; when that flush fails (see flush),
    // the page is still made, into the next group, and outForm holds it when the flush's exception, naming
    // only the lost pages, is thrown. Should the page fail as well, the exception has the page's own code
    // and failure, followed by the group's. Without a shared dictionary the page's own flush is part of it:
    // when it fails, the page is not made and not counted.
    virtual void encodePage(AutoPtr<Chunk>& outForm, const void* inPixels, int32_t inStride,
                            Photometric inPhotometric, uint32_t inWidth, uint32_t inHeight, uint32_t inDpi,
                            const Params* inParams, const void* inMask, int32_t inMaskStride,
                            uint32_t inMaskType) = 0;
    // Gives every page of the current group its JB2 bytes and starts the next group; nothing on an
    // empty group. The next group starts even when this fails: the pages whose JB2 data could not be made
    // (all of the group's when its dictionary could not) lose their Sjbz, FGbz and dictionary reference,
    // and the exception, with the failure's code (errOutOfMemory when memory ran out), names them
    // ("pages 2, 5-7", counted from 1 in the order the encoder made its pages) before the failure's own
    // message.
    virtual void flush() = 0;
    // Ends the current group without making its JB2 data, for a caller that will write none of its pages:
    // they lose their Sjbz, FGbz and dictionary reference as the pages of a failed group do, and the next
    // page starts a new group. Nothing on an empty group; allocates nothing and throws nothing.
    virtual void discardGroup() noexcept = 0;

    // inPagesPerDictionary 0 makes every page a group of its own. inParams null means the defaults.
    static AutoPtr<DjVuEncoder> create(uint32_t inUseSharedDictionary, uint32_t inPagesPerDictionary,
                                       const Params* inParams);
    // A null profile throws errInvalidParam "Profile could not be NULL!".
    static AutoPtr<DjVuEncoder> create(const Profile* inProfile);

protected:
    DjVuEncoder() {}
};

} // namespace DjVu
} // namespace Morvenix
