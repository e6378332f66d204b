"""End-to-end tests of clips that a fault cuts off: the program killed (SIGKILL) in the middle
of a clip, in each compression, with and without sound and a lead before the trigger, leaves a
clip that plays up to within two seconds of the kill, in ffmpeg and in GStreamer; a network
camera that changes its picture size during a clip gives two clips of one size each; a disk
that fills during a clip ends it and keeps it."""

import os
import re
import signal
import subprocess
import time

from avichunks import is_picture, is_sound, movi_chunks
from desktop import Sentello, DesktopTestCase, wait_until
from test_alerts import SoundServer
from test_eventlog import WatchOfTheWall
from test_recording import CLIP_NAME, RECORD_MODE_CHECK_BOX
from test_sentello import MjpegServer

WINDOW_TIMEOUT = 30
PICTURE_TIMEOUT = 15
CLIP_TIMEOUT = 30
# What a kill may take: the last two seconds.
LOSS_SECONDS = 2
# A network camera's clip is written at a steady 25 pictures a second.
CLIP_RATE = 25


def run(command, timeout=120):
    return subprocess.run(command, capture_output=True, text=True, timeout=timeout,
                          stdin=subprocess.DEVNULL, check=False)


def ffmpeg_facts(path):
    """Pictures ffmpeg decodes from the clip, the picture size its stream says, and the errors
    it reports while decoding."""
    probed = run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                  "-show_entries", "stream=nb_read_frames,width,height", "-of",
                  "default=noprint_wrappers=1", path])
    count = re.search(r"nb_read_frames=(\d+)", probed.stdout)
    width = re.search(r"width=(\d+)", probed.stdout)
    height = re.search(r"height=(\d+)", probed.stdout)
    decoded = run(["ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"])
    return {"pictures": int(count.group(1)) if count else 0,
            "size": (int(width.group(1)), int(height.group(1))) if width and height else None,
            "errors": decoded.stderr.strip()}


def gstreamer_pictures(path):
    """The pictures GStreamer decodes from the clip, pushed through to a fakesink; none when
    it finds no pictures to decode (it then waits for them for ever)."""
    try:
        result = run(["gst-launch-1.0", "-v", "filesrc", "location=" + path, "!", "avidemux",
                      "name=demux", "demux.video_0", "!", "queue", "!", "decodebin", "!",
                      "fakesink", "silent=false"], timeout=60)
    except subprocess.TimeoutExpired:
        return 0
    return len(re.findall(r"chain   \*+ \(fakesink\d*:sink\)", result.stdout))


def still_picture(folder, name, width, height, pattern):
    path = os.path.join(folder, name + ".jpg")
    made = run(["gst-launch-1.0", "-q", "videotestsrc", "num-buffers=1", "pattern=" + pattern,
                "!", "video/x-raw,width=%d,height=%d" % (width, height), "!", "jpegenc", "!",
                "filesink", "location=" + path])
    assert made.returncode == 0, made.stderr
    with open(path, "rb") as picture:
        return picture.read()


class ClipFaultsTest(WatchOfTheWall, DesktopTestCase):

    def start(self, camera, name, options, groups="", environment=None, launcher=()):
        """The program on its own folder, with settings of more groups than the options."""
        folder = os.path.join(self.folder, name)
        os.makedirs(folder)
        sentello = Sentello(self.desktop, ["--camera", camera.uri], folder, environment,
                            launcher=launcher)
        sentello.write_settings(options)
        with open(sentello.settings_path, "ab") as settings:
            settings.write(groups.encode())
        self.addCleanup(sentello.stop)
        sentello.start()
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        return sentello, window

    def clips(self, folder):
        return sorted(os.path.join(folder, name) for name in os.listdir(folder)
                      if CLIP_NAME.search(name) or re.search(r"Video_Sentello_\d{14}_\d+\.avi$",
                                                              name))

    def recorded_clip(self, sentello, camera, window, root=""):
        """Recording mode on, the box walks in; the new clip's path and when it appeared."""
        self.box_walks_in(window, camera)
        home = root + sentello.home
        clip = wait_until(lambda: self.clips(home) and self.clips(home)[0], CLIP_TIMEOUT,
                          "a clip" + sentello.describe())
        return clip, time.monotonic()


class KilledClipTest(ClipFaultsTest):
    """SIGKILL during a clip: every compression, with and without sound and lead."""

    def kill_during_clip(self, camera, sound, codec, with_sound, lead, after, length=10):
        name = "%s-%s-%d-%.1f" % (codec, "sound" if with_sound else "silent", lead, after)
        sentello, window = self.start(
            camera, name, {"videolaenge": length, "warten": 1, "audioinfos": int(with_sound)},
            "[Kamera]\r\ncodec = %s\r\n[Erweitert]\r\nvorlauf = %d\r\n" % (codec, lead),
            sound.environment)
        if lead:
            # The lead is kept from the first picture on.
            start = camera.served
            wait_until(lambda: camera.served >= start + (lead + 1) * MjpegServer.RATE,
                       PICTURE_TIMEOUT, "the lead")
        clip, appeared = self.recorded_clip(sentello, camera, window)
        wait_until(lambda: time.monotonic() - appeared >= after or None, after + CLIP_TIMEOUT,
                   "the moment of the kill")
        sentello.process.send_signal(signal.SIGKILL)
        recorded = lead + time.monotonic() - appeared
        sentello.process.wait(WINDOW_TIMEOUT)
        camera.picture = self.wall
        return clip, recorded, name

    def assert_plays_up_to_the_kill(self, clip, recorded, name, with_sound):
        chunks = movi_chunks(clip)
        ffmpeg = ffmpeg_facts(clip)
        gstreamer = gstreamer_pictures(clip)
        details = "%s: %.1f s recorded, %d bytes, %d picture and %d sound chunks; ffmpeg %d, " \
            "GStreamer %d pictures" % (name, recorded, os.path.getsize(clip),
                                       sum(map(is_picture, chunks)), sum(map(is_sound, chunks)),
                                       ffmpeg["pictures"], gstreamer)
        expected = (recorded - LOSS_SECONDS) * CLIP_RATE
        self.assertGreaterEqual(ffmpeg["pictures"], expected, details)
        self.assertGreaterEqual(gstreamer, expected, details)
        if not with_sound:
            self.assertFalse(any(map(is_sound, chunks)), details)
        elif recorded >= LOSS_SECONDS + 1:
            self.assertTrue(any(map(is_sound, chunks)), details)

    def test_a_killed_clip_plays_up_to_two_seconds_before_the_kill(self):
        sound = SoundServer(self.folder)
        self.addCleanup(sound.stop)
        sound.start()
        camera = MjpegServer(self.wall)
        self.addCleanup(camera.stop)
        for codec in ("mjpeg", "mpeg4"):
            for with_sound in (False, True):
                for lead in (0, 2):
                    with self.subTest(codec=codec, sound=with_sound, lead=lead):
                        clip, recorded, name = self.kill_during_clip(
                            camera, sound, codec, with_sound, lead, 4)
                        self.assert_plays_up_to_the_kill(clip, recorded, name, with_sound)

    def test_a_clip_killed_at_its_start_or_in_its_last_second_plays_up_to_the_kill(self):
        sound = SoundServer(self.folder)
        self.addCleanup(sound.stop)
        sound.start()
        camera = MjpegServer(self.wall)
        self.addCleanup(camera.stop)
        # Before the first picture: nothing, or the lead, and never a file a player chokes on.
        for codec, lead in (("mpeg4", 0), ("mjpeg", 2)):
            with self.subTest(moment="start", codec=codec, lead=lead):
                clip, recorded, name = self.kill_during_clip(camera, sound, codec, True, lead, 0)
                if os.path.getsize(clip):
                    self.assert_plays_up_to_the_kill(clip, recorded, name, True)
        # A clip of 3 s and 2 more, killed in its last second.
        for codec in ("mjpeg", "mpeg4"):
            with self.subTest(moment="last second", codec=codec):
                clip, recorded, name = self.kill_during_clip(camera, sound, codec, True, 0, 4.3,
                                                             length=3)
                self.assert_plays_up_to_the_kill(clip, recorded, name, True)


class SizeChangeTest(ClipFaultsTest):
    """A network camera whose pictures change their size during a clip."""

    def test_a_size_change_ends_the_clip_and_the_rest_goes_into_a_second(self):
        small = self.box
        large = still_picture(self.folder, "large", 320, 240, "ball")
        camera = MjpegServer(self.wall)
        self.addCleanup(camera.stop)
        sentello, window = self.start(camera, "size", {"videolaenge": 6, "warten": 1})
        first, appeared = self.recorded_clip(sentello, camera, window)
        camera.picture = small
        wait_until(lambda: time.monotonic() - appeared >= 3 or None, CLIP_TIMEOUT,
                   "three seconds of the clip")
        camera.picture = large
        home = sentello.home
        wait_until(lambda: self.count(sentello, "Video fertig") >= 2 or None, 3 * CLIP_TIMEOUT,
                   "the second clip finished" + sentello.describe())
        clips = self.clips(home)
        self.assertEqual(clips[0], first)
        # Each in the log as a clip of its own.
        self.assertEqual([event[1] for event in self.events(sentello)
                          if event and event[0] == "Video fertig"],
                         [os.path.basename(clip) for clip in clips])
        facts = [ffmpeg_facts(clip) for clip in clips[:2]]
        self.assertEqual([fact["size"] for fact in facts], [(160, 120), (320, 240)],
                         sentello.describe())
        for clip, fact in zip(clips, facts):
            self.assertEqual(fact["errors"], "", clip)
            self.assertGreater(fact["pictures"], CLIP_RATE, clip)
            self.assertEqual(gstreamer_pictures(clip), fact["pictures"], clip)
        # Together the length asked and two more.
        total = sum(fact["pictures"] for fact in facts) / CLIP_RATE
        self.assertAlmostEqual(total, 8.0, delta=1.5)
        self.assertTrue(sentello.running())


class FullDiskTest(ClipFaultsTest):
    """HOME on a disk of its own that the test fills during a clip."""

    def test_a_disk_that_fills_ends_the_clip_and_keeps_it(self):
        if run(["unshare", "-m", "true"]).returncode != 0:
            self.skipTest("a disk of its own for the program needs a mount namespace (root)")
        camera = MjpegServer(self.wall)
        self.addCleanup(camera.stop)
        # Room for a clip: the program starts none with less than 200 MB free.
        launcher = ["unshare", "-m", "sh", "-e", "-c",
                    'tar -C "$HOME" -cf "$HOME.tar" . && mount -t tmpfs -o size=240m none "$HOME"'
                    ' && tar -C "$HOME" -xf "$HOME.tar" && exec "$@"', "sh"]
        sentello, window = self.start(camera, "full", {"videolaenge": 20, "warten": 0},
                                      launcher=launcher)
        inside = "/proc/%d/root" % sentello.process.pid
        clip, appeared = self.recorded_clip(sentello, camera, window, inside)
        wait_until(lambda: time.monotonic() - appeared >= 3 or None, CLIP_TIMEOUT,
                   "three seconds of the clip")
        # The disk filled but for a few megabytes.
        home = inside + sentello.home
        status = os.statvfs(home)
        with open(home + "/filler", "wb") as filler:
            filler.truncate(0)
        run(["fallocate", "-l", str(status.f_bavail * status.f_frsize - (4 << 20)),
             home + "/filler"])
        filled = time.monotonic() - appeared

        def ended():
            return [event for event in self.events(sentello, inside)
                    if event and event[0] in ("Video fertig", "Video fehlgeschlagen")]
        cut = wait_until(ended, CLIP_TIMEOUT, "the clip cut short" + sentello.describe())
        # A clip that keeps what was written is a clip, with why it is short.
        self.assertEqual(cut[0][0], "Video fertig", cut)
        self.assertEqual(cut[0][2], "cut short by a full disk", cut)
        self.assertIn("cut short by a full disk", sentello.stderr())
        copy = os.path.join(self.folder, "clip.avi")
        with open(inside + clip, "rb") as kept, open(copy, "wb") as out:
            data = kept.read()
            out.write(data)
        self.assertIn(b"idx1", data, "finished with its index")
        facts = ffmpeg_facts(copy)
        self.assertGreaterEqual(facts["pictures"], (filled - LOSS_SECONDS) * CLIP_RATE, facts)
        self.assertEqual(facts["errors"], "")
        # Detection goes on: the next trigger finds no room for a clip.
        camera.picture = self.wall
        self.box_walks_in(window, camera, record=False)
        wait_until(lambda: len(ended()) >= 2 or None, CLIP_TIMEOUT,
                   "the next trigger" + sentello.describe())
        self.assertTrue(sentello.running())
