"""End-to-end test of a video file as the camera, replayed in a loop, with footage from before
the trigger: clips that span the file's replays go on across them, and the camera is never
taken for lost."""

import os
import subprocess

from desktop import MAIN_WINDOW, DesktopTestCase, wait_until
from test_eventlog import WatchOfTheWall
from test_recording import CLIP_NAME, discover

WINDOW_TIMEOUT = 30
# Three clips of eight seconds each, one after the other.
CLIPS_TIMEOUT = 120
EXIT_TIMEOUT = 30


def finished_clips(sentello):
    """The clips whose index is written: the muxer writes it when a clip ends."""
    def finished(path):
        with open(path, "rb") as clip:
            return b"idx1" in clip.read()
    names = sorted(name for name in os.listdir(sentello.home) if CLIP_NAME.search(name))
    return [path for path in (os.path.join(sentello.home, name) for name in names)
            if finished(path)]


class FootageReplayTest(WatchOfTheWall, DesktopTestCase):

    def test_clips_with_a_lead_go_on_across_the_replays_of_the_footage(self):
        # Four seconds of snow: every picture differs from the one before, so every run of the
        # detection after a clip triggers the next, and every clip spans a replay.
        footage = os.path.join(self.folder, "snow.avi")
        subprocess.run(
            ["gst-launch-1.0", "-q", "videotestsrc", "num-buffers=100", "pattern=snow", "!",
             "video/x-raw,width=160,height=120,framerate=25/1", "!", "jpegenc", "!", "avimux",
             "!", "filesink", "location=" + footage],
            check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        sentello = self.start_sentello("--camera", footage,
                                       settings={"videolaenge": 3, "warten": 0})
        with open(sentello.settings_path, "ab") as stored:
            stored.write(b"[Erweitert]\r\nvorlauf = 3\r\n")
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        self.switch_recording_mode(window)

        wait_until(lambda: len(finished_clips(sentello)) >= 3, CLIPS_TIMEOUT,
                   "three clips" + sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)

        self.assertEqual(self.count(sentello, "Kamera verloren"), 0, sentello.describe())
        self.assertNotIn("reconnecting", sentello.stderr())
        # The first clip's lead may be shorter: the footage is kept from the camera's start.
        # Every later one has its three seconds, the length asked and two more.
        for clip in finished_clips(sentello)[1:3]:
            self.assertAlmostEqual(discover(clip)["seconds"], 8.0, delta=0.5,
                                   msg=os.path.basename(clip) + sentello.describe())
