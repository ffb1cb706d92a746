// Morvenix::String: splitting at the matches of a regular expression and taking the groups of its first
// match.
#define MVX_SOURCE "mvx_string_regex"
#include "mvx_string.h"

#include "mvx_regex.h"
#include "mvx_simplearray.h"

namespace Morvenix {

bool String::split(const String& inPattern, SimpleArray<String, 1>& outParts, bool inSkipEmpty) const
{
    outParts.free();
    RegExMatcher matcher(inPattern, 0);
    if (!matcher.search(*this))
        return false;
    // Offsets count from the matcher's copy of this text, which has the same bytes.
    uint32_t previous = 0;
    do {
        AutoPtr<Region> region = matcher.getRegion();
        uint32_t begin = uint32_t(region->getBeginOffset(0));
        if (begin > previous || !inSkipEmpty)
            outParts.append(substr(previous, begin - previous));
        previous = uint32_t(region->getEndOffset(0));
    } while (matcher.next());
    if (getLength() > previous || !inSkipEmpty)
        outParts.append(substr(previous));
    return true;
}

bool String::matchGroups(const String& inPattern, SimpleArray<String, 1>& outGroups) const
{
    RegExMatcher matcher(inPattern, 0);
    if (!matcher.search(*this))
        return false;
    outGroups.free();
    for (uint32_t i = 0; i < matcher.getGroupCount(); ++i)
        outGroups.append(matcher.getGroup(i));
    return true;
}

} // namespace Morvenix
