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

// Any prompt will do: the directory the shell is believed to be in may not exist. Afterwards
// the shell is sent back there, so that the caller's next command finds its file.
bool shellAnswers()
{
    if (! recoverShellPrompt())
        return false;
    if (currentDeviceDirectory.isNotEmpty())
        runShellCommand (instrument::cdPrefix + currentDeviceDirectory, false);
    return true;
}
} // namespace

bool instrumentStoppedAnswering()
{
    if (serialPortLost)
        return true;
    return ! shellAnswers();
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
