// The three tab views against a real download manager on the emulated instrument.

#include "application/Settings.h"
#include "tasks/DownloadManager.h"
#include "tasks/ReceivePresetsThread.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/InstrumentRig.h"
#include "views/AboutTabView.h"
#include "views/FwTabView.h"
#include "views/PresetsTabView.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{
juce::String labelText (juce::Component& view, const char* name)
{
    auto* label = findNamedAs<juce::Label> (view, name);
    return label != nullptr ? label->getText() : juce::String ("<no label>");
}

juce::Button& button (juce::Component& view, const char* name)
{
    auto* found = findNamedAs<juce::Button> (view, name);
    if (found == nullptr)
        throw std::runtime_error (std::string ("no button named ") + name);
    return *found;
}

// The window's part for tasks that report nothing here: it lets the manager know when a task
// is gone.
struct TaskGoneSignal : DownloadFilesListener
{
    void taskNameChanged (const juce::String&, juce::Component*) override {}
    void progressChanged (double, juce::Component*) override {}
    void taskFinished (int kind, int, juce::Component*) override
    {
        if (kind == (int) TaskKind::deleted && manager != nullptr)
            manager->taskGone.signal();
    }
    void quitRequested() override {}
    DownloadManager* manager = nullptr;
};

// Another task (a backup that never started) makes the manager refuse new transfers.
struct OtherTask
{
    explicit OtherTask (DownloadManager& m) : manager (m)
    {
        manager.backupTask = new ReceivePresetsThread (juce::File::getSpecialLocation (juce::File::tempDirectory));
    }
    ~OtherTask() { manager.deletePresetTasks(); }
    DownloadManager& manager;
};
} // namespace

TEST (FirmwareTab, OlderFirmwareOffersBothUpdatesAndDisableAllStopsThem)
{
    InstrumentRig rig;
    RecordedMessages messages;
    auto manager = rig.newManager();
    TaskGoneSignal window;
    window.manager = manager.get();
    manager->createUpdateTask (&window);
    FwTabView view (manager.get());

    EXPECT_EQ (labelText (view, "new label"), "Your Firmware version is 1.5.(1.5)\nA new version is available.");
    EXPECT_TRUE (button (view, "UpdateFwBtn").isEnabled());
    EXPECT_TRUE (button (view, "UpdateSoundsBtn").isEnabled());
    EXPECT_FALSE (button (view, "RestoreBtn").isVisible());
    EXPECT_FALSE (button (view, "UpdateFwBtn").getToggleState()) << "an enabled button never shows the disabled face";

    {
        // Refused while another task exists: the button stays enabled.
        OtherTask other (*manager);
        button (view, "UpdateFwBtn").triggerClick();
        pumpMessages();
        EXPECT_TRUE (button (view, "UpdateFwBtn").isEnabled());
        EXPECT_EQ (messages.shown(), (std::vector<ShownMessage> { { MessageIcon::warning, "A transfer is already running." } }));
    }

    view.disableAllButtons();
    for (const char* name : { "UpdateFwBtn", "UpdateSoundsBtn", "RestoreBtn" })
        EXPECT_FALSE (button (view, name).isEnabled()) << name;
    EXPECT_TRUE (button (view, "UpdateFwBtn").getToggleState()) << "the disabled face follows the enablement";
    EXPECT_TRUE (button (view, "UpdateSoundsBtn").getToggleState());

    button (view, "UpdateSoundsBtn").setEnabled (true);
    EXPECT_FALSE (button (view, "UpdateSoundsBtn").getToggleState());
    manager.reset();
}

TEST (FirmwareTab, CurrentFirmwareAndSoundsOfferNothing)
{
    InstrumentRig rig ({ "--firmware-version", "2.0", "--dream-version", "2.0", "--sound-version", "2.0" });
    RecordedMessages messages;
    auto manager = rig.newManager();
    FwTabView view (manager.get());

    EXPECT_EQ (labelText (view, "new label"), "Your Firmware version is 2.0.(2.0)\nYour firmware is up to date");
    EXPECT_FALSE (button (view, "UpdateFwBtn").isEnabled());
    EXPECT_FALSE (button (view, "UpdateSoundsBtn").isEnabled());
    manager.reset();
}

TEST (PresetsTab, DirectoryFromTheSettingsAndTheMessagesInTheirOrder)
{
    InstrumentRig rig;
    RecordedMessages messages;
    auto manager = rig.newManager();
    TaskGoneSignal window;
    window.manager = manager.get();
    manager->createUpdateTask (&window);
    auto& settings = *applicationSettings().getUserSettings();
    settings.removeValue (lastPresetsDirKey);

    {
        PresetsTabView view (manager.get());
        EXPECT_EQ (labelText (view, "LocationDir"), "");
        for (const char* name : { "BackupBtn", "RestoreBtn" })
        {
            messages.clear();
            view.buttonClicked (&button (view, name));
            EXPECT_EQ (messages.shown(), (std::vector<ShownMessage> { { MessageIcon::warning, "You have first to select a directory" } }))
                << name;
        }
    }

    const juce::String directory = juce::File::getSpecialLocation (juce::File::tempDirectory).getFullPathName();
    settings.setValue (lastPresetsDirKey, directory);
    {
        PresetsTabView view (manager.get());
        EXPECT_EQ (labelText (view, "LocationDir"), directory);

        OtherTask other (*manager);
        messages.clear();
        view.buttonClicked (&button (view, "BackupBtn"));
        EXPECT_EQ (messages.shown(),
                   (std::vector<ShownMessage> {
                       { MessageIcon::info, "Your presets will be saved.\nIt may take several minutes.\nDon't close the application until the operation is completed." },
                       { MessageIcon::warning, "A transfer is already running." } }));
        messages.clear();
        view.buttonClicked (&button (view, "RestoreBtn"));
        EXPECT_EQ (messages.shown(),
                   (std::vector<ShownMessage> {
                       { MessageIcon::info, "The presets will be copied into Vorlen.\n It may take several minutes.\nDon't unplug the device until the operation is completed." },
                       { MessageIcon::warning, "A transfer is already running." } }));
    }

    // A hand-edited relative path would name a directory relative to the working directory.
    settings.setValue (lastPresetsDirKey, "presets");
    {
        PresetsTabView view (manager.get());
        EXPECT_EQ (labelText (view, "LocationDir"), "");
    }
    settings.removeValue (lastPresetsDirKey);
    manager.reset();
}

TEST (AboutTab, ShowsTheVersionAndTheLogoOpensTheWebSiteOncePerClick)
{
    AboutTabView view;
    EXPECT_EQ (labelText (view, "VersionTxt"), "Version Test");

    // A stand-in browser first on PATH records what it is asked to open.
    const auto bin = juce::File::createTempFile ("bin");
    ASSERT_TRUE (bin.createDirectory());
    const auto record = bin.getChildFile ("opened.txt");
    const auto fake = bin.getChildFile ("xdg-open");
    ASSERT_TRUE (fake.replaceWithText ("#!/bin/sh\necho \"$1\" >> '" + record.getFullPathName() + "'\n", false, false, "\n"));
    ASSERT_TRUE (fake.setExecutePermission (true));
    const juce::String oldPath = juce::SystemStats::getEnvironmentVariable ("PATH", {});
    ::setenv ("PATH", (bin.getFullPathName() + ":" + oldPath).toRawUTF8(), 1);

    auto opened = [&] { return juce::StringArray::fromLines (record.loadFileAsString().trim()); };

    view.buttonClicked (&button (view, "TrelLogo"));
    view.buttonClicked (&button (view, "TrelLogo"));
    // The browser is started in the background: wait (boundedly) for both records.
    for (int i = 0; i < 500 && opened().size() < 2; ++i)
        juce::Thread::sleep (10);
    ::setenv ("PATH", oldPath.toRawUTF8(), 1);

    EXPECT_EQ (opened(), juce::StringArray ({ AboutTabView::makerWebSite, AboutTabView::makerWebSite }));
    bin.deleteRecursively();
}
