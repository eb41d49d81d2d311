#!/usr/bin/env python3
"""screen.py: what the end-to-end tests read off the screen, in one process
each, with CLOCK_MONOTONIC times (the clock of the pedal's and the kernel
trace's stamps). Areas are X,Y,W,H in screen pixels.

    screen.py grab AREA FILE [AREA FILE]...
        writes each area's pixels (raw RGB) to its FILE: a reference to compare with.
    screen.py wait-match TIMEOUT NAME=AREA=FILE...
        waits until every area shows its reference (to a few levels); prints "NAME T"
        when each first does. Status 1 on timeout, with "NAME differs N" (the
        pixels that differ) for the others, whose last look is left in
        FILE.seen (raw RGB, as FILE) to be compared by eye.
    screen.py watch-match SECONDS [--window TITLE] [--answer-at N FILE] NAME=AREA=FILE...
        watches the areas for that long (or until killed): prints "ready T"
        once it has looked at each, then "NAME shows T" whenever an area
        comes to show its reference and "NAME left T" when it stops. Started
        early, as this process can take seconds to start on an emulated CPU.
        With --window the areas are inside the window TITLE, wherever it is,
        and looked at only while it is there. With --answer-at, at its first
        look once FILE (a receiver's progress, "messages N ...") counts N
        messages, it prints "NAME is shows T" or "NAME is left T" for each
        area: what the screen showed at that point of an upload, which a
        test on a loaded emulated machine would reach only seconds later.
    screen.py never-match SECONDS NAME=AREA=FILE
        watches the area for that long; status 1 as soon as it shows its
        reference, with "NAME T".
    screen.py list-entries TITLE X Y ENTRIES TIMEOUT [PORT]
        opens the list at X,Y of the window TITLE, reads the number of
        entries off the height of its popup (the window "menu"), closes it
        with Escape, and again, until the list has ENTRIES entries (ports and
        "(Disconnected)"). With PORT it first waits until the ALSA sequencer
        has a port of that name (or, with ENTRIES negative, until it has none,
        and waits for -ENTRIES entries). Prints "port T" and "listed T".
    screen.py choose TITLE X Y ROW TIMEOUT
        opens the list at X,Y of the window TITLE (unless it is open) and
        chooses its entry ROW (0: "(Disconnected)", then the ports) with the
        keyboard, checking every step on the popup; status 0 once the popup
        has closed on it.
    screen.py pick TITLE X Y ROW TIMEOUT
        the same with the mouse: the entry is clicked once the popup shows it
        highlighted under the pointer.
    screen.py open TITLE X Y
        only opens the list.
    screen.py close TITLE TIMEOUT
        clicks the close button of the window TITLE as a person does: the
        pointer comes from inside the window, the button is held for 50 ms;
        again if the window is still there after half the time. Status 0
        once the window is gone.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xwin  # noqa: E402

# The popup of a JUCE combo box with the default look: a 2-pixel border,
# entries as high as the box's text (28 pixels for a 30-pixel box), and a
# separator half that high between "(Disconnected)" and the first port.
MENU_BORDER = 2
MENU_ENTRY = 28
KEY_PATIENCE_S = 3
# How long a click on the list may take to open it before it counts as lost
# and is repeated: a repeat of a click that was only late opens the list
# again after it has closed. The Windows build under Wine is that much slower.
CLICK_PATIENCE_S = float(os.environ.get("NIMBO_CLICK_PATIENCE_S", "5"))


def area(text):
    x, y, w, h = (int(v) for v in text.split(","))
    return x, y, w, h


# JUCE's software renderer can draw the same text one level lighter or
# darker at a few edge pixels, depending on what else the repaint covered;
# a real change (another text, an enabled or red button) moves many levels.
LEVEL_TOLERANCE = 6


def differing(pixels, reference):
    """The pixels that differ by more than LEVEL_TOLERANCE in a channel."""
    if pixels is None or len(pixels) != len(reference):
        return len(reference) // 3
    if pixels == reference:
        return 0
    return sum(1 for i in range(0, len(reference), 3)
               if any(abs(a - b) > LEVEL_TOLERANCE for a, b in zip(pixels[i:i + 3], reference[i:i + 3])))


def looks_like(pixels, reference):
    if pixels == reference:
        return True
    if pixels is None or len(pixels) != len(reference):
        return False
    return all(abs(a - b) <= LEVEL_TOLERANCE for a, b in zip(pixels, reference))


def wait_match(timeout, specs):
    deadline = time.monotonic() + timeout
    pending = {}
    paths = {}
    for spec in specs:
        name, where, path = spec.split("=")
        with open(path, "rb") as f:
            pending[name] = (area(where), f.read())
        paths[name] = path
    last = {}
    while pending:
        for name, (where, reference) in list(pending.items()):
            t = time.monotonic()
            pixels = xwin.grab(*where)
            if looks_like(pixels, reference):
                print(name, "%.6f" % t, flush=True)
                del pending[name]
            else:
                last[name] = pixels
        if pending and time.monotonic() > deadline:
            for name, (_, reference) in pending.items():
                print(name, "differs", differing(last.get(name), reference), flush=True)
                if last.get(name) is not None:
                    with open(paths[name] + ".seen", "wb") as f:
                        f.write(last[name])
            return 1
        # Often enough to time a change to a few tens of ms, seldom enough
        # to leave the emulated CPU to the program.
        time.sleep(0.03)
    return 0


def received_messages(path):
    try:
        with open(path) as f:
            return int(f.read().split()[1])
    except (OSError, IndexError, ValueError):
        return 0


def watch_match(duration, arguments):
    window_title, answer_at, progress_file = None, None, None
    while arguments and arguments[0].startswith("--"):
        if arguments[0] == "--window":
            window_title, arguments = arguments[1], arguments[2:]
        elif arguments[0] == "--answer-at":
            answer_at, progress_file, arguments = int(arguments[1]), arguments[2], arguments[3:]
        else:
            sys.exit("screen.py: watch-match: unknown option " + arguments[0])
    watched = []
    for spec in arguments:
        name, where, path = spec.split("=")
        with open(path, "rb") as f:
            watched.append((name, area(where), f.read()))
    showing = {}
    until = time.monotonic() + duration
    while time.monotonic() < until:
        origin = (0, 0)
        if window_title is not None:
            found = xwin.window(window_title)
            origin = found[2:4] if found else None
        if origin is not None:
            answer = answer_at is not None and received_messages(progress_file) >= answer_at
            for name, (x, y, width, height), reference in watched:
                t = time.monotonic()
                now = looks_like(xwin.grab(x + origin[0], y + origin[1], width, height), reference)
                if showing.get(name, False) != now:
                    print(name, "shows" if now else "left", "%.6f" % t, flush=True)
                if answer:
                    print(name, "is", "shows" if now else "left", "%.6f" % t, flush=True)
                showing[name] = now
            if answer:
                answer_at = None
        if "ready" not in showing:
            print("ready", "%.6f" % time.monotonic(), flush=True)
            showing["ready"] = True
        time.sleep(0.03)
    return 0


def never_match(duration, spec):
    """Status 1, with the time, as soon as the area shows its reference."""
    name, where, path = spec.split("=")
    with open(path, "rb") as f:
        reference = f.read()
    until = time.monotonic() + duration
    while time.monotonic() < until:
        t = time.monotonic()
        if looks_like(xwin.grab(*area(where)), reference):
            print(name, "%.6f" % t, flush=True)
            return 1
        time.sleep(0.05)
    return 0


def menu():
    return xwin.window("menu")


def entries_of(height):
    ports = (height - 2 * MENU_BORDER - MENU_ENTRY - MENU_ENTRY // 2) // MENU_ENTRY
    return 1 + max(ports, 0)


def has_port(name):
    with open("/proc/asound/seq/clients") as f:
        return ('"%s"' % name) in f.read()


def wait_gone(deadline):
    while menu() is not None:
        if time.monotonic() > deadline:
            return False
        xwin.wiggle()
        time.sleep(0.05)
    return True


def list_entries(title, x, y, wanted, timeout, port=None):
    deadline = time.monotonic() + timeout
    if port is not None:
        while has_port(port) != (wanted > 0):
            if time.monotonic() > deadline:
                print("port never", "appeared" if wanted > 0 else "went", flush=True)
                return 1
            time.sleep(0.01)
        print("port", "%.6f" % time.monotonic(), flush=True)
    wanted, count = abs(wanted), None
    while time.monotonic() < deadline:
        main = xwin.window(title)
        if main is None or not wait_gone(deadline):
            return 1
        # JUCE takes a click where the pointer last moved to; coming from
        # elsewhere makes sure the box sees the pointer arrive.
        xwin.move(main[2] + x, main[3] + y + 40)
        xwin.move(main[2] + x, main[3] + y)
        xwin.button(True)
        xwin.button(False)
        shown = None
        until = min(deadline, time.monotonic() + CLICK_PATIENCE_S)
        while shown is None and time.monotonic() < until:
            shown = menu()
            t = time.monotonic()
            if shown is None:
                xwin.wiggle()
                time.sleep(0.01)
        if shown is None:
            continue
        count = entries_of(shown[5])
        xwin.key("Escape")
        if not wait_gone(min(deadline + 5, time.monotonic() + 5)):
            print("the list did not close on Escape", flush=True)
            return 1
        if count == wanted:
            print("listed", "%.6f" % t, count, flush=True)
            return 0
        # The program leaves its list alone while the popup is open.
        time.sleep(0.25)
    print("listed never; last seen", count, "entries", flush=True)
    return 1


def highlighted(shown):
    """The row of the popup's highlighted entry (0: "(Disconnected)"), or None."""
    _, _, x, y, _, height = shown
    column = xwin.grab(x + 6, y, 1, height)
    if column is None:
        return None
    # The default look's highlight, 0x991111aa, is blue over the white popup.
    rows = [i for i in range(height) if column[3 * i + 2] - column[3 * i] > 60]
    if not rows:
        return None
    top = rows[0]
    first_port = MENU_BORDER + MENU_ENTRY + MENU_ENTRY // 2
    return 0 if top < first_port - MENU_ENTRY // 2 else 1 + (top - first_port + MENU_ENTRY // 2) // MENU_ENTRY


def open_list(title, x, y, deadline):
    shown = menu()
    if shown is not None:
        return shown
    for _ in range(3):
        main = xwin.window(title)
        if main is None or not wait_gone(deadline):
            return None
        xwin.move(main[2] + x, main[3] + y + 40)
        xwin.move(main[2] + x, main[3] + y)
        xwin.button(True)
        xwin.button(False)
        until = min(deadline, time.monotonic() + CLICK_PATIENCE_S)
        while time.monotonic() < until:
            shown = menu()
            if shown is not None:
                return shown
            xwin.wiggle()
            time.sleep(0.02)
    return None


def log(*what):
    if os.environ.get("NIMBO_SCREEN_LOG"):
        print("%.3f" % time.monotonic(), *what, file=sys.stderr, flush=True)


def opened(command, title, x, y, deadline):
    """open_list, saying so when the list did not open."""
    shown = open_list(title, x, y, deadline)
    if shown is None:
        print(command + ": the list did not open", flush=True)
    else:
        log("open", shown)
    return shown


def choose(title, x, y, row, timeout):
    """Chooses entry ROW of the list with the keyboard. The popup takes keys
    only once it is up and has the keyboard, and under emulation it can take
    a second to show the effect of one; so keys are pressed only while it is
    up, every key press is checked on the highlighted row, and pressed again
    only when it has had no effect for KEY_PATIENCE_S (see xwin.wiggle).
    A key that seemed lost may only have been late, and a Return pressed
    while it is still on its way chooses the entry after the one seen: so
    after a key without effect, the highlight must stay still for another
    KEY_PATIENCE_S before the next key or the Return (the highlight wraps
    around at the ends, and the next step undoes a key that overshot)."""
    deadline = time.monotonic() + timeout
    shown = opened("choose", title, x, y, deadline)
    if shown is None:
        return 1
    now = None
    # Keys pressed since the highlight last moved
    unanswered = 0
    while time.monotonic() < deadline:
        shown = menu()
        if shown is None:
            print("choose: the list closed before entry", row, "was chosen", flush=True)
            return 1
        now = highlighted(shown)
        log("highlighted", now)
        if unanswered > 0:
            if not still(shown, now, KEY_PATIENCE_S, deadline):
                # One more came late
                unanswered -= 1
                continue
            # What did not come in all that time was lost
            unanswered = 0
        if now == row:
            if not still(shown, row, 0.1, deadline):
                continue
            xwin.key("Return")
            log("Return")
            if wait_gone(min(deadline, time.monotonic() + KEY_PATIENCE_S * 3)):
                print("chosen", row, flush=True)
                return 0
            continue
        xwin.key("Down" if now is None or now < row else "Up")
        log("Down" if now is None or now < row else "Up")
        unanswered += 1
        until = time.monotonic() + KEY_PATIENCE_S
        while time.monotonic() < until and menu() is not None and highlighted(shown) == now:
            xwin.wiggle()
            time.sleep(0.05)
        if menu() is not None and highlighted(shown) != now:
            unanswered -= 1
    print("choose: could not choose entry", row, "- highlighted:", now, flush=True)
    if menu() is not None:
        xwin.key("Escape")
    return 1


def still(shown, now, seconds, deadline):
    """Whether the popup SHOWN keeps row NOW highlighted for SECONDS."""
    until = min(deadline, time.monotonic() + seconds)
    while time.monotonic() < until:
        xwin.wiggle()
        time.sleep(0.05)
        if menu() is None or highlighted(shown) != now:
            return False
    return True


def row_centre(shown, row):
    """Where on the screen entry ROW of the popup SHOWN lies (0: "(Disconnected)")."""
    _, _, x, y, width, _ = shown
    top = MENU_BORDER if row == 0 else MENU_BORDER + MENU_ENTRY + MENU_ENTRY // 2 + (row - 1) * MENU_ENTRY
    return x + width // 2, y + top + MENU_ENTRY // 2


def pick(title, x, y, row, timeout):
    """Chooses entry ROW of the list with the mouse: the pointer is moved onto
    the entry until the popup highlights it, and only then clicked, so a
    popup that lags behind (the Windows build under Wine) gets the click
    where it shows the entry."""
    deadline = time.monotonic() + timeout
    shown = opened("pick", title, x, y, deadline)
    if shown is None:
        return 1
    px, py = row_centre(shown, row)
    while time.monotonic() < deadline:
        shown = menu()
        if shown is None:
            print("pick: the list closed before entry", row, "was chosen", flush=True)
            return 1
        xwin.move(px, py)
        xwin.wiggle()
        if highlighted(shown) != row:
            time.sleep(0.1)
            continue
        log("highlighted", row)
        xwin.button(True)
        xwin.button(False)
        log("clicked")
        if wait_gone(min(deadline, time.monotonic() + CLICK_PATIENCE_S)):
            print("chosen", row, flush=True)
            return 0
    print("pick: could not choose entry", row, "- highlighted:", highlighted(shown) if shown else None, flush=True)
    if menu() is not None:
        xwin.key("Escape")
    return 1


def close(title, timeout):
    deadline = time.monotonic() + timeout
    clicks = 0
    while True:
        found = xwin.window(title)
        if found is None:
            return 0
        if time.monotonic() > deadline:
            print("close: the window", title, "is still there after", clicks, "clicks", flush=True)
            return 1
        if clicks == 0 or (clicks == 1 and time.monotonic() > deadline - timeout / 2):
            _, _, x, y, width, _ = found
            xwin.move(x + width // 2, y + 100)
            time.sleep(0.1)
            # JUCE draws the title bar: its close button is at the right end.
            xwin.move(x + width - 21, y + 16)
            time.sleep(0.1)
            xwin.button(True)
            time.sleep(0.05)
            xwin.button(False)
            clicks += 1
        xwin.wiggle()
        time.sleep(0.1)


def main():
    command = sys.argv[1]
    if command == "grab":
        for where, path in zip(sys.argv[2::2], sys.argv[3::2]):
            with open(path, "wb") as f:
                f.write(xwin.grab(*area(where)))
        return 0
    if command == "wait-match":
        return wait_match(float(sys.argv[2]), sys.argv[3:])
    if command == "watch-match":
        return watch_match(float(sys.argv[2]), sys.argv[3:])
    if command == "never-match":
        return never_match(float(sys.argv[2]), sys.argv[3])
    if command == "list-entries":
        title, x, y, wanted, timeout = sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]), \
            float(sys.argv[6])
        return list_entries(title, x, y, wanted, timeout, sys.argv[7] if len(sys.argv) > 7 else None)
    if command == "open":
        return 0 if open_list(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), time.monotonic() + 30) else 1
    if command == "close":
        return close(sys.argv[2], float(sys.argv[3]))
    if command == "pick":
        return pick(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]), float(sys.argv[6]))
    if command == "choose":
        return choose(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]), float(sys.argv[6]))
    sys.exit("screen.py: unknown command " + command)


sys.exit(main())
