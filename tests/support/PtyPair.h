#pragma once

#include <string>
#include <vector>

// A pseudo-terminal pair standing in for a serial line: the code under test opens `path`
// (the slave end), the test plays the far side on `master`.
struct PtyPair
{
    PtyPair();
    ~PtyPair();

    void writeFar (const std::string& bytes) const;
    std::string readFar (size_t count, int timeoutMs = 2000) const;
    std::string readFarAvailable (int settleMs = 100) const;

    int master = -1;
    int keepSlave = -1;  // keeps the line up while the code under test has it closed
    std::string path;
};

// The communication log of one test, redirected from standard output while it lives.
struct CapturedLog
{
    CapturedLog();
    ~CapturedLog();
    std::string finish();  // closes the log and returns everything written to it

private:
    bool open = false;
};

std::string readWholeFile (const std::string& path);
