#include "mvx_guid.h"

#include "mvx_string.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <windows.h>

#include <string>

using Morvenix::Guid;

namespace {

std::string platformText(const GUID& inGuid)
{
    wchar_t buffer[64];
    int n = StringFromGUID2(inGuid, buffer, 64);
    EXPECT_EQ(39, n);
    return Morvenix::String(buffer).c_str();
}

// The text of a generated GUID is the platform's rendering of the same value: parsing it with the platform
// and rendering it again gives the braced form of our text.
TEST(GuidPlatform, TextAgreesWithThePlatformRendering)
{
    for (int i = 0; i < 50; ++i) {
        Guid g(true);
        std::string ours = g.toString().c_str();
        GUID parsed;
        ASSERT_EQ(S_OK, CLSIDFromString(Morvenix::String(("{" + ours + "}").c_str()).wc_str(), &parsed));
        EXPECT_EQ("{" + ours + "}", platformText(parsed));
    }
}

// The generator makes random (version 4, RFC 4122 variant) GUIDs: the version digit sits at the start of
// the third group and the variant in the fourth only when Data1 to Data3 are laid out most significant
// byte first.
TEST(GuidPlatform, GeneratedFieldsInTextOrder)
{
    for (int i = 0; i < 50; ++i) {
        std::string t = Guid(true).toString().c_str();
        ASSERT_EQ(36u, t.size());
        EXPECT_EQ('4', t[14]) << t;
        EXPECT_NE(std::string::npos, std::string("89AB").find(t[19])) << t;
        EXPECT_EQ('-', t[8]);
        EXPECT_EQ('-', t[13]);
        EXPECT_EQ('-', t[18]);
        EXPECT_EQ('-', t[23]);
    }
}

} // namespace
