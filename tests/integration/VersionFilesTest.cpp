// Versions read from the update server and from the emulated instrument's files.

#include "device/ShellChannel.h"
#include "tasks/VersionFiles.h"
#include "tests/support/InstrumentEmulator.h"
#include "tests/support/UpdateServerFixture.h"
#include "tests/support/ZmodemTestFiles.h"
#include "zmodem/ZmodemState.h"

#include <gtest/gtest.h>

TEST (ServerVersionTest, DocumentGivesItsVersionAndAnythingElseGivesNone)
{
    UpdateServerFixture server;
    server.addFile ("last/soundbank/version.xml", "<?xml version=\"1.0\"?>\n<sound><bank version=\"1.1\"/></sound>\n");
    const std::string document = "last/soundbank/version.xml";

    EXPECT_EQ (fetchServerVersion (juce::URL (server.baseUrl() + document)), "1.1");
    for (const char* fault : { "@notxml/", "@404/", "@500/", "@empty/" })
        EXPECT_EQ (fetchServerVersion (juce::URL (server.baseUrl() + fault + document)), "") << fault;

    const int nobody = juce::URL (server.baseUrl()).getPort() + 1;
    EXPECT_EQ (fetchServerVersion (juce::URL ("http://127.0.0.1:" + juce::String (nobody) + "/" + document)), "")
        << "nothing listening";

    // Read while the window waits: a server that stops answering costs seconds, not minutes.
    const auto started = juce::Time::getMillisecondCounter();
    EXPECT_EQ (fetchServerVersion (juce::URL (server.baseUrl() + "@stall:60/" + document)), "");
    EXPECT_LT (juce::Time::getMillisecondCounter() - started, 8000u);
    server.addFile ("last/soundbank/padded.xml", "<?xml version=\"1.0\"?>\n<sound><bank version=\"1.2\"/></sound>\n" + std::string (4000, ' '));
    EXPECT_EQ (fetchServerVersion (juce::URL (server.baseUrl() + "@chunked/last/soundbank/padded.xml")), "1.2");
}

TEST (InstrumentVersionTest, FilesAreFetchedParsedOrMissing)
{
    InstrumentEmulator instrument ({ "--firmware-version", "1.5", "--dream-version", "1.2" });
    errorClear();
    zmodemSetDefaults();
    ASSERT_TRUE (zmodemOpen (instrument.port().c_str()));
    runShellCommand ("cd /usr/ap", false);

    InstrumentVersion firmware = fetchInstrumentVersion ("config.xml");
    EXPECT_EQ (firmware.version, "1.5");
    EXPECT_TRUE (firmware.fetched && firmware.parsed);

    writeWholeFile (instrument.usrAp() + "/dream_version.xml", "");
    InstrumentVersion empty = fetchInstrumentVersion ("dream_version.xml");
    EXPECT_TRUE (empty.fetched);
    EXPECT_FALSE (empty.parsed);
    EXPECT_EQ (empty.version, "");

    ASSERT_TRUE (juce::File (instrument.usrAp() + "/sound_version.xml").deleteFile());
    InstrumentVersion missing = fetchInstrumentVersion ("sound_version.xml");
    EXPECT_FALSE (missing.fetched);
    EXPECT_FALSE (missing.parsed);

    zmodemClose();
    errorClear();
    currentDeviceDirectory = {};
}
