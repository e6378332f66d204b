"""End-to-end test of the background reference on footage that nobody here made: people
walking across a courtyard far from the camera (vtest.avi of Debian's opencv-doc package,
768 x 576 at 10 pictures a second), served as a network camera's JPEG pictures."""

import glob
import os
import shutil
import subprocess
import tempfile

from desktop import MAIN_WINDOW, DesktopTestCase, wait_until
from test_sentello import MjpegServer
from test_eventlog import WatchOfTheWall

WINDOW_TIMEOUT = 30
PICTURE_TIMEOUT = 15
EXIT_TIMEOUT = 30
# The footage's first 20 seconds, in JPEG pictures as a network camera sends them.
PICTURES = 200
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def footage_pictures():
    folder = os.environ.get("SENTELLO_FOOTAGE_DIR") or tempfile.gettempdir()
    footage = os.path.join(folder, "vtest.avi")
    subprocess.run([os.path.join(SOURCE, "scripts", "fetch-footage.sh"), footage], check=True,
                   stdin=subprocess.DEVNULL, timeout=600)
    pictures = tempfile.mkdtemp(prefix="sentello-e2e-footage-")
    try:
        subprocess.run(
            ["gst-launch-1.0", "-q", "filesrc", "location=" + footage, "!", "decodebin", "!",
             "videoconvert", "!", "jpegenc", "quality=85", "!", "multifilesink",
             "location=" + os.path.join(pictures, "%04d.jpg")],
            check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=300)
        names = sorted(glob.glob(os.path.join(pictures, "*.jpg")))[:PICTURES]
        result = []
        for name in names:
            with open(name, "rb") as picture:
                result.append(picture.read())
        return result
    finally:
        shutil.rmtree(pictures, True)


class FootageServer(MjpegServer):
    """The network camera sending the footage's pictures one after the other, over again."""

    def __init__(self, pictures):
        self.pictures = pictures
        super().__init__(pictures[0])

    def next_picture(self):
        return self.pictures[self.served % len(self.pictures)]


class RealFootageTest(WatchOfTheWall, DesktopTestCase):

    @classmethod
    def setUpClass(cls):
        cls.footage = footage_pictures()
        super().setUpClass()

    def test_the_background_triggers_on_people_walking_far_away(self):
        self.assertEqual(len(self.footage), PICTURES)
        server = FootageServer(self.footage)
        self.addCleanup(server.stop)
        # The trigger where the walkers' share of the blocks lies, in every time slot.
        settings = {"ausloeser%d" % slot: 4 for slot in range(4)}
        sentello = self.start_sentello("--camera", server.uri, settings=settings)
        with open(sentello.settings_path, "ab") as stored:
            stored.write(b"[Erweitert]\r\nreferenz = 1\r\n")
        sentello.choose_first_source(WINDOW_TIMEOUT)

        # Within the footage's first ten seconds, with the second it takes to be served.
        wait_until(lambda: self.count(sentello, "Auslösung") > 0 or server.served > 11 * 10,
                   PICTURE_TIMEOUT + 11, "a trigger or eleven seconds of footage" +
                   sentello.describe())
        self.assertGreater(self.count(sentello, "Auslösung"), 0,
                           "no trigger in %d pictures" % server.served + sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        self.assertIn(b"[Erweitert]\r\nreferenz = 1\r\n", sentello.settings())
