#include "cli/AllInstruments.h"

#include "cli/CliCommands.h"
#include "cli/Interrupts.h"
#include "cli/RunSummary.h"
#include "device/CommunicationLog.h"
#include "device/SerialPort.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{
constexpr int pollMs = 100;

struct Run
{
    juce::String port;
    juce::File summary;
    pid_t pid = -1;
    int output = -1, errors = -1;      // the run's standard output and error, read here
    juce::String pendingOut, pendingErr;
    juce::String progress = "starting";
    juce::String firstWarning;
    int status = -1;
    double startMs = 0.0, seconds = 0.0;
    bool running() const { return pid > 0; }
};

int rank (int status)
{
    switch (status)
    {
        case exitstatus::done:         return 0;
        case exitstatus::noInstrument: return 1;
        case exitstatus::refused:      return 2;
        case exitstatus::usage:        return 3;
        case exitstatus::failed:       return 4;
        case interruptedExitStatus:    return 5;
        default:                       return 4;  // ended by a signal: a failure
    }
}

juce::StringArray candidatePorts()
{
    listSerialPorts();
    juce::StringArray ports;
    for (std::string name = nextSerialPortName(); ! name.empty(); name = nextSerialPortName())
        ports.add (juce::String::fromUTF8 (name.c_str()));
    return ports;
}

std::vector<std::string> childArguments (const juce::StringArray& arguments, const juce::String& port)
{
    std::vector<std::string> words { "vorlen-cli", "--port", port.toStdString() };
    for (auto& a : arguments)
        if (a != "--all-instruments")
            words.push_back (a.toStdString());
    return words;
}

// In its own process group: a Ctrl-C on the terminal reaches this process alone, which
// passes it on once to every run.
[[noreturn]] void execRun (const std::vector<std::string>& words, const juce::File& summary, int out, int err)
{
    ::setpgid (0, 0);
    const int nothing = ::open ("/dev/null", O_RDONLY);
    ::dup2 (nothing, STDIN_FILENO);
    ::dup2 (out, STDOUT_FILENO);
    ::dup2 (err, STDERR_FILENO);
    ::setenv (runSummaryVariable, summary.getFullPathName().toRawUTF8(), 1);
    // Each run unpacks its downloads under its own temporary directory: the update task picks
    // a free name there, and runs that start together would all pick the same one.
    ::setenv ("TMPDIR", summary.getParentDirectory().getFullPathName().toRawUTF8(), 1);
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back (const_cast<char*> (w.c_str()));
    argv.push_back (nullptr);
    ::execv ("/proc/self/exe", argv.data());
    ::_exit (127);
}

bool startRun (Run& run, const juce::StringArray& arguments)
{
    int out[2], err[2];
    if (::pipe2 (out, O_CLOEXEC) != 0 || ::pipe2 (err, O_CLOEXEC) != 0)
        return false;
    const auto words = childArguments (arguments, run.port);
    std::fflush (nullptr);
    run.startMs = juce::Time::getMillisecondCounterHiRes();
    run.pid = ::fork();
    if (run.pid == 0)
        execRun (words, run.summary, out[1], err[1]);
    ::close (out[1]);
    ::close (err[1]);
    run.output = out[0];
    run.errors = err[0];
    return run.pid > 0;
}

class Console
{
public:
    explicit Console (std::vector<Run>& allRuns) : runs (allRuns), terminal (::isatty (STDERR_FILENO) != 0) {}

    // A line of a run: warnings and results stay on the screen; steps only update its line.
    void take (Run& run, const juce::String& text, bool fromOutput)
    {
        const bool message = fromOutput || text.startsWith ("warning:") || text.startsWith ("info:") || text.startsWith ("vorlen-cli:");
        if (text.startsWith ("warning:") && run.firstWarning.isEmpty())
            run.firstWarning = text.fromFirstOccurrenceOf (":", false, false).trim();
        if (! message)
            run.progress = text;
        if (message || ! terminal)
            print (run.port + ": " + text, fromOutput ? stdout : stderr);
        else
            redraw();
    }

    void redraw()
    {
        if (! terminal)
            return;
        if (shownLines > 0)
            std::fprintf (stderr, "\033[%dA", shownLines);
        for (auto& run : runs)
            std::fprintf (stderr, "\r\033[K%s: %s\n", run.port.toRawUTF8(), run.progress.toRawUTF8());
        shownLines = (int) runs.size();
        std::fflush (stderr);
    }

private:
    void print (const juce::String& text, std::FILE* stream)
    {
        if (terminal && shownLines > 0)
        {
            std::fprintf (stderr, "\033[%dA\r\033[J", shownLines);
            shownLines = 0;
        }
        std::fprintf (stream, "%s\n", text.toRawUTF8());
        std::fflush (stream);
        redraw();
    }

    std::vector<Run>& runs;
    const bool terminal;
    int shownLines = 0;
};

// Whole lines only; false once the run has closed that stream.
bool readLines (Run& run, int fd, juce::String& pending, Console& console, bool fromOutput)
{
    char buffer[4096];
    const ssize_t n = ::read (fd, buffer, sizeof buffer);
    if (n <= 0)
        return n < 0 && errno == EINTR;
    pending += juce::String::fromUTF8 (buffer, (int) n);
    for (int end; (end = pending.indexOfAnyOf ("\r\n")) >= 0; pending = pending.substring (end + 1))
        if (const auto line = pending.substring (0, end).trim(); line.isNotEmpty())
            console.take (run, line, fromOutput);
    return true;
}

void pumpOutput (std::vector<Run>& runs, Console& console)
{
    std::vector<pollfd> fds;
    std::vector<std::pair<Run*, bool>> owners;
    for (auto& run : runs)
        for (const bool fromOutput : { true, false })
            if (const int fd = fromOutput ? run.output : run.errors; fd >= 0)
            {
                fds.push_back ({ fd, POLLIN, 0 });
                owners.push_back ({ &run, fromOutput });
            }
    if (fds.empty())
        juce::Thread::sleep (pollMs);
    if (fds.empty() || ::poll (fds.data(), fds.size(), pollMs) <= 0)
        return;
    for (size_t i = 0; i < fds.size(); ++i)
    {
        if (fds[i].revents == 0)
            continue;
        auto& [run, fromOutput] = owners[i];
        int& fd = fromOutput ? run->output : run->errors;
        if (! readLines (*run, fd, fromOutput ? run->pendingOut : run->pendingErr, console, fromOutput))
        {
            ::close (fd);
            fd = -1;
        }
    }
}

void reapRuns (std::vector<Run>& runs)
{
    for (auto& run : runs)
    {
        int how = 0;
        if (! run.running() || ::waitpid (run.pid, &how, WNOHANG) != run.pid)
            continue;
        run.status = WIFEXITED (how) ? WEXITSTATUS (how) : 128 + WTERMSIG (how);
        run.seconds = (juce::Time::getMillisecondCounterHiRes() - run.startMs) / 1000.0;
        run.pid = -1;
    }
}

void passOnInterrupts (std::vector<Run>& runs, int& seen)
{
    for (; seen < interruptCount(); ++seen)
        for (auto& run : runs)
            if (run.running())
                ::kill (run.pid, SIGINT);
}

bool anyActive (const std::vector<Run>& runs)
{
    for (auto& run : runs)
        if (run.running() || run.output >= 0 || run.errors >= 0)
            return true;
    return false;
}

juce::String outcomeText (const Run& run, bool poweredOff)
{
    const juce::String why = run.firstWarning.isNotEmpty() ? ": " + run.firstWarning : juce::String();
    switch (run.status)
    {
        case exitstatus::done:      return poweredOff ? "done, powered off" : "done";
        case exitstatus::failed:    return "failed" + why;
        case exitstatus::refused:   return "refused" + why;
        case exitstatus::usage:     return "usage error";
        case interruptedExitStatus: return "interrupted";
        default:                    return "ended with status " + juce::String (run.status);
    }
}

juce::StringArray tableRow (const Run& run)
{
    const juce::var summary = juce::JSON::parse (run.summary);
    auto versions = [&summary] (const char* which)
    {
        const juce::var v = summary[which];
        return v.isObject() ? v["firmware"].toString() + "/" + v["dream"].toString() + "/" + v["soundBank"].toString()
                            : juce::String ("-");
    };
    const juce::String serial = summary["serialNumber"].toString();
    return { run.port, serial.isNotEmpty() ? serial : juce::String ("-"), versions ("before"), versions ("after"),
             outcomeText (run, (bool) summary["poweredOff"]), juce::String (run.seconds, 1) + " s" };
}

void printTable (const std::vector<juce::StringArray>& rows)
{
    std::vector<int> widths (rows.front().size(), 0);
    for (auto& row : rows)
        for (int c = 0; c < row.size(); ++c)
            widths[(size_t) c] = juce::jmax (widths[(size_t) c], row[c].length());
    for (auto& row : rows)
    {
        juce::String line;
        for (int c = 0; c < row.size(); ++c)
            line << (c + 1 < row.size() ? row[c].paddedRight (' ', widths[(size_t) c] + 2) : row[c]);
        std::printf ("%s\n", line.trimEnd().toRawUTF8());
    }
    std::fflush (stdout);
}

// Ports without an instrument are no run of the job; they are named, not counted.
int summarise (const std::vector<Run>& runs)
{
    std::vector<juce::StringArray> rows { { "PORT", "SERIAL", "BEFORE (firmware/engine/sounds)", "AFTER", "OUTCOME", "TIME" } };
    int worst = exitstatus::done;
    for (auto& run : runs)
    {
        if (run.status == exitstatus::noInstrument)
        {
            std::fprintf (stderr, "info: no Vorlen on %s\n", run.port.toRawUTF8());
            continue;
        }
        rows.push_back (tableRow (run));
        worst = worseExitStatus (worst, run.status);
    }
    if (rows.size() == 1)
    {
        std::fprintf (stderr, "warning: No Vorlen. Please connect your Vorlen to the computer (USB) and restart the application.\n");
        return exitstatus::noInstrument;
    }
    printTable (rows);
    return worst;
}
} // namespace

int worseExitStatus (int a, int b)
{
    const int worse = rank (a) >= rank (b) ? a : b;
    return rank (worse) == rank (exitstatus::failed) ? exitstatus::failed : worse;
}

int runOnAllInstruments (const CliOptions&, const juce::StringArray& arguments)
{
    catchInterrupts();
    std::vector<Run> runs;
    const juce::File summaries = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                     .getNonexistentChildFile ("vorlen-all-instruments", {}, false);
    summaries.createDirectory();
    for (auto& port : candidatePorts())
    {
        Run run;
        run.port = port;
        const juce::File own = summaries.getChildFile (juce::String ((int) runs.size()));
        own.createDirectory();
        run.summary = own.getChildFile ("summary.json");
        runs.push_back (run);
    }

    Console console (runs);
    for (auto& run : runs)
        if (! startRun (run, arguments))
            run.status = exitstatus::failed;
    console.redraw();
    for (int seen = 0; anyActive (runs);)
    {
        pumpOutput (runs, console);
        reapRuns (runs);
        passOnInterrupts (runs, seen);
    }
    const int worst = summarise (runs);
    summaries.deleteRecursively();
    return worst;
}
