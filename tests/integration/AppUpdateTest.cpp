// The application's own update: the version offer, the installer download from the
// update-server fixture, its start, and the clean-up at the next start.

#include "application/Settings.h"
#include "application/UserMessages.h"
#include "device/ShellChannel.h"
#include "tasks/DownloadManager.h"
#include "tasks/LoadAppInstallerThread.h"
#include "tasks/UpdateServerResources.h"
#include "tests/support/InstrumentEmulator.h"
#include "tests/support/PtyPair.h"
#include "tests/support/TaskTestSupport.h"
#include "tests/support/UpdateServerFixture.h"
#include "tests/support/ZmodemTestFiles.h"
#include "zmodem/ZmodemState.h"

#include <gtest/gtest.h>


namespace
{
const auto onWindows = juce::SystemStats::Windows10;
const auto onLinux = juce::SystemStats::Linux;

struct AppUpdateTest : TaskTest
{
    void SetUp() override
    {
        server.generateContent ("--app-version Test2");
        useServer ("");
        configureApplicationSettings();
        settings().removeValue (fileToRemoveKey);
        installer().deleteFile();
        start();
    }

    void TearDown() override
    {
        TaskTest::TearDown();
        saveAndDeleteApplicationSettings();
        ::unsetenv ("VORLEN_APPLICATION_BASE_URL");
    }

    void useServer (const std::string& fault)
    {
        ::setenv ("VORLEN_APPLICATION_BASE_URL", (server.baseUrl() + fault + "vorlensoftware/").c_str(), 1);
    }

    void serveVersion (const std::string& version)
    {
        server.addFile ("vorlensoftware/windows/vu_version.xml",
                        "<?xml version=\"1.0\"?>\n<VORLENSOFTWARE><APPLICATION version=\"" + version + "\"/></VORLENSOFTWARE>\n");
    }

    // The installer task as the manager would start it, run to its end.
    std::pair<int, int> runInstallerTask()
    {
        LoadAppInstallerThread task;
        task.startThread();
        EXPECT_TRUE (window.ended.wait (60 * 1000));
        return window.finished.empty() ? std::pair { -1, -1 } : window.finished.back();
    }

    static juce::PropertiesFile& settings() { return *applicationSettings().getUserSettings(); }
    static juce::File installer() { return downloadedInstallerFile(); }
    std::string served() const { return readWholeFile (server.root() + "/vorlensoftware/windows/VorlenSoftware_setup.exe"); }

    UpdateServerFixture server;
};
} // namespace

TEST_F (AppUpdateTest, OnlyAVersionAfterTestIsOfferedAndOnlyAnAcceptedOfferCounts)
{
    for (const char* notNewer : { "Test", "3.0", "S9" })
    {
        serveVersion (notNewer);
        EXPECT_FALSE (manager->checkApplicationUpdate (onWindows)) << notNewer;
    }
    useServer ("@404/");
    EXPECT_FALSE (manager->checkApplicationUpdate (onWindows));
    useServer ("@notxml/");
    EXPECT_FALSE (manager->checkApplicationUpdate (onWindows));
    EXPECT_TRUE (messages.questions.isEmpty());

    useServer ("");
    serveVersion ("Test2");
    messages.answer = false;
    EXPECT_FALSE (manager->checkApplicationUpdate (onWindows));
    EXPECT_EQ (messages.questions, juce::StringArray ("A new version of this application is available on the server.\nDo you want to install it ?"));
    EXPECT_EQ (messages.questionIcon, MessageIcon::question);
    EXPECT_EQ (manager->installerTask, nullptr);

    // Where a Yes could start nothing, nothing is asked and the Firmware tab stays usable.
    messages.answer = true;
    messages.questions.clear();
    serveVersion ("alpha");
    EXPECT_FALSE (manager->checkApplicationUpdate (onLinux));
    EXPECT_TRUE (messages.questions.isEmpty());
    EXPECT_EQ (manager->installerTask, nullptr);
    EXPECT_FALSE (installer().exists());
    EXPECT_TRUE (messages.shown.isEmpty());
}

TEST_F (AppUpdateTest, OnAnyMacVersionAcceptingOpensTheInstallerInTheBrowser)
{
    // A stand-in browser first on PATH records what it is asked to open.
    const TemporaryDirectory bin;
    const std::string record = bin.path + "/opened.txt";
    writeWholeFile (bin.path + "/xdg-open", "#!/bin/sh\necho \"$1\" >> '" + record + "'\n");
    ASSERT_TRUE (juce::File (bin.path + "/xdg-open").setExecutePermission (true));
    const juce::String oldPath = juce::SystemStats::getEnvironmentVariable ("PATH", {});
    ::setenv ("PATH", (bin.path + ":" + oldPath.toStdString()).c_str(), 1);

    messages.answer = true;
    EXPECT_TRUE (manager->checkApplicationUpdate (juce::SystemStats::MacOSX_10_15));
    // The shell creates the file before it writes the line: wait for the line's end.
    for (int i = 0; i < 500 && ! juce::String (readWholeFile (record)).endsWith ("\n"); ++i)
        juce::Thread::sleep (10);
    ::setenv ("PATH", oldPath.toRawUTF8(), 1);

    EXPECT_EQ (messages.questions.size(), 1);
    EXPECT_EQ (manager->installerTask, nullptr);
    EXPECT_EQ (messages.shown, juce::StringArray ("The setup file is loading.\nYou can now close the application, and install the new version when the download is completed."));
    EXPECT_EQ (juce::String (readWholeFile (record)).trim(),
               updateserver::applicationResource (updateserver::applicationInstaller).toString (false));
}

TEST_F (AppUpdateTest, AcceptedOfferDownloadsTheInstallerOverAnOldOneAndRemembersIt)
{
    writeWholeFile (installer().getFullPathName().toStdString(), "an old installer");
    ASSERT_TRUE (manager->checkApplicationUpdate (onWindows));
    ASSERT_NE (manager->installerTask, nullptr);
    EXPECT_FALSE (manager->backupPresets (juce::File::getSpecialLocation (juce::File::tempDirectory))) << "one task at a time";
    ASSERT_TRUE (window.ended.wait (60 * 1000));

    EXPECT_EQ (window.finished, (std::vector<std::pair<int, int>> { { (int) TaskKind::installer, 1 } }));
    EXPECT_EQ (window.names, juce::StringArray ("Download Application Update...", ""));
    EXPECT_TRUE (messages.shown.isEmpty());
    EXPECT_EQ (readWholeFile (installer().getFullPathName().toStdString()), served());
    EXPECT_EQ (settings().getValue (fileToRemoveKey), installer().getFullPathName());

    manager->deleteInstallerTask();
    EXPECT_EQ (manager->installerTask, nullptr);

    // The fixture's installer is a shell script that only prints a line; downloads are not
    // executable here, and JUCE would hand a plain file to a browser instead.
    EXPECT_FALSE (startDownloadedInstaller (onLinux)) << "only Windows starts it";
    ASSERT_TRUE (installer().setExecutePermission (true));
    EXPECT_TRUE (startDownloadedInstaller (onWindows));

    const TemporaryDirectory elsewhere;
    const std::string foreign = elsewhere.path + "/VorlenSoftware_setup.exe";
    writeWholeFile (foreign, "#!/bin/sh\nexit 0\n");
    settings().setValue (fileToRemoveKey, juce::String (foreign));
    EXPECT_FALSE (startDownloadedInstaller (onWindows)) << "the settings name a file this application did not save";
}

TEST_F (AppUpdateTest, NextStartDeletesTheRememberedInstallerButNoOtherFile)
{
    writeWholeFile (installer().getFullPathName().toStdString(), "left from the last update");
    settings().setValue (fileToRemoveKey, installer().getFullPathName());
    makeManager();
    EXPECT_FALSE (installer().exists());
    EXPECT_FALSE (settings().containsKey (fileToRemoveKey));

    // Already gone: the key is forgotten, nothing else happens.
    settings().setValue (fileToRemoveKey, installer().getFullPathName());
    makeManager();
    EXPECT_FALSE (settings().containsKey (fileToRemoveKey));

    const TemporaryDirectory elsewhere;
    const std::string precious = elsewhere.path + "/notes.txt";
    writeWholeFile (precious, "the user's");
    settings().setValue (fileToRemoveKey, juce::String (precious));
    makeManager();
    EXPECT_EQ (readWholeFile (precious), "the user's");
    EXPECT_FALSE (settings().containsKey (fileToRemoveKey));
}

TEST_F (AppUpdateTest, ShortDownloadFailsAndLeavesThePartialFileForTheNextStart)
{
    // Large enough that the stream is open before the server cuts it short.
    const int size = 4 << 20;
    server.addFile ("vorlensoftware/windows/VorlenSoftware_setup.exe", randomBytes ((size_t) size, 7));
    useServer ("@short/");

    EXPECT_EQ (runInstallerTask(), std::pair ((int) TaskKind::installer, 0));
    EXPECT_EQ (messages.shown, juce::StringArray ("The internet connection fails."));
    EXPECT_TRUE (installer().existsAsFile());
    EXPECT_LT (installer().getSize(), size);
    EXPECT_EQ (settings().getValue (fileToRemoveKey), installer().getFullPathName());

    makeManager();
    EXPECT_FALSE (installer().exists());
}

TEST_F (AppUpdateTest, MissingInstallerIsAFailedConnectionNotASavedErrorPage)
{
    useServer ("@404/");

    EXPECT_EQ (runInstallerTask(), std::pair ((int) TaskKind::installer, 0));
    EXPECT_EQ (messages.shown, juce::StringArray ("The connection to the server failed."));
    EXPECT_EQ (window.names, juce::StringArray (""));
    EXPECT_FALSE (installer().exists());
    EXPECT_FALSE (settings().containsKey (fileToRemoveKey));
}
