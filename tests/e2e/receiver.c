/*
 * receiver: stands in for the pedal's MIDI input on an ALSA sequencer.
 *
 * It owns one writable, subscribable port, so the updater lists it as a MIDI
 * output. Every byte that arrives is kept in order; SysEx is put back together
 * when the sequencer delivers a message in several events. Each message is
 * stamped with the sequencer's own real-time clock at the moment the kernel
 * delivered it (a queue stamps our port), so the gaps measured are the
 * sender's pacing and not this process's scheduling.
 *
 *   receiver [--name NAME] [--raw FILE] [--report FILE] [--progress FILE]
 *            [--ready-file FILE] [--idle-timeout SEC] [--wait-timeout SEC]
 *
 * It stops SEC seconds after the last event (--idle-timeout, default 3), when
 * nothing at all arrives within --wait-timeout seconds (default: wait for
 * ever), or on SIGTERM/SIGINT, and then writes the raw bytes and a report of
 * "key value" lines. --progress FILE is rewritten after every whole message
 * ("messages N bytes B") for tests that must know when an upload is done.
 * Exit status: 0, or 1 if a message was not a clean F0..F7 SysEx, 2 on errors.
 *
 * Built by the e2e harness: gcc -O2 -Wall -o receiver receiver.c -lasound -lm
 */
#define _GNU_SOURCE
#include <alsa/asoundlib.h>
#include <errno.h>
#include <getopt.h>
#include <math.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

struct msg {
    double t_first, t_last; /* seconds on the stamping clock */
    size_t len;
    int framed;             /* F0, data bytes only, F7 */
};

static unsigned char *bytes;
static size_t nbytes, bytes_cap;
static struct msg *msgs;
static size_t nmsgs, msgs_cap;
static int sysex_open;      /* the last message is a SysEx still waiting for its F7 */
static volatile sig_atomic_t stopping;

static void on_signal(int sig) { (void)sig; stopping = 1; }

static void *grow(void *p, size_t *cap, size_t need, size_t elem)
{
    if (need <= *cap)
        return p;
    *cap = need * 2 + 1024;
    p = realloc(p, *cap * elem);
    if (!p) {
        perror("receiver: realloc");
        exit(2);
    }
    return p;
}

static double monotonic_now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

static void keep_bytes(const unsigned char *p, size_t n)
{
    bytes = grow(bytes, &bytes_cap, nbytes + n, 1);
    memcpy(bytes + nbytes, p, n);
    nbytes += n;
}

static struct msg *start_message(double t)
{
    msgs = grow(msgs, &msgs_cap, nmsgs + 1, sizeof *msgs);
    struct msg *m = &msgs[nmsgs++];
    m->t_first = m->t_last = t;
    m->len = 0;
    m->framed = 1;
    return m;
}

/* One SysEx event's bytes. An F0 always opens a new message, so a message that
 * never got its F7 stays in the log as unframed instead of swallowing the next. */
static void on_sysex(const unsigned char *p, size_t n, double t)
{
    if (n == 0)
        return;
    struct msg *m;
    if (sysex_open && p[0] != 0xF0) {
        m = &msgs[nmsgs - 1];
    } else {
        if (sysex_open)
            msgs[nmsgs - 1].framed = 0;
        m = start_message(t);
        if (p[0] != 0xF0)
            m->framed = 0;
    }
    for (size_t i = 0; i < n; i++) {
        int at_start = m->len == 0 && i == 0;
        int at_end = i == n - 1 && p[i] == 0xF7;
        if (p[i] >= 0x80 && !at_start && !at_end)
            m->framed = 0;
    }
    keep_bytes(p, n);
    m->len += n;
    m->t_last = t;
    sysex_open = p[n - 1] != 0xF7;
}

/* Anything else (notes, clock, ...) has no business in a firmware upload. */
static void on_other(const unsigned char *p, size_t n, double t)
{
    if (sysex_open)
        msgs[nmsgs - 1].framed = 0;
    sysex_open = 0;
    struct msg *m = start_message(t);
    keep_bytes(p, n);
    m->len = n;
    m->framed = 0;
}

static void write_progress(const char *path)
{
    char tmp[4096];
    snprintf(tmp, sizeof tmp, "%s.new", path);
    FILE *f = fopen(tmp, "w");
    if (!f)
        return;
    size_t whole = nmsgs - (sysex_open ? 1 : 0);
    fprintf(f, "messages %zu bytes %zu\n", whole, nbytes);
    fclose(f);
    rename(tmp, path);
}

static int by_value(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

static int write_report(const char *path, const char *clock_name, const char *stop_reason)
{
    FILE *f = path ? fopen(path, "w") : stdout;
    if (!f) {
        perror(path);
        return -1;
    }
    size_t unframed = 0;
    for (size_t i = 0; i < nmsgs; i++)
        unframed += !msgs[i].framed;
    fprintf(f, "messages %zu\nbytes %zu\nunframed %zu\nframed %s\nclock %s\nstopped %s\n",
            nmsgs, nbytes, unframed, (nmsgs > 0 && unframed == 0) ? "yes" : "no",
            clock_name, stop_reason);
    if (nmsgs > 0)
        fprintf(f, "first_to_last_s %.6f\n", msgs[nmsgs - 1].t_last - msgs[0].t_first);
    if (nmsgs > 1) {
        size_t n = nmsgs - 1;
        double *gap = malloc(n * sizeof *gap), sum = 0;
        if (!gap)
            return -1;
        for (size_t i = 0; i < n; i++) {
            gap[i] = (msgs[i + 1].t_first - msgs[i].t_first) * 1e3;
            sum += gap[i];
        }
        qsort(gap, n, sizeof *gap, by_value);
        size_t rank99 = (size_t)ceil(0.99 * n); /* nearest rank */
        fprintf(f, "gap_ms_min %.3f\ngap_ms_median %.3f\ngap_ms_mean %.3f\ngap_ms_p99 %.3f\ngap_ms_max %.3f\n",
                gap[0], n % 2 ? gap[n / 2] : (gap[n / 2 - 1] + gap[n / 2]) / 2, sum / n,
                gap[rank99 - 1], gap[n - 1]);
        free(gap);
    }
    if (f != stdout)
        fclose(f);
    else
        fflush(f);
    return 0;
}

static void usage(FILE *f)
{
    fputs("usage: receiver [--name NAME] [--raw FILE] [--report FILE] [--progress FILE]\n"
          "                [--ready-file FILE] [--idle-timeout SEC] [--wait-timeout SEC]\n", f);
}

int main(int argc, char **argv)
{
    const char *name = "Nimbo Test Receiver";
    const char *raw_path = NULL, *report_path = NULL, *progress_path = NULL, *ready_path = NULL;
    double idle_timeout = 3, wait_timeout = 0;

    static const struct option options[] = {
        {"name", required_argument, 0, 'n'},       {"raw", required_argument, 0, 'o'},
        {"report", required_argument, 0, 'r'},     {"progress", required_argument, 0, 'p'},
        {"ready-file", required_argument, 0, 'R'}, {"idle-timeout", required_argument, 0, 'i'},
        {"wait-timeout", required_argument, 0, 'w'}, {"help", no_argument, 0, 'h'},
        {0, 0, 0, 0}};
    int c;
    while ((c = getopt_long(argc, argv, "", options, NULL)) != -1) {
        switch (c) {
        case 'n': name = optarg; break;
        case 'o': raw_path = optarg; break;
        case 'r': report_path = optarg; break;
        case 'p': progress_path = optarg; break;
        case 'R': ready_path = optarg; break;
        case 'i': idle_timeout = atof(optarg); break;
        case 'w': wait_timeout = atof(optarg); break;
        case 'h': usage(stdout); return 0;
        default: usage(stderr); return 2;
        }
    }

    snd_seq_t *seq;
    /* Duplex only because starting our stamping queue is an output. Non-blocking,
     * so that reading stops when the kernel has nothing more for us. */
    int err = snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
    if (err < 0) {
        fprintf(stderr, "receiver: cannot open the sequencer: %s\n", snd_strerror(err));
        return 2;
    }
    snd_seq_set_client_name(seq, name);
    /* A 599-byte SysEx takes a couple of dozen cells of the kernel's pool for
     * this client, and alsa-lib must be able to hold a whole event in one read:
     * both at their maximum, so that a burst is never dropped on our side. */
    snd_seq_set_client_pool_input(seq, 2000);
    snd_seq_set_input_buffer_size(seq, 1 << 20);

    int queue = snd_seq_alloc_named_queue(seq, "receiver stamps");
    snd_seq_port_info_t *pinfo;
    snd_seq_port_info_alloca(&pinfo);
    snd_seq_port_info_set_name(pinfo, name);
    snd_seq_port_info_set_capability(pinfo, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE);
    snd_seq_port_info_set_type(pinfo, SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE);
    if (queue >= 0) {
        snd_seq_port_info_set_timestamping(pinfo, 1);
        snd_seq_port_info_set_timestamp_real(pinfo, 1);
        snd_seq_port_info_set_timestamp_queue(pinfo, queue);
    }
    err = snd_seq_create_port(seq, pinfo);
    if (err < 0) {
        fprintf(stderr, "receiver: cannot create the port: %s\n", snd_strerror(err));
        return 2;
    }
    int kernel_stamps = queue >= 0 && snd_seq_start_queue(seq, queue, NULL) >= 0 &&
                        snd_seq_drain_output(seq) >= 0;
    if (!kernel_stamps)
        fprintf(stderr, "receiver: no stamping queue, using this process's clock\n");

    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal; /* no SA_RESTART: poll() has to wake up */
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);

    if (progress_path)
        write_progress(progress_path);
    if (ready_path) {
        FILE *f = fopen(ready_path, "w");
        if (!f) {
            perror(ready_path);
            return 2;
        }
        fprintf(f, "%d:%d\n", snd_seq_client_id(seq), snd_seq_port_info_get_port(pinfo));
        fclose(f);
    }

    snd_midi_event_t *decoder;
    snd_midi_event_new(256, &decoder);
    snd_midi_event_no_status(decoder, 1);

    int npfd = snd_seq_poll_descriptors_count(seq, POLLIN);
    struct pollfd pfd[8];
    if (npfd > 8)
        npfd = 8;
    snd_seq_poll_descriptors(seq, pfd, npfd, POLLIN);

    const char *stop_reason = "signal";
    double started = monotonic_now(), last_event = 0;
    while (!stopping) {
        double now = monotonic_now();
        int timeout_ms = -1;
        if (last_event == 0 && wait_timeout > 0) {
            if (now >= started + wait_timeout) { stop_reason = "wait-timeout"; break; }
            timeout_ms = (int)((started + wait_timeout - now) * 1000) + 1;
        } else if (last_event > 0 && idle_timeout > 0) {
            if (now >= last_event + idle_timeout) { stop_reason = "idle-timeout"; break; }
            timeout_ms = (int)((last_event + idle_timeout - now) * 1000) + 1;
        }
        if (poll(pfd, npfd, timeout_ms) <= 0)
            continue;

        snd_seq_event_t *ev;
        while ((err = snd_seq_event_input(seq, &ev)) >= 0) {
            double t;
            if (kernel_stamps && ev->queue == queue &&
                (ev->flags & SND_SEQ_TIME_STAMP_MASK) == SND_SEQ_TIME_STAMP_REAL)
                t = ev->time.time.tv_sec + ev->time.time.tv_nsec / 1e9;
            else
                t = monotonic_now();
            size_t before = nmsgs - (sysex_open ? 1 : 0);
            if (ev->type == SND_SEQ_EVENT_SYSEX) {
                on_sysex(ev->data.ext.ptr, ev->data.ext.len, t);
            } else if (snd_seq_ev_is_channel_type(ev) || ev->type == SND_SEQ_EVENT_SONGPOS ||
                       ev->type == SND_SEQ_EVENT_QFRAME || ev->type == SND_SEQ_EVENT_SONGSEL ||
                       (ev->type >= SND_SEQ_EVENT_TUNE_REQUEST && ev->type <= SND_SEQ_EVENT_SENSING) ||
                       (ev->type >= SND_SEQ_EVENT_CLOCK && ev->type <= SND_SEQ_EVENT_STOP)) {
                unsigned char buf[16];
                long n = snd_midi_event_decode(decoder, buf, sizeof buf, ev);
                if (n > 0)
                    on_other(buf, (size_t)n, t);
            } else {
                continue; /* subscription notices and the like carry no MIDI bytes */
            }
            last_event = monotonic_now();
            if (progress_path && nmsgs - (sysex_open ? 1 : 0) != before)
                write_progress(progress_path);
        }
        if (err == -ENOSPC)
            fprintf(stderr, "receiver: the kernel dropped events (input pool overrun)\n");
    }
    snd_seq_close(seq);

    if (progress_path)
        write_progress(progress_path);
    if (raw_path) {
        FILE *f = fopen(raw_path, "wb");
        if (!f || fwrite(bytes, 1, nbytes, f) != nbytes || fclose(f) != 0) {
            perror(raw_path);
            return 2;
        }
    }
    if (write_report(report_path, kernel_stamps ? "kernel" : "process", stop_reason) < 0)
        return 2;
    for (size_t i = 0; i < nmsgs; i++)
        if (!msgs[i].framed)
            return 1;
    return 0;
}
