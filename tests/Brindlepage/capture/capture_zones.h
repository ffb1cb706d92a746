// Reading the zone trees the capture makes: texts and rectangles of lines, words and characters.
#pragma once

#include "djv_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace CaptureTest {

inline std::string textOf(const Morvenix::DjVu::TextZone& inZone)
{
    const Morvenix::String text = inZone.getText();
    return std::string(text.c_str(), text.getLength());
}

// The texts of the zone's children, in order.
inline std::vector<std::string> childTexts(const Morvenix::DjVu::TextZone& inZone)
{
    std::vector<std::string> texts;
    for (const Morvenix::AutoPtr<Morvenix::DjVu::TextZone>& child : inZone.children)
        texts.push_back(textOf(*child));
    return texts;
}

// Every character zone of the tree, in order.
inline void collectCharacters(const Morvenix::DjVu::TextZone& inZone,
                              std::vector<const Morvenix::DjVu::TextZone*>& ioCharacters)
{
    if (inZone.type == Morvenix::DjVu::TextZone::zoneCharacter)
        ioCharacters.push_back(&inZone);
    for (const Morvenix::AutoPtr<Morvenix::DjVu::TextZone>& child : inZone.children)
        collectCharacters(*child, ioCharacters);
}

inline std::vector<const Morvenix::DjVu::TextZone*> characters(const Morvenix::DjVu::TextZone& inZone)
{
    std::vector<const Morvenix::DjVu::TextZone*> found;
    collectCharacters(inZone, found);
    return found;
}

} // namespace CaptureTest

namespace Morvenix {
// For gtest's messages.
inline void PrintTo(const Rect& inRect, std::ostream* outStream)
{
    *outStream << "{" << inRect.x << ", " << inRect.y << ", " << inRect.width << ", " << inRect.height << "}";
}
} // namespace Morvenix
