// How the library describes itself: the build version taken from the compile date and time, the
// platform string that carries it, and the file name of the library's own module.
#pragma once

#include "mvx_string.h"

namespace Morvenix {

// "0.YYYYMMDD.hhmmss" of the instant the library was compiled (with SOURCE_DATE_EPOCH set at configure
// time, that instant in UTC, so the build stays reproducible).
String getBuildVersion();

// The build version of a compiler date text ("Mmm dd yyyy", a blank before a one-digit day) and time text
// ("hh:mm:ss"). An unknown month counts as 13; a text shorter than its form is read as far as it goes.
String formatBuildVersion(const char* inDate, const char* inTime);

// "Windows; Intel; Build " and the build version.
String getPlatformString();

// The file path of the module the library is linked into.
String getOwnModuleName();

} // namespace Morvenix
