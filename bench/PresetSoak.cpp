// Soak: preset restore + backup cycles against the unpaced instrument emulator, with random
// *.mz files, every byte compared. Prints the mismatches and the time per cycle.
//   build-bench/preset_soak      VORLEN_SOAK_CYCLES (100) cycles, VORLEN_SOAK_PAUSE_MS (1000) between
//                                the restore's end and the backup's start

#include "tests/support/PtyPair.h"
#include "tests/support/TaskTestSupport.h"
#include "tests/support/ZmodemTestFiles.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace
{
struct PresetSoak : TaskTest
{
    // Fresh random presets for one cycle: 1 to 6 files of 0 to 48 KiB.
    juce::StringArray writePresets (const std::string& directory, std::mt19937& random)
    {
        juce::StringArray names;
        const int count = 1 + (int) (random() % 6);
        for (int i = 0; i < count; ++i)
        {
            const std::string name = "Soak" + std::to_string (i) + ".mz";
            writeWholeFile (directory + "/" + name, randomBytes (random() % (48 * 1024 + 1), random()));
            names.add (name);
        }
        return names;
    }

    int mismatches (const juce::StringArray& names, const std::string& sent, const std::string& back)
    {
        int bad = 0;
        for (auto& name : names)
        {
            const std::string original = readWholeFile (sent + "/" + name.toStdString());
            const bool onInstrument = readWholeFile (instrument->usrAp() + "/presets/" + name.toStdString()) == original;
            const bool backedUp = readWholeFile (back + "/" + name.toStdString()) == original;
            if (! onInstrument || ! backedUp)
                std::printf ("mismatch: %s (%s)\n", name.toRawUTF8(), onInstrument ? "backup differs" : "instrument's copy differs");
            bad += onInstrument && backedUp ? 0 : 1;
        }
        return bad;
    }

    // True when both tasks started, ended and reported success (a backup tells it by its message).
    bool runCycle (const std::string& sent, const std::string& back)
    {
        window.finished.clear();
        messages.shown.clear();
        if (! manager->restorePresets (juce::File (sent)) || ! waitForTheEnd (300))
            return false;
        manager->deletePresetTasks();
        const bool restored = window.finished == std::vector<std::pair<int, int>> { { (int) TaskKind::presets, 1 } };
        // A user clicks the next button a while after the last box; see the README.
        juce::Thread::sleep (pauseBetweenTasksMs);
        if (! manager->backupPresets (juce::File (back)) || ! waitForTheEnd (300))
            return false;
        manager->deletePresetTasks();
        return restored && messages.shown.size() == 1 && messages.shown[0].startsWith ("Your presets have been stored into ");
    }

    int pauseBetweenTasksMs = std::getenv ("VORLEN_SOAK_PAUSE_MS") ? std::atoi (std::getenv ("VORLEN_SOAK_PAUSE_MS")) : 1000;
};
} // namespace

TEST_F (PresetSoak, RestoreAndBackupCyclesKeepEveryByte)
{
    const int cycles = std::getenv ("VORLEN_SOAK_CYCLES") ? std::atoi (std::getenv ("VORLEN_SOAK_CYCLES")) : 100;
    start ({ "--presets", "0" });
    std::mt19937 random (20261210);
    int bad = 0, files = 0, failedCycles = 0;
    const auto begin = std::chrono::steady_clock::now();

    for (int cycle = 0; cycle < cycles; ++cycle)
    {
        const TemporaryDirectory sent, back;
        const auto names = writePresets (sent.path, random);
        files += names.size();
        if (! runCycle (sent.path, back.path))
        {
            ++failedCycles;
            std::printf ("cycle %d did not succeed; messages: %s\n", cycle, messages.shown.joinIntoString (" / ").toRawUTF8());
        }
        bad += mismatches (names, sent.path, back.path);
    }

    const double seconds = std::chrono::duration<double> (std::chrono::steady_clock::now() - begin).count();
    std::printf ("%d cycles, %d files: %d mismatches, %d cycles that did not succeed, %.2f s per cycle\n",
                 cycles, files, bad, failedCycles, seconds / cycles);
    EXPECT_EQ (bad, 0);
    EXPECT_EQ (failedCycles, 0);
}
