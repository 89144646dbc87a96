#pragma once

// Stops the process with a message when a property the code promises does not hold:
// libFuzzer records the input as a crash.
[[noreturn]] void fuzzFail (const char* what);
inline void fuzzCheck (bool ok, const char* what)
{
    if (! ok)
        fuzzFail (what);
}
