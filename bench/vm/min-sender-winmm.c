/*
 * min-sender-winmm: the least a sender can do on the updater's Windows path,
 * as the yardstick for its pacing: every SysEx message of an image through
 * midiOutLongMsg, Sleep (1) until the driver marks it done, unprepared, then
 * a sleep until 15 ms after that send's start on QueryPerformanceCounter
 * (timeBeginPeriod (1), as JUCE sets it).
 *
 *   min-sender-winmm.exe DEVICE-NAME IMAGE.syx
 *
 * DEVICE-NAME: part of the name of the MIDI output to send to. Prints
 * "messages N bytes B" when done. Exit status 0, 1 on any failure.
 *
 * Built by bench/vm/bench-vm.sh with x86_64-w64-mingw32-gcc ... -lwinmm
 */
// windows.h first: mmsystem.h needs its types.
#include <windows.h>

#include <mmsystem.h>
#include <string.h>

#include "image.h"

static double now_ms (void)
{
    static LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency (&frequency);
    QueryPerformanceCounter (&counter);
    return (double) counter.QuadPart * 1000.0 / (double) frequency.QuadPart;
}

int main (int argc, char** argv)
{
    long size = 0;
    unsigned char* image = image_of_command_line (argc, argv, "min-sender-winmm", "DEVICE-NAME", &size);
    if (! image)
        return 1;

    UINT device = (UINT) -1;
    for (UINT i = 0; i < midiOutGetNumDevs(); i++)
    {
        MIDIOUTCAPSA caps;
        if (midiOutGetDevCapsA (i, &caps, sizeof caps) == MMSYSERR_NOERROR && strstr (caps.szPname, argv[1]))
        {
            device = i;
            break;
        }
    }
    HMIDIOUT out;
    if (device == (UINT) -1 || midiOutOpen (&out, device, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR)
    {
        fprintf (stderr, "min-sender-winmm: no MIDI output named like \"%s\"\n", argv[1]);
        return 1;
    }
    timeBeginPeriod (1);

    long messages = 0, bytes = 0;
    for (long at = 0, length; at < size; at += length)
    {
        length = message_length (image, size, at);
        const double start = now_ms();

        MIDIHDR header;
        memset (&header, 0, sizeof header);
        header.lpData = (LPSTR) (image + at);
        header.dwBufferLength = (DWORD) length;
        header.dwBytesRecorded = (DWORD) length;
        if (midiOutPrepareHeader (out, &header, sizeof header) != MMSYSERR_NOERROR
            || midiOutLongMsg (out, &header, sizeof header) != MMSYSERR_NOERROR)
        {
            fprintf (stderr, "min-sender-winmm: send failed at message %ld\n", messages + 1);
            return 1;
        }
        while (! (header.dwFlags & MHDR_DONE))
            Sleep (1);
        midiOutUnprepareHeader (out, &header, sizeof header);
        messages++;
        bytes += length;

        for (double left = start + 15.0 - now_ms(); left > 0.0; left = start + 15.0 - now_ms())
            Sleep (left > 2.0 ? (DWORD) (left - 1.0) : 0);
    }
    printf ("messages %ld bytes %ld\n", messages, bytes);
    midiOutClose (out);
    timeEndPeriod (1);
    free (image);
    return 0;
}
