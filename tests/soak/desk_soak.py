#!/usr/bin/env python3
"""The desk's receive-folder monitor under a crowded folder that keeps changing.

    desk_soak.py TAVRIXDESK PRESENT ROUNDS WORK_FOLDER [SEED]

Runs under a virtual display. The receive folder holds PRESENT files from the
start; the desk is entered as an operator enters it, which starts its monitor.
Each round some files go and as many new ones come (churn), the notice is
cleared through the received list, then files only go (no arrival may be
announced), then one file comes (its arrival must be announced). The arrival
notice is the main menu's red warning line, read from the window's pixels.
Resident memory at the end may be at most 10 % above the sample taken after
the first tenth of the rounds. Exit 0 when all holds, 1 otherwise.
"""

import ctypes
import functools
import os
import random
import subprocess
import sys
import time

import soaklib
from soaklib import fail, failures, note, xdotool

RSS_GROWTH_LIMIT = 0.10
SCAN_SECONDS = 1.0   # the monitor lists the folder once a second
ARRIVAL_LIMIT = 15.0  # a scan and the paint, with room for a crowded folder on a loaded machine
LIST_LIMIT = 60.0     # a list of ten thousand names takes a while on a loaded machine

wait_for = functools.partial(soaklib.wait_for, step=0.05)


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


class Screen:
    """Reads pixels of a window straight from the X server."""

    def __init__(self):
        self.x = ctypes.cdll.LoadLibrary("libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XGetImage.restype = ctypes.POINTER(XImage)
        self.x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                     ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x.XFree.argtypes = [ctypes.c_void_p]
        # A window that goes away between its search and its reading is no
        # reason to end: Xlib's own handler would end the process.
        handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
        self.on_error = handler(lambda display, event: 0)
        self.x.XSetErrorHandler(self.on_error)
        self.display = self.x.XOpenDisplay(None)
        if not self.display:
            raise RuntimeError("no X display")
        # Bytes of a 32-bit pixel (blue, green, red, pad) mapped to 1 where the channel is strong or weak.
        self.strong = bytes(1 if v >= 200 else 0 for v in range(256))
        self.weak = bytes(1 if v <= 60 else 0 for v in range(256))

    def red_pixels(self, window, height_share=1.0):
        geometry = soaklib.geometry(window)
        width, height = int(geometry["WIDTH"]), int(int(geometry["HEIGHT"]) * height_share)
        image = self.x.XGetImage(self.display, int(window), 0, 0, width, height, 0xFFFFFFFF, 2)
        if not image:
            return -1
        try:
            img = image.contents
            if img.bits_per_pixel != 32:
                raise RuntimeError("a %d-bit display; the soak reads 32-bit pixels" % img.bits_per_pixel)
            data = ctypes.string_at(img.data, img.bytes_per_line * img.height)
        finally:
            self.x.XFree(ctypes.cast(image.contents.data, ctypes.c_void_p))
            self.x.XFree(image)
        red = int.from_bytes(data[2::4].translate(self.strong), "big")
        green = int.from_bytes(data[1::4].translate(self.weak), "big")
        blue = int.from_bytes(data[0::4].translate(self.weak), "big")
        return bin(red & green & blue).count("1")


class Desk:
    def __init__(self, binary, work):
        self.work = work
        self.bin = os.path.join(work, "bin")
        self.receive = os.path.join(work, "receive")
        self.home = os.path.join(work, "home")
        for folder in (self.bin, self.receive, os.path.join(work, "send"), os.path.join(work, "save"),
                       os.path.join(work, "cwd"), self.home):
            os.makedirs(folder, exist_ok=True)
        self.binary = soaklib.copy_program(binary, self.bin, "tavrixdesk")
        # Folder settings lie beside the program folder, joined without a separator.
        for setting, folder in (("receive", "receive"), ("send", "send"), ("save", "save")):
            with open(os.path.join(work, "bin%s.dat" % setting), "wb") as f:
                f.write(os.path.join(work, folder).encode() + b"\r\n")
        # Sound off: no speech engine is needed, and no speech box can come up.
        with open(os.path.join(self.bin, "soundsettings.dat"), "wb") as f:
            f.write(b"0\r\n")
        self.proc = None

    def start(self):
        env = dict(os.environ, HOME=self.home, QT_QPA_PLATFORM="xcb")
        self.log = open(os.path.join(self.work, "desk.log"), "wb")
        self.proc = subprocess.Popen([self.binary], env=env, cwd=os.path.join(self.work, "cwd"),
                                     stdout=self.log, stderr=subprocess.STDOUT)

    def alive(self):
        return self.proc.poll() is None

    def rss_kib(self):
        return soaklib.rss_kib(self.proc.pid)

    def windows(self):
        return soaklib.visible_windows(self.proc.pid)

    def focused(self):
        return xdotool("getwindowfocus")

    def describe(self):
        """The desk's windows as the driver sees them, for a failure's report."""
        parts = []
        focus = self.focused()
        for window in self.windows():
            geometry = soaklib.geometry(window)
            parts.append("%s%s \"%s\" %sx%s" % ("*" if window == focus else "", window,
                                                xdotool("getwindowname", window), geometry["WIDTH"], geometry["HEIGHT"]))
        return "windows: " + (", ".join(parts) or "none") + " (* has the focus)"

    def stop(self):
        soaklib.stop(self.proc)


def mail_record(serial):
    text = "TO: BASE,SUBJECT: SOAK %d,BODY %d,FROM: FIELD" % (serial, serial)
    return ",".join(" ".join(str(b) for b in field.encode()) for field in text.split(",")) .encode() + b"\r\n"


class Soak:
    def __init__(self, binary, present, rounds, work, seed):
        self.desk = Desk(binary, work)
        self.present_target = present
        self.rounds = rounds
        self.rng = random.Random(seed)
        self.serial = 0
        self.present = []
        self.added = self.removed = 0
        self.arrivals_seen = 0
        self.arrivals_missed = 0
        self.false_arrivals = 0
        self.latencies = []
        self.rss = []
        self.screen = Screen()
        self.menu_window = None

    def add(self):
        self.serial += 1
        name = "MAIL - SOAK%06d.txt" % self.serial
        # Made aside and moved in whole, as a portal hands a file over.
        aside = os.path.join(self.desk.work, ".aside")
        with open(aside, "wb") as f:
            f.write(mail_record(self.serial))
        os.rename(aside, os.path.join(self.desk.receive, name))
        self.present.append(name)
        self.added += 1
        return name

    def remove(self):
        name = self.present.pop(self.rng.randrange(len(self.present)))
        os.remove(os.path.join(self.desk.receive, name))
        self.removed += 1

    def menu(self):
        return self.menu_window

    def next_screen(self, leaving, alone=True, seconds=LIST_LIMIT):
        """Waits until a window other than the one being left has the
        keyboard and, when alone, is the only one the desk shows. Screens
        come and go by showing and hiding, so until the old one is gone the
        new one is not yet in front: keys sent earlier would reach the wrong
        screen."""
        def settled():
            focus, shown = self.desk.focused(), self.desk.windows()
            return focus in shown and focus not in leaving and (not alone or len(shown) == 1)
        if not wait_for(seconds, settled):
            return None
        return self.desk.focused()

    def red_in_menu(self):
        menu = self.menu()
        # The warning line stands in the upper part of the menu, above its buttons.
        return self.screen.red_pixels(menu, 0.32) if menu is not None else -1

    def notice_shown(self):
        return self.red_in_menu() > 200

    def keys(self, window, *names):
        soaklib.keys(window, 40, *names)

    def clear_notice(self):
        """Read Inbox shows the list and clears the notice; Exit leads back to the menu."""
        menu = self.menu()
        self.keys(menu, "alt+r")
        # The list opens over the menu, which stays shown behind it.
        listed = self.next_screen({menu}, alone=False)
        if listed is None:
            fail("Read Inbox did not bring up the received list; " + self.desk.describe())
            return False
        self.keys(listed, "alt+x")
        self.menu_window = self.next_screen({listed})
        if self.menu_window is None:
            fail("Exit on the received list did not lead back to the main menu alone; " + self.desk.describe())
            return False
        # The list reloads hidden and takes a new baseline on its first scan.
        time.sleep(SCAN_SECONDS * 1.5)
        if self.notice_shown():
            fail("the arrival notice stayed after Read Inbox")
            return False
        return True

    def sample(self, label):
        self.rss.append((label, self.desk.rss_kib()))
        note("RSS %s: %d KiB" % self.rss[-1])

    def run(self):
        started = time.monotonic()
        for _ in range(self.present_target):
            self.add()
        self.added = 0
        self.desk.start()
        if not wait_for(20, lambda: bool(self.desk.windows())):
            fail("the desk shows no window")
            return
        time.sleep(1)
        entry = self.desk.windows()[0]
        self.keys(entry, "alt+e")
        menu = self.next_screen({entry}, seconds=20)
        if menu is None:
            fail("ENTER did not lead to the main menu; " + self.desk.describe())
            return
        # The menu shows its other buttons once the self-test has run; it
        # ends on the received list, whose Exit leads back to the menu.
        self.keys(menu, "alt+t")
        listed = self.next_screen({menu})
        if listed is None:
            fail("the self-test did not end on the received list; " + self.desk.describe())
            return
        self.keys(listed, "alt+x")
        self.menu_window = self.next_screen({listed})
        if self.menu_window is None:
            fail("Exit on the received list did not lead back to the main menu; " + self.desk.describe())
            return
        time.sleep(SCAN_SECONDS * 2)
        if self.notice_shown():
            fail("an arrival was announced for files present before the start")
            self.clear_notice()
        note("desk pid %d watching %d files" % (self.desk.proc.pid, len(self.present)))
        # For the reader only: the growth is judged from the first tenth on,
        # once the list's first load has settled.
        note("RSS at the start: %d KiB" % self.desk.rss_kib())

        tenth = max(1, self.rounds // 10)
        for round_ in range(self.rounds):
            # Churn: files come and go at once, as a busy station sees them.
            fresh = set()
            for _ in range(self.rng.randint(20, 200)):
                if self.present and self.rng.random() < 0.5:
                    self.remove()
                else:
                    fresh.add(self.add())
            while len(self.present) > self.present_target:
                self.remove()
            while len(self.present) < self.present_target:
                fresh.add(self.add())
            if fresh & set(self.present) and not wait_for(ARRIVAL_LIMIT, self.notice_shown, step=0.1):
                fail("round %d: the churn brought new files but no notice; %s; red pixels %d"
                     % (round_, self.desk.describe(), self.red_in_menu()))
            # A scan may have caught the churn half done: the next one announces the rest.
            time.sleep(SCAN_SECONDS * 2.2)
            if not self.clear_notice():
                break
            # Files that only go are no arrival.
            for _ in range(self.rng.randint(1, 50)):
                if self.present:
                    self.remove()
            time.sleep(SCAN_SECONDS * 2.5)
            if self.notice_shown():
                self.false_arrivals += 1
                fail("round %d: files that went were announced as an arrival" % round_)
                self.clear_notice()
            # One file comes: it must be announced.
            name = self.add()
            came = time.monotonic()
            if wait_for(ARRIVAL_LIMIT, self.notice_shown, step=0.1):
                self.arrivals_seen += 1
                self.latencies.append(time.monotonic() - came)
            else:
                self.arrivals_missed += 1
                fail("round %d: the arrival of %s was not announced within %.0f s" % (round_, name, ARRIVAL_LIMIT))
            if not self.desk.alive():
                fail("the desk ended during the soak")
                break
            if (round_ + 1) % tenth == 0:
                self.sample("after %d rounds" % (round_ + 1))

        if self.desk.alive():
            self.sample("at the end")
            if len(self.rss) > 1:
                first, last = self.rss[0][1], self.rss[-1][1]
                growth = (last - first) / first
                note("RSS growth from %s to the end: %+.1f %%" % (self.rss[0][0], growth * 100))
                if growth > RSS_GROWTH_LIMIT:
                    fail("the desk grew from %d KiB to %d KiB" % (first, last))
        else:
            fail("the desk is not running at the end")
        elapsed = time.monotonic() - started
        print("== desk soak figures ==")
        print("files present:          %d" % len(self.present))
        print("rounds:                 %d" % self.rounds)
        print("files added / removed:  %d / %d" % (self.added, self.removed))
        print("arrivals announced:     %d of %d (missed %d)" % (self.arrivals_seen, self.rounds, self.arrivals_missed))
        print("false arrivals:         %d" % self.false_arrivals)
        if self.latencies:
            print("arrival notice after:   %.2f s on average, %.2f s at most"
                  % (sum(self.latencies) / len(self.latencies), max(self.latencies)))
        print("RSS samples (KiB):      %s" % "; ".join("%s %d" % s for s in self.rss))
        print("time:                   %.1f s" % elapsed)
        print("failures:               %d" % len(failures), flush=True)


def main():
    if len(sys.argv) < 5:
        print(__doc__)
        return 2
    binary, present, rounds, work = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    seed = int(sys.argv[5]) if len(sys.argv) > 5 else int(time.time())
    note("desk soak: %d files present, %d rounds, seed %d" % (present, rounds, seed))
    soak = Soak(binary, present, rounds, work, seed)
    try:
        soak.run()
    except Exception as error:  # a driver fault is a failed soak, with the desk still stopped
        fail("the soak driver stopped: %r" % (error,))
        raise
    finally:
        soak.desk.stop()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
