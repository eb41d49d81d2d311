#include "firmware/FirmwareImage.h"
#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{
struct FirmwareFileTest : public ::testing::Test
{
    juce::TemporaryFile folder { juce::String(), juce::TemporaryFile::useHiddenFile };
    juce::File dir;
    AlertLog alerts;

    void SetUp() override
    {
        dir = folder.getFile();
        ASSERT_TRUE (dir.createDirectory());
    }

    void TearDown() override { dir.deleteRecursively(); }

    const char* const useBuiltIn = "\n The application will use the build-in firmware version.";
};
} // namespace

TEST_F (FirmwareFileTest, MissingFileTellsTheUserWithTheExactTextsAndKeepsNoData)
{
    const juce::String path = dir.getChildFile ("nope.syx").getFullPathName();
    FirmwareImage image (path, alerts.recorder());

    EXPECT_EQ (image.data, nullptr);
    ASSERT_EQ (alerts.entries.size(), 1u);
    EXPECT_EQ (alerts.entries[0].icon, juce::MessageBoxIconType::NoIcon);
    EXPECT_EQ (alerts.entries[0].title, "File " + path + " not found");
    EXPECT_EQ (alerts.entries[0].message,
               juce::String ("A firmware file was specified, but it could not be found.") + useBuiltIn);
}

TEST_F (FirmwareFileTest, EmptyPathIsReportedAsNotFoundRatherThanReadingTheWorkingDirectory)
{
    FirmwareImage image (juce::String(), alerts.recorder());
    EXPECT_EQ (image.data, nullptr);
    ASSERT_EQ (alerts.entries.size(), 1u);
    EXPECT_EQ (alerts.entries[0].title, "File  not found");
}

TEST_F (FirmwareFileTest, ReadableFileIsReadWholeAndNamedAfterItsBaseName)
{
    const auto bytes = makeImage ({ 9, 20, 9 });
    auto file = dir.getChildFile ("My.Pedal v2.syx");
    ASSERT_TRUE (file.replaceWithData (bytes.data(), bytes.size()));

    FirmwareImage image (file.getFullPathName(), alerts.recorder());

    EXPECT_TRUE (alerts.entries.empty());
    ASSERT_NE (image.data, nullptr);
    ASSERT_EQ (image.size, (juce::int64) bytes.size());
    EXPECT_EQ (0, memcmp (image.data, bytes.data(), bytes.size()));
    EXPECT_EQ (image.getName(), "My.Pedal v2");
    EXPECT_EQ (image.getVersion(), "");
    EXPECT_EQ (image.revision, 0);
    EXPECT_FALSE (image.fixedPacing);
}

TEST_F (FirmwareFileTest, RelativePathIsTakenFromTheWorkingDirectory)
{
    const auto bytes = makeImage ({ 9 });
    ASSERT_TRUE (dir.getChildFile ("rel.syx").replaceWithData (bytes.data(), bytes.size()));

    const auto previous = juce::File::getCurrentWorkingDirectory();
    dir.setAsCurrentWorkingDirectory();
    FirmwareImage image ("rel.syx", alerts.recorder());
    previous.setAsCurrentWorkingDirectory();

    ASSERT_NE (image.data, nullptr);
    EXPECT_EQ (image.size, 9);
    EXPECT_EQ (image.getName(), "rel");
}

TEST_F (FirmwareFileTest, EmptyFileGivesNoDataAndNoMessage)
{
    auto file = dir.getChildFile ("empty.syx");
    ASSERT_TRUE (file.create());

    FirmwareImage image (file.getFullPathName(), alerts.recorder());
    EXPECT_EQ (image.data, nullptr);
    EXPECT_EQ (image.size, 0);
    EXPECT_TRUE (alerts.entries.empty());
}

TEST_F (FirmwareFileTest, FolderAndOversizedFileAreRefusedWithAMessage)
{
    FirmwareImage folderImage (dir.getFullPathName(), alerts.recorder());
    EXPECT_EQ (folderImage.data, nullptr);
    ASSERT_EQ (alerts.entries.size(), 1u);
    EXPECT_EQ (alerts.entries[0].title, "File " + dir.getFullPathName() + " cannot be read");
    EXPECT_TRUE (alerts.entries[0].message.endsWith (useBuiltIn));

    // A sparse file: its size is refused before a single byte is read.
    auto big = dir.getChildFile ("huge.syx");
    {
        juce::FileOutputStream out (big);
        ASSERT_TRUE (out.openedOk());
        ASSERT_TRUE (out.setPosition (FirmwareImage::maximumFileSize));
        out.writeByte (0);
    }

    FirmwareImage bigImage (big.getFullPathName(), alerts.recorder());
    EXPECT_EQ (bigImage.data, nullptr);
    EXPECT_EQ (bigImage.fileData.getSize(), 0u);
    ASSERT_EQ (alerts.entries.size(), 2u);
    EXPECT_EQ (alerts.entries[1].title, "File " + big.getFullPathName() + " is too large");
}

TEST_F (FirmwareFileTest, FileOfExactlyTheLimitIsAccepted)
{
    auto file = dir.getChildFile ("limit.syx");
    {
        juce::FileOutputStream out (file);
        ASSERT_TRUE (out.setPosition (FirmwareImage::maximumFileSize - 1));
        out.writeByte (0);
    }

    FirmwareImage image (file.getFullPathName(), alerts.recorder());
    EXPECT_TRUE (alerts.entries.empty());
    EXPECT_EQ (image.size, FirmwareImage::maximumFileSize);
}

TEST_F (FirmwareFileTest, UnreadableFileIsRefusedWithAMessage)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads any file";

    auto file = dir.getChildFile ("locked.syx");
    ASSERT_TRUE (file.replaceWithText ("x"));
    ASSERT_TRUE (file.setReadOnly (true));
    ::chmod (file.getFullPathName().toRawUTF8(), 0);

    FirmwareImage image (file.getFullPathName(), alerts.recorder());
    EXPECT_EQ (image.data, nullptr);
    ASSERT_EQ (alerts.entries.size(), 1u);
    EXPECT_EQ (alerts.entries[0].title, "File " + file.getFullPathName() + " cannot be read");
}

TEST_F (FirmwareFileTest, PipesSocketsAndDevicesAreRefusedWithoutWaitingForThem)
{
    // Nobody writes to the FIFO: a blocking open or read would never return.
    const auto fifo = dir.getChildFile ("pipe.syx");
    ASSERT_EQ (::mkfifo (fifo.getFullPathName().toRawUTF8(), 0600), 0);

    const auto socketFile = dir.getChildFile ("sock.syx");
    const int listening = ::socket (AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE (listening, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    socketFile.getFullPathName().copyToUTF8 (address.sun_path, sizeof (address.sun_path));
    ASSERT_EQ (::bind (listening, reinterpret_cast<sockaddr*> (&address), sizeof (address)), 0);

    // /dev/zero would never end; /dev/null would look like an empty file.
    const std::pair<juce::String, const char*> specials[] = { { fifo.getFullPathName(), "a pipe (FIFO)" },
                                                              { socketFile.getFullPathName(), "a socket" },
                                                              { "/dev/zero", "a device" },
                                                              { "/dev/null", "a device" } };

    for (const auto& [path, kind] : specials)
    {
        alerts.entries.clear();
        FirmwareImage image (path, alerts.recorder());
        EXPECT_EQ (image.data, nullptr) << path;
        EXPECT_EQ (image.getProblem(), FirmwareImage::Problem::notRegularFile) << path;
        ASSERT_EQ (alerts.entries.size(), 1u) << path;
        EXPECT_EQ (alerts.entries[0].title, "File " + path + " cannot be read");
        EXPECT_TRUE (alerts.entries[0].message.contains (juce::String ("it is ") + kind + ", not a file"))
            << alerts.entries[0].message;
        EXPECT_TRUE (alerts.entries[0].message.endsWith (useBuiltIn));
    }

    // JUCE's folder listing passes over sockets, so the folder's own
    // clean-up could not remove it.
    ::close (listening);
    ::unlink (socketFile.getFullPathName().toRawUTF8());
}

TEST_F (FirmwareFileTest, WhenNothingTakesTheFilesPlaceNoBoxPromisesTheBuiltInImage)
{
    const auto empty = dir.getChildFile ("empty.syx");
    ASSERT_TRUE (empty.create());
    const auto fifo = dir.getChildFile ("pipe.syx");
    ASSERT_EQ (::mkfifo (fifo.getFullPathName().toRawUTF8(), 0600), 0);
    auto big = dir.getChildFile ("huge.syx");
    {
        juce::FileOutputStream out (big);
        ASSERT_TRUE (out.setPosition (FirmwareImage::maximumFileSize));
        out.writeByte (0);
    }

    const juce::String paths[] = { dir.getChildFile ("nope.syx").getFullPathName(),
                                   dir.getFullPathName(),
                                   fifo.getFullPathName(),
                                   big.getFullPathName(),
                                   empty.getFullPathName(),
                                   "" };

    for (const auto& path : paths)
    {
        alerts.entries.clear();
        FirmwareImage image (path, alerts.recorder(), FirmwareImage::Fallback::nothing);
        EXPECT_EQ (image.data, nullptr) << path;
        ASSERT_EQ (alerts.entries.size(), 1u) << "even an empty file is told about: " << path;
        const auto& message = alerts.entries[0].message;
        EXPECT_FALSE (message.containsIgnoreCase ("build-in")) << message;
        EXPECT_FALSE (message.containsIgnoreCase ("built-in")) << message;
        EXPECT_TRUE (message.endsWith ("\n Nothing will be sent: the automatic update does not start.")) << message;
        EXPECT_TRUE (alerts.entries[0].title.startsWith ("File " + path + " ")) << alerts.entries[0].title;
        EXPECT_TRUE (image.describeProblem().isNotEmpty());
    }
}
