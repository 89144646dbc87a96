#pragma once

// A task that fails must tell the user why: a copy whose digest differs is a bad checksum,
// but an instrument that went away (cable pulled, switched off, a port that failed) or stopped
// answering is a fault of the line, and the user has to reconnect it, not retry.

#include <juce_core/juce_core.h>

extern const char* const instrumentLostMessage;

// True when the port has failed, or the shell stays silent even after it was won back.
bool instrumentStoppedAnswering();

// Shows instrumentLostMessage, at most once per task, when the instrument stopped answering;
// returns whether it did.
bool tellIfInstrumentLost();

// A new task starts: its first device fault is told again.
void forgetToldInstrumentFault();
