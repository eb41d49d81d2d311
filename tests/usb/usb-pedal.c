/*
 * usb-pedal: a USB MIDI pedal for the updater's end-to-end tests. It runs in
 * the test VM and is the USB device itself: it serves a class-compliant USB
 * MIDI 1.0 device through gadgetfs on dummy_hcd, so the same kernel's host
 * side enumerates it and snd-usb-audio turns it into a sound card with a
 * rawmidi device and a sequencer port, as with a pedal on a real USB socket.
 *
 * Flow control is real. The bulk OUT endpoint gets a request (one packet)
 * only when the pedal has room for another packet's worth of bytes; until
 * then the device NAKs and the host's driver waits, as with a pedal that is
 * busy passing the data on at DIN speed. --rate sets how fast the pedal
 * empties its 768-byte buffer (bytes per second; 0 = as fast as they come).
 *
 *   usb-pedal [--gadgetfs DIR] [--product NAME] [--rate BYTES_PER_S]
 *             [--raw FILE] [--report FILE] [--progress FILE] [--ready-file FILE]
 *             [--stamps FILE] [--expect FILE] [--unplug-after MESSAGES]
 *             [--idle-timeout SEC] [--wait-timeout SEC]
 *
 * It plugs itself in at start (writing the descriptors to gadgetfs) and is
 * unplugged when it ends: once it has as many bytes as the --expect file,
 * SEC seconds after the last byte (--idle-timeout, default 3), when nothing
 * arrives within --wait-timeout seconds (default 120), on SIGTERM/SIGINT, or
 * at once after --unplug-after complete messages or on SIGUSR1 (wherever it
 * is in a message).
 * --ready-file is written once the host has configured the device.
 * --progress FILE is rewritten after every read ("messages N bytes B": the
 * complete messages and all bytes so far).
 *
 * SIGUSR2 stalls the pedal: from the end of the read under way it asks for
 * nothing more, so the host's transfers wait for it, as with a pedal that
 * has hung; SIGHUP makes it read again. The time-outs do not run while it is
 * stalled. What the host had queued meanwhile is full packets, with no short
 * one after them to end a read of many; so after a stall the pedal reads a
 * packet at a time until one read finds nothing (see read_packets). --stamps FILE gets a line per event, flushed at once, with the
 * CLOCK_MONOTONIC time and the byte count so far: "read T BYTES_READ TOTAL",
 * "stall T TOTAL" (when it stops asking) and "resume T TOTAL".
 *
 * At the end it writes the bytes (--raw) and a report of "key
 * value" lines: message count, framing, first->last byte time and the gaps
 * between message starts, stamped with CLOCK_MONOTONIC when each USB packet
 * was read (also given as CLOCK_MONOTONIC seconds: first_byte_at,
 * last_byte_at, unplugged_at); with --expect, how many messages equal the
 * expected ones.
 * Exit status: 0, 1 when a message was not a clean F0..F7 SysEx or the bytes
 * differ from --expect, 2 on errors.
 *
 * Built by tests/usb/lib.sh: gcc -O2 -Wall -Wextra -o usb-pedal usb-pedal.c -lpthread -lm
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <linux/usb/ch9.h>
#include <linux/usb/gadgetfs.h>
#include <math.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

/* dummy_hcd's device controller names its bulk endpoints like this; the
 * descriptors must use the matching addresses. */
#define EP_OUT_FILE "ep2out-bulk"
#define EP_OUT_ADDRESS 0x02
#define EP_IN_FILE "ep1in-bulk"
#define EP_IN_ADDRESS 0x81
#define FULL_SPEED_PACKET 64

/* The most MIDI bytes one full-speed packet carries (16 events of 3 bytes),
 * and the pedal's receive buffer: room for the most packets one read asks
 * for. dummy_hcd moves data once per timer tick (4 ms with HZ=250), so asking
 * for one packet at a time would cap the pedal at 48 bytes a tick. */
#define BYTES_PER_PACKET 48
#define MAX_PACKETS_PER_READ 16
#define PEDAL_BUFFER (MAX_PACKETS_PER_READ * BYTES_PER_PACKET)

static struct {
    const char *gadgetfs, *product, *raw, *report, *progress, *ready, *expect, *stamps;
    double rate, idle_timeout, wait_timeout;
    long unplug_after;
} opt = { "/dev/gadget", "Nimbo Test Pedal", NULL, NULL, NULL, NULL, NULL, NULL, 0, 3, 120, 0 };

static const char *manufacturer = "Nimbo Tests", *serial = "0001";
static const unsigned vendor_id = 0x1209, product_id = 0x0001; /* pid.codes' test ids */

static volatile sig_atomic_t stop_signal, unplug_signal, stall_wanted;
static void on_signal(int sig) { stop_signal = sig; }
static void on_unplug(int sig) { unplug_signal = sig; }
static void on_stall(int sig) { stall_wanted = sig == SIGUSR2; }
static void on_alarm(int sig) { (void)sig; }

static void die(const char *what)
{
    fprintf(stderr, "usb-pedal: %s: %s\n", what, strerror(errno));
    exit(2);
}

static double now_s(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

static void sleep_s(double s)
{
    if (s <= 0)
        return;
    struct timespec ts = { (time_t)s, (long)((s - (time_t)s) * 1e9) };
    nanosleep(&ts, NULL);
}

/* ------------------------------------------------------------------ device */

static struct {
    int ep0, ep_out, ep_in;
    int configured; /* SET_CONFIGURATION done and endpoints enabled */
    int stop_pipe[2];
    pthread_t thread;
    pthread_mutex_t lock;
    pthread_cond_t changed;
} dev = { -1, -1, -1, 0, { -1, -1 }, 0, PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER };

static void put16(unsigned char *p, unsigned v)
{
    p[0] = v & 0xFF;
    p[1] = (v >> 8) & 0xFF;
}

/* The configuration: an AudioControl interface with only its header, and a
 * MIDIStreaming interface with one embedded/external jack pair in each
 * direction and a bulk endpoint each way. */
static size_t config_descriptor(unsigned char *p)
{
    static const unsigned char d[] = {
        9, USB_DT_CONFIG, 0, 0, 2, 1, 0, 0x80, 50,
        9, USB_DT_INTERFACE, 0, 0, 0, USB_CLASS_AUDIO, 1 /* AudioControl */, 0, 0,
        9, USB_DT_CS_INTERFACE, 1 /* HEADER */, 0x00, 0x01, 9, 0, 1, 1 /* streaming interface */,
        9, USB_DT_INTERFACE, 1, 0, 2, USB_CLASS_AUDIO, 3 /* MIDIStreaming */, 0, 0,
        7, USB_DT_CS_INTERFACE, 1 /* MS_HEADER */, 0x00, 0x01, 7 + 6 + 6 + 9 + 9, 0,
        6, USB_DT_CS_INTERFACE, 2 /* MIDI_IN_JACK */, 1 /* embedded */, 1, 0,
        6, USB_DT_CS_INTERFACE, 2 /* MIDI_IN_JACK */, 2 /* external */, 2, 0,
        9, USB_DT_CS_INTERFACE, 3 /* MIDI_OUT_JACK */, 1 /* embedded */, 3, 1, 2, 1, 0,
        9, USB_DT_CS_INTERFACE, 3 /* MIDI_OUT_JACK */, 2 /* external */, 4, 1, 1, 1, 0,
        9, USB_DT_ENDPOINT, EP_OUT_ADDRESS, USB_ENDPOINT_XFER_BULK, FULL_SPEED_PACKET, 0, 0, 0, 0,
        5, USB_DT_CS_ENDPOINT, 1 /* MS_GENERAL */, 1, 1 /* into embedded IN jack 1 */,
        9, USB_DT_ENDPOINT, EP_IN_ADDRESS, USB_ENDPOINT_XFER_BULK, FULL_SPEED_PACKET, 0, 0, 0, 0,
        5, USB_DT_CS_ENDPOINT, 1 /* MS_GENERAL */, 1, 3 /* from embedded OUT jack 3 */,
    };
    memcpy(p, d, sizeof d);
    put16(p + 2, sizeof d);
    return sizeof d;
}

/* What gadgetfs wants written to ep0 to plug the device in: a tag, the
 * full-speed configuration, the device descriptor. */
static void plug_in(void)
{
    unsigned char buf[512], *p = buf;
    uint32_t tag = 0;
    memcpy(p, &tag, 4);
    p += 4;
    p += config_descriptor(p);
    unsigned char device[USB_DT_DEVICE_SIZE] = {
        USB_DT_DEVICE_SIZE, USB_DT_DEVICE, 0x00, 0x02, 0, 0, 0, 64, 0, 0, 0, 0, 0x00, 0x01, 1, 2, 3, 1,
    };
    put16(device + 8, vendor_id);
    put16(device + 10, product_id);
    memcpy(p, device, sizeof device);
    p += sizeof device;
    if (write(dev.ep0, buf, (size_t)(p - buf)) != p - buf)
        die("writing the descriptors to gadgetfs");
}

static int string_descriptor(unsigned index, unsigned char *out)
{
    const char *s;
    switch (index) {
    case 0: /* the languages: US English */
        out[0] = 4, out[1] = USB_DT_STRING, out[2] = 0x09, out[3] = 0x04;
        return 4;
    case 1: s = manufacturer; break;
    case 2: s = opt.product; break;
    case 3: s = serial; break;
    default: return -1;
    }
    size_t n = strlen(s) > 126 ? 126 : strlen(s);
    out[0] = (unsigned char)(2 + 2 * n);
    out[1] = USB_DT_STRING;
    for (size_t i = 0; i < n; ++i) { /* ASCII as UTF-16LE */
        out[2 + 2 * i] = (unsigned char)s[i];
        out[3 + 2 * i] = 0;
    }
    return out[0];
}

static int enable_endpoint(const char *name, unsigned char address)
{
    char path[512];
    snprintf(path, sizeof path, "%s/%s", opt.gadgetfs, name);
    int fd = open(path, O_RDWR);
    if (fd < 0) {
        fprintf(stderr, "usb-pedal: %s: %s\n", path, strerror(errno));
        return -1;
    }
    unsigned char buf[4 + USB_DT_ENDPOINT_SIZE];
    uint32_t tag = 1;
    memcpy(buf, &tag, 4);
    unsigned char d[USB_DT_ENDPOINT_SIZE] = { USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, address,
                                              USB_ENDPOINT_XFER_BULK, FULL_SPEED_PACKET, 0, 0 };
    memcpy(buf + 4, d, sizeof d);
    if (write(fd, buf, sizeof buf) != (ssize_t)sizeof buf) {
        fprintf(stderr, "usb-pedal: enabling %s: %s\n", name, strerror(errno));
        close(fd);
        return -1;
    }
    return fd;
}

static void disable_endpoints(void)
{
    if (dev.ep_out >= 0)
        close(dev.ep_out);
    if (dev.ep_in >= 0)
        close(dev.ep_in);
    dev.ep_out = dev.ep_in = -1;
    dev.configured = 0;
}

/* gadgetfs answers the device and configuration descriptor requests itself
 * and passes the rest here. A request with no data stage is acknowledged by
 * a zero-length read, one with data by writing it; I/O in the wrong
 * direction stalls it. */
static void on_setup(const struct usb_ctrlrequest *r)
{
    char none;
    unsigned value = r->wValue, length = r->wLength;
    if ((r->bRequestType & USB_TYPE_MASK) == USB_TYPE_STANDARD) {
        if (r->bRequest == USB_REQ_GET_DESCRIPTOR && (value >> 8) == USB_DT_STRING) {
            unsigned char d[256];
            int n = string_descriptor(value & 0xFF, d);
            if (n > 0) {
                if (write(dev.ep0, d, (size_t)n < length ? (size_t)n : length) < 0)
                    fprintf(stderr, "usb-pedal: string descriptor: %s\n", strerror(errno));
                return;
            }
        } else if (r->bRequest == USB_REQ_SET_CONFIGURATION) {
            pthread_mutex_lock(&dev.lock);
            disable_endpoints();
            if (value != 0) {
                dev.ep_out = enable_endpoint(EP_OUT_FILE, EP_OUT_ADDRESS);
                dev.ep_in = enable_endpoint(EP_IN_FILE, EP_IN_ADDRESS);
                if (dev.ep_out >= 0 && dev.ep_in >= 0)
                    dev.configured = 1;
                else
                    disable_endpoints();
            }
            pthread_cond_broadcast(&dev.changed);
            pthread_mutex_unlock(&dev.lock);
            if (read(dev.ep0, &none, 0) < 0)
                fprintf(stderr, "usb-pedal: acknowledging the configuration: %s\n", strerror(errno));
            return;
        } else if (r->bRequest == USB_REQ_SET_INTERFACE) {
            if (read(dev.ep0, &none, 0) < 0)
                fprintf(stderr, "usb-pedal: acknowledging the interface: %s\n", strerror(errno));
            return;
        }
    }
    ssize_t ignored = (r->bRequestType & USB_DIR_IN) ? read(dev.ep0, &none, 0) : write(dev.ep0, &none, 0);
    (void)ignored;
}

/* Control requests and connection events, until told to stop through the
 * pipe (a blocking read of ep0 could not be interrupted, and an open ep0
 * keeps the device plugged in). */
static void *control_thread(void *arg)
{
    (void)arg;
    struct pollfd fds[2] = { { dev.ep0, POLLIN, 0 }, { dev.stop_pipe[0], POLLIN, 0 } };
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents)
            break;
        if (!(fds[0].revents & POLLIN))
            continue;
        struct usb_gadgetfs_event events[4];
        ssize_t n = read(dev.ep0, events, sizeof events);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EIDRM)
                continue;
            break;
        }
        for (size_t i = 0; i < (size_t)n / sizeof events[0]; ++i) {
            switch (events[i].type) {
            case GADGETFS_SETUP:
                on_setup(&events[i].u.setup);
                break;
            case GADGETFS_DISCONNECT:
                pthread_mutex_lock(&dev.lock);
                disable_endpoints();
                pthread_cond_broadcast(&dev.changed);
                pthread_mutex_unlock(&dev.lock);
                break;
            default:
                break;
            }
        }
    }
    return NULL;
}

static void open_device(void)
{
    /* ep0 is the file named after the controller: the one not called ep* */
    char path[512] = "";
    DIR *d = opendir(opt.gadgetfs);
    if (!d)
        die(opt.gadgetfs);
    for (struct dirent *e; (e = readdir(d));)
        if (e->d_name[0] != '.' && strncmp(e->d_name, "ep", 2) != 0)
            snprintf(path, sizeof path, "%s/%s", opt.gadgetfs, e->d_name);
    closedir(d);
    if (!path[0]) {
        fprintf(stderr, "usb-pedal: no controller in %s (is gadgetfs mounted there?)\n", opt.gadgetfs);
        exit(2);
    }
    if ((dev.ep0 = open(path, O_RDWR)) < 0)
        die(path);
    if (pipe(dev.stop_pipe) < 0)
        die("pipe");
    plug_in();
    /* Signals are for the reading thread: they interrupt its blocking reads. */
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    errno = pthread_create(&dev.thread, NULL, control_thread, NULL);
    pthread_sigmask(SIG_SETMASK, &old, NULL);
    if (errno)
        die("pthread_create");
}

/* Closing ep0 unplugs the device; the host sees it go. */
static void unplug(void)
{
    if (dev.ep0 < 0)
        return;
    if (write(dev.stop_pipe[1], "x", 1) != 1)
        die("stopping the control thread");
    pthread_join(dev.thread, NULL);
    pthread_mutex_lock(&dev.lock);
    disable_endpoints();
    pthread_mutex_unlock(&dev.lock);
    close(dev.ep0);
    dev.ep0 = -1;
}

/* Waits up to timeout seconds for the host to configure the device; returns
 * the OUT endpoint's file, or -1. */
static int configured_endpoint(double timeout)
{
    struct timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    double end = until.tv_sec + until.tv_nsec / 1e9 + timeout;
    until.tv_sec = (time_t)end;
    until.tv_nsec = (long)((end - (time_t)end) * 1e9);
    pthread_mutex_lock(&dev.lock);
    while (!dev.configured && !stop_signal)
        if (pthread_cond_timedwait(&dev.changed, &dev.lock, &until) == ETIMEDOUT)
            break;
    int fd = dev.configured ? dev.ep_out : -1;
    pthread_mutex_unlock(&dev.lock);
    return fd;
}

/* Up to `packets` USB packets of MIDI events, unpacked into bytes; 0 when the
 * read was interrupted or timed out, <0 on errors. The read ends at a short
 * packet (the end of what the host had queued) or when all have come. A read
 * that is interrupted loses what it had already taken (gadgetfs takes the
 * request back and returns EINTR), so it must not wait for packets that may
 * never come: a read of one packet cannot lose any. */
static int read_packets(int fd, int packets, unsigned char *bytes, double timeout)
{
    static const unsigned char event_length[16] = { 0, 0, 2, 3, 3, 1, 2, 3, 3, 3, 3, 3, 2, 2, 3, 1 };
    unsigned char packet[MAX_PACKETS_PER_READ * FULL_SPEED_PACKET];
    /* SIGALRM interrupts the read; gadgetfs then takes the request back, so
     * the host's data stays where it was. */
    struct itimerval t = { { 0, 0 }, { (time_t)timeout, (long)((timeout - (time_t)timeout) * 1e6) + 1000 } };
    /* A stall waits for the read to end by itself: packets that an
     * interrupted read had already taken would be lost. */
    sigset_t stall_signals, old;
    sigemptyset(&stall_signals);
    sigaddset(&stall_signals, SIGUSR2);
    sigaddset(&stall_signals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stall_signals, &old);
    setitimer(ITIMER_REAL, &t, NULL);
    ssize_t n = read(fd, packet, (size_t)packets * FULL_SPEED_PACKET);
    int error = errno;
    struct itimerval off = { { 0, 0 }, { 0, 0 } };
    setitimer(ITIMER_REAL, &off, NULL);
    sigprocmask(SIG_SETMASK, &old, NULL);
    if (n < 0)
        return error == EINTR ? 0 : -error;
    int count = 0;
    for (ssize_t i = 0; i + 3 < n; i += 4)
        for (int k = 0; k < event_length[packet[i] & 0x0F]; ++k)
            bytes[count++] = packet[i + 1 + k];
    return count;
}

/* ---------------------------------------------------------------- messages */

struct message {
    size_t start, length;
    double t_first, t_last;
    int sysex, framed, open;
};

static unsigned char *data;
static size_t data_length, data_capacity;
static struct message *messages;
static size_t message_count, message_capacity;
static long complete_messages;
static size_t expected_length;
static double unplugged_at;

static void *grow(void *p, size_t *capacity, size_t need, size_t size)
{
    if (need <= *capacity)
        return p;
    *capacity = need * 2 + 4096;
    if (!(p = realloc(p, *capacity * size)))
        die("realloc");
    return p;
}

static struct message *new_message(double t, int sysex)
{
    messages = grow(messages, &message_capacity, message_count + 1, sizeof *messages);
    struct message *m = &messages[message_count++];
    *m = (struct message){ data_length, 0, t, t, sysex, sysex, 1 };
    return m;
}

/* An F0 always opens a new message, so a message that lost its F7 stays
 * unframed instead of swallowing the next one; any other status byte, or
 * data outside a SysEx, makes an unframed message of its own. */
static void take_byte(unsigned char b, double t)
{
    struct message *last = message_count ? &messages[message_count - 1] : NULL;
    if (b == 0xF0) {
        if (last && last->open)
            last->framed = last->open = 0;
        last = new_message(t, 1);
    } else if (b < 0x80 || b == 0xF7) {
        if (!last || !last->open)
            last = new_message(t, 0);
        if (b == 0xF7) {
            last->open = 0;
            if (last->framed)
                ++complete_messages;
        }
    } else {
        if (last && last->open)
            last->framed = last->open = 0;
        last = new_message(t, 0);
        last->open = 0;
    }
    data = grow(data, &data_capacity, data_length + 1, 1);
    data[data_length++] = b;
    last->length++;
    last->t_last = t;
}

static FILE *stamps;

static void stamp(const char *event, double t, int count)
{
    if (!stamps)
        return;
    if (count >= 0)
        fprintf(stamps, "%s %.6f %d %zu\n", event, t, count, data_length);
    else
        fprintf(stamps, "%s %.6f %zu\n", event, t, data_length);
    fflush(stamps);
}

/* Until told to go on, or to stop; the time spent here is not idle time. */
static void stay_stalled(void)
{
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old);
    stamp("stall", now_s(), -1);
    sigset_t waiting = old;
    sigdelset(&waiting, SIGHUP);
    sigdelset(&waiting, SIGUSR2);
    sigdelset(&waiting, SIGTERM);
    sigdelset(&waiting, SIGINT);
    sigdelset(&waiting, SIGUSR1);
    while (stall_wanted && !stop_signal && !unplug_signal)
        sigsuspend(&waiting);
    sigprocmask(SIG_SETMASK, &old, NULL);
    stamp("resume", now_s(), -1);
}

static void write_progress(void)
{
    char tmp[4096];
    snprintf(tmp, sizeof tmp, "%s.new", opt.progress);
    FILE *f = fopen(tmp, "w");
    if (!f)
        return;
    fprintf(f, "messages %ld bytes %zu\n", complete_messages, data_length);
    fclose(f);
    rename(tmp, opt.progress);
}

static int by_value(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

static unsigned char *read_file(const char *path, size_t *length)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        die(path);
    unsigned char *p = NULL;
    size_t capacity = 0, n = 0, got;
    do {
        p = grow(p, &capacity, n + 65536, 1);
        got = fread(p + n, 1, capacity - n, f);
        n += got;
    } while (got > 0);
    fclose(f);
    *length = n;
    return p;
}

/* Returns 1 when the bytes are not what they should be. */
static int write_report(const char *stop_reason)
{
    size_t unframed = 0;
    for (size_t i = 0; i < message_count; ++i)
        unframed += !messages[i].framed || messages[i].open;
    int bad = message_count == 0 || unframed > 0;

    FILE *f = opt.report ? fopen(opt.report, "w") : stdout;
    if (!f)
        die(opt.report);
    fprintf(f, "messages %zu\ncomplete %ld\nbytes %zu\nunframed %zu\nframed %s\nclock usb-read\nstopped %s\nrate %.0f\n",
            message_count, complete_messages, data_length, unframed, message_count && !unframed ? "yes" : "no",
            stop_reason, opt.rate);
    if (message_count) {
        double span = messages[message_count - 1].t_last - messages[0].t_first;
        fprintf(f, "first_to_last_s %.6f\nfirst_byte_at %.6f\nlast_byte_at %.6f\n", span, messages[0].t_first,
                messages[message_count - 1].t_last);
        if (span > 0)
            fprintf(f, "average_bytes_per_s %.1f\n", data_length / span);
    }
    if (message_count > 1) {
        size_t n = message_count - 1;
        double *gap = malloc(n * sizeof *gap), sum = 0;
        if (!gap)
            die("malloc");
        for (size_t i = 0; i < n; ++i)
            sum += gap[i] = (messages[i + 1].t_first - messages[i].t_first) * 1e3;
        qsort(gap, n, sizeof *gap, by_value);
        size_t rank99 = (size_t)ceil(0.99 * n);
        fprintf(f, "gap_ms_min %.3f\ngap_ms_median %.3f\ngap_ms_mean %.3f\ngap_ms_p99 %.3f\ngap_ms_max %.3f\n",
                gap[0], n % 2 ? gap[n / 2] : (gap[n / 2 - 1] + gap[n / 2]) / 2, sum / n, gap[rank99 - 1],
                gap[n - 1]);
        free(gap);
    }
    if (unplugged_at > 0)
        fprintf(f, "unplugged_at %.6f\n", unplugged_at);
    if (opt.expect) {
        /* Intact: equal to an expected message, matched in order; after a
         * loss the search goes on from just past the last match. */
        size_t length, intact = 0, next = 0, expected = 0;
        unsigned char *want = read_file(opt.expect, &length);
        size_t *starts = malloc((length + 1) * sizeof *starts);
        if (!starts)
            die("malloc");
        for (size_t i = 0; i < length; ++i)
            if (want[i] == 0xF0)
                starts[expected++] = i;
        starts[expected] = length;
        for (size_t i = 0; i < message_count && next < expected; ++i)
            for (size_t k = next; k < expected; ++k) {
                size_t l = starts[k + 1] - starts[k];
                if (l == messages[i].length && !memcmp(want + starts[k], data + messages[i].start, l)) {
                    ++intact;
                    next = k + 1;
                    break;
                }
            }
        int identical = length == data_length && !memcmp(want, data, length);
        fprintf(f, "expected_messages %zu\nintact %zu\nidentical %s\n", expected, intact, identical ? "yes" : "no");
        bad |= !identical;
        free(starts);
        free(want);
    }
    if (f != stdout)
        fclose(f);
    if (opt.raw) {
        FILE *r = fopen(opt.raw, "wb");
        if (!r || fwrite(data, 1, data_length, r) != data_length || fclose(r))
            die(opt.raw);
    }
    return bad;
}

/* -------------------------------------------------------------------- main */

static void usage(FILE *f)
{
    fputs("usage: usb-pedal [--gadgetfs DIR] [--product NAME] [--rate BYTES_PER_S]\n"
          "                 [--raw FILE] [--report FILE] [--progress FILE] [--ready-file FILE]\n"
          "                 [--stamps FILE] [--expect FILE] [--unplug-after MESSAGES]\n"
          "                 [--idle-timeout SEC] [--wait-timeout SEC]\n",
          f);
}

int main(int argc, char **argv)
{
    static const struct option options[] = {
        { "gadgetfs", 1, 0, 'g' }, { "product", 1, 0, 'P' }, { "rate", 1, 0, 'r' },
        { "raw", 1, 0, 'o' }, { "report", 1, 0, 'R' }, { "progress", 1, 0, 'p' },
        { "ready-file", 1, 0, 'y' }, { "expect", 1, 0, 'e' }, { "unplug-after", 1, 0, 'u' },
        { "idle-timeout", 1, 0, 't' }, { "wait-timeout", 1, 0, 'w' }, { "stamps", 1, 0, 's' },
        { "help", 0, 0, 'h' },
        { 0, 0, 0, 0 },
    };
    for (int c; (c = getopt_long(argc, argv, "", options, NULL)) != -1;) {
        switch (c) {
        case 'g': opt.gadgetfs = optarg; break;
        case 'P': opt.product = optarg; break;
        case 'r': opt.rate = atof(optarg); break;
        case 'o': opt.raw = optarg; break;
        case 'R': opt.report = optarg; break;
        case 'p': opt.progress = optarg; break;
        case 'y': opt.ready = optarg; break;
        case 'e': opt.expect = optarg; break;
        case 'u': opt.unplug_after = atol(optarg); break;
        case 't': opt.idle_timeout = atof(optarg); break;
        case 'w': opt.wait_timeout = atof(optarg); break;
        case 's': opt.stamps = optarg; break;
        case 'h': usage(stdout); return 0;
        default: usage(stderr); return 2;
        }
    }
    if (optind != argc || opt.rate < 0) {
        usage(stderr);
        return 2;
    }

    struct sigaction sa = { 0 };
    sa.sa_handler = on_signal; /* no SA_RESTART: a signal must end a blocking read */
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);
    sa.sa_handler = on_unplug;
    sigaction(SIGUSR1, &sa, NULL);
    sa.sa_handler = on_alarm;
    sigaction(SIGALRM, &sa, NULL);
    sa.sa_handler = on_stall;
    sigaction(SIGUSR2, &sa, NULL);
    sigaction(SIGHUP, &sa, NULL);
    if (opt.stamps && !(stamps = fopen(opt.stamps, "w")))
        die(opt.stamps);

    if (opt.expect)
        free(read_file(opt.expect, &expected_length));
    open_device();
    double t_start = now_s();
    int fd = configured_endpoint(30);
    if (fd < 0) {
        fprintf(stderr, "usb-pedal: the host did not configure the device within 30 s\n");
        unplug();
        return 2;
    }
    if (opt.ready) {
        FILE *f = fopen(opt.ready, "w");
        if (!f || fputs("configured\n", f) < 0 || fclose(f))
            die(opt.ready);
    }

    /* The buffer fills with every packet and empties at --rate; packets are
     * asked for only as far as they fit. */
    double level = 0, t_level = now_s(), t_last = 0;
    int singly = 0; /* one packet a read, after a stall */
    const char *stop = "error";
    unsigned char bytes[PEDAL_BUFFER];
    for (;;) {
        if (stop_signal) {
            stop = "signal";
            break;
        }
        if (unplug_signal) {
            stop = "unplugged";
            break;
        }
        if (stall_wanted) {
            double stalled = now_s();
            stay_stalled();
            double resumed = now_s();
            /* The time-outs count from where they were; the pedal's buffer
             * has emptied meanwhile. */
            t_start += resumed - stalled;
            if (data_length)
                t_last += resumed - stalled;
            level = 0;
            t_level = resumed;
            singly = 1;
            continue;
        }
        double now = now_s();
        double left = data_length ? t_last + opt.idle_timeout - now : t_start + opt.wait_timeout - now;
        if (left <= 0) {
            stop = data_length ? "idle" : "nothing-arrived";
            break;
        }
        int packets = MAX_PACKETS_PER_READ;
        if (opt.rate > 0) {
            level = fmax(0, level - (now - t_level) * opt.rate);
            t_level = now;
            if (level > PEDAL_BUFFER - BYTES_PER_PACKET) {
                sleep_s((level - (PEDAL_BUFFER - BYTES_PER_PACKET)) / opt.rate);
                continue;
            }
            packets = (int)((PEDAL_BUFFER - level) / BYTES_PER_PACKET);
        }
        if (singly)
            packets = 1;
        if ((fd = configured_endpoint(fmin(left, 0.5))) < 0)
            continue;
        int n = read_packets(fd, packets, bytes, fmin(left, 0.5));
        if (n < 0) {
            /* The host unconfigured or reset the device: wait for it again. */
            if (n == -ESHUTDOWN || n == -ECONNRESET || n == -ENODEV || n == -EBUSY) {
                sleep_s(0.01);
                continue;
            }
            fprintf(stderr, "usb-pedal: read: %s\n", strerror(-n));
            stop = "read-error";
            break;
        }
        if (n == 0) {
            singly = 0;
            continue;
        }
        double t = now_s();
        if (opt.rate > 0) {
            level = fmax(0, level - (t - t_level) * opt.rate) + n;
            t_level = t;
        }
        for (int i = 0; i < n; ++i)
            take_byte(bytes[i], t);
        t_last = t;
        stamp("read", t, n);
        if (opt.progress)
            write_progress();
        if (opt.unplug_after > 0 && complete_messages >= opt.unplug_after) {
            stop = "unplugged";
            break;
        }
        if (opt.expect && data_length >= expected_length) {
            stop = "complete";
            break;
        }
    }
    if (strcmp(stop, "unplugged") == 0)
        unplugged_at = now_s();
    unplug();
    if (strcmp(stop, "unplugged") == 0)
        fprintf(stderr, "usb-pedal: unplugged after %ld messages\n", complete_messages);
    int bad = write_report(stop);
    return strcmp(stop, "read-error") == 0 ? 2 : bad;
}
