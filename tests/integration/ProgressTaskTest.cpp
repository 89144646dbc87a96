// The task base class and the download step, against the update-server fixture.

#include "application/UserMessages.h"
#include "tasks/VorlenProgressThread.h"
#include "tests/support/UpdateServerFixture.h"
#include "tests/support/ZmodemTestFiles.h"

#include <gtest/gtest.h>

#include <mutex>

namespace
{
struct RecordingListener : DownloadFilesListener
{
    void taskNameChanged (const juce::String&, juce::Component*) override {}
    void progressChanged (double fraction, juce::Component*) override
    {
        std::lock_guard<std::mutex> hold (lock);
        steps.push_back (fraction);
    }
    void taskFinished (int kind, int result, juce::Component*) override
    {
        std::lock_guard<std::mutex> hold (lock);
        finished.push_back ({ kind, result });
    }
    void quitRequested() override {}

    std::mutex lock;
    std::vector<double> steps;
    std::vector<std::pair<int, int>> finished;
};

struct RecordedWarnings : UserMessages
{
    void showMessage (MessageIcon, const juce::String&, const juce::String& message) override { shown.add (message); }
    bool askYesNo (MessageIcon, const juce::String&, const juce::String&) override { return false; }
    juce::StringArray shown;
};

// Runs until it is told to stop, as a task blocked in a long step would.
struct WaitingTask : VorlenProgressThread
{
    explicit WaitingTask (DownloadFilesListener* l) : VorlenProgressThread ("waiting...", l) {}
    ~WaitingTask() override { stopBeforeDestruction(); }
    void run() override
    {
        while (! threadShouldExit())
            wait (10);
    }
};

struct ProgressTaskTest : ::testing::Test
{
    void SetUp() override { setUserMessages (&warnings); }
    void TearDown() override { setUserMessages (nullptr); }

    // Downloads `path` from the fixture with the given fault prefix ("" for none).
    bool download (const std::string& fault, const std::string& path, WaitingTask& task)
    {
        WebDownload in (juce::URL (server.baseUrl() + fault + path));
        if (! in.open())
        {
            ADD_FAILURE() << "no stream for " << fault << path;
            return false;
        }
        juce::MemoryOutputStream out (received, false);
        return downloadToStream (in, task, out);
    }

    std::string receivedText() const { return std::string ((const char*) received.getData(), received.getSize()); }

    UpdateServerFixture server;
    RecordedWarnings warnings;
    RecordingListener listener;
    juce::MemoryBlock received;
};
} // namespace

TEST_F (ProgressTaskTest, WholeChunksEndAtTheAnnouncedLengthWithProgressBeforeEach)
{
    const std::string bytes = randomBytes (3 * downloadChunkSize, 1);
    server.addFile ("last/three.bin", bytes);
    WaitingTask task (&listener);

    EXPECT_TRUE (download ("", "last/three.bin", task));
    EXPECT_EQ (receivedText(), bytes);
    EXPECT_EQ (listener.steps, (std::vector<double> { 0.0, 1.0 / 3, 2.0 / 3 }));
    EXPECT_EQ (warnings.shown.size(), 0);
}

TEST_F (ProgressTaskTest, ShortBodyWarnsOnceAndFails)
{
    // Large enough that the stream is open before the server cuts it short.
    server.addFile ("last/main.zip", randomBytes (4u << 20, 2));
    WaitingTask task (&listener);

    EXPECT_FALSE (download ("@short/", "last/main.zip", task));
    EXPECT_EQ (warnings.shown, juce::StringArray ("The internet connection fails."));
}

TEST_F (ProgressTaskTest, UnannouncedBodiesAreReadToTheirEndAndOnlyWholeOnesCount)
{
    const std::string bytes = randomBytes (20000, 3);
    server.addFile ("last/body.bin", bytes);
    WaitingTask task (&listener);

    // Without a length the body is read to its end rather than dropped.
    for (const char* fault : { "@chunked/", "@nolength/" })
    {
        received.reset();
        EXPECT_TRUE (download (fault, "last/body.bin", task)) << fault;
        EXPECT_EQ (receivedText(), bytes) << fault;
    }
    EXPECT_EQ (warnings.shown.size(), 0);

    // Nothing the application downloads is empty, and a chunked body that breaks off is not whole.
    for (const char* fault : { "@empty/", "@chunkedcut/" })
    {
        received.reset();
        EXPECT_FALSE (download (fault, "last/body.bin", task)) << fault;
    }
    EXPECT_EQ (warnings.shown, juce::StringArray ({ "The internet connection fails.", "The internet connection fails." }));
}

TEST_F (ProgressTaskTest, StalledBodyIsCutOffByTheStallBound)
{
    server.addFile ("last/stalled.bin", randomBytes (50000, 5));
    downloadLimits().stallMs = 700;
    WaitingTask task (&listener);
    WebDownload web (juce::URL (server.baseUrl() + "@stall:30/last/stalled.bin"));
    ASSERT_TRUE (web.open());
    juce::MemoryOutputStream out (received, false);
    const auto started = juce::Time::getMillisecondCounter();

    EXPECT_FALSE (downloadToStream (web, task, out));
    EXPECT_LT (juce::Time::getMillisecondCounter() - started, 5000u);
    EXPECT_TRUE (web.stalled());
    EXPECT_EQ (received.getSize(), 25000u) << "the half the server sent before it stalled";
    EXPECT_EQ (warnings.shown, juce::StringArray ("The internet connection fails."));
    downloadLimits() = NetworkLimits();
}

TEST_F (ProgressTaskTest, AServerThatNeverAnswersIsGivenUpWithinTheConnectBound)
{
    server.addFile ("last/here.bin", "here");
    downloadLimits().connectMs = 700;
    WebDownload web (juce::URL (server.baseUrl() + "@hang:30/last/here.bin"));
    const auto started = juce::Time::getMillisecondCounter();
    EXPECT_FALSE (web.open());
    EXPECT_LT (juce::Time::getMillisecondCounter() - started, 3000u);
    EXPECT_TRUE (web.stalled());
    EXPECT_TRUE (web.problem().startsWith ("no answer within")) << web.problem();
    downloadLimits() = NetworkLimits();
}

TEST_F (ProgressTaskTest, OnlyTwoHundredsOpenAndTheStatusIsKept)
{
    server.addFile ("last/here.bin", "here");
    for (const char* fault : { "@404/", "@500/" })
    {
        WebDownload web (juce::URL (server.baseUrl() + fault + "last/here.bin"));
        EXPECT_FALSE (web.open()) << fault;
        EXPECT_EQ (web.statusCode(), juce::String (fault).substring (1, 4).getIntValue());
        EXPECT_TRUE (web.problem().startsWith ("HTTP status")) << web.problem();
    }
    WebDownload missing (juce::URL (server.baseUrl() + "last/missing.bin"));
    EXPECT_FALSE (missing.open());
    EXPECT_EQ (missing.statusCode(), 404);
    WebDownload found (juce::URL (server.baseUrl() + "last/here.bin"));
    EXPECT_TRUE (found.open());
    EXPECT_EQ (found.getTotalLength(), 4);
}

TEST_F (ProgressTaskTest, ALocalFileThatCannotBeWrittenFailsTheDownload)
{
    if (! juce::File ("/dev/full").exists())
        GTEST_SKIP() << "no /dev/full";
    server.addFile ("last/body.bin", randomBytes (40000, 6));
    WaitingTask task (&listener);
    WebDownload web (juce::URL (server.baseUrl() + "last/body.bin"));
    ASSERT_TRUE (web.open());
    juce::FileOutputStream full (juce::File ("/dev/full"));
    ASSERT_TRUE (full.openedOk());

    EXPECT_FALSE (downloadToStream (web, task, full));
    ASSERT_EQ (warnings.shown.size(), 1);
    EXPECT_TRUE (warnings.shown[0].startsWith ("The download cannot be saved on this computer")) << warnings.shown[0];
}

TEST_F (ProgressTaskTest, CancelledTaskStopsBeforeTheNextChunkWithoutAMessage)
{
    server.addFile ("last/big.bin", randomBytes (5 * downloadChunkSize, 4));
    WaitingTask task (&listener);
    task.signalThreadShouldExit();

    EXPECT_FALSE (download ("", "last/big.bin", task));
    EXPECT_EQ (received.getSize(), 0u);
    EXPECT_TRUE (listener.steps.empty());
    EXPECT_EQ (warnings.shown.size(), 0);
}

TEST (ProgressThreadTest, DeletionStopsARunningTaskAndAlwaysReportsIt)
{
    RecordingListener listener;
    {
        WaitingTask running (&listener);
        running.startThread();
        ASSERT_TRUE (running.isThreadRunning());
    }
    {
        WaitingTask ended (&listener);
        ended.startThread();
        ended.signalThreadShouldExit();
        ASSERT_TRUE (ended.waitForThreadToExit (2000));
    }
    EXPECT_EQ (listener.finished, (std::vector<std::pair<int, int>> { { (int) TaskKind::deleted, 0 }, { (int) TaskKind::deleted, 0 } }));
}
