// Every test binary runs with HOME in a fresh temporary directory, so the communication log
// and the settings file never touch the developer's own.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

int main (int argc, char** argv)
{
    char home[] = "/tmp/vorlen-test-home-XXXXXX";
    if (::mkdtemp (home) != nullptr)
        ::setenv ("HOME", home, 1);

    // The log lives under the XDG config folder when one is named; parallel test binaries
    // sharing it would read each other's lines.
    ::unsetenv ("XDG_CONFIG_HOME");

    ::testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
