#!/usr/bin/python3
"""Sender-side figures of an upload to a rawmidi device, from the kernel's
syscall trace of the updater (tests/usb/lib.sh records it with ftrace, clock
"mono", so the times compare with the pedal's CLOCK_MONOTONIC stamps).

A send is the updater's write() of one message to the rawmidi device,
the waits for the device to take it (polls, status ioctls) and the drain
ioctl; the device's file descriptor is the one the drain ioctl names. Its start is where the upload worker starts it: the
worker's last clock read (juce::Time::getMillisecondCounterHiRes, traced
with a uprobe named "clock") before the write. That is the time the worker
paces from; the write itself can come later when the VM stalls the thread,
so the gaps between the writes are given too ("write_gap_*").

    sender-trace.py TRACE [MIN_GAP_MS]

prints "key value" lines: sends, the first->last send time, the start-to-
start gaps (min/median/max, how many fall below MIN_GAP_MS, default 15),
how long the sends took (write to end of drain), and how they ended
(send_result): ok; or, for the first send that did not end with its drain,
the call that failed and its error, or "unfinished" (given up on without an
error code, as when poll reports the device gone); then when its last call
returned (failed_at) and how many sends came after it.

    sender-trace.py --offset BINARY SYMBOL

prints the file offset of a function in an ELF file, for the uprobe.
"""
import errno
import re
import statistics
import subprocess
import sys

DRAIN = "40045731"  # SNDRV_RAWMIDI_IOCTL_DRAIN
LINE = re.compile(r"^\s*(.+)-(\d+)\s+\[\d+\]\s+\S+\s+([\d.]+): (\w+):? ?(\(.*\)|-> (0x[0-9a-f]+))$")


def symbol_offset(binary, symbol):
    """The file offset of SYMBOL: its address in the LOAD segment holding it."""
    address = None
    for line in subprocess.run(["nm", "-C", "--defined-only", binary], capture_output=True, text=True,
                               check=True).stdout.splitlines():
        value, kind, name = line.split(" ", 2)
        if name == symbol and kind in "Tt":
            address = int(value, 16)
    if address is None:
        sys.exit(f"sender-trace: no {symbol} in {binary}")
    for line in subprocess.run(["readelf", "-lW", binary], capture_output=True, text=True,
                               check=True).stdout.splitlines():
        f = line.split()
        if f and f[0] == "LOAD":
            offset, vaddr, size = int(f[1], 16), int(f[2], 16), int(f[5], 16)
            if vaddr <= address < vaddr + size:
                return address - vaddr + offset
    sys.exit(f"sender-trace: {symbol} is in no LOAD segment of {binary}")


def signed(hex_value):
    v = int(hex_value, 16)
    return v - (1 << 64) if v >= 1 << 63 else v


def main():
    if sys.argv[1] == "--offset":
        print(hex(symbol_offset(sys.argv[2], sys.argv[3])))
        return
    path = sys.argv[1]
    min_gap = float(sys.argv[2]) if len(sys.argv) > 2 else 15.0
    events = []
    for line in open(path, errors="replace"):
        m = LINE.match(line)
        if m:
            _, tid, t, name, args, ret = m.groups()
            events.append((int(tid), float(t), name, args if ret is None else None, signed(ret) if ret else None))

    drain = next(((tid, re.search(r"fd: ([0-9a-f]+)", a).group(1)) for tid, _, n, a, _ in events
                  if n == "sys_ioctl" and a and f"cmd: {DRAIN}," in a), None)
    if drain is None:
        print("sends 0")
        return
    tid, fd = drain

    # A send starts with a write that follows a clock read (the worker's
    # start time; within a send, writes follow only waits). It ends with the
    # drain ioctl returning 0, or with any call on the device failing. The
    # waits in between are polls and status ioctls.
    sends, current, pending, clock, clock_since = [], None, None, None, False
    for t_id, t, name, args, ret in events:
        if t_id != tid:
            continue
        if name == "clock":
            clock, clock_since = t, True
        elif args is not None and name in ("sys_write", "sys_ioctl", "sys_poll"):
            on_device = args.startswith(f"(fd: {fd},")
            if name == "sys_write" and on_device and (current is None or clock_since):
                if current is not None:
                    sends.append(current)  # given up on without an error
                current = {"start": clock if clock_since else t, "write": t, "last": t}
            clock_since = False
            pending = (name, on_device or name == "sys_poll", f"cmd: {DRAIN}," in args)
        elif ret is not None and pending and pending[0] == name:
            call, ours, is_drain = pending
            pending = None
            if not ours or current is None:
                continue
            current["last"] = t
            if ret < 0 and ret != -errno.EAGAIN:
                short = {"sys_write": "write", "sys_poll": "poll"}.get(call, "drain" if is_drain else "ioctl")
                current["failed"] = f"failed-{short}-{errno.errorcode.get(-ret, str(-ret))}"
                sends.append(current)
                current = None
            elif is_drain:
                current["end"] = t
                sends.append(current)
                current = None
    if current is not None:
        sends.append(current)

    starts = [s["start"] for s in sends]
    print(f"sends {len(sends)}")
    print(f"first_send_at {starts[0]:.6f}")
    print(f"last_send_at {starts[-1]:.6f}")
    print(f"first_to_last_s {starts[-1] - starts[0]:.6f}")
    print(f"start_from {'clock' if any(n == 'clock' for _, _, n, _, _ in events) else 'write'}")
    gaps = [(b - a) * 1e3 for a, b in zip(starts, starts[1:])]
    if gaps:
        print(f"gap_ms_min {min(gaps):.3f}")
        print(f"gap_ms_median {statistics.median(gaps):.3f}")
        print(f"gap_ms_max {max(gaps):.3f}")
        print(f"gaps_below_{min_gap:g}ms {sum(g < min_gap for g in gaps)}")
        writes = [s["write"] for s in sends]
        write_gaps = [(b - a) * 1e3 for a, b in zip(writes, writes[1:])]
        print(f"write_gap_ms_min {min(write_gaps):.3f}")
        print(f"write_gap_ms_median {statistics.median(write_gaps):.3f}")
        print(f"write_gaps_below_{min_gap:g}ms {sum(g < min_gap for g in write_gaps)}")
    took = [(s["end"] - s["write"]) * 1e3 for s in sends if "end" in s]
    if took:
        print(f"send_ms_median {statistics.median(took):.3f}")
        print(f"send_ms_max {max(took):.3f}")
    bad = next((i for i, s in enumerate(sends) if "end" not in s), None)
    if bad is None:
        print("send_result ok")
    else:
        print(f"send_result {sends[bad].get('failed', 'unfinished')}")
        print(f"failed_at {sends[bad]['last']:.6f}")
        print(f"sends_after_failure {len(sends) - bad - 1}")


main()
