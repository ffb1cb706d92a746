// Regular expressions over the Oniguruma engine: compiled patterns (Perl syntax, UTF-8, extended form),
// the spans of one search or match, and an iterator over the successive matches in a text.
#pragma once

#include "mvx_referable.h"
#include "mvx_string.h"

#include <cstdint>

namespace Morvenix {

class Region;

// Immutable once compiled: one pattern may be searched from several threads at once. Compiling and freeing
// patterns are serialised by one process-wide mutex, as the engine's compiler keeps global state.
class RegEx : public Referable {
public:
    // Option bits of create.
    enum Options : uint32_t {
        optDotMatchesNewline = 1, // "." also matches a line break
        optIgnoreCase = 2,
        optFindLongest = 4,
        optFindNotEmpty = 8,      // an empty match is never returned
    };

    ~RegEx() override {}

    // Searches [start, range) of the text that ends at inEnd for the first match. Every pointer lies in
    // one text: an end below the text (or null) means the text up to its NUL, a start below the text means
    // the text, a range below the start means the end; a start past the end finds nothing and a range
    // past the end is the end. Null when nothing matches. A null text throws errInvalidParam; a text with a
    // broken multi-byte sequence (a lead byte short of its continuation bytes, a stray continuation byte)
    // throws errDataBroken, since the engine would step past the end of it; any other engine failure
    // throws errInternalError.
    virtual AutoPtr<Region> search(const char* inText, const char* inStart, const char* inRange,
                                   const char* inEnd) = 0;
    // The match that begins exactly at inAt (below the text: at the text), or null.
    virtual AutoPtr<Region> match(const char* inText, const char* inAt, const char* inEnd) = 0;

    // Compiles [pattern, pattern + length). A pattern the engine refuses throws errInitializationFailed
    // with the engine's message; a null pattern with a non-zero length throws errInvalidParam.
    static AutoPtr<RegEx> create(const char* inPattern, uint32_t inLength, uint32_t inOptions);

private:
    // create makes the one implementation.
    friend class RegExImpl;
    RegEx() {}
};

// The spans of the whole match (group 0) and of each capture group. Offsets count bytes from the text
// the search was given, not from its start. The region keeps its pattern alive, not the text.
class Region : public Referable {
public:
    ~Region() override {}

    // Group 0 plus one per capture group. The group accessors throw errInvalidParam for an index at or
    // past this count.
    virtual uint32_t getGroupCount() const = 0;
    // -1 for both offsets of a group that took no part in the match.
    virtual int32_t getBeginOffset(uint32_t inGroup) const = 0;
    virtual int32_t getEndOffset(uint32_t inGroup) const = 0;
    // 0 for a group that took no part.
    virtual uint32_t getLength(uint32_t inGroup) const = 0;
    // Null for a group that took no part.
    virtual const char* getBeginPtr(uint32_t inGroup) const = 0;
    virtual const char* getEndPtr(uint32_t inGroup) const = 0;
    // The four pointers the search was made with (after the adjustments of RegEx::search).
    virtual const char* getText() const = 0;
    virtual const char* getTextEnd() const = 0;
    virtual const char* getStart() const = 0;
    virtual const char* getRange() const = 0;

protected:
    Region() {}
};

// Walks the matches of one pattern through one text. It keeps its own reference to the text it searches,
// so the spans stay valid whatever happens to the caller's string.
class RegExMatcher {
public:
    RegExMatcher(const String& inPattern, uint32_t inOptions);
    ~RegExMatcher();

    // Replaces the pattern (up to its NUL); the current match is kept until the next search.
    void compile(const char* inPattern, uint32_t inOptions);
    // The first match in the whole text (up to its NUL); true when there is one. Errors as RegEx::search.
    bool search(const String& inText);
    // The next match, searched from the end of the current one. False when there is none (the matcher then
    // holds no match), when the new match begins where the current one began (an empty match repeats;
    // the matcher then holds it), or when there was no current match.
    bool next();
    // Null before the first search and after a failed one.
    AutoPtr<Region> getRegion() const { return m_region; }
    uint32_t getGroupCount() const;
    // The text of group n of the current match, empty for a group that took no part; without a current
    // match, or with n at or past the group count, errInvalidParam.
    String getGroup(uint32_t inGroup) const;

    RegExMatcher(const RegExMatcher&) = delete;
    RegExMatcher& operator=(const RegExMatcher&) = delete;

private:
    AutoPtr<RegEx> m_regex;
    AutoPtr<Region> m_region;
    String m_text;
};

} // namespace Morvenix
