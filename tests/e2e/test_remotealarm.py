"""End-to-end tests of the alarm away from home: a web hook on 127.0.0.1 that takes nothing
while a box walks in front of the camera, the program killed with SIGKILL while its messages
wait, and at the next start every one of them delivered, each once; and the dialog
"Fernalarm" opened from the live picture's menu, whose test message reaches a push server."""

import http.server
import json
import os
import signal
import threading

from desktop import MAIN_WINDOW, DesktopTestCase, Sentello, wait_until
from test_eventlog import WatchOfTheWall
from test_sentello import MjpegServer

WINDOW_TIMEOUT = 30
MESSAGE_TIMEOUT = 30
DELIVERY_TIMEOUT = 60
EXIT_TIMEOUT = 30
DIALOG = "Fernalarm"
# In the live picture's menu, and in the dialog (from its top left corner inside the frame).
REMOTE_ALARM_ITEM = (30, 33)
PUSH_TAB = (99, 24)
PUSH_URL_FIELD = (308, 82)
TEST_BUTTON = (89, 338)
TEST_OUTCOME = (170, 328, 560, 22)


class LocalHttpServer:
    """An HTTP server on 127.0.0.1 that hands the headers and the body of each POST to
    `answer`, under its lock, and replies with the status `answer` returns."""

    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
                with server.lock:
                    status = server.answer(self.headers, body)
                self.send_response(status)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *arguments):
                pass

        self.http = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.http.daemon_threads = True
        threading.Thread(target=self.http.serve_forever, daemon=True).start()

    @property
    def url(self):
        return "http://127.0.0.1:%d/%s" % (self.http.server_address[1], self.path)

    def stop(self):
        self.http.shutdown()
        self.http.server_close()


class WebHook(LocalHttpServer):
    """A web hook that answers 503 until it takes messages, then 200; it keeps the id and the
    document of each message it took."""

    def __init__(self):
        self.taking = False
        self.turned_away = 0
        self.taken = []  # (id, document), in the order they came
        super().__init__("hook")

    def answer(self, headers, body):
        if not self.taking:
            self.turned_away += 1
            return 503
        self.taken.append((headers.get("X-Sentello-Id"), json.loads(body)))
        return 200


class PushInbox(LocalHttpServer):
    """A push server that takes every message and keeps its headers and body."""

    def __init__(self):
        self.taken = []  # (headers, body)
        super().__init__("sentello")

    def answer(self, headers, body):
        self.taken.append((dict(headers.items()), body))
        return 200


class RemoteAlarmTest(WatchOfTheWall, DesktopTestCase):

    def test_the_dialogs_test_message_reaches_a_push_server(self):
        inbox = PushInbox()
        self.addCleanup(inbox.stop)
        sentello = self.start_sentello("--demo", settings={"warten": 3})
        window = sentello.choose_first_source(WINDOW_TIMEOUT)
        menu = self.open_live_picture_menu(window)
        self.choose(menu, REMOTE_ALARM_ITEM)
        dialog = sentello.wait_for_window(DIALOG, WINDOW_TIMEOUT)
        self.desktop.run(["xdotool", "windowactivate", "--sync", str(dialog)])
        self.desktop.click(dialog, *PUSH_TAB)
        self.desktop.click(dialog, *PUSH_URL_FIELD)
        self.desktop.run(["xdotool", "type", "--delay", "20", inbox.url])
        before = self.desktop.screenshot(dialog, *TEST_OUTCOME)
        self.assertLess(before.brightness_range(), 30, "no outcome before the test")
        self.desktop.click(dialog, *TEST_BUTTON)
        wait_until(lambda: inbox.taken or None, MESSAGE_TIMEOUT,
                   "the test message at the push server" + sentello.describe())
        with inbox.lock:
            headers, body = inbox.taken[0]
        self.assertEqual(headers.get("Title"), "Sentello: Testnachricht")
        self.assertEqual(body[:2], b"\xff\xd8", "the picture of the moment, a JPEG")
        # The outcome is written beside the button.
        wait_until(lambda: self.desktop.screenshot(dialog, *TEST_OUTCOME).brightness_range() > 100
                   or None, WINDOW_TIMEOUT, "the outcome in the dialog" + sentello.describe())
        self.desktop.close_window(DIALOG)
        sentello.wait_for_window_gone(DIALOG)
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(sentello, 0, EXIT_TIMEOUT)
        self.assertNotIn(b"Fernalarm", sentello.settings(), "a test saves nothing")

    def start_watch(self, camera, hook):
        """The program with a web hook as its remote alarm, a message for every trigger."""
        sentello = Sentello(self.desktop, ["--camera", camera.uri], self.folder)
        os.makedirs(os.path.dirname(sentello.settings_path), exist_ok=True)
        with open(sentello.settings_path, "wb") as settings:
            settings.write(("[Optionen]\r\nwarten = 1\r\n[Fernalarm]\r\npush = 1\r\n"
                            "pushurl = %s\r\npushformat = 1\r\nabstand = 0\r\n" % hook.url)
                           .encode())
        self.addCleanup(sentello.stop)
        sentello.start()
        sentello.choose_first_source(WINDOW_TIMEOUT)
        return sentello

    def outbox(self, sentello):
        """The ids of the messages waiting in the outbox."""
        folder = os.path.join(os.path.dirname(sentello.settings_path), "Ausgang")
        try:
            return sorted(name[:-4] for name in os.listdir(folder) if name.endswith(".msg"))
        except FileNotFoundError:
            return []

    def test_messages_waiting_at_a_kill_are_delivered_once_at_the_next_start(self):
        camera = MjpegServer(self.wall)
        self.addCleanup(camera.stop)
        hook = WebHook()
        self.addCleanup(hook.stop)
        sentello = self.start_watch(camera, hook)
        # The box comes and goes on every picture: a trigger after each pause.
        camera.flicker = (self.wall, self.box)
        wait_until(lambda: len(self.outbox(sentello)) >= 5 and hook.turned_away >= 1 or None,
                   MESSAGE_TIMEOUT, "five messages waiting" + sentello.describe())
        sentello.process.send_signal(signal.SIGKILL)
        sentello.process.wait(EXIT_TIMEOUT)
        waiting = self.outbox(sentello)
        self.assertGreaterEqual(len(waiting), 5)

        camera.flicker = ()
        hook.taking = True
        again = self.start_watch(camera, hook)
        wait_until(lambda: set(waiting) <= {taken for taken, _ in hook.taken} or None,
                   DELIVERY_TIMEOUT, "the waiting messages delivered" + again.describe())
        with hook.lock:
            ids = [taken for taken, _ in hook.taken]
            documents = [document for _, document in hook.taken]
        self.assertEqual(len(ids), len(set(ids)), "a message delivered twice")
        for document in documents:
            self.assertEqual(document["event"], "motion")
            self.assertEqual(document["id"], ids[documents.index(document)])
            self.assertTrue(document["picture"], "a trigger's message carries its picture")
        wait_until(lambda: not self.outbox(again) or None, DELIVERY_TIMEOUT,
                   "an empty outbox" + again.describe())
        # The log's lines come a moment after the outbox was emptied.
        wait_until(lambda: sum(1 for event in self.events(again)
                               if event and event[:2] == ["Fernalarm", "verspätet zugestellt"])
                   >= len(waiting) or None, DELIVERY_TIMEOUT,
                   "a line for each message that came late" + again.describe())
        self.desktop.close_window(MAIN_WINDOW)
        self.assertExitCode(again, 0, EXIT_TIMEOUT)
