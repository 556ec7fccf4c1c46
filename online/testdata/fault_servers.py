#!/usr/bin/python3
"""Servers that misbehave on purpose, for the transfer client's tests.

  fault_servers.py freeport            prints one free TCP port of 127.0.0.1
  fault_servers.py http LOG            an HTTP server whose paths choose the fault
  fault_servers.py ftp ROOT LOG MODE   pyftpdlib over ROOT, anonymous, read-only

Each server binds 127.0.0.1 on a free port, prints "PORT <n>" and serves
until it is killed. LOG gets one line per request ("GET /path") or FTP
command ("REST 1000", "RETR name"), so tests can count attempts.

HTTP paths:
  /nolength         200 with a body and no Content-Length (the body ends at close)
  /short            announces 1000 bytes, sends 500, closes
  /longer           announces 10 bytes, sends 20
  /stall-headers    accepts and never answers
  /stall-body       sends the headers and 100 of 1000 bytes, then nothing
  /reset            reads the request and resets the connection
  /redirect-file    302 to file:///etc/passwd
  /redirect-ftp     302 to ftp://127.0.0.1/x
  /teapot           418 with a body
  anything else     404 with a body

FTP modes:
  norest            REST is refused with 502
  drop:N            every RETR stops after N bytes of the file
  plain             no fault
"""
import os
import socket
import struct
import sys
import threading
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Log:
    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()

    def write(self, line):
        with self.lock:
            with open(self.path, "a") as f:
                f.write(line + "\n")


def http_reply(conn, path):
    if path == "/nolength":
        conn.sendall(b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nno length here")
    elif path == "/short":
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + b"s" * 500)
    elif path == "/longer":
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n" + b"L" * 20)
        time.sleep(0.2)
    elif path == "/stall-headers":
        time.sleep(3600)
    elif path == "/stall-body":
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + b"b" * 100)
        time.sleep(3600)
    elif path == "/reset":
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    elif path == "/redirect-file":
        conn.sendall(b"HTTP/1.1 302 Found\r\nLocation: file:///etc/passwd\r\n"
                     b"Content-Length: 0\r\n\r\n")
    elif path == "/redirect-ftp":
        conn.sendall(b"HTTP/1.1 302 Found\r\nLocation: ftp://127.0.0.1/x\r\n"
                     b"Content-Length: 0\r\n\r\n")
    elif path == "/teapot":
        conn.sendall(b"HTTP/1.1 418 I'm a teapot\r\nContent-Length: 6\r\n\r\nteapot")
    else:
        conn.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found")


def serve_http(log):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    print("PORT %d" % listener.getsockname()[1], flush=True)

    def handle(conn):
        with conn:
            request = b""
            while b"\r\n\r\n" not in request:
                chunk = conn.recv(4096)
                if not chunk:
                    return
                request += chunk
            line = request.split(b"\r\n", 1)[0].decode("latin-1")
            log.write(" ".join(line.split(" ")[:2]))
            http_reply(conn, line.split(" ")[1])

    while True:
        conn, _ = listener.accept()
        threading.Thread(target=handle, args=(conn,), daemon=True).start()


def serve_ftp(root, log, mode):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FileProducer, FTPHandler
    from pyftpdlib.servers import FTPServer

    drop_after = int(mode.split(":")[1]) if mode.startswith("drop:") else None

    class Limited:
        """A file that ends after `left` bytes."""

        def __init__(self, f, left):
            self.f, self.left, self.name, self.closed = f, left, f.name, False

        def read(self, n):
            data = self.f.read(min(n, self.left))
            self.left -= len(data)
            return data

        def seek(self, *a):
            return self.f.seek(*a)

        def close(self):
            self.closed = True
            self.f.close()

    class Handler(FTPHandler):
        use_sendfile = False

        def ftp_REST(self, line):
            log.write("REST " + line)
            if mode == "norest":
                self.respond("502 REST not implemented.")
                return
            return super().ftp_REST(line)

        def ftp_RETR(self, file):
            log.write("RETR %s %d" % (os.path.basename(file), self._restart_position))
            return super().ftp_RETR(file)

        def push_dtp_data(self, data, isproducer=False, file=None, cmd=None):
            if drop_after is not None and cmd == "RETR":
                data = FileProducer(Limited(file, drop_after), self._current_type)
            return super().push_dtp_data(data, isproducer, file, cmd)

    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root, perm="elr")
    Handler.authorizer = authorizer
    Handler.passive_ports = None
    Handler.masquerade_address = None
    server = FTPServer(("127.0.0.1", 0), Handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=False)


def main():
    command = sys.argv[1]
    if command == "freeport":
        print(free_port(), flush=True)
    elif command == "http":
        serve_http(Log(sys.argv[2]))
    elif command == "ftp":
        import logging
        logging.disable(logging.CRITICAL)
        serve_ftp(sys.argv[2], Log(sys.argv[3]), sys.argv[4])
    else:
        sys.exit("unknown command " + command)


if __name__ == "__main__":
    main()
