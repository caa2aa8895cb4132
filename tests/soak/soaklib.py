"""What both soak drivers need: their failure list and reports, waiting,
driving the virtual display through xdotool, and the programs' processes."""

import os
import subprocess
import time

failures = []


def fail(what):
    failures.append(what)
    print("FAIL: " + what, flush=True)
    shots = os.environ.get("SOAK_SHOTS")
    if shots:  # a picture of the display at each failure, for a person to look at
        subprocess.run(["import", "-window", "root", os.path.join(shots, "failure-%d.png" % len(failures))],
                       stderr=subprocess.DEVNULL)


def note(what):
    print("-- " + what, flush=True)


def wait_for(seconds, predicate, step):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def xdotool(*args):
    # Its complaints go aside: they would read as window ids or names.
    return subprocess.run(("xdotool",) + args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True).stdout.strip()


def visible_windows(pid, name="."):
    return xdotool("search", "--all", "--onlyvisible", "--pid", str(pid), "--name", name).split()


def geometry(window):
    """WIDTH, HEIGHT, X, Y of a window, as numbers in text."""
    return dict(line.split("=") for line in xdotool("getwindowgeometry", "--shell", window).split())


def keys(window, delay, *names):
    xdotool("windowfocus", "--sync", window)
    xdotool("key", "--delay", str(delay), *names)


def copy_program(binary, folder, name):
    """The program runs from a folder of its own: its settings lie beside it."""
    path = os.path.join(folder, name)
    with open(binary, "rb") as source, open(path, "wb") as copy:
        copy.write(source.read())
    os.chmod(path, 0o755)
    return path


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def stop(proc):
    if proc and proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
