#!/usr/bin/env python3
"""The real application over the generated library of 100,000 items, driven as a user drives it.

    python3 bench/realapp/realapp.py <Release vesk binary> [options]

Builds nothing. The library comes from the project's own generator (`vesk-generate-library --cached
100000`, looked for in build-bench/ beside this checkout unless --generator or --library names it;
build it with `cmake --build build-bench --target vesk-generate-library`). A first start over a
copy of it makes what a library in use has beside its database (card thumbnails, the saved search
index); every run then starts on a fresh copy of that folder, so a run's captures and deletes
never reach the next one, nor the generator's cache.

Each run starts its own Xvfb and the application under `dbus-run-session`, pinned to two cores
(`taskset -c 0,1`), with every folder it might write to (data, settings, cloud, HOME and the XDG
folders) inside the run's folder: nothing of the user's own data, settings or keyring is touched.
VESK_STARTUP_PROBE and VESK_STALL_TRACE make it write every stretch in which its main thread did
not turn its event loop for longer than --stall-ms ("vesk-stall <wall> ms (<cpu> ms on a core) ...
monotonic <from> to <to> s"); the driver keeps its own times in the same monotonic clock, so each
stall falls to the key or command that caused it. Keys go in through the X server (xdotool), as
a keyboard's do, and only the application's own keyboard commands drive it (no clicks at pixel
coordinates):
  - Control+Alt+V captures the clipboard (put there by `xclip`), Control+Alt+T focuses the search
    field;
  - Return in the search field selects the first result and hands the keyboard to the grid; Down
    and Up move the selection; Control+A selects the 120 most recent items; Delete asks to delete
    the selection, Tab moves from "Cancel" to "Delete" and Space presses it;
  - Escape clears a search (and focuses the field again), or the selection.

The steps of a run, each with a screenshot in the run's folder (look at them: they show whether
the driver did what it says):
  1. 10 MB of text without a line break on the clipboard, captured and left selected. capture_gap:
     the longest stall from the key until the note's first screen shows in the preview;
     capture_screen: from the moment the grid shows the new note to the preview's first screen of
     it (from_key_ms in figures.json counts from the key: the clipboard's transfer and the
     store's write); reselect_screen: from Up (the note selected again, after Down went to the
     next item) to its first screen; after_frame: the longest stall in the 10 s after either
     first screen. typing_with_note: three searches typed and cleared with the note selected,
     the longest stall of one key.
  2. delete_one: one item deleted (Down, Delete, confirmed); delete_120: the 120 most recent
     items, the 10 MB note among them. The recovery snapshot a delete waits for is taken on a
     worker while the main thread is free ("until gone" is that wait, from the confirming key
     until the grid's count changes); the delete's own work is the longest stall from half a
     second before that change until a fifth of a second after it.
  3. typing: a two-word query of frequent words typed one key per 150 ms and erased by
     Backspace, five times: the longest stall of one key.
  5. memory (last run only, --use-minutes): VmRSS (and its private part, RssAnon) as start-up has finished (and 5 s later), then
     after that many minutes of searching, selecting and capturing (a new short note each round),
     after a quiet 3 s; the growth is counted from start-up's end.

What is on screen is read from the X server's pixels every 2 ms, in areas given as fractions of
the window (the preview's text, the grid's first card, the grid's count): the note is on screen
once the preview's area has gained text (dark pixels) over what it showed before the key, and
the pixels seen then are written out beside the screenshots.

Stalls are wall time: on a loaded machine they also hold other processes' turns on the two cores
(the load is printed beside the figures); "cpu" is the main thread's own processor time in them,
and the table gives both the longest stall (with its cpu) and the stall of the most cpu (with its
wall time). With --perf, the main thread is sampled by `perf record --call-graph dwarf` in the
same clock from start-up's end until the memory steps, and the functions under those two stalls
of every figure that misses its goal are printed.

Figures of each run are written to <work>/run-<n>/figures.json; the table gives the median of the
runs and the values of each (--summary prints it again from those files).
"""

import argparse
import ctypes
import json
import os
import random
import re
import resource
import shutil
import signal
import sqlite3
import statistics
import subprocess
import sys
import threading
import time
from collections import Counter
from pathlib import Path

LIBRARY_SIZE = 100_000
KEY_MS = 150
TEXT_CHARACTERS = 10 * 1000 * 1000
STALL_RE = re.compile(
    r"vesk-stall (\d+) ms \(([\d.]+) ms on a core\) at \d+ ms, monotonic ([\d.]+) to ([\d.]+) s")

GOALS = {
    "capture_gap": 50,
    "capture_screen": 100,
    "reselect_screen": 100,
    "after_frame": 16,
    "typing_with_note": 16,
    "delete_one": 5,
    "delete_120": 50,
    "typing": 16,
}


def log(message):
    print(f"[{time.strftime('%H:%M:%S')}] {message}", file=sys.stderr, flush=True)


def loadavg():
    return Path("/proc/loadavg").read_text().split()[0]


def run_quiet(command, **kwargs):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kwargs)


# --- the X server's pixels -------------------------------------------------------------------------

class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int)]


class Pixels:
    """Reads a rectangle of the root window straight from the X server (a few milliseconds)."""

    Z_PIXMAP = 2
    # A byte of a pixel below this is part of text (or another dark mark) on the light theme.
    DARK = bytes(1 if b < 0x70 else 0 for b in range(256))

    def __init__(self, display):
        self.x = ctypes.CDLL("libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XGetImage.restype = ctypes.POINTER(XImage)
        self.x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                     ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
        self.display = self.x.XOpenDisplay(display.encode())
        if not self.display:
            raise RuntimeError(f"cannot open display {display}")
        self.root = self.x.XDefaultRootWindow(self.display)

    def grab(self, rect):
        """The bytes of rect (x, y, w, h)."""
        x, y, w, h = rect
        image = self.x.XGetImage(self.display, self.root, x, y, w, h, 0xFFFFFFFF, self.Z_PIXMAP)
        if not image:
            return b""
        data = ctypes.string_at(image.contents.data, image.contents.bytes_per_line * image.contents.height)
        self.x.XDestroyImage(image)
        return data

    def ink(self, rect):
        """The number of dark bytes in rect."""
        return self.grab(rect).translate(self.DARK).count(1)


# --- the application -------------------------------------------------------------------------------

class App:
    """One start of the application on its own Xvfb, with its stall lines collected."""

    def __init__(self, vesk, root, cores, stall_ms, log_path):
        self.root = root
        for name in ("data", "config", "cloud", "home", "runtime"):
            (root / name).mkdir(parents=True, exist_ok=True)
        (root / "runtime").chmod(0o700)
        self.xvfb = self._start_xvfb()
        self.env = dict(os.environ)
        for name in list(self.env):
            if name.startswith(("VESK_", "QT_", "DBUS_", "XDG_", "WAYLAND")):
                del self.env[name]
        home = root / "home"
        self.env.update({
            "DISPLAY": self.display, "QT_QPA_PLATFORM": "xcb", "HOME": str(home),
            "XDG_DATA_HOME": str(home / "share"), "XDG_CONFIG_HOME": str(home / "config"),
            "XDG_CACHE_HOME": str(home / "cache"), "XDG_RUNTIME_DIR": str(root / "runtime"),
            "VESK_DATA_DIR": str(root / "data"), "VESK_CONFIG_DIR": str(root / "config"),
            "VESK_CLOUD_DIR": str(root / "cloud"), "VESK_STARTUP_PROBE": "1", "VESK_STALL_TRACE": "1",
            "VESK_STALL_TRACE_MS": str(stall_ms),
        })
        self.lines = []  # (monotonic time read, line)
        self.stalls = []  # (start, end, wall ms, cpu ms)
        self.log = open(log_path, "w")
        self.started = time.monotonic()
        self.process = subprocess.Popen(
            ["taskset", "-c", cores, "dbus-run-session", "--", vesk], env=self.env, cwd=root,
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, start_new_session=True,
            preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_CORE, (resource.RLIM_INFINITY,) * 2))
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        self.pid = self._find_pid(Path(vesk).resolve())
        self.pixels = Pixels(self.display)
        self.window = None

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1600x1000x24",
                                 "-nolisten", "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        return xvfb

    def _read(self):
        for line in self.process.stderr:
            now = time.monotonic()
            self.log.write(f"{now:.3f} {line}")
            self.log.flush()
            match = STALL_RE.search(line)
            if match:
                self.stalls.append((float(match[3]), float(match[4]), int(match[1]), float(match[2])))
            self.lines.append((now, line.strip()))

    def _find_pid(self, exe):
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            for entry in Path("/proc").iterdir():
                if not entry.name.isdigit():
                    continue
                try:
                    if Path(entry, "exe").resolve() == exe and \
                            Path(entry, "environ").read_bytes().find(
                                f"VESK_DATA_DIR={self.root / 'data'}\0".encode()) >= 0:
                        return int(entry.name)
                except OSError:
                    continue
            time.sleep(0.05)
        raise RuntimeError("the application did not start")

    def wait_for(self, text, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for when, line in self.lines:
                if text in line:
                    return when
            if self.process.poll() is not None:
                raise RuntimeError(f"the application ended ({self.process.returncode}) before '{text}'")
            time.sleep(0.02)
        raise RuntimeError(f"no '{text}' within {timeout} s")

    def ended(self):
        """How the application ended, or None while it runs (a crash leaves its core in the run's folder)."""
        if self.process.poll() is None:
            return None
        code = self.process.returncode
        return f"the application ended with {code}" + (" (a crash?)" if code >= 128 or code < 0 else "")

    def rss_mb(self, field="VmRSS"):
        for line in Path(f"/proc/{self.pid}/status").read_text().splitlines():
            if line.startswith(field + ":"):
                return int(line.split()[1]) / 1024
        return 0.0

    def rss_anon_mb(self):
        # The heap and other private memory, without the pages of mapped files (libraries, fonts),
        # which the system may drop and read again at any time.
        return self.rss_mb("RssAnon")

    def xdotool(self, *arguments):
        return run_quiet(["xdotool", *arguments], env=self.env)

    def find_window(self):
        found = self.xdotool("search", "--sync", "--onlyvisible", "--name", "^Vesk$").stdout.split()
        best = None
        for wid in found:
            shell = self.xdotool("getwindowgeometry", "--shell", wid).stdout
            geometry = dict(line.split("=") for line in shell.split() if "=" in line)
            size = int(geometry["WIDTH"]) * int(geometry["HEIGHT"])
            if best is None or size > best[0]:
                best = (size, wid, geometry)
        _, self.window, geometry = best
        self.geometry = {k: int(geometry[k]) for k in ("X", "Y", "WIDTH", "HEIGHT")}
        self.xdotool("windowfocus", "--sync", self.window)

    def preview_rect(self):
        """The preview pane's text area: the right part of the window below the header."""
        g = self.geometry
        return (g["X"] + int(g["WIDTH"] * 0.765), g["Y"] + int(g["HEIGHT"] * 0.30),
                int(g["WIDTH"] * 0.20), int(g["HEIGHT"] * 0.62))

    def first_card_rect(self):
        """The grid's first card: it changes when a new item comes in at the top."""
        g = self.geometry
        return (g["X"] + int(g["WIDTH"] * 0.02), g["Y"] + int(g["HEIGHT"] * 0.26),
                int(g["WIDTH"] * 0.12), int(g["HEIGHT"] * 0.20))

    def count_rect(self):
        """The grid's "<n> total" above its top right corner: it changes when a delete is published."""
        g = self.geometry
        return (g["X"] + int(g["WIDTH"] * 0.60), g["Y"] + int(g["HEIGHT"] * 0.125),
                int(g["WIDTH"] * 0.135), int(g["HEIGHT"] * 0.04))

    def refocus(self):
        """The keyboard back to the main window once a dialog has gone, as a window manager gives it."""
        self.xdotool("windowfocus", "--sync", self.window)

    def key(self, *keys):
        """Presses keys one after another; returns the monotonic time just before."""
        before = time.monotonic()
        self.xdotool("key", "--delay", "0", *keys)
        return before

    def screenshot(self, path):
        run_quiet(["import", "-window", "root", str(path)], env=self.env)

    def stalls_between(self, start, end):
        return [s for s in self.stalls if start <= s[0] < end]

    def stop(self):
        if self.process.poll() is None:
            os.kill(self.pid, signal.SIGTERM)
            try:
                self.process.wait(60)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
        self.reader.join(5)
        self.xvfb.terminate()
        self.xvfb.wait()
        self.log.close()


def longest(stalls):
    """The longest stall in wall time and the one with the most processor time, as
    {"ms", "cpu_ms", "stall", "cpu_max_ms", "cpu_max_wall_ms"}; zeros when there is none."""
    if not stalls:
        return {"ms": 0, "cpu_ms": 0.0, "stall": None, "cpu_max_ms": 0.0, "cpu_max_wall_ms": 0}
    wall = max(stalls, key=lambda s: s[2])
    cpu = max(stalls, key=lambda s: s[3])
    return {"ms": wall[2], "cpu_ms": wall[3], "stall": wall, "cpu_max_ms": cpu[3], "cpu_max_wall_ms": cpu[2],
            "cpu_stall": cpu}


def worst_of(figures):
    """The figure of the longest stall and the one of the most processor time, over several."""
    wall = max(figures, key=lambda f: f["ms"])
    cpu = max(figures, key=lambda f: f["cpu_max_ms"])
    return {"ms": wall["ms"], "cpu_ms": wall["cpu_ms"], "stall": wall["stall"], "cpu_max_ms": cpu["cpu_max_ms"],
            "cpu_max_wall_ms": cpu["cpu_max_wall_ms"], "cpu_stall": cpu.get("cpu_stall")}


def settle(seconds):
    time.sleep(seconds)


class GainedText:
    """A test of rect: true once it holds clearly more dark pixels (text) than it does now. Keeps
    the pixels it saw then, to be written out and looked at."""

    def __init__(self, app, rect):
        self.app, self.rect = app, rect
        _, _, w, h = rect
        self.before = app.pixels.ink(rect)
        self.enough = max(2000, w * h * 4 // 100)
        self.seen = None

    def __call__(self):
        pixels = self.app.pixels.grab(self.rect)
        if pixels.translate(Pixels.DARK).count(1) > self.before + self.enough:
            self.seen = pixels
            return True
        return False

    def save(self, path):
        """The pixels seen when the test held, as a PNG (through ImageMagick)."""
        if not self.seen:
            return
        _, _, w, h = self.rect
        rgb = bytearray(w * h * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = self.seen[2::4], self.seen[1::4], self.seen[0::4]
        subprocess.run(["convert", "-size", f"{w}x{h}", "-depth", "8", "rgb:-", str(path)], input=bytes(rgb))


def changed(app, rect):
    """A test of rect: true once any of its pixels differs from now."""
    before = app.pixels.grab(rect)
    return lambda: app.pixels.grab(rect) != before


def watch(tests, since, timeout):
    """Runs the tests every 2 ms until each has held once or timeout seconds after since; returns
    the monotonic time at which each first held (None for one that never did)."""
    seen = {name: None for name in tests}
    while time.monotonic() < since + timeout and None in seen.values():
        now = time.monotonic()
        for name, test in tests.items():
            if seen[name] is None and test():
                seen[name] = now
        time.sleep(0.002)
    return seen


# --- the steps -------------------------------------------------------------------------------------

def clipboard(app, path, holders):
    """Puts the file's text on the clipboard; xclip keeps serving it until stopped. Returns once the
    clipboard gives it out (a loaded machine may take a while to start xclip, and a capture before
    would take what the clipboard held before)."""
    holder = subprocess.Popen(["xclip", "-quiet", "-selection", "clipboard", "-i", str(path)], env=app.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    holders.append(holder)
    wanted = Path(path).read_bytes()
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        time.sleep(0.1)
        held = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=app.env, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL).stdout
        if held == wanted:
            return
    raise RuntimeError(f"the clipboard did not take {path}")


def type_and_clear(app, query, costs):
    """Types query one key per 150 ms, waits a second, erases it by Backspace; adds each key's stalls."""
    def key(name):
        start = app.key(name)
        settle(KEY_MS / 1000)
        costs.append(app.stalls_between(start - 0.001, time.monotonic()))

    for character in query:
        key("space" if character == " " else character)
    settle(1.0)
    for _ in query:
        key("BackSpace")
    settle(1.0)


def key_figure(costs):
    figure = worst_of([longest(c) for c in costs])
    figure["keys"] = len(costs)
    figure["keys_over_16ms"] = sum(1 for c in costs if longest(c)["ms"] > 16)
    figure["keys_over_16ms_cpu"] = sum(1 for c in costs if longest(c)["cpu_max_ms"] > 16)
    return figure


def step_capture(app, shots, text_path, holders, queries):
    figures = {}
    app.screenshot(shots / "1a-before-capture.png")
    clipboard(app, text_path, holders)
    text = GainedText(app, app.preview_rect())
    tests = {"card": changed(app, app.first_card_rect()), "text": text}
    pressed = app.key("ctrl+alt+v")
    seen = watch(tests, pressed, 120)
    shown = seen["text"]
    if shown is None or seen["card"] is None:
        raise RuntimeError(f"the captured note never showed in the grid and the preview; {app.ended() or 'it still runs'}")
    text.save(shots / "1b-captured-first-screen-preview.png")
    # No screenshot until the ten seconds after the first screen are over: the X server serving
    # it answers nothing else, and the window's next frame waited ~100 ms on it.
    settle(10)
    after = longest(app.stalls_between(shown, shown + 10))
    figures["capture_gap"] = longest(app.stalls_between(pressed - 0.001, shown))
    figures["capture_screen"] = {"ms": round((shown - seen["card"]) * 1000),
                                 "from_key_ms": round((shown - pressed) * 1000)}
    app.screenshot(shots / "1c-captured-settled.png")
    # Selected again: Down goes to the next item, Up comes back to the note.
    app.key("Down")
    settle(3)
    text = GainedText(app, app.preview_rect())
    pressed = app.key("Up")
    shown_again = watch({"text": text}, pressed, 60)["text"]
    text.save(shots / "1d-reselected-first-screen-preview.png")
    if shown_again is None:
        raise RuntimeError(f"the note did not show again when selected; {app.ended() or 'it still runs'}")
    settle(10)
    figures["reselect_screen"] = {"ms": round((shown_again - pressed) * 1000)}
    figures["after_frame"] = worst_of([after, longest(app.stalls_between(shown_again, shown_again + 10))])
    app.screenshot(shots / "1d-reselected.png")
    # A few searches with the note selected.
    costs = []
    for query in queries:
        type_and_clear(app, query, costs)
    app.screenshot(shots / "1e-after-searches.png")
    figures["typing_with_note"] = key_figure(costs)
    return figures


def step_typing(app, shots, query):
    costs = []
    for round_ in range(5):
        for character in query:
            start = app.key("space" if character == " " else character)
            settle(KEY_MS / 1000)
            costs.append(app.stalls_between(start - 0.001, time.monotonic()))
        settle(1.0)
        if round_ == 0:
            app.screenshot(shots / "3a-typed.png")
        for _ in query:
            start = app.key("BackSpace")
            settle(KEY_MS / 1000)
            costs.append(app.stalls_between(start - 0.001, time.monotonic()))
        settle(1.0)
    app.screenshot(shots / "3b-cleared.png")
    return {"typing": key_figure(costs)}


def delete_selection(app, shots, name):
    """Asks to delete the selection and confirms. The delete's own work is what the main thread
    does around the moment the grid's count changes (the recovery snapshot before it is taken on a
    worker, while the main thread is free): the stalls from half a second before until a fifth of
    a second after."""
    count = app.count_rect()
    shown = app.pixels.grab(count)
    app.key("Delete")
    settle(1.0)
    app.screenshot(shots / f"{name}-asked.png")
    app.key("Tab")
    settle(0.5)
    confirmed = app.key("space")
    published = None
    while time.monotonic() < confirmed + 60:
        if app.pixels.grab(count) != shown:
            published = time.monotonic()
            break
        time.sleep(0.002)
    if published is None:
        raise RuntimeError(f"{name}: the grid's count did not change; {app.ended() or 'it still runs'}")
    settle(3)
    app.refocus()
    app.screenshot(shots / f"{name}-deleted.png")
    figure = longest(app.stalls_between(max(confirmed, published - 0.5), published + 0.2))
    figure["until_published_ms"] = round((published - confirmed) * 1000)
    return figure


def select_newest(app):
    """Nothing selected and the search field focused (Escape twice), then Return selects the newest
    item and hands the keyboard to the grid."""
    for _ in range(2):
        app.key("Escape")
        settle(0.5)
    app.key("Return")
    settle(1.0)


def step_deletes(app, shots):
    # The item after the note.
    select_newest(app)
    app.key("Down")
    settle(1.5)
    figures = {"delete_one": delete_selection(app, shots, "2a-delete-one")}
    # The note is the newest item: the 120 most recent hold it.
    select_newest(app)
    app.key("ctrl+a")
    settle(1.5)
    app.screenshot(shots / "2b-selected-120.png")
    figures["delete_120"] = delete_selection(app, shots, "2b-delete-120")
    return figures


def step_use(app, shots, minutes, words, note_texts, holders):
    """Searching, selecting and capturing, for minutes; a round takes a few seconds."""
    rng = random.Random(7)
    notes = shots.parent / "notes"
    notes.mkdir(exist_ok=True)
    end = time.monotonic() + minutes * 60
    rounds = 0
    # The resident size once a minute: growth that levels off from growth that goes on.
    trend, next_count = [], time.monotonic()
    while time.monotonic() < end:
        if time.monotonic() >= next_count:
            trend.append(round(app.rss_mb()))
            next_count += 60
        app.key("ctrl+alt+t")
        settle(0.2)
        query = rng.choice(words)
        for character in query:
            app.key(character)
            settle(0.09)
        settle(0.4)
        if rounds == 0:
            app.screenshot(shots / "5a-first-search.png")
        app.key("Return")  # the first result, and the grid has the keyboard
        settle(0.25)
        for _ in range(2):
            app.key("Down")
            settle(0.25)
        app.key("Escape")  # the search cleared
        settle(0.15)
        # A new note every round, as what one jots down is.
        note = notes / f"round-{rounds}.txt"
        note.write_text(note_texts[rounds % len(note_texts)].read_text() + f" round {rounds}")
        clipboard(app, note, holders)
        app.key("ctrl+alt+v")
        settle(0.5)
        while len(holders) > 2:
            holders.pop(0).terminate()
        app.key("Return")
        settle(0.1)
        for _ in range(2):
            app.key("Down")
            settle(0.25)
        app.key("Escape")
        settle(0.1)
        rounds += 1
        if rounds == 1:
            app.screenshot(shots / "5a-first-round.png")
    app.screenshot(shots / "5b-last-round.png")
    return rounds, trend


# --- what the runs share ---------------------------------------------------------------------------

def find_library(args, here):
    if args.library:
        return Path(args.library)
    generator = Path(args.generator) if args.generator else \
        here.parents[2] / "build-bench" / "bench" / "generator" / "vesk-generate-library"
    if not generator.exists():
        sys.exit(f"no library generator at {generator}: build it (cmake --build build-bench --target "
                 "vesk-generate-library) or pass --generator / --library")
    made = run_quiet([str(generator), "--cached", str(LIBRARY_SIZE)])
    if made.returncode != 0:
        sys.exit(f"the generator failed: {made.stderr}")
    return Path(made.stdout.strip().splitlines()[-1])


def copy_library(source, target):
    """The library's database and what a start leaves beside it; the managed files stay shared."""
    target.mkdir(parents=True, exist_ok=True)
    for entry in source.iterdir():
        if entry.name in ("vesk.sqlite3", "vesk.sqlite3-wal", "vesk-search-index.bin"):
            shutil.copy2(entry, target / entry.name)
        elif entry.name == "Thumbnails":
            shutil.copytree(entry, target / entry.name)


def prepared_library(args, work, library):
    """A copy of the library that has been started once (thumbnails made, the index saved)."""
    base = work / "base"
    # What the start leaves (the saved index above all) is the binary's own: another binary makes
    # its own.
    binary = Path(args.vesk).stat()
    made_by = f"{args.vesk} {binary.st_size} {binary.st_mtime_ns} {library}\n"
    if (base / ".prepared").exists() and (base / ".prepared").read_text() == made_by:
        return base
    shutil.rmtree(base, ignore_errors=True)
    log(f"preparing {base} from {library}: one start, until the thumbnails are made")
    start = work / "prepare"
    shutil.rmtree(start, ignore_errors=True)
    copy_library(library, start / "data")
    app = App(args.vesk, start, args.cores, 20, start / "stderr.log")
    try:
        app.wait_for("startup-finished", 900)
        thumbnails = start / "data" / "Thumbnails"
        count, quiet = -1, 0
        while quiet < 3:
            settle(10)
            now = len(list(thumbnails.iterdir())) if thumbnails.exists() else 0
            quiet = quiet + 1 if now == count else 0
            count = now
        log(f"{count} thumbnails")
    finally:
        app.stop()
    base.mkdir(parents=True)
    copy_library(start / "data", base)
    shutil.rmtree(start, ignore_errors=True)
    (base / ".prepared").write_text(made_by)
    return base


def frequent_words(database, count):
    """Words of the library's notes by frequency, most frequent first (from a sample of notes)."""
    connection = sqlite3.connect(f"file:{database}?mode=ro", uri=True)
    words = Counter()
    for (text,) in connection.execute("SELECT searchable_text FROM vesks WHERE kind = 'text' LIMIT 2000"):
        words.update(w for w in re.findall(r"[a-z]+", text.lower()) if len(w) > 2)
    connection.close()
    return [w for w, _ in words.most_common(count)]


def write_texts(work, words):
    """The 10 MB note on one line, and short notes for the rounds of use."""
    rng = random.Random(1)
    long_path = work / "note-10mb.txt"
    if not long_path.exists() or long_path.stat().st_size != TEXT_CHARACTERS:
        parts, size = [], 0
        while size < TEXT_CHARACTERS:
            word = rng.choice(words)
            parts.append(word)
            size += len(word) + 1
        long_path.write_text(" ".join(parts)[:TEXT_CHARACTERS])
    # Words of their own: a note that began as the long one does would not tell the two apart.
    rng = random.Random(2)
    notes = []
    for n in range(20):
        path = work / f"note-{n}.txt"
        path.write_text(" ".join(rng.choice(words) for _ in range(120 + n * 7)))
        notes.append(path)
    return long_path, notes


# The event loop's own frames, under every stall alike.
PLUMBING = re.compile(r"^(main|_start|__libc_start|Q\w*Application\w*::(exec|notify)|QEventLoop::|QEventDispatcher|"
                      r"g_main_|postEventSourceDispatch|timerSourceDispatch|QObject::event|QTimerInfoList::)")


def main_thread_samples(perf_data, stall, top=6):
    """The functions perf saw under a stall: the leaf frames, and the application's own functions
    anywhere in the stack (each counted once per sample)."""
    if not perf_data.exists() or stall is None:
        return []
    start, end = stall[0], stall[1]
    out = run_quiet(["perf", "script", "-i", str(perf_data), "--time", f"{start:.6f},{end:.6f}",
                     "-F", "time,ip,sym,dso"]).stdout
    leaves, inclusive, samples = Counter(), Counter(), 0
    for block in out.split("\n\n"):
        frames = [line.strip() for line in block.splitlines() if re.match(r"\s+[0-9a-f]+ ", line)]
        if not frames:
            continue
        samples += 1
        names = [re.sub(r"^\S+\s+", "", frame).rsplit(" (", 1) for frame in frames]
        leaves[names[0][0]] += 1
        own = {name for name, *dso in names if dso and dso[0].endswith("/vesk)") and not PLUMBING.match(name)}
        inclusive.update(own)
    lines = [f"      {samples} samples in the stall of {stall[2]} ms ({stall[3]} ms cpu) at {start:.3f} s"]
    lines += [f"      leaf  {n:4d}  {name[:100]}" for name, n in leaves.most_common(top)]
    lines += [f"      under {n:4d}  {name[:100]}" for name, n in inclusive.most_common(top * 2)]
    return lines


def one_run(args, number, base, texts, queries, typing_query, words, use_minutes):
    root = Path(args.work) / f"run-{number}"
    shutil.rmtree(root, ignore_errors=True)
    copy_library(base, root / "data")
    shots = root / "shots"
    shots.mkdir(parents=True)
    figures = {"load_start": loadavg()}
    holders = []
    perf = None
    app = App(args.vesk, root, args.cores, args.stall_ms, root / "stderr.log")
    try:
        finished = app.wait_for("startup-finished", 900)
        figures["rss_startup_mb"] = round(app.rss_mb(), 1)
        figures["anon_startup_mb"] = round(app.rss_anon_mb(), 1)
        figures["startup_s"] = round(finished - app.started, 1)
        app.find_window()
        settle(5)
        figures["rss_startup_5s_mb"] = round(app.rss_mb(), 1)
        figures["anon_startup_5s_mb"] = round(app.rss_anon_mb(), 1)
        app.screenshot(shots / "0-started.png")
        if args.perf:
            perf = subprocess.Popen(["perf", "record", "-q", "-k", "CLOCK_MONOTONIC", "--call-graph",
                                     "dwarf,16384", "-F", "2000", "-t", str(app.pid), "-o",
                                     str(root / "perf.data")], stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
            settle(1)
        # The search field has the keyboard, as after a start.
        app.key("ctrl+alt+t")
        settle(0.5)
        if "capture" in args.steps:
            log(f"run {number}: capture")
            figures.update(step_capture(app, shots, texts[0], holders, queries))
            app.key("Escape")
            settle(0.5)
            app.key("Escape")
            settle(1)
        if "typing" in args.steps:
            log(f"run {number}: typing")
            figures.update(step_typing(app, shots, typing_query))
            settle(1)
        if "deletes" in args.steps:
            log(f"run {number}: deletes")
            figures.update(step_deletes(app, shots))
        if perf:
            perf.send_signal(signal.SIGINT)
            perf.wait()
            perf = None
        if use_minutes > 0:
            log(f"run {number}: {use_minutes} minutes of use")
            app.key("Escape")
            settle(3)
            figures["rss_before_use_mb"] = round(app.rss_mb(), 1)
            figures["use_rounds"], figures["rss_each_minute_mb"] = step_use(
                app, shots, use_minutes, words, texts[1], holders)
            app.key("Escape")
            settle(3)
            figures["rss_after_use_mb"] = round(app.rss_mb(), 1)
            figures["anon_after_use_mb"] = round(app.rss_anon_mb(), 1)
            figures["rss_growth_pct"] = round(
                100 * (figures["rss_after_use_mb"] / figures["rss_startup_mb"] - 1), 1)
        figures["load_end"] = loadavg()
    except RuntimeError as failure:
        # The runs before and after still count; this one says what went wrong.
        figures["failed"] = str(failure)
        log(f"run {number} failed: {failure}")
        app.screenshot(shots / "failed.png")
    finally:
        if perf:
            perf.send_signal(signal.SIGINT)
            perf.wait()
        for holder in holders:
            holder.terminate()
        app.stop()
        # The copy of the library is a gigabyte: the run keeps its log, screenshots and figures.
        if not args.keep:
            for name in ("data", "home", "cloud", "runtime"):
                shutil.rmtree(root / name, ignore_errors=True)
    (root / "figures.json").write_text(json.dumps(figures, indent=1))
    return figures


def summary(runs, work, perf):
    print(f"\nThe real application over {LIBRARY_SIZE} items: medians of {len(runs)} run(s); "
          "stalls are wall ms (main thread's cpu ms)")
    print(f"{'figure':<18} {'goal':>5} {'median':>7} {'cpu':>6}  runs: wall ms (its cpu) / most cpu in one stall (its wall)")
    for name, goal in GOALS.items():
        values = [r[name] for r in runs if name in r]
        if not values:
            continue
        ms = statistics.median(v["ms"] for v in values)
        cpu = statistics.median(v.get("cpu_max_ms", 0) for v in values)
        each = ", ".join(f"{v['ms']}" + (f" ({v['cpu_ms']:.1f}) / {v['cpu_max_ms']:.1f} ({v['cpu_max_wall_ms']})"
                                         if "cpu_ms" in v else "") for v in values)
        verdict = "" if goal is None else ("ok" if ms <= goal else ("MISSED (cpu ok)" if cpu <= goal else "MISSED"))
        print(f"{name:<18} {goal if goal else '-':>5} {ms:>7.0f} {cpu:>6.1f}  {each}  {verdict}")
    for name in ("delete_one", "delete_120"):
        values = [r[name] for r in runs if name in r]
        if values:
            print(f"{name + ' until gone':<18} {'':>5} {statistics.median(v['until_published_ms'] for v in values):>7.0f}"
                  "         ms from the confirming key until the count changed (the snapshot's wait): "
                  + ", ".join(str(v["until_published_ms"]) for v in values))
    for r in runs:
        if "rss_after_use_mb" in r:
            print(f"{'memory':<20} {'5 %':>6} {r['rss_growth_pct']:>7}%  VmRSS {r['rss_startup_mb']} MB at start-up's "
                  f"end, {r['rss_startup_5s_mb']} MB 5 s later, {r['rss_before_use_mb']} MB before use, "
                  f"{r['rss_after_use_mb']} MB after {r['use_rounds']} rounds")
            if "anon_after_use_mb" in r:
                print(f"{'':<18} {'':>5} {100 * (r['anon_after_use_mb'] / r['anon_startup_mb'] - 1):>7.1f}%  of it private "
                      f"(RssAnon): {r['anon_startup_mb']} MB at start-up's end, {r['anon_startup_5s_mb']} MB 5 s later, "
                      f"{r['anon_after_use_mb']} MB after use")
            if r.get("rss_each_minute_mb"):
                print(f"{'':<18} {'':>5} {'':>7}  each minute of use: {r['rss_each_minute_mb']} MB")
    for number, r in enumerate(runs, 1):
        if "failed" in r:
            print(f"run {number} failed: {r['failed']}")
    print("start-up s: " + ", ".join(str(r.get("startup_s", "?")) for r in runs)
          + "; load at start/end: " + ", ".join(f"{r['load_start']}/{r.get('load_end', '?')}" for r in runs))
    if perf:
        for number, r in enumerate(runs, 1):
            for name, goal in GOALS.items():
                if goal is None or name not in r or r[name]["ms"] <= goal:
                    continue
                print(f"  run {number} {name}: where the main thread was")
                for which in ("stall", "cpu_stall"):
                    for line in main_thread_samples(Path(work) / f"run-{number}" / "perf.data", r[name].get(which)):
                        print(line)


def main():
    here = Path(__file__).resolve()
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("vesk", help="a Release vesk binary")
    parser.add_argument("--generator", help="vesk-generate-library (default: build-bench's)")
    parser.add_argument("--library", help="a generated library folder to use as it is")
    parser.add_argument("--work", default=os.path.join(os.environ.get("TMPDIR", "/tmp"), "vesk-realapp"),
                        help="where runs, screenshots and the prepared library go")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--use-minutes", type=float, default=16, help="minutes of use in the last run (0: none)")
    parser.add_argument("--cores", default="0,1")
    parser.add_argument("--steps", default="capture,typing,deletes",
                        help="which of capture, typing and deletes to run (comma-separated); memory follows --use-minutes")
    parser.add_argument("--stall-ms", type=int, default=2, help="stalls longer than this are written out")
    parser.add_argument("--perf", action="store_true", help="sample the main thread with perf")
    parser.add_argument("--keep", action="store_true", help="keep each run's copy of the library")
    parser.add_argument("--summary", action="store_true", help="print the table of the runs in --work again")
    args = parser.parse_args()
    if args.summary:
        done = sorted(Path(args.work).glob("run-*/figures.json"), key=lambda p: int(p.parent.name[4:]))
        summary([json.loads(p.read_text()) for p in done], args.work, args.perf)
        return
    args.vesk = str(Path(args.vesk).resolve())
    for tool in ("Xvfb", "xdotool", "xclip", "import", "dbus-run-session", "taskset"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing: scripts/install-deps.sh installs it")
    work = Path(args.work)
    work.mkdir(parents=True, exist_ok=True)
    library = find_library(args, here)
    base = prepared_library(args, work, library)
    words = frequent_words(base / "vesk.sqlite3", 400)
    texts = write_texts(work, words[:300])
    typing_query = words[50] + " " + words[87]
    queries = [words[30], words[120] + " " + words[200], words[260]]
    use_words = words[40::7]
    runs = []
    for number in range(1, args.runs + 1):
        use = args.use_minutes if number == args.runs else 0
        log(f"run {number} of {args.runs} (load {loadavg()})")
        runs.append(one_run(args, number, base, texts, queries, typing_query, use_words, use))
    summary(runs, work, args.perf)
    print(f"screenshots and stall logs: {work}/run-*/")


if __name__ == "__main__":
    main()
