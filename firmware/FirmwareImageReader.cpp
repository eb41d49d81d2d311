#include "firmware/FirmwareImageReader.h"

#if JUCE_WINDOWS
    #include <windows.h>
#else
    #include <cerrno>
    #include <cstring>
    #include <fcntl.h>
    #include <sys/stat.h>
    #include <unistd.h>
#endif

using Problem = FirmwareImageReader::Problem;
using Result = FirmwareImageReader::Result;

namespace
{
Result problemResult (Problem problem, juce::int64 fileSize = -1, const juce::String& detail = {})
{
    Result result;
    result.problem = problem;
    result.fileSize = fileSize;
    result.detail = detail;
    return result;
}

/** Reads an opened regular file of this size to its end through readSome,
    which returns the number of bytes it read, 0 at the end, or -1 after an
    error (with its description in the string it is given). The size was the
    file system's when the file was opened; the file may grow meanwhile, so
    the read itself stops one byte past the limit. */
template <typename ReadSome>
Result readToEnd (ReadSome&& readSome, juce::int64 fileSize, juce::int64 maximumSize, juce::MemoryBlock& data)
{
    if (fileSize > maximumSize)
        return problemResult (Problem::tooLarge, fileSize);

    const auto limit = (size_t) maximumSize + 1;
    data.setSize ((size_t) juce::jmin ((juce::int64) limit, fileSize + 1));
    size_t filled = 0;

    for (;;)
    {
        if (filled == data.getSize())
        {
            if (filled >= limit)
                break;

            data.setSize (juce::jmin (limit, filled * 2 + 4096));
        }

        juce::String error;
        const long got = readSome (static_cast<char*> (data.getData()) + filled, data.getSize() - filled, error);

        if (got == 0)
            break;

        if (got < 0)
        {
            data.reset();
            return problemResult (Problem::unreadable, fileSize, error);
        }

        filled += (size_t) got;
    }

    data.setSize (filled);

    if (filled > (size_t) maximumSize)
    {
        data.reset();
        return problemResult (Problem::tooLarge, fileSize);
    }

    return problemResult (filled == 0 ? Problem::empty : Problem::none, fileSize);
}

#if ! JUCE_WINDOWS
juce::String kindOfFile (mode_t mode)
{
    if (S_ISFIFO (mode))
        return "a pipe (FIFO)";

    if (S_ISSOCK (mode))
        return "a socket";

    if (S_ISCHR (mode) || S_ISBLK (mode))
        return "a device";

    return "a special file";
}

struct ScopedDescriptor
{
    explicit ScopedDescriptor (int descriptor) : fd (descriptor) {}
    ~ScopedDescriptor()
    {
        if (fd >= 0)
            ::close (fd);
    }

    ScopedDescriptor (const ScopedDescriptor&) = delete;
    ScopedDescriptor& operator= (const ScopedDescriptor&) = delete;

    const int fd;
};

Result readPosix (const juce::File& file, juce::int64 maximumSize, juce::MemoryBlock& data)
{
    const auto path = file.getFullPathName().toStdString();

    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer, and a serial device for its carrier. O_NOCTTY: a terminal
    // never becomes ours.
    const ScopedDescriptor descriptor (::open (path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));

    if (descriptor.fd < 0)
    {
        const int error = errno;
        struct stat info;

        if (error == ENOENT || error == ENOTDIR)
            return problemResult (Problem::notFound);

        // A socket cannot be opened at all (ENXIO); name what it is.
        if (::stat (path.c_str(), &info) == 0 && ! S_ISREG (info.st_mode) && ! S_ISDIR (info.st_mode))
            return problemResult (Problem::notRegularFile, -1, kindOfFile (info.st_mode));

        return problemResult (Problem::unreadable, -1, std::strerror (error));
    }

    struct stat info;

    if (::fstat (descriptor.fd, &info) != 0)
        return problemResult (Problem::unreadable, -1, std::strerror (errno));

    if (S_ISDIR (info.st_mode))
        return problemResult (Problem::folder);

    if (! S_ISREG (info.st_mode))
        return problemResult (Problem::notRegularFile, -1, kindOfFile (info.st_mode));

    const auto readSome = [fd = descriptor.fd] (char* destination, size_t count, juce::String& error) -> long
    {
        for (;;)
        {
            const auto got = ::read (fd, destination, count);

            if (got >= 0 || errno != EINTR)
            {
                if (got < 0)
                    error = std::strerror (errno);

                return (long) got;
            }
        }
    };

    return readToEnd (readSome, (juce::int64) info.st_size, maximumSize, data);
}
#else
struct ScopedHandle
{
    explicit ScopedHandle (HANDLE h) : handle (h) {}
    ~ScopedHandle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle (handle);
    }

    ScopedHandle (const ScopedHandle&) = delete;
    ScopedHandle& operator= (const ScopedHandle&) = delete;

    const HANDLE handle;
};

juce::String systemMessage (DWORD error)
{
    wchar_t* text = nullptr;
    FormatMessageW (FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                    nullptr, error, 0, reinterpret_cast<wchar_t*> (&text), 0, nullptr);

    if (text == nullptr)
        return "error " + juce::String ((int) error);

    const auto message = juce::String (text).trim();
    LocalFree (text);
    return message;
}

Result readWindows (const juce::File& file, juce::int64 maximumSize, juce::MemoryBlock& data)
{
    if (file.isDirectory())
        return problemResult (Problem::folder);

    const ScopedHandle h (CreateFileW (file.getFullPathName().toWideCharPointer(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));

    if (h.handle == INVALID_HANDLE_VALUE)
    {
        const auto error = GetLastError();

        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME
            || error == ERROR_BAD_NETPATH)
            return problemResult (Problem::notFound);

        if (error == ERROR_PIPE_BUSY)
            return problemResult (Problem::notRegularFile, -1, "a pipe");

        return problemResult (Problem::unreadable, -1, systemMessage (error));
    }

    // A console, a serial port or a pipe: reading one waits for its other end.
    const auto type = GetFileType (h.handle);

    if (type != FILE_TYPE_DISK)
        return problemResult (Problem::notRegularFile, -1, type == FILE_TYPE_PIPE ? "a pipe" : "a device");

    LARGE_INTEGER size;

    if (! GetFileSizeEx (h.handle, &size))
        return problemResult (Problem::unreadable, -1, systemMessage (GetLastError()));

    const auto readSome = [handle = h.handle] (char* destination, size_t count, juce::String& error) -> long
    {
        DWORD got = 0;

        if (! ReadFile (handle, destination, (DWORD) juce::jmin ((size_t) (1 << 20), count), &got, nullptr))
        {
            error = systemMessage (GetLastError());
            return -1;
        }

        return (long) got;
    };

    return readToEnd (readSome, (juce::int64) size.QuadPart, maximumSize, data);
}
#endif
} // namespace

Result FirmwareImageReader::read (const juce::File& file, juce::int64 maximumSize, juce::MemoryBlock& data)
{
    data.reset();
#if JUCE_WINDOWS
    return readWindows (file, maximumSize, data);
#else
    return readPosix (file, maximumSize, data);
#endif
}
