// How tasks end as the user sees it, through real task threads that are really asked to
// exit: Cancel hides the strip, gives the button back and says so; the installer's end
// quits once its box is closed.

#include "application/Settings.h"
#include "application/VUEditor.h"
#include "application/VULookAndFeel.h"
#include "tasks/DownloadFilesWithProgress.h"
#include "tasks/DownloadManager.h"
#include "tasks/LoadAppInstallerThread.h"
#include "tasks/SendPresetsThread.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/InstrumentRig.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{
constexpr int cancelSettleMs = 4000;

struct TaskEndTest : ::testing::Test
{
    static void SetUpTestSuite() { rig = new InstrumentRig(); }
    static void TearDownTestSuite()
    {
        delete rig;
        rig = nullptr;
    }

    void SetUp() override
    {
        juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel);
        manager = rig->newManager();
        editor = std::make_unique<VUEditor> (manager.get());
        editor->quitApplication = [this] { ++quits; };
        messages.clear();
    }

    void TearDown() override
    {
        manager.reset();
        editor.reset();
        juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
        ::setenv ("VORLEN_FIRMWARE_BASE_URL", (rig->server.baseUrl() + "last/").c_str(), 1);
        ::setenv ("VORLEN_APPLICATION_BASE_URL", (rig->server.baseUrl() + "vorlensoftware/").c_str(), 1);
    }

    juce::Component& child (const char* name) { return *findNamed (*editor, name); }
    juce::String taskName() { return dynamic_cast<juce::Label&> (child ("TaskName")).getText(); }
    bool stripShown() { return child ("Progression").isVisible() && child ("TaskName").isVisible() && child ("cancelTaskBtn").isVisible(); }
    bool stripHidden() { return ! child ("Progression").isVisible() && ! child ("TaskName").isVisible() && ! child ("cancelTaskBtn").isVisible(); }

    // Runs the message loop until `done` holds or `ms` have passed; returns `done`.
    template <typename Condition>
    bool pumpUntil (Condition done, int ms)
    {
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) ms;
        while (! done() && juce::Time::getMillisecondCounter() < end)
            pumpMessages (10);
        return done();
    }

    void clickCancelWhenShowing (const juce::String& namePrefix)
    {
        ASSERT_TRUE (pumpUntil ([&] { return stripShown() && taskName().startsWith (namePrefix); }, 20000))
            << "the step \"" << namePrefix << "\" never showed; the strip says \"" << taskName() << "\"";
        dynamic_cast<juce::Button&> (child ("cancelTaskBtn")).triggerClick();
        cancelledAt = juce::Time::getMillisecondCounter();
    }

    int msSinceCancel() const { return (int) (juce::Time::getMillisecondCounter() - cancelledAt); }

    static InstrumentRig* rig;
    VULookAndFeel lookAndFeel;
    RecordedMessages messages;
    std::unique_ptr<DownloadManager> manager;
    std::unique_ptr<VUEditor> editor;
    int quits = 0;
    juce::uint32 cancelledAt = 0;
};

InstrumentRig* TaskEndTest::rig = nullptr;

const std::vector<ShownMessage> aborted { { MessageIcon::warning, "The process has been aborted." } };
} // namespace

TEST_F (TaskEndTest, CancelDuringASoundBankDownloadEndsWithTheStripHiddenAndTheButtonBack)
{
    // Slow enough that the download lasts many chunks.
    rig->server.addFile ("last/soundbank/wavetable.bin", std::string (96 * 1024, 'w'));
    ::setenv ("VORLEN_FIRMWARE_BASE_URL", (rig->server.baseUrl() + "@slow:16384/last/").c_str(), 1);

    auto& button = child ("UpdateSoundsBtn");
    button.setEnabled (false);
    ASSERT_TRUE (manager->startSoundBankUpdate (&button));
    clickCancelWhenShowing ("Download...");

    EXPECT_TRUE (pumpUntil ([&] { return stripHidden() && button.isEnabled() && ! messages.shown().empty(); }, 10000));
    EXPECT_LT (msSinceCancel(), cancelSettleMs);
    EXPECT_TRUE (stripHidden());
    EXPECT_TRUE (button.isEnabled());
    EXPECT_EQ (messages.shown(), aborted);
    EXPECT_FALSE (manager->updateTask->busy);
    for (auto& line : rig->instrument.commands())
        EXPECT_EQ (juce::String (line).indexOf ("wavetable.bin"), -1) << "nothing is sent after Cancel: " << line;
}

TEST_F (TaskEndTest, CancelBetweenFirmwareArchiveEntriesEndsTheSameWayAndMovesNothing)
{
    auto& button = child ("UpdateFwBtn");
    ASSERT_TRUE (manager->isFirmwareUpdateAvailable());
    button.setEnabled (false);
    ASSERT_TRUE (manager->startFirmwareUpdate (&button));
    clickCancelWhenShowing ("Send file to Vorlen (");

    EXPECT_TRUE (pumpUntil ([&] { return stripHidden() && button.isEnabled() && ! messages.shown().empty(); }, 20000));
    EXPECT_TRUE (stripHidden());
    EXPECT_TRUE (button.isEnabled());
    EXPECT_EQ (messages.shown(), aborted);
    for (auto& line : rig->instrument.commands())
    {
        EXPECT_EQ (juce::String (line).indexOf ("poweroff"), -1) << line;
        EXPECT_EQ (juce::String (line).indexOf ("fuser -k"), -1) << line;
    }
}

TEST_F (TaskEndTest, CancelDuringARestoreSaysItWasAbortedAndReleasesTheTask)
{
    TemporaryDirectory presets;
    for (int i = 0; i < 24; ++i)
        juce::File (presets.path).getChildFile ("p" + juce::String (i).paddedLeft ('0', 2) + ".mz")
            .replaceWithData (juce::String::repeatedString ("preset ", 2000).toRawUTF8(), 14000);
    messages.answer = true;
    ASSERT_TRUE (manager->restorePresets (juce::File (presets.path)));
    ASSERT_NE (manager->restoreTask, nullptr);
    messages.clear();
    clickCancelWhenShowing ("Send presets...");

    EXPECT_TRUE (pumpUntil ([&] { return stripHidden() && manager->restoreTask == nullptr; }, 20000));
    EXPECT_TRUE (stripHidden());
    EXPECT_EQ (manager->restoreTask, nullptr);
    EXPECT_EQ (messages.shown(), (std::vector<ShownMessage> { { MessageIcon::warning, "The transfer has been aborted." } }));
}

TEST_F (TaskEndTest, CancelDuringTheInstallerDownloadHidesTheStripAndReleasesTheTaskSilently)
{
    rig->server.addFile ("vorlensoftware/windows/VorlenSoftware_setup.exe", std::string (96 * 1024, 'i'));
    ::setenv ("VORLEN_APPLICATION_BASE_URL", (rig->server.baseUrl() + "@slow:16384/vorlensoftware/").c_str(), 1);
    manager->installerTask = new LoadAppInstallerThread();
    manager->installerTask->startThread();
    clickCancelWhenShowing ("Download Application Update...");

    EXPECT_TRUE (pumpUntil ([&] { return stripHidden() && manager->installerTask == nullptr; }, 10000));
    EXPECT_LT (msSinceCancel(), cancelSettleMs);
    EXPECT_TRUE (stripHidden());
    EXPECT_EQ (manager->installerTask, nullptr);
    EXPECT_TRUE (messages.shown().empty());
    EXPECT_EQ (quits, 0);
}

TEST_F (TaskEndTest, LoadedInstallerIsAnnouncedThenTheApplicationQuitsWithoutStartingAForeignFile)
{
    // A path that is not this application's installer must never be started, whatever the system.
    TemporaryDirectory elsewhere;
    const juce::File foreign = juce::File (elsewhere.path).getChildFile ("other.sh");
    foreign.replaceWithText ("#!/bin/sh\ntouch " + foreign.getFullPathName() + ".ran\n");
    foreign.setExecutePermission (true);
    applicationSettings().getUserSettings()->setValue (fileToRemoveKey, foreign.getFullPathName());
    EXPECT_EQ (installerToStart (juce::SystemStats::Windows10), juce::File());

    manager->installerTask = new LoadAppInstallerThread();
    runOnTaskThread ([this] { editor->taskFinished ((int) TaskKind::installer, 1, nullptr); });
    EXPECT_TRUE (pumpUntil ([&] { return quits > 0 && manager->installerTask == nullptr; }, 2000));
    EXPECT_EQ (messages.shown(), (std::vector<ShownMessage> { { MessageIcon::warning, "The installer is loaded. Press 'Ok' to start it." } }));
    EXPECT_EQ (quits, 1);
    EXPECT_EQ (manager->installerTask, nullptr);
    EXPECT_FALSE (foreign.getSiblingFile ("other.sh.ran").exists());

    // This application's own installer is the one a Windows system would start.
    downloadedInstallerFile().getParentDirectory().createDirectory();
    ASSERT_TRUE (downloadedInstallerFile().replaceWithText ("installer"));
    applicationSettings().getUserSettings()->setValue (fileToRemoveKey, downloadedInstallerFile().getFullPathName());
    EXPECT_EQ (installerToStart (juce::SystemStats::Windows10), downloadedInstallerFile());
    EXPECT_EQ (installerToStart (juce::SystemStats::Linux), juce::File());
    applicationSettings().getUserSettings()->removeValue (fileToRemoveKey);
    downloadedInstallerFile().deleteFile();
}

TEST_F (TaskEndTest, AFailedTransferAfterCancelStillReachesTheEditor)
{
    // The report comes from a thread whose exit flag is set, as after Cancel.
    auto& button = child ("UpdateSoundsBtn");
    button.setEnabled (false);
    runOnTaskThread ([&]
    {
        juce::Thread::getCurrentThread()->signalThreadShouldExit();
        editor->taskNameChanged ("Download...", &button);
        editor->taskNameChanged ({}, &button);
        editor->taskFinished ((int) TaskKind::update, 0, &button);
    });
    EXPECT_TRUE (stripHidden());
    EXPECT_TRUE (button.isEnabled());
    EXPECT_EQ (messages.shown(), aborted);
}
