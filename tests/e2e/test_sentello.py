"""End-to-end tests: Sentello started as a user would, on a private X desktop."""

import glob
import unittest

from desktop import (DRIVER_WINDOW, ERROR_WINDOW, MAIN_WINDOW, DesktopTestCase, Sentello,
                     wait_until)

# Regions of the main window, relative to its top left corner.
LIVE_PICTURE = (4, 4, 320, 240)
# The inside of the trigger indicator, without its sunken frame.
TRIGGER_INDICATOR_INSIDE = (332, 204, 176, 37)
QUIET_GREEN = (0, 187, 0)

# Bounds for waits. Generous, as a sanitizer build on a busy machine is slow to start.
WINDOW_TIMEOUT = 30
PICTURE_TIMEOUT = 15
EXIT_TIMEOUT = 30
# A source that fails is tried ten times before the program gives up.
CONNECT_FAILURE_TIMEOUT = 60


def cameras_present():
    return bool(glob.glob("/dev/video*"))


class DemoCameraTest(DesktopTestCase):
    """The built-in demo camera, chosen in the camera list."""

    def start_demo(self):
        sentello = self.start_sentello("--demo")
        return sentello, sentello.choose_first_source(WINDOW_TIMEOUT)

    def test_main_window_has_its_fixed_size(self):
        sentello, window = self.start_demo()
        self.assertEqual(self.desktop.window_size(window), (800, 480), sentello.describe())

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

    def first_detailed(self, window):
        picture = self.desktop.screenshot(window, *LIVE_PICTURE)
        return picture if picture.is_detailed() else None

    def test_trigger_indicator_shows_quiet_green(self):
        sentello, window = self.start_demo()
        wait_until(
            lambda: self.desktop.screenshot(window, *TRIGGER_INDICATOR_INSIDE).is_near(
                QUIET_GREEN),
            PICTURE_TIMEOUT, "the trigger indicator to turn green" + sentello.describe())

    def test_closing_main_window_ends_with_success(self):
        sentello, _ = self.start_demo()
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        self.assertNotIn("Abbruch", sentello.stderr())


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

    def test_given_source_comes_before_the_demo(self):
        # Both extra sources are listed; the first line is the one given on the command line,
        # which is seen by what the chosen camera shows: a flat blue test picture.
        sentello = self.start_sentello("--demo", "--camera", "videotestsrc pattern=blue")
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
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
            if not picture.is_detailed():
                return False
            # The bars start with grey, then yellow; sample the middle of each at mid height.
            bar = picture.width / 7
            grey = picture.crop(int(bar * 0.25), 60, int(bar * 0.5), 40)
            yellow = picture.crop(int(bar * 1.25), 60, int(bar * 0.5), 40)
            return grey.is_near((191, 191, 191), 40) and yellow.is_near((191, 191, 0), 40)
        wait_until(shows_colour_bars, PICTURE_TIMEOUT,
                   "the colour bars in the live picture" + sentello.describe())

        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)


class StartupErrorTest(DesktopTestCase):
    """Start-up failures: a box says why, then the program ends with code 1."""

    def wait_for_error_box(self, sentello, text, timeout):
        box = sentello.wait_for_window(ERROR_WINDOW, timeout)
        wait_until(lambda: "sentello: Abbruch: " + text in sentello.stderr(), timeout,
                   "the reason on stderr" + sentello.describe())
        self.assertFalse(self.desktop.find_windows(MAIN_WINDOW), "main window is shown")
        self.assertTrue(sentello.running(), "the box must keep the program until it is closed")
        return box

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
        sentello.choose_first_source_line = None
        driver = sentello.wait_for_window(DRIVER_WINDOW, WINDOW_TIMEOUT)
        self.desktop.double_click(driver, 40, 12)
        self.wait_for_error_box(sentello, "Auf den Treiber kann nicht zugegriffen werden.",
                                CONNECT_FAILURE_TIMEOUT)
        self.desktop.close_window(ERROR_WINDOW)
        self.assertExitCode(sentello, 1, EXIT_TIMEOUT)


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


if __name__ == "__main__":
    unittest.main()
