// The engine side of bench/run_bench.py. Each transfer opens the port, runs one entry point
// and closes the port again, as a task does between its shell commands; only the entry point
// is timed, so neither this program's start nor the port set-up counts against the engine.
//
//   zmodem_bench DEVICE send FILE
//   zmodem_bench DEVICE receive DIR NAME    (types "lsz /tmp/NAME" into the shell first)
//
// Prints one line: ok|fail, wall seconds and CPU seconds of the entry point, then the
// pending error text on failure. Exit status 0 exactly when the entry point succeeded.

#include "device/SerialPort.h"
#include "zmodem/ZmodemHooks.h"
#include "zmodem/ZmodemState.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace
{
double seconds (clockid_t clock)
{
    timespec now {};
    clock_gettime (clock, &now);
    return (double) now.tv_sec + (double) now.tv_nsec * 1e-9;
}

int usage()
{
    std::fprintf (stderr, "usage: zmodem_bench DEVICE send FILE | DEVICE receive DIR NAME\n");
    return 2;
}
} // namespace

int main (int argc, char** argv)
{
    const bool send = argc == 4 && std::strcmp (argv[2], "send") == 0;
    const bool receive = argc == 5 && std::strcmp (argv[2], "receive") == 0;
    if (! send && ! receive)
        return usage();

    // The engine's log lines are not what this program reports.
    if (std::freopen ("/dev/null", "w", stdout) == nullptr)
        return 2;

    zmodemSetDefaults();
    if (! zmodemOpen (argv[1]))
    {
        std::fprintf (stderr, "fail 0 0 %s", zmodemState.errorText);
        return 1;
    }

    // The command goes out without the shell channel's 100 ms pause: the instrument's lsz
    // waits for our ZRINIT, so the receive starts at once, as host rz does in the comparison.
    if (receive)
    {
        const std::string line = std::string ("lsz /tmp/") + argv[4] + "\r\n";
        writeSerialPort (line.data(), (int) line.size());
    }

    const double wall0 = seconds (CLOCK_MONOTONIC), cpu0 = seconds (CLOCK_PROCESS_CPUTIME_ID);
    bool ok = ! errorPending() && (send ? zmodemSendFile (argv[3]) : zmodemReceiveTo (juce::String (argv[3]), true));
    const double wall = seconds (CLOCK_MONOTONIC) - wall0, cpu = seconds (CLOCK_PROCESS_CPUTIME_ID) - cpu0;

    std::fprintf (stderr, "%s %.6f %.6f %s\n", ok ? "ok" : "fail", wall, cpu, ok ? "" : zmodemState.errorText);
    zmodemClose();
    return ok ? 0 : 1;
}
