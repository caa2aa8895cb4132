#!/usr/bin/env python3
"""Two real portals exchange mail for a fixed count while bad peers call.

Runs inside a user and network namespace of its own (soak.sh starts it with
`unshare -rn`), under a virtual display. Station B runs in that namespace and
is reached by the bad peers over its loopback; station A runs in a nested
namespace joined to it by a veth pair. Both listen on their fixed port.

    portal_soak.py PORTAL_BINARY COUNT WORK_FOLDER [SEED]

Transfers of random sizes go both ways, each started as the operator starts
one ("Send Packet Mail  Message" through its mnemonic); chats and faults are
interleaved. At the end: every completed transfer is byte-identical, no part
file is left, nothing was written outside the receive folders, both portals
run and listen, and their resident memory grew at most 10 % from the sample
after the first tenth of the transfers. Exit 0 when all holds, 1 otherwise.
"""

import functools
import hashlib
import os
import random
import socket
import struct
import subprocess
import sys
import time

import soaklib
from soaklib import fail, failures, note, xdotool

PORT = 23
ADDR_A = "10.77.23.1"  # inside the nested namespace
ADDR_B = "10.77.23.2"  # this namespace's end of the veth pair
MAX_SIZE = 5 * 1024 * 1024
RSS_GROWTH_LIMIT = 0.10


def run(*args, check=True):
    return subprocess.run(args, check=check, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True).stdout


wait_for = functools.partial(soaklib.wait_for, step=0.02)


class Station:
    def __init__(self, name, work, binary):
        self.name = name
        self.root = os.path.join(work, name)
        self.home = os.path.join(self.root, "home")
        self.outbox = os.path.join(self.home, "mail send")
        self.inbox = os.path.join(self.home, "mail Receive")
        self.incoming = os.path.join(self.inbox, ".incoming")
        self.program = os.path.join(self.root, "program")
        for folder in (self.outbox, self.inbox, self.program):
            os.makedirs(folder, exist_ok=True)
        self.binary = soaklib.copy_program(binary, self.program, "tavrixportal")
        self.proc = None
        self.window = None
        self.address = None
        self.peer_address = None

    def start(self, nested_namespace):
        env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                   QT_QPA_PLATFORM="xcb")
        # The sound library keeps its runtime files there, not in the home.
        env["XDG_RUNTIME_DIR"] = os.path.join(self.root, "runtime")
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        command = [self.binary]
        if nested_namespace:
            # unshare execs the program: its process id is the portal's.
            command = ["unshare", "-n", "--"] + command
        self.log = open(os.path.join(self.root, "portal.log"), "wb")
        self.proc = subprocess.Popen(command, env=env, cwd=self.root, stdout=self.log, stderr=subprocess.STDOUT)

    @property
    def pid(self):
        return self.proc.pid

    def alive(self):
        if self.proc.poll() is not None:
            return False
        try:
            with open("/proc/%d/status" % self.pid) as status:
                return not any(line.startswith("State:") and "Z" in line.split()[1] for line in status)
        except OSError:
            return False

    def rss_kib(self):
        return soaklib.rss_kib(self.pid)

    def sockets(self):
        """(state, local port, remote port) of every TCP socket in the portal's namespace."""
        found = []
        for table in ("tcp", "tcp6"):
            try:
                with open("/proc/%d/net/%s" % (self.pid, table)) as lines:
                    next(lines)
                    for line in lines:
                        fields = line.split()
                        local, remote, state = fields[1], fields[2], fields[3]
                        found.append((state, int(local.split(":")[1], 16), int(remote.split(":")[1], 16)))
            except OSError:
                pass
        return found

    def listening(self):
        return any(state == "0A" and local == PORT for state, local, _ in self.sockets())

    def connections(self):
        # Established, opening, or closed by the peer but not yet here.
        return [s for s in self.sockets() if s[0] in ("01", "02", "03", "08") and PORT in (s[1], s[2])]

    def parts(self):
        return os.listdir(self.incoming) if os.path.isdir(self.incoming) else []

    def finals(self):
        return sorted(name for name in os.listdir(self.inbox) if name != ".incoming")


def find_window(station):
    def found():
        shown = soaklib.visible_windows(station.pid, "^telnet server$")
        station.window = shown[0] if shown else None
        return bool(station.window)
    return wait_for(30, found, step=0.2)


def focus(station):
    xdotool("windowfocus", "--sync", station.window)


def keys(station, *names):
    soaklib.keys(station.window, 30, *names)


def type_text(station, text):
    focus(station)
    xdotool("type", "--delay", "10", text)


def link_namespaces(a):
    run("ip", "link", "set", "lo", "up")
    run("ip", "link", "add", "tvxsoak-b", "type", "veth", "peer", "name", "tvxsoak-a", "netns", str(a.pid))
    run("ip", "addr", "add", ADDR_B + "/24", "dev", "tvxsoak-b")
    run("ip", "link", "set", "tvxsoak-b", "up")
    inside = ["nsenter", "--net=/proc/%d/ns/net" % a.pid, "--"]
    run(*inside, "ip", "link", "set", "lo", "up")
    run(*inside, "ip", "addr", "add", ADDR_A + "/24", "dev", "tvxsoak-a")
    run(*inside, "ip", "link", "set", "tvxsoak-a", "up")


def snapshot(stations):
    """Every file and folder under the homes and program folders but the mail folders."""
    seen = {}
    for station in stations:
        for top in (station.home, station.program):
            for folder, dirs, files in os.walk(top):
                if folder in (station.inbox, station.outbox):
                    dirs[:] = []
                    continue
                dirs[:] = [d for d in dirs if os.path.join(folder, d) not in (station.inbox, station.outbox)]
                for name in dirs + files:
                    path = os.path.join(folder, name)
                    info = os.lstat(path)
                    seen[path] = (info.st_size, info.st_mtime_ns, info.st_ino)
    return seen


def content(rng, size):
    """Random bytes ending in CR LF, as every message file does."""
    if size == 0:
        return b""
    if size < 2:
        return b"\n"
    return rng.randbytes(size - 2) + b"\r\n"


def pick_size(rng):
    roll = rng.random()
    if roll < 0.03:
        return 0
    if roll < 0.15:
        return rng.randint(1, 4096)
    return rng.randint(4097, MAX_SIZE)


class Soak:
    def __init__(self, binary, count, work, seed):
        self.count = count
        self.rng = random.Random(seed)
        self.a = Station("a", work, binary)
        self.b = Station("b", work, binary)
        self.stations = (self.a, self.b)
        self.done = {"a": 0, "b": 0}
        self.bytes = {"a": 0, "b": 0}
        self.refused_empty = 0
        self.failed_transfers = 0
        self.faults = {}
        self.chats = 0
        self.rss = []
        self.serial = 0

    def name(self, kind):
        self.serial += 1
        stamp = time.strftime("%H-%M-%S--%m-%d-%y")
        if kind == "mail":
            return "MAIL - SOAK%05d--%s.dat" % (self.serial, stamp)
        return "FILE - soak%05d.bin" % self.serial

    def quiet(self):
        return not self.a.connections() and not self.b.connections() and self.a.listening() and self.b.listening()

    def boxes(self, what):
        """A message box waits for the operator: the soak counts it a failure and answers it."""
        for station in self.stations:
            for window in soaklib.visible_windows(station.pid):
                if window != station.window:
                    fail("%s: a message box came up on %s: \"%s\"" % (what, station.name, xdotool("getwindowname", window)))
                    xdotool("windowfocus", "--sync", window)
                    xdotool("key", "Return")

    def settle(self, what, seconds=20):
        self.boxes(what)
        if not wait_for(seconds, self.quiet):
            fail("%s: the portals did not return to listening with no connection (A %s, B %s)"
                 % (what, self.a.connections(), self.b.connections()))
            return False
        return True

    def check_no_parts(self, what):
        for station in self.stations:
            if not wait_for(5, lambda: not station.parts()):
                fail("%s: part files left in %s: %s" % (what, station.incoming, station.parts()))

    def transfer(self, sender, receiver, size=None):
        if size is None:
            size = pick_size(self.rng)
        name = self.name("mail" if self.rng.random() < 0.8 else "file")
        data = content(self.rng, size)
        digest = hashlib.sha256(data).digest()
        path = os.path.join(sender.outbox, name)
        with open(path, "wb") as f:
            f.write(data)
        keys(sender, "alt+s")
        final = os.path.join(receiver.inbox, name)
        what = "transfer %s %s->%s of %d bytes" % (name, sender.name, receiver.name, size)
        if size == 0:
            # The portal sends no empty file: nothing may arrive.
            time.sleep(0.3)
            self.settle(what)
            if os.path.exists(final):
                fail(what + ": an empty outbox file was sent")
            else:
                self.refused_empty += 1
            os.remove(path)
            return
        limit = 30 + size / (1024 * 1024)
        if not wait_for(limit, lambda: os.path.exists(final) and os.path.getsize(final) == size):
            fail(what + ": did not arrive within %.0f s (present: %s)" % (limit, os.path.exists(final)))
            self.failed_transfers += 1
        self.settle(what)
        if os.path.exists(final):
            with open(final, "rb") as f:
                if hashlib.sha256(f.read()).digest() != digest:
                    fail(what + ": the received file differs from what was sent")
                    self.failed_transfers += 1
                else:
                    self.done[sender.name] += 1
                    self.bytes[sender.name] += size
            # The operator takes the mail away; the soak would otherwise fill the disk.
            os.remove(final)
        os.remove(path)
        self.check_no_parts(what)

    def chat(self, caller, callee):
        what = "chat from %s to %s" % (caller.name, callee.name)
        keys(caller, "alt+h")
        if not wait_for(10, lambda: caller.connections() and callee.connections()):
            fail(what + ": no connection")
            self.settle(what)
            return
        for speaker, text in ((caller, "soak chat %d from %s" % (self.chats, caller.name)),
                              (callee, "answer %d from %s" % (self.chats, callee.name)),
                              (caller, "bye %d" % self.chats)):
            type_text(speaker, text)
            keys(speaker, "Return")
            time.sleep(0.05)
        keys(caller, "alt+n")
        if self.settle(what):
            self.chats += 1

    # ---- faults: raw peers on the receiving side's address ----------------

    def peer(self, target):
        address = "127.0.0.1" if target is self.b else ADDR_A
        return socket.create_connection((address, PORT), timeout=10)

    def count_fault(self, kind):
        self.faults[kind] = self.faults.get(kind, 0) + 1

    def fault_reset(self, target):
        name = self.name("mail")
        what = "peer reset mid-transfer of %s to %s" % (name, target.name)
        s = self.peer(target)
        s.sendall(b"MAIL:" + name.encode() + b"\r\n")
        s.sendall(self.rng.randbytes(self.rng.randint(1, 1024 * 1024)))
        wait_for(5, lambda: target.parts())
        s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        s.close()
        self.settle(what)
        if os.path.exists(os.path.join(target.inbox, name)):
            fail(what + ": the broken transfer stands under its final name")
        self.check_no_parts(what)
        self.count_fault("reset")

    def fault_stall(self, target, sender):
        """A peer that stalls mid-transfer while a station's own send waits behind it."""
        name = self.name("mail")
        what = "peer stalling in %s to %s" % (name, target.name)
        data = content(self.rng, self.rng.randint(10000, 2 * 1024 * 1024))
        s = self.peer(target)
        s.sendall(b"MAIL:" + name.encode() + b"\r\n" + data[: len(data) // 2])
        wait_for(5, lambda: target.parts())
        # The other station's mail waits until the stalled peer is done.
        queued = self.name("mail")
        queued_data = content(self.rng, self.rng.randint(1, 100000))
        with open(os.path.join(sender.outbox, queued), "wb") as f:
            f.write(queued_data)
        keys(sender, "alt+s")
        time.sleep(self.stall_seconds)
        if os.path.exists(os.path.join(target.inbox, queued)):
            fail(what + ": a second transfer was taken while the first was open")
        s.sendall(data[len(data) // 2:])
        s.shutdown(socket.SHUT_WR)
        s.settimeout(10)
        try:
            while s.recv(65536):
                pass
        except OSError:
            pass
        s.close()
        for got, expected in ((name, data), (queued, queued_data)):
            final = os.path.join(target.inbox, got)
            if not wait_for(15, lambda: os.path.exists(final) and os.path.getsize(final) == len(expected)):
                fail(what + ": %s did not arrive whole" % got)
                continue
            with open(final, "rb") as f:
                if f.read() != expected:
                    fail(what + ": %s differs from what was sent" % got)
            os.remove(final)
        os.remove(os.path.join(sender.outbox, queued))
        self.settle(what)
        self.check_no_parts(what)
        self.count_fault("stall")

    def fault_garbage(self, target):
        what = "garbage peer on %s" % target.name
        before = target.finals()
        s = self.peer(target)
        kind = self.rng.randrange(3)
        try:
            if kind == 0:    # no line end at all: past the line bound
                s.sendall(self.rng.randbytes(200 * 1024).replace(b"\r\n", b"xx"))
            elif kind == 1:  # a header whose name climbs out of the folder
                s.sendall(b"MAIL:../" + b"SOAK-ESCAPE.dat\r\n" + self.rng.randbytes(5000))
            else:            # random lines, then a clean close
                s.sendall(b"\r\n".join(self.rng.randbytes(self.rng.randint(0, 300)) for _ in range(200)))
            s.shutdown(socket.SHUT_WR)
            s.settimeout(10)
            while s.recv(65536):
                pass
        except OSError:
            pass  # the portal may reset a peer it refuses
        s.close()
        self.settle(what)
        after = target.finals()
        if after != before:
            fail(what + ": the receive folder changed: %s" % sorted(set(after) - set(before)))
        self.check_no_parts(what)
        self.count_fault("garbage")

    # ---- the run ------------------------------------------------------------

    def sample(self, label):
        figures = (label, self.a.rss_kib(), self.b.rss_kib())
        self.rss.append(figures)
        note("RSS %s: A %d KiB, B %d KiB" % figures)

    def run(self):
        started = time.monotonic()
        self.a.start(nested_namespace=True)
        # Files made by the program before it can listen are not the soak's to judge.
        if not wait_for(10, lambda: os.path.exists("/proc/%d/ns/net" % self.a.pid)):
            fail("station A did not start")
            return
        link_namespaces(self.a)
        self.b.start(nested_namespace=False)
        for station in self.stations:
            if not find_window(station):
                fail("station %s shows no window" % station.name)
                return
        if not wait_for(15, lambda: self.a.listening() and self.b.listening()):
            fail("the portals do not listen on port %d" % PORT)
            return
        time.sleep(1.0)
        before = snapshot(self.stations)
        # A fresh window's focus is on the station entry, the first control:
        # four steps on is the address box, seven steps back (round the end)
        # the chat line, where the focus then stays. The buttons are pressed
        # through their mnemonics, which leave the focus where it is.
        self.a.peer_address, self.b.peer_address = ADDR_B, ADDR_A
        for station in self.stations:
            keys(station, *["Tab"] * 4)
            type_text(station, station.peer_address)
            keys(station, *["shift+Tab"] * 11)
        note("station A pid %d in its own namespace at %s, station B pid %d at %s and 127.0.0.1"
             % (self.a.pid, ADDR_A, self.b.pid, ADDR_B))

        tenth = max(1, self.count // 10)
        faults = ("reset", "stall", "garbage")
        for i in range(self.count):
            sender, receiver = (self.a, self.b) if i % 2 == 0 else (self.b, self.a)
            # The first transfer each way is of the largest size, so the
            # memory sample after the first tenth already holds the buffers
            # such a transfer needs and only growth after it counts.
            self.transfer(sender, receiver, MAX_SIZE if i < 2 else None)
            if i % 7 == 3:
                self.chat(sender, receiver)
            if i % 5 == 2:
                target = self.rng.choice(self.stations)
                other = self.a if target is self.b else self.b
                kind = faults[(i // 5) % len(faults)]
                if kind == "reset":
                    self.fault_reset(target)
                elif kind == "stall":
                    self.fault_stall(target, other)
                else:
                    self.fault_garbage(target)
            if (i + 1) % tenth == 0:
                self.sample("after %d transfers" % (i + 1))
            if not (self.a.alive() and self.b.alive()):
                fail("a portal ended during the soak (A alive %s, B alive %s)" % (self.a.alive(), self.b.alive()))
                break
            if len(failures) > 20:
                fail("too many failures; the soak stops early")
                break

        time.sleep(1.0)
        after = snapshot(self.stations)
        changed = sorted(p for p in set(before) | set(after) if before.get(p) != after.get(p))
        for path in changed:
            if path in [os.path.join(station.program, "transferlog.csv") for station in self.stations]:
                note("the portal's own transfer log changed, as it should: %s" % path)
            else:
                fail("written outside the receive folders: %s" % path)
        for station in self.stations:
            if not station.alive():
                fail("station %s is not running at the end" % station.name)
            elif not station.listening():
                fail("station %s is not listening at the end" % station.name)
            if station.parts():
                fail("station %s has part files at the end: %s" % (station.name, station.parts()))
            if station.finals():
                fail("station %s keeps files nobody sent in order: %s" % (station.name, station.finals()))
        if self.rss and all(station.alive() for station in self.stations):
            self.sample("at the end")
            first = self.rss[0]
            last = self.rss[-1]
            for index, station in ((1, "A"), (2, "B")):
                growth = (last[index] - first[index]) / first[index]
                note("RSS growth of %s from %s to the end: %+.1f %%" % (station, first[0], growth * 100))
                if growth > RSS_GROWTH_LIMIT:
                    fail("station %s grew from %d KiB to %d KiB" % (station, first[index], last[index]))

        elapsed = time.monotonic() - started
        print("== portal soak figures ==")
        print("transfers asked:        %d" % self.count)
        print("completed A->B:         %d (%d bytes)" % (self.done["a"], self.bytes["a"]))
        print("completed B->A:         %d (%d bytes)" % (self.done["b"], self.bytes["b"]))
        print("empty files refused:    %d" % self.refused_empty)
        print("transfers failed:       %d" % self.failed_transfers)
        print("chats:                  %d" % self.chats)
        print("faults injected:        %s" % ", ".join("%s %d" % kv for kv in sorted(self.faults.items())))
        print("RSS samples (KiB):      %s" % "; ".join("%s A %d B %d" % s for s in self.rss))
        print("time:                   %.1f s" % elapsed)
        print("failures:               %d" % len(failures), flush=True)

    def stop(self):
        for station in self.stations:
            soaklib.stop(station.proc)


def main():
    if len(sys.argv) < 4:
        print(__doc__)
        return 2
    binary, count, work = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    seed = int(sys.argv[4]) if len(sys.argv) > 4 else int(time.time())
    note("portal soak: %d transfers, seed %d" % (count, seed))
    soak = Soak(binary, count, work, seed)
    soak.stall_seconds = float(os.environ.get("SOAK_STALL_SECONDS", "2"))
    try:
        soak.run()
    except Exception as error:  # a driver fault is a failed soak, with the portals still stopped
        fail("the soak driver stopped: %r" % (error,))
        raise
    finally:
        soak.stop()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
