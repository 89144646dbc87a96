// Firmware and sound bank updates from the update-server fixture onto the emulated instrument,
// run by the download manager's update task.

#include "device/ShellChannel.h"
#include "tasks/DownloadFilesWithProgress.h"
#include "tasks/DownloadManager.h"
#include "tests/support/InstrumentEmulator.h"
#include "tests/support/PtyPair.h"
#include "tests/support/TaskTestSupport.h"
#include "tests/support/UpdateServerFixture.h"
#include "tests/support/ZmodemTestFiles.h"
#include "zmodem/ZmodemState.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
struct UpdateTaskTest : TaskTest
{
    void start (std::vector<std::string> instrumentArguments)
    {
        ::setenv ("VORLEN_FIRMWARE_BASE_URL", (server.baseUrl() + "last/").c_str(), 1);
        TaskTest::start (instrumentArguments);
    }

    void TearDown() override
    {
        TaskTest::TearDown();
        ::unsetenv ("VORLEN_FIRMWARE_BASE_URL");
    }

    bool before (const std::string& first, const std::string& second)
    {
        const auto all = instrument->commands();
        const auto a = std::find (all.begin(), all.end(), first), b = std::find (all.begin(), all.end(), second);
        return a != all.end() && b != all.end() && a < b;
    }

    // Every file of the served archive is on the instrument where its path says.
    void expectArchiveInstalled (const std::string& archive)
    {
        juce::ZipFile zip (juce::File (server.root() + "/last/" + archive));
        ASSERT_GT (zip.getNumEntries(), 0);
        for (int i = 0; i < zip.getNumEntries(); ++i)
        {
            const juce::String name = zip.getEntry (i)->filename;
            if (name.endsWith ("/"))
                continue;
            std::unique_ptr<juce::InputStream> in (zip.createStreamForEntry (i));
            juce::MemoryBlock bytes;
            in->readIntoMemoryBlock (bytes);
            const std::string expected ((const char*) bytes.getData(), bytes.getSize());
            const std::string where = name.startsWith ("..") ? instrument->workdir() + "/usr/" + name.substring (2).toStdString()
                                                             : instrument->usrAp() + "/" + name.toStdString();
            EXPECT_TRUE (readWholeFile (where) == expected) << name << " at " << where;
        }
    }

    UpdateServerFixture server;
};
} // namespace

TEST_F (UpdateTaskTest, OlderMainFirmwareIsReplacedMovedInPlaceAndTheInstrumentPoweredOff)
{
    server.generateContent ("--main-size 3K --lib-size 2K --dream-size 1K --wavetable-size 2K");
    start ({ "--firmware-version", "1.0", "--dream-version", "2.0" });

    EXPECT_EQ (manager->firmwareVersion, "1.0");
    EXPECT_EQ (manager->dreamVersion, "2.0");
    EXPECT_FALSE (manager->startFirmwareUpdate (nullptr)) << "nothing is offered before the versions were compared";
    ASSERT_TRUE (manager->isFirmwareUpdateAvailable());
    ASSERT_TRUE (manager->startFirmwareUpdate (nullptr));
    EXPECT_FALSE (manager->updateTask->startTransfer ({ "x" }, { "" }, nullptr)) << "busy";
    ASSERT_TRUE (waitForTheEnd());

    EXPECT_TRUE (window.quit);
    EXPECT_TRUE (window.finished.empty()) << "a powered-off instrument ends the application instead";
    EXPECT_EQ (messages.shown, juce::StringArray ("The vorlen has been powered-off. Unplug the USB cable and restart it to enjoy the new firmware."));
    expectArchiveInstalled ("firmware/test/main.zip");

    EXPECT_TRUE (before ("mount -o remount,rw /usr", "rz"));
    EXPECT_TRUE (before ("fuser -k /usr/ap/main", "mv .vorlen-update.main main"));
    EXPECT_TRUE (before ("mv .vorlen-update.main main", "mv .vorlen-update.config.xml config.xml")) << "the version claim changes last";
    EXPECT_TRUE (before ("mv .vorlen-update.config.xml config.xml", "chmod +x /usr/ap/main"));
    EXPECT_TRUE (before ("chmod +x /usr/ap/main", "poweroff"));
    const auto commands = instrument->commands();
    EXPECT_EQ (std::count (commands.begin(), commands.end(), "mount -o remount,ro /usr"), 0);
    EXPECT_NE (instrument->events().find ("poweroff"), std::string::npos);

    for (const char* step : { "Download...", "Decompress and copy files...", "Send file to Vorlen (main)",
                              "Send file to Vorlen (d1/d2/x)", "Move into destination (main)" })
        EXPECT_TRUE (window.names.contains (step)) << step;
    EXPECT_FALSE (window.names.contains ("Send file to Vorlen (dream_version.xml)")) << "the engine firmware was new enough";
    EXPECT_EQ (window.names[window.names.size() - 1], "");
}

TEST_F (UpdateTaskTest, NewerSoundBankIsInstalledVersionLastWithoutPowerOff)
{
    server.generateContent ("--wavetable-size 3K --sound-version 1.1");
    start ({ "--sound-version", "1.0" });
    ASSERT_TRUE (manager->isSoundBankUpdateAvailable());

    ASSERT_TRUE (manager->startSoundBankUpdate (nullptr));
    ASSERT_TRUE (waitForTheEnd());

    EXPECT_EQ (window.finished, (std::vector<std::pair<int, int>> { { (int) TaskKind::update, 1 } }));
    EXPECT_FALSE (window.quit);
    EXPECT_TRUE (messages.shown.isEmpty());
    for (auto [served, installed] : { std::pair { "wavetable.bin", "wavetable.bin" }, { "wavetable.txt", "wavetable.txt" },
                                      { "version.xml", "sound_version.xml" } })
        EXPECT_EQ (readWholeFile (instrument->usrAp() + "/" + installed), readWholeFile (server.root() + "/last/soundbank/" + served))
            << installed;
    EXPECT_TRUE (before ("md5sum wavetable.txt", "md5sum sound_version.xml"));
    EXPECT_EQ (instrument->commands().back(), "mount -o remount,ro /usr");
    EXPECT_FALSE (manager->isSoundBankUpdateAvailable());
    EXPECT_FALSE (window.names.contains ("Decompress and copy files..."));
}

TEST_F (UpdateTaskTest, UnreachableServerAbortsWithUsrReadOnlyAgain)
{
    start ({ "--firmware-version", "1.0" });
    const int nobody = juce::URL (server.baseUrl()).getPort() + 1;
    ::setenv ("VORLEN_FIRMWARE_BASE_URL", ("http://127.0.0.1:" + std::to_string (nobody) + "/last/").c_str(), 1);
    manager->restoreFirmware (nullptr);
    EXPECT_EQ (manager->dreamVersion, "");
    EXPECT_FALSE (window.ended.wait (300)) << "before the versions were compared nothing starts";

    manager->isFirmwareUpdateAvailable();
    manager->restoreFirmware (nullptr);
    ASSERT_TRUE (waitForTheEnd()) << "the restore asks, empties both versions and starts";

    EXPECT_EQ (manager->firmwareVersion, "");
    EXPECT_EQ (window.finished, (std::vector<std::pair<int, int>> { { (int) TaskKind::update, 0 } }));
    EXPECT_EQ (messages.shown, juce::StringArray ("The connection to the server fails."));
    EXPECT_EQ (instrument->commands().back(), "mount -o remount,ro /usr");
    const auto commands = instrument->commands();
    EXPECT_EQ (std::count (commands.begin(), commands.end(), "rz"), 0);
}
