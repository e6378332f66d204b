"""End-to-end tests of the recording mode: the demo camera's scene triggers, and what a trigger
sets going (clips, the video tool, the clip list) is checked on the disk and on the screen; the
minute step uploads a snapshot to a private FTP server."""

import glob
import os
import re
import signal
import stat
import struct
import subprocess

from desktop import DesktopTestCase, wait_until

RECORD_MODE_CHECK_BOX = (524, 12)
# The video list's first row, below its header.
FIRST_LIST_ROW = (8, 302, 500, 14)

WINDOW_TIMEOUT = 30
# The demo scene has a large event every 10 to 20 seconds; a clip takes its length and two.
TRIGGER_TIMEOUT = 90
EXIT_TIMEOUT = 30

CLIP_NAME = re.compile(r"Video_Sentello_\d{14}\.avi$")
# The first minute step comes a minute after the window was shown.
MINUTE_STEP_TIMEOUT = 120
FTP_SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support",
                          "ftpserver.py")


def discover(path):
    """What GStreamer's discoverer reads from a file: duration in seconds, picture size, sound."""
    result = subprocess.run(["gst-discoverer-1.0", path], capture_output=True, text=True,
                            timeout=60, stdin=subprocess.DEVNULL, check=False)
    output = result.stdout
    duration = re.search(r"Duration: (\d+):(\d+):([\d.]+)", output)
    width = re.search(r"Width: (\d+)", output)
    height = re.search(r"Height: (\d+)", output)
    return {
        "container": "Audio Video Interleave" in output,
        "seconds": (int(duration.group(1)) * 3600 + int(duration.group(2)) * 60
                    + float(duration.group(3))) if duration else None,
        "size": (int(width.group(1)), int(height.group(1))) if width and height else None,
        "sound": re.search(r"audio #\d", output) is not None,
    }


def played_pictures(path):
    """The pictures ffmpeg decodes from a clip, from its start to where it ends."""
    result = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                             "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", path],
                            capture_output=True, text=True, timeout=60, stdin=subprocess.DEVNULL,
                            check=False)
    return int(result.stdout.strip() or 0) if result.stdout.strip().isdigit() else 0


def jpeg_size(path):
    """Width and height from a JPEG's frame header, or None for anything else."""
    with open(path, "rb") as picture:
        data = picture.read()
    if not data.startswith(b"\xff\xd8"):
        return None
    position = 2
    while position + 9 < len(data):
        marker, length = data[position + 1], struct.unpack(">H", data[position + 2:position + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2):
            height, width = struct.unpack(">HH", data[position + 5:position + 9])
            return width, height
        position += 2 + length
    return None


def write_tool(path, log):
    """A video tool that notes the arguments it got, one a line."""
    with open(path, "w") as tool:
        tool.write("#!/bin/sh\nprintf '%%s\\n' \"$@\" > \"%s\"\n" % log)
    os.chmod(path, stat.S_IRWXU)


class RecordingTest(DesktopTestCase):
    """Recording mode on, the demo camera as the source."""

    def start_recording_mode(self, options, **extra):
        sentello = self.start_sentello("--demo", settings=options, **extra)
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        self.desktop.click(window, *RECORD_MODE_CHECK_BOX)
        return sentello, window

    def clips(self, sentello):
        return sorted(path for path in glob.glob(os.path.join(sentello.home, "*.avi"))
                      if CLIP_NAME.search(path))

    def test_trigger_records_a_clip_and_hands_it_to_the_video_tool(self):
        tool_folder = os.path.join(self.folder, "my tools")
        os.makedirs(tool_folder)
        tool = os.path.join(tool_folder, "video tool")
        log = os.path.join(self.folder, "tool-arguments.txt")
        write_tool(tool, log)
        sentello, window = self.start_recording_mode({
            "videolaenge": 3, "warten": 1, "audioinfos": 1, "toolvideo": 1, "editvideo": tool})
        empty_row = self.desktop.screenshot(window, *FIRST_LIST_ROW)

        wait_until(lambda: os.path.exists(log), TRIGGER_TIMEOUT,
                   "the video tool to be started" + sentello.describe())
        with open(log) as arguments:
            handed = arguments.read().splitlines()
        clips = self.clips(sentello)
        self.assertEqual(len(handed), 1, "one argument: the quoted clip path")
        self.assertIn(handed[0], clips)
        self.assertEqual(os.path.dirname(handed[0]), sentello.home)

        facts = discover(handed[0])
        self.assertTrue(facts["container"], facts)
        self.assertEqual(facts["size"], (640, 480))
        self.assertTrue(facts["sound"], facts)
        # Three seconds asked, two more given.
        self.assertAlmostEqual(facts["seconds"], 5.0, delta=0.5)

        row = self.desktop.screenshot(window, *FIRST_LIST_ROW)
        self.assertGreater(row.changed_pixels(empty_row), 20, "the clip's row is shown")

        self.desktop.close_window("Sentello Version 1.17")
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)

    def test_clips_of_earlier_runs_are_listed_at_start(self):
        sentello = self.start_sentello("--demo")
        os.makedirs(sentello.home, exist_ok=True)
        with open(os.path.join(sentello.home, "Video_Sentello_20110304211503.avi"), "wb"):
            pass
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        # A window just mapped may not have painted its list yet.
        def row_shown():
            return self.desktop.screenshot(window, *FIRST_LIST_ROW).dominant_share() <= 0.99
        wait_until(row_shown, WINDOW_TIMEOUT, "the earlier clip's row" + sentello.describe())

    def test_termination_finishes_the_clip_and_saves_the_settings(self):
        sentello, _ = self.start_recording_mode({"videolaenge": 60})

        def clip_under_way():
            clips = self.clips(sentello)
            # About a second and a half of pictures.
            return clips and os.path.getsize(clips[0]) > 1024 * 1024 and clips[0]
        clip = wait_until(clip_under_way, TRIGGER_TIMEOUT,
                          "a clip being written" + sentello.describe())
        sentello.process.send_signal(signal.SIGTERM)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        with open(clip, "rb") as written:
            self.assertIn(b"idx1", written.read(), "the muxer finished the file with its index")
        facts = discover(clip)
        self.assertGreater(facts["seconds"] or 0, 1.0, facts)
        self.assertIn(b"[Optionen]", sentello.settings() or b"")

    def test_failed_recording_lets_the_detection_go_on(self):
        # Writes beyond 1 MiB fail as on a full disk; the settings file stays far below.
        sentello, _ = self.start_recording_mode({"videolaenge": 10, "warten": 0},
                                                file_size_limit=1024 * 1024)

        def failures():
            return sentello.stderr().count("sentello: recording ")
        wait_until(lambda: failures() >= 2, 2 * TRIGGER_TIMEOUT,
                   "a second trigger after a failed clip" + sentello.describe())
        self.assertTrue(sentello.running())
        # Each clip cut short keeps what was written up to the cut, and plays it.
        self.assertEqual(sentello.stderr().count(": cut short"), failures(), sentello.describe())
        clips = self.clips(sentello)
        self.assertGreaterEqual(len(clips), 2)
        for clip in clips[:2]:
            self.assertGreater(played_pictures(clip), 5, clip)


class MinuteUploadTest(DesktopTestCase):
    """The minute step of the recording mode, against a private FTP server on 127.0.0.1."""

    def start_ftp_server(self, folder):
        server = subprocess.Popen(
            ["/usr/bin/python3", FTP_SERVER, folder, "waechter", "geheim"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
            text=True)
        self.addCleanup(server.wait)
        self.addCleanup(server.kill)
        line = server.stdout.readline()
        match = re.match(r"port (\d+)", line)
        self.assertIsNotNone(match, "the FTP server did not start: %r" % line)
        return int(match.group(1))

    def test_snapshot_is_uploaded_and_handed_to_the_picture_tool(self):
        served = os.path.join(self.folder, "served")
        os.makedirs(os.path.join(served, "webcam"))
        port = self.start_ftp_server(served)
        temporary = os.path.join(self.folder, "tmp")
        os.makedirs(temporary)
        log = os.path.join(self.folder, "tool-arguments.txt")
        tool = os.path.join(self.folder, "picture tool")
        write_tool(tool, log)
        sentello = self.start_sentello(
            "--demo", environment={"TMPDIR": temporary},
            settings={"upload": 1, "server": "127.0.0.1:%d" % port,
                      "picname": "webcam/bild.jpg", "toolbild": 1, "editbild": tool})
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        self.desktop.click(window, *RECORD_MODE_CHECK_BOX)

        uploaded = os.path.join(served, "webcam", "bild.jpg")
        wait_until(lambda: os.path.exists(log) and os.path.exists(uploaded),
                   MINUTE_STEP_TIMEOUT, "the minute step's upload" + sentello.describe())
        wait_until(lambda: jpeg_size(uploaded) is not None, MINUTE_STEP_TIMEOUT,
                   "the upload to be complete")
        self.assertEqual(jpeg_size(uploaded), (640, 480))
        # The tool's picture lies in the session's runtime folder, readable by the user alone.
        picture = os.path.join(self.folder, "runtime", "sentello", "sentello.jpg")
        with open(log) as arguments:
            self.assertEqual(arguments.read().splitlines(), [picture])
        self.assertEqual(jpeg_size(picture), (640, 480))
        self.assertEqual(stat.S_IMODE(os.stat(picture).st_mode), 0o600)
        self.assertEqual(os.listdir(temporary), [])
        # Arrived, and in the log so.
        wait_until(lambda: ["Upload", "webcam/bild.jpg"] in sentello.events(),
                   MINUTE_STEP_TIMEOUT, "the upload in the log" + sentello.describe())
        self.assertTrue(sentello.running())
