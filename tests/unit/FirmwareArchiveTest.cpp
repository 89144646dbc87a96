// Archive checks on archives built here: what unpacks, and which paths refuse the archive.

#include "tasks/FirmwareArchive.h"
#include "tests/support/InstrumentEmulator.h"

#include <gtest/gtest.h>

namespace
{
struct FirmwareArchiveTest : ::testing::Test
{
    // An archive holding one entry under each of `paths`, its bytes telling which it is.
    juce::File archiveOf (const juce::StringArray& paths, const juce::String& bytes = "payload")
    {
        juce::ZipFile::Builder builder;
        for (auto& path : paths)
        {
            const juce::File source = sources.getChildFile (juce::String (sourceCount++));
            source.replaceWithText (bytes + " " + path);
            builder.addFile (source, 9, path);
        }
        const juce::File zip = sources.getChildFile ("archive" + juce::String (sourceCount++) + ".zip");
        juce::FileOutputStream out (zip);
        builder.writeToStream (out, nullptr);
        return zip;
    }

    UnpackedArchive unpack (const juce::File& zip) { return unpackFirmwareArchive (zip, target.getChildFile (juce::String (sourceCount++))); }

    TemporaryDirectory work;
    juce::File sources { juce::File (work.path).getChildFile ("sources") };
    juce::File target { juce::File (work.path).getChildFile ("unpacked") };
    int sourceCount = 0;

    void SetUp() override { sources.createDirectory(); }
};
} // namespace

TEST_F (FirmwareArchiveTest, FilesUnpackWithTheirBytesEachIntoAFolderOfItsOwn)
{
    const UnpackedArchive result = unpack (archiveOf ({ "main", "lib/a/x.bin", "lib/b/x.bin", "..vorlen.conf" }));
    ASSERT_FALSE (result.refused()) << result.refusal;
    ASSERT_EQ (result.files.size(), 4u);
    EXPECT_EQ (result.files[1].path, "lib/a/x.bin");
    EXPECT_EQ (result.files[1].local.getFileName(), "x.bin");
    EXPECT_NE (result.files[1].local, result.files[2].local);
    for (const auto& file : result.files)
        EXPECT_EQ (file.local.loadFileAsString(), "payload " + file.path);
}

TEST_F (FirmwareArchiveTest, PathsThatCouldLandElsewhereOrConfuseTheShellRefuseTheArchive)
{
    for (const char* bad : { "lib/..hidden", "lib/a b.so", "lib/-rf", "lib//x", "lib/;reboot", "./main" })
    {
        const UnpackedArchive result = unpack (archiveOf ({ "main", bad }));
        EXPECT_TRUE (result.refusal.contains (bad)) << bad << ": " << result.refusal;
        EXPECT_TRUE (result.files.empty()) << bad;
    }
}

TEST_F (FirmwareArchiveTest, ArchivesWithoutFilesOrThatAreNoZipAreRefused)
{
    const juce::File text = sources.getChildFile ("page.zip");
    text.replaceWithText ("<html>404 Not Found</html>");
    EXPECT_TRUE (unpack (text).refused());

    const juce::File empty = sources.getChildFile ("empty.zip");
    empty.create();
    EXPECT_TRUE (unpack (empty).refused());

    // A zip cut before its directory: what a broken download would leave.
    const juce::File whole = archiveOf ({ "main", "config.xml" }, juce::String::repeatedString ("0123456789", 500));
    juce::MemoryBlock bytes;
    whole.loadFileAsData (bytes);
    const juce::File cut = sources.getChildFile ("cut.zip");
    cut.replaceWithData (bytes.getData(), bytes.getSize() - 30);
    EXPECT_TRUE (unpack (cut).refused());
}
