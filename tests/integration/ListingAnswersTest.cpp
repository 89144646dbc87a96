// Whether the instrument has a file, asked of the emulated instrument's own ls.

#include "device/ShellChannel.h"
#include "devicefiles/DeviceFileOperations.h"
#include "tests/support/InstrumentEmulator.h"
#include "zmodem/ZmodemState.h"

#include <gtest/gtest.h>

namespace
{
struct ListingAnswersTest : ::testing::Test
{
    void SetUp() override
    {
        errorClear();
        zmodemSetDefaults();
        ASSERT_TRUE (zmodemOpen (instrument.port().c_str()));
        runShellCommand ("cd /usr/ap", false);
    }

    void TearDown() override
    {
        zmodemClose();
        errorClear();
        currentDeviceDirectory = {};
    }

    bool probe (const char* name)
    {
        DeviceFile f (name);
        return probeOnDevice (f, false);
    }

    InstrumentEmulator instrument;
};
} // namespace

// ls's complaint about a missing "l" starts with "l".
TEST_F (ListingAnswersTest, NamesThatBeginLsComplaintAreThereOnlyWhenTheyAre)
{
    for (const char* name : { "l", "ls", "ls:" })
        EXPECT_FALSE (probe (name)) << name << " is not on the instrument";
    remountUsr (true);
    sendShellCommand ("echo x > ls");
    remountUsr (false);
    EXPECT_TRUE (probe ("ls"));
    EXPECT_TRUE (probe ("config.xml"));
}
