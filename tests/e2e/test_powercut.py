"""A power cut in the middle of a clip, as the disk has it: HOME is an ext4 image of its own,
and the image is copied at the moment the program is stopped, before it is killed with SIGKILL.
The copy holds what the program had brought to the disk; what was only in memory is lost, as
in a power cut. The clip on the copy plays up to within two seconds of that moment, in
GStreamer and in ffmpeg (Debian's package, as the independent reader), and the event log holds
its lines up to it."""

import os
import re
import shutil
import signal
import subprocess
import time
import unittest

from desktop import DesktopTestCase, wait_until
from test_eventlog import WatchOfTheWall
from test_sentello import MjpegServer

WINDOW_TIMEOUT = 30
CLIP_TIMEOUT = 30
# How long the clip is written before the power goes.
RECORDED_SECONDS = 6
# What a power cut may take: the last two seconds, and the pictures on their way to the file.
LOSS_SECONDS = 2.5
# Room for a clip: the program starts none with less than 200 MB free.
IMAGE_BYTES = 400 << 20
CLIP_NAME = re.compile(r"Video_Sentello_\d{14}\.avi$")


def tools_missing():
    return [tool for tool in ("unshare", "mkfs.ext4", "e2fsck", "debugfs", "ffprobe",
                              "gst-launch-1.0") if not shutil.which(tool)]


def run(command, timeout=120):
    return subprocess.run(command, capture_output=True, text=True, timeout=timeout,
                          stdin=subprocess.DEVNULL, check=False)


def ffmpeg_pictures(path):
    """The pictures ffmpeg decodes from the file, read from its start to its end, and the
    pictures a second its header gives."""
    result = run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                  "-show_entries", "stream=nb_read_frames,r_frame_rate", "-of",
                  "default=noprint_wrappers=1", path])
    count = re.search(r"nb_read_frames=(\d+)", result.stdout)
    rate = re.search(r"r_frame_rate=(\d+)/(\d+)", result.stdout)
    return (int(count.group(1)) if count else 0,
            int(rate.group(1)) / int(rate.group(2)) if rate and int(rate.group(2)) else 0)


def gstreamer_pictures(path):
    """The pictures GStreamer decodes from the file, pushed through to a fakesink."""
    result = run(["gst-launch-1.0", "-v", "filesrc", "location=" + path, "!", "avidemux", "!",
                  "jpegdec", "!", "fakesink", "silent=false"])
    return len(re.findall(r"fakesink\d*:sink\) \(\d+ bytes", result.stdout)) or \
        result.stdout.count("chain   ******")


class PowerCutTest(WatchOfTheWall, DesktopTestCase):

    def setUp(self):
        super().setUp()
        missing = tools_missing()
        if missing:
            self.skipTest("missing: " + ", ".join(missing))
        if os.geteuid() != 0 or run(["unshare", "-m", "true"]).returncode != 0:
            self.skipTest("a disk of its own for the program needs a mount namespace (root)")
        self.image = os.path.join(self.folder, "disk.img")
        with open(self.image, "wb") as image:
            image.truncate(IMAGE_BYTES)
        created = run(["mkfs.ext4", "-q", "-F", self.image])
        self.assertEqual(created.returncode, 0, created.stderr)

    def clip_in(self, folder):
        return [name for name in os.listdir(folder) if CLIP_NAME.search(name)]

    def test_a_clip_cut_by_a_power_cut_plays_up_to_two_seconds_before_it(self):
        camera = MjpegServer(self.wall)
        self.addCleanup(camera.stop)
        # The settings go into the image with HOME; the image is HOME in the program's world.
        launcher = ["unshare", "-m", "sh", "-e", "-c",
                    'tar -C "$HOME" -cf "$HOME.tar" . && mount -o loop "$SENTELLO_IMAGE" "$HOME"'
                    ' && tar -C "$HOME" -xf "$HOME.tar" && exec "$@"', "sh"]
        sentello = self.start_sentello("--camera", camera.uri, settings={"videolaenge": 60, "warten": 1},
                                       environment={"SENTELLO_IMAGE": self.image},
                                       launcher=launcher)
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        inside = "/proc/%d/root%s" % (sentello.process.pid, sentello.home)
        with open("/proc/%d/mounts" % sentello.process.pid) as mounts:
            self.assertIn(" %s ext4 " % sentello.home, mounts.read())
        self.box_walks_in(window, camera)
        wait_until(lambda: self.clip_in(inside), CLIP_TIMEOUT, "a clip" + sentello.describe()
                   + "\nlog: %r" % self.events(sentello, "/proc/%d/root" % sentello.process.pid))
        started = time.monotonic()
        # The camera sends on; the clip has been written for a while.
        wait_until(lambda: time.monotonic() - started >= RECORDED_SECONDS or None,
                   RECORDED_SECONDS + CLIP_TIMEOUT, "the clip's seconds")
        sentello.process.send_signal(signal.SIGSTOP)
        recorded = time.monotonic() - started
        copy = os.path.join(self.folder, "after-the-cut.img")
        shutil.copyfile(self.image, copy)
        sentello.process.send_signal(signal.SIGKILL)
        sentello.process.wait(WINDOW_TIMEOUT)

        # As the next start would find the disk: its journal replayed.
        checked = run(["e2fsck", "-fy", copy])
        self.assertIn(checked.returncode, (0, 1), checked.stdout + checked.stderr)
        listing = run(["debugfs", "-R", "ls -l /", copy]).stdout
        names = [name for name in listing.split() if CLIP_NAME.search(name)]
        self.assertEqual(len(names), 1, listing)
        clip = os.path.join(self.folder, names[0])
        dumped = run(["debugfs", "-R", "dump /%s %s" % (names[0], clip), copy])
        self.assertTrue(os.path.exists(clip), dumped.stderr)

        # The log tells what happened up to the cut, the trigger that started the clip among it.
        log = os.path.join(self.folder, "Sentello.log")
        inside_home = os.path.relpath(os.path.dirname(sentello.settings_path), sentello.home)
        run(["debugfs", "-R", "dump /%s/Sentello.log %s" % (inside_home, log), copy])
        with open(log, "rb") as written:
            lines = written.read()
        self.assertNotIn(b"\0", lines, lines)
        self.assertIn(b"\tAusl\xc3\xb6sung\t", lines, lines)

        read_by_ffmpeg, rate = ffmpeg_pictures(clip)
        read_by_gstreamer = gstreamer_pictures(clip)
        details = "%.1f s recorded, %d bytes on the disk; ffmpeg %d, GStreamer %d pictures " \
            "at %.1f a second" % (recorded, os.path.getsize(clip), read_by_ffmpeg,
                                  read_by_gstreamer, rate)
        expected = (recorded - LOSS_SECONDS) * (rate or MjpegServer.RATE)
        self.assertGreaterEqual(read_by_ffmpeg, expected, details)
        self.assertGreaterEqual(read_by_gstreamer, expected, details)


if __name__ == "__main__":
    unittest.main()
