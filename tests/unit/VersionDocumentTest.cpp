// Version documents as text: what is parsed and what is refused before JUCE's parser sees it.

#include "tasks/VersionDocument.h"

#include <gtest/gtest.h>

namespace
{
juce::String versionOf (const std::string& bytes)
{
    juce::MemoryInputStream in (bytes.data(), bytes.size(), false);
    const auto root = parseVersionDocument (in.readEntireStreamAsString());
    return root != nullptr ? readVersionAttribute (*root) : juce::String ("<no root>");
}
} // namespace

TEST (VersionDocumentTest, Utf8AndUtf16DocumentsAndDeclarationsBeforeTheRootAreRead)
{
    const std::string document = "<?xml version=\"1.0\"?>\n<?style x?><!-- c -->\n<config><fw version=\"2.0\xC3\xA9\"/></config>\n";
    EXPECT_EQ (versionOf (document), juce::String::fromUTF8 ("2.0\xC3\xA9"));
    EXPECT_EQ (versionOf ("\xEF\xBB\xBF" + document), juce::String::fromUTF8 ("2.0\xC3\xA9"));

    std::string utf16 = "\xFF\xFE";
    for (char c : std::string ("<a><b version=\"1.1\"/></a>"))
        utf16 += std::string (1, c) + '\0';
    EXPECT_EQ (versionOf (utf16), "1.1");
    EXPECT_EQ (versionOf ("<a><b version=\"3\"/></a>\xD7"), "3") << "a file cut inside a character";
}

// Given a processing instruction and then text inside an element, JUCE's parser never returns;
// given a text that ends in "&#x", it reads past its end.
TEST (VersionDocumentTest, DocumentsThatJucesParserMishandlesAreRefused)
{
    EXPECT_EQ (versionOf ("<a><b version=\"3\"/>&#x"), "<no root>");
    EXPECT_EQ (versionOf ("<a><b version=\"&#X4"), "<no root>");
    EXPECT_EQ (versionOf ("<a><b version=\"&#x33;&#X2e;1\"/>&#xZ</a>"), "<no root>") << "a reference left unfinished";
    EXPECT_EQ (versionOf ("<a>&<a>t;<b version=\"3\"/></a>"), "<no root>") << "an unknown reference is read as markup";
    EXPECT_EQ (versionOf ("<a><b version=\"3\"/>\xC0\x80</a>"), "<no root>") << "an overlong zero";
    EXPECT_EQ (versionOf ("<a><b version=\"&#x33;&#46;1&amp;&lt;&gt;&quot;&apos;\"/></a>"), "3.1&<>\"'");
    EXPECT_EQ (versionOf ("<a><b version=\"3\"/><?pi x?>text</a>"), "<no root>");
    EXPECT_EQ (versionOf ("<a><?pi?><b version=\"3\"/></a>"), "<no root>");
    EXPECT_EQ (versionOf ("<!DOCTYPE a [<!ENTITY e \"&#60;b>&#60;?x?>t&#60;/b>\">]><a>&e;<b version=\"3\"/></a>"),
               "<no root>");
    EXPECT_EQ (versionOf ("<a><b version=\"3\"/></a>"), "3");
}
