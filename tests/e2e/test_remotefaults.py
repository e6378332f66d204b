"""End-to-end tests of the alarm away from home against real servers on 127.0.0.1 that fail as
servers do: Debian's mosquitto with a password file (killed program, broker down at the
trigger) and with a certificate of its own (refused until pinned), an SMTP server that stalls in the middle of the first mail, and a disk too full for
the pictures. In each, nothing is lost."""

import base64
import hashlib
import json
import os
import pwd
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest

from desktop import MAIN_WINDOW, DesktopTestCase, Sentello, end_with_parent, stop_process, \
    wait_until
from test_eventlog import WatchOfTheWall
from test_remotealarm import WebHook
from test_sentello import MjpegServer
from test_watching import HEIGHT, WIDTH

WINDOW_TIMEOUT = 30
MESSAGE_TIMEOUT = 30
DELIVERY_TIMEOUT = 60
SERVER_TIMEOUT = 20
EXIT_TIMEOUT = 30
# The mail channel gives a silent server 30 s, then tries again after 1 s.
STALLED_DELIVERY_TIMEOUT = 90
# The broker stays down while the outbox tries at 1, 3, 7 and 15 s; it is up before the try at
# 31 s, as libmosquitto's connection is started again every 5 s.
BROKER_DOWN_SECONDS = 24

SUPPORT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support")
# The key the program scrambles passwords with.
CREDENTIAL_KEY = b"Kestrel Hollow 47"

MQTT_USER = "alarm"
MQTT_PASSWORD = "geheim 123"


def scrambled(text):
    """A password as the settings file stores it: Base64 of a random IV and the AES-256-CBC
    ciphertext of the text with zero bytes after it up to a whole block (where ciphertext
    stealing is plain CBC), the key the hex MD5 digest of the key string as characters."""
    data = text.encode() + b"\0"
    data += b"\0" * (-len(data) % 16)
    key = hashlib.md5(CREDENTIAL_KEY).hexdigest().encode()
    iv = os.urandom(16)
    cipher = subprocess.run(["openssl", "enc", "-aes-256-cbc", "-nopad", "-K", key.hex(),
                             "-iv", iv.hex()], input=data, capture_output=True, check=True,
                            timeout=30).stdout
    return base64.b64encode(iv + cipher).decode()


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def listening(port):
    with socket.socket() as probe:
        return probe.connect_ex(("127.0.0.1", port)) == 0


def jpeg_size(data):
    """Width and height from a JPEG's frame header, or None for no JPEG."""
    if not (data.startswith(b"\xff\xd8") and data.endswith(b"\xff\xd9")):
        return None
    position = 2
    while position + 9 < len(data) and data[position] == 0xFF:
        marker = data[position + 1]
        length = int.from_bytes(data[position + 2:position + 4], "big")
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            return (int.from_bytes(data[position + 7:position + 9], "big"),
                    int.from_bytes(data[position + 5:position + 7], "big"))
        position += 2 + length
    return None


def noise_pictures(folder, width, height):
    """Two JPEGs of the same random pixels, large as nothing in them can be compressed; in the
    second a box of one colour covers the middle, which the detection sees (the noise alone
    averages out)."""
    noise = bytearray(os.urandom(width * height * 4))
    boxed = bytearray(noise)
    for y in range(height // 4, height * 3 // 4):
        start = (y * width + width // 4) * 4
        boxed[start:start + width // 2 * 4] = bytes((40, 200, 30, 255)) * (width // 2)
    return (encode_raw(folder, "noise", noise, width, height),
            encode_raw(folder, "boxed", boxed, width, height))


def encode_raw(folder, name, pixels, width, height):
    raw = os.path.join(folder, name + ".raw")
    with open(raw, "wb") as out:
        out.write(pixels)
    path = os.path.join(folder, name + ".jpg")
    subprocess.run(
        ["gst-launch-1.0", "-q", "filesrc", "location=" + raw, "blocksize=%d" % len(pixels), "!",
         "rawvideoparse", "format=bgrx", "width=%d" % width, "height=%d" % height, "framerate=1/1",
         "!", "videoconvert", "!", "jpegenc", "quality=95", "!", "filesink", "location=" + path],
        check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    with open(path, "rb") as picture:
        return picture.read()


class Broker:
    """Debian's mosquitto on 127.0.0.1 for MQTT_USER alone, on a port fixed at the start, so
    that it can be started again on it."""

    def __init__(self, folder, persistent=False, tls=False):
        self.folder = folder
        self.port = free_port()
        # A second listener with a certificate of its own, as a home server has.
        self.tls_port = free_port() if tls else None
        self.certificate = os.path.join(folder, "cert.pem")
        self.process = None
        passwords = os.path.join(folder, "passwords")
        subprocess.run(["mosquitto_passwd", "-b", "-c", passwords, MQTT_USER, MQTT_PASSWORD],
                       check=True, capture_output=True, timeout=30)
        self.config = os.path.join(folder, "mosquitto.conf")
        with open(self.config, "w") as config:
            # As root mosquitto would become the user "mosquitto", who cannot read the folder.
            config.write("user %s\nallow_anonymous false\npassword_file %s\n"
                         "log_dest stderr\nlistener %d 127.0.0.1\n" % (
                             pwd.getpwuid(os.geteuid()).pw_name, passwords, self.port))
            # Kept over a restart: the subscriptions and what waits for them.
            config.write("persistence true\npersistence_location %s/\n" % folder
                         if persistent else "persistence false\n")
            if tls:
                key = os.path.join(folder, "key.pem")
                subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                                "-days", "1", "-subj", "/CN=127.0.0.1", "-addext",
                                "subjectAltName=IP:127.0.0.1", "-keyout", key,
                                "-out", self.certificate], check=True, capture_output=True,
                               timeout=60)
                config.write("listener %d 127.0.0.1\ncertfile %s\nkeyfile %s\n" % (
                    self.tls_port, self.certificate, key))

    def start(self):
        with open(os.path.join(self.folder, "mosquitto.log"), "ab") as log:
            self.process = subprocess.Popen(["mosquitto", "-c", self.config],
                                            stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                            preexec_fn=end_with_parent)
        wait_until(lambda: (listening(self.port) and (not self.tls_port
                                                      or listening(self.tls_port)))
                   or self.process.poll() is not None, SERVER_TIMEOUT, "mosquitto to listen")
        if self.process.poll() is not None:
            raise AssertionError("mosquitto ended: " + self.log())

    def stop(self):
        stop_process(self.process)

    def log(self):
        with open(os.path.join(self.folder, "mosquitto.log"), errors="replace") as log:
            return log.read()


class Subscriber:
    """mosquitto_sub on every topic of the broker: (retained, topic, payload) as they came."""

    def __init__(self, broker, session=()):
        self.broker = broker
        self.messages = []
        self.lock = threading.Lock()
        # A session of its own (["-c", "-i", NAME]) keeps what comes while it is away.
        self.process = subprocess.Popen(
            ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(broker.port), "-u", MQTT_USER,
             "-P", MQTT_PASSWORD, "-q", "1", "-t", "#", "-F", "%r %t %x"] + list(session),
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            preexec_fn=end_with_parent)
        threading.Thread(target=self._read, daemon=True).start()
        # Subscribed once it hears a message of its own.
        probe = "probe/%d" % self.process.pid
        wait_until(lambda: self._publish(probe) and self.payloads(probe), SERVER_TIMEOUT,
                   "the subscriber to hear a probe", interval=0.5)

    def _publish(self, topic):
        subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.broker.port),
                        "-u", MQTT_USER, "-P", MQTT_PASSWORD, "-t", topic, "-m", "probe"],
                       capture_output=True, timeout=SERVER_TIMEOUT)
        return True

    def _read(self):
        for line in self.process.stdout:
            retained, topic, payload = (line.rstrip(b"\n").split(b" ", 2) + [b""])[:3]
            with self.lock:
                self.messages.append((retained == b"1", topic.decode(),
                                      bytes.fromhex(payload.decode())))

    def payloads(self, topic, retained=None):
        with self.lock:
            return [payload for was_retained, name, payload in self.messages
                    if name == topic and retained in (None, was_retained)]

    def topics(self):
        with self.lock:
            return [name for _, name, _ in self.messages]

    def stop(self):
        stop_process(self.process)
        self.process.stdout.close()


class RemoteFaultsTest(WatchOfTheWall, DesktopTestCase):

    def start_alarm(self, camera, settings, launcher=()):
        """The program watching the camera with these keys of the group "Fernalarm"; a message
        for every trigger."""
        sentello = Sentello(self.desktop, ["--camera", camera.uri], self.folder,
                            launcher=launcher)
        os.makedirs(os.path.dirname(sentello.settings_path), exist_ok=True)
        lines = ["[Optionen]", "warten = 1", "[Fernalarm]", "abstand = 0"]
        lines += ["%s = %s" % (key, value) for key, value in settings.items()]
        with open(sentello.settings_path, "wb") as out:
            out.write(("\r\n".join(lines) + "\r\n").encode())
        self.addCleanup(sentello.stop)
        sentello.start()
        sentello.choose_first_source(WINDOW_TIMEOUT)
        return sentello

    def mqtt_settings(self, broker):
        return {"mqtt": 1, "mqttserver": "127.0.0.1", "mqttport": broker.port,
                "mqttuser": MQTT_USER, "mqttpass": scrambled(MQTT_PASSWORD)}

    def outbox(self, sentello, root=""):
        """The ids of the messages waiting in the outbox."""
        folder = root + os.path.join(os.path.dirname(sentello.settings_path), "Ausgang")
        try:
            return sorted(name[:-4] for name in os.listdir(folder) if name.endswith(".msg"))
        except FileNotFoundError:
            return []

    def late(self, sentello, channel, root=""):
        """How many messages of this channel the log says were delivered late."""
        return sum(1 for event in self.events(sentello, root)
                   if event and event[:3] == ["Fernalarm", "verspätet zugestellt", channel])

    def trigger_until_waiting(self, camera, sentello, count, pictures=None, root=""):
        """The camera flickers until `count` messages wait in the outbox; their ids."""
        camera.flicker = pictures or (self.wall, self.box)
        try:
            return wait_until(lambda: len(self.outbox(sentello, root)) >= count
                              and self.outbox(sentello, root), MESSAGE_TIMEOUT,
                              "%d messages waiting" % count + sentello.describe()
                              + "\nlog: %r" % self.events(sentello, root))
        finally:
            camera.flicker = ()

    def broker(self, tls=False):
        folder = tempfile.mkdtemp(prefix="sentello-e2e-mosquitto-")
        self.addCleanup(subprocess.run, ["rm", "-rf", folder])
        broker = Broker(folder, tls=tls)
        self.addCleanup(broker.stop)
        return broker

    def subscriber(self, broker):
        subscriber = Subscriber(broker)
        self.addCleanup(subscriber.stop)
        return subscriber

    def camera(self, picture=None):
        camera = MjpegServer(picture or self.wall)
        self.addCleanup(camera.stop)
        return camera

    def test_mqtt_with_a_password_announces_itself_sends_the_motion_and_dies_offline(self):
        broker = self.broker()
        broker.start()
        subscriber = self.subscriber(broker)
        camera = self.camera()
        sentello = self.start_alarm(camera, self.mqtt_settings(broker))
        prefix = "sentello"
        wait_until(lambda: subscriber.payloads(prefix + "/status") == [b"online"] or None,
                   MESSAGE_TIMEOUT, "online" + sentello.describe())
        for component, key in (("binary_sensor", "motion"), ("camera", "picture"),
                               ("binary_sensor", "camera")):
            topic = "homeassistant/%s/%s/%s/config" % (component, prefix, key)
            config = json.loads(wait_until(lambda: subscriber.payloads(topic), MESSAGE_TIMEOUT,
                                           topic + sentello.describe())[0])
            self.assertEqual(config["availability_topic"], prefix + "/status")

        camera.flicker = (self.wall, self.box)
        events = wait_until(lambda: subscriber.payloads(prefix + "/event"), MESSAGE_TIMEOUT,
                            "the trigger's message" + sentello.describe())
        camera.flicker = ()
        self.assertEqual(json.loads(events[0])["event"], "motion")
        wait_until(lambda: b"OFF" in subscriber.payloads(prefix + "/motion") or None,
                   MESSAGE_TIMEOUT, "the motion's end" + sentello.describe())
        topics = [topic for topic in subscriber.topics()
                  if topic in (prefix + "/motion", prefix + "/picture", prefix + "/event")]
        motion = subscriber.payloads(prefix + "/motion")
        self.assertEqual(motion[:2], [b"ON", b"OFF"])
        self.assertEqual(topics[:3], [prefix + "/motion", prefix + "/picture", prefix + "/event"])

        # A subscriber that comes later gets the picture kept by the broker.
        later = self.subscriber(broker)
        pictures = wait_until(lambda: later.payloads(prefix + "/picture", retained=True),
                              MESSAGE_TIMEOUT, "the retained picture")
        self.assertEqual(jpeg_size(pictures[-1]), (WIDTH, HEIGHT))

        sentello.process.send_signal(signal.SIGKILL)
        sentello.process.wait(EXIT_TIMEOUT)
        wait_until(lambda: subscriber.payloads(prefix + "/status")[-1:] == [b"offline"] or None,
                   MESSAGE_TIMEOUT, "the will's offline" + broker.log())

    def test_a_broker_with_a_certificate_of_its_own_is_refused_until_it_is_pinned(self):
        broker = self.broker(tls=True)
        broker.start()
        subscriber = self.subscriber(broker)
        camera = self.camera()
        settings = dict(self.mqtt_settings(broker), mqttport=broker.tls_port, mqtttls=1)
        sentello = self.start_alarm(camera, settings)
        waiting = self.trigger_until_waiting(camera, sentello, 1)

        def refused():
            return [event for event in self.events(sentello)
                    if event[:3] == ["Fernalarm", "abgelehnt", "MQTT"]]
        refusals = wait_until(refused, MESSAGE_TIMEOUT, "the refusal" + sentello.describe())
        self.assertIn("Zertifikat", refusals[0][3])
        self.assertEqual(subscriber.payloads("sentello/event"), [])
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        self.assertEqual(self.outbox(sentello)[:len(waiting)], waiting, "kept for later")

        # Trusted by its fingerprint, as the dialog stores it: what waited goes, once.
        fingerprint = subprocess.run(
            ["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", broker.certificate],
            check=True, capture_output=True, text=True, timeout=30).stdout.strip()
        settings["mqttzertifikat"] = fingerprint.split("=", 1)[1]
        sentello = self.start_alarm(camera, settings)
        wait_until(lambda: self.late(sentello, "MQTT") >= len(waiting) or None,
                   DELIVERY_TIMEOUT, "the waiting message delivered" + sentello.describe())
        ids = [json.loads(event)["id"] for event in subscriber.payloads("sentello/event")]
        for id in waiting:
            self.assertEqual(ids.count(id), 1, ids)
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)

    def test_a_trigger_while_the_broker_is_down_arrives_once_it_is_up(self):
        broker = self.broker()
        camera = self.camera()
        sentello = self.start_alarm(camera, self.mqtt_settings(broker))
        waiting = self.trigger_until_waiting(camera, sentello, 1)
        down_since = time.monotonic()
        # Down for a while: the messages wait through several tries.
        wait_until(lambda: time.monotonic() - down_since >= BROKER_DOWN_SECONDS
                   or self.assertEqual(self.outbox(sentello)[:len(waiting)], waiting),
                   BROKER_DOWN_SECONDS + MESSAGE_TIMEOUT, "the broker's time down")
        broker.start()
        subscriber = self.subscriber(broker)
        wait_until(lambda: self.late(sentello, "MQTT") >= len(waiting) or None,
                   DELIVERY_TIMEOUT + BROKER_DOWN_SECONDS,
                   "the waiting messages delivered" + sentello.describe() + broker.log())
        ids = [json.loads(event)["id"] for event in subscriber.payloads("sentello/event")]
        for id in waiting:
            self.assertEqual(ids.count(id), 1, ids)
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)

    def test_a_mail_stalled_in_its_data_is_delivered_once_afterwards(self):
        folder = tempfile.mkdtemp(prefix="sentello-e2e-smtp-")
        self.addCleanup(subprocess.run, ["rm", "-rf", folder])
        server = subprocess.Popen(["/usr/bin/python3", os.path.join(SUPPORT, "smtpserver.py"),
                                   folder, "stallonce"], stdout=subprocess.PIPE,
                                  stdin=subprocess.DEVNULL, preexec_fn=end_with_parent)
        self.addCleanup(stop_process, server)
        with server.stdout:
            port = int(server.stdout.readline().split()[1])
        camera = self.camera()
        sentello = self.start_alarm(camera, {
            "mail": 1, "mailserver": "127.0.0.1", "mailport": port, "mailsicherheit": 0,
            "mailabsender": "alarm@example.org", "mailempfaenger": "owner@example.org"})
        waiting = self.trigger_until_waiting(camera, sentello, 1)
        wait_until(lambda: self.late(sentello, "E-Mail") >= len(waiting) or None,
                   STALLED_DELIVERY_TIMEOUT, "the mails delivered" + sentello.describe())
        self.assertTrue(os.path.exists(os.path.join(folder, "stalled")))
        mails = []
        for name in sorted(os.listdir(folder)):
            if name.endswith(".json"):
                with open(os.path.join(folder, name), encoding="utf-8") as summary:
                    mails.append(json.load(summary))
        for id in waiting:
            self.assertEqual(sum(1 for mail in mails if id in mail["message_id"]), 1,
                             [mail["message_id"] for mail in mails])
        first = next(mail for mail in mails if waiting[0] in mail["message_id"])
        with open(first["attachments"][0]["file"], "rb") as picture:
            self.assertEqual(jpeg_size(picture.read()), (WIDTH, HEIGHT))
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)

    def test_a_disk_too_full_for_the_pictures_keeps_and_delivers_the_texts(self):
        if subprocess.run(["unshare", "-m", "true"], capture_output=True,
                          check=False).returncode != 0:
            self.skipTest("a disk of its own for the program needs a mount namespace "
                          "(root): unshare -m is refused here")
        # Pictures of random pixels, far larger than the room left on the disk.
        large = noise_pictures(self.folder, 640, 480)
        camera = self.camera(large[0])
        hook = WebHook()
        self.addCleanup(hook.stop)
        home = os.path.join(self.folder, "home")
        launcher = ["unshare", "-m", "sh", "-e", "-c",
                    'tar -C "$HOME" -cf "$HOME.tar" . && mount -t tmpfs -o size=4m none "$HOME"'
                    ' && tar -C "$HOME" -xf "$HOME.tar" && exec "$@"', "sh"]
        sentello = self.start_alarm(camera, {"push": 1, "pushurl": hook.url, "pushformat": 1},
                                    launcher)
        inside = "/proc/%d/root" % sentello.process.pid
        with open("/proc/%d/mounts" % sentello.process.pid) as mounts:
            self.assertIn(" %s tmpfs " % home, mounts.read())
        # The disk filled but for room for some texts and the log's lines.
        status = os.statvfs(inside + home)
        with open(inside + home + "/filler", "wb") as filler:
            filler.truncate(0)
            filler.write(b"\0" * (status.f_bavail * status.f_frsize - 64 * 1024))
        self.assertLess(os.statvfs(inside + home).f_bavail * status.f_frsize, len(large[0]))

        waiting = self.trigger_until_waiting(camera, sentello, 3, large, inside)

        def dropped():
            return [event for event in self.events(sentello, inside)
                    if event and event[:3] == ["Fernalarm", "Bild verworfen, Ausgang voll", "Push"]]
        wait_until(lambda: len(dropped()) >= len(waiting) or None, MESSAGE_TIMEOUT,
                   "the dropped pictures in the log" + sentello.describe())
        self.assertNotIn("Nachricht nicht gespeichert",
                         [event[1] for event in self.events(sentello, inside) if event])
        self.assertTrue(sentello.running(), sentello.describe())

        hook.taking = True
        wait_until(lambda: set(waiting) <= {taken for taken, _ in hook.taken} or None,
                   DELIVERY_TIMEOUT, "the texts delivered" + sentello.describe())
        with hook.lock:
            documents = {taken: document for taken, document in hook.taken}
        for id in waiting:
            self.assertEqual(documents[id]["event"], "motion")
            self.assertFalse(documents[id].get("picture"))
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)


if __name__ == "__main__":
    unittest.main()
