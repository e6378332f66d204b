"""End-to-end tests: Sentello started as a user would, on a private X desktop."""

import glob
import http.server
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import unittest

from desktop import (DRIVER_WINDOW, ERROR_WINDOW, MAIN_WINDOW, SANITIZER_MARKERS,
                     DesktopTestCase, Sentello, sentello_binary, wait_until)

# Regions of the main window, relative to its top left corner.
LIVE_PICTURE = (4, 4, 320, 240)
# The inside of the trigger indicator, without its sunken frame.
TRIGGER_INDICATOR_INSIDE = (332, 204, 176, 37)
QUIET_GREEN = (0, 187, 0)
CLOCK_LABEL = (328, 30, 184, 16)
UPPER_MARKER = (129, 248, 3, 8)
LOWER_MARKER = (129, 272, 3, 8)
MARKER_BLUE = (0, 136, 255)
BRIGHTNESS_LABEL = (328, 56, 184, 16)
SLOT_TABS = (328, 4, 184, 21)
RECORD_MODE_CHECK = (516, 4, 240, 16)
VIDEO_LIST_HEADER = (6, 286, 400, 14)

# Bounds for waits. Generous, as a sanitizer build on a busy machine is slow to start.
WINDOW_TIMEOUT = 30
PICTURE_TIMEOUT = 15
EXIT_TIMEOUT = 30
# A source that fails is tried ten times before the program gives up.
CONNECT_FAILURE_TIMEOUT = 60
# A source that stays silent takes ten times the five seconds of waiting for a first picture.
SILENT_SOURCE_TIMEOUT = 120


# The window that says which camera is being connected, and its button "Abbrechen", relative
# to the window's top left corner.
CONNECTION_WINDOW = "Kamera wird verbunden: "
CONNECTION_CANCEL_BUTTON = (180, 77)


# The upper part of videotestsrc's "smpte" pattern, from left to right.
SMPTE_BARS = ["white", "yellow", "cyan", "green", "magenta", "red", "blue"]


def colour_name(pixel):
    """Names a clearly saturated or clearly bright colour; anything in between is None."""
    bits = []
    for value in pixel:
        if value >= 160:
            bits.append(1)
        elif value <= 60:
            bits.append(0)
        else:
            return None
    names = {(1, 1, 1): "white", (1, 1, 0): "yellow", (0, 1, 1): "cyan", (0, 1, 0): "green",
             (1, 0, 1): "magenta", (1, 0, 0): "red", (0, 0, 1): "blue", (0, 0, 0): "black"}
    return names[tuple(bits)]


def cameras_present():
    return bool(glob.glob("/dev/video*"))


def make_red_blue_clip(folder):
    """An AVI file: two seconds of red, then two seconds of blue. Returns its path."""
    width, height, frames = 160, 120, 30
    raw = os.path.join(folder, "clip.bgrx")
    with open(raw, "wb") as out:
        out.write(bytes((0, 0, 255, 255)) * (width * height) * frames)  # red, as B G R x
        out.write(bytes((255, 0, 0, 255)) * (width * height) * frames)  # blue
    clip = os.path.join(folder, "red-blue.avi")
    subprocess.run(
        ["gst-launch-1.0", "-q", "filesrc", "location=" + raw, "!", "rawvideoparse",
         "width=%d" % width, "height=%d" % height, "format=bgrx", "framerate=15/1", "!",
         "videoconvert", "!", "video/x-raw,format=I420", "!", "avimux", "!", "filesink",
         "location=" + clip],
        check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    return clip


def make_jpeg(folder, pattern):
    """A 160 x 120 JPEG picture of one of videotestsrc's patterns, as bytes."""
    path = os.path.join(folder, pattern + ".jpg")
    subprocess.run(
        ["gst-launch-1.0", "-q", "videotestsrc", "num-buffers=1", "pattern=" + pattern, "!",
         "video/x-raw,width=160,height=120", "!", "jpegenc", "!", "filesink",
         "location=" + path],
        check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    with open(path, "rb") as picture:
        return picture.read()


class MjpegServer:
    """A network camera as many are: JPEG pictures, one after the other, in one endless
    multipart/x-mixed-replace answer over HTTP, on 127.0.0.1 only."""

    BOUNDARY = b"sentelloframe"
    # Pictures a second, as a cheap network camera sends them.
    RATE = 10

    def __init__(self, picture, port=0):
        self.picture = picture  # the JPEG bytes sent from now on
        self.served = 0  # pictures sent so far
        self.flicker = ()  # pictures sent in turn instead, one each time
        self.stopping = threading.Event()
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                self.send_response(200)
                self.send_header("Content-Type",
                                 "multipart/x-mixed-replace; boundary=" + server.BOUNDARY.decode())
                self.end_headers()
                try:
                    while not server.stopping.is_set():
                        picture = server.next_picture()
                        self.wfile.write(b"--%s\r\nContent-Type: image/jpeg\r\n"
                                         b"Content-Length: %d\r\n\r\n%s\r\n" % (
                                             server.BOUNDARY, len(picture), picture))
                        self.wfile.flush()
                        server.served += 1
                        server.stopping.wait(1 / server.RATE)
                except OSError:
                    pass  # the camera was disconnected

            def log_message(self, *arguments):
                pass

        self.http = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
        self.http.daemon_threads = True
        self.thread = threading.Thread(target=self.http.serve_forever, daemon=True)
        self.thread.start()

    def next_picture(self):
        if self.flicker:
            return self.flicker[self.served % len(self.flicker)]
        return self.picture

    @property
    def uri(self):
        return "http://127.0.0.1:%d/video.mjpg" % self.http.server_address[1]

    def stop(self):
        self.stopping.set()
        self.http.shutdown()
        self.http.server_close()
        self.thread.join()


class DemoCameraTest(DesktopTestCase):
    """The built-in demo camera, chosen in the camera list."""

    def start_demo(self):
        sentello = self.start_sentello("--demo")
        return sentello, sentello.choose_first_source(WINDOW_TIMEOUT)

    def test_main_window_has_its_fixed_size(self):
        sentello, window = self.start_demo()
        self.assertEqual(self.desktop.window_size(window), (800, 480), sentello.describe())

    @unittest.skipUnless(shutil.which("xprop"), "xprop (x11-utils) is not installed")
    def test_main_window_cannot_be_resized(self):
        sentello, window = self.start_demo()
        # The window manager learns it from the size hints: smallest and largest are the same.
        hints = self.desktop.run(["xprop", "-id", str(window), "WM_NORMAL_HINTS"]).stdout
        hints = hints.decode()
        self.assertIn("minimum size: 800 by 480", hints)
        self.assertIn("maximum size: 800 by 480", hints)

    def test_clock_shows_text(self):
        sentello, window = self.start_demo()

        # Dark letters on the light window background.
        def has_text():
            label = self.desktop.screenshot(window, *CLOCK_LABEL)
            return sum(1 for pixel in label.pixels() if sum(pixel) < 200) >= 50
        wait_until(has_text, PICTURE_TIMEOUT, "text in the clock label" + sentello.describe())

    def test_live_picture_shows_the_scene_and_moves(self):
        sentello, window = self.start_demo()

        first = wait_until(
            lambda: self.first_detailed(window), PICTURE_TIMEOUT,
            "a detailed live picture" + sentello.describe())

        # Ball and pendulum move all the time: a later picture differs in a fair number of pixels.
        def moved():
            later = self.desktop.screenshot(window, *LIVE_PICTURE)
            return later.changed_pixels(first) >= 20
        wait_until(moved, PICTURE_TIMEOUT, "the live picture to change" + sentello.describe())
        self.assertTrue(sentello.running(), sentello.describe())
        # The demo delivers steadily: the camera watchdog never had to step in.
        self.assertNotIn("reconnecting", sentello.stderr())

    def first_detailed(self, window):
        picture = self.desktop.screenshot(window, *LIVE_PICTURE)
        return picture if picture.is_detailed() else None

    def test_trigger_indicator_shows_quiet_green(self):
        sentello, window = self.start_demo()
        wait_until(
            lambda: self.desktop.screenshot(window, *TRIGGER_INDICATOR_INSIDE).is_near(
                QUIET_GREEN),
            PICTURE_TIMEOUT, "the trigger indicator to turn green" + sentello.describe())

    def test_layout_shows_markers_and_texts_in_their_places(self):
        sentello, window = self.start_demo()
        # Both trigger markers stand at the start value 25 %, left edge at x 129.
        for marker in UPPER_MARKER, LOWER_MARKER:
            wait_until(lambda: self.desktop.screenshot(window, *marker).is_near(MARKER_BLUE),
                       PICTURE_TIMEOUT, "a trigger marker at %s" % (marker,) + sentello.describe())
        # Text (dark pixels) where the slider label, the slot times, the record-mode check box
        # and the list header stand.
        for area in BRIGHTNESS_LABEL, SLOT_TABS, RECORD_MODE_CHECK, VIDEO_LIST_HEADER:
            shot = self.desktop.screenshot(window, *area)
            self.assertGreaterEqual(sum(1 for pixel in shot.pixels() if sum(pixel) < 250), 20,
                                    "text at %s" % (area,))

    def test_closing_main_window_ends_with_success(self):
        sentello, _ = self.start_demo()
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        self.assertNotIn("Abbruch", sentello.stderr())


GENERAL_KEYS_AFTER_FIRST_START = (
    b"[Optionen]\r\nhspiegeln = 1\r\nuhrzeit1 = 06:00\r\nuhrzeit2 = 11:00\r\n"
    b"uhrzeit3 = 18:00\r\nuhrzeit4 = 22:00\r\nhinweiston = 0\r\nsound = 0\r\n"
    b"audioinfos = 0\r\nsounddatei = \r\nvideolaenge = 5\r\nwarten = 3\r\neplayer = 0\r\n"
    b"novideo = 0\r\nupload = 0\r\nserver = \r\nuser = \r\npass = \r\npicname = \r\n"
    b"toolbild = 0\r\ntoolvideo = 0\r\neditbild = \r\neditvideo = \r\n")
# The third slot tab and the far end of the trigger slider, relative to the main window.
THIRD_SLOT_TAB = (328 + 46 * 2 + 23, 14)
TRIGGER_SLIDER_FAR_END = (500, 180)


class SettingsTest(DesktopTestCase):
    """The settings file in the user's home folder, as a user's session leaves it."""

    def test_first_start_and_close_writes_the_general_options(self):
        sentello = self.start_sentello("--demo")
        sentello.choose_first_source(WINDOW_TIMEOUT)
        self.assertIsNone(sentello.settings(), "nothing is written while the program starts")
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        self.assertEqual(sentello.settings(), GENERAL_KEYS_AFTER_FIRST_START)

    def test_slider_on_the_third_tab_is_saved_at_once(self):
        sentello = self.start_sentello("--demo")
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        self.desktop.click(window, *THIRD_SLOT_TAB)
        self.desktop.click(window, *TRIGGER_SLIDER_FAR_END)

        def saved():
            settings = sentello.settings() or b""
            return b"ausloeser2 = " in settings and b"ausloeser2 = 25\r\n" not in settings
        wait_until(saved, PICTURE_TIMEOUT, "ausloeser2 in the settings" + sentello.describe())
        self.assertIn(b"helligkeit2 = 128\r\n", sentello.settings())
        self.assertNotIn(b"ausloeser0", sentello.settings())
        self.assertNotIn(b"hspiegeln", sentello.settings(), "general options wait for the close")


class DriverChoiceTest(DesktopTestCase):
    """The camera list before any camera runs."""

    def test_closing_driver_window_ends_quietly(self):
        sentello = self.start_sentello("--demo")
        sentello.wait_for_window(DRIVER_WINDOW, WINDOW_TIMEOUT)
        self.desktop.close_window(DRIVER_WINDOW)

        # Until the program has ended, no error box may come up.
        def ended_without_box():
            if self.desktop.find_windows(ERROR_WINDOW):
                raise AssertionError("an error box came up" + sentello.describe())
            return not sentello.running()
        wait_until(ended_without_box, EXIT_TIMEOUT, "sentello to end" + sentello.describe())

        self.assertExitCode(sentello, 0)
        self.assertNotIn("Abbruch", sentello.stderr())
        self.assertFalse(self.desktop.find_windows(MAIN_WINDOW), "main window was shown")

    def test_demo_is_listed_before_given_source(self):
        # The first line is the demo: its picture is a detailed scene.
        sentello = self.start_sentello("--demo", "--camera", "videotestsrc pattern=blue")
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        wait_until(lambda: self.desktop.screenshot(window, *LIVE_PICTURE).is_detailed(),
                   PICTURE_TIMEOUT, "the demo scene in the live picture" + sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)

    def test_given_source_is_the_second_line(self):
        # The second line is the source given on the command line: a flat blue test picture.
        sentello = self.start_sentello("--demo", "--camera", "videotestsrc pattern=blue")
        sentello.choose_line(1, WINDOW_TIMEOUT)
        window = sentello.wait_for_window(MAIN_WINDOW, WINDOW_TIMEOUT)
        wait_until(
            lambda: self.desktop.screenshot(window, *LIVE_PICTURE).is_near((0, 0, 255), 40),
            PICTURE_TIMEOUT, "a blue live picture" + sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)


class GivenSourceTest(DesktopTestCase):
    """A GStreamer source description given with --camera."""

    def test_test_pattern_is_shown_and_window_closes(self):
        sentello = self.start_sentello("--camera", "videotestsrc pattern=smpte")
        window = sentello.choose_first_source(WINDOW_TIMEOUT)

        def shows_colour_bars():
            picture = self.desktop.screenshot(window, *LIVE_PICTURE)
            bars = [colour_name(picture.pixel(int(picture.width / 7 * (i + 0.5)), 60))
                    for i in range(7)]
            # The live picture may be shown mirrored, so the bars may run either way.
            return bars in (SMPTE_BARS, SMPTE_BARS[::-1])
        wait_until(shows_colour_bars, PICTURE_TIMEOUT,
                   "the colour bars in the live picture" + sentello.describe())

        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)


class VideoFileTest(DesktopTestCase):
    """A video file given with --camera plays as the camera picture, over and over."""

    @classmethod
    def setUpClass(cls):
        cls.clip_folder = tempfile.mkdtemp(prefix="sentello-e2e-clip-")
        # A class cleanup runs even when the rest of setUpClass fails.
        cls.addClassCleanup(shutil.rmtree, cls.clip_folder, True)
        try:
            cls.clip = make_red_blue_clip(cls.clip_folder)
        except (OSError, subprocess.SubprocessError) as error:
            raise AssertionError("could not make the test clip with gst-launch-1.0: %s" % error)
        super().setUpClass()

    def test_clip_is_replayed_from_its_start(self):
        sentello = self.start_sentello("--camera", self.clip)
        window = sentello.choose_first_source(WINDOW_TIMEOUT)

        def live_picture_is(colour):
            return lambda: self.desktop.screenshot(window, *LIVE_PICTURE).is_near(colour, 40)
        # Red, blue, then red again only if the clip starts over after its end.
        for colour, name in (((255, 0, 0), "red"), ((0, 0, 255), "blue"),
                             ((255, 0, 0), "red again")):
            wait_until(live_picture_is(colour), PICTURE_TIMEOUT,
                       "a %s live picture" % name + sentello.describe())

        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        self.assertNotIn("sentello: camera:", sentello.stderr())


class StartupErrorTest(DesktopTestCase):
    """Start-up failures: a box says why, then the program ends with code 1."""

    def wait_for_error_box(self, sentello, text, timeout):
        box = sentello.wait_for_window(ERROR_WINDOW, timeout)
        wait_until(lambda: "sentello: Abbruch: " + text in sentello.stderr(), timeout,
                   "the reason on stderr" + sentello.describe())
        self.assertFalse(self.desktop.find_windows(MAIN_WINDOW), "main window is shown")
        self.assertTrue(sentello.running(), "the box must keep the program until it is closed")
        return box

    def test_no_camera_support(self):
        # GStreamer without any plugin: no camera source can be made.
        no_plugins = os.path.join(self.folder, "no-plugins")
        os.makedirs(no_plugins, exist_ok=True)
        sentello = self.start_sentello("--demo", environment={
            "GST_PLUGIN_SYSTEM_PATH_1_0": no_plugins,
            "GST_PLUGIN_PATH_1_0": no_plugins,
            "GST_REGISTRY_1_0": os.path.join(no_plugins, "registry.bin")})
        box = self.wait_for_error_box(sentello, "Die avicap32.dll ist nicht verfügbar.",
                                      WINDOW_TIMEOUT)
        self.assertFalse(self.desktop.find_windows(DRIVER_WINDOW), "camera list was shown")
        # The box keeps its words; the error output and the log say what is missing.
        missing = ("GStreamer elements missing: v4l2src (gstreamer1.0-plugins-good), "
                   "videoconvert (gstreamer1.0-plugins-base), appsink (gstreamer1.0-plugins-base), "
                   "appsrc (gstreamer1.0-plugins-base), decodebin (gstreamer1.0-plugins-base)")
        self.assertIn("sentello: " + missing + "\n", sentello.stderr())
        self.assertEqual(sentello.events(),
                         [["Abbruch", "Die avicap32.dll ist nicht verfügbar.", missing]])
        self.desktop.press_key(box, "Return")
        self.assertExitCode(sentello, 1, EXIT_TIMEOUT)

    def test_qt_without_the_glib_main_loop(self):
        # The camera's messages come through GLib's main loop; without it nothing would be seen.
        sentello = self.start_sentello("--demo", environment={"QT_NO_GLIB": "1"})
        box = self.wait_for_error_box(sentello, "Qt läuft ohne die GLib-Ereignisschleife",
                                      WINDOW_TIMEOUT)
        self.assertFalse(self.desktop.find_windows(DRIVER_WINDOW), "camera list was shown")
        self.desktop.press_key(box, "Return")
        self.assertExitCode(sentello, 1, EXIT_TIMEOUT)
        self.assertIsNone(sentello.settings(), "no settings written")

    @unittest.skipIf(cameras_present(), "this machine has a camera")
    def test_no_source_at_all(self):
        sentello = self.start_sentello()
        box = self.wait_for_error_box(sentello, "Ein Kamera-Treiber ist nicht verfügbar.",
                                      WINDOW_TIMEOUT)
        self.assertFalse(self.desktop.find_windows(DRIVER_WINDOW), "camera list was shown")
        # Return presses the box's only button.
        self.desktop.press_key(box, "Return")
        self.assertExitCode(sentello, 1, EXIT_TIMEOUT)

    def test_source_that_fails_at_once(self):
        sentello = self.start_sentello(
            "--camera", "filesrc location=/nonexistent/file.avi ! decodebin")
        sentello.choose_line(0, WINDOW_TIMEOUT)
        self.wait_for_error_box(sentello, "Auf den Treiber kann nicht zugegriffen werden.",
                                CONNECT_FAILURE_TIMEOUT)
        self.desktop.close_window(ERROR_WINDOW)
        self.assertExitCode(sentello, 1, EXIT_TIMEOUT)

    def test_file_that_is_no_video(self):
        not_a_video = os.path.join(self.folder, "notes.avi")
        with open(not_a_video, "w") as out:
            out.write("This is a text, not a film.\n" * 100)
        sentello = self.start_sentello("--camera", not_a_video)
        sentello.choose_line(0, WINDOW_TIMEOUT)
        self.wait_for_error_box(sentello, "Auf den Treiber kann nicht zugegriffen werden.",
                                CONNECT_FAILURE_TIMEOUT)
        self.desktop.close_window(ERROR_WINDOW)
        self.assertExitCode(sentello, 1, EXIT_TIMEOUT)

    def second_start(self, first, name, *arguments):
        """The program started again on the same home, with its own output files."""
        folder = os.path.join(self.folder, name)
        os.makedirs(folder)
        second = Sentello(self.desktop, arguments, folder, home=first.home)
        self.addCleanup(second.stop)
        return second.start()

    def test_a_second_start_on_the_same_settings_ends_and_the_watch_goes_on(self):
        first = self.start_sentello("--demo")
        first.choose_first_source(WINDOW_TIMEOUT)
        second = self.second_start(first, "second", "--demo")
        # The first program's main window stays; the second shows nothing but its box.
        box = second.wait_for_window(ERROR_WINDOW, WINDOW_TIMEOUT)
        self.assertIn("sentello: Abbruch: Sentello läuft schon mit diesen Einstellungen.",
                      second.stderr())
        self.assertFalse(self.desktop.find_windows(DRIVER_WINDOW), "camera list was shown")
        self.desktop.press_key(box, "Return")
        self.assertExitCode(second, 1, EXIT_TIMEOUT)
        self.assertTrue(first.running(), "the first program must go on" + first.describe())
        # A profile is other settings: it starts beside the first.
        profile = self.second_start(first, "profile", "--demo", "--profile", "keller")
        profile.wait_for_window(DRIVER_WINDOW, WINDOW_TIMEOUT)
        profile.stop()
        # A program killed outright leaves no lock behind.
        first.process.send_signal(signal.SIGKILL)
        first.wait_for_exit(EXIT_TIMEOUT)
        third = self.second_start(first, "third", "--demo")
        third.choose_first_source(WINDOW_TIMEOUT)
        self.assertNotIn("Abbruch", third.stderr())


class SilentSourceTest(DesktopTestCase):
    """A source that runs but never delivers a picture."""

    SOURCE = "videotestsrc is-live=true ! valve drop=true"

    def test_gives_up_after_connection_attempts(self):
        sentello = self.start_sentello("--camera", self.SOURCE)
        sentello.choose_line(0, WINDOW_TIMEOUT)
        # While the attempts run, a window says which camera is being connected.
        sentello.wait_for_window(CONNECTION_WINDOW + self.SOURCE, WINDOW_TIMEOUT)
        # Ten attempts of up to five seconds each, then the box.
        box = sentello.wait_for_window(ERROR_WINDOW, SILENT_SOURCE_TIMEOUT)
        self.assertIn("sentello: Abbruch: Auf den Treiber kann nicht zugegriffen werden.",
                      sentello.stderr())
        self.assertFalse(self.desktop.find_windows(MAIN_WINDOW), "main window is shown")
        self.assertFalse(self.desktop.find_windows(CONNECTION_WINDOW + self.SOURCE),
                         "the connection window stays beside the box")
        self.desktop.press_key(box, "Return")
        self.assertExitCode(sentello, 1, EXIT_TIMEOUT)

    def test_cancelling_the_connection_ends_quietly(self):
        sentello = self.start_sentello("--camera", self.SOURCE)
        sentello.choose_line(0, WINDOW_TIMEOUT)
        window = sentello.wait_for_window(CONNECTION_WINDOW + self.SOURCE, WINDOW_TIMEOUT)
        # Painted while the attempts run: not a single colour.
        wait_until(lambda: self.desktop.screenshot(window).dominant_share() < 0.95,
                   WINDOW_TIMEOUT, "the connection window to be painted" + sentello.describe())
        # The window answers while the attempts run; the window may be mapped a moment before
        # it takes clicks, so the click is repeated while the program runs.
        def ended_after_click():
            if self.desktop.find_windows(ERROR_WINDOW):
                raise AssertionError("an error box came up" + sentello.describe())
            if sentello.running():
                try:
                    self.desktop.click(window, *CONNECTION_CANCEL_BUTTON)
                except AssertionError:
                    pass  # the window went away just now
                return False
            return True
        wait_until(ended_after_click, EXIT_TIMEOUT, "sentello to end after \"Abbrechen\"",
                   interval=1)
        self.assertEndedQuietly(sentello)

    def test_closing_the_connection_window_ends_quietly(self):
        sentello = self.start_sentello("--camera", self.SOURCE)
        sentello.choose_line(0, WINDOW_TIMEOUT)
        sentello.wait_for_window(CONNECTION_WINDOW + self.SOURCE, WINDOW_TIMEOUT)
        self.desktop.close_window(CONNECTION_WINDOW + self.SOURCE)
        sentello.wait_for_exit(EXIT_TIMEOUT)
        self.assertEndedQuietly(sentello)

    def assertEndedQuietly(self, sentello):
        self.assertExitCode(sentello, 0)
        self.assertNotIn("Abbruch", sentello.stderr())
        self.assertFalse(self.desktop.find_windows(MAIN_WINDOW), "main window was shown")
        self.assertIsNone(sentello.settings(), "settings were written")


class CommandLineTest(DesktopTestCase):
    """Arguments are checked before any window comes up."""

    def test_unknown_argument(self):
        sentello = self.start_sentello("--no-such-option")
        self.assertExitCode(sentello, 2, EXIT_TIMEOUT)
        stderr = sentello.stderr()
        self.assertIn("unknown argument: --no-such-option", stderr)
        self.assertIn("Usage: sentello", stderr)
        self.assertEqual(sentello.stdout(), "")

    def test_camera_without_source(self):
        sentello = self.start_sentello("--camera")
        self.assertExitCode(sentello, 2, EXIT_TIMEOUT)
        self.assertIn("--camera needs a source", sentello.stderr())
        self.assertIn("Usage: sentello", sentello.stderr())

    def test_help(self):
        sentello = self.start_sentello("--help")
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        self.assertIn("Usage: sentello", sentello.stdout())
        self.assertIn("--camera SOURCE", sentello.stdout())

    def assertRefusedCamera(self, sentello, reason):
        """The source named nothing to play: said at once, no camera tried, nothing written."""
        self.assertExitCode(sentello, 2, EXIT_TIMEOUT)
        stderr = sentello.stderr()
        self.assertIn("sentello: --camera: " + reason, stderr)
        self.assertIn("Usage: sentello", stderr)
        self.assertNotIn("Abbruch", stderr)
        self.assertNotIn("camera pipeline", stderr)
        self.assertIsNone(sentello.settings(), "settings were written")

    def test_camera_file_that_does_not_exist(self):
        missing = os.path.join(self.folder, "no such clip.avi")
        sentello = self.start_sentello("--camera", missing)
        self.assertRefusedCamera(sentello, "no such file: " + missing)

    def test_camera_description_with_unknown_element(self):
        # The first word names no element, so the text is taken as a file name.
        sentello = self.start_sentello("--camera", "nosuchelement ! decodebin")
        self.assertRefusedCamera(
            sentello, "no such file: nosuchelement ! decodebin"
                      " (nor does \"nosuchelement\" name a GStreamer element)")


class NoDisplayTest(unittest.TestCase):
    """Help and version need no display: the program answers before its GUI starts."""

    def run_without_display(self, *arguments):
        environment = dict(os.environ)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            environment.pop(name, None)
        result = subprocess.run([sentello_binary()] + list(arguments), env=environment,
                                stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=EXIT_TIMEOUT)
        stderr = result.stderr.decode(errors="replace")
        for marker in SANITIZER_MARKERS:
            self.assertNotIn(marker, stderr)
        return result.returncode, result.stdout.decode(), stderr

    def test_version(self):
        code, stdout, stderr = self.run_without_display("--version")
        self.assertEqual(code, 0, stderr)
        self.assertEqual(stdout, "Sentello Version 1.17\n")

    def test_help(self):
        code, stdout, stderr = self.run_without_display("--help")
        self.assertEqual(code, 0, stderr)
        self.assertIn("Usage: sentello", stdout)
        self.assertIn("--version", stdout)


class NetworkCameraTest(DesktopTestCase):
    """A network camera given by its URI: an HTTP stream of JPEG pictures."""

    @classmethod
    def setUpClass(cls):
        folder = tempfile.mkdtemp(prefix="sentello-e2e-pictures-")
        cls.addClassCleanup(shutil.rmtree, folder, True)
        try:
            cls.red = make_jpeg(folder, "red")
            cls.blue = make_jpeg(folder, "blue")
        except (OSError, subprocess.SubprocessError) as error:
            raise AssertionError("could not make the pictures with gst-launch-1.0: %s" % error)
        super().setUpClass()

    def test_live_picture_shows_the_stream(self):
        server = MjpegServer(self.red)
        self.addCleanup(server.stop)
        sentello = self.start_sentello("--camera", server.uri)
        window = sentello.choose_first_source(WINDOW_TIMEOUT)

        def live_picture_is(colour):
            return lambda: self.desktop.screenshot(window, *LIVE_PICTURE).is_near(colour, 40)
        wait_until(live_picture_is((255, 0, 0)), PICTURE_TIMEOUT,
                   "the stream's red picture" + sentello.describe())
        # The camera's next pictures are shown as they come.
        server.picture = self.blue
        wait_until(live_picture_is((0, 0, 255)), PICTURE_TIMEOUT,
                   "the stream's blue picture" + sentello.describe())

        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        self.assertNotIn("sentello: camera:", sentello.stderr())


if __name__ == "__main__":
    unittest.main()
