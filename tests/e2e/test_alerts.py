"""End-to-end tests of the alerts: a trigger of the demo camera's scene plays the alert file
(here a tracker module, which repeats without end) and beeps, into a private PulseAudio server
whose sink is recorded; closing the program stops every sound."""

import glob
import os
import stat
import struct
import subprocess

from desktop import MAIN_WINDOW, DesktopTestCase, end_with_parent, stop_process, wait_until
from test_recording import CLIP_NAME, RECORD_MODE_CHECK_BOX

WINDOW_TIMEOUT = 30
SERVER_TIMEOUT = 20
# The demo scene has a large event every 10 to 20 seconds.
TRIGGER_TIMEOUT = 90
EXIT_TIMEOUT = 30


def write_module(path):
    """A four-channel MOD: a square-wave sample played on each channel, one pattern."""
    sample = bytes([64] * 16 + [192] * 16) * 8
    header = b"sentello".ljust(20, b"\0")
    header += b"square".ljust(22, b"\0") + struct.pack(
        ">HbBHH", len(sample) // 2, 0, 64, 0, len(sample) // 2)
    header += b"\0" * 30 * 30
    header += bytes([1, 127]) + bytes(128) + b"M.K."
    note = struct.pack(">BBBB", 0x01, 0xAC, 0x10, 0x00)  # period 428 (0x1AC), sample 1
    pattern = (note * 4 + b"\0" * 16 * 3) * 16
    with open(path, "wb") as module:
        module.write(header + pattern + sample)


class SoundServer:
    """pulseaudio with a null sink, and parec recording the sink's monitor into a file."""

    def __init__(self, folder):
        self.folder = folder
        self.socket = os.path.join(folder, "native")
        self.recording = os.path.join(folder, "recording.raw")
        self.environment = {"PULSE_SERVER": "unix:" + self.socket,
                            "PULSE_RUNTIME_PATH": folder, "PULSE_STATE_PATH": folder}
        self.server = None
        self.recorder = None

    def start(self):
        environment = dict(os.environ, HOME=self.folder, XDG_CONFIG_HOME=self.folder,
                           **self.environment)
        with open(os.path.join(self.folder, "server.log"), "wb") as log:
            self.server = subprocess.Popen(
                ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                 "--use-pid-file=no", "--disallow-exit", "--log-target=stderr",
                 "-Lmodule-null-sink sink_name=sentello rate=44100 norewinds=1",
                 "-Lmodule-native-protocol-unix auth-anonymous=1 socket=" + self.socket],
                env=environment, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                preexec_fn=end_with_parent)
        wait_until(lambda: os.path.exists(self.socket), SERVER_TIMEOUT, "the sound server")
        with open(os.path.join(self.folder, "recorder.log"), "wb") as log:
            self.recorder = subprocess.Popen(
                ["parec", "-d", "sentello.monitor", "--format=s16le", "--rate=44100",
                 "--channels=2", "--raw", "--latency-msec=20", self.recording],
                env=environment, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                preexec_fn=end_with_parent)
        wait_until(lambda: os.path.exists(self.recording) and os.path.getsize(self.recording),
                   SERVER_TIMEOUT, "the recording of the sink")

    def stop(self):
        stop_process(self.recorder)
        stop_process(self.server)

    def sound_bytes(self):
        """How many bytes of what reached the sink are not silence."""
        with open(self.recording, "rb") as recorded:
            data = recorded.read()
        return len(data) - data.count(0)


class AlertTest(DesktopTestCase):
    """Alerts outside the recording mode."""

    def test_trigger_plays_the_alert_module_until_the_program_ends(self):
        sound = SoundServer(self.folder)
        self.addCleanup(sound.stop)
        sound.start()
        module = os.path.join(self.folder, "alarm.mod")
        write_module(module)
        sentello = self.start_sentello(
            "--demo", environment=sound.environment,
            settings={"hinweiston": 1, "sound": 1, "sounddatei": module})
        sentello.choose_first_source(WINDOW_TIMEOUT)

        # Three seconds of sound: longer than the bell and than one pass of the module.
        wait_until(lambda: sound.sound_bytes() > 3 * 44100 * 4, TRIGGER_TIMEOUT,
                   "the alert to be heard" + sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        # A module repeats without end: the program ends only if it stops it.
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        heard = sound.sound_bytes()
        # After the program, nothing more arrives at the sink.
        size = os.path.getsize(sound.recording)
        wait_until(lambda: os.path.getsize(sound.recording) > size + 44100 * 4, SERVER_TIMEOUT,
                   "the recording to go on")
        self.assertLess(sound.sound_bytes() - heard, 4410 * 4,
                        "at most a tenth of a second after the program ended")

    def test_an_alert_file_that_is_a_fifo_leaves_the_watch_going(self):
        # Nobody ever writes into it: a player that opened it would wait for good.
        fifo = os.path.join(self.folder, "alarm.wav")
        os.mkfifo(fifo)
        sentello = self.start_sentello(
            "--demo", settings={"sound": 1, "sounddatei": fifo, "videolaenge": 1, "warten": 1})
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        self.desktop.click(window, *RECORD_MODE_CHECK_BOX)

        def clips():
            return [path for path in glob.glob(os.path.join(sentello.home, "*.avi"))
                    if CLIP_NAME.search(path)]
        wait_until(lambda: len(clips()) >= 2, 2 * TRIGGER_TIMEOUT,
                   "a second trigger's clip" + sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        self.assertTrue(stat.S_ISFIFO(os.stat(fifo).st_mode))
        self.assertIn(b"sounddatei = " + fifo.encode(), sentello.settings() or b"")
