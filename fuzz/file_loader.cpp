// The file loader behind --file: the input is a path (made text as main()
// makes every argument text), a NUL byte, and the bytes of the file "fw.syx"
// that sits in the fuzzer's own working folder next to a subfolder and a file
// one byte over the size limit. Paths may be relative or absolute and need
// not exist; a path that would read an existing file outside that folder is
// skipped, so the fuzzer never reads (or blocks on) the machine's own files
// and devices.
//
// Whatever the path, the loader either keeps the whole file, unchanged, and
// says nothing, or keeps nothing and tells the user at most once.

#include "FuzzTarget.h"
#include "firmware/FirmwareImage.h"
#include "ui/CommandLineOptions.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace
{
juce::File workFolder;

juce::File resolve (const juce::String& path)
{
    // As the loader resolves it.
    return juce::File::isAbsolutePath (path) ? juce::File (path)
                                             : juce::File::getCurrentWorkingDirectory().getChildFile (path);
}
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    workFolder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                     .getChildFile ("nimbo-fuzz-loader-" + juce::String ((int) getpid()));
    workFolder.deleteRecursively();
    workFolder.getChildFile ("folder").createDirectory();

    juce::FileOutputStream big (workFolder.getChildFile ("big.syx"));
    big.setPosition (FirmwareImage::maximumFileSize);
    big.writeByte (0);

    workFolder.setAsCurrentWorkingDirectory();
    std::atexit ([] { workFolder.deleteRecursively(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const auto* const end = data + size;
    const auto* const separator = std::find (data, end, (std::uint8_t) 0);
    const std::string pathBytes (data, separator);
    const auto* const content = separator == end ? end : separator + 1;
    const auto contentSize = (std::size_t) (end - content);

    const auto path = CommandLineOptions::argumentFromBytes (pathBytes.c_str());
    const auto file = workFolder.getChildFile ("fw.syx");
    file.replaceWithData (content, contentSize);

    if (path.isNotEmpty())
    {
        const auto target = resolve (path);

        if (target.existsAsFile() && target != workFolder && ! target.isAChildOf (workFolder))
            return -1;
    }

    int alerts = 0;
    FirmwareImage image (path, [&] (juce::MessageBoxIconType, const juce::String&, const juce::String&) { ++alerts; });

    fuzzExpect (alerts <= 1, "the user is told at most once");
    fuzzExpect ((image.data == nullptr) == (image.size == 0), "there is data exactly when there is a size");
    fuzzExpect (image.size <= FirmwareImage::maximumFileSize, "nothing larger than the limit is kept");

    if (image.data != nullptr)
    {
        fuzzExpect (alerts == 0, "a loaded file comes without a message");
        fuzzExpect (image.data == image.fileData.getData(), "the image points at its own copy of the file");

        if (resolve (path) == file)
            fuzzExpect (image.size == (juce::int64) contentSize && std::memcmp (image.data, content, contentSize) == 0,
                        "the file is kept whole and unchanged");
    }

    return 0;
}
