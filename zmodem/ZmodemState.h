#pragma once

// The transfer engine's one state record, its sticky error and its byte input from the
// serial port. Free functions over process-wide state, no exceptions: every step checks the
// sticky error, and an entry point succeeds exactly when the error is clear on return.
// Free of JUCE: the serial-port layer of every platform reports through errorSet.

#include <cstdint>
#include <cstdio>
#include "device/SerialPort.h"

constexpr int zmodemBufferSize = 18000;
constexpr int zmodemBlockSize = 1024;
constexpr int zmodemNameSize = 260;
constexpr int zmodemSendListSize = 40;
constexpr int zmodemErrorSize = 300;
constexpr int zmodemRecvPathSize = 2048;

struct ZmodemTransfer
{
    FILE* file = nullptr;
    SerialHandle* port = nullptr;
    char sendList[zmodemSendListSize][zmodemNameSize] = {};
    int sendIndex = 0;
};

struct ZmodemState
{
    int blockingRead;
    char fileName[zmodemNameSize];
    const char* destFile;
    const char* destDir;
    char* fileInfo;
    uint32_t blockLen;
    int bufferSize;
    uint32_t blockSize;
    uint32_t filePos;
    int32_t fileSize;
    int32_t fileTime;
    int fileMode;
    int frameEnd;
    int headerReady;
    int moreData;
    char headerFormat;
    uint8_t headerType;
    uint8_t headerData[4];
    char* buffer;
    char* bufPtr;
    char* bufEnd;
    int curChar;
    ZmodemTransfer* transfer;
    char errorFormat[zmodemErrorSize];
    char errorText[zmodemErrorSize];
    int errorFlag;
    char recvPath[zmodemRecvPathSize];
};

extern ZmodemState zmodemState;
extern ZmodemTransfer zmodemTransfer;
extern int zmodemTimeoutCount;

extern const char* const zmodemTimeoutMessage;   // "ZMD009 Timeout\n"
extern const char* const serialCommsErrorMessage; // "COM: A comms error has occured\n"

void errorSet (const char* format, ...)
#if defined(__GNUC__)
    __attribute__ ((format (printf, 1, 2)))
#endif
    ;
void errorClear();
bool errorIs (const char* format);
inline bool errorPending() { return zmodemState.errorFlag != 0; }

void readRawByte();
void flushInput();

// Bytes the engine read ahead from the port but did not use (the shell's prompt after a
// transfer): the shell channel takes them before it reads the port itself.
int zmodemTakeReadAhead (void* destination, int maxCount);

void zmodemSetDefaults();
bool zmodemOpen (const char* portName);
void zmodemClose();
void* zmodemAlloc (unsigned size);

// The sleep between empty reads of a blocking readRawByte (10 ms) and their number (200).
constexpr int readPollIntervalMs = 10;
constexpr int readPollCount = 200;
void zmodemSleepMs (int ms);
