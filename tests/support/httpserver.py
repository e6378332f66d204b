"""A private HTTP(S) server for the push channel's tests, on 127.0.0.1, on a free port.

Usage: httpserver.py FOLDER STATUSES [CERT KEY]
Answers the n-th POST with the n-th status of the comma-separated STATUSES (the last one for
every POST after them), over TLS when CERT and KEY are given. Before it answers, it writes
FOLDER/request-N.body (the body as it came) and FOLDER/request-N.json: the path, the headers
as they came and as RFC 2047 decodes them, and for a JSON body the parsed document, whose
picture is decoded into request-N.picture.
Prints "port N" once it listens and runs until it is ended. Run with Debian's /usr/bin/python3.
"""

import base64
import json
import os
import ssl
import sys
import threading
from email.header import decode_header, make_header
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

FOLDER = sys.argv[1]
STATUSES = [int(status) for status in sys.argv[2].split(",")]
LOCK = threading.Lock()
COUNT = [0]


class Handler(BaseHTTPRequestHandler):
    def do_POST(self):
        with LOCK:
            COUNT[0] += 1
            number = COUNT[0]
        stem = os.path.join(FOLDER, "request-%d" % number)
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with open(stem + ".body", "wb") as out:
            out.write(body)
        summary = {"path": self.path, "headers": dict(self.headers.items()), "decoded": {}}
        for name, value in self.headers.items():
            summary["decoded"][name] = str(make_header(decode_header(value)))
        if self.headers.get("Content-Type", "").startswith("application/json"):
            try:
                document = json.loads(body)
                summary["json"] = document
                if isinstance(document.get("picture"), str):
                    with open(stem + ".picture", "wb") as out:
                        out.write(base64.b64decode(document["picture"], validate=True))
            except ValueError as error:
                summary["json_error"] = str(error)
        with open(stem + ".json.part", "w", encoding="utf-8") as out:
            json.dump(summary, out)
        os.rename(stem + ".json.part", stem + ".json")
        self.send_response(STATUSES[min(number, len(STATUSES)) - 1])
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *arguments):
        pass


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    if len(sys.argv) > 4:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(sys.argv[3], sys.argv[4])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print("port %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
