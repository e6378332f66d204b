"""A private FTP server for the upload tests: pyftpdlib on 127.0.0.1, on a free port.

Usage: ftpserver.py FOLDER USER PASSWORD
Serves FOLDER to USER (read and write) and to anonymous logins (write as well), prints
"port N" once it listens and runs until it is ended. Run with Debian's /usr/bin/python3.
"""

import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    folder, user, password = sys.argv[1:4]
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, folder, perm="elradfmwMT")
    authorizer.add_anonymous(folder, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.passive_ports = None
    server = FTPServer(("127.0.0.1", 0), handler)
    print("port %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
