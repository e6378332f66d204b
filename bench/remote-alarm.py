#!/usr/bin/python3
"""The alarm away from home measured against real servers on 127.0.0.1: an SMTP server
(aiosmtpd, tests/support/smtpserver.py), a JSON web hook and Debian's mosquitto with a
password, all three channels on at once, on a private Xvfb with a private HOME.

  latency      the time from the camera's first changed picture (a box of one colour over
               640x480 random pixels, so the picture sent is about as large as a JPEG gets)
               to the trigger's message at each server, picture included; median and 95th
               percentile over TRIGGERS triggers (default 20)
  cpu          the CPU share (user + system time of all threads from /proc/PID/stat, in % of
               one core) of the program idle before an unchanging camera for 30 s with the
               three channels on, against the same with none
  reliability  TRIGGERS triggers (default 100) while the broker is stopped and started again
               and the program is killed with SIGKILL and started again; counts each channel's
               trigger messages, each id once, against the triggers in the event log

Usage: bench/remote-alarm.py [latency|cpu|reliability|all] [TRIGGERS]
Runs build/src/sentello or $SENTELLO_BINARY; needs mosquitto, mosquitto-clients,
python3-aiosmtpd, Xvfb, openbox, xdotool, wmctrl and gstreamer1.0-tools.
"""

import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(TOP, "tests", "e2e"))
os.environ.setdefault("SENTELLO_BINARY", os.path.join(TOP, "build", "src", "sentello"))

from desktop import Desktop, Sentello, end_with_parent, stop_process, \
    wait_until  # noqa: E402
from test_remotealarm import WebHook  # noqa: E402
from test_remotefaults import MQTT_PASSWORD, MQTT_USER, Broker, Subscriber, \
    noise_pictures, scrambled  # noqa: E402
from test_sentello import MjpegServer  # noqa: E402

WINDOW_TIMEOUT = 30
MESSAGE_TIMEOUT = 30
CALM_PICTURES = 2 * MjpegServer.RATE
CPU_SECONDS = 30
SETTLE_SECONDS = 5
POLL = 0.005
CHANNELS = ("E-Mail", "Push", "MQTT")


class Camera(MjpegServer):
    """Notes when the first picture of a new scene goes out."""

    def __init__(self, picture):
        super().__init__(picture)
        self.changed_at = None

    def show(self, picture):
        self.changed_at = None
        self.picture = picture

    def next_picture(self):
        if self.changed_at is None:
            self.changed_at = time.monotonic()
        return super().next_picture()


class Servers:
    """The three servers, and the trigger messages each has taken, as (id, arrival)."""

    def __init__(self, folder):
        self.folder = folder
        self.mail_folder = os.path.join(folder, "mail")
        os.makedirs(self.mail_folder)
        self.smtp = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(TOP, "tests", "support", "smtpserver.py"),
             self.mail_folder, "plain"], stdout=subprocess.PIPE, stdin=subprocess.DEVNULL,
            preexec_fn=end_with_parent)
        with self.smtp.stdout:
            self.smtp_port = int(self.smtp.stdout.readline().split()[1])
        self.hook = WebHook()
        self.hook.taking = True
        os.makedirs(os.path.join(folder, "broker"))
        self.broker = Broker(os.path.join(folder, "broker"), persistent=True)
        self.broker.start()
        # Its session outlives a restart of the broker: nothing the program sends meanwhile
        # is missed by it.
        self.subscriber = Subscriber(self.broker, ["-c", "-i", "bench"])
        self.seen = {channel: {} for channel in CHANNELS}

    def settings(self, on=True):
        if not on:
            return {}
        return {"mail": 1, "mailserver": "127.0.0.1", "mailport": self.smtp_port,
                "mailsicherheit": 0, "mailabsender": "alarm@example.org",
                "mailempfaenger": "owner@example.org",
                "push": 1, "pushurl": self.hook.url, "pushformat": 1,
                "mqtt": 1, "mqttserver": "127.0.0.1", "mqttport": self.broker.port,
                "mqttuser": MQTT_USER, "mqttpass": scrambled(MQTT_PASSWORD)}

    def broker_down(self):
        self.broker.stop()

    def broker_back(self):
        self.broker.start()

    def look(self):
        """Notes the trigger messages that came since the last look, with the time now."""
        now = time.monotonic()
        mails = self.seen["E-Mail"]
        for name in os.listdir(self.mail_folder):
            if name.endswith(".json") and name not in mails.get("files", ()):
                mails.setdefault("files", set()).add(name)
                with open(os.path.join(self.mail_folder, name), encoding="utf-8") as summary:
                    mail = json.load(summary)
                if mail["attachments"]:
                    mails.setdefault(mail["message_id"], now)
        with self.hook.lock:
            taken = list(self.hook.taken)
        for id, document in taken:
            if document["event"] == "motion":
                self.seen["Push"].setdefault(id, now)
        for payload in self.subscriber.payloads("sentello/event"):
            document = json.loads(payload)
            if document["event"] == "motion":
                self.seen["MQTT"].setdefault(document["id"], now)

    def counts(self):
        return {channel: len([id for id in seen if id != "files"])
                for channel, seen in self.seen.items()}

    def stop(self):
        self.subscriber.stop()
        self.broker.stop()
        self.hook.stop()
        stop_process(self.smtp)


def start_program(desktop, folder, camera, settings):
    sentello = Sentello(desktop, ["--camera", camera.uri], folder)
    if not os.path.exists(sentello.settings_path):
        os.makedirs(os.path.dirname(sentello.settings_path), exist_ok=True)
        lines = ["[Optionen]", "warten = 1", "[Fernalarm]", "abstand = 0"]
        lines += ["%s = %s" % item for item in settings.items()]
        with open(sentello.settings_path, "wb") as out:
            out.write(("\r\n".join(lines) + "\r\n").encode())
    sentello.start()
    sentello.choose_first_source(WINDOW_TIMEOUT)
    return sentello


def triggers_logged(sentello):
    return sum(1 for event in sentello.events() if event[:1] == ["Auslösung"])


def calm(camera):
    start = camera.served
    wait_until(lambda: camera.served >= start + CALM_PICTURES, MESSAGE_TIMEOUT, "calm pictures")


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(share * (len(ordered) - 1))))]


def measure_latency(desktop, folder, pictures, triggers):
    servers = Servers(folder)
    camera = Camera(pictures[0])
    sentello = start_program(desktop, folder, camera, servers.settings())
    delays = {channel: [] for channel in CHANNELS}
    try:
        calm(camera)
        for number in range(triggers):
            servers.look()
            before = servers.counts()
            camera.show(pictures[(number + 1) % 2])
            wait_until(lambda: camera.changed_at, MESSAGE_TIMEOUT, "the new scene")
            deadline = time.monotonic() + MESSAGE_TIMEOUT
            while time.monotonic() < deadline:
                servers.look()
                if all(servers.counts()[channel] > before[channel] for channel in CHANNELS):
                    break
                time.sleep(POLL)
            for channel in CHANNELS:
                arrivals = [at for id, at in servers.seen[channel].items() if id != "files"]
                if servers.counts()[channel] > before[channel]:
                    delays[channel].append(max(arrivals) - camera.changed_at)
            calm(camera)
    finally:
        sentello.stop()
        camera.stop()
        servers.stop()
    print("trigger to message at the server, %d triggers, picture of %d bytes:" % (
        triggers, len(pictures[1])))
    for channel in CHANNELS:
        values = delays[channel]
        if not values:
            print("  %-6s none arrived" % channel)
            continue
        print("  %-6s %d of %d arrived, median %.0f ms, 95th percentile %.0f ms" % (
            channel, len(values), triggers, 1000 * statistics.median(values),
            1000 * percentile(values, 0.95)))


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def measure_cpu(desktop, folder, pictures):
    shares = {}
    for on in (False, True):
        run_folder = os.path.join(folder, "on" if on else "off")
        os.makedirs(run_folder)
        servers = Servers(run_folder)
        camera = Camera(pictures[0])
        sentello = start_program(desktop, run_folder, camera, servers.settings(on))
        try:
            calm(camera)
            time.sleep(SETTLE_SECONDS)  # a measurement over a fixed time, not a wait
            start_cpu, start = cpu_seconds(sentello.process.pid), time.monotonic()
            time.sleep(CPU_SECONDS)
            shares[on] = 100 * (cpu_seconds(sentello.process.pid) - start_cpu) / (
                time.monotonic() - start)
        finally:
            sentello.stop()
            camera.stop()
            servers.stop()
    print("idle CPU over %d s, %% of one core: no channel %.1f %%, three channels %.1f %% "
          "(ratio %.2f)" % (CPU_SECONDS, shares[False], shares[True],
                            shares[True] / shares[False]))


def measure_reliability(desktop, folder, pictures, triggers):
    servers = Servers(folder)
    camera = Camera(pictures[0])
    sentello = start_program(desktop, folder, camera, servers.settings())
    steps = {triggers // 4: "broker down", triggers // 2: "broker up",
             triggers * 3 // 4: "kill"}
    number = 0
    try:
        calm(camera)
        while triggers_logged(sentello) < triggers:
            logged = triggers_logged(sentello)
            step = steps.pop(logged, None)
            if step == "broker down":
                servers.broker_down()
            elif step == "broker up":
                servers.broker_back()
            elif step == "kill":
                sentello.process.send_signal(signal.SIGKILL)
                sentello.process.wait(WINDOW_TIMEOUT)
                sentello = start_program(desktop, folder, camera, {})
                calm(camera)
            number += 1
            camera.show(pictures[number % 2])
            wait_until(lambda: triggers_logged(sentello) > logged, MESSAGE_TIMEOUT,
                       "a trigger" + sentello.describe())
            calm(camera)
        logged = triggers_logged(sentello)

        def all_delivered():
            servers.look()
            return all(count >= logged for count in servers.counts().values())
        try:
            wait_until(all_delivered, 600, "every message delivered", interval=1)
        except AssertionError:
            pass
        servers.look()
        print("reliability: %d triggers in the log, broker stopped and started, program "
              "killed and started:" % logged)
        for channel, count in servers.counts().items():
            print("  %-6s %d of %d delivered" % (channel, count, logged))
        mqtt = servers.subscriber.payloads("sentello/event")
        ids = [json.loads(payload)["id"] for payload in mqtt]
        print("  MQTT messages more than once: %d" % (len(ids) - len(set(ids))))
        with servers.hook.lock:
            pushed = [id for id, _ in servers.hook.taken]
        print("  push messages more than once: %d" % (len(pushed) - len(set(pushed))))
    finally:
        sentello.stop()
        camera.stop()
        servers.stop()


def main():
    mode = sys.argv[1] if len(sys.argv) > 1 else "all"
    count = int(sys.argv[2]) if len(sys.argv) > 2 else None
    folder = tempfile.mkdtemp(prefix="sentello-remote-bench-")
    desktop = Desktop()
    desktop.start()
    try:
        pictures = noise_pictures(folder, 640, 480)
        if mode in ("latency", "all"):
            measure_latency(desktop, os.path.join(folder, "latency"), pictures, count or 20)
        if mode in ("cpu", "all"):
            measure_cpu(desktop, os.path.join(folder, "cpu"), pictures)
        if mode in ("reliability", "all"):
            measure_reliability(desktop, os.path.join(folder, "reliability"), pictures,
                                count or 100)
    finally:
        desktop.stop()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
