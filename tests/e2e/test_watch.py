"""End-to-end tests of the watch that comes back by itself: started with --watch after a kill,
and on a network camera that comes up after the program."""

import os
import signal
import time

from desktop import (DRIVER_WINDOW, ERROR_WINDOW, MAIN_WINDOW, DesktopTestCase, Sentello,
                     wait_until)
from test_sentello import LIVE_PICTURE, MjpegServer, make_jpeg

WINDOW_TIMEOUT = 30
EXIT_TIMEOUT = 30
# The camera is tried every few seconds; then its first pictures are shown.
CAMERA_BACK_TIMEOUT = 30
# The check box of "Aufzeichnungs-Modus einschalten", and its box alone.
RECORD_MODE_CHECK_BOX = (524, 12)
RECORD_MODE_BOX = (516, 4, 16, 16)
# The band across the middle of the live picture that says no pictures come.
NO_PICTURES_BAND = (LIVE_PICTURE[0], LIVE_PICTURE[1] + 108, LIVE_PICTURE[2], 24)
DEMO_CAMERA = "Demo-Kamera (eingebaut)"


class WatchTest(DesktopTestCase):
    """sentello --watch: the last watch's camera and recording mode, without a click."""

    def again(self, first, name, *arguments):
        """The program started anew on the same home, with its own output files."""
        folder = os.path.join(self.folder, name)
        os.makedirs(folder)
        sentello = Sentello(self.desktop, arguments, folder, home=first.home)
        self.addCleanup(sentello.stop)
        return sentello.start()

    def wait_for_main_window_without_list(self, sentello):
        """The main window, failing at once should the camera list or an error box come."""
        def shown():
            for unwanted in (DRIVER_WINDOW, ERROR_WINDOW):
                self.assertFalse(self.desktop.find_windows(unwanted),
                                 "\"%s\" was shown%s" % (unwanted, sentello.describe()))
            return self.desktop.find_windows(MAIN_WINDOW)
        return wait_until(shown, WINDOW_TIMEOUT, "the main window" + sentello.describe())[0]

    def wait_for_settings(self, sentello, *lines):
        wait_until(lambda: all(line in (sentello.settings() or b"") for line in lines),
                   WINDOW_TIMEOUT, "%s in the settings%s" % (lines, sentello.describe()))

    def test_a_killed_watch_comes_back_armed_on_its_camera(self):
        first = self.start_sentello("--demo", "--watch")
        window = first.choose_first_source(WINDOW_TIMEOUT)
        self.assertIn("--watch: no camera watched before", first.stderr())
        unchecked = self.desktop.screenshot(window, *RECORD_MODE_BOX)
        self.desktop.click(window, *RECORD_MODE_CHECK_BOX)
        # Written at once, not only at the end that a kill never reaches.
        self.wait_for_settings(first, b"kamera = " + DEMO_CAMERA.encode(), b"ueberwachung = 1")
        checked = self.desktop.screenshot(window, *RECORD_MODE_BOX)
        self.assertGreater(checked.changed_pixels(unchecked), 10, "the box shows its check")
        first.process.send_signal(signal.SIGKILL)
        first.wait_for_exit(EXIT_TIMEOUT)
        first.wait_for_window_gone(MAIN_WINDOW, WINDOW_TIMEOUT)

        started = time.monotonic()
        watch = self.again(first, "watch", "--watch")
        window = self.wait_for_main_window_without_list(watch)
        wait_until(lambda: self.desktop.screenshot(window, *RECORD_MODE_BOX).changed_pixels(
            checked) < 3, WINDOW_TIMEOUT, "the recording mode on" + watch.describe())
        wait_until(lambda: self.desktop.screenshot(window, *LIVE_PICTURE).is_detailed(),
                   WINDOW_TIMEOUT, "the demo scene" + watch.describe())
        print("\nwatching and armed %.1f s after the start" % (time.monotonic() - started))
        wait_until(lambda: ["Überwachung fortgesetzt", "nach Absturz"] in watch.events(),
                   WINDOW_TIMEOUT, "the resumption in the log" + watch.describe())
        events = watch.events()
        unexpected = events.index(["Letzter Lauf endete unerwartet"])
        start = events.index(["Start", "Sentello Version 1.17", DEMO_CAMERA], unexpected)
        self.assertLess(start, events.index(["Überwachung fortgesetzt", "nach Absturz"]))

        # Ended cleanly, the next watch is no resumption.
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(watch, 0, EXIT_TIMEOUT)
        watch.wait_for_window_gone(MAIN_WINDOW, WINDOW_TIMEOUT)
        calm = self.again(first, "calm", "--watch")
        self.wait_for_main_window_without_list(calm)
        wait_until(lambda: calm.events().count(["Start", "Sentello Version 1.17", DEMO_CAMERA])
                   == 3, WINDOW_TIMEOUT, "the third start in the log" + calm.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(calm, 0, EXIT_TIMEOUT)
        events = calm.events()
        self.assertEqual(events.count(["Überwachung fortgesetzt", "nach Absturz"]), 1, events)
        self.assertEqual(events.count(["Letzter Lauf endete unerwartet"]), 1, events)

    def test_a_network_camera_that_comes_later_is_watched_once_it_is_up(self):
        red = make_jpeg(self.folder, "red")
        server = MjpegServer(red)
        port = server.http.server_address[1]
        uri = server.uri
        first = Sentello(self.desktop, ["--camera", uri], self.folder)
        self.addCleanup(first.stop)
        # The autostart keeps the watch's state also without --watch.
        os.makedirs(os.path.dirname(first.settings_path), exist_ok=True)
        with open(first.settings_path, "wb") as settings:
            settings.write(b"[Erweitert]\r\nautostart = 1\r\n")
        first.start().choose_first_source(WINDOW_TIMEOUT)
        self.wait_for_settings(first, b"kamera = " + uri.encode(), b"ueberwachung = 0")
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(first, 0, EXIT_TIMEOUT)
        first.wait_for_window_gone(MAIN_WINDOW, WINDOW_TIMEOUT)
        server.stop()

        watch = self.again(first, "watch", "--watch")
        window = self.wait_for_main_window_without_list(watch)
        wait_until(lambda: self.desktop.screenshot(window, *NO_PICTURES_BAND).brightness_range()
                   >= 128, WINDOW_TIMEOUT, "\"Keine Bilder von der Kamera\"" + watch.describe())
        self.assertIn("does not answer yet", watch.stderr())

        later = MjpegServer(red, port)
        self.addCleanup(later.stop)
        up = time.monotonic()
        wait_until(lambda: self.desktop.screenshot(window, *LIVE_PICTURE).is_near((255, 0, 0), 40),
                   CAMERA_BACK_TIMEOUT, "the camera's red picture" + watch.describe())
        print("\nthe camera's picture shown %.1f s after it came up" % (time.monotonic() - up))
        wait_until(lambda: any(event[:1] == ["Kamera wieder da"] for event in watch.events()),
                   WINDOW_TIMEOUT, "the camera back in the log" + watch.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(watch, 0, EXIT_TIMEOUT)
        # It came after a clean end on the same boot: no resumption to tell.
        self.assertNotIn("Überwachung fortgesetzt", [event[0] for event in watch.events() if event])

    def test_a_camera_device_that_is_not_plugged_in_is_tried_again_and_again(self):
        sentello = Sentello(self.desktop, ["--watch"], self.folder)
        self.addCleanup(sentello.stop)
        os.makedirs(os.path.dirname(sentello.settings_path), exist_ok=True)
        with open(sentello.settings_path, "wb") as settings:
            settings.write(b"[Erweitert]\r\nkamera = /dev/video-absent\r\nueberwachung = 1\r\n")
        window = self.wait_for_main_window_without_list(sentello.start())
        wait_until(lambda: self.desktop.screenshot(window, *NO_PICTURES_BAND).brightness_range()
                   >= 128, WINDOW_TIMEOUT, "\"Keine Bilder von der Kamera\"" + sentello.describe())
        wait_until(lambda: sentello.stderr().count("reconnecting") >= 2, CAMERA_BACK_TIMEOUT,
                   "attempts again and again" + sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        self.assertEqual(sentello.events()[-1], ["Ende"])

    def test_a_plain_start_keeps_no_watch_state_for_a_later_watch(self):
        sentello = self.start_sentello("--demo")
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        self.desktop.click(window, *RECORD_MODE_CHECK_BOX)
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        settings = sentello.settings()
        self.assertIsNotNone(settings)
        for key in (b"kamera", b"ueberwachung", b"[Erweitert]"):
            self.assertNotIn(key, settings)
        # So a watch on these settings has no camera to go on with: it asks, as a plain start.
        sentello.wait_for_window_gone(MAIN_WINDOW, WINDOW_TIMEOUT)
        watch = self.again(sentello, "watch", "--demo", "--watch")
        watch.wait_for_window(DRIVER_WINDOW, WINDOW_TIMEOUT)
        self.assertIn("sentello: --watch: no camera watched before with these settings",
                      watch.stderr())

if __name__ == "__main__":
    import unittest
    unittest.main()
