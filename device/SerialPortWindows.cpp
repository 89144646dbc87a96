// Windows COM ports behind the serial-port interface. Only Win32 and the C runtime here, so
// the file builds with a bare cross compiler.

#include "device/SerialPort.h"
#include "device/SerialPortWindows.h"
#include "zmodem/ZmodemState.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

SerialHandle serialPortHandle = INVALID_HANDLE_VALUE;
int portNumbers[maxListedPorts];
int portCount = 0;
int portCursor = 0;
int heldSerialPorts = 0;
bool serialPortLost = false;

namespace
{
typedef DWORD (WINAPI* QueryDosDeviceFn) (LPCSTR, LPSTR, DWORD);

constexpr DWORD deviceListSize = 65535;

bool listFromDosDevices()
{
    HMODULE kernel = GetModuleHandleA ("kernel32.dll");
    if (kernel == nullptr)
        return false;

    auto query = (QueryDosDeviceFn) (void*) GetProcAddress (kernel, "QueryDosDeviceA");
    if (query == nullptr)
        return false;

    char* names = (char*) std::malloc (deviceListSize);
    if (names == nullptr)
        return false;

    if (query (nullptr, names, deviceListSize) == 0)
    {
        std::free (names);
        return false;
    }

    for (const char* name = names; *name != '\0' && portCount < maxListedPorts; name += std::strlen (name) + 1)
        if (std::strncmp (name, "COM", 3) == 0 && name[3] != '\0')
            portNumbers[portCount++] = std::atoi (name + 3);

    std::free (names);

    // Selection sort: for each position take the first smallest of the rest.
    for (int i = 0; i < portCount; ++i)
    {
        int smallest = i;
        for (int j = i + 1; j < portCount; ++j)
            if (portNumbers[j] < portNumbers[smallest])
                smallest = j;
        int kept = portNumbers[i];
        portNumbers[i] = portNumbers[smallest];
        portNumbers[smallest] = kept;
    }

    return true;
}

void listByOpening()
{
    for (int n = 1; n <= maxListedPorts; ++n)
    {
        char name[12];
        std::snprintf (name, sizeof (name), "\\\\.\\COM%d", n);
        if (FILE* probe = std::fopen (name, "r"))
        {
            std::fclose (probe);
            portNumbers[portCount++] = n;
        }
    }
}

template <typename Change>
void configureStep (Change change)
{
    DCB dcb;
    std::memset (&dcb, 0, sizeof (dcb));
    dcb.DCBlength = sizeof (dcb);

    if (! BuildCommDCBA ("1200,N,8,1", &dcb))
    {
        std::printf ("rc from BuildCommDCB is %lu\n", (unsigned long) GetLastError());
        errorSet ("COM: A comms error has occured\n");
        return;
    }

    if (! GetCommState (serialPortHandle, &dcb))
    {
        std::printf ("rc from GetCommState is %lu\n", (unsigned long) GetLastError());
        errorSet ("COM: A comms error has occured\n");
        return;
    }

    change (dcb);

    if (! SetCommState (serialPortHandle, &dcb))
    {
        std::printf ("rc from SetCommState is %lu\n", (unsigned long) GetLastError());
        errorSet ("COM: A comms error has occured\n");
    }
}

void setTimeouts()
{
    COMMTIMEOUTS timeouts = serialPortTimeouts();
    if (! SetCommTimeouts (serialPortHandle, &timeouts))
    {
        std::printf ("rc from SetCommTimeouts is %lu\n", (unsigned long) GetLastError());
        errorSet ("COM: A comms error has occured\n");
    }
}
} // namespace

COMMTIMEOUTS serialPortTimeouts()
{
    COMMTIMEOUTS timeouts;
    std::memset (&timeouts, 0, sizeof (timeouts));
    // MAXDWORD with both read totals 0 is the documented "return at once" setting.
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutMultiplier = 1;
    timeouts.WriteTotalTimeoutConstant = (DWORD) serialWriteStallLimitMs;
    return timeouts;
}

void listSerialPorts()
{
    portCount = 0;
    heldSerialPorts = 0;

    if (! listFromDosDevices())
    {
        portCount = 0;
        listByOpening();
    }

    portCursor = 0;
}

std::string nextSerialPortName()
{
    if (portCursor >= portCount)
        return {};

    char name[32];
    std::snprintf (name, sizeof (name), "\\\\.\\COM%d", portNumbers[portCursor++]);
    return name;
}

void openSerialPort (const char* name)
{
    serialPortLost = false;
    serialPortHandle = CreateFileA (name, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);

    if (serialPortHandle == INVALID_HANDLE_VALUE)
    {
        const DWORD openError = GetLastError();
        // A COM port that another program has open is refused with "access denied".
        if (openError == ERROR_ACCESS_DENIED || openError == ERROR_SHARING_VIOLATION)
            ++heldSerialPorts;
        errorSet ("COM: A comms error has occured\n");
        std::printf ("rc from CreateFile() is %lu\n", (unsigned long) openError);
        return;
    }

    configureStep ([] (DCB& dcb) { dcb.BaudRate = 115200; });
    configureStep ([] (DCB& dcb)
    {
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
    });
    setTimeouts();

    if (! errorPending())
        configureStep ([] (DCB& dcb) { dcb.fDtrControl = DTR_CONTROL_ENABLE; });
}

void closeSerialPort()
{
    configureStep ([] (DCB& dcb) { dcb.fDtrControl = DTR_CONTROL_DISABLE; });

    if (! CloseHandle (serialPortHandle))
    {
        std::printf ("rc from CloseHandle is %lu\n", (unsigned long) GetLastError());
        errorSet ("COM: A comms error has occured\n");
    }

    serialPortHandle = INVALID_HANDLE_VALUE;
}

namespace
{
// A failed write or read on a port that was open means the line itself is gone.
void lineFailed()
{
    serialPortLost = true;
    errorSet ("COM: A comms error has occured\n");
}
} // namespace

int writeSerialPort (const void* data, int count)
{
    DWORD written = 0;

    if (! WriteFile (serialPortHandle, data, (DWORD) count, &written, nullptr))
    {
        std::printf ("rc from WriteFile is %lu\n", (unsigned long) GetLastError());
        lineFailed();
        return 0;
    }

    // A write that ran into its timeout reports success with fewer bytes: the far end has
    // stopped reading.
    if ((int) written < count)
    {
        std::printf ("the line did not take %d bytes within %lu ms\n", count,
                     (unsigned long) serialWriteStallLimitMs + (unsigned long) count);
        std::printf ("only wrote %d bytes instead of %d\n", (int) written, count);
        lineFailed();
        return (int) written;
    }

    return count;
}

int readSerialPort (void* buffer, unsigned maxCount)
{
    COMSTAT status;
    DWORD errors = 0;

    if (! ClearCommError (serialPortHandle, &errors, &status))
    {
        std::printf ("rc from ClearCommError is %lu\n", (unsigned long) GetLastError());
        lineFailed();
        return 0;
    }

    if (status.cbInQue == 0)
        return 0;

    DWORD wanted = status.cbInQue < maxCount ? status.cbInQue : (DWORD) maxCount;
    DWORD got = 0;

    if (! ReadFile (serialPortHandle, buffer, wanted, &got, nullptr))
    {
        std::printf ("rc from ReadFile is %lu\n", (unsigned long) GetLastError());
        return 0;
    }

    return (int) got;
}
