#include "tests/support/TaskTestSupport.h"

#include "device/ShellChannel.h"
#include "zmodem/ZmodemState.h"

#include <sstream>

void WindowStandIn::taskNameChanged (const juce::String& name, juce::Component*)
{
    std::lock_guard<std::mutex> hold (lock);
    names.add (name);
}

void WindowStandIn::progressChanged (double fraction, juce::Component*)
{
    {
        std::lock_guard<std::mutex> hold (lock);
        steps.push_back (fraction);
    }
    if (onProgress)
        onProgress();
}

void WindowStandIn::taskFinished (int kind, int result, juce::Component*)
{
    if (kind == (int) TaskKind::deleted)
    {
        ++deleted;
        manager->taskGone.signal();
        return;
    }
    {
        std::lock_guard<std::mutex> hold (lock);
        finished.push_back ({ kind, result });
    }
    ended.signal();
}

void WindowStandIn::quitRequested()
{
    quit = true;
    ended.signal();
}

void RecordedMessages::showMessage (MessageIcon icon, const juce::String&, const juce::String& message)
{
    std::lock_guard<std::mutex> hold (lock);
    shown.add (message);
    icons.push_back (icon);
}

bool RecordedMessages::askYesNo (MessageIcon icon, const juce::String&, const juce::String& message)
{
    std::lock_guard<std::mutex> hold (lock);
    questions.add (message);
    questionIcon = icon;
    return answer;
}

void TaskTest::start (std::vector<std::string> instrumentArguments)
{
    instrument = std::make_unique<InstrumentEmulator> (instrumentArguments);
    setUserMessages (&messages);
    errorClear();
    zmodemSetDefaults();
    ASSERT_TRUE (zmodemOpen (instrument->port().c_str()));
    runShellCommand ("cd /usr/ap", false);
    makeManager();
}

void TaskTest::makeManager()
{
    manager.reset();
    manager = std::make_unique<DownloadManager>();
    window.manager = manager.get();
    manager->createUpdateTask (&window);
}

void TaskTest::TearDown()
{
    manager.reset();
    setUserMessages (nullptr);
    zmodemClose();
    errorClear();
    currentDeviceDirectory = {};
}

std::string usrTree (const InstrumentEmulator& instrument)
{
    std::istringstream lines (instrument.tree());
    std::string line, kept;
    while (std::getline (lines, line))
        if (line.find (" /usr/") != std::string::npos)
            kept += line + "\n";
    return kept;
}
