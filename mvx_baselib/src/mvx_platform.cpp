// The library's build version and platform string, and its own module's file name.
#define MVX_SOURCE "mvx_platform"
#include "mvx_platform.h"

#include "mvx_win32utils.h"

#include <cstdlib>
#include <cstring>

// The build system passes the instant of SOURCE_DATE_EPOCH in the compiler's own forms; otherwise the
// compiler's date and time of this translation unit are the build's.
#ifndef MVX_BUILD_DATE
#define MVX_BUILD_DATE __DATE__
#endif
#ifndef MVX_BUILD_TIME
#define MVX_BUILD_TIME __TIME__
#endif

namespace Morvenix {

namespace {

// The text in a zero-filled buffer of its form's length: fields past a short text read as 0.
template <size_t n>
void copyField(char (&outBuffer)[n], const char* inText)
{
    std::memset(outBuffer, 0, n);
    if (inText)
        std::strncpy(outBuffer, inText, n - 1);
}

} // namespace

String formatBuildVersion(const char* inDate, const char* inTime)
{
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char date[12], time[9];
    copyField(date, inDate);
    copyField(time, inTime);
    unsigned month = 13;
    for (unsigned i = 0; i < 12; ++i) {
        if (std::strncmp(date, kMonths[i], 3) == 0) {
            month = i + 1;
            break;
        }
    }
    return String::format("%u.%04d%02u%02d.%02d%02d%02d", 0u, std::atoi(date + 7), month, std::atoi(date + 4),
                          std::atoi(time), std::atoi(time + 3), std::atoi(time + 6));
}

String getBuildVersion()
{
    return formatBuildVersion(MVX_BUILD_DATE, MVX_BUILD_TIME);
}

String getPlatformString()
{
    return String::format("%s; %s; Build %s", "Windows", "Intel", getBuildVersion().c_str());
}

String getOwnModuleName()
{
    return Morvenix_Win32::getCallerModuleName();
}

} // namespace Morvenix
