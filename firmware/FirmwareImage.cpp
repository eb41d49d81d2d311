#include "firmware/FirmwareImage.h"

#include "NimboFirmwareData.h"

namespace
{
const char* const useBuiltInLine = "\n The application will use the build-in firmware version.";

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

FirmwareImage::FirmwareImage (const juce::String& filePath, const UserAlert::Function& tellUser)
    : FirmwareImage (juce::String(), juce::String(), 0)
{
    readFile (filePath, tellUser);
}

void FirmwareImage::readFile (const juce::String& filePath, const UserAlert::Function& tellUser)
{
    // An empty path would otherwise resolve to the working directory itself.
    const auto file = filePath.isEmpty() ? juce::File() : fileFromPath (filePath);

    if (filePath.isEmpty() || ! file.exists())
    {
        tellUser (juce::MessageBoxIconType::NoIcon, "File " + filePath + " not found",
                  juce::String ("A firmware file was specified, but it could not be found.") + useBuiltInLine);
        return;
    }

    if (file.isDirectory())
    {
        tellUser (juce::MessageBoxIconType::WarningIcon, "File " + filePath + " cannot be read",
                  juce::String ("A firmware file was specified, but it is a folder, not a file.") + useBuiltInLine);
        return;
    }

    const auto fileSize = file.getSize();

    if (fileSize > maximumFileSize)
    {
        tellUser (juce::MessageBoxIconType::WarningIcon, "File " + filePath + " is too large",
                  "A firmware file was specified, but at " + juce::String (fileSize)
                      + " bytes it is larger than any firmware image (at most " + juce::String (maximumFileSize)
                      + " bytes)." + useBuiltInLine);
        return;
    }

    auto stream = file.createInputStream();

    if (stream == nullptr)
    {
        tellUser (juce::MessageBoxIconType::WarningIcon, "File " + filePath + " cannot be read",
                  juce::String ("A firmware file was specified, but it could not be opened for reading "
                                "(check its permissions).")
                      + useBuiltInLine);
        return;
    }

    // The size check above used the directory entry; the file may have grown
    // since, so the read itself is bounded too.
    stream->readIntoMemoryBlock (fileData, maximumFileSize + 1);

    if (fileData.getSize() > (size_t) maximumFileSize)
    {
        fileData.reset();
        tellUser (juce::MessageBoxIconType::WarningIcon, "File " + filePath + " is too large",
                  "A firmware file was specified, but it is larger than any firmware image (at most "
                      + juce::String (maximumFileSize) + " bytes)." + useBuiltInLine);
        return;
    }

    if (fileData.getSize() > 0)
    {
        data = static_cast<const juce::uint8*> (fileData.getData());
        size = (juce::int64) fileData.getSize();
    }

    name = file.getFileNameWithoutExtension();
}

std::unique_ptr<FirmwareImage> FirmwareImage::createBuiltIn()
{
    auto image = std::make_unique<FirmwareImage> ("NimboDelay", "1.0.01", 473);
    image->data = reinterpret_cast<const juce::uint8*> (NimboFirmwareData::NimboDelay1_0_01R473_syx);
    image->size = NimboFirmwareData::NimboDelay1_0_01R473_syxSize;
    return image;
}
