// Faults on the instrument's side of the line: a full flash, a transfer that gives up, a pulled
// cable. Each must leave every file old or new, never claim success, say what happened, and
// leave an instrument that the next start finds (with /usr read-only after an update).

#include "device/ShellChannel.h"
#include "devicefiles/InstrumentFault.h"
#include "tasks/DownloadFilesWithProgress.h"
#include "tests/support/PtyPair.h"
#include "tests/support/TaskTestSupport.h"
#include "tests/support/UpdateServerFixture.h"
#include "tests/support/ZmodemTestFiles.h"
#include "zmodem/ZmodemState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/mount.h>

namespace
{
const char* const smallContent = "--main-size 3K --lib-size 2K --dream-size 2K --wavetable-size 2K";

struct LineFaultRun : TaskTest
{
    void TearDown() override
    {
        TaskTest::TearDown();
        ::unsetenv ("VORLEN_FIRMWARE_BASE_URL");
    }

    void startAgainst (const std::string& content, const std::vector<std::string>& instrumentArguments)
    {
        server.generateContent (content);
        ::setenv ("VORLEN_FIRMWARE_BASE_URL", (server.baseUrl() + "last/").c_str(), 1);
        start (instrumentArguments);
    }

    bool failedWithoutPowerOff()
    {
        const auto commands = instrument->commands();
        return window.finished == std::vector<std::pair<int, int>> { { (int) TaskKind::update, 0 } } && ! window.quit
               && std::count (commands.begin(), commands.end(), "poweroff") == 0;
    }

    // As at the next start: the port closed, then the probe over it alone.
    bool foundAgain()
    {
        zmodemClose();
        ::setenv ("VORLEN_SERIAL_PORTS", instrument->port().c_str(), 1);
        const bool found = probeInstrument();
        ::unsetenv ("VORLEN_SERIAL_PORTS");
        return found;
    }

    bool usrReadOnly()
    {
        return runShellCommand ("touch /usr/ap/written", false).contains ("Read-only file system");
    }

    bool shown (const juce::String& text)
    {
        std::lock_guard<std::mutex> hold (messages.lock);
        return messages.shown.contains (text);
    }

    UpdateServerFixture server;
};

struct FlashCase
{
    const char* name;
    std::vector<std::string> instrument;  // versions, and the little room left on /usr
    const char* content;
    bool soundBank;
    const char* cannotBeCopied;  // the file whose copy does not fit
};

struct FullFlashTest : LineFaultRun, ::testing::WithParamInterface<FlashCase>
{
};
} // namespace

// The copy that does not fit is cut short beside its place: the old file stays, the copies
// already waiting are removed, and the update fails without a power-off.
TEST_P (FullFlashTest, LeavesEveryOldFileAndNoCopyBehind)
{
    const FlashCase& c = GetParam();
    startAgainst (c.content, c.instrument);
    if (! c.soundBank)
        writeWholeFile (instrument->usrAp() + "/dream/dsp.bin", "the old engine");
    const std::string before = usrTree (*instrument);

    ASSERT_TRUE (c.soundBank ? manager->isSoundBankUpdateAvailable() : manager->isFirmwareUpdateAvailable());
    ASSERT_TRUE (c.soundBank ? manager->startSoundBankUpdate (nullptr) : manager->startFirmwareUpdate (nullptr));
    ASSERT_TRUE (waitForTheEnd (120));

    EXPECT_TRUE (failedWithoutPowerOff());
    EXPECT_EQ (usrTree (*instrument), before);
    EXPECT_EQ (instrument->commands().back(), "mount -o remount,ro /usr");
    EXPECT_TRUE (shown (juce::String ("The file (") + c.cannotBeCopied + ") cannot be copied onto the Vorlen."))
        << messages.shown.joinIntoString (" | ");
}

INSTANTIATE_TEST_SUITE_P (
    Moves, FullFlashTest,
    ::testing::Values (
        // Copies of main and config.xml wait while a new library does not fit.
        FlashCase { "NewFileWhileCopiesWait", { "--firmware-version", "1.0", "--dream-version", "2.0", "--usr-free", "48k" },
                    "--main-size 3K --lib-size 200K --dream-size 2K --wavetable-size 2K", false, "libfoo.so" },
        // The engine archive alone places each replaced file at once.
        FlashCase { "ReplacedFilePlacedAtOnce", { "--firmware-version", "2.0", "--dream-version", "1.0", "--usr-free", "48k" },
                    "--main-size 3K --lib-size 2K --dream-size 200K --wavetable-size 2K", false, "dsp.bin" },
        FlashCase { "SoundBankFile", { "--sound-version", "1.0", "--usr-free", "48k" },
                    "--main-size 3K --lib-size 2K --dream-size 2K --wavetable-size 200K", true, "wavetable.bin" }),
    [] (const ::testing::TestParamInfo<FlashCase>& info) { return std::string (info.param.name); });

namespace
{
enum class Direction
{
    send,
    backup
};

struct CableTest : LineFaultRun, ::testing::WithParamInterface<Direction>
{
};
} // namespace

// The user is told the instrument went away, not a checksum story, and at once.
TEST_P (CableTest, PulledDuringATransferSaysTheVorlenStoppedAnswering)
{
    const bool send = GetParam() == Direction::send;
    startAgainst ("--wavetable-size 60K", { "--sound-version", "1.0", "--presets", "12" });
    TemporaryDirectory backup;
    // Far into the transfer, past the shell's answers that come before it.
    ASSERT_EQ (instrument->control (send ? "unplug to-device after 20000" : "unplug to-host after 6000"), "OK\n");

    const auto started = juce::Time::getMillisecondCounter();
    if (send)
    {
        ASSERT_TRUE (manager->isSoundBankUpdateAvailable());
        ASSERT_TRUE (manager->startSoundBankUpdate (nullptr));
    }
    else
        ASSERT_TRUE (manager->backupPresets (juce::File (backup.path)));
    ASSERT_TRUE (waitForTheEnd (60));
    const auto took = juce::Time::getMillisecondCounter() - started;

    EXPECT_TRUE (shown (instrumentLostMessage)) << messages.shown.joinIntoString (" | ");
    for (const auto& message : messages.shown)
        EXPECT_FALSE (message.startsWith ("Bad checksum")) << message;
    EXPECT_LT (took, 20000u) << "no long retries against a line that is gone";
    if (send)
        EXPECT_TRUE (failedWithoutPowerOff());
}

INSTANTIATE_TEST_SUITE_P (Transfers, CableTest, ::testing::Values (Direction::send, Direction::backup),
                          [] (const ::testing::TestParamInfo<Direction>& info)
                          { return std::string (info.param == Direction::send ? "Send" : "Backup"); });

namespace
{
struct GiveUpTest : LineFaultRun
{
};
} // namespace

// A backup into a folder that fills up gives up on this computer's side: the instrument's lsz
// is told to stop, and the next start finds the instrument at once.
TEST_F (GiveUpTest, AReceiveThatGivesUpEndsTheInstrumentsSender)
{
    startAgainst (smallContent, { "--presets", "30" });
    TemporaryDirectory backup;
    ASSERT_EQ (::mount ("tmpfs", backup.path.c_str(), "tmpfs", 0, "size=16k"), 0) << "needs root";

    ASSERT_TRUE (manager->backupPresets (juce::File (backup.path)));
    ASSERT_TRUE (waitForTheEnd (60));
    ::umount2 (backup.path.c_str(), MNT_DETACH);

    EXPECT_TRUE (shown ("An error occurs. The presets cannot be saved.")) << messages.shown.joinIntoString (" | ");
    EXPECT_FALSE (shown (instrumentLostMessage));
    EXPECT_TRUE (instrument->waitForEvent ("lsz exit=", 5000)) << "the instrument's sender ended";
    EXPECT_TRUE (foundAgain());
}

// The instrument's rz dies in the middle of a file: the send gives up, the shell is won back,
// /usr is read-only again and the next start finds the instrument.
TEST_F (GiveUpTest, ASendWhoseReceiverDiesEndsWithTheShellBack)
{
    startAgainst ("--wavetable-size 40K", { "--sound-version", "1.0", "--kill-transfer", "8000" });
    const std::string before = readWholeFile (instrument->usrAp() + "/wavetable.bin");
    ASSERT_TRUE (manager->isSoundBankUpdateAvailable());
    ASSERT_TRUE (manager->startSoundBankUpdate (nullptr));
    ASSERT_TRUE (waitForTheEnd (120));

    EXPECT_TRUE (failedWithoutPowerOff());
    EXPECT_NE (instrument->events().find ("transfer killed"), std::string::npos);
    EXPECT_EQ (readWholeFile (instrument->usrAp() + "/wavetable.bin"), before);
    EXPECT_FALSE (juce::File (instrument->usrAp() + "/.vorlen-update.wavetable.bin").exists());
    EXPECT_TRUE (foundAgain());
    EXPECT_TRUE (usrReadOnly());
}
