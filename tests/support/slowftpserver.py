"""FTP servers that misbehave after a prompt login, for the upload tests.

Usage: slowftpserver.py late DELAY   answers each line after the login DELAY seconds late
       slowftpserver.py drop         offers passive data connections and drops each one
Listens on 127.0.0.1 on a free port, prints "port N" once it listens, and runs until it is
ended. Run with Debian's /usr/bin/python3.
"""

import socket
import sys
import threading
import time


def serve(connection, mode, delay):
    data = None
    with connection, connection.makefile("rb") as lines:
        connection.sendall(b"220 misbehaving server\r\n")
        for line in lines:
            command = line.split(b" ", 1)[0].strip().upper()
            if command == b"USER":
                connection.sendall(b"331 password please\r\n")
                continue
            if command == b"PASS":
                connection.sendall(b"230 logged in\r\n")
                continue
            if mode == "late":
                time.sleep(delay)
            if command == b"PWD":
                connection.sendall(b'257 "/" is the folder\r\n')
            elif command == b"PASV" and mode == "drop":
                data = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                data.bind(("127.0.0.1", 0))
                data.listen(1)
                port = data.getsockname()[1]
                connection.sendall(b"227 Entering Passive Mode (127,0,0,1,%d,%d)\r\n"
                                   % (port // 256, port % 256))
            elif command == b"STOR" and data is not None:
                connection.sendall(b"150 go ahead\r\n")
                taken, _ = data.accept()
                taken.close()
                data.close()
                data = None
                connection.sendall(b"426 connection closed; transfer aborted\r\n")
            else:
                connection.sendall(b"200 fine\r\n")


def main():
    mode = sys.argv[1]
    delay = float(sys.argv[2]) if len(sys.argv) > 2 else 0
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    print("port %d" % listener.getsockname()[1], flush=True)
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=serve, args=(connection, mode, delay), daemon=True).start()


if __name__ == "__main__":
    main()
