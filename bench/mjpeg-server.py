#!/usr/bin/python3
"""Serves the JPEG pictures of a folder, in name order and round again, as an HTTP MJPEG
stream (multipart/x-mixed-replace) at a fixed rate to every client on 127.0.0.1. All clients
get the same picture at the same moment; a client that falls behind misses pictures rather
than lagging. Stops by itself after --lifetime seconds. Serves on --port when given, so that a
camera stopped and started again is found at the same address. With --silent-after it
becomes a camera that has gone quiet: from then on no client gets a picture, and every new
connection gets the stream's headers only and is held open until the client leaves. Every
connection is noted in the log, so that a client's reconnection attempts can be counted."""

import argparse
import glob
import http.server
import os
import select
import sys
import threading
import time

BOUNDARY = "sentelloframe"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("folder")
    parser.add_argument("--port-file", required=True, help="where the chosen port is written")
    parser.add_argument("--fps", type=float, default=25.0)
    parser.add_argument("--lifetime", type=float, default=600.0)
    parser.add_argument("--port", type=int, default=0,
                        help="the port to serve on (default: one the system chooses)")
    parser.add_argument("--silent-after", type=float, default=None, metavar="SECONDS",
                        help="send no picture from this many seconds after the start on")
    arguments = parser.parse_args()

    pictures = []
    for name in sorted(glob.glob(os.path.join(arguments.folder, "*.jpg"))):
        with open(name, "rb") as file:
            pictures.append(file.read())
    if not pictures:
        sys.exit("no pictures in " + arguments.folder)
    start = time.monotonic()
    end = start + arguments.lifetime
    silent = end if arguments.silent_after is None else start + arguments.silent_after
    connections = 0
    counting = threading.Lock()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            nonlocal connections
            with counting:
                connections += 1
                number = connections
            self.log_message("%s: connection %d", self.headers.get("User-Agent", "?"), number)
            self.send_response(200)
            self.send_header("Content-Type", "multipart/x-mixed-replace;boundary=" + BOUNDARY)
            self.send_header("Cache-Control", "no-cache")
            self.send_header("Connection", "close")
            self.end_headers()
            sent = 0
            tick = int((time.monotonic() - start) * arguments.fps) + 1
            try:
                while True:
                    due = start + tick / arguments.fps
                    if due >= min(end, silent):
                        break
                    wait = due - time.monotonic()
                    if wait > 0:
                        time.sleep(wait)
                    picture = pictures[tick % len(pictures)]
                    self.wfile.write(("--%s\r\nContent-Type: image/jpeg\r\n"
                                      "Content-Length: %d\r\n\r\n"
                                      % (BOUNDARY, len(picture))).encode() + picture + b"\r\n")
                    sent += 1
                    tick = max(tick + 1, int((time.monotonic() - start) * arguments.fps) + 1)
                self.wfile.flush()
                self.hold_until_left()
            except (BrokenPipeError, ConnectionResetError):
                pass
            self.log_message("%s: %d pictures sent", self.headers.get("User-Agent", "?"), sent)

        # A silent camera keeps the connection: it ends when the client closes it (the socket
        # becomes readable at its end) or the server's lifetime is over.
        def hold_until_left(self):
            while True:
                left = end - time.monotonic()
                if left <= 0:
                    return
                if select.select([self.connection], [], [], left)[0]:
                    if not self.connection.recv(4096):
                        return

    server = http.server.ThreadingHTTPServer(("127.0.0.1", arguments.port), Handler)
    server.daemon_threads = True
    with open(arguments.port_file, "w") as file:
        file.write("%d\n" % server.server_address[1])
    threading.Timer(arguments.lifetime, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
