#pragma once

#include <juce_core/juce_core.h>

/** Reads a firmware file whole, without ever waiting for another process.

    The file is opened without blocking and the opened file itself is then
    examined: only a regular file is read. A pipe (FIFO), a device or a
    socket is refused at once, before a single byte is read from it, since
    reading one would wait for whoever is on its other end, for ever.
*/
class FirmwareImageReader
{
public:
    /** Why a file was not read. */
    enum class Problem
    {
        none,
        notFound, ///< nothing exists at the path
        folder, ///< the path names a folder
        notRegularFile, ///< a pipe, a device or a socket
        unreadable, ///< it exists but cannot be opened or read (permissions, I/O error)
        tooLarge, ///< larger than the limit
        empty ///< a regular file without a byte in it
    };

    struct Result
    {
        Problem problem = Problem::none;
        /** The file's size as the file system gave it, -1 when unknown. */
        juce::int64 fileSize = -1;
        /** More about the problem, for the user: the kind of file that was
            refused, or the system's word for an error. */
        juce::String detail;
    };

    /** Reads all of file into data (which is emptied first), or nothing.
        A file larger than maximumSize is refused, also when it grows past
        the limit while it is read. */
    static Result read (const juce::File& file, juce::int64 maximumSize, juce::MemoryBlock& data);

private:
    FirmwareImageReader() = delete;
};
