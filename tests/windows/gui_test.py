#!/usr/bin/python3
"""The 64-bit twin of Vidazoz.exe used as a person would: under wine64 on its own Xvfb, in a
Wine prefix of its own, clicked with xdotool and judged by the pixels of screenshots.

  gui_test.py Vidazoz.exe SCREENSHOT_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from PIL import Image

EXE, SHOTS = sys.argv[1], sys.argv[2]
HERE = os.path.dirname(os.path.abspath(__file__))
SERVER_FOLDERS = os.path.join(HERE, "..", "..", "scripts", "server_folders.sh")
WINE64 = shutil.which("wine64") or "/usr/lib/wine/wine64"
CAPTION = "Dodivezozu Software :: Vidazoz"
POLICY_V20 = r"HKLM\SOFTWARE\Microsoft\.NETFramework\policy\v2.0"

# Client-area rectangles in pixels at 96 dpi (twips / 15): left, top, width, height.
LOGO = (8, 8, 64, 64)
RESULT = (80, 16, 329, 17)
DOWNLOAD_IMAGE = (80, 48, 20, 20)
LINK = (104, 50, 206, 14)
CHECK = (360, 48, 57, 25)
EXIT = (320, 48, 33, 25)
ABOUT = (16, 88, 396, 14)
WINDOW = (225, 225, 225)
RED, GREEN, LINK_BLUE = (255, 0, 0), (0, 128, 0), (19, 121, 189)


def centre(rect):
    return rect[0] + rect[2] // 2, rect[1] + rect[3] // 2


class Session:
    """An Xvfb, a prefix and the program, each stopped by its own handle."""

    def __init__(self):
        self.work = tempfile.mkdtemp(prefix="vidazoz-gui-")
        self.xvfb = self.app = None
        try:
            self._start()
        except BaseException:
            self.stop()
            raise

    def _start(self):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
                                      "-nolisten", "tcp"], pass_fds=[write_fd], stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            display = f.readline().strip()
        if not display:
            raise RuntimeError("Xvfb gave no display")
        self.prefix = os.path.join(self.work, "prefix")
        self.env = dict(os.environ, DISPLAY=":" + display, WINEPREFIX=self.prefix, HOME=self.work,
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        subprocess.run([os.path.join(HERE, "make_wine_prefix.sh"), self.prefix], env=self.env, check=True)
        self.app = subprocess.Popen([WINE64, EXE], env=self.env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        self.window = self._wait_for_window()

    def _wait_for_window(self, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.xdotool("search", "--name", "^" + CAPTION.replace(".", r"\.") + "$", check=False)
            if found:
                return found.split()[0]
            if self.app.poll() is not None:
                raise RuntimeError(f"the program ended with {self.app.returncode} before showing its window")
            time.sleep(0.3)
        raise RuntimeError("no window appeared")

    def xdotool(self, *args, check=True):
        r = subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True)
        if check and r.returncode != 0:
            raise RuntimeError(f"xdotool {args}: {r.stderr}")
        return r.stdout.strip()

    def geometry(self):
        out = dict(line.split("=", 1) for line in self.xdotool("getwindowgeometry", "--shell", self.window).split())
        return int(out["X"]), int(out["Y"]), int(out["WIDTH"]), int(out["HEIGHT"])

    def title(self):
        return self.xdotool("getwindowname", self.window)

    def at(self, rect):
        x, y = centre(rect)
        self.xdotool("mousemove", "--window", self.window, str(x), str(y))

    def click(self, rect):
        self.at(rect)
        self.xdotool("click", "1")

    def reg(self, *args):
        return subprocess.run([WINE64, "reg", *args], env=self.env, capture_output=True, text=True)

    def settle(self):
        """For what must not happen: time enough to see it if it did."""
        time.sleep(1.0)

    def shot_when(self, name, ready, timeout=15):
        """A screenshot once ready(image) holds, or the last one taken when time runs out: the
        program under Wine may answer slowly on a busy machine."""
        deadline = time.monotonic() + timeout
        while True:
            image = self.screenshot(name)
            if ready(image) or time.monotonic() > deadline:
                return image
            time.sleep(0.3)

    def height_when(self, height, timeout=15):
        deadline = time.monotonic() + timeout
        while self.geometry()[3] != height and time.monotonic() < deadline:
            time.sleep(0.2)
        return self.geometry()[2:]

    def screenshot(self, name):
        """The client area as an RGB image, kept under SHOTS for a person to look at."""
        path = os.path.join(SHOTS, name + ".png")
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True)
        x, y, w, h = self.geometry()
        image = Image.open(path).convert("RGB").crop((x, y, x + w, y + h))
        image.save(path)
        return image

    def stop(self):
        if self.app is not None and self.app.poll() is None:
            self.app.kill()
        if os.path.isdir(os.path.join(self.work, "prefix")):
            server_env = dict(os.environ, WINEPREFIX=self.prefix)
            subprocess.run(["wineserver", "-k"], env=server_env, check=False)
            subprocess.run(["wineserver", "-w"], env=server_env, check=False)
            # The folders its server left in /tmp or /run/user go with the prefix.
            subprocess.run(["sh", "-c", '. "$0"; remove_server_folders "$1"', SERVER_FOLDERS, self.prefix], check=False)
        if self.app is not None:
            self.app.wait(timeout=30)
        if self.xvfb is not None:
            self.xvfb.terminate()
            self.xvfb.wait(timeout=30)
        shutil.rmtree(self.work, ignore_errors=True)


def count(image, rect, colour, tolerance=40):
    left, top, w, h = rect
    n = 0
    for y in range(top, top + h):
        for x in range(left, left + w):
            p = image.getpixel((x, y))
            n += all(abs(p[i] - colour[i]) <= tolerance for i in range(3))
    return n


def has_focus(image, rect):
    """The dotted focus rectangle runs along the button's fourth pixel row."""
    left, top, w, _ = rect
    dots = sum(sum(image.getpixel((x, top + 3))) < 300 for x in range(left + 3, left + w - 3))
    return dots > w // 4


def plain(image, rect):
    return count(image, rect, WINDOW, tolerance=0) == rect[2] * rect[3]


class Window(unittest.TestCase):
    def setUp(self):
        os.makedirs(SHOTS, exist_ok=True)
        self.s = Session()
        self.addCleanup(self.s.stop)

    def test_a_session(self):
        s = self.s
        self.assertEqual(s.title(), CAPTION)
        x, y, w, h = s.geometry()
        self.assertEqual((w, h), (425, 79), "client area 6375 x 1185 twips at 96 dpi")
        self.assertLessEqual(abs((x + w / 2) - 512), 4, "centred across the screen")
        self.assertLessEqual(abs((y + h / 2) - 384), 16, "centred down the screen, title bar above")

        start = s.shot_when("1-start", lambda im: count(im, LOGO, (30, 80, 200), tolerance=80) > 500)
        self.assertGreater(count(start, LOGO, (30, 80, 200), tolerance=80), 500, "the blue badge")
        self.assertGreater(count(start, RESULT, (0, 0, 0), tolerance=60), 100, "the prompt in dark text")
        self.assertEqual(count(start, RESULT, RED), 0)
        self.assertTrue(plain(start, DOWNLOAD_IMAGE), "the download image is hidden")
        self.assertTrue(plain(start, LINK), "the link is hidden")
        self.assertTrue(has_focus(start, CHECK) and not has_focus(start, EXIT), "Check has the focus at start")

        # Tab goes between the two buttons only: labels, lines and images never take the focus.
        s.xdotool("key", "Tab")
        tabbed = s.shot_when("1b-tab", lambda im: has_focus(im, EXIT))
        self.assertTrue(has_focus(tabbed, EXIT) and not has_focus(tabbed, CHECK), "Tab moves to Exit")
        s.xdotool("key", "Tab")
        self.assertTrue(has_focus(s.shot_when("1c-tab-tab", lambda im: has_focus(im, CHECK)), CHECK),
                        "and back to Check")

        # No button is the default or the cancel button: Enter and Escape do nothing.
        s.xdotool("key", "Return", "Escape")
        s.settle()
        keys = s.screenshot("1d-enter-escape")
        self.assertEqual(count(keys, RESULT, RED), 0, "no check ran")
        self.assertTrue(plain(keys, LINK))
        self.assertIsNone(s.app.poll(), "the program goes on")

        s.click(CHECK)
        red = s.shot_when("2-check-fresh-prefix", lambda im: count(im, LINK, LINK_BLUE, tolerance=30) > 100)
        self.assertGreater(count(red, RESULT, RED, tolerance=30), 150, "the red verdict")
        self.assertGreater(count(red, DOWNLOAD_IMAGE, (40, 160, 60), tolerance=70), 100, "the green download image")
        self.assertGreater(count(red, LINK, LINK_BLUE, tolerance=30), 100, "the blue link")

        # A press on the link or its image turns the link red until the release. The right button,
        # so that no click opens a browser: tests never reach the network.
        for where in (LINK, DOWNLOAD_IMAGE):
            s.at(where)
            s.xdotool("mousedown", "3")
            pressed = s.shot_when("2b-pressed", lambda im: count(im, LINK, RED, tolerance=30) > 100)
            self.assertGreater(count(pressed, LINK, RED, tolerance=30), 100, "the link turns red")
            self.assertEqual(count(pressed, LINK, LINK_BLUE, tolerance=30), 0)
            s.xdotool("mouseup", "3")
            released = s.shot_when("2c-released", lambda im: count(im, LINK, LINK_BLUE, tolerance=30) > 100)
            self.assertGreater(count(released, LINK, LINK_BLUE, tolerance=30), 100, "and blue again")

        added = s.reg("add", POLICY_V20, "/f")
        self.assertEqual(added.returncode, 0, added.stdout + added.stderr)
        s.click(CHECK)
        green = s.shot_when("3-check-after-reg-add", lambda im: count(im, RESULT, GREEN, tolerance=30) > 150)
        self.assertGreater(count(green, RESULT, GREEN, tolerance=30), 150, "the green verdict")
        self.assertEqual(count(green, RESULT, RED, tolerance=30), 0)
        self.assertTrue(plain(green, DOWNLOAD_IMAGE), "no download offer once 2.0 is there")
        self.assertTrue(plain(green, LINK))

        s.at(LOGO)
        s.xdotool("mousedown", "3")  # any button reveals
        self.assertEqual(s.height_when(107), (425, 107), "taller by 420 twips while the logo is held")
        held = s.shot_when("4-logo-held", lambda im: count(im, ABOUT, (0, 0, 0), tolerance=60) > 100)
        self.assertGreater(count(held, ABOUT, (0, 0, 0), tolerance=60), 100, "the about text")
        self.assertGreater(count(held, RESULT, GREEN, tolerance=30), 150, "the verdict stays")
        s.xdotool("mouseup", "3")
        self.assertEqual(s.height_when(79), (425, 79), "back to its height on release")

        s.click(EXIT)
        self.assertEqual(s.app.wait(timeout=30), 0, "Exit ends the program")

    def test_closing_the_window_ends_the_program(self):
        s = self.s
        s.xdotool("key", "--window", s.window, "alt+F4")  # the system menu's Close
        self.assertEqual(s.app.wait(timeout=30), 0, "the unload step runs and the program ends")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
