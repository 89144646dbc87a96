// Linux serial devices behind the serial-port interface. The instrument is a USB ACM device
// (/dev/ttyACM*); USB serial adapters show up as /dev/ttyUSB*. VORLEN_SERIAL_PORTS names the
// devices to try instead (colon-separated), which is how an emulated instrument is found.

#include "device/SerialPort.h"
#include "device/PortPermissions.h"
#include "zmodem/ZmodemState.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

SerialHandle serialPortHandle = INVALID_SERIAL_HANDLE;
int portNumbers[maxListedPorts];
int portCount = 0;
int portCursor = 0;
int heldSerialPorts = 0;
bool serialPortLost = false;

namespace
{
std::vector<std::string> listedPaths;

bool pathExists (const std::string& path)
{
    struct stat info;
    return ! path.empty() && ::stat (path.c_str(), &info) == 0;
}

// "ttyACM10" sorts after "ttyACM9": compare the number after the prefix.
std::vector<std::string> devicesWithPrefix (const char* prefix)
{
    std::vector<std::pair<long, std::string>> found;
    const size_t prefixLength = std::strlen (prefix);

    if (DIR* dir = ::opendir ("/dev"))
    {
        while (dirent* entry = ::readdir (dir))
        {
            const char* name = entry->d_name;
            if (std::strncmp (name, prefix, prefixLength) != 0 || name[prefixLength] == '\0')
                continue;
            found.emplace_back (std::atol (name + prefixLength), std::string ("/dev/") + name);
        }
        ::closedir (dir);
    }

    std::sort (found.begin(), found.end());
    std::vector<std::string> paths;
    for (auto& item : found)
        paths.push_back (item.second);
    return paths;
}

std::vector<std::string> candidatePaths()
{
    std::vector<std::string> paths;

    if (const char* configured = std::getenv ("VORLEN_SERIAL_PORTS"))
    {
        std::string list (configured);
        size_t start = 0;
        while (start <= list.size())
        {
            size_t end = list.find (':', start);
            if (end == std::string::npos)
                end = list.size();
            // An emulator that was killed leaves its link behind: skip what is not there.
            std::string path = list.substr (start, end - start);
            if (pathExists (path))
                paths.push_back (path);
            start = end + 1;
        }
        return paths;
    }

    for (const char* prefix : { "ttyACM", "ttyUSB" })
        for (auto& path : devicesWithPrefix (prefix))
            paths.push_back (path);
    return paths;
}

void logErrno (const char* format)
{
    std::printf (format, (unsigned long) errno);
}

// One configuration step, as on the platform where the port came from: read the current
// settings, change them, write them back; the first failing call ends the step.
template <typename Change>
void configureStep (Change change)
{
    termios settings;

    if (::tcgetattr (serialPortHandle, &settings) != 0)
    {
        logErrno ("rc from GetCommState is %lu\n");
        errorSet ("COM: A comms error has occured\n");
        return;
    }

    change (settings);

    if (::tcsetattr (serialPortHandle, TCSANOW, &settings) != 0)
    {
        logErrno ("rc from SetCommState is %lu\n");
        errorSet ("COM: A comms error has occured\n");
    }
}

// A pseudo-terminal refuses modem-control calls; there is no DTR line to raise there.
void setDtr (bool raised)
{
    int bits = TIOCM_DTR;

    if (::ioctl (serialPortHandle, raised ? TIOCMBIS : TIOCMBIC, &bits) != 0
        && errno != ENOTTY && errno != EINVAL)
    {
        logErrno ("rc from SetCommState is %lu\n");
        errorSet ("COM: A comms error has occured\n");
    }
}

bool openExclusive (const char* name)
{
    int fd = ::open (name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;

    // TIOCEXCL alone does not stop root; the advisory lock does, in this process or another.
    if (::flock (fd, LOCK_EX | LOCK_NB) != 0)
    {
        int lockError = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close (fd);
        errno = lockError;
        return false;
    }

    ::ioctl (fd, TIOCEXCL);

    // The descriptor stays non-blocking: reads only ask for what FIONREAD says has arrived,
    // and writes wait for room themselves, for a bounded time.
    serialPortHandle = fd;
    return true;
}
} // namespace

void listSerialPorts()
{
    listedPaths.clear();
    portRefusedForPermissions.clear();
    portCount = 0;
    heldSerialPorts = 0;

    for (auto& path : candidatePaths())
    {
        if (portCount == maxListedPorts)
            break;
        portNumbers[portCount] = portCount;
        ++portCount;
        listedPaths.push_back (path);
    }

    portCursor = 0;
}

std::string nextSerialPortName()
{
    if (portCursor >= portCount)
        return {};

    return listedPaths[(size_t) portNumbers[portCursor++]];
}

void openSerialPort (const char* name)
{
    serialPortLost = false;
    if (! openExclusive (name))
    {
        int openError = errno;
        if (openError == EBUSY)
            ++heldSerialPorts;
        serialPortHandle = INVALID_SERIAL_HANDLE;
        errorSet ("COM: A comms error has occured\n");
        std::printf ("rc from CreateFile() is %lu\n", (unsigned long) openError);
        if (openError == EACCES || openError == EPERM)
            notePermissionRefusal (name);
        return;
    }

    configureStep ([] (termios& s)
    {
        ::cfsetispeed (&s, B115200);
        ::cfsetospeed (&s, B115200);
    });

    configureStep ([] (termios& s)
    {
        // Byte for byte: no echo, no line editing, no CR/LF or flow-control translation.
        ::cfmakeraw (&s);
        s.c_cflag &= ~(tcflag_t) (CSIZE | PARENB | CSTOPB | CRTSCTS);
        s.c_cflag |= CS8 | CREAD | CLOCAL;
        s.c_cc[VMIN] = 0;
        s.c_cc[VTIME] = 0;
    });

    if (! errorPending())
        setDtr (true);
}

void closeSerialPort()
{
    if (serialPortHandle == INVALID_SERIAL_HANDLE)
    {
        errno = EBADF;
        logErrno ("rc from GetCommState is %lu\n");
        errorSet ("COM: A comms error has occured\n");
        logErrno ("rc from CloseHandle is %lu\n");
        errorSet ("COM: A comms error has occured\n");
        return;
    }

    setDtr (false);

    if (::close (serialPortHandle) != 0)
    {
        logErrno ("rc from CloseHandle is %lu\n");
        errorSet ("COM: A comms error has occured\n");
    }

    serialPortHandle = INVALID_SERIAL_HANDLE;
}

namespace
{
bool waitForRoom()
{
    pollfd watch { serialPortHandle, POLLOUT, 0 };
    int ready = 0;
    do
        ready = ::poll (&watch, 1, serialWriteStallLimitMs);
    while (ready < 0 && errno == EINTR);
    if (ready == 0)
        std::printf ("the line took nothing for %d ms\n", serialWriteStallLimitMs);
    return ready > 0 && (watch.revents & POLLOUT) != 0;
}
} // namespace

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
    const char* bytes = static_cast<const char*> (data);
    int written = 0;

    while (written < count)
    {
        ssize_t n = ::write (serialPortHandle, bytes + written, (size_t) (count - written));

        if (n < 0 && errno == EINTR)
            continue;

        // A far end that stops reading would otherwise hold the task for ever.
        if (n < 0 && errno == EAGAIN && waitForRoom())
            continue;

        if (n < 0 && written == 0)
        {
            logErrno ("rc from WriteFile is %lu\n");
            lineFailed();
            return 0;
        }

        if (n <= 0)
            break;

        written += (int) n;
    }

    if (written < count)
    {
        std::printf ("only wrote %d bytes instead of %d\n", written, count);
        lineFailed();
    }

    return written;
}

namespace
{
// FIONREAD keeps answering 0 once the device is gone; poll tells a quiet line from a dead one.
bool lineIsGone()
{
    pollfd watch { serialPortHandle, POLLIN, 0 };
    if (::poll (&watch, 1, 0) <= 0)
        return false;
    if ((watch.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0)
        return false;
    errno = (watch.revents & POLLNVAL) ? EBADF : EIO;
    return true;
}
} // namespace

int readSerialPort (void* buffer, unsigned maxCount)
{
    int waiting = 0;

    if (::ioctl (serialPortHandle, FIONREAD, &waiting) != 0 || (waiting == 0 && lineIsGone()))
    {
        logErrno ("rc from ClearCommError is %lu\n");
        lineFailed();
        return 0;
    }

    if (waiting <= 0)
        return 0;

    size_t wanted = std::min ((size_t) maxCount, (size_t) waiting);
    ssize_t got = ::read (serialPortHandle, buffer, wanted);

    if (got < 0)
    {
        logErrno ("rc from ReadFile is %lu\n");
        return 0;
    }

    return (int) got;
}
