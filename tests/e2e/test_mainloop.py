"""End-to-end tests of the main loop as time goes by: the wall clock choosing the time slot (a
clock the test sets, through libfaketime), a camera dialog held open while the demo scene has
an event, and the live picture while a clip is written."""

import glob
import os
import re

from desktop import MAIN_WINDOW, DesktopTestCase, wait_until

WINDOW_TIMEOUT = 30
EXIT_TIMEOUT = 30
# The demo scene's events come 10 to 20 seconds apart, the first 12 seconds after its start.
EVENT_TIMEOUT = 60

FAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"

RECORD_MODE_CHECK_BOX = (524, 12)
COMPRESSION_BUTTON = (716, 78)
COMPRESSION_DIALOG = "Videokompression"
# The right ends of the sliders' tracks: a click there moves a slider up by a page.
BRIGHTNESS_SLIDER_END = (505, 84)
SENSITIVITY_SLIDER_END = (505, 132)
SLOT_TABS = (328, 4, 184, 21)
# Part of the live picture that a dialog in the middle of the window leaves free.
LIVE_PICTURE_LEFT = (4, 4, 200, 240)
# The recording mark in the live picture's top right corner.
RECORDING_MARK = (4 + 320 - 12, 4 + 12)

CLIP_NAME = re.compile(r"Video_Sentello_\d{14}\.avi$")

# Slot values that tell the slots apart.
FOUR_SLOTS = {}
for slot in range(4):
    FOUR_SLOTS["helligkeit%d" % slot] = 100 + 10 * slot
    FOUR_SLOTS["empfindlichkeit%d" % slot] = 10 + slot
    FOUR_SLOTS["ausloeser%d" % slot] = 1 + slot


def stored(settings, key):
    """The value of a key in the settings file's bytes, or None."""
    match = re.search(rb"(?m)^" + key.encode() + rb" = ([^\r\n]*)\r$", settings or b"")
    return match.group(1).decode() if match else None


class ClockSlotTest(DesktopTestCase):
    """The wall clock stands where the test puts it: libfaketime reads it from a file at every
    look at the clock; the program's timers and GStreamer keep the real monotonic clock."""

    def setUp(self):
        super().setUp()
        if not os.path.exists(FAKETIME):
            self.fail("libfaketime is not installed (package faketime)")
        self.clock_file = os.path.join(self.folder, "clock")
        self.set_clock("2026-12-09 10:59:00")

    def set_clock(self, text):
        # A plain date and time stops the clock there.
        with open(self.clock_file + ".new", "w") as clock:
            clock.write(text + "\n")
        os.replace(self.clock_file + ".new", self.clock_file)

    def start_with_clock(self):
        sanitizer = os.environ.get("ASAN_OPTIONS", "")
        environment = {
            "LD_PRELOAD": FAKETIME,
            "FAKETIME_TIMESTAMP_FILE": self.clock_file,
            "FAKETIME_NO_CACHE": "1",
            "FAKETIME_DONT_FAKE_MONOTONIC": "1",
            # File times stay real: faking them takes a semaphore that libfaketime shares with
            # the program's child processes, and a start-up was seen waiting on it for ever in
            # an fstat() under the sanitizers.
            "NO_FAKE_STAT": "1",
            # The sanitizer's run time wants to be loaded first; libfaketime only wraps the
            # clock functions.
            "ASAN_OPTIONS": (sanitizer + ":" if sanitizer else "") + "verify_asan_link_order=0",
        }
        sentello = self.start_sentello("--demo", environment=environment, settings=FOUR_SLOTS)
        return sentello, sentello.choose_first_source(WINDOW_TIMEOUT)

    def wait_for_stored(self, sentello, key, condition, what):
        return wait_until(lambda: condition(stored(sentello.settings(), key)), WINDOW_TIMEOUT,
                          what + sentello.describe())

    def test_each_new_minute_selects_the_slot_of_the_clock(self):
        sentello, window = self.start_with_clock()
        # 10:59 is in the first slot: a slider moved now writes the first slot's values.
        self.desktop.click(window, *BRIGHTNESS_SLIDER_END)
        self.wait_for_stored(sentello, "helligkeit0", lambda value: value not in (None, "100"),
                             "the first slot's brightness to be written")
        self.assertEqual(stored(sentello.settings(), "empfindlichkeit0"), "10")
        self.assertEqual(stored(sentello.settings(), "ausloeser0"), "1")

        tabs_at_10_59 = self.desktop.screenshot(window, *SLOT_TABS)
        self.set_clock("2026-12-09 11:00:00")
        wait_until(lambda: self.desktop.screenshot(window, *SLOT_TABS).changed_pixels(
            tabs_at_10_59) > 20, WINDOW_TIMEOUT, "the second tab to be selected" + sentello.describe())
        # The second slot's values are in the sliders now, and a slider writes its keys.
        self.desktop.click(window, *SENSITIVITY_SLIDER_END)
        self.wait_for_stored(sentello, "empfindlichkeit1", lambda value: value not in (None, "11"),
                             "the second slot's sensitivity to be written")
        self.assertEqual(stored(sentello.settings(), "helligkeit1"), "110")
        self.assertEqual(stored(sentello.settings(), "ausloeser1"), "2")

        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)


class DialogHoldTest(DesktopTestCase):
    """A camera dialog open in the recording mode while the demo scene has an event."""

    def clips(self, sentello):
        return [path for path in glob.glob(os.path.join(sentello.home, "*.avi"))
                if CLIP_NAME.search(path)]

    def test_no_clip_while_a_camera_dialog_is_open(self):
        sentello = self.start_sentello("--demo", settings={"videolaenge": 3, "warten": 0})
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        self.desktop.click(window, *RECORD_MODE_CHECK_BOX)
        self.desktop.click(window, *COMPRESSION_BUTTON)
        sentello.wait_for_window(COMPRESSION_DIALOG, WINDOW_TIMEOUT)

        # The live picture goes on behind the dialog: the event is seen coming and going.
        quiet = self.desktop.screenshot(window, *LIVE_PICTURE_LEFT)
        share = quiet.width * quiet.height

        def changed():
            return self.desktop.screenshot(window, *LIVE_PICTURE_LEFT).changed_pixels(quiet, 48)

        wait_until(lambda: changed() > share // 4, EVENT_TIMEOUT,
                   "the demo scene's event behind the dialog" + sentello.describe())
        wait_until(lambda: changed() < share // 20, EVENT_TIMEOUT,
                   "the event to be over" + sentello.describe())
        self.assertTrue(sentello.desktop.find_windows(COMPRESSION_DIALOG))
        self.assertEqual(self.clips(sentello), [], "no clip while the dialog was open")

        self.desktop.close_window(COMPRESSION_DIALOG)
        sentello.wait_for_window_gone(COMPRESSION_DIALOG)
        wait_until(lambda: self.clips(sentello), EVENT_TIMEOUT,
                   "a clip of the next event" + sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)


class LiveDuringClipTest(DesktopTestCase):
    """The live picture while a clip is written."""

    def test_the_picture_goes_on_with_a_red_mark(self):
        sentello = self.start_sentello("--demo", settings={"videolaenge": 10, "warten": 0})
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        self.desktop.click(window, *RECORD_MODE_CHECK_BOX)

        def mark_is_red():
            red, green, blue = self.desktop.screenshot(window).pixel(*RECORDING_MARK)
            return red > 200 and green < 60 and blue < 60

        wait_until(mark_is_red, EVENT_TIMEOUT, "the recording mark" + sentello.describe())
        first = self.desktop.screenshot(window, *LIVE_PICTURE_LEFT)
        wait_until(lambda: self.desktop.screenshot(window, *LIVE_PICTURE_LEFT).changed_pixels(
            first) > 10, WINDOW_TIMEOUT, "the live picture to move during the clip")
        self.assertTrue(mark_is_red(), "the clip of 12 seconds is still being written")
        wait_until(lambda: not mark_is_red(), EVENT_TIMEOUT,
                   "the mark to go at the clip's end" + sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)


class WindowPlacementTest(DesktopTestCase):
    """Where the window manager puts the windows, and whose they are."""

    def assertCentred(self, window):
        frame = wait_until(lambda: self.desktop.frame(window), WINDOW_TIMEOUT,
                           "a frame around the window")
        # Placed once more as soon as the frame is known.
        wait_until(lambda: self.centred(self.desktop.frame(window)), WINDOW_TIMEOUT,
                   "the frame %s in the middle of the screen" % (frame,))

    @staticmethod
    def centred(frame):
        x, y, width, height = frame
        screen_width, screen_height = 1024, 768
        return abs(2 * x + width - screen_width) <= 2 and abs(2 * y + height - screen_height) <= 2

    def test_windows_are_centred_by_their_frame_and_the_about_window_is_owned(self):
        sentello = self.start_sentello("--demo")
        driver = sentello.wait_for_window("Kameratreiber auswählen:", WINDOW_TIMEOUT)
        self.assertCentred(driver)
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        self.assertCentred(window)

        self.desktop.click(window, 775, 12)
        about = sentello.wait_for_window("Über Sentello:", WINDOW_TIMEOUT)
        self.assertCentred(about)
        owner = self.desktop.run(["xprop", "-id", str(about), "WM_TRANSIENT_FOR"]).stdout.decode()
        self.assertIn("window id # 0x%x" % window, owner)

        self.desktop.press_key(about, "Escape")
        sentello.wait_for_window_gone("Über Sentello:")
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
