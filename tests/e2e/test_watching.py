"""End-to-end tests of the advanced options of the watch: the live picture's pop-up menu and
the alarm test, a mask painted on the live picture, the light compensation on pictures the
test makes, and the alarm for a network camera that the test stops."""

import glob
import os
import re
import subprocess
import tempfile
import shutil

from desktop import MAIN_WINDOW, DesktopTestCase, wait_until
from test_alerts import SoundServer
from test_recording import CLIP_NAME, RECORD_MODE_CHECK_BOX, discover
from test_sentello import LIVE_PICTURE, MjpegServer

WINDOW_TIMEOUT = 30
PICTURE_TIMEOUT = 15
TRIGGER_TIMEOUT = 20
SOUND_TIMEOUT = 20
EXIT_TIMEOUT = 30
# The pop-up menu: items of 22 pixels, in an untitled window of the program's class.
ALARM_TEST_ITEM = (30, 77)
MASK_ITEM = (30, 55)
WIDTH, HEIGHT = 160, 120


def wall(x, y):
    """A patterned wall: blue, green and red bytes of one pixel."""
    return (60 + (x // 10 % 5) * 30, 80 + (y // 8 % 4) * 35, 100 + ((x + y) // 12 % 3) * 40)


def encode(folder, name, pixel):
    """A 160 x 120 JPEG picture with the given pixel colours, as bytes."""
    raw = os.path.join(folder, name + ".raw")
    with open(raw, "wb") as out:
        out.write(bytes(value for y in range(HEIGHT) for x in range(WIDTH)
                        for value in (*pixel(x, y), 255)))
    path = os.path.join(folder, name + ".jpg")
    subprocess.run(
        ["gst-launch-1.0", "-q", "filesrc", "location=" + raw, "blocksize=%d" % (WIDTH * HEIGHT * 4),
         "!", "rawvideoparse", "format=bgrx", "width=%d" % WIDTH, "height=%d" % HEIGHT,
         "framerate=1/1", "!", "videoconvert", "!", "jpegenc", "quality=95", "!",
         "filesink", "location=" + path],
        check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    with open(path, "rb") as picture:
        return picture.read()


def encode_pictures(test_class, pictures):
    """Each picture (name: pixel colours) encoded as a class attribute of that name; the files
    go with the class."""
    folder = tempfile.mkdtemp(prefix="sentello-e2e-pictures-")
    test_class.addClassCleanup(shutil.rmtree, folder, True)
    for name, pixel in pictures.items():
        setattr(test_class, name, encode(folder, name, pixel))


def with_box(pixel):
    """A box of a colour of its own over a third of the picture."""
    def boxed(x, y):
        return (30, 200, 40) if 30 <= x < 130 and 20 <= y < 100 else pixel(x, y)
    return boxed


def halved(pixel):
    def dark(x, y):
        return tuple(value // 2 for value in pixel(x, y))
    return dark


def box_colours(clip):
    """The mean red, green and blue inside the box's place, for each picture of a clip."""
    frames = subprocess.run(
        ["gst-launch-1.0", "-q", "filesrc", "location=" + clip, "!", "avidemux", "!", "jpegdec",
         "!", "videoconvert", "!", "video/x-raw,format=RGB", "!", "fdsink"],
        check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=60).stdout
    size = WIDTH * HEIGHT * 3
    colours = []
    for start in range(0, len(frames) - size + 1, size):
        picture = frames[start:start + size]
        inside = [picture[(y * WIDTH + x) * 3:(y * WIDTH + x) * 3 + 3]
                  for y in range(40, 80, 4) for x in range(50, 110, 4)]
        colours.append(tuple(sum(pixel[c] for pixel in inside) / len(inside) for c in range(3)))
    return colours


class WatchingTest(DesktopTestCase):

    @classmethod
    def setUpClass(cls):
        encode_pictures(cls, {"wall": wall, "dark": halved(wall), "box": with_box(wall),
                              "dark_box": with_box(halved(wall))})
        super().setUpClass()

    def start_with(self, arguments, advanced, settings=None, environment=None):
        """Sentello with these options, the advanced ones in their own group."""
        sentello = self.start_sentello(*arguments, environment=environment,
                                       settings=settings or {})
        with open(sentello.settings_path, "ab") as stored:
            stored.write(b"[Erweitert]\r\n" + b"".join(
                b"%s = %s\r\n" % (key.encode(), str(value).encode())
                for key, value in advanced.items()))
        return sentello, sentello.choose_first_source(WINDOW_TIMEOUT)

    def picture_brightness(self, window):
        picture = self.desktop.screenshot(window, *LIVE_PICTURE)
        return sum(picture.mean())

    def clips(self, sentello):
        return sorted(path for path in glob.glob(os.path.join(sentello.home, "*.avi"))
                      if CLIP_NAME.search(path))

    def finished_clips(self, sentello):
        """The clips whose index is written: the muxer writes it when a clip ends."""
        def finished(path):
            with open(path, "rb") as clip:
                return b"idx1" in clip.read()
        return [path for path in self.clips(sentello) if finished(path)]

    def sound_and_alarm(self):
        """A private sound server, and a two-second tone as the alert file."""
        sound = SoundServer(self.folder)
        self.addCleanup(sound.stop)
        sound.start()
        alarm = os.path.join(self.folder, "alarm.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", alarm, "synth", "2", "sine",
                        "880"], check=True, capture_output=True, timeout=60)
        return sound, alarm

    def test_alarm_test_plays_the_alert_file_without_recording(self):
        sound, alarm = self.sound_and_alarm()
        server = MjpegServer(self.wall)
        self.addCleanup(server.stop)
        sentello, window = self.start_with(
            ["--camera", server.uri], {}, {"sound": 1, "sounddatei": alarm},
            environment=sound.environment)
        self.desktop.click(window, *RECORD_MODE_CHECK_BOX)
        self.choose(self.open_live_picture_menu(window), ALARM_TEST_ITEM)
        wait_until(lambda: sound.sound_bytes() > 44100 * 4, SOUND_TIMEOUT,
                   "the alert file to be heard" + sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        self.assertEqual(self.clips(sentello), [])
        # The user chose nothing among the advanced options: the group stays as it was.
        self.assertIn(b"[Erweitert]\r\n", sentello.settings())

    def test_the_light_halving_does_not_trigger_and_a_box_that_comes_with_it_does(self):
        server = MjpegServer(self.wall)
        self.addCleanup(server.stop)
        # No wait after switching the recording mode on: every picture counts at once.
        sentello, window = self.start_with(
            ["--camera", server.uri], {"lichtausgleich": 1}, {"videolaenge": 3, "warten": 0})
        lit = wait_until(lambda: self.picture_brightness(window) or None, PICTURE_TIMEOUT,
                         "the picture" + sentello.describe())
        self.desktop.click(window, *RECORD_MODE_CHECK_BOX)

        # A picture on the screen has been compared: both happen in the same run.
        def shown(darker):
            def check():
                brightness = self.picture_brightness(window)
                return brightness < lit * 0.7 if darker else brightness > lit * 0.9
            return check
        for _ in range(2):
            server.picture = self.dark
            wait_until(shown(True), PICTURE_TIMEOUT, "the dark picture" + sentello.describe())
            server.picture = self.wall
            wait_until(shown(False), PICTURE_TIMEOUT, "the lit picture" + sentello.describe())
        self.assertEqual(self.clips(sentello), [], sentello.describe())

        server.picture = self.dark_box
        wait_until(lambda: len(self.finished_clips(sentello)) == 1, TRIGGER_TIMEOUT,
                   "the clip of the box that came with the darkness" + sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)

    def test_a_painted_mask_is_stored_and_what_moves_under_it_never_triggers(self):
        server = MjpegServer(self.wall)
        self.addCleanup(server.stop)
        sentello, window = self.start_with(
            ["--camera", server.uri], {}, {"videolaenge": 3, "warten": 0, "hspiegeln": 0})
        wait_until(lambda: self.picture_brightness(window) or None, PICTURE_TIMEOUT,
                   "the picture" + sentello.describe())
        self.choose(self.open_live_picture_menu(window), MASK_ITEM)
        # Block row by block row (8 pixels on the screen; a second drag over a row would watch
        # it again) over the picture's area of the box (x 30..130, y 20..100 of 160 x 120): the
        # picture shows it at twice the size, from 4, 4 in the window.
        command = ["xdotool"]
        for y in range(4 + 44, 4 + 200, 8):
            # --sync: the button goes down where the pointer has arrived.
            command += ["mousemove", "--sync", "--window", str(window), "64", str(y),
                        "mousedown", "1",
                        "mousemove", "--sync", "--window", str(window), "264", str(y),
                        "mouseup", "1"]
        self.desktop.run(command)
        self.desktop.run(["xdotool", "key", "Return"])
        wait_until(lambda: b"maske = " in (sentello.settings() or b""), WINDOW_TIMEOUT,
                   "the mask in the settings" + sentello.describe())
        mask = re.search(rb"maske = ([0-9A-F]{300})\r\n", sentello.settings())
        self.assertIsNotNone(mask, sentello.settings())
        ignored = bin(int(mask.group(1), 16)).count("1")
        self.assertGreater(ignored, 400)
        self.assertLess(ignored, 600)

        self.desktop.click(window, *RECORD_MODE_CHECK_BOX)
        server.picture = self.box

        def box_shown():
            red, green, blue = self.desktop.screenshot(window, 100, 100, 8, 8).mean()
            return green > 2 * max(red, blue)
        wait_until(box_shown, PICTURE_TIMEOUT, "the box in the picture" + sentello.describe())
        server.picture = self.dark
        wait_until(lambda: len(self.finished_clips(sentello)) == 1, TRIGGER_TIMEOUT,
                   "the clip of the darkness outside the mask" + sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        # The box came and went under the mask first: the only clip is the darkness's.
        self.assertEqual(len(self.clips(sentello)), 1, sentello.describe())
        # A network camera sends pictures when it has them: its clip still has the length
        # asked (the shortest, 3 s, and 2 more) and the camera's picture size.
        found = discover(self.clips(sentello)[0])
        self.assertTrue(found["container"], found)
        self.assertEqual(found["size"], (WIDTH, HEIGHT))
        self.assertAlmostEqual(found["seconds"], 5.0, delta=0.5)

    def test_a_clip_begins_its_lead_before_the_trigger(self):
        server = MjpegServer(self.wall)
        self.addCleanup(server.stop)
        sentello, window = self.start_with(
            ["--camera", server.uri], {"vorlauf": 3}, {"videolaenge": 3, "warten": 1})
        wait_until(lambda: self.picture_brightness(window) or None, PICTURE_TIMEOUT,
                   "the picture" + sentello.describe())
        self.desktop.click(window, *RECORD_MODE_CHECK_BOX)
        # Four seconds of the wall while triggers record clips, then the box walks in.
        start = server.served
        wait_until(lambda: server.served >= start + 4 * MjpegServer.RATE, PICTURE_TIMEOUT,
                   "four seconds of pictures")
        server.picture = self.box
        wait_until(lambda: len(self.finished_clips(sentello)) == 1, TRIGGER_TIMEOUT,
                   "the clip of the box" + sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        self.assertIn(b"[Erweitert]\r\nvorlauf = 3\r\n", sentello.settings())

        # Three seconds before the trigger, the length asked and two more.
        clip = self.clips(sentello)[0]
        self.assertAlmostEqual(discover(clip)["seconds"], 8.0, delta=0.3)
        boxed = [green > 2 * max(red, blue) for red, green, blue in box_colours(clip)]
        self.assertAlmostEqual(len(boxed) / 25, 8.0, delta=0.3)
        # The wall from the start, the box from the trigger on to the end.
        self.assertFalse(boxed[0])
        self.assertTrue(boxed[-1])
        lead = boxed.index(True)
        self.assertEqual(boxed[lead:], [True] * (len(boxed) - lead))
        self.assertAlmostEqual(lead / 25, 3.0, delta=0.5)

    def test_a_network_camera_that_stops_sounds_the_alarm_once(self):
        sound, alarm = self.sound_and_alarm()
        server = MjpegServer(self.wall)
        self.addCleanup(server.stop)
        sentello, window = self.start_with(
            ["--camera", server.uri], {"kameraalarm": 2}, {"sound": 1, "sounddatei": alarm},
            environment=sound.environment)
        wait_until(lambda: self.picture_brightness(window) or None, PICTURE_TIMEOUT,
                   "the picture" + sentello.describe())
        self.assertEqual(sound.sound_bytes(), 0)
        server.stop()
        wait_until(lambda: sound.sound_bytes() > 44100 * 4, SOUND_TIMEOUT,
                   "the alarm to be heard" + sentello.describe())

        # The text across the live picture: white letters on a dark band in its middle.
        def named():
            band = self.desktop.screenshot(window, 4, 4 + 120 - 12, 320, 24)
            return sum(1 for pixel in band.pixels() if min(pixel) > 200) > 100
        wait_until(named, PICTURE_TIMEOUT, "the lost camera named" + sentello.describe())
        # Reconnecting goes on and fails meanwhile; the alarm was one.
        wait_until(lambda: sentello.stderr().count("reconnecting") >= 1, TRIGGER_TIMEOUT,
                   "a reconnection" + sentello.describe())
        self.assertEqual(sentello.stderr().count("no pictures from the camera; alarm"), 1,
                         sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
