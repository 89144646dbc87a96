// Version strings and version documents.

#include "tasks/VersionFiles.h"

#include <gtest/gtest.h>

TEST (VersionOrderTest, StringsCompareCharacterByCharacter)
{
    EXPECT_TRUE (isOlderVersion ("1.0.10", "1.0.9"));
    EXPECT_TRUE (isOlderVersion ("10.0", "2.0"));
    EXPECT_FALSE (isOlderVersion ("2.0.1", "2.0"));
    EXPECT_TRUE (isOlderVersion ("2.0", "2.0.1")) << "a prefix is older";
    EXPECT_FALSE (isOlderVersion ("2.0", "2.0"));
    EXPECT_TRUE (isOlderVersion ("", "1.0"));
    EXPECT_FALSE (isOlderVersion ("1.0", ""));

    // The application calls itself "Test": only versions that sort after it are offered.
    for (const char* offered : { "Test1", "U1", "alpha" })
        EXPECT_TRUE (isOlderVersion ("Test", offered)) << offered;
    for (const char* notOffered : { "3.0", "Test", "S9", "" })
        EXPECT_FALSE (isOlderVersion ("Test", notOffered)) << notOffered;
}

TEST (VersionOrderTest, VersionIsTheFirstChildElementsAttribute)
{
    auto read = [] (const char* text)
    {
        const auto root = juce::parseXML (juce::String (text));
        return root != nullptr ? readVersionAttribute (*root) : juce::String ("<no root>");
    };
    EXPECT_EQ (read ("<config><firmware version=\"2.0\"/><other version=\"9\"/></config>"), "2.0");
    EXPECT_EQ (read ("<a>text first<b version=\"1.1\"/></a>"), "1.1");
    EXPECT_EQ (read ("<a><b/><c version=\"3\"/></a>"), "") << "only the first child counts";
    EXPECT_EQ (read ("<a version=\"5\"/>"), "") << "no child element";
    EXPECT_EQ (read ("not xml"), "<no root>");
}
