#pragma once

// The one serial port to the instrument: listing, exclusive open with the instrument's line
// settings, a write that waits (bounded) for the line to take its bytes and a read that never waits. Failures are logged and raised
// through the transfer engine's sticky error. One implementation file per platform.
// This header stays free of JUCE so the Windows file compiles with a bare cross compiler.

#include <string>

#ifdef _WIN32
typedef void* SerialHandle;
#define INVALID_SERIAL_HANDLE ((SerialHandle) (long long) -1)
#else
typedef int SerialHandle;
#define INVALID_SERIAL_HANDLE (-1)
#endif

extern SerialHandle serialPortHandle;

constexpr int maxListedPorts = 1024;
// A write that finds no room on the line for this long fails: the far end has stopped reading.
constexpr int serialWriteStallLimitMs = 10000;
extern int portNumbers[maxListedPorts];
extern int portCount;
extern int portCursor;
// Ports that would not open because another program holds them, since the last listing: a
// caller can then say why no instrument was found.
extern int heldSerialPorts;
// Set when a write or read on the open port fails: the instrument went away (cable pulled,
// switched off) rather than answering wrongly. Cleared when a port opens.
extern bool serialPortLost;

void listSerialPorts();
std::string nextSerialPortName();
void openSerialPort (const char* name);
void closeSerialPort();
int writeSerialPort (const void* data, int count);
int readSerialPort (void* buffer, unsigned maxCount);
