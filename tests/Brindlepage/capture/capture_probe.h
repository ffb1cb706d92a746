// The capture tests' way into the renderer: the capture state a render sets up at its start, over a
// device context of the test's own, and the record handlers fed with records built in memory.
#pragma once

#include "bp_emfrenderer.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct EmfPageRendererProbe {
    // As a render's capture pass starts: fresh page state, no image (so nothing is clipped to one).
    static void startPage(EmfPageRenderer& ioRenderer, HDC inDC, Morvenix::DjVu::TextZone* inPageZone,
                          Morvenix::DjVu::Annotation* inAnnotation)
    {
        ioRenderer.m_dc = inDC;
        ioRenderer.m_pageZone = inPageZone;
        ioRenderer.m_annotation = inAnnotation;
        ioRenderer.m_capture = inPageZone != nullptr;
        ioRenderer.m_lastWordZone.reset();
        ioRenderer.m_pendingText = false;
        ioRenderer.m_currentFont = nullptr;
        SetTextAlign(inDC, 0);
        ioRenderer.m_image.reset();
        ioRenderer.m_pageText.clear();
    }
    // As an EMR_SETTEXTALIGN record played: the device context's alignment, which the capture reads.
    static void setTextAlign(EmfPageRenderer& ioRenderer, uint32_t inAlign) { SetTextAlign(ioRenderer.m_dc, inAlign); }
    // The rendered page the capture clips its boxes to.
    static void setPageImage(EmfPageRenderer& ioRenderer, int32_t inWidth, int32_t inHeight)
    {
        ioRenderer.m_image = new Win32DIB(inWidth, inHeight);
    }
    static void setMetafileDpi(EmfPageRenderer& ioRenderer, float inDpiX, float inDpiY)
    {
        ioRenderer.m_header.DpiX = inDpiX;
        ioRenderer.m_header.DpiY = inDpiY;
    }
    static void textRecord(EmfPageRenderer& ioRenderer, uint32_t inType, const uint8_t* inRecord, uint32_t inSize)
    {
        ioRenderer.CaptureTextRecord(inType, inRecord, inSize);
    }
    // The type is the record's own.
    static void textRecord(EmfPageRenderer& ioRenderer, const std::vector<uint8_t>& inRecord)
    {
        uint32_t type = 0;
        std::memcpy(&type, inRecord.data(), 4);
        textRecord(ioRenderer, type, inRecord.data(), uint32_t(inRecord.size()));
    }
    static void comment(EmfPageRenderer& ioRenderer, const uint8_t* inRecord, uint32_t inSize)
    {
        ioRenderer.ReadHostComment(inRecord, inSize);
    }
    static void comment(EmfPageRenderer& ioRenderer, const std::vector<uint8_t>& inRecord)
    {
        comment(ioRenderer, inRecord.data(), uint32_t(inRecord.size()));
    }
    static const std::string& pageText(const EmfPageRenderer& inRenderer) { return inRenderer.m_pageText; }
    static Morvenix::DjVu::TextZone* lastWord(const EmfPageRenderer& inRenderer)
    {
        return inRenderer.m_lastWordZone.get();
    }
};
