#!/usr/bin/env python3
"""close-trials.py [STALL OPTIONS] APP OUTPUT_ID PROGRESS_FILE TRIALS SEED LOG_DIR
The trials of close-during-upload.sh and tests/usb/stall-close.sh. Each starts
APP --autoupdate --outputid OUTPUT_ID, waits for its main window, puts the
pointer on the close button, picks a random close point between the messages
the receiver has counted (PROGRESS_FILE) and the 480th, waits for it, clicks,
and times the click (its release) to the end of the process. One line per
trial on stdout:
    MESSAGES_AT_CLICK MILLISECONDS EXIT_STATUS
with MILLISECONDS "running" if the program was still there 20 s after the
click (it is then killed) and "ended" if it ended before the click; a status
"signal-N" when a signal ended it.

With --stall PEDAL_PID the receiver is the USB pedal (tests/usb/usb-pedal.c),
and the click comes while a send is held: at a random point between
--stall-range messages the pedal is stalled (SIGUSR2), and the click waits
until the program's open rawmidi output (--rawmidi, its /proc/asound/cardN/
midiM file) holds bytes that do not move for HOLD_PROOF_S. Once the program
is gone the pedal reads again (SIGHUP) and takes what is still on its way;
its --stamps file says when each byte came. The line then goes on with
    MODE TX_AT_CLICK PEDAL_AT_CLICK BUFFERED_AT_CLICK TX_AT_END AFTER_CLICK LATE FIRST_LATE_MS LAST_LATE_MS
MODE "auto" or "manual"; TX_*: the bytes the driver had taken from the
program (the substream's "Tx bytes"); PEDAL_AT_CLICK: the bytes the pedal
had; BUFFERED_AT_CLICK: the bytes still in the driver's buffer; AFTER_CLICK
and LATE: the bytes the pedal read after the click and more than 200 ms
after it, with the first and last of the late ones in ms after the click
("-" when there are none).
With --manual-every N, every Nth trial (the first included) starts the
program without options and runs the shell command --choose (with the main
window's id in NIMBO_WINDOW) to choose the pedal and press update, as a
person would.

One process for all trials, talking to X itself: under emulation starting a
program (xdotool, or this one) takes seconds, more than what is measured.
"""
import argparse
import os
import random
import select
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xwin  # noqa: E402

# The main window's title, as tests/support/lib.sh (which runs this) has it.
TITLE = os.environ["MAIN_TITLE"]
LAST_CLOSE_POINT = 480  # of 495: the program quits by itself after the last
HOLD_PROOF_S = 0.3
LATE_S = 0.2
SLOW_MS = 2000  # longer than any trial may take to end
SETTLED_S = 0.5
WORKER = "Protocol Thread"
# x86-64 system call numbers, as /proc/PID/task/TID/syscall gives them
POLLS = ("7", "271")  # poll, ppoll
SLEEPS = ("35", "230")  # nanosleep, clock_nanosleep

parser = argparse.ArgumentParser()
parser.add_argument("app")
parser.add_argument("output_id")
parser.add_argument("progress_file")
parser.add_argument("trials", type=int)
parser.add_argument("seed", type=int)
parser.add_argument("log_dir")
parser.add_argument("--stall", type=int, metavar="PEDAL_PID")
parser.add_argument("--stall-range", type=int, nargs=2, default=(10, 240))
parser.add_argument("--rawmidi")
parser.add_argument("--stamps")
parser.add_argument("--manual-every", type=int, default=0)
parser.add_argument("--choose")
args = parser.parse_args()


def progress():
    """(complete messages, bytes) the receiver has counted."""
    try:
        with open(args.progress_file) as f:
            fields = f.read().split()
            return int(fields[1]), int(fields[3]) if len(fields) > 3 else 0
    except (OSError, IndexError, ValueError):
        return 0, 0


def received():
    return progress()[0]


def rawmidi_output():
    """The fields of the first output substream in the card's rawmidi file."""
    fields = {}
    with open(args.rawmidi) as f:
        section = f.read().partition("Output 0\n")[2]
    for line in section.splitlines():
        if not line.startswith("  "):
            break
        name, _, value = line.partition(":")
        fields[name.strip()] = value.strip()
    return fields


def held_by(program):
    """True while the program's open output holds bytes the device does not take."""
    state = rawmidi_output()
    owner = state.get("Owner PID")
    return owner is not None and os.path.exists("/proc/%d/task/%s" % (program.pid, owner)) \
        and int(state["Avail"]) < int(state["Buffer size"])


def last_stamp():
    with open(args.stamps) as f:
        lines = f.read().splitlines()
    return lines[-1].split() if lines else []


def wait_held(program, ended):
    """Waits until the pedal has stalled and the program's send stays held for HOLD_PROOF_S."""
    deadline = time.monotonic() + 30
    while not last_stamp()[:1] == ["stall"]:
        if time.monotonic() > deadline or ended.poll(0):
            return False
        time.sleep(0.01)
    steady_since, seen = None, None
    while time.monotonic() < deadline and not ended.poll(0):
        now = (rawmidi_output().get("Tx bytes"), progress()[1]) if held_by(program) else None
        if now is None or now != seen:
            steady_since, seen = time.monotonic(), now
        elif time.monotonic() - steady_since >= HOLD_PROOF_S:
            return True
        time.sleep(0.02)
    return False


def late_bytes(click):
    """Bytes read after the click, after click + LATE_S, and the first and last late read (ms)."""
    after = late = 0
    late_times = []
    with open(args.stamps) as f:
        for line in f:
            event = line.split()
            if event[0] != "read" or float(event[1]) <= click:
                continue
            after += int(event[2])
            if float(event[1]) > click + LATE_S:
                late += int(event[2])
                late_times.append((float(event[1]) - click) * 1000)
    if not late_times:
        return after, late, "-", "-"
    return after, late, round(late_times[0]), round(late_times[-1])


def status(code):
    return "signal-%d" % -code if code < 0 else str(code)


def click():
    """A person's click on the close button, held for 50 ms; a button acts
    on its release, so the clock starts there."""
    xwin.button(True)
    time.sleep(0.05)
    start = time.monotonic()
    xwin.button(False)
    return start


def threads(program):
    """{thread id: name} of the program's threads."""
    found = {}
    for tid in os.listdir("/proc/%d/task" % program.pid):
        try:
            with open("/proc/%d/task/%s/comm" % (program.pid, tid)) as f:
                found[tid] = f.read().strip()
        except OSError:
            pass
    return found


def waits_for_events(program):
    """Over a few looks, the worker still runs and the message thread is
    never in the 2 ms sleeps of its wait for the worker (closing) but is in
    poll(), as JUCE's event loop is while it has nothing to handle. Read
    from /proc, which does not stop the program as a debugger does: a pedal
    that stays stalled meanwhile runs into the program's 10 s limit."""
    polled = False
    for _ in range(10):
        try:
            with open("/proc/%d/task/%d/syscall" % (program.pid, program.pid)) as f:
                call = f.read().split()[0]
        except (OSError, IndexError):
            return False
        if call in SLEEPS or WORKER not in threads(program).values():
            return False
        polled = polled or call in POLLS
        time.sleep(0.02)
    return polled


def stacks(program, trial):
    """Where every thread is, from gdb: a trial that takes longer than any
    may is a failure already, and this tells why."""
    stacks_file = os.path.join(args.log_dir, "app-%d.stacks" % trial)
    with open(stacks_file, "wb") as f:
        subprocess.run(["gdb", "-p", str(program.pid), "-batch", "-ex", "thread apply all bt"],
                       stdout=f, stderr=subprocess.STDOUT, timeout=120)
    return stacks_file


def settled(name, timeout):
    """The window once its place has not changed for SETTLED_S: one that
    still moves just after it is shown takes no click at where it was."""
    deadline = time.monotonic() + timeout
    seen, since = None, time.monotonic()
    while time.monotonic() < deadline:
        now = xwin.window(name)
        if now != seen:
            seen, since = now, time.monotonic()
        elif now is not None and time.monotonic() - since >= SETTLED_S:
            return now
        time.sleep(0.02)
    return seen


def click_never_arrived(stacks_file):
    """From gdb's stacks: the message thread idles in the event loop (as it
    does whenever no event is being handled), outside any close handling,
    while the upload still runs."""
    with open(stacks_file, errors="replace") as f:
        threads = f.read().split("\nThread ")
    main = [t for t in threads if "JUCEApplicationBase::main" in t]
    worker = [t for t in threads if "BasicSysexProtocolClass::run" in t]
    return (len(main) == 1 and "sleepUntilNextEvent" in main[0].split("\n#2 ")[0]
            and "closeButtonPressed" not in main[0] and len(worker) == 1)


choose = random.Random(args.seed)
for trial in range(1, args.trials + 1):
    before = received()
    manual = args.manual_every > 0 and (trial - 1) % args.manual_every == 0
    command = [args.app] if manual else [args.app, "--autoupdate", "--outputid", args.output_id]
    with open(os.path.join(args.log_dir, "app-%d.log" % trial), "wb") as log:
        program = subprocess.Popen(command, stdout=log, stderr=log)
    ended = select.poll()
    ended.register(os.pidfd_open(program.pid), select.POLLIN)

    deadline = time.monotonic() + 60
    window = None
    while window is None and time.monotonic() < deadline and not ended.poll(0):
        window = xwin.window(TITLE)
        time.sleep(0.005)
    if window is None:
        program.kill()
        sys.exit("close-trials: trial %d: no main window within 60 s" % trial)
    if manual:
        chosen = subprocess.run(["bash", "-c", args.choose], env=dict(os.environ, NIMBO_WINDOW=str(window[0])))
        if chosen.returncode != 0:
            program.kill()
            sys.exit("close-trials: trial %d: choosing the output failed" % trial)

    # JUCE sends a click to the component the last movement was over, and X
    # reports none for a pointer that is already where it is sent (as it is
    # from the second trial on): so it comes from elsewhere.
    _, _, x, y, width, _ = settled(TITLE, 10) or window
    xwin.move(x + width // 2, y + 100)
    time.sleep(0.1)
    xwin.move(x + width - 21, y + 16)
    time.sleep(0.1)
    low, high = args.stall_range if args.stall else (0, LAST_CLOSE_POINT)
    close_point = before + choose.randint(max(low, min(received() - before, high)), high)
    while received() < close_point and not ended.poll(0):
        time.sleep(0.002)
    if args.stall:
        os.kill(args.stall, signal.SIGUSR2)
        if not wait_held(program, ended) and not ended.poll(0):
            program.kill()
            os.kill(args.stall, signal.SIGHUP)
            sys.exit("close-trials: trial %d: no send was held after the pedal stalled: %s"
                     % (trial, rawmidi_output()))

    at_click = received() - before
    if ended.poll(0):
        print(at_click, "ended", status(program.wait()), flush=True)
        if args.stall:
            os.kill(args.stall, signal.SIGHUP)
        continue
    if args.stall:
        state = rawmidi_output()
        tx_click, pedal_click = int(state["Tx bytes"]), progress()[1]
        buffered = int(state["Buffer size"]) - int(state["Avail"])
    start = first_click = click()
    if not ended.poll(SLOW_MS):
        # Now and then the emulated machine's X server loses a click: the
        # program is then waiting for events as if nothing had happened. A
        # person clicks again, and so does this, at once and saying so; a
        # click that reached the program and was ignored would show in
        # every trial.
        if waits_for_events(program):
            print("close-trials: trial %d: the click never reached the program (its message thread waits"
                  " for events, the upload runs); clicked again" % trial, file=sys.stderr, flush=True)
            start = click()
        if not ended.poll(0 if start == first_click else SLOW_MS):
            stacks_file = stacks(program, trial)
            if start == first_click and not ended.poll(0) and click_never_arrived(stacks_file):
                print("close-trials: trial %d: the click never reached the program (%s); clicked again"
                      % (trial, stacks_file), file=sys.stderr, flush=True)
                start = click()
    if ended.poll(max(0, round((start + 20 - time.monotonic()) * 1000))):
        result = [at_click, round((time.monotonic() - start) * 1000), status(program.wait())]
    else:
        subprocess.run(["import", "-window", "root", os.path.join(args.log_dir, "app-%d.png" % trial)])
        program.kill()
        result = [at_click, "running", status(program.wait())]
    if args.stall:
        tx_end = int(rawmidi_output()["Tx bytes"])
        os.kill(args.stall, signal.SIGHUP)
        # What the driver took is either read by the pedal or, for the 1-2
        # bytes of an unfinished 3-byte USB MIDI packet, never sent.
        deadline = time.monotonic() + 5
        while progress()[1] < tx_end - 2 and time.monotonic() < deadline:
            time.sleep(0.01)
        result += ["manual" if manual else "auto", tx_click, pedal_click, buffered, tx_end, *late_bytes(start)]
    print(*result, flush=True)
