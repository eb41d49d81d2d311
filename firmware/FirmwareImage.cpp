#include "firmware/FirmwareImage.h"

#include "NimboFirmwareData.h"

namespace
{
const char* const useBuiltInLine = "\n The application will use the build-in firmware version.";
const char* const sendNothingLine = "\n Nothing will be sent: the automatic update does not start.";

juce::File fileFromPath (const juce::String& path)
{
    if (juce::File::isAbsolutePath (path))
        return juce::File (path);

    return juce::File::getCurrentWorkingDirectory().getChildFile (path);
}
} // namespace

FirmwareImage::FirmwareImage (const juce::String& nameToUse, const juce::String& versionToUse, int revisionToUse)
    : name (nameToUse), version (versionToUse), revision (revisionToUse)
{
}

FirmwareImage::FirmwareImage (const juce::String& path, const TellUser& tellUser, Fallback fallback)
    : FirmwareImage (juce::String(), juce::String(), 0)
{
    read (path);

    if (const auto notice = getNotice (fallback))
        tellUser (notice->icon, notice->title, notice->message);
}

std::unique_ptr<FirmwareImage> FirmwareImage::readFile (const juce::String& path)
{
    auto image = std::make_unique<FirmwareImage> (juce::String(), juce::String(), 0);
    image->read (path);
    return image;
}

void FirmwareImage::read (const juce::String& path)
{
    filePath = path;

    // An empty path would otherwise resolve to the working directory itself.
    if (path.isEmpty())
    {
        readResult.problem = Problem::notFound;
        return;
    }

    const auto file = fileFromPath (path);
    readResult = FirmwareImageReader::read (file, maximumFileSize, fileData);

    if (readResult.problem != Problem::none)
        return;

    data = static_cast<const juce::uint8*> (fileData.getData());
    size = (juce::int64) fileData.getSize();
    name = file.getFileNameWithoutExtension();
}

std::optional<FirmwareImage::Notice> FirmwareImage::getNotice (Fallback fallback) const
{
    const juce::String instead (fallback == Fallback::builtInImage ? useBuiltInLine : sendNothingLine);
    const auto cannotBeRead = "File " + filePath + " cannot be read";
    const auto warning = juce::MessageBoxIconType::WarningIcon;

    switch (readResult.problem)
    {
        case Problem::none:
            return std::nullopt;

        case Problem::notFound:
            return Notice { juce::MessageBoxIconType::NoIcon, "File " + filePath + " not found",
                            "A firmware file was specified, but it could not be found." + instead };

        case Problem::folder:
            return Notice { warning, cannotBeRead,
                            "A firmware file was specified, but it is a folder, not a file." + instead };

        case Problem::notRegularFile:
            return Notice { warning, cannotBeRead,
                            "A firmware file was specified, but it is " + readResult.detail + ", not a file."
                                + instead };

        case Problem::unreadable:
            return Notice { warning, cannotBeRead,
                            "A firmware file was specified, but it could not be opened for reading (check its "
                            "permissions"
                                + (readResult.detail.isEmpty() ? juce::String() : "; " + readResult.detail) + ")."
                                + instead };

        case Problem::tooLarge:
            return Notice { warning, "File " + filePath + " is too large",
                            "A firmware file was specified, but "
                                + (readResult.fileSize > maximumFileSize
                                       ? "at " + juce::String (readResult.fileSize) + " bytes it"
                                       : juce::String ("it"))
                                + " is larger than any firmware image (at most " + juce::String (maximumFileSize)
                                + " bytes)." + instead };

        case Problem::empty:
            // A person gets the built-in image without a word, as before; an
            // automatic update must say why it does nothing.
            if (fallback == Fallback::builtInImage)
                return std::nullopt;

            return Notice { warning, "File " + filePath + " is empty",
                            "A firmware file was specified, but it is empty." + instead };
    }

    return std::nullopt;
}

juce::String FirmwareImage::describeProblem() const
{
    switch (readResult.problem)
    {
        case Problem::none:
            break;
        case Problem::notFound:
            return "was not found";
        case Problem::folder:
            return "is a folder";
        case Problem::notRegularFile:
            return "is " + readResult.detail + ", not a file";
        case Problem::unreadable:
            return "cannot be read";
        case Problem::tooLarge:
            return "is too large";
        case Problem::empty:
            return "is empty";
    }

    return {};
}

std::unique_ptr<FirmwareImage> FirmwareImage::createBuiltIn()
{
    auto image = std::make_unique<FirmwareImage> ("NimboDelay", "1.0.01", 473);
    image->data = reinterpret_cast<const juce::uint8*> (NimboFirmwareData::NimboDelay1_0_01R473_syx);
    image->size = NimboFirmwareData::NimboDelay1_0_01R473_syxSize;
    return image;
}
