// The bounds of the fixed buffers behind the entry points: a path too long for the send
// list or for the receive path is refused with its reason, never cut or overrun.

#include "tests/unit/ZmodemFarEnd.h"

#include <cerrno>
#include <cstring>

namespace
{
struct ZmodemHooksTest : farend::EngineOnPty
{
};
} // namespace

TEST_F (ZmodemHooksTest, SendPathLongerThanTheListEntryIsRefusedBeforeAnythingIsTyped)
{
    for (size_t length : { (size_t) zmodemNameSize, (size_t) 5000 })
    {
        const std::string path = "/tmp/" + std::string (length - 5, 'p');
        CapturedLog log;
        EXPECT_FALSE (zmodemSendFile (path.c_str())) << length;
        EXPECT_TRUE (errorIs ("failed to open file %s: %s\n")) << zmodemState.errorText;
        const std::string text = zmodemState.errorText;
        EXPECT_LT (text.size(), (size_t) zmodemErrorSize);
        EXPECT_EQ (text.rfind ("failed to open file /tmp/ppp", 0), 0u) << text;
        EXPECT_EQ (line.readFarAvailable (100), "") << "no \"rz\" for a refused path";
        EXPECT_EQ (log.finish().find ("opening file"), std::string::npos);
        errorClear();
    }
}

TEST_F (ZmodemHooksTest, ReceivePathIsRefusedWhenDirectoryAndNameDoNotFit)
{
    const std::string name = "preset.mz";
    std::strcpy (zmodemState.fileName, name.c_str());
    zmodemState.destFile = nullptr;

    // One character short of the buffer fits (and fails only because no such directory
    // exists); one more is refused as too long, with nothing opened.
    for (size_t total : { (size_t) zmodemRecvPathSize - 1, (size_t) zmodemRecvPathSize, (size_t) 4000 })
    {
        const std::string directory = "/nonexistent/" + std::string (total - name.size() - 14, 'd') + "/";
        ASSERT_EQ (directory.size() + name.size(), total);
        zmodemState.destDir = directory.c_str();
        openForReceive();
        EXPECT_TRUE (errorIs ("failed to open file %s: %s\n")) << total;
        const std::string text = zmodemState.errorText;
        EXPECT_EQ (text, "failed to open file preset.mz: " + std::string (std::strerror (total < (size_t) zmodemRecvPathSize ? ENOENT : ENAMETOOLONG)) + "\n");
        EXPECT_EQ (std::string (zmodemState.recvPath), total < (size_t) zmodemRecvPathSize ? directory + name : "") << total;
        EXPECT_EQ (zmodemTransfer.file, nullptr);
        errorClear();
    }
    zmodemState.destDir = nullptr;
}
