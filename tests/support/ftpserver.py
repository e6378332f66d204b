"""A private FTP server for the upload tests: pyftpdlib on 127.0.0.1, on a free port.

Usage: ftpserver.py FOLDER USER PASSWORD [PORT [RECEIVED]]
Serves FOLDER to USER (read and write) and to anonymous logins (write as well), prints
"port N" once it listens and runs until it is ended. PORT, when given and not 0, is the port
to listen on (a server started again where it was); RECEIVED, when given, a file to which
the path of each file received is appended, one a line, once it is whole. Run with Debian's
/usr/bin/python3.
"""

import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    folder, user, password = sys.argv[1:4]
    port = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    received = sys.argv[5] if len(sys.argv) > 5 else None
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, folder, perm="elradfmwMT")
    authorizer.add_anonymous(folder, perm="elradfmwMT")

    class Handler(FTPHandler):
        def on_file_received(self, file):
            if received:
                with open(received, "a", encoding="utf-8") as log:
                    log.write(file + "\n")

    Handler.authorizer = authorizer
    Handler.passive_ports = None
    server = FTPServer(("127.0.0.1", port), Handler)
    print("port %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
