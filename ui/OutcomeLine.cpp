#include "ui/OutcomeLine.h"

#include "ui/RunRecord.h"

#include <cstdio>
#include <iostream>

using Ending = UpdateAttempt::Ending;

OutcomeLine::Sink OutcomeLine::standardOutput()
{
    return [] (const juce::String& line)
    {
        std::cout << line.toStdString() << std::endl;
        std::fflush (stdout);
    };
}

const char* OutcomeLine::wordFor (Ending ending) noexcept
{
    switch (ending)
    {
        case Ending::completed:
            return "completed";
        case Ending::unusableFile:
            return "unusable-file";
        case Ending::refusedImage:
            return "refused-image";
        case Ending::noOutput:
            return "no-output";
        case Ending::outputBusy:
            return "output-busy";
        case Ending::outputNotOpened:
            return "output-not-opened";
        case Ending::sendFailed:
            return "send-failed";
        case Ending::closed:
            break;
    }

    return "closed";
}

juce::String OutcomeLine::quoted (const juce::String& text)
{
    juce::String result ("\"");

    for (auto p = text.getCharPointer(); ! p.isEmpty(); ++p)
    {
        const auto c = *p;

        switch (c)
        {
            case '"':
                result << "\\\"";
                break;
            case '\\':
                result << "\\\\";
                break;
            case '\t':
                result << "\\t";
                break;
            case '\n':
                result << "\\n";
                break;
            case '\r':
                result << "\\r";
                break;
            default:
                if (c < 0x20 || c == 0x7f)
                    result << "\\x" << juce::String::toHexString ((int) c).paddedLeft ('0', 2);
                else
                    result << juce::String::charToString (c);
        }
    }

    return result << "\"";
}

juce::String OutcomeLine::format (const UpdateAttempt& a)
{
    const bool hasImage = a.imageSize >= 0;
    const auto text = [] (bool present, const juce::String& value) { return present ? quoted (value) : "-"; };

    juce::String line ("NimboSwUpdater:");
    line << " outcome=" << wordFor (a.ending) << " status=" << (int) RunRecord::statusOf (a.ending)
         << " image=" << text (hasImage, a.imageName) << " version=" << text (hasImage, a.imageVersion)
         << " revision=" << (hasImage ? juce::String (a.imageRevision) : "-")
         << " size=" << (hasImage ? juce::String (a.imageSize) : "-")
         << " sha256=" << (a.imageSha256.isNotEmpty() ? a.imageSha256 : "-")
         << " file=" << text (a.filePath.isNotEmpty(), a.filePath)
         << " output=" << (a.outputNumber > 0 ? juce::String (a.outputNumber) : "-")
         << " output_name=" << text (a.outputName.isNotEmpty(), a.outputName)
         << " messages=" << juce::String ((juce::int64) a.messagesSent)
         << " bytes=" << juce::String ((juce::int64) a.bytesSent);
    return line;
}
