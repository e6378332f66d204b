"""End-to-end tests of values in the settings file that are no plain ASCII: what the older
Windows program left there (Windows-1252 bytes) and what a file with a UTF-8 byte-order mark
holds. A value nobody changed is written back byte for byte, and a file name names the same
file after a restart."""

import os
import struct
import time
import wave

from desktop import MAIN_WINDOW, DesktopTestCase, Sentello, wait_until
from test_alerts import SoundServer

WINDOW_TIMEOUT = 30
EXIT_TIMEOUT = 30
# The demo scene has a large event every 10 to 20 seconds.
TRIGGER_TIMEOUT = 90
REQUESTER_TIMEOUT = 10

REQUESTER_WINDOW = "Media-Datei auswählen:"
# Window-relative points: the "Video" tab of the settings panel, and the "Datei" button of
# the sound file on that tab.
VIDEO_TAB = (612, 35)
SOUND_FILE_BUTTON = (753, 128)

BYTE_ORDER_MARK = b"\xef\xbb\xbf\r\n"
SECOND_OF_SOUND = 44100 * 4


def write_wave(path, seconds=2):
    """A square wave at about 440 Hz, 16-bit stereo; path may be bytes."""
    period = struct.pack("<hh", 8000, 8000) * 50 + struct.pack("<hh", -8000, -8000) * 50
    with open(path, "wb") as out:
        with wave.open(out, "wb") as sound:
            sound.setnchannels(2)
            sound.setsampwidth(2)
            sound.setframerate(44100)
            sound.writeframes(period * (441 * seconds))


def settings_file(lines, mark=False):
    return (BYTE_ORDER_MARK if mark else b"") + b"".join(line + b"\r\n" for line in lines)


class StoredBytesTest(DesktopTestCase):
    """Settings with umlauts, from a start to a close and a restart."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # With a German keyboard "ü" has a key of its own. Otherwise xdotool lends it a spare
        # key for a moment, and the program may read that key after it was given back.
        try:
            cls.desktop.run(["setxkbmap", "de"])
        except BaseException:
            cls.tearDownClass()
            raise

    def start_with_settings(self, contents, environment=None):
        path = Sentello(self.desktop, [], self.folder).settings_path
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as settings:
            settings.write(contents)
        return self.start_sentello("--demo", environment=environment)

    def run_until_closed(self, sentello):
        sentello.choose_first_source(WINDOW_TIMEOUT)
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)

    def test_untouched_windows_1252_values_are_written_back_byte_for_byte(self):
        values = [
            b"sounddatei = /tmp/M\xfcll.wav",
            b"server = h\xe9te",
            b"picname = Gr\xfc\xdfe \x80.jpg",
            b"editbild = /opt/Bildbearbeitung \xc4\xd6\xdc",
            b"editvideo = /opt/Schnitt\xe4r",
        ]
        sentello = self.start_with_settings(settings_file([b"[Optionen]"] + values))
        self.run_until_closed(sentello)
        saved = sentello.settings()
        self.assertFalse(saved.startswith(b"\xef\xbb\xbf"), "no mark where there was none")
        for line in values:
            self.assertIn(b"\r\n" + line + b"\r\n", saved)

    def test_alert_file_with_a_latin1_byte_in_its_name_plays(self):
        sound = SoundServer(self.folder)
        self.addCleanup(sound.stop)
        sound.start()
        path = os.path.join(os.fsencode(self.folder), b"M\xfcll.wav")
        write_wave(path)
        sentello = self.start_with_settings(
            settings_file([b"[Optionen]", b"sound = 1", b"sounddatei = " + path]),
            sound.environment)
        sentello.choose_first_source(WINDOW_TIMEOUT)
        wait_until(lambda: sound.sound_bytes() > SECOND_OF_SOUND, TRIGGER_TIMEOUT,
                   "the alert file to be heard" + sentello.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        self.assertIn(b"\r\nsounddatei = " + path + b"\r\n", sentello.settings())

    def test_sound_file_chosen_in_the_requester_plays_after_a_restart(self):
        # In a file with the mark the values are UTF-8: the chosen name is stored as its UTF-8
        # bytes, once, and a name beyond Latin-1 (Polish letters here) stays as it is.
        sound = SoundServer(self.folder)
        self.addCleanup(sound.stop)
        sound.start()
        path = os.path.join(self.folder, "Müll.wav")
        write_wave(path)
        server = "Łódź.example".encode()
        sentello = self.start_with_settings(
            settings_file([b"[Optionen]", b"sound = 1", b"server = " + server], mark=True),
            sound.environment)
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        self.desktop.click(window, *VIDEO_TAB)
        self.choose_in_requester(sentello, window, path)
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        saved = sentello.settings()
        self.assertTrue(saved.startswith(BYTE_ORDER_MARK + b"[Optionen]\r\n"), saved)
        self.assertIn(b"\r\nsounddatei = " + path.encode() + b"\r\n", saved)
        self.assertIn(b"\r\nserver = " + server + b"\r\n", saved)

        heard = sound.sound_bytes()
        restarted = self.start_sentello("--demo", environment=sound.environment)
        restarted.choose_first_source(WINDOW_TIMEOUT)
        wait_until(lambda: sound.sound_bytes() > heard + SECOND_OF_SOUND, TRIGGER_TIMEOUT,
                   "the chosen file to be heard after the restart" + restarted.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(restarted, 0, EXIT_TIMEOUT)

    def choose_in_requester(self, sentello, window, path):
        """Opens the sound file requester, types the path into its name field and takes it."""
        deadline = time.monotonic() + REQUESTER_TIMEOUT
        while not self.desktop.find_windows(REQUESTER_WINDOW):
            if time.monotonic() >= deadline:
                raise AssertionError("the requester did not open" + sentello.describe())
            self.desktop.click(window, *SOUND_FILE_BUTTON)
            try:
                sentello.wait_for_window(REQUESTER_WINDOW, timeout=2)
            except AssertionError:
                pass
        requester = sentello.wait_for_window(REQUESTER_WINDOW, WINDOW_TIMEOUT)
        self.desktop.run(["xdotool", "windowactivate", "--sync", str(requester)])
        # The requester opens with its name field focused.
        self.desktop.run(["xdotool", "type", "--delay", "30", path])
        self.desktop.run(["xdotool", "key", "Return"])
        sentello.wait_for_window_gone(REQUESTER_WINDOW, REQUESTER_TIMEOUT)
