#!/usr/bin/env python3
"""close-trials.py APP OUTPUT_ID PROGRESS_FILE TRIALS SEED LOG_DIR
The trials of close-during-upload.sh. Each starts APP --autoupdate --outputid
OUTPUT_ID, waits for its main window, puts the pointer on the close button,
picks a random close point between the messages the receiver has counted
(PROGRESS_FILE) and the 480th, waits for it, clicks, and times the click (its
release) to the end of the process. One line per trial on stdout:
    MESSAGES_AT_CLICK MILLISECONDS EXIT_STATUS
with MILLISECONDS "running" if the program was still there 10 s after the
click (it is then killed) and "ended" if it ended before the click.

One process for all trials, talking to X itself: under emulation starting a
program (xdotool, or this one) takes seconds, more than what is measured.
"""
import ctypes
import os
import random
import select
import subprocess
import sys
import time

TITLE = b"Tremoran Roduza Delay version 1.0.01 - R473"
LAST_CLOSE_POINT = 480  # of 495: the program quits by itself after the last

app, output_id, progress_file = sys.argv[1], sys.argv[2], sys.argv[3]
trials, seed, log_dir = int(sys.argv[4]), int(sys.argv[5]), sys.argv[6]


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("c_class", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


class XTextProperty(ctypes.Structure):
    _fields_ = [("value", ctypes.c_void_p), ("encoding", ctypes.c_ulong), ("format", ctypes.c_int),
                ("nitems", ctypes.c_ulong)]


IS_VIEWABLE = 2
x11 = ctypes.CDLL("libX11.so.6")
xtst = ctypes.CDLL("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                           ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                           ctypes.POINTER(ctypes.c_uint)]
# JUCE sets the title as UTF8_STRING, which XFetchName does not return.
x11.XGetWMName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(XTextProperty)]
x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(XWindowAttributes)]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]

# Windows come and go while the tree is read; Xlib's default handler would
# end this process on the first BadWindow.
ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda display, event: 0)
x11.XSetErrorHandler(ERROR_HANDLER)
display = x11.XOpenDisplay(None)
if not display:
    sys.exit("close-trials: cannot open the display")
root = x11.XDefaultRootWindow(display)


def main_window():
    """(x, y, width) of the program's mapped main window, or None."""
    parent, root_out = ctypes.c_ulong(), ctypes.c_ulong()
    children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
    if not x11.XQueryTree(display, root, ctypes.byref(root_out), ctypes.byref(parent), ctypes.byref(children),
                          ctypes.byref(count)):
        return None
    found = None
    for i in range(count.value):
        name = XTextProperty()
        if x11.XGetWMName(display, children[i], ctypes.byref(name)) and name.value \
                and ctypes.string_at(name.value, name.nitems) == TITLE:
            attributes = XWindowAttributes()
            x11.XGetWindowAttributes(display, children[i], ctypes.byref(attributes))
            if attributes.map_state == IS_VIEWABLE:
                found = (attributes.x, attributes.y, attributes.width)
        if name.value:
            x11.XFree(name.value)
    if children:
        x11.XFree(children)
    return found


def received():
    try:
        with open(progress_file) as f:
            return int(f.read().split()[1])
    except (OSError, IndexError, ValueError):
        return 0


choose = random.Random(seed)
for trial in range(1, trials + 1):
    before = received()
    with open(os.path.join(log_dir, "app-%d.log" % trial), "wb") as log:
        program = subprocess.Popen([app, "--autoupdate", "--outputid", output_id], stdout=log, stderr=log)
    ended = select.poll()
    ended.register(os.pidfd_open(program.pid), select.POLLIN)

    deadline = time.monotonic() + 60
    window = None
    while window is None and time.monotonic() < deadline and not ended.poll(0):
        window = main_window()
        time.sleep(0.005)
    if window is None:
        program.kill()
        sys.exit("close-trials: trial %d: no main window within 60 s" % trial)

    # The window is shown before it is centred, and a person does not click
    # that fast either. JUCE sends a click to the component the last
    # movement was over, and X reports none for a pointer that is already
    # where it is sent (as it is from the second trial on): so it comes from
    # elsewhere.
    time.sleep(0.5)
    x, y, width = main_window() or window
    xtst.XTestFakeMotionEvent(display, -1, x + width // 2, y + 100, 0)
    x11.XSync(display, 0)
    time.sleep(0.1)
    xtst.XTestFakeMotionEvent(display, -1, x + width - 21, y + 16, 0)
    x11.XSync(display, 0)
    time.sleep(0.1)
    close_point = before + choose.randint(min(received() - before, LAST_CLOSE_POINT), LAST_CLOSE_POINT)
    while received() < close_point and not ended.poll(0):
        time.sleep(0.002)

    at_click = received() - before
    if ended.poll(0):
        print(at_click, "ended", program.wait(), flush=True)
        continue
    # Held for 50 ms, as a person's click is; a button acts on its release,
    # so the clock starts there.
    xtst.XTestFakeButtonEvent(display, 1, 1, 0)
    x11.XSync(display, 0)
    time.sleep(0.05)
    start = time.monotonic()
    xtst.XTestFakeButtonEvent(display, 1, 0, 0)
    x11.XSync(display, 0)
    if ended.poll(10000):
        print(at_click, round((time.monotonic() - start) * 1000), program.wait(), flush=True)
    else:
        program.kill()
        print(at_click, "running", program.wait(), flush=True)
