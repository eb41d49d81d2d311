#include "ui/OutcomeLine.h"

#include <gtest/gtest.h>

TEST (OutcomeLine, ACompletedUploadNamesImageChecksumOutputAndCounts)
{
    UpdateAttempt a;
    a.ending = UpdateAttempt::Ending::completed;
    a.imageName = "Tremoran Roduza Delay";
    a.imageVersion = "1.0.01";
    a.imageRevision = 473;
    a.imageSize = 295325;
    a.imageSha256 = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";
    a.outputNumber = 2;
    a.outputName = "Pedal MIDI 1";
    a.messagesSent = 495;
    a.bytesSent = 295325;

    EXPECT_EQ (OutcomeLine::format (a),
               "NimboSwUpdater: outcome=completed status=0 image=\"Tremoran Roduza Delay\" version=\"1.0.01\" "
               "revision=473 size=295325 "
               "sha256=00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff file=- output=2 "
               "output_name=\"Pedal MIDI 1\" messages=495 bytes=295325");
}

TEST (OutcomeLine, WhatDoesNotExistIsADashAndAnEmptyTextIsQuoted)
{
    // A file that could not be read, for an output number that is not listed.
    UpdateAttempt a;
    a.ending = UpdateAttempt::Ending::unusableFile;
    a.filePath = "x.syx --autoupdate";
    a.outputNumber = 99;

    EXPECT_EQ (OutcomeLine::format (a), "NimboSwUpdater: outcome=unusable-file status=3 image=- version=- revision=- "
                                        "size=- sha256=- file=\"x.syx --autoupdate\" output=99 output_name=- "
                                        "messages=0 bytes=0");

    // A file image has a name and an empty version; a closed run's counts stay.
    a.ending = UpdateAttempt::Ending::closed;
    a.imageName = "other";
    a.imageSize = 12;
    a.outputNumber = 0;
    a.messagesSent = 1;
    a.bytesSent = 4;
    const auto line = OutcomeLine::format (a);
    EXPECT_TRUE (line.contains (" outcome=closed status=9 image=\"other\" version=\"\" revision=0 size=12 ")) << line;
    EXPECT_TRUE (line.contains (" output=- output_name=- messages=1 bytes=4")) << line;
}

TEST (OutcomeLine, TextsCannotBreakTheLineOrItsFields)
{
    EXPECT_EQ (OutcomeLine::quoted ("a \"b\" c\\d"), "\"a \\\"b\\\" c\\\\d\"");
    EXPECT_EQ (OutcomeLine::quoted ("tab\there\nnew\rline"), "\"tab\\there\\nnew\\rline\"");
    EXPECT_EQ (OutcomeLine::quoted (juce::String::charToString (1) + juce::String::charToString (0x7f)),
               "\"\\x01\\x7f\"");
    const auto accented = juce::String::fromUTF8 ("P\xc3\xa9"
                                                  "dale \xe2\x82\xac");
    EXPECT_EQ (OutcomeLine::quoted (accented), "\"" + accented + "\"") << "only control characters are escaped";

    UpdateAttempt a;
    a.outputName = "two\nlines";
    EXPECT_FALSE (OutcomeLine::format (a).containsChar ('\n'));
}
