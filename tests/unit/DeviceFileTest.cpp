// Paths of instrument files, the names let into shell command lines, and the md5sum
// comparison against a scripted shell on a pseudo-terminal.

#include "device/SerialPort.h"
#include "device/ShellChannel.h"
#include "devicefiles/DeviceFileOperations.h"
#include "devicefiles/ShellSafeNames.h"
#include "devicefiles/VerifiedSend.h"
#include "tests/support/PtyPair.h"
#include "tests/support/ZmodemTestFiles.h"
#include "zmodem/ZmodemState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

TEST (DeviceFilePathTest, DirectoryAndNameParts)
{
    DeviceFile nested ("d1/d2/x", nullptr), main ("main", nullptr), folder ("presets/", nullptr);
    EXPECT_EQ (remoteDirPart (nested), "ap/d1/d2/");
    EXPECT_EQ (remoteNamePart (nested), "x");
    EXPECT_EQ (remoteDirPart (main), "ap/");
    EXPECT_EQ (remoteNamePart (main), "main");
    EXPECT_TRUE (isRemoteDirectory (folder));
    EXPECT_EQ (remoteDirPart (folder), "ap/presets/");
    EXPECT_EQ (remoteNamePart (folder), "");

    nested.usrRelative = true;
    EXPECT_EQ (remoteDirPart (nested), "");
    EXPECT_EQ (remoteNamePart (nested), "x");
}

TEST (DeviceFilePathTest, OwnTemporaryFileGoesWithTheRecord)
{
    juce::File kept;
    {
        DeviceFile fetched ("config.xml");
        ASSERT_EQ (fetched.localFile, &fetched.ownedTempFile);
        EXPECT_TRUE (fetched.ownedTempFile.getFileName().endsWith ("zmod"));
        fetched.ownedTempFile.replaceWithText ("x");
        kept = fetched.ownedTempFile;
        EXPECT_TRUE (kept.exists());
    }
    EXPECT_FALSE (kept.exists());
}

TEST (ShellSafeNameTest, PlainNamesPassAndShellSyntaxIsRefused)
{
    for (const char* plain : { "main", "libdream-1.2_x86.so", "a.mz", "v=2,b@c%d:e+f" })
        EXPECT_TRUE (isShellSafeName (plain, false)) << plain;
    EXPECT_TRUE (isShellSafeName ("ap/d1/d2/", true));
    EXPECT_TRUE (isShellSafeName ("", false)) << "a directory record has no name part";

    for (const char* hostile : { "x;reboot.mz", "a&b", "a|b", "$(reboot)", "`reboot`", "a'b", "a\"b", "a\\b",
                                 "*.mz", "a?", "[ab]", "-rf", "a\tb", "a\nb", "preset 1", "~root", "a>b", "a<b", "a#b" })
        EXPECT_FALSE (isShellSafeName (hostile, false)) << hostile;

    EXPECT_FALSE (isShellSafeName ("d1/x", false)) << "a bare name holds no directory";
    for (const char* climbing : { "ap/../../etc/", "ap/./", "ap/-x/", ".." })
        EXPECT_FALSE (isShellSafeName (climbing, true)) << climbing;
    EXPECT_FALSE (isShellSafeName (juce::String::fromUTF8 ("caf\xc3\xa9.mz"), false)) << "the line carries ASCII only";
}

// dash, as on the instrument, must read each quoted word back as the very name.
TEST (ShellSafeNameTest, QuotedWordsAreReadBackLiterallyAndUnsendableNamesAreSaid)
{
    for (const char* raw : { "Plain01.mz", "x y.mz", "it's.mz", "''", "$HOME `id` $(id).mz", "a;b&c|d.mz",
                             "\xc3\xa9t\xc3\xa9 \xe6\x97\xa5.mz", "q\"uo\\te*?[x].mz" })
    {
        const juce::String name = juce::String::fromUTF8 (raw);
        juce::ChildProcess shell;
        ASSERT_TRUE (shell.start (juce::StringArray ("dash", "-c", "printf '%s' " + shellWord (name))));
        EXPECT_EQ (shell.readAllProcessOutput(), name) << raw;
    }
    EXPECT_EQ (shellWord ("Plain01.mz"), "Plain01.mz") << "plain names are typed as before";

    for (const char* sendable : { "x y.mz", "it's.mz", "$HOME.mz" })
        EXPECT_EQ (unsendableNameReason (sendable), "") << sendable;
    EXPECT_EQ (unsendableNameReason (juce::String::repeatedString ("a", 252) + ".mz"), "");
    EXPECT_NE (unsendableNameReason (juce::String::repeatedString ("a", 238) + ".mz", ".vorlen-update."), "")
        << "the prefix of a waiting copy counts";
    for (const juce::String unsendable : { juce::String ("a\nb.mz"), juce::String ("bell\x07.mz"), juce::String ("del\x7f.mz"),
                                           juce::String (".hidden.mz"), juce::String ("-rf.mz"), juce::String ("d/x.mz"),
                                           juce::String::repeatedString ("a", 253) + ".mz" })
        EXPECT_NE (unsendableNameReason (unsendable), "") << unsendable;
}

namespace
{
// A shell on the far end of a pseudo-terminal that answers each command line from a script,
// echoing it and printing two prompts like the instrument.
struct ScriptedShell
{
    explicit ScriptedShell (std::function<std::string (const std::string&)> answerFor)
        : answer (std::move (answerFor)), worker ([this] { run(); })
    {
    }

    ~ScriptedShell()
    {
        stop = true;
        worker.join();
    }

    void run()
    {
        std::string line, dir = "/usr/ap";
        while (! stop)
        {
            const std::string got = pty.readFar (1, 50);
            if (got.empty())
                continue;
            if (got != "\n")
            {
                if (got != "\r")
                    line += got;
                continue;
            }
            if (line.rfind ("cd ", 0) == 0)
                dir = line.substr (3, line.find_last_not_of ('/') - 2);
            {
                const std::lock_guard<std::mutex> hold (receivedLock);
                received.push_back (line);
            }
            pty.writeFar (line + "\r\n" + answer (line) + dir + " # " + dir + " # ");
            line.clear();
        }
    }

    size_t count (const std::string& command) const
    {
        const std::lock_guard<std::mutex> hold (receivedLock);
        size_t n = 0;
        for (auto& r : received)
            n += r == command ? 1 : 0;
        return n;
    }

    PtyPair pty;
    std::function<std::string (const std::string&)> answer;
    mutable std::mutex receivedLock;  // the test reads while the shell thread appends
    std::vector<std::string> received;
    std::atomic<bool> stop { false };
    std::thread worker;
};

struct ProbeCompareTest : ::testing::Test
{
    void SetUp() override
    {
        errorClear();
        local.replaceWithText ("preset data");
        digest = localDigest (local).toStdString();
    }

    void TearDown() override
    {
        closeSerialPort();
        errorClear();
        currentDeviceDirectory = {};
        local.deleteFile();
    }

    bool probeWith (ScriptedShell& shell, DeviceFile& f)
    {
        openSerialPort (shell.pty.path.c_str());
        return probeOnDevice (f, true);
    }

    juce::File local = juce::File::createTempFile ("mz");
    std::string digest;
};
} // namespace

TEST_F (ProbeCompareTest, EmptyDigestIsAskedForAgainUpToFourMoreTimes)
{
    int asked = 0;
    ScriptedShell shell ([&] (const std::string& line) -> std::string
    {
        if (line == "ls a.mz")
            return "a.mz\r\n";
        if (line == "md5sum a.mz" && ++asked == 4)
            return digest + "  a.mz\r\n";
        return "";
    });
    DeviceFile f ("presets/a.mz", &local);
    EXPECT_TRUE (probeWith (shell, f));
    EXPECT_TRUE (f.identical);
    EXPECT_EQ (shell.count ("cd /usr/ap/presets/"), 1u);
    EXPECT_EQ (shell.count ("md5sum a.mz"), 4u);
}

TEST_F (ProbeCompareTest, DigestThatNeverComesLeavesTheFileDifferent)
{
    ScriptedShell shell ([&] (const std::string& line) -> std::string
    {
        return line == "ls a.mz" ? "a.mz\r\n" : "";
    });
    DeviceFile f ("presets/a.mz", &local);
    EXPECT_TRUE (probeWith (shell, f)) << "it exists, it just differs";
    EXPECT_FALSE (f.identical);
    EXPECT_EQ (shell.count ("md5sum a.mz"), 5u);
}

TEST_F (ProbeCompareTest, MissingDirectoryOrFileIsReportedWithTheShellsAnswer)
{
    ScriptedShell shell ([&] (const std::string& line) -> std::string
    {
        if (line == "cd /usr/ap/gone/")
            return "sh: cd: can't cd to /usr/ap/gone/\r\n";
        if (line == "ls b.mz")
            return "ls: b.mz: No such file or directory\r\n";
        return "";
    });
    DeviceFile gone ("gone/x", &local), missing ("b.mz", &local);
    CapturedLog log;
    EXPECT_FALSE (probeWith (shell, gone));
    EXPECT_FALSE (probeOnDevice (missing, true));
    const std::string text = log.finish();
    EXPECT_NE (text.find (" - Dir ap/gone/ doesn't exist ! (answer = sh: cd: can't cd to /usr/ap/gone/)\n"), std::string::npos);
    EXPECT_NE (text.find (" - b.mz doesn't exist ! (answer = ls: b.mz: No such file or directory)\n"), std::string::npos);
    EXPECT_EQ (shell.count ("md5sum b.mz"), 0u);
}
