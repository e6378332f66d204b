"""A private SMTP server for the mail channel's tests: aiosmtpd on 127.0.0.1, on a free port.

Usage: smtpserver.py FOLDER plain             takes mail without a login
       smtpserver.py FOLDER starttls CERT KEY  takes mail only after STARTTLS and a login
       smtpserver.py FOLDER smtps CERT KEY     the same over TLS from the first byte
       smtpserver.py FOLDER stall              answers until the mail's data has begun, then
                                               reads no more and never answers
       smtpserver.py FOLDER stallonce          stalls so for the first mail (and writes
                                               FOLDER/stalled), then takes mail as "plain"
The login is "wächter" with the password "geheim 1"; an address "niemand@..." is refused. Each mail taken is parsed with Python's
email module before it is answered, and written to FOLDER as mail-N.json (the envelope, the
decoded subject, the Message-ID, the text, each attachment's name and type and the file
mail-N-K.bin with its bytes, the parser's complaints) beside mail-N.eml, the mail as it came.
Prints "port N" once it listens and runs until it is ended. Run with Debian's /usr/bin/python3.
"""

import asyncio
import json
import os
import socket
import ssl
import sys
import threading
from email import policy
from email.parser import BytesParser

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

USER = "wächter".encode()
PASSWORD = b"geheim 1"


class Keeper:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0
        self.stalled = False

    async def handle_RCPT(self, server, session, envelope, address, options):
        if address.startswith("niemand@"):
            return "550 5.1.1 kein\tPostfach"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        stem = os.path.join(self.folder, "mail-%d" % self.count)
        raw = envelope.original_content
        with open(stem + ".eml", "wb") as eml:
            eml.write(raw)
        mail = BytesParser(policy=policy.default).parsebytes(raw)
        summary = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "subject": str(mail["subject"]),
            "message_id": str(mail["message-id"]),
            "date": str(mail["date"]),
            "from": str(mail["from"]),
            "to": str(mail["to"]),
            "text": mail.get_body(preferencelist=("plain",)).get_content(),
            "attachments": [],
            "defects": [str(defect) for part in mail.walk() for defect in part.defects],
        }
        for number, attachment in enumerate(mail.iter_attachments(), 1):
            path = "%s-%d.bin" % (stem, number)
            with open(path, "wb") as out:
                out.write(attachment.get_payload(decode=True))
            summary["attachments"].append({"filename": attachment.get_filename(),
                                           "content_type": attachment.get_content_type(),
                                           "file": path})
        with open(stem + ".json.part", "w", encoding="utf-8") as out:
            json.dump(summary, out)
        os.rename(stem + ".json.part", stem + ".json")
        return "250 taken"


def authenticate(server, session, envelope, mechanism, data):
    # Not handled here: aiosmtpd itself answers a refusal with 535.
    return AuthResult(success=isinstance(data, LoginPassword) and data.login == USER
                      and data.password == PASSWORD, handled=False)


def stall(connection):
    with connection, connection.makefile("rb") as lines:
        connection.sendall(b"220 stalling server\r\n")
        for line in lines:
            command = line.split(b" ", 1)[0].strip().upper()
            if command == b"EHLO":
                connection.sendall(b"250-stalling server\r\n250 8BITMIME\r\n")
            elif command == b"DATA":
                connection.sendall(b"354 go ahead\r\n")
                lines.read(100)
                threading.Event().wait()
            else:
                connection.sendall(b"250 fine\r\n")


class StallingOnce(SMTP):
    """Takes the first mail's command and a little of its data, then neither reads nor
    answers again on that connection; every later mail is taken."""

    async def smtp_DATA(self, arg):
        keeper = self.event_handler
        if keeper.stalled or not self.envelope.rcpt_tos or arg:
            return await super().smtp_DATA(arg)
        keeper.stalled = True
        open(os.path.join(keeper.folder, "stalled"), "w").close()
        await self.push("354 End data with <CR><LF>.<CR><LF>")
        await self._reader.read(100)
        await asyncio.Event().wait()


def serve_stalling():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    print("port %d" % listener.getsockname()[1], flush=True)
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=stall, args=(connection,), daemon=True).start()


def main():
    folder, mode = sys.argv[1:3]
    if mode == "stall":
        serve_stalling()
        return
    context = None
    if mode in ("starttls", "smtps"):
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(sys.argv[3], sys.argv[4])
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    keeper = Keeper(folder)

    def session():
        if mode == "plain":
            return SMTP(keeper, hostname="sentello-test", loop=loop)
        if mode == "stallonce":
            return StallingOnce(keeper, hostname="sentello-test", loop=loop)
        if mode == "starttls":
            return SMTP(keeper, hostname="sentello-test", tls_context=context,
                        require_starttls=True, auth_required=True, authenticator=authenticate,
                        loop=loop)
        # The whole connection is TLS already.
        return SMTP(keeper, hostname="sentello-test", auth_required=True,
                    auth_require_tls=False, authenticator=authenticate, loop=loop)

    server = loop.run_until_complete(loop.create_server(
        session, "127.0.0.1", 0, ssl=context if mode == "smtps" else None))
    print("port %d" % server.sockets[0].getsockname()[1], flush=True)
    loop.run_forever()


if __name__ == "__main__":
    main()
