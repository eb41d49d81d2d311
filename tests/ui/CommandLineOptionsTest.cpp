#include "ui/CommandLineOptions.h"

#include <gtest/gtest.h>

TEST (CommandLine, OptionsAreWholeWordsIgnoringCase)
{
    struct Row
    {
        const char* line;
        bool file, autoUpdate;
    };

    const Row rows[] = {
        { "--FILE x.syx", true, false },
        { "--files x.syx", false, false },
        { "--autoupdate=1", false, true },
        { "--AutoUpdate", false, true },
        { "--autoupdater", false, false },
        { "x--autoupdate", false, false },
        { "", false, false },
    };

    for (const auto& row : rows)
    {
        const CommandLineOptions options (row.line);
        EXPECT_EQ (options.hasFile, row.file) << row.line;
        EXPECT_EQ (options.autoUpdate, row.autoUpdate) << row.line;
    }
}

TEST (CommandLine, FilePathIsTheTrimmedRestOfTheLineWithOneQuotePairRemoved)
{
    EXPECT_EQ (CommandLineOptions ("--file   /tmp/a b.syx  ").filePath, "/tmp/a b.syx");
    EXPECT_EQ (CommandLineOptions ("--autoupdate --File \"C:\\My Files\\fw.syx\"").filePath, "C:\\My Files\\fw.syx");
    EXPECT_EQ (CommandLineOptions ("--file \"\"quoted\"\"").filePath, "\"quoted\"") << "only one pair";
    EXPECT_EQ (CommandLineOptions ("--file \"half.syx").filePath, "\"half.syx");
    EXPECT_EQ (CommandLineOptions ("--file \"").filePath, "\"");

    const CommandLineOptions empty ("--file");
    EXPECT_TRUE (empty.hasFile);
    EXPECT_EQ (empty.filePath, "");

    // Everything after --file is the path, yet the later option still counts.
    const CommandLineOptions combined ("--file x.syx --autoupdate");
    EXPECT_EQ (combined.filePath, "x.syx --autoupdate");
    EXPECT_TRUE (combined.autoUpdate);
    EXPECT_EQ (combined.outputId, 1);
}

TEST (CommandLine, OutputNumberIsReadOnlyWithAutoUpdateAndNeverBelowOne)
{
    struct Row
    {
        const char* line;
        int outputId;
    };

    const Row rows[] = {
        { "--autoupdate", 1 },
        { "--autoupdate --outputid 3", 3 },
        { "--autoupdate --OUTPUTID    7", 7 },
        { "--autoupdate --outputid 0", 1 },
        { "--autoupdate --outputid -3", 1 },
        { "--autoupdate --outputid 2x", 2 },
        { "--autoupdate --outputid +4", 4 },
        { "--autoupdate --outputid=2", 1 },
        { "--autoupdate --outputid x", 1 },
        { "--autoupdate --outputid 99999999999999999999", 2147483647 },
        { "--autoupdate --outputid 2147483648", 2147483647 },
        { "--autoupdate --outputid 2 --outputid 5", 2 },
        { "--outputid 3", 1 },
    };

    for (const auto& row : rows)
        EXPECT_EQ (CommandLineOptions (row.line).outputId, row.outputId) << row.line;

    EXPECT_EQ (CommandLineOptions ("--autoupdate --inputid 4").inputId, 4);
    EXPECT_EQ (CommandLineOptions ("--autoupdate --inputid 4").outputId, 1) << "the input number selects nothing";
}

TEST (CommandLine, ListOutputsIsFoundLikeTheOthers)
{
    EXPECT_TRUE (CommandLineOptions ("--list-outputs").listOutputs);
    EXPECT_TRUE (CommandLineOptions ("--autoupdate --LIST-OUTPUTS").listOutputs);
    EXPECT_FALSE (CommandLineOptions ("--list-outputsx").listOutputs);
    EXPECT_FALSE (CommandLineOptions ("--list-output").listOutputs);
}

// Found by fuzz/command_line: JUCE takes any bytes for UTF-8, and a Latin-1
// 'à' (0xE0) or an overlong C0 80 made it size a string too small and write
// past it (stray bytes made its searches read past the end).
TEST (CommandLine, ArgumentsThatAreNotUtf8AreReadAsLatin1)
{
    const char* latin1 = "/tmp/mise \xe0 jour \xe9t\xe9.syx";
    const auto path = CommandLineOptions::argumentFromBytes (latin1);
    EXPECT_EQ (path, juce::String::fromUTF8 ("/tmp/mise \xc3\xa0 jour \xc3\xa9t\xc3\xa9.syx"));
    EXPECT_EQ (CommandLineOptions::argumentFromBytes ("caf\xc3\xa9"), juce::String::fromUTF8 ("caf\xc3\xa9"))
        << "UTF-8 stays as it is";
    EXPECT_EQ (CommandLineOptions::argumentFromBytes ("\xc0\x80"), juce::String::fromUTF8 ("\xc3\x80\xc2\x80"))
        << "an overlong form is not UTF-8";

    const CommandLineOptions options (CommandLineOptions::argumentFromBytes ("-\xff\xff\xff\xff\xff\xff-autoupdate")
                                      + " --autoupdate --outputid 2 --file " + path);
    EXPECT_TRUE (options.autoUpdate);
    EXPECT_EQ (options.outputId, 2);
    EXPECT_EQ (options.filePath, path);
}
