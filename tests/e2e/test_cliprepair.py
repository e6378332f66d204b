"""A clip cut off by SIGKILL, as a crash leaves it (no index, a header that counts no
pictures), is mended at the next start: it is listed, plays in ffmpeg (Debian's package, as the
independent reader) with its index and a header that counts its pictures, and the event log
says so."""

import os
import re
import shutil
import signal
import subprocess
import time
import unittest

from desktop import DesktopTestCase, wait_until
from test_eventlog import WatchOfTheWall
from test_recording import FIRST_LIST_ROW
from test_sentello import MjpegServer

WINDOW_TIMEOUT = 30
CLIP_TIMEOUT = 30
EXIT_TIMEOUT = 30
# How long the clip is written before the kill.
RECORDED_SECONDS = 4
CLIP_NAME = re.compile(r"Video_Sentello_\d{14}\.avi$")
# A network camera's clips are written at a steady rate, whatever it sends.
CLIP_RATE = 25


def probe(path):
    """The pictures the header counts and the pictures ffmpeg decodes."""
    result = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                             "-show_entries", "stream=nb_frames,nb_read_frames", "-of",
                             "default=noprint_wrappers=1", path],
                            capture_output=True, text=True, timeout=120,
                            stdin=subprocess.DEVNULL, check=False)
    counted = re.search(r"nb_frames=(\d+)", result.stdout)
    read = re.search(r"nb_read_frames=(\d+)", result.stdout)
    return (int(counted.group(1)) if counted else 0, int(read.group(1)) if read else 0)


def indexed(path):
    with open(path, "rb") as clip:
        content = clip.read()
    movi = content.find(b"movi")
    return movi >= 0 and content.find(b"idx1", movi) >= 0


class ClipRepairTest(WatchOfTheWall, DesktopTestCase):

    def setUp(self):
        super().setUp()
        if not shutil.which("ffprobe"):
            self.skipTest("missing: ffprobe")

    def clips(self, sentello):
        return [os.path.join(sentello.home, name) for name in os.listdir(sentello.home)
                if CLIP_NAME.search(name)]

    def test_a_clip_cut_off_by_a_kill_is_mended_and_listed_at_the_next_start(self):
        camera = MjpegServer(self.wall)
        self.addCleanup(camera.stop)
        settings = {"videolaenge": 60, "warten": 1}
        sentello = self.start_sentello("--camera", camera.uri, settings=settings)
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        self.box_walks_in(window, camera)
        clip = wait_until(lambda: (self.clips(sentello) or [None])[0], CLIP_TIMEOUT,
                          "a clip" + sentello.describe())
        started = time.monotonic()
        wait_until(lambda: time.monotonic() - started >= RECORDED_SECONDS or None,
                   RECORDED_SECONDS + CLIP_TIMEOUT, "the clip's seconds")
        sentello.process.send_signal(signal.SIGKILL)
        sentello.process.wait(EXIT_TIMEOUT)
        self.assertFalse(indexed(clip), "the muxer had not finished the clip")
        self.assertEqual(probe(clip)[0], 0, "the header counts no pictures")

        camera.picture = self.wall
        again = self.start_sentello("--camera", camera.uri)
        window = again.choose_first_source(WINDOW_TIMEOUT)
        name = os.path.basename(clip)
        repaired = wait_until(
            lambda: next((event for event in self.events(again)
                          if event and event[:2] == ["Video nach Abbruch repariert", name]), None),
            WINDOW_TIMEOUT, "the repair in the log\nlog: %r" % self.events(again))
        self.assertRegex(repaired[2], r"^\d+,\d s$")
        self.assertEqual(self.clips(again), [clip])
        wait_until(lambda: self.desktop.screenshot(window, *FIRST_LIST_ROW).dominant_share()
                   <= 0.99, WINDOW_TIMEOUT, "the clip's row" + again.describe())

        self.assertTrue(indexed(clip))
        counted, read = probe(clip)
        self.assertGreater(counted, 0)
        self.assertEqual(read, counted)
        seconds = float(repaired[2][:-2].replace(",", "."))
        self.assertAlmostEqual(seconds, counted / CLIP_RATE, delta=0.1)

        self.desktop.close_window("Sentello Version 1.17")
        self.assertExitCode(again, 0, EXIT_TIMEOUT)


if __name__ == "__main__":
    unittest.main()
