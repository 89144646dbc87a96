// The order of one update's changes to the instrument, without an instrument.

#include "tasks/InstallPlan.h"

#include <gtest/gtest.h>

namespace
{
// One letter a step: s = sent and placed at once, w = sent to wait, p = placed, x = main
// made executable; each followed by the file's path.
std::string describe (const std::vector<PlannedFile>& files, bool mainArchive)
{
    std::string text;
    for (const auto& step : planInstall (files, mainArchive))
    {
        if (step.kind == InstallStep::makeMainExecutable)
            text += "x ";
        else
            text += std::string (step.kind == InstallStep::place ? "p" : step.deferMove ? "w" : "s") + ":"
                    + files[(size_t) step.file].remotePath.toStdString() + " ";
    }
    return text;
}
} // namespace

TEST (InstallPlanTest, VersionDocumentsArePlacedAfterEverythingElse)
{
    const std::vector<PlannedFile> both {
        { "config.xml", 0, true }, { "main", 0, true }, { "lib/v.so", 0, true },
        { "dream_version.xml", 1, true }, { "dream/engine.bin", 1, true } };
    EXPECT_EQ (describe (both, true),
               "w:config.xml w:main w:lib/v.so p:main p:lib/v.so w:dream_version.xml w:dream/engine.bin "
               "p:dream/engine.bin p:config.xml p:dream_version.xml x ");

    const std::vector<PlannedFile> dreamAlone { { "dream_version.xml", 0, true }, { "dream/engine.bin", 0, true } };
    EXPECT_EQ (describe (dreamAlone, false), "w:dream_version.xml s:dream/engine.bin p:dream_version.xml ");

    const std::vector<PlannedFile> soundBank {
        { "wavetable.bin", 0, false }, { "wavetable.txt", 1, false }, { "sound_version.xml", 2, false } };
    EXPECT_EQ (describe (soundBank, false), "s:wavetable.bin s:wavetable.txt w:sound_version.xml p:sound_version.xml ");
}
