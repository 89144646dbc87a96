#pragma once

#include <string>
#include <vector>

// A fixture program (emulator, update server) run for a test: started with its arguments, it
// announces itself with one line on standard output ("READY ..."), and is stopped with
// SIGTERM (SIGKILL after 5 s) when this goes away.
class HelperProcess
{
public:
    HelperProcess (const std::vector<std::string>& argv, int readyTimeoutMs);
    ~HelperProcess();

    HelperProcess (const HelperProcess&) = delete;
    HelperProcess& operator= (const HelperProcess&) = delete;

    // The first line the program printed, without its line end; empty if none came in time.
    const std::string& firstLine() const { return line; }
    void stop();

private:
    std::string line;
    int pid = -1;
};
