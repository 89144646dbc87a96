#include "devicefiles/InstrumentFault.h"

#include "application/UserMessages.h"
#include "device/InstrumentCommands.h"
#include "device/SerialPort.h"
#include "device/ShellChannel.h"

#include <atomic>
#include <cstdio>

const char* const instrumentLostMessage =
    "The Vorlen stopped answering. Please reconnect your Vorlen to the computer (USB) and restart the application.";

namespace
{
std::atomic<bool> toldThisTask { false };

// Asked in the directory the caller works in, so that its next command still finds its file.
bool shellAnswers()
{
    const juce::String directory = currentDeviceDirectory.isNotEmpty() ? currentDeviceDirectory : juce::String (instrument::deviceRoot);
    bool ok = false;
    runShellCommand (instrument::cdPrefix + directory, false, &ok);
    return ok;
}
} // namespace

bool instrumentStoppedAnswering()
{
    if (serialPortLost)
        return true;
    if (shellAnswers() || (recoverShellPrompt() && shellAnswers()))
        return false;
    return true;
}

bool tellIfInstrumentLost()
{
    if (toldThisTask)
        return true;
    if (! instrumentStoppedAnswering())
        return false;
    std::printf ("The instrument stopped answering%s\n", serialPortLost ? " (the port failed)" : "");
    toldThisTask = true;
    showUserMessage (MessageIcon::warning, instrumentLostMessage);
    return true;
}

void forgetToldInstrumentFault()
{
    toldThisTask = false;
}
