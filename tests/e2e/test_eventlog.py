"""End-to-end tests of the record of the watch: the event log (what a trigger did and how its
clip ended, a network camera that the test stops and starts again), the storage limit and the
floor of free space, read from "Sentello.log" beside the settings; and the desktop
notification of a trigger, received by dunst on a private session bus."""

import os
import re
import subprocess
import time

from desktop import MAIN_WINDOW, DesktopTestCase, end_with_parent, wait_until
from test_recording import RECORD_MODE_CHECK_BOX
from test_sentello import MjpegServer
from test_watching import encode_pictures, wall, with_box

WINDOW_TIMEOUT = 30
PICTURE_TIMEOUT = 15
TRIGGER_TIMEOUT = 20
RECONNECT_TIMEOUT = 30
NOTIFICATION_TIMEOUT = 20
EXIT_TIMEOUT = 30

LINE = re.compile(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\t(.*)")


class WatchOfTheWall:
    """A wall on the camera that a box walks in front of, and the log read back."""

    @classmethod
    def setUpClass(cls):
        encode_pictures(cls, {"wall": wall, "box": with_box(wall)})
        super().setUpClass()

    def events(self, sentello, root=""):
        """The fields after the time of each line of the log, or None for a line without; the
        log as a program in a mount namespace of its own sees it through `root`."""
        path = root + os.path.join(os.path.dirname(sentello.settings_path), "Sentello.log")
        try:
            with open(path, encoding="utf-8") as log:
                lines = log.read().splitlines()
        except FileNotFoundError:
            return []
        return [LINE.fullmatch(line).group(1).split("\t") if LINE.fullmatch(line) else None
                for line in lines]

    def switch_recording_mode(self, window):
        """Clicks the recording mode's check box, and again while its mark has not changed: a
        click that comes while a loaded desktop still places the window is lost. The mouse is
        moved off the box before each look, so that its hover does not pass for the mark."""
        x, y = RECORD_MODE_CHECK_BOX
        def mark():
            self.desktop.run(["xdotool", "mousemove", "--window", str(window), "1", "1"])
            return self.desktop.screenshot(window, x - 10, y - 8, 16, 16).data
        before = mark()
        for _ in range(3):
            self.desktop.click(window, x, y)
            try:
                wait_until(lambda: mark() != before, 3, "the recording mode's mark")
                return
            except AssertionError:
                continue
        raise AssertionError("the recording mode's check box took no click")

    def box_walks_in(self, window, server, record=True):
        """Recording mode on (unless it is), two seconds of the wall, then the box."""
        if record:
            self.switch_recording_mode(window)
        start = server.served
        wait_until(lambda: server.served >= start + 2 * MjpegServer.RATE, PICTURE_TIMEOUT,
                   "two seconds of the wall")
        server.picture = self.box

    def times(self, sentello, kind, root=""):
        """The seconds since the epoch of each line of that kind."""
        path = root + os.path.join(os.path.dirname(sentello.settings_path), "Sentello.log")
        with open(path, encoding="utf-8") as log:
            return [time.mktime(time.strptime(line[:19], "%Y-%m-%d %H:%M:%S"))
                    for line in log.read().splitlines() if line[20:].split("\t")[0] == kind]

    def count(self, sentello, kind, root=""):
        return sum(1 for event in self.events(sentello, root) if event and event[0] == kind)


class EventLogTest(WatchOfTheWall, DesktopTestCase):

    def start(self, server, settings=None):
        sentello = self.start_sentello("--camera", server.uri, settings=settings or {})
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        wait_until(lambda: [["Start", "Sentello Version 1.17", server.uri]] == self.events(
            sentello)[:1] or None, PICTURE_TIMEOUT, "the start in the log" + sentello.describe())
        return sentello, window

    def test_a_trigger_is_logged_with_its_clip_and_how_it_ended(self):
        server = MjpegServer(self.wall)
        self.addCleanup(server.stop)
        sentello, window = self.start(server, {"videolaenge": 3, "warten": 1})
        self.box_walks_in(window, server)
        wait_until(lambda: self.count(sentello, "Video fertig"), TRIGGER_TIMEOUT,
                   "the finished clip in the log" + sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)

        clips = [name for name in os.listdir(sentello.home) if name.endswith(".avi")]
        self.assertEqual(len(clips), 1)
        events = self.events(sentello)
        self.assertEqual(events[0][0], "Start")
        trigger, finished, end = events[1:]
        self.assertEqual(trigger[0], "Auslösung")
        share = re.fullmatch(r"(\d+) %", trigger[1])
        self.assertIsNotNone(share, trigger)
        self.assertGreaterEqual(int(share.group(1)), 25)
        self.assertEqual(trigger[2], "Video " + clips[0])
        self.assertEqual(finished, ["Video fertig", clips[0]])
        self.assertEqual(end, ["Ende"])

    def test_the_storage_limit_deletes_the_oldest_clip_and_keeps_the_new_one(self):
        server = MjpegServer(self.wall)
        self.addCleanup(server.stop)
        sentello = self.start_sentello("--camera", server.uri,
                                       settings={"videolaenge": 3, "warten": 1})
        with open(sentello.settings_path, "ab") as stored:
            stored.write(b"[Erweitert]\r\nspeichergrenze = 4\r\n")
        os.makedirs(sentello.home, exist_ok=True)
        # Two old clips of 3 MB each (sparse: only their size counts).
        old = ["Video_Sentello_20110304211503.avi", "Video_Sentello_20110304211600.avi"]
        for name in old:
            with open(os.path.join(sentello.home, name), "wb") as clip:
                clip.truncate(3 * 1024 * 1024)
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        self.box_walks_in(window, server)
        wait_until(lambda: self.count(sentello, "Video fertig"), TRIGGER_TIMEOUT,
                   "the finished clip in the log" + sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)

        clips = sorted(name for name in os.listdir(sentello.home) if name.endswith(".avi"))
        self.assertEqual(len(clips), 2, clips)
        self.assertEqual(clips[0], old[1])
        events = self.events(sentello)
        self.assertIn(["Video gelöscht", old[0], "Speichergrenze"], events)
        self.assertEqual(self.count(sentello, "Video gelöscht"), 1)

    def test_with_too_little_room_left_no_clip_starts(self):
        if subprocess.run(["unshare", "-m", "true"], capture_output=True,
                          check=False).returncode != 0:
            self.skipTest("no mount namespace of its own may be made here")
        server = MjpegServer(self.wall)
        self.addCleanup(server.stop)
        # The home folder, where clips go, becomes a disk of 20 MB for the program alone, with
        # what the test put there before.
        home = os.path.join(self.folder, "home")
        launcher = ["unshare", "-m", "sh", "-e", "-c",
                    'tar -C "$HOME" -cf "$HOME.tar" . && mount -t tmpfs -o size=20m none "$HOME"'
                    ' && tar -C "$HOME" -xf "$HOME.tar" && exec "$@"', "sh"]
        sentello = self.start_sentello("--camera", server.uri, launcher=launcher,
                                       settings={"videolaenge": 3, "warten": 3})
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        inside = "/proc/%d/root" % sentello.process.pid
        with open("/proc/%d/mounts" % sentello.process.pid) as mounts:
            self.assertIn(" %s tmpfs " % home, mounts.read())
        # The box moves on every picture, so every picture after a wait could trigger.
        self.desktop.click(window, *RECORD_MODE_CHECK_BOX)
        server.flicker = (self.wall, self.box)

        def failed():
            return next((event for event in self.events(sentello, inside)
                         if event and event[0] == "Video fehlgeschlagen"), None)
        failure = wait_until(failed, TRIGGER_TIMEOUT, "the failed clip in the log"
                             + sentello.describe())
        self.assertEqual(failure[2], "less than 200 MB free on the disk")
        self.assertEqual([name for name in os.listdir(inside + home) if name.endswith(".avi")],
                         [])
        # The watch goes on, and a clip that could not start waits as a finished one does: the
        # triggers come three seconds apart.
        wait_until(lambda: self.count(sentello, "Video fehlgeschlagen", inside) >= 3,
                   TRIGGER_TIMEOUT, "three failed clips" + sentello.describe())
        # Read while the program's disk is there.
        times = self.times(sentello, "Auslösung", inside)
        self.assertGreaterEqual(len(times), 3)
        for before, after in zip(times, times[1:]):
            # Whole seconds in the log: three seconds apart are at least two.
            self.assertGreaterEqual(after - before, 2, times)
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)

    def test_a_lost_camera_is_logged_once_and_its_return(self):
        server = MjpegServer(self.wall)
        port = server.http.server_address[1]
        sentello, window = self.start(server)
        server.stop()
        wait_until(lambda: ["Kamera verloren"] in self.events(sentello), RECONNECT_TIMEOUT,
                   "the lost camera in the log" + sentello.describe())
        # Reconnecting goes on meanwhile.
        wait_until(lambda: sentello.stderr().count("reconnecting") >= 2, RECONNECT_TIMEOUT,
                   "two reconnections" + sentello.describe())
        server = MjpegServer(self.wall, port)
        self.addCleanup(server.stop)

        def back():
            return next((event for event in self.events(sentello)
                         if event and event[0] == "Kamera wieder da"), None)
        returned = wait_until(back, RECONNECT_TIMEOUT, "the camera back in the log"
                              + sentello.describe())
        self.assertRegex(returned[1], r"^nach \d+ Verbindungsversuchen?$")
        self.assertEqual(self.events(sentello).count(["Kamera verloren"]), 1)
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)


class NotificationBus:
    """A private session bus with dunst as its notification service, and dbus-monitor noting
    every call to it."""

    def __init__(self, folder, desktop):
        self.folder = folder
        self.desktop = desktop
        self.processes = []
        self.calls = os.path.join(folder, "notification-calls.txt")
        self.address = None

    def start(self):
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1",
                          "--address=unix:path=" + os.path.join(self.folder, "bus")],
                         stdout=subprocess.PIPE)
        self.address = bus.stdout.readline().decode().strip()
        with open(self.calls, "wb") as calls:
            self.spawn(["dbus-monitor", "--address", self.address,
                        "interface='org.freedesktop.Notifications',member='Notify'"],
                       stdout=calls)
        self.spawn(["dunst"], environment=self.environment)
        wait_until(lambda: b"boolean true" in self.call_bus(
            "org.freedesktop.DBus", "/", "org.freedesktop.DBus.NameHasOwner",
            "string:org.freedesktop.Notifications"), NOTIFICATION_TIMEOUT,
            "dunst on the private bus")

    @property
    def environment(self):
        return {"DBUS_SESSION_BUS_ADDRESS": self.address}

    def spawn(self, command, environment=None, stdout=subprocess.DEVNULL):
        process = subprocess.Popen(
            command, env=self.desktop.environment(HOME=self.folder, XDG_CONFIG_HOME=self.folder,
                                                  **(environment or {})),
            stdin=subprocess.DEVNULL, stdout=stdout, stderr=subprocess.DEVNULL,
            preexec_fn=end_with_parent)
        self.processes.append(process)
        return process

    def call_bus(self, destination, path, method, *arguments):
        return subprocess.run(
            ["dbus-send", "--bus=" + self.address, "--print-reply",
             "--dest=" + destination, path, method, *arguments],
            capture_output=True, timeout=20, check=False).stdout

    def received(self):
        """How many notifications dunst has shown, is showing or keeps waiting."""
        counts = [subprocess.run(["dunstctl", "count", which], env=dict(
            os.environ, **self.environment), capture_output=True, text=True, timeout=20,
            check=False).stdout.strip() for which in ("displayed", "history", "waiting")]
        return sum(int(count) for count in counts if count.isdigit())

    def stop(self):
        for process in reversed(self.processes):
            process.terminate()
            process.wait(timeout=20)
            if process.stdout:
                process.stdout.close()


class NotificationTest(WatchOfTheWall, DesktopTestCase):

    def test_triggers_reach_the_desktop_once_in_ten_seconds_with_their_picture(self):
        bus = NotificationBus(self.folder, self.desktop)
        self.addCleanup(bus.stop)
        bus.start()
        server = MjpegServer(self.wall)
        self.addCleanup(server.stop)
        sentello = self.start_sentello("--camera", server.uri, environment=bus.environment,
                                       settings={"warten": 1})
        with open(sentello.settings_path, "ab") as stored:
            stored.write(b"[Erweitert]\r\nbenachrichtigung = 1\r\n")
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        # The box comes and goes three times within a few seconds: three triggers.
        for picture in (self.box, self.wall, self.box):
            start = server.served
            wait_until(lambda: server.served >= start + MjpegServer.RATE, PICTURE_TIMEOUT,
                       "a second of pictures")
            server.picture = picture
        wait_until(lambda: self.count(sentello, "Auslösung") >= 3, TRIGGER_TIMEOUT,
                   "three triggers in the log" + sentello.describe())
        wait_until(lambda: bus.received() >= 1, NOTIFICATION_TIMEOUT,
                   "the notification at dunst" + sentello.describe())
        self.assertEqual(bus.received(), 1)
        with open(bus.calls) as calls:
            call = calls.read()
        self.assertEqual(call.count("member=Notify"), 1, call)
        self.assertIn('string "Sentello: Bewegung erkannt"', call)
        self.assertRegex(call, r'string "\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d – \d+ % des Bildes')
        # The picture of the moment, 160 pixels wide as the camera's: width, height, stride.
        self.assertRegex(call, r'string "image-data"\s+variant\s+struct {\s+int32 160\s+'
                               r'int32 120\s+int32 480')
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)


class ProfileTest(WatchOfTheWall, DesktopTestCase):
    """Two watches of one camera side by side, each with its own profile."""

    def test_two_profiles_keep_two_settings_files_logs_and_clip_sets(self):
        server = MjpegServer(self.wall)
        self.addCleanup(server.stop)
        watches = {}
        for profile in ("Garten", "Flur"):
            sentello = self.start_sentello("--camera", server.uri, "--profile", profile,
                                           settings={"videolaenge": 3, "warten": 1})
            sentello.choose_line(0, WINDOW_TIMEOUT)
            title = MAIN_WINDOW + " – " + profile
            window = sentello.wait_for_window(title, WINDOW_TIMEOUT)
            # The windows lie on each other: the one clicked comes to the top first.
            self.desktop.run(["xdotool", "windowactivate", "--sync", str(window)])
            self.desktop.click(window, *RECORD_MODE_CHECK_BOX)
            watches[profile] = sentello, title
        self.box_walks_in(None, server, record=False)
        for sentello, _ in watches.values():
            wait_until(lambda: self.count(sentello, "Video fertig"), TRIGGER_TIMEOUT,
                       "the finished clip in the log" + sentello.describe())
        for sentello, title in watches.values():
            self.desktop.close_window(title)
            self.assertExitCode(sentello, 0, EXIT_TIMEOUT)

        home = watches["Garten"][0].home
        clips = sorted(name for name in os.listdir(home) if name.endswith(".avi"))
        self.assertEqual(len(clips), 2, clips)
        self.assertRegex(clips[0], r"^Video_Sentello_Flur_\d{14}\.avi$")
        self.assertRegex(clips[1], r"^Video_Sentello_Garten_\d{14}\.avi$")
        for profile, (sentello, _) in watches.items():
            self.assertIn(b"videolaenge = 3", sentello.settings())
            events = self.events(sentello)
            finished = [event for event in events if event and event[0] == "Video fertig"]
            self.assertEqual(len(finished), 1, events)
            self.assertIn("Video_Sentello_%s_" % profile, finished[0][1])
        # Without a profile, nothing of theirs: no settings file of its own was made.
        folder = os.path.dirname(os.path.dirname(watches["Garten"][0].settings_path))
        self.assertFalse(os.path.exists(os.path.join(folder, "Sentello.prefs")))
