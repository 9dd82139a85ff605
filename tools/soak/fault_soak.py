#!/usr/bin/python3
"""The fault soak: KivFSX and the hub emulator over a faulty network.

Runs inside a private network namespace whose first process is soak-reap (tools/soak/reap.cpp),
which reaps every instance and writes each exit to EXITS. The hub emulator plays a bad network
on everything it sends and receives (--faults: seeded loss, duplication, reordering, delay and
byte corruption, each fate a line of its fault log); it sends a variable change with a value of
its own every few hundred milliseconds and goes silent once for longer than the link-loss time.
At the end the soak compares what KivFSX did with what the datagrams that really arrived
predict, and fails (exit code 1) when:

  - the link was declared lost where the six-second rule does not allow it, or a silence of
    seven seconds or more with the link up went without a loss;
  - a variable change that arrived was applied a number of times other than the copies that
    arrived (a duplicate is applied again; a changed byte may change the value applied);
  - KivFSX's refusals of changed datagrams, by reason, are not those its receive path gives for
    the bytes that arrived, or the hub's refusals of blocks are not those of the changed ones;
  - an instance crashed, or its descriptors or threads grew, or its memory grew by more than
    the bound, between its first and last sample.

It prints one table (Markdown with --markdown). Every wait is bounded.

  fault_soak.py --exits EXITS --seconds N --seed N [--faults LIST] [--pause-s N] [--late-s S]
                [--markdown]
Environment: KIV_BIN, KIV_COMMGR, KIV_STANDIN.
"""
import argparse
import collections
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

STORE = "x86_microsoft.flightsimulator.simconnect_67c7c14424d61b5b_10.0.61259.0_x-ww_faults"
LINK_LOSS_S = 6.0  # six silent monitor ticks of one second
TICK_S = 1.0
# A loss comes no earlier than six monitor ticks (each at least a second) after the last sign of
# life arrived, and the soak sees its console line no earlier than it is written: only the
# clocks' rounding counts early. Late, the soak's own look and a loaded machine's wake-ups
# count (--late-s).
EARLY_S = 0.3
CHANGE_INDEX = 117  # AP_ALT_VAR_SET_ENGLISH: the value goes to the simulator as it is
CHANGE_EVENT = "AP_ALT_VAR_SET_ENGLISH"
MSG_VERSION = 503
RSS_BOUND_KIB = 1024

# The console lines of KivFSX's refusals, by reason.
REFUSALS = {
    "class": "PollUDP() - Unhandled MSG CLASS: ",
    "network type": "HandleNetworkMsgs() - Unhandled MSG_TYPE: ",
    "data type": "HandleDataMsgs() - Unknown MSG_TYPE: ",
    "keep-alive version": "HandleNetworkMsgs(Keep Alive) - Invalid message received",
    "address version": "HandleNetworkMsgs(Address) - Invalid message received",
    "address text": "HandleNetworkMsgs(Address) - No usable address and port in message",
    "change version": "HandleDataMsgs(FSX IN) - Invalid message received",
    "index": "HandleDataMsgs() - FsxIndex out of range: ",
    "past the end": "runs past the end of the message",
    "var type": "Unhandled vartype: ",
}


def now():
    return time.monotonic()


class Run:
    """What the soak saw while it ran (console lines and instances, with their times)."""

    def __init__(self, work):
        self.work = work
        self.console_at = 0  # bytes of the console read so far
        self.lines = []  # (time, line)
        self.instances = {}  # pid -> first seen
        self.samples = collections.defaultdict(list)  # pid -> [(t, fd, threads, rss, anon)]

    def poll(self):
        t = now()
        try:
            with open(f"{self.work}/console.txt", "rb") as f:
                f.seek(self.console_at)
                chunk = f.read()
        except FileNotFoundError:
            chunk = b""
        end = chunk.rfind(b"\n") + 1
        self.console_at += end
        for line in chunk[:end].decode("utf-8", "replace").splitlines():
            self.lines.append((t, line))
        for pid in instances():
            self.instances.setdefault(pid, t)

    def seen(self, text, since=0.0):
        return [t for t, line in self.lines if text in line and t >= since]

    def sample(self, pid):
        fd = threads = 1 << 30
        try:
            for _ in range(3):  # at rest: the log file is open only while an entry is written
                fd = min(fd, len(os.listdir(f"/proc/{pid}/fd")))
                status = open(f"/proc/{pid}/status").read()
                threads = min(threads, int(re.search(r"Threads:\s+(\d+)", status).group(1)))
                time.sleep(0.05)
            rss = int(re.search(r"VmRSS:\s+(\d+)", status).group(1))
            anon = int(re.search(r"RssAnon:\s+(\d+)", status).group(1))
        except (OSError, AttributeError):
            return
        self.samples[pid].append((now(), fd, threads, rss, anon))


def instances():
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                if open(f"/proc/{entry}/comm").read().strip() == "kivfsx":
                    found.append(int(entry))
            except OSError:
                pass
    return sorted(found)


def parse_fault_log(path):
    """The fault log's fates as dicts, and the hub's start on the monotonic clock (ms)."""
    fates, start = [], 0
    with open(path) as f:
        for line in f:
            fields = dict(kv.split("=", 1) for kv in line.split()[1 if line.startswith(
                "faults ") else 0:])
            if line.startswith("faults "):
                start = int(fields["start"])
            else:
                fates.append(fields)
    return fates, start


def header(data):
    padded = data + bytes(max(0, 32 - len(data)))
    return struct.unpack("<iiIiIiihh", padded[:32])


def kivfsx_verdict(data, corrupt_at):
    """What KivFSX's receive path does with datagram bytes from the hub: (refusal reason or
    None, value applied or None, sign of life, link up, ends the process)."""
    cls, typ, _seq, count, _res, _len, version, _src, _dst = header(data)
    if cls not in (1, 2):
        return "class", None, False, False, False
    if cls == 2:
        if typ == 12:
            return None, None, False, False, True
        if typ not in (5, 9):
            return "network type", None, False, False, False
        if version != MSG_VERSION:
            return ("keep-alive version" if typ == 9 else "address version"), None, False, False, \
                False
        if typ == 9:
            return None, None, True, False, False
        if corrupt_at >= 32:  # the address text changed: its word and number may still read
            return "address text?", None, True, True, False
        return None, None, True, True, False
    if typ != 2:
        return "data type", None, False, False, False
    reason = "change version" if version != MSG_VERSION else None
    if count < 1:
        return reason, None, False, False, False
    if len(data) < 36:
        return reason or "past the end", None, False, False, False
    index = struct.unpack("<I", data[32:36])[0]
    if index >= 300:
        return reason or "index", None, False, False, False
    if index != CHANGE_INDEX:  # another slot: its width and event are that slot's
        return reason or "other index", None, False, False, False
    if len(data) < 40:
        return reason or "past the end", None, False, False, False
    value = struct.unpack("<I", data[36:40])[0]
    if count > 1:
        reason = reason or "past the end"
    return reason, value, False, False, False


def analyse(args, run, steady_at, pauses, end_at):
    failures = []
    fates, start_ms = parse_fault_log(f"{run.work}/faults.txt")
    to_wall = lambda t_ms: (start_ms + int(t_ms)) / 1000.0  # hub time -> this monotonic clock

    # Relaunch windows: from a little before a new instance appears until it has its simulator
    # and its link; a datagram that arrived then may have met no instance or a half-started one.
    windows = []
    first_pid = min(run.instances) if run.instances else 0
    for pid, seen in sorted(run.instances.items()):
        if pid == first_pid:
            continue
        ready = [t for t in run.seen("Connected to Simulator", seen)]
        windows.append((seen - 4.0, (ready[0] if ready else end_at) + 1.0))
    in_window = lambda t: any(a <= t <= b for a, b in windows)

    # ----- what the hub sent and what of it arrived
    out = [f for f in fates if f["dir"] == "out"]
    sent = [f for f in out if f["fate"] == "sent"]
    by_id = collections.defaultdict(list)
    for f in out:
        by_id[f["id"]].append(f)
    counts = collections.Counter()
    expected = collections.Counter()  # value -> applications expected
    excluded = set()
    refusals_expected = collections.Counter()
    flexible = 0  # changed datagrams whose outcome depends on another slot's width
    signs = []  # (time, link up) of each arrived sign of life
    shutdowns = 0
    for f in out:
        kind = (int(f["class"]), int(f["type"]))
        counts[("out", kind, f["fate"])] += 1
    for f in sent:
        data = bytes.fromhex(f.get("hex", ""))
        corrupt_at = int(f["corrupt"].split(":")[0]) if f["corrupt"] != "-" else -1
        t = to_wall(f["t"])
        reason, value, sign, up, ends = kivfsx_verdict(data, corrupt_at)
        if corrupt_at >= 0:
            counts["out corrupted"] += 1
        if ends:
            shutdowns += 1
        if sign:
            signs.append((t, up))
        if value is not None:
            if in_window(t) or t < steady_at:
                excluded.add(value)
            else:
                expected[value] += 1
        if reason is not None and not in_window(t):
            if reason in ("other index", "address text?"):
                flexible += 1
            else:
                refusals_expected[reason] += 1

    # ----- what KivFSX did
    journal = open(f"{run.work}/journal.txt", errors="replace").read()
    applied = collections.Counter(
        int(m.group(1)) for m in re.finditer(
            rf"^CALL TransmitClientEvent .*sim={CHANGE_EVENT} data=(\d+) .*-> 0$", journal,
            re.MULTILINE))
    wrong = []
    for value in set(expected) | set(applied):
        if value in excluded:
            continue
        if applied[value] != expected[value]:
            wrong.append(f"{value}: applied {applied[value]}, arrived {expected[value]}")
    if wrong:
        failures.append(f"{len(wrong)} change value(s) applied other than once per arrived "
                        f"copy: {'; '.join(sorted(wrong)[:5])}")
    copies_per_change = collections.Counter()
    for f in sent:
        if int(f["class"]) == 1 and int(f["type"]) == 2:
            copies_per_change[f["id"]] += 1
    changes_sent = sum(1 for f in out if int(f["class"]) == 1 and int(f["type"]) == 2 and
                       f.get("copy", "1") == "1")
    lost_changes = sum(1 for f in out if int(f["class"]) == 1 and int(f["type"]) == 2 and
                       f["fate"] == "lost")
    dup_changes = sum(1 for n in copies_per_change.values() if n == 2)

    observed = collections.Counter()
    for t, line in run.lines:
        if in_window(t):
            continue
        for reason, text in REFUSALS.items():
            if text in line:
                observed[reason] += 1
    strict_ok = all(observed[r] >= refusals_expected[r] for r in REFUSALS)
    extra = sum(observed.values()) - sum(refusals_expected.values())
    if not strict_ok or extra < 0 or extra > flexible:
        failures.append(f"KivFSX's refusals {dict(observed)} are not those of the changed "
                        f"datagrams that arrived {dict(refusals_expected)} (+{flexible} that "
                        f"depend on another slot)")

    # ----- the link: losses where the rule allows them, and every long silence a loss
    losses = [t for t in run.seen("Connection with CommMgr lost") if not in_window(t)]
    link_rows = []
    connected = False
    last_sign = None
    loss_iter = iter(sorted(losses))
    pending = next(loss_iter, None)
    events = sorted(signs + [(end_at, None)], key=lambda e: e[0])
    unexplained = []
    for t, up in events:
        if in_window(t):
            connected, last_sign = False, None
            continue
        # Losses declared before this sign of life arrived.
        while pending is not None and pending <= t + args.late_s:
            ok = (connected and last_sign is not None and
                  last_sign + LINK_LOSS_S - EARLY_S <= pending <=
                  last_sign + LINK_LOSS_S + TICK_S + args.late_s)
            link_rows.append((last_sign, pending, ok))
            if not ok:
                unexplained.append(pending)
            connected = False
            pending = next(loss_iter, None)
        if connected and last_sign is not None and t - last_sign >= LINK_LOSS_S + TICK_S + \
                args.late_s:
            link_rows.append((last_sign, None, False))
            unexplained.append(last_sign)
        if up is None:
            break
        if up:
            connected = True
        last_sign = t
    while pending is not None:
        unexplained.append(pending)
        link_rows.append((None, pending, False))
        pending = next(loss_iter, None)
    if unexplained:
        failures.append(f"link losses not as the six-second rule predicts: {len(unexplained)}")
    longest = 0.0
    previous = None
    for t, _ in sorted(signs):
        if previous is not None and not in_window(t):
            longest = max(longest, t - previous)
        previous = t

    # ----- the hub's checks of the blocks that arrived changed
    inn = [f for f in fates if f["dir"] == "in"]
    checks = collections.Counter(f["check"] for f in inn if "check" in f)
    refused_by_hub = collections.Counter()
    for line in open(f"{run.work}/hub.txt", errors="replace"):
        m = re.match(r"BLOCK .* ok=0 err=(\S+)", line)
        if m:
            refused_by_hub[m.group(1)] += 1
    changed_refused = collections.Counter({k: v for k, v in checks.items() if k != "-"})
    if refused_by_hub != changed_refused:
        failures.append(f"the hub refused {dict(refused_by_hub)}, the changed blocks call for "
                        f"{dict(changed_refused)}")

    # ----- crashes and leaks
    exits = [line.strip() for line in open(args.exits) if "comm=kivfsx" in line]
    relaunches = sum(1 for e in exits if e.endswith("exit=0"))
    for e in exits:
        if e.endswith("exit=0") or e.endswith("signal=15"):
            continue
        if e.endswith("exit=100") and shutdowns > 0:
            continue  # a changed byte made a keep-alive a shutdown order
        failures.append(f"an instance ended unexpectedly: {e}")
    judged = 0
    leak_rows = []
    for pid, s in run.samples.items():
        if len(s) < 2 or s[-1][0] - s[0][0] < 12:
            continue
        judged += 1
        first, last = s[0], s[-1]
        leak_rows.append((pid, first, last))
        if last[1] > first[1] or last[2] > first[2]:
            failures.append(f"instance {pid}: descriptors {first[1]}->{last[1]}, threads "
                            f"{first[2]}->{last[2]}")
        if last[3] - first[3] > RSS_BOUND_KIB or last[4] - first[4] > RSS_BOUND_KIB:
            failures.append(f"instance {pid}: memory grew {first[3]}->{last[3]} KiB")
    if judged == 0:
        failures.append("no instance ran long enough to be judged for leaks: "
                        + str({p: [round(x[0] - steady_at, 1) for x in s] for p, s in run.samples.items()}))

    # ----- the table
    def kind_total(direction, fate=None, cls=None, typ=None):
        return sum(n for k, n in counts.items()
                   if isinstance(k, tuple) and k[0] == direction and
                   (fate is None or k[2] == fate) and (cls is None or k[1][0] == cls) and
                   (typ is None or k[1][1] == typ))
    in_total = len({f["id"] for f in inn})
    in_lost = sum(1 for f in inn if f["fate"] == "lost")
    in_copies = sum(1 for f in inn if f["fate"] == "delivered")
    in_changed = sum(1 for f in inn if f["fate"] == "delivered" and f["corrupt"] != "-")
    rows = [
        ("seed, length", f"{args.seed}, {args.seconds} s ({args.faults})"),
        ("hub to KivFSX: datagrams, lost, copies that arrived, changed",
         f"{len({f['id'] for f in out})}, {sum(1 for f in out if f['fate'] == 'lost')}, "
         f"{len(sent)}, {counts['out corrupted']}"),
        ("KivFSX to hub: datagrams, lost, copies that arrived, changed",
         f"{in_total}, {in_lost}, {in_copies}, {in_changed}"),
        ("variable changes: sent, lost, duplicated",
         f"{changes_sent}, {lost_changes}, {dup_changes}"),
        ("applied as arrived (values checked, left out around relaunches)",
         f"{sum(expected.values())} applications of {len(expected)} values: "
         f"{'all as arrived' if not wrong else f'{len(wrong)} wrong'}; {len(excluded)} left out"),
        ("KivFSX's refusals of changed datagrams (observed; predicted)",
         f"{dict(observed) or 'none'}; {dict(refusals_expected) or 'none'} "
         f"(+{flexible} open)"),
        ("hub's refusals of changed blocks (by reason)",
         f"{dict(refused_by_hub) or 'none'}; changed but accepted: {checks.get('-', 0)}"),
        ("longest silence between signs of life that arrived", f"{longest:.1f} s"),
        ("hub silences (pause)", ", ".join(f"{b - a:.1f} s" for a, b in pauses) or "none"),
        ("link losses (observed)", f"{len(losses)}"),
    ]
    for start, loss, ok in link_rows:
        if start is None:
            rows.append(("  loss", f"at {loss - steady_at:.1f} s with no silence before it"))
        elif loss is None:
            rows.append(("  silence without loss", f"from {start - steady_at:.1f} s"))
        else:
            rows.append((f"  loss at {loss - steady_at:.1f} s",
                         f"{loss - start:.1f} s after the last sign of life; rule: "
                         f"{LINK_LOSS_S:.0f} to {LINK_LOSS_S + TICK_S:.0f} s, seen up to "
                         f"{args.late_s:.1f} s late "
                         f"({'as predicted' if ok else 'NOT as predicted'})"))
    rows.append(("relaunches (a changed version asks for one), shutdowns predicted",
                 f"{relaunches}, {shutdowns}"))
    for a, b in windows:
        cause = [line for t, line in run.lines if a <= t <= a + 4.5 and "Invalid" in line]
        rows.append((f"  relaunch at {a + 4.0 - steady_at:.1f} s",
                     f"{cause[-1] if cause else 'no refusal line seen'}; linked again "
                     f"{b - 1.0 - (a + 4.0):.1f} s later"))
    for pid, first, last in leak_rows:
        rows.append((f"instance {pid} over {last[0] - first[0]:.0f} s: fds, threads, RSS, anon KiB",
                     f"{first[1]}->{last[1]}, {first[2]}->{last[2]}, {first[3]}->{last[3]}, "
                     f"{first[4]}->{last[4]}"))
    if args.markdown:
        print("| figure | value |\n|---|---|")
        for k, v in rows:
            print(f"| {k} | {v} |")
    else:
        for k, v in rows:
            print(f"  {k:<64} {v}")
    return failures


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--exits", required=True)
    p.add_argument("--seconds", type=int, default=30)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--faults", default="loss=20,dup=5,reorder=10,corrupt=1,delay=0-20")
    p.add_argument("--pause-s", type=float, default=8.0)
    p.add_argument("--late-s", type=float, default=0.6,
                   help="how late a link loss may be seen after the rule's latest time")
    p.add_argument("--markdown", action="store_true")
    args = p.parse_args()

    work = tempfile.mkdtemp(prefix="kiv-faults-")
    os.makedirs(f"{work}/winsxs/{STORE}")
    shutil.copy(os.environ["KIV_STANDIN"], f"{work}/winsxs/{STORE}/SimConnect.dll")
    env = dict(os.environ, KIVFSX_WINSXS=f"{work}/winsxs", KIVSIM_JOURNAL=f"{work}/journal.txt",
               KIVSIM_CONTROL=f"{work}/control.txt", KIVSIM_FRAME_HZ="10")
    open(f"{work}/control.txt", "w").close()
    run = Run(work)
    hub = subprocess.Popen(
        [os.environ["KIV_COMMGR"], "--address", "10.77.0.3", "--record", f"{work}/hub.txt",
         "--summary-ms", "0", "--quiet", "--faults", args.faults, "--fault-seed", str(args.seed),
         "--fault-log", f"{work}/faults.txt"],
        stdin=subprocess.PIPE, stdout=open(f"{work}/hub-out.txt", "w"), stderr=subprocess.STDOUT,
        cwd=work, env=env)
    # KivFSX is left to the namespace's first process, which reaps it and every instance it
    # relaunches the same way and writes down how each ended; it is followed through /proc.
    subprocess.run(["sh", "-c", '"$0" >> console.txt 2>&1 < /dev/null &', os.environ["KIV_BIN"]],
                   cwd=work, env=env, check=True)

    def hub_says(line):
        hub.stdin.write((line + "\n").encode())
        hub.stdin.flush()

    failures = []
    steady_at = None
    deadline = now() + 60
    while now() < deadline and steady_at is None:
        run.poll()
        if run.seen("Connected to Simulator") and run.seen("   Port: "):
            steady_at = now()
        time.sleep(0.1)
    if steady_at is None:
        failures.append("KivFSX never linked up with its simulator and the hub within 60 s")
        steady_at = now()
    end_at = steady_at + args.seconds
    pause_at = steady_at + args.seconds / 3 if args.pause_s > 0 else None
    pauses = []
    seq = 0
    next_change = now()
    next_sample = now() + 2

    def maybe_sample(t):
        # Each instance from 10 s after it appeared: past a relaunched one's pause and
        # start-up, when its threads and files are all there.
        nonlocal next_sample
        if t >= next_sample:
            for pid in instances():
                if t - run.instances.get(pid, t) >= 10:
                    run.sample(pid)
            next_sample = t + 3

    rng = args.seed
    while now() < end_at:
        run.poll()
        t = now()
        if t >= next_change and t < end_at - 2:
            seq += 1
            hub_says(f"set {CHANGE_INDEX}={1000000 + 1000 * seq}")
            rng = (rng * 1103515245 + 12345) % 2147483648
            next_change = t + 0.2 + (rng >> 16) % 400 / 1000
        if pause_at is not None and t >= pause_at:
            hub_says("pause")
            pause_start = now()
            while now() < pause_start + args.pause_s:
                run.poll()
                maybe_sample(now())
                time.sleep(0.1)
            hub_says("resume")
            pauses.append((pause_start, now()))
            pause_at = None
        maybe_sample(t)
        time.sleep(0.1)
    for pid in instances():
        if now() - run.instances.get(pid, now()) >= 10:
            run.sample(pid)
    time.sleep(1.5)  # the last changes reach the journal
    run.poll()
    for pid in instances():
        os.kill(pid, signal.SIGTERM)
    try:
        hub_says("quit")
        hub.wait(10)
    except (OSError, subprocess.TimeoutExpired):
        hub.kill()
    time.sleep(0.5)
    run.poll()
    failures += analyse(args, run, steady_at, pauses, end_at)
    for f in failures:
        print(f"fault soak: FAILED: {f}")
    if failures:
        print(f"fault soak: files kept in {work}")
        return 1
    print("fault soak: passed")
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
