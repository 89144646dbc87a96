#include "tests/support/PtyPair.h"

#include "device/CommunicationLog.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    char name[256] = {};
    if (::openpty (&master, &keepSlave, name, nullptr, nullptr) != 0)
        throw std::runtime_error ("openpty failed");
    path = name;

    termios raw;
    ::tcgetattr (keepSlave, &raw);
    ::cfmakeraw (&raw);
    ::tcsetattr (keepSlave, TCSANOW, &raw);
}

PtyPair::~PtyPair()
{
    ::close (keepSlave);
    ::close (master);
}

void PtyPair::writeFar (const std::string& bytes) const
{
    size_t done = 0;
    while (done < bytes.size())
    {
        ssize_t n = ::write (master, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            throw std::runtime_error ("write to pty master failed");
        done += (size_t) n;
    }
}

std::string PtyPair::readFar (size_t count, int timeoutMs) const
{
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

    while (got.size() < count)
    {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            break;
        pollfd watch { master, POLLIN, 0 };
        if (::poll (&watch, 1, (int) left) <= 0)
            break;
        char chunk[4096];
        ssize_t n = ::read (master, chunk, std::min (sizeof (chunk), count - got.size()));
        if (n <= 0)
            break;
        got.append (chunk, (size_t) n);
    }
    return got;
}

std::string PtyPair::readFarAvailable (int settleMs) const
{
    std::string got;
    for (;;)
    {
        pollfd watch { master, POLLIN, 0 };
        if (::poll (&watch, 1, settleMs) <= 0)
            return got;
        char chunk[4096];
        ssize_t n = ::read (master, chunk, sizeof (chunk));
        if (n <= 0)
            return got;
        got.append (chunk, (size_t) n);
    }
}

CapturedLog::CapturedLog()
{
    openCommunicationLog();
    open = true;
}

CapturedLog::~CapturedLog()
{
    if (open)
        closeCommunicationLog();
}

std::string CapturedLog::finish()
{
    if (open)
        closeCommunicationLog();
    open = false;
    return readWholeFile (communicationLogFile().getFullPathName().toStdString());
}

std::string readWholeFile (const std::string& path)
{
    std::ifstream in (path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
