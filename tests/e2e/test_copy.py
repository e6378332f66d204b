"""End-to-end tests of the copies off the premises against a private FTP server on 127.0.0.1
(tests/support/ftpserver.py, pyftpdlib): a trigger's picture and its clip in the day's folder,
the copies that waited for a server away when the program was killed with SIGKILL, each on
the server once after the next start, and a clip killed midway: its parts on the server play
and hold all but its last seconds, and after the next start the mended clip replaces them."""

import os
import signal
import subprocess
import sys
import time

from desktop import MAIN_WINDOW, DesktopTestCase, Sentello, end_with_parent, stop_process, \
    wait_until
from test_cliprepair import probe
from test_eventlog import WatchOfTheWall
from test_remotefaults import SUPPORT, free_port, scrambled
from test_sentello import MjpegServer

WINDOW_TIMEOUT = 30
# A network camera's clips are written at a steady rate, whatever it sends.
CLIP_RATE = 25
# The server holds a clip being recorded up to within this many seconds.
PARTS_BEHIND_SECONDS = 5
TRIGGER_TIMEOUT = 60
DELIVERY_TIMEOUT = 60
SERVER_TIMEOUT = 20
EXIT_TIMEOUT = 30
USER = "wächter"
PASSWORD = "geheim 1"


class FtpServer:
    """pyftpdlib serving a folder of its own to USER on a port of 127.0.0.1, noting each file
    it received whole."""

    def __init__(self, folder, port):
        self.folder = os.path.join(folder, "ftp")
        self.received = os.path.join(folder, "received.txt")
        self.port = port
        os.makedirs(self.folder, exist_ok=True)
        self.process = None

    def start(self):
        self.process = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(SUPPORT, "ftpserver.py"), self.folder, USER,
             PASSWORD, str(self.port), self.received],
            stdout=subprocess.PIPE, preexec_fn=end_with_parent)
        said = self.process.stdout.readline().decode()
        if not said.startswith("port "):
            raise AssertionError("the FTP server did not start: %r" % said)

    def stop(self):
        if self.process:
            stop_process(self.process)
            self.process.stdout.close()

    def day(self):
        return os.path.join(self.folder, "sentello", time.strftime("%Y-%m-%d"))

    def names(self):
        try:
            return sorted(os.listdir(self.day()))
        except FileNotFoundError:
            return []

    def received_names(self):
        try:
            with open(self.received, encoding="utf-8") as received:
                return [os.path.basename(line) for line in received.read().splitlines()]
        except FileNotFoundError:
            return []


class CopyTest(WatchOfTheWall, DesktopTestCase):

    def start_copying(self, camera, server, clip_seconds=3):
        """The program watching the camera, its copies going to the server."""
        sentello = Sentello(self.desktop, ["--camera", camera.uri], self.folder)
        os.makedirs(os.path.dirname(sentello.settings_path), exist_ok=True)
        lines = ["[Optionen]", "warten = 1", "videolaenge = %d" % clip_seconds, "[Kopie]",
                 "kopie = 1",
                 "kopieserver = 127.0.0.1", "kopieport = %d" % server.port,
                 "kopieuser = " + scrambled(USER), "kopiepass = " + scrambled(PASSWORD)]
        with open(sentello.settings_path, "wb") as out:
            out.write(("\r\n".join(lines) + "\r\n").encode())
        self.addCleanup(sentello.stop)
        sentello.start()
        return sentello, sentello.choose_first_source(WINDOW_TIMEOUT)

    def outbox(self, sentello):
        """The ids of the copies waiting in the outbox."""
        folder = os.path.join(os.path.dirname(sentello.settings_path), "Ausgang")
        try:
            return sorted(name[:-4] for name in os.listdir(folder) if name.endswith(".msg"))
        except FileNotFoundError:
            return []

    def server(self):
        server = FtpServer(self.folder, free_port())
        self.addCleanup(server.stop)
        return server

    def test_a_trigger_picture_and_its_clip_arrive_in_the_days_folder(self):
        camera = MjpegServer(self.wall)
        self.addCleanup(camera.stop)
        server = self.server()
        server.start()
        sentello, window = self.start_copying(camera, server)
        self.box_walks_in(window, camera)
        seen = time.monotonic()
        picture = wait_until(
            lambda: next((name for name in server.names() if name.startswith("Bild_Sentello_")
                          and name.endswith(".jpg")), None),
            TRIGGER_TIMEOUT, "the trigger's picture on the server" + sentello.describe(),
            interval=0.01)
        # How long from the box on the camera to the picture on the server, for the record.
        print("trigger picture on the server %.0f ms after the box came" %
              ((time.monotonic() - seen) * 1000), file=sys.stderr)
        wait_until(lambda: self.count(sentello, "Video fertig"), TRIGGER_TIMEOUT,
                   "the finished clip in the log" + sentello.describe())
        clips = [name for name in os.listdir(sentello.home) if name.endswith(".avi")]
        self.assertEqual(len(clips), 1)
        wait_until(lambda: clips[0] in server.names() or None, DELIVERY_TIMEOUT,
                   "the clip on the server" + sentello.describe())
        with open(os.path.join(sentello.home, clips[0]), "rb") as local, \
                open(os.path.join(server.day(), clips[0]), "rb") as copied:
            self.assertEqual(local.read(), copied.read(), "the clip byte for byte")
        with open(os.path.join(server.day(), picture), "rb") as copied:
            self.assertEqual(copied.read(2), b"\xff\xd8", "the picture, a JPEG")
        self.assertIn(picture + ".tmp", server.received_names(), "sent by a temporary name")
        self.assertIn(clips[0] + ".tmp", server.received_names(), "sent by a temporary name")
        self.assertFalse([name for name in server.names() if name.endswith(".tmp")])
        self.assertFalse([event for event in self.events(sentello)
                          if event and event[0] == "Fernalarm"], "nothing went wrong")
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)

    def test_copies_waiting_at_a_kill_arrive_once_after_the_next_start(self):
        camera = MjpegServer(self.wall)
        self.addCleanup(camera.stop)
        server = self.server()
        sentello, _ = self.start_copying(camera, server)
        camera.flicker = (self.wall, self.box)
        try:
            wait_until(lambda: len(self.outbox(sentello)) >= 3 or None, TRIGGER_TIMEOUT,
                       "three copies waiting" + sentello.describe())
        finally:
            camera.flicker = ()
        sentello.process.send_signal(signal.SIGKILL)
        sentello.process.wait(EXIT_TIMEOUT)
        waiting = self.outbox(sentello)
        self.assertGreaterEqual(len(waiting), 3)

        server.start()
        again, _ = self.start_copying(camera, server)
        wait_until(lambda: not self.outbox(again) or None, DELIVERY_TIMEOUT,
                   "an empty outbox" + again.describe())
        pictures = [name for name in server.names() if name.endswith(".jpg")]
        self.assertEqual(len(pictures), len(waiting), server.names())
        self.assertEqual(len(server.received_names()), len(waiting), "each sent once")
        wait_until(lambda: sum(1 for event in self.events(again)
                               if event and event[:3] == ["Fernalarm", "verspätet zugestellt",
                                                          "Kopie"]) >= len(waiting) or None,
                   DELIVERY_TIMEOUT, "a line for each copy that came late" + again.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(again, 0, EXIT_TIMEOUT)

    def test_a_clip_killed_midway_is_on_the_server_in_parts_then_whole(self):
        camera = MjpegServer(self.wall)
        self.addCleanup(camera.stop)
        server = self.server()
        server.start()
        sentello, window = self.start_copying(camera, server, clip_seconds=30)
        self.box_walks_in(window, camera)
        clip = wait_until(
            lambda: next((name for name in os.listdir(sentello.home) if name.endswith(".avi")),
                         None), TRIGGER_TIMEOUT, "the clip begun" + sentello.describe())
        stem = clip[:-len(".avi")]
        parts = lambda: [name for name in server.names()
                         if name.startswith(stem + ".teil") and name.endswith(".avi")]
        wait_until(lambda: len(parts()) >= 2 or None, TRIGGER_TIMEOUT,
                   "two parts of the clip on the server" + sentello.describe())
        sentello.process.send_signal(signal.SIGKILL)
        sentello.process.wait(EXIT_TIMEOUT)

        on_server = 0
        for part in parts():
            counted, decoded = probe(os.path.join(server.day(), part))
            self.assertGreater(decoded, 0, part + " plays")
            self.assertEqual(counted, decoded, part + " counts what it holds")
            on_server += decoded
        self.assertFalse(os.path.exists(os.path.join(server.day(), clip)))

        again, _ = self.start_copying(camera, server, clip_seconds=30)
        wait_until(lambda: clip in server.names() or None, DELIVERY_TIMEOUT,
                   "the mended clip on the server" + again.describe())
        wait_until(lambda: not parts() or None, DELIVERY_TIMEOUT,
                   "the parts replaced by the clip" + again.describe())
        with open(os.path.join(again.home, clip), "rb") as local, \
                open(os.path.join(server.day(), clip), "rb") as copied:
            self.assertEqual(local.read(), copied.read(), "the mended clip byte for byte")
        _, recorded = probe(os.path.join(server.day(), clip))
        print("the parts held %d of the %d pictures recorded before the kill" %
              (on_server, recorded), file=sys.stderr)
        # All but the last seconds before the kill were on the server before it.
        self.assertGreaterEqual(on_server, recorded - PARTS_BEHIND_SECONDS * CLIP_RATE)
        self.assertLessEqual(on_server, recorded)
        part_folder = os.path.join(os.path.dirname(again.settings_path), "Videoteile")
        wait_until(lambda: not os.listdir(part_folder) or None, DELIVERY_TIMEOUT,
                   "no part left behind" + again.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(again, 0, EXIT_TIMEOUT)
