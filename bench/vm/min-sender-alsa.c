/*
 * min-sender-alsa: the least a sender can do on the updater's Linux path to
 * a software port, as the yardstick for its pacing: every SysEx message of an
 * image as one sequencer event sent directly to the subscribers of a port of
 * our own (what JUCE's MidiOutput does), then a sleep until 15 ms after that
 * send's start, on CLOCK_MONOTONIC to an absolute deadline. Timer slack as
 * the updater sets it (1 us), so the two differ only in what they do.
 *
 *   min-sender-alsa PORT-NAME IMAGE.syx
 *
 * PORT-NAME: part of the name of the sequencer port to send to. Prints
 * "messages N bytes B" when done. Exit status 0, 1 on any failure.
 *
 * Built by bench/vm/bench-vm.sh: gcc -O2 -o min-sender-alsa min-sender-alsa.c -lasound
 */
#define _GNU_SOURCE
#include <alsa/asoundlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <time.h>

#include "image.h"

#define PAUSE_NS 15000000L

static int find_port (snd_seq_t* seq, const char* name, int* client, int* port)
{
    snd_seq_client_info_t* ci;
    snd_seq_port_info_t* pi;
    snd_seq_client_info_alloca (&ci);
    snd_seq_port_info_alloca (&pi);
    snd_seq_client_info_set_client (ci, -1);
    while (snd_seq_query_next_client (seq, ci) >= 0)
    {
        snd_seq_port_info_set_client (pi, snd_seq_client_info_get_client (ci));
        snd_seq_port_info_set_port (pi, -1);
        while (snd_seq_query_next_port (seq, pi) >= 0)
        {
            unsigned caps = snd_seq_port_info_get_capability (pi);
            if ((caps & SND_SEQ_PORT_CAP_WRITE) && (caps & SND_SEQ_PORT_CAP_SUBS_WRITE)
                && strstr (snd_seq_port_info_get_name (pi), name))
            {
                *client = snd_seq_port_info_get_client (pi);
                *port = snd_seq_port_info_get_port (pi);
                return 0;
            }
        }
    }
    return -1;
}

int main (int argc, char** argv)
{
    long size = 0;
    unsigned char* image = image_of_command_line (argc, argv, "min-sender-alsa", "PORT-NAME", &size);
    if (! image)
        return 1;
    snd_seq_t* seq;
    int client, port;
    if (snd_seq_open (&seq, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0 || find_port (seq, argv[1], &client, &port) < 0)
    {
        fprintf (stderr, "min-sender-alsa: no sequencer port named like \"%s\"\n", argv[1]);
        return 1;
    }
    snd_seq_set_client_name (seq, "min-sender-alsa");
    int own = snd_seq_create_simple_port (seq, "out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                          SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (own < 0 || snd_seq_connect_to (seq, own, client, port) < 0)
    {
        fprintf (stderr, "min-sender-alsa: cannot connect to %d:%d\n", client, port);
        return 1;
    }
    prctl (PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);

    long messages = 0, bytes = 0;
    for (long at = 0, length; at < size; at += length)
    {
        length = message_length (image, size, at);
        struct timespec start;
        clock_gettime (CLOCK_MONOTONIC, &start);

        snd_seq_event_t ev;
        snd_seq_ev_clear (&ev);
        snd_seq_ev_set_source (&ev, own);
        snd_seq_ev_set_subs (&ev);
        snd_seq_ev_set_direct (&ev);
        snd_seq_ev_set_sysex (&ev, (unsigned) length, image + at);
        if (snd_seq_event_output_direct (seq, &ev) < 0)
        {
            fprintf (stderr, "min-sender-alsa: send failed at message %ld\n", messages + 1);
            return 1;
        }
        messages++;
        bytes += length;

        struct timespec deadline = start;
        deadline.tv_nsec += PAUSE_NS;
        if (deadline.tv_nsec >= 1000000000L)
        {
            deadline.tv_sec++;
            deadline.tv_nsec -= 1000000000L;
        }
        while (clock_nanosleep (CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, NULL) != 0)
        {
        }
    }
    printf ("messages %ld bytes %ld\n", messages, bytes);
    snd_seq_close (seq);
    free (image);
    return 0;
}
