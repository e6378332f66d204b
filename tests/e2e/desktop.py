"""A private X desktop for end-to-end tests of Sentello.

Every test class gets its own Xvfb with openbox on it, so the program runs with a real
window manager (frames, closing by title) but never on the developer's screen. Nothing here
sleeps for a fixed time to let things happen: every wait polls a condition up to a bound.
"""

import ctypes
import os
import re
import resource
import select
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

SCREEN = "1024x768x24"
# ImageMagick's screen grabber as Debian installs it, whatever else is earlier on PATH.
IMPORT = "/usr/bin/import"
TOOLS = ("Xvfb", "openbox", "xdotool", "wmctrl", IMPORT)

DRIVER_WINDOW = "Kameratreiber auswählen:"
MAIN_WINDOW = "Sentello Version 1.17"
ERROR_WINDOW = "Abbruch:"

# Height of a line in the camera list with the default font.
LIST_LINE_HEIGHT = 18

# Short enough to notice a change quickly, long enough not to keep a CPU busy.
POLL_INTERVAL = 0.1

# How long a pop-up menu may take to show.
MENU_TIMEOUT = 30

PR_SET_PDEATHSIG = 1  # from <sys/prctl.h>

SANITIZER_MARKERS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:")


def sentello_binary():
    """The program under test: given by CTest, else the usual build folder."""
    path = os.environ.get("SENTELLO_BINARY")
    if not path:
        here = os.path.dirname(os.path.abspath(__file__))
        path = os.path.join(here, "..", "..", "build", "src", "sentello")
    return os.path.abspath(path)


def missing_tools():
    return [tool for tool in TOOLS if shutil.which(tool) is None]


def wait_until(condition, timeout, what, interval=POLL_INTERVAL):
    """Polls condition() until it returns something true; returns that, or fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() >= deadline:
            raise AssertionError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def title_pattern(title):
    """An anchored POSIX extended regular expression matching exactly this window title."""
    escaped = re.sub(r"([][.^$*+?(){}|\\])", r"\\\1", title)
    return "^" + escaped + "$"


def end_with_parent():
    """Run in a started child: it gets SIGTERM when the test process dies, even by SIGKILL
    (say, from CTest's timeout), so no Xvfb or program is left behind."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def stop_process(process, grace=5):
    """Ends a process we started: politely, then by force. Reaps it in any case."""
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(grace)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(grace)


class Desktop:
    """Xvfb plus openbox, started and stopped together. A screen of another size or more dots
    per inch is set as a desktop session sets it: Xvfb's size in millimetres, and the "Xft.dpi"
    resource that toolkits read as the screen's dots per inch."""

    def __init__(self, screen=SCREEN, dpi=None):
        self.screen = screen
        self.dpi = dpi
        self.display = None
        self.xvfb = None
        self.window_manager = None
        self.folder = tempfile.mkdtemp(prefix="sentello-e2e-desktop-")

    def start(self, timeout=30):
        try:
            self._start_xvfb(timeout)
            if self.dpi:
                self.run(["xprop", "-root", "-format", "RESOURCE_MANAGER", "8s", "-set",
                          "RESOURCE_MANAGER", "Xft.dpi:\t%d\n" % self.dpi])
            self._start_window_manager(timeout)
        except BaseException:
            self.stop()
            raise

    def _start_xvfb(self, timeout):
        # Xvfb picks a free display itself and writes its number to the pipe once it is ready.
        reader, writer = os.pipe()
        try:
            with open(os.path.join(self.folder, "xvfb.log"), "wb") as log:
                dpi = ["-dpi", str(self.dpi)] if self.dpi else []
                self.xvfb = subprocess.Popen(
                    ["Xvfb", "-displayfd", str(writer), "-screen", "0", self.screen,
                     "-nolisten", "tcp", "-noreset"] + dpi,
                    pass_fds=(writer,), stdin=subprocess.DEVNULL, stdout=log,
                    stderr=subprocess.STDOUT, preexec_fn=end_with_parent)
            os.close(writer)
            writer = None
            number = b""
            deadline = time.monotonic() + timeout
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([reader], [], [], left)[0]:
                    raise RuntimeError("Xvfb did not report a display: " + self._log("xvfb.log"))
                chunk = os.read(reader, 64)
                if not chunk:
                    raise RuntimeError("Xvfb ended early: " + self._log("xvfb.log"))
                number += chunk
            self.display = ":" + number.decode().strip()
        finally:
            os.close(reader)
            if writer is not None:
                os.close(writer)

    def _start_window_manager(self, timeout):
        with open(os.path.join(self.folder, "openbox.log"), "wb") as log:
            self.window_manager = subprocess.Popen(
                ["openbox", "--sm-disable"],
                env=self.environment(XDG_CACHE_HOME=os.path.join(self.folder, "cache")),
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                preexec_fn=end_with_parent)
        # wmctrl -m succeeds once a window manager has announced itself on the display.
        wait_until(lambda: self.run(["wmctrl", "-m"], check=False).returncode == 0,
                   timeout, "openbox to manage the display")

    def stop(self):
        stop_process(self.window_manager)
        stop_process(self.xvfb)
        self.window_manager = None
        self.xvfb = None
        shutil.rmtree(self.folder, ignore_errors=True)

    def _log(self, name):
        try:
            with open(os.path.join(self.folder, name), errors="replace") as log:
                return log.read()
        except OSError:
            return ""

    def environment(self, **extra):
        environment = dict(os.environ)
        environment.pop("WAYLAND_DISPLAY", None)
        environment["DISPLAY"] = self.display
        environment.update(extra)
        return environment

    def run(self, command, check=True, timeout=20):
        """Runs an X tool on this display and returns its CompletedProcess."""
        result = subprocess.run(command, env=self.environment(), stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=timeout)
        if check and result.returncode != 0:
            raise AssertionError("%s failed (%d): %s" % (
                " ".join(command), result.returncode, result.stderr.decode(errors="replace")))
        return result

    # --- windows ---------------------------------------------------------------------

    def find_windows(self, title):
        """Ids of the visible windows with exactly this title."""
        result = self.run(["xdotool", "search", "--onlyvisible", "--name", title_pattern(title)],
                          check=False)
        return [int(line) for line in result.stdout.split()]

    def close_window(self, title):
        """Asks the window to close the way the window manager's close button does."""
        self.run(["wmctrl", "-F", "-c", title])

    def press_key(self, window, key):
        # A key sent to a window that has no focus is not taken by Qt; activate it first.
        self.run(["xdotool", "windowactivate", "--sync", str(window)])
        self.run(["xdotool", "key", key])

    def click(self, window, x, y):
        """Click at a point given relative to the window's own top left corner."""
        self.run(["xdotool", "mousemove", "--window", str(window), str(x), str(y), "click", "1"])

    def double_click(self, window, x, y):
        """Double click at a point given relative to the window's own top left corner."""
        self.run(["xdotool", "mousemove", "--window", str(window), str(x), str(y),
                  "click", "--repeat", "2", "--delay", "80", "1"])

    def window_size(self, window):
        output = self.run(["xdotool", "getwindowgeometry", str(window)]).stdout.decode()
        match = re.search(r"Geometry: (\d+)x(\d+)", output)
        return int(match.group(1)), int(match.group(2))

    def frame(self, window):
        """The window's frame on the screen, x, y, width, height; None until it has one."""
        extents = self.run(["xprop", "-id", str(window), "_NET_FRAME_EXTENTS"],
                           check=False).stdout.decode()
        match = re.search(r"= (\d+), (\d+), (\d+), (\d+)", extents)
        if not match:
            return None
        left, right, top, bottom = (int(value) for value in match.groups())
        output = self.run(["xwininfo", "-id", str(window)]).stdout.decode()
        x, y, width, height = (int(re.search(name + r":\s+(-?\d+)", output).group(1)) for name in (
            "Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))
        return x - left, y - top, width + left + right, height + top + bottom

    def screenshot(self, window, x=0, y=0, width=None, height=None):
        """The window's content (or a region of it, window-relative) as an Image."""
        command = [IMPORT, "-silent", "-window", str(window), "-depth", "8", "ppm:-"]
        # import has been seen to hang once in a long while; a second try gets the picture.
        for attempt in range(2):
            try:
                result = self.run(command, timeout=10)
                break
            except subprocess.TimeoutExpired:
                if attempt == 1:
                    raise AssertionError("no screenshot of window %d" % window) from None
        image = Image.from_ppm(result.stdout)
        if width is None:
            return image
        return image.crop(x, y, width, height)


class Image:
    """Just enough of an RGB picture to measure pixels without any imaging library."""

    def __init__(self, width, height, data):
        self.width = width
        self.height = height
        self.data = data  # bytes: R, G, B for each pixel, row after row

    @classmethod
    def from_ppm(cls, ppm):
        # Header: "P6", width, height, maximum, each separated by white space (and comments).
        fields = []
        position = 0
        while len(fields) < 4:
            match = re.compile(rb"\s*(#[^\n]*\n\s*)*(\S+)").match(ppm, position)
            if not match:
                raise ValueError("not a PPM picture")
            fields.append(match.group(2))
            position = match.end()
        position += 1  # the single white space character before the pixels
        if fields[0] != b"P6" or fields[3] != b"255":
            raise ValueError("expected an 8-bit P6 picture, got %r" % fields)
        width, height = int(fields[1]), int(fields[2])
        data = ppm[position:position + 3 * width * height]
        if len(data) != 3 * width * height:
            raise ValueError("PPM picture is cut short")
        return cls(width, height, data)

    def save_ppm(self, path):
        with open(path, "wb") as out:
            out.write(b"P6\n%d %d\n255\n" % (self.width, self.height))
            out.write(self.data)

    def crop(self, x, y, width, height):
        if x < 0 or y < 0 or x + width > self.width or y + height > self.height:
            raise ValueError("region %dx%d+%d+%d outside of %dx%d picture" % (
                width, height, x, y, self.width, self.height))
        rows = []
        for row in range(y, y + height):
            start = 3 * (row * self.width + x)
            rows.append(self.data[start:start + 3 * width])
        return Image(width, height, b"".join(rows))

    def pixels(self):
        data = self.data
        return [(data[i], data[i + 1], data[i + 2]) for i in range(0, len(data), 3)]

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return self.data[i], self.data[i + 1], self.data[i + 2]

    def mean(self):
        count = self.width * self.height
        return tuple(sum(self.data[channel::3]) / count for channel in range(3))

    def dominant_share(self):
        """How much of the picture its most frequent colour covers, 0 to 1."""
        counts = {}
        for colour in self.pixels():
            counts[colour] = counts.get(colour, 0) + 1
        return max(counts.values()) / (self.width * self.height)

    def brightness_range(self):
        """Difference between the brightest and the darkest pixel (sum of R, G, B / 3)."""
        sums = [r + g + b for r, g, b in self.pixels()]
        return (max(sums) - min(sums)) / 3

    def is_detailed(self):
        """True for a real picture, false for a flat or nearly flat area (black, one colour)."""
        return self.dominant_share() < 0.9 and self.brightness_range() >= 64

    def changed_pixels(self, other, threshold=24):
        """Number of pixels where some channel differs by more than threshold."""
        if (self.width, self.height) != (other.width, other.height):
            raise ValueError("pictures of different sizes")
        a, b = self.data, other.data
        changed = 0
        for i in range(0, len(a), 3):
            if (abs(a[i] - b[i]) > threshold or abs(a[i + 1] - b[i + 1]) > threshold
                    or abs(a[i + 2] - b[i + 2]) > threshold):
                changed += 1
        return changed

    def is_near(self, colour, tolerance=30):
        """True if the mean colour lies within tolerance of colour in every channel."""
        return all(abs(m - c) <= tolerance for m, c in zip(self.mean(), colour))


class Sentello:
    """One run of the program on a Desktop, with stdout and stderr kept in files."""

    def __init__(self, desktop, arguments, folder, environment=None, file_size_limit=None,
                 launcher=(), home=None):
        self.desktop = desktop
        # Another run's home, for a second program on the same settings.
        self._home = home
        self.arguments = list(arguments)
        # A command that runs the program, given as its last arguments, in a world of its own.
        self.launcher = list(launcher)
        self.folder = folder
        self.extra_environment = environment or {}
        self.file_size_limit = file_size_limit
        self.process = None

    def _prepare_child(self):
        end_with_parent()
        if self.file_size_limit is not None:
            # A full disk: writes beyond the limit fail (the ignored signal stays ignored).
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE,
                               (self.file_size_limit, resource.RLIM_INFINITY))

    def write_settings(self, options):
        """Writes a settings file with these options in the group "Optionen" before start."""
        os.makedirs(os.path.dirname(self.settings_path), exist_ok=True)
        lines = ["[Optionen]"] + ["%s = %s" % (key, value) for key, value in options.items()]
        with open(self.settings_path, "wb") as settings:
            settings.write(("\r\n".join(lines) + "\r\n").encode())

    def start(self):
        runtime = os.path.join(self.folder, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        # The test environment selects Qt's offscreen platform for the unit tests; these tests
        # need the program on the real (virtual) display. Settings go to the test's own folder.
        os.makedirs(self.home, exist_ok=True)
        environment = self.desktop.environment(
            QT_QPA_PLATFORM="xcb",
            HOME=self.home,
            XDG_RUNTIME_DIR=runtime,
            XDG_CONFIG_HOME=os.path.join(self.folder, "config"),
            XDG_DATA_HOME=os.path.join(self.folder, "data"),
            **self.extra_environment)
        with open(self.stdout_path, "wb") as out, open(self.stderr_path, "wb") as err:
            self.process = subprocess.Popen(
                self.launcher + [sentello_binary()] + self.arguments, cwd=self.folder,
                env=environment,
                stdin=subprocess.DEVNULL, stdout=out, stderr=err, preexec_fn=self._prepare_child)
        return self

    @property
    def home(self):
        return self._home or os.path.join(self.folder, "home")

    @property
    def profile(self):
        """The profile given on the command line, or ""."""
        for index, argument in enumerate(self.arguments):
            if argument == "--profile" and index + 1 < len(self.arguments):
                return self.arguments[index + 1]
            if argument.startswith("--profile="):
                return argument[len("--profile="):]
        return ""

    @property
    def settings_path(self):
        """Where the program keeps its settings: one folder per folder it runs from, and one
        inside it per profile."""
        program_folder = os.path.dirname(os.path.abspath(sentello_binary())) + "/"
        name = program_folder.replace("/", "_").replace(" ", "").replace(":", "")
        if name.endswith("_"):
            name = name[:-1]
        return os.path.join(self.home, "Sentello", name, self.profile, "Sentello.prefs")

    def settings(self):
        try:
            with open(self.settings_path, "rb") as settings:
                return settings.read()
        except OSError:
            return None

    def events(self):
        """The event log beside the settings: the fields after the time of each line."""
        try:
            with open(os.path.join(os.path.dirname(self.settings_path), "Sentello.log"),
                      encoding="utf-8") as log:
                lines = log.read().splitlines()
        except FileNotFoundError:
            return []
        return [line.split("\t")[1:] for line in lines]

    @property
    def stdout_path(self):
        return os.path.join(self.folder, "stdout%s.txt" % self.profile)

    @property
    def stderr_path(self):
        return os.path.join(self.folder, "stderr%s.txt" % self.profile)

    def stdout(self):
        with open(self.stdout_path, encoding="utf-8", errors="replace") as out:
            return out.read()

    def stderr(self):
        with open(self.stderr_path, encoding="utf-8", errors="replace") as err:
            return err.read()

    def describe(self):
        """Everything useful for a failure message."""
        state = self.process.poll()
        return "\n--- sentello %s (%s) ---\nstdout:\n%s\nstderr:\n%s" % (
            " ".join(self.arguments), "running" if state is None else "exit code %d" % state,
            self.stdout(), self.stderr())

    def stop(self):
        stop_process(self.process)

    def running(self):
        return self.process.poll() is None

    def wait_for_exit(self, timeout):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("sentello did not end within %.0f s%s" % (
                timeout, self.describe())) from None

    def wait_for_window(self, title, timeout=30):
        """The id of the window with this title, once it is visible."""
        def shown():
            windows = self.desktop.find_windows(title)
            if windows:
                return windows[0]
            if not self.running():
                raise AssertionError("sentello ended before showing \"%s\"%s" % (
                    title, self.describe()))
            return None
        try:
            return wait_until(shown, timeout, "window \"%s\"" % title)
        except AssertionError as error:
            if "timed out" in str(error):
                raise AssertionError(str(error) + self.describe()) from None
            raise

    def wait_for_window_gone(self, title, timeout=30):
        wait_until(lambda: not self.desktop.find_windows(title), timeout,
                   "window \"%s\" to go away" % title)

    def choose_first_source(self, timeout=30):
        """Double clicks the first line of the camera list; returns the main window's id."""
        self.choose_line(0, timeout)
        return self.wait_for_window(MAIN_WINDOW, timeout)

    def choose_line(self, row, timeout=30):
        """Double clicks a line of the camera list (0 is the first) until the list goes away."""
        driver = self.wait_for_window(DRIVER_WINDOW, timeout)
        # Once the list is painted (not a single colour any more) it also takes clicks.
        wait_until(lambda: self.desktop.screenshot(driver).dominant_share() < 0.99, timeout,
                   "the camera list to be painted" + self.describe())
        # Lines are about 18 pixels high; aim at the middle of the wanted one.
        y = 12 + LIST_LINE_HEIGHT * row
        # The window may be mapped a moment before it takes clicks: try again while it stays.
        deadline = time.monotonic() + timeout
        while self.desktop.find_windows(DRIVER_WINDOW):
            if time.monotonic() >= deadline:
                raise AssertionError("double click did not choose a camera" + self.describe())
            try:
                self.desktop.double_click(driver, 40, y)
            except AssertionError:
                continue  # the window went away just now; the loop looks again
            try:
                self.wait_for_window_gone(DRIVER_WINDOW, timeout=3)
            except AssertionError:
                pass


class DesktopTestCase(unittest.TestCase):
    """Base class: one desktop for the class, one folder and program run per test."""

    desktop = None
    # The desktop's screen: its size and depth as Xvfb takes them, and its dots per inch when
    # they are not Xvfb's own.
    screen = SCREEN
    dpi = None

    @classmethod
    def setUpClass(cls):
        missing = missing_tools()
        if missing:
            raise AssertionError("end-to-end tests need: " + ", ".join(missing))
        if not os.access(sentello_binary(), os.X_OK):
            raise AssertionError("no program to test at " + sentello_binary())
        cls.desktop = Desktop(cls.screen, cls.dpi)
        cls.desktop.start()

    @classmethod
    def tearDownClass(cls):
        if cls.desktop is not None:
            cls.desktop.stop()
            cls.desktop = None

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="sentello-e2e-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.sentello = None

    def start_sentello(self, *arguments, environment=None, settings=None, file_size_limit=None,
                       launcher=()):
        self.sentello = Sentello(self.desktop, arguments, self.folder, environment,
                                 file_size_limit, launcher)
        if settings is not None:
            self.sentello.write_settings(settings)
        # Cleanups run last-in first-out: the program ends before its folder goes.
        self.addCleanup(self.sentello.stop)
        return self.sentello.start()

    def open_live_picture_menu(self, window):
        """The live picture's pop-up menu, opened with the right button; its window's id."""
        self.desktop.run(["xdotool", "mousemove", "--window", str(window), "150", "120",
                          "click", "3"])

        def menu():
            found = self.desktop.run(["xdotool", "search", "--onlyvisible", "--class", "sentello"],
                                     check=False).stdout.split()
            return next((int(other) for other in found if int(other) != window), None)
        return wait_until(menu, MENU_TIMEOUT, "the live picture's menu")

    def choose(self, menu, item):
        """Clicks the menu's item at this point of the menu's window."""
        self.desktop.run(["xdotool", "mousemove", "--window", str(menu), str(item[0]),
                          str(item[1]), "click", "1"])

    def assertNoSanitizerReport(self, sentello):
        stderr = sentello.stderr()
        for marker in SANITIZER_MARKERS:
            self.assertNotIn(marker, stderr, sentello.describe())

    def assertExitCode(self, sentello, expected, timeout=30):
        code = sentello.wait_for_exit(timeout)
        self.assertEqual(code, expected, sentello.describe())
        self.assertNoSanitizerReport(sentello)
