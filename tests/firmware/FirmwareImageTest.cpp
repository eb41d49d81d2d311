#include "firmware/FirmwareImage.h"
#include "TestHelpers.h"

#include <gtest/gtest.h>

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
