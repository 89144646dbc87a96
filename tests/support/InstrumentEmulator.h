#pragma once

#include <memory>
#include <string>
#include <vector>

class HelperProcess;

// Starts the instrument emulator (tools/instrument_emulator) for one test, unpaced unless the
// arguments say otherwise, and stops it when it goes out of scope. The application side opens
// port(); the instrument's files are under usrAp().
class InstrumentEmulator
{
public:
    explicit InstrumentEmulator (std::vector<std::string> arguments = {});
    ~InstrumentEmulator();

    InstrumentEmulator (const InstrumentEmulator&) = delete;
    InstrumentEmulator& operator= (const InstrumentEmulator&) = delete;

    const std::string& port() const { return linkPath; }
    const std::string& workdir() const { return directory; }
    std::string usrAp() const { return directory + "/usr/ap"; }
    std::string instrumentTmp() const { return directory + "/tmp"; }

    // A run-time fault or setting, in the emulator's control vocabulary; returns its answer.
    std::string control (const std::string& command) const;

    // Every command line the shell received, in order, without time stamps.
    std::vector<std::string> commands() const;
    std::string events() const;

    // Waits until events.log holds `fragment` (e.g. "frozen after command 3"); false after timeoutMs.
    bool waitForEvent (const std::string& fragment, int timeoutMs = 10000) const;

    // The instrument's writable tree (what /usr, /tmp and /root hold beyond the host's files),
    // one line per entry: type (d, f, l, or w for a deleted host file), octal mode, size, MD5
    // of a file or "-", path on the instrument. Taken now while the emulator runs, or as it
    // was when it stopped.
    std::string tree() const;

    void stop();

private:
    std::string directory, linkPath;
    std::unique_ptr<HelperProcess> process;
};

// A fresh temporary directory, removed with everything in it when this goes away.
struct TemporaryDirectory
{
    TemporaryDirectory();
    ~TemporaryDirectory();
    std::string path;
};

std::string sourceDirectory();
std::string pythonInterpreter();
