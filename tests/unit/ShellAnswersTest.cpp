// Reading the shell's answers once they have arrived: echo and prompts, md5sum, ls.

#include "device/ShellAnswers.h"

#include <gtest/gtest.h>

TEST (ShellAnswersTest, EchoAndPromptsAreCutOnlyWhereFound)
{
    const juce::String prompts = "/usr/ap # /usr/ap # ";
    auto split = [&] (const char* answer) { return splitShellAnswer (answer, "ls", prompts); };

    const ShellAnswer whole = split ("lsa.mzb.mz/usr/ap # /usr/ap # ");
    EXPECT_EQ (whole.output, "a.mzb.mz");
    EXPECT_TRUE (whole.echoFound && whole.promptsFound);

    const ShellAnswer noPrompts = split ("lsa.mz/usr/ap # ");
    EXPECT_EQ (noPrompts.output, "a.mz/usr/ap # ") << "one prompt is not the two";
    EXPECT_FALSE (noPrompts.promptsFound);

    const ShellAnswer noEcho = split ("a.mz/usr/ap # /usr/ap # ");
    EXPECT_EQ (noEcho.output, "a.mz");
    EXPECT_FALSE (noEcho.echoFound);

    EXPECT_EQ (split ("ls").output, "") << "the echo alone";
    EXPECT_EQ (splitShellAnswer ("cd /x # /x # ", "cd /x", "/x # /x # ").output, "") << "echo and prompts overlap";
}

TEST (ShellAnswersTest, TextOfAChunkIsItsUtf8UpToAZeroByte)
{
    EXPECT_EQ (shellChunkText ("ab\xc3\xa9" "cd", 6), juce::String::fromUTF8 ("ab\xc3\xa9" "cd"));
    EXPECT_EQ (shellChunkText ("ab\xe9" "cd", 5), "ab?cd") << "not UTF-8: a high byte is no letter of a name";
    EXPECT_EQ (shellChunkText ("ab\xc3", 3), "ab?") << "a character cut at the chunk's end";
    EXPECT_EQ (shellChunkText ("ab\0cd", 5), "ab");
    EXPECT_EQ (shellChunkText ("abcd", 3), "abc");
}

TEST (ShellAnswersTest, DigestIsTheFirstThirtyTwoCharactersOfMd5sumsAnswer)
{
    EXPECT_EQ (digestInAnswer ("d41d8cd98f00b204e9800998ecf8427e  main"), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ (digestInAnswer ("d41d8cd9"), "d41d8cd9") << "a late answer is kept as far as it came";
    EXPECT_EQ (digestInAnswer (""), "");
}

// ls's complaint about a missing file starts with "ls: ", which also starts with the names "l",
// "ls" and "ls:": such a file was taken to be there.
TEST (ShellAnswersTest, ListingShowsTheFileButNotLsComplainingAboutIt)
{
    EXPECT_TRUE (listingShowsFile ("main", "main"));
    EXPECT_FALSE (listingShowsFile ("ls: main: No such file or directory", "main"));
    for (const char* name : { "l", "ls", "ls:" })
    {
        EXPECT_FALSE (listingShowsFile (juce::String ("ls: ") + name + ": No such file or directory", name)) << name;
        EXPECT_FALSE (listingShowsFile (juce::String ("ls: cannot access '") + name + "': No such file or directory", name))
            << name;
        EXPECT_TRUE (listingShowsFile (name, name)) << name;
    }
}
