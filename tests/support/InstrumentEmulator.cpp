#include "tests/support/InstrumentEmulator.h"
#include "tests/support/HelperProcess.h"
#include "tests/support/PtyPair.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef VORLEN_SOURCE_DIR
#define VORLEN_SOURCE_DIR "."
#endif
#ifndef VORLEN_PYTHON
#define VORLEN_PYTHON "python3"
#endif

std::string sourceDirectory() { return VORLEN_SOURCE_DIR; }
std::string pythonInterpreter() { return VORLEN_PYTHON; }

TemporaryDirectory::TemporaryDirectory()
{
    char name[] = "/tmp/vorlen-test-XXXXXX";
    if (::mkdtemp (name) == nullptr)
        throw std::runtime_error ("mkdtemp failed");
    path = name;
}

TemporaryDirectory::~TemporaryDirectory()
{
    std::string command = "rm -rf '" + path + "'";
    if (std::system (command.c_str()) != 0)
        std::fprintf (stderr, "could not remove %s\n", path.c_str());
}

namespace
{
std::string readLine (int fd, int timeoutMs)
{
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

    while (line.empty() || line.back() != '\n')
    {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - std::chrono::steady_clock::now()).count();
        pollfd watch { fd, POLLIN, 0 };
        if (left <= 0 || ::poll (&watch, 1, (int) left) <= 0)
            break;
        char c;
        if (::read (fd, &c, 1) != 1)
            break;
        line.push_back (c);
    }
    return line;
}
} // namespace

InstrumentEmulator::InstrumentEmulator (std::vector<std::string> arguments)
{
    char name[] = "/tmp/vorlen-emu-XXXXXX";
    if (::mkdtemp (name) == nullptr)
        throw std::runtime_error ("mkdtemp failed");
    directory = name;
    linkPath = directory + "/port";

    bool paced = false;
    for (auto& a : arguments)
        paced = paced || a == "--baud";
    std::vector<std::string> argv { pythonInterpreter(), sourceDirectory() + "/tools/instrument_emulator/vorlen_emulator.py",
                                    "--port", linkPath, "--workdir", directory + "/work",
                                    // A test killed by its time-out takes its instrument with it.
                                    "--exit-with-parent" };
    if (! paced)
        argv.insert (argv.end(), { "--baud", "0" });
    argv.insert (argv.end(), arguments.begin(), arguments.end());
    directory += "/work";

    process = std::make_unique<HelperProcess> (argv, 15000);
    const std::string& ready = process->firstLine();
    if (ready.rfind ("READY", 0) != 0)
    {
        stop();
        throw std::runtime_error ("instrument emulator did not start: '" + ready + "'");
    }
}

InstrumentEmulator::~InstrumentEmulator()
{
    stop();
    std::string command = "rm -rf '" + directory.substr (0, directory.size() - 5) + "'";
    if (std::getenv ("VORLEN_KEEP_EMULATOR") == nullptr && std::system (command.c_str()) != 0)
        std::fprintf (stderr, "could not remove %s\n", directory.c_str());
}

void InstrumentEmulator::stop()
{
    if (process != nullptr)
        process->stop();
    process.reset();
}

std::string InstrumentEmulator::control (const std::string& command) const
{
    int s = ::socket (AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::string path = directory + "/control.sock";
    std::snprintf (address.sun_path, sizeof (address.sun_path), "%s", path.c_str());
    if (::connect (s, (sockaddr*) &address, sizeof (address)) != 0)
    {
        ::close (s);
        return "ERR cannot connect";
    }
    std::string line = command + "\n";
    if (::write (s, line.data(), line.size()) != (ssize_t) line.size())
    {
        ::close (s);
        return "ERR write";
    }
    std::string answer = readLine (s, 5000);
    ::close (s);
    return answer;
}

std::vector<std::string> InstrumentEmulator::commands() const
{
    std::vector<std::string> lines;
    std::istringstream text (readWholeFile (directory + "/commands.log"));
    for (std::string line; std::getline (text, line);)
    {
        size_t space = line.find (' ');
        lines.push_back (space == std::string::npos ? std::string() : line.substr (space + 1));
    }
    return lines;
}

std::string InstrumentEmulator::events() const
{
    return readWholeFile (directory + "/events.log");
}

bool InstrumentEmulator::waitForEvent (const std::string& fragment, int timeoutMs) const
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
    while (events().find (fragment) == std::string::npos)
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        ::usleep (20000);
    }
    return true;
}

std::string InstrumentEmulator::tree() const
{
    if (process != nullptr)
        control ("tree");
    return readWholeFile (directory + "/tree.txt");
}
