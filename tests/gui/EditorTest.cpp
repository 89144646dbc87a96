// The editor against a real download manager on the emulated instrument: tabs, the task
// strip, the end-of-task outcomes reported from a task thread, and its command messages.

#include "application/MyTabbedButtonBar.h"
#include "application/VUEditor.h"
#include "application/VULookAndFeel.h"
#include "tasks/DownloadFilesWithProgress.h"
#include "tasks/DownloadManager.h"
#include "tasks/ReceivePresetsThread.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/InstrumentRig.h"

#include <gtest/gtest.h>

namespace
{
struct EditorTest : ::testing::Test
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
        messages.clear();
    }

    // As the window does: the manager goes first, while the editor still signals each
    // task's deletion.
    void TearDown() override
    {
        manager.reset();
        editor.reset();
        juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
    }

    juce::Component& child (const char* name)
    {
        auto* found = findNamed (*editor, name);
        if (found == nullptr)
            throw std::runtime_error (std::string ("no child named ") + name);
        return *found;
    }

    bool stripShown() { return child ("Progression").isVisible() && child ("TaskName").isVisible() && child ("cancelTaskBtn").isVisible(); }
    bool stripHidden() { return ! child ("Progression").isVisible() && ! child ("TaskName").isVisible() && ! child ("cancelTaskBtn").isVisible(); }

    static InstrumentRig* rig;
    VULookAndFeel lookAndFeel;
    RecordedMessages messages;
    std::unique_ptr<DownloadManager> manager;
    std::unique_ptr<VUEditor> editor;
};

InstrumentRig* EditorTest::rig = nullptr;
} // namespace

TEST_F (EditorTest, StartsOnTheFirmwareTabAndTabClicksSwapTheViewsInPlace)
{
    auto& firmware = child ("FwTabView");
    auto& presets = child ("PresetsTabView");
    auto& about = child ("AboutTabView");
    EXPECT_TRUE (firmware.isVisible());
    EXPECT_FALSE (presets.isVisible());
    EXPECT_FALSE (about.isVisible());
    EXPECT_EQ (firmware.getPosition(), juce::Point<int> (55, 35));
    EXPECT_TRUE (stripHidden());
    EXPECT_TRUE (messages.shown().empty()) << "the server's application is not newer: no question";

    auto* bar = dynamic_cast<MyTabbedButtonBar*> (&child ("tabBar"));
    ASSERT_NE (bar, nullptr);
    ASSERT_EQ (bar->getNumTabs(), 3);
    EXPECT_EQ (bar->getCurrentTabIndex(), 0);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ (bar->getTabButton (i)->getName(), "VuTabButton");
        EXPECT_EQ (bar->getTabButton (i)->getBounds(), juce::Rectangle<int> (83 * i, 0, 83, 21));
    }

    bar->getTabButton (2)->triggerClick();
    pumpMessages();
    EXPECT_FALSE (firmware.isVisible());
    EXPECT_TRUE (about.isVisible());
    EXPECT_EQ (about.getPosition(), juce::Point<int> (55, 35));
    EXPECT_TRUE (bar->getTabButton (2)->getToggleState());
    EXPECT_FALSE (bar->getTabButton (0)->getToggleState());

    bar->getTabButton (1)->triggerClick();
    pumpMessages();
    EXPECT_FALSE (about.isVisible());
    EXPECT_TRUE (presets.isVisible());
    EXPECT_EQ (presets.getPosition(), juce::Point<int> (55, 35));

    bar->getTabButton (0)->triggerClick();
    pumpMessages();
    EXPECT_TRUE (firmware.isVisible());
    EXPECT_FALSE (presets.isVisible());
}

TEST_F (EditorTest, TaskNamesFromTheTaskThreadShowAndHideTheStrip)
{
    runOnTaskThread ([this] { editor->taskNameChanged ("Receive presets...", nullptr); });
    EXPECT_TRUE (stripShown());
    EXPECT_EQ (dynamic_cast<juce::Label&> (child ("TaskName")).getText(), "Receive presets...");

    runOnTaskThread ([this] { editor->taskNameChanged ("Download...", nullptr); });
    EXPECT_EQ (dynamic_cast<juce::Label&> (child ("TaskName")).getText(), "Download...");

    runOnTaskThread ([this] { editor->taskNameChanged ({}, nullptr); });
    EXPECT_TRUE (stripHidden());
}

TEST_F (EditorTest, PresetOutcomesAreToldAndThePresetTasksReleasedOnTheMessageThread)
{
    const std::vector<std::pair<int, std::vector<ShownMessage>>> cases {
        { 1, { { MessageIcon::info, "The presets have been restored." } } },
        { 2, { { MessageIcon::warning, "The transfer has been aborted." } } },
        { 0, { { MessageIcon::warning, "An error occurs. Presets may not be restored correctly." } } },
        { 7, {} },
    };
    for (const auto& [result, expected] : cases)
    {
        messages.clear();
        auto* task = new ReceivePresetsThread (juce::File::getSpecialLocation (juce::File::tempDirectory));
        task->listener = editor.get();
        manager->backupTask = task;

        runOnTaskThread ([this, r = result] { editor->taskFinished ((int) TaskKind::presets, r, nullptr); });
        EXPECT_EQ (messages.shown(), expected) << "result " << result;
        pumpMessages();
        EXPECT_EQ (manager->backupTask, nullptr) << "result " << result;
    }
}

TEST_F (EditorTest, UpdateOutcomesReenableTheSourceOrRefreshTheFirmwareTab)
{
    auto& firmwareButton = child ("UpdateFwBtn");
    auto& soundButton = child ("UpdateSoundsBtn");
    ASSERT_TRUE (firmwareButton.isEnabled()) << "the emulated instrument's firmware is older than the server's";

    // A failed or cancelled transfer gives its button back.
    soundButton.setEnabled (false);
    runOnTaskThread ([&] { editor->taskFinished ((int) TaskKind::update, 0, &soundButton); });
    EXPECT_TRUE (soundButton.isEnabled());
    EXPECT_EQ (messages.shown(), (std::vector<ShownMessage> { { MessageIcon::warning, "The process has been aborted." } }));

    // A finished sound bank transfer leaves its button disabled and says nothing.
    messages.clear();
    soundButton.setEnabled (false);
    runOnTaskThread ([&] { editor->taskFinished ((int) TaskKind::update, 1, &soundButton); });
    EXPECT_FALSE (soundButton.isEnabled());

    // A finished firmware transfer asks the manager again, which still offers newer firmware.
    firmwareButton.setEnabled (false);
    runOnTaskThread ([&] { editor->taskFinished ((int) TaskKind::update, 1, &firmwareButton); });
    EXPECT_TRUE (firmwareButton.isEnabled());
    EXPECT_TRUE (messages.shown().empty());
}

TEST_F (EditorTest, CancelButtonAsksTheUpdateTaskToStopEvenWhenNothingRuns)
{
    ASSERT_NE (manager->updateTask, nullptr);
    EXPECT_FALSE (manager->updateTask->threadShouldExit());
    dynamic_cast<juce::Button&> (child ("cancelTaskBtn")).triggerClick();
    pumpMessages();
    EXPECT_TRUE (manager->updateTask->threadShouldExit());
    EXPECT_TRUE (messages.shown().empty());
}
