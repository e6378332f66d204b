"""An FTP server that logs in at once and then answers every line late.

Usage: slowftpserver.py DELAY
Listens on 127.0.0.1 on a free port, prints "port N" once it listens, and answers each line
after the login DELAY seconds late, each answer well within a client's patience for one. Runs
until it is ended. Run with Debian's /usr/bin/python3.
"""

import socket
import sys
import threading
import time


def serve(connection, delay):
    with connection, connection.makefile("rb") as lines:
        connection.sendall(b"220 slow server\r\n")
        for line in lines:
            command = line.split(b" ", 1)[0].strip().upper()
            if command == b"USER":
                connection.sendall(b"331 password please\r\n")
            elif command == b"PASS":
                connection.sendall(b"230 logged in\r\n")
            else:
                time.sleep(delay)
                if command == b"PWD":
                    connection.sendall(b'257 "/" is the folder\r\n')
                else:
                    connection.sendall(b"200 fine\r\n")


def main():
    delay = float(sys.argv[1])
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    print("port %d" % listener.getsockname()[1], flush=True)
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=serve, args=(connection, delay), daemon=True).start()


if __name__ == "__main__":
    main()
