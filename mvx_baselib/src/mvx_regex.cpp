// Regular expressions over Oniguruma: compiled patterns, the regions of their matches, and the matcher
// that walks through a text.
#define MVX_SOURCE "mvx_regex"
#include "mvx_regex.h"

#include "mvx_exception.h"
#include "mvx_syncobjs.h"

#include <cstring>
#include <new>
#include <oniguruma.h>

namespace Morvenix {

namespace {

// Oniguruma's compiler keeps global state (its one-time initialisation, the tables it builds), so compiling
// and freeing patterns take one process-wide mutex. It lives in static storage and is never destroyed:
// patterns held by other static objects may be freed during exit.
OnceFlag s_regexOnce;
alignas(Mutex) unsigned char s_regexMutexStorage[sizeof(Mutex)];
Mutex* s_regexMutex;

// The engine parses and compiles nested groups recursively, about half a kilobyte of stack a level: its
// own limit of 4096 levels overflows a 1 MB thread stack long before it is reached. 256 levels (some 128
// nested groups) stay far inside any thread's stack and far beyond any pattern written by hand.
const unsigned kParseDepthLimit = 256;

void initialiseRegex()
{
    s_regexMutex = new (s_regexMutexStorage) Mutex;
    OnigEncoding encoding = ONIG_ENCODING_UTF8;
    onig_initialize(&encoding, 1); // a failure here shows again, as an error, in onig_new
    onig_set_parse_depth_limit(kParseDepthLimit);
}

Mutex& regexMutex()
{
    callOnce(s_regexOnce, initialiseRegex);
    return *s_regexMutex;
}

const UChar* bytes(const char* inText)
{
    return reinterpret_cast<const UChar*>(inText);
}

String engineMessage(int inCode, OnigErrorInfo* inInfo = nullptr)
{
    UChar text[ONIG_MAX_ERROR_MESSAGE_LEN + 1] = {};
    if (inInfo)
        onig_error_code_to_str(text, inCode, inInfo);
    else
        onig_error_code_to_str(text, inCode);
    return String(reinterpret_cast<const char*>(text));
}

// Owns an engine region until a RegionImpl takes it.
class OwnedRegion {
public:
    OwnedRegion() : m_region(onig_region_new())
    {
        if (!m_region)
            throw std::bad_alloc();
    }
    ~OwnedRegion()
    {
        if (m_region)
            onig_region_free(m_region, 1);
    }
    OnigRegion* get() const { return m_region; }
    OnigRegion* release()
    {
        OnigRegion* r = m_region;
        m_region = nullptr;
        return r;
    }

    OwnedRegion(const OwnedRegion&) = delete;
    OwnedRegion& operator=(const OwnedRegion&) = delete;

private:
    OnigRegion* m_region;
};

} // namespace

class RegionImpl : public Region {
public:
    RegionImpl(RegEx* inRegex, OnigRegion* inRegion, const char* inText, const char* inEnd, const char* inStart,
               const char* inRange)
        : m_regex(inRegex), m_text(inText), m_end(inEnd), m_start(inStart), m_range(inRange), m_region(inRegion)
    {
        if (!m_region)
            MVX_THROW(errInternalError, "errInternalError", "Morvenix::RegionImpl::RegionImpl");
    }
    ~RegionImpl() override { onig_region_free(m_region, 1); }

    uint32_t getGroupCount() const override { return m_region->num_regs > 0 ? uint32_t(m_region->num_regs) : 0; }
    int32_t getBeginOffset(uint32_t inGroup) const override
    {
        check_range(inGroup);
        return m_region->beg[inGroup];
    }
    int32_t getEndOffset(uint32_t inGroup) const override
    {
        check_range(inGroup);
        return m_region->end[inGroup];
    }
    uint32_t getLength(uint32_t inGroup) const override
    {
        check_range(inGroup);
        return took(inGroup) ? uint32_t(m_region->end[inGroup] - m_region->beg[inGroup]) : 0;
    }
    const char* getBeginPtr(uint32_t inGroup) const override
    {
        check_range(inGroup);
        return took(inGroup) ? m_text + m_region->beg[inGroup] : nullptr;
    }
    const char* getEndPtr(uint32_t inGroup) const override
    {
        check_range(inGroup);
        return took(inGroup) ? m_text + m_region->end[inGroup] : nullptr;
    }
    const char* getText() const override { return m_text; }
    const char* getTextEnd() const override { return m_end; }
    const char* getStart() const override { return m_start; }
    const char* getRange() const override { return m_range; }

private:
    void check_range(uint32_t inGroup) const
    {
        if (inGroup >= getGroupCount())
            MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::RegionImpl::check_range");
    }
    // A group that took no part in the match has the engine's offsets -1; its pointers would lie before
    // the text.
    bool took(uint32_t inGroup) const { return m_region->beg[inGroup] >= 0 && m_region->end[inGroup] >= 0; }

    AutoPtr<RegEx> m_regex;
    const char* m_text;
    const char* m_end;
    const char* m_start;
    const char* m_range;
    OnigRegion* m_region;
};

class RegExImpl : public RegEx {
public:
    RegExImpl(const char* inPattern, uint32_t inLength, uint32_t inOptions) : m_regex(nullptr)
    {
        OnigOptionType options = ONIG_OPTION_EXTEND;
        if (inOptions & optDotMatchesNewline)
            options |= ONIG_OPTION_MULTILINE;
        if (inOptions & optIgnoreCase)
            options |= ONIG_OPTION_IGNORECASE;
        if (inOptions & optFindLongest)
            options |= ONIG_OPTION_FIND_LONGEST;
        if (inOptions & optFindNotEmpty)
            options |= ONIG_OPTION_FIND_NOT_EMPTY;
        OnigErrorInfo info = {};
        // The engine reads [pattern, pattern + length) and no further; an empty pattern needs no bytes.
        static const char kEmpty[1] = {0};
        const char* pattern = inLength ? inPattern : kEmpty;
        int r;
        {
            AutoLock lock(regexMutex());
            r = onig_new(&m_regex, bytes(pattern), bytes(pattern) + inLength, options, ONIG_ENCODING_UTF8,
                         ONIG_SYNTAX_PERL, &info);
        }
        if (r != ONIG_NORMAL) {
            m_regex = nullptr;
            if (r == ONIGERR_MEMORY)
                throw std::bad_alloc();
            MVX_THROW(errInitializationFailed, engineMessage(r, &info), "Morvenix::RegExImpl::RegExImpl");
        }
    }

    ~RegExImpl() override
    {
        AutoLock lock(regexMutex());
        onig_free(m_regex);
    }

    AutoPtr<Region> search(const char* inText, const char* inStart, const char* inRange, const char* inEnd) override
    {
        return find(inText, inStart, inRange, inEnd, ONIG_OPTION_CHECK_VALIDITY_OF_STRING);
    }

    // For the matcher, which has had the whole text checked by its first search: checking it again at every
    // match would make walking a text quadratic.
    AutoPtr<Region> searchChecked(const char* inText, const char* inStart, const char* inRange, const char* inEnd)
    {
        return find(inText, inStart, inRange, inEnd, ONIG_OPTION_NONE);
    }

    AutoPtr<Region> match(const char* inText, const char* inAt, const char* inEnd) override
    {
        const char* const function = "Morvenix::RegExImpl::match";
        if (!inText)
            MVX_THROW(errInvalidParam, "errInvalidParam", function);
        const char* end = inEnd < inText ? inText + std::strlen(inText) : inEnd;
        const char* at = inAt < inText ? inText : inAt;
        if (at > end)
            return AutoPtr<Region>();
        OwnedRegion region;
        int r = onig_match(m_regex, bytes(inText), bytes(end), bytes(at), region.get(),
                           ONIG_OPTION_CHECK_VALIDITY_OF_STRING);
        return makeRegion(r, region, inText, end, at, end, function);
    }

private:
    // The engine steps through a text by the lengths its lead bytes announce: in a text that is not
    // well-formed UTF-8 that runs past the end, so every text is checked (the option) before it is searched.
    AutoPtr<Region> find(const char* inText, const char* inStart, const char* inRange, const char* inEnd,
                         OnigOptionType inOption)
    {
        const char* const function = "Morvenix::RegExImpl::search";
        if (!inText)
            MVX_THROW(errInvalidParam, "errInvalidParam", function);
        const char* end = inEnd < inText ? inText + std::strlen(inText) : inEnd;
        const char* start = inStart < inText ? inText : inStart;
        const char* range = inRange < start ? end : inRange;
        // The engine is given no position outside [text, end]: past the end there is nothing to find.
        if (start > end)
            return AutoPtr<Region>();
        if (range > end)
            range = end;
        OwnedRegion region;
        int r = onig_search(m_regex, bytes(inText), bytes(end), bytes(start), bytes(range), region.get(), inOption);
        return makeRegion(r, region, inText, end, start, range, function);
    }

    AutoPtr<Region> makeRegion(int inResult, OwnedRegion& ioRegion, const char* inText, const char* inEnd,
                               const char* inStart, const char* inRange, const char* inFunction)
    {
        if (inResult == ONIG_MISMATCH)
            return AutoPtr<Region>();
        if (inResult < 0) {
            if (inResult == ONIGERR_MEMORY)
                throw std::bad_alloc();
            MVX_THROW(inResult == ONIGERR_INVALID_WIDE_CHAR_VALUE ? errDataBroken : errInternalError,
                      engineMessage(inResult), inFunction);
        }
        AutoPtr<Region> result(new RegionImpl(this, ioRegion.get(), inText, inEnd, inStart, inRange));
        ioRegion.release();
        return result;
    }

    regex_t* m_regex;
};

AutoPtr<RegEx> RegEx::create(const char* inPattern, uint32_t inLength, uint32_t inOptions)
{
    if (!inPattern && inLength)
        MVX_THROW(errInvalidParam, "errInvalidParam", "Morvenix::RegEx::create");
    return AutoPtr<RegEx>(new RegExImpl(inPattern, inLength, inOptions));
}

// ---- Matcher ----

RegExMatcher::RegExMatcher(const String& inPattern, uint32_t inOptions)
    : m_regex(RegEx::create(inPattern.begin(), inPattern.getLength(), inOptions))
{
}

RegExMatcher::~RegExMatcher()
{
    m_region.reset();
    m_regex.reset();
}

void RegExMatcher::compile(const char* inPattern, uint32_t inOptions)
{
    m_regex = RegEx::create(inPattern, inPattern ? uint32_t(std::strlen(inPattern)) : 0, inOptions);
}

bool RegExMatcher::search(const String& inText)
{
    m_region.reset();
    // A copy shares the caller's buffer; holding it keeps the bytes the spans point into alive.
    m_text = inText;
    m_region = m_regex->search(m_text.c_str(), nullptr, nullptr, nullptr);
    return bool(m_region);
}

bool RegExMatcher::next()
{
    if (!m_region)
        return false;
    const char* previousBegin = m_region->getBeginPtr(0);
    // The text was checked by search; every RegEx is a RegExImpl (its constructor is private to it).
    m_region = static_cast<RegExImpl*>(m_regex.get())
                   ->searchChecked(m_region->getText(), m_region->getEndPtr(0), m_region->getRange(),
                                   m_region->getTextEnd());
    return m_region && m_region->getBeginPtr(0) != previousBegin;
}

uint32_t RegExMatcher::getGroupCount() const
{
    return m_region ? m_region->getGroupCount() : 0;
}

String RegExMatcher::getGroup(uint32_t inGroup) const
{
    if (!m_region)
        MVX_THROW(errInvalidParam, "No match to take a group from!", "Morvenix::RegExMatcher::getGroup");
    uint32_t length = m_region->getLength(inGroup);
    return length ? String(m_region->getBeginPtr(inGroup), int32_t(length)) : String();
}

} // namespace Morvenix
