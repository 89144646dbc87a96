#pragma once

// What task tests share: a stand-in for the window that records every report and tells the
// manager when a task is gone, a recorder of message boxes, and a fixture that starts the
// instrument emulator, opens its port and builds a download manager reporting to the window.

#include "application/UserMessages.h"
#include "tasks/DownloadManager.h"
#include "tests/support/InstrumentEmulator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

struct WindowStandIn : DownloadFilesListener
{
    void taskNameChanged (const juce::String& name, juce::Component*) override;
    void progressChanged (double fraction, juce::Component*) override;
    void taskFinished (int kind, int result, juce::Component*) override;
    void quitRequested() override;

    DownloadManager* manager = nullptr;
    std::function<void()> onProgress;  // runs on the task's thread after each progress report
    std::mutex lock;
    juce::StringArray names;
    std::vector<double> steps;
    std::vector<std::pair<int, int>> finished;  // kind and result, deletions left out
    std::atomic<int> deleted { 0 };
    std::atomic<bool> quit { false };
    juce::WaitableEvent ended;  // a task finished or asked to quit
};

struct RecordedMessages : UserMessages
{
    void showMessage (MessageIcon icon, const juce::String&, const juce::String& message) override;
    bool askYesNo (MessageIcon icon, const juce::String&, const juce::String& message) override;

    std::mutex lock;
    juce::StringArray shown, questions;
    std::vector<MessageIcon> icons;
    MessageIcon questionIcon = MessageIcon::none;
    bool answer = true;
};

struct TaskTest : ::testing::Test
{
    // The emulator with these arguments, its port open and its shell in /usr/ap, then a manager.
    void start (std::vector<std::string> instrumentArguments = {});
    // A new manager, as at the application's start (its constructor reads the instrument).
    void makeManager();
    void TearDown() override;
    bool waitForTheEnd (int seconds = 240) { return window.ended.wait (seconds * 1000); }

    std::unique_ptr<InstrumentEmulator> instrument;
    std::unique_ptr<DownloadManager> manager;
    WindowStandIn window;
    RecordedMessages messages;
};

// The instrument's files below /usr, as the emulator lists them (mode, size and digest).
std::string usrTree (const InstrumentEmulator& instrument);
