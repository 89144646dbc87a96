#include "device/InstrumentLink.h"

#include "device/CommunicationLog.h"
#include "device/ShellChannel.h"
#include "zmodem/ZmodemState.h"

InstrumentLink::InstrumentLink()
{
    openCommunicationLog();
    instrumentPresent = false;
    probeInstrument();
}

InstrumentLink::~InstrumentLink()
{
    if (isInstrumentConnected())
        zmodemClose();

    closeCommunicationLog();
}
