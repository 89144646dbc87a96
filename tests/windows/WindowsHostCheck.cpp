// The Windows-only halves of the host hooks, run on Windows (or under Wine): the COM timeouts
// the port asks for, files opened by UTF-8 paths that the ANSI code page cannot spell, and,
// given a COM port, that an opened port really carries those timeouts and that a read with
// nothing waiting returns at once. Exit status 0 exactly when every check held.
//   WindowsHostCheck.exe [COMPORT]

#include "device/SerialPort.h"
#include "device/SerialPortWindows.h"
#include "zmodem/ZmodemFileOpen.h"
#include "zmodem/ZmodemState.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace
{
int failures = 0;

void check (bool holds, const char* what)
{
    std::printf ("%s: %s\n", holds ? "ok" : "FAILED", what);
    if (! holds)
        ++failures;
}

bool sameTimeouts (const COMMTIMEOUTS& a, const COMMTIMEOUTS& b)
{
    return a.ReadIntervalTimeout == b.ReadIntervalTimeout && a.ReadTotalTimeoutMultiplier == b.ReadTotalTimeoutMultiplier
           && a.ReadTotalTimeoutConstant == b.ReadTotalTimeoutConstant && a.WriteTotalTimeoutMultiplier == b.WriteTotalTimeoutMultiplier
           && a.WriteTotalTimeoutConstant == b.WriteTotalTimeoutConstant;
}

void checkTimeouts()
{
    const COMMTIMEOUTS t = serialPortTimeouts();
    check (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0,
           "reads return at once with what has arrived");
    check (t.WriteTotalTimeoutConstant == (DWORD) serialWriteStallLimitMs && t.WriteTotalTimeoutMultiplier >= 1,
           "a write gives up after the stall limit plus a bound per byte");
}

std::wstring temporaryDirectory()
{
    wchar_t path[MAX_PATH + 1];
    const DWORD length = GetTempPathW (MAX_PATH + 1, path);
    return std::wstring (path, length);
}

std::string utf8Of (const std::wstring& wide)
{
    char bytes[4 * MAX_PATH];
    const int n = WideCharToMultiByte (CP_UTF8, 0, wide.c_str(), -1, bytes, sizeof (bytes), nullptr, nullptr);
    return n > 0 ? std::string (bytes) : std::string();
}

// Greek, Cyrillic and CJK in one name: no ANSI code page holds all three.
void checkUnicodePaths()
{
    const std::wstring wideDir = temporaryDirectory() + L"Vorlen-\u03a0\u0440\u0435\u0441\u0435\u0442-\u97f3";
    const std::wstring wideFile = wideDir + L"\\Pr\u00e9set-\u65e5\u672c.mz";
    CreateDirectoryW (wideDir.c_str(), nullptr);
    const std::string path = utf8Of (wideFile);

    FILE* out = openEngineFile (path.c_str(), "wb");
    check (out != nullptr, "a UTF-8 path with characters of no code page opens for writing");
    if (out != nullptr)
    {
        std::fwrite ("preset", 1, 6, out);
        std::fclose (out);
    }
    check (GetFileAttributesW (wideFile.c_str()) != INVALID_FILE_ATTRIBUTES, "the file has exactly the wide name");

    char back[16] = {};
    if (FILE* in = openEngineFile (path.c_str(), "rb"))
    {
        std::fread (back, 1, sizeof (back) - 1, in);
        std::fclose (in);
    }
    check (std::strcmp (back, "preset") == 0, "the same path opens for reading and gives the bytes back");

    DeleteFileW (wideFile.c_str());
    RemoveDirectoryW (wideDir.c_str());

    errno = 0;
    check (openEngineFile ("bad-\xff-name.mz", "wb") == nullptr && errno == EILSEQ, "a path that is not UTF-8 is refused with EILSEQ");
}

void checkPort (const char* name)
{
    errorClear();
    openSerialPort (name);
    check (! errorPending(), "the COM port opens and takes its settings");
    COMMTIMEOUTS set;
    std::memset (&set, 0, sizeof (set));
    const COMMTIMEOUTS wanted = serialPortTimeouts();
    check (GetCommTimeouts (serialPortHandle, &set) && sameTimeouts (set, wanted), "the opened port carries those timeouts");

    char buffer[64];
    const DWORD before = GetTickCount();
    const int got = readSerialPort (buffer, sizeof (buffer));
    check (got == 0 && GetTickCount() - before < 500, "a read with nothing waiting returns 0 at once");
    closeSerialPort();
    errorClear();
}
} // namespace

int main (int argc, char** argv)
{
    checkTimeouts();
    checkUnicodePaths();
    if (argc > 1)
        checkPort (argv[1]);
    std::printf ("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
