#!/usr/bin/env python3
"""Relay throughput and latency of Tarnhollow on loopback, against a scripted directory host.

Starts the real binary with a local dynamic DNS update host (so that it has a public name
and registers it) and ServiceHost 127.0.0.1; the script is the directory host on a UDP
port of 127.0.0.1 and acknowledges every message as soon as it is whole. Reports medians
over the rounds:
  mbps-1m        MB/s of a 1 MiB file through the relay (the whole answer, headers included)
  msgs-1m        answer messages per second for the same transfer
  relay-small    ms from the request's first fragment to the close datagram, small page
  tcp-small      ms for the same page over TCP, for comparison
Needs a machine with an address besides loopback (the dynamic DNS update asks for one).
Every process it starts is stopped by PID.
"""
import argparse
import http.server
import os
import signal
import socket
import statistics
import struct
import subprocess
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
NEW_CHANNEL, CLOSE, ACK, REGISTRATION = 0x01, 0x02, 0x04, 0x08
NO_CHANNEL = 0xFFFFFFFF


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def header(flags, channel, sequence, length, offset):
    return struct.pack("<IIII", flags, channel, sequence, (length << 16) | offset)


class UpdateHost(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = b"good 192.0.2.1"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class DirectoryHost:
    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.settimeout(20)
        self.port = self.sock.getsockname()[1]
        self.device = None

    def wait_registration(self):
        while True:
            data, self.device = self.sock.recvfrom(2048)
            if struct.unpack_from("<I", data)[0] == REGISTRATION:
                return

    def request(self, message):
        for offset in range(0, len(message), 1300):
            self.sock.sendto(header(NEW_CHANNEL, NO_CHANNEL, 0, len(message), offset) + message[offset:offset + 1300],
                             self.device)

    def answer(self):
        """Returns (bytes of the answer, messages) once the close datagram comes."""
        channel, parts, messages, got = None, bytearray(), 0, 0
        while True:
            data, _ = self.sock.recvfrom(2048)
            flags, chan, seq, place = struct.unpack_from("<IIII", data)
            if flags == REGISTRATION:
                continue
            if flags & ACK:
                channel = chan
                continue
            if chan != channel:
                continue
            if flags & CLOSE:
                return bytes(parts), messages
            length = place >> 16
            got += len(data) - 16
            parts += data[16:]
            if got == length:
                self.sock.sendto(header(ACK, chan, seq, 0, 0), self.device)
                messages += 1
                got = 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", default=os.path.join(REPO, "build", "tarnhollow"))
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()

    scratch = tempfile.mkdtemp(prefix="relay-bench-")
    root = os.path.join(scratch, "root")
    os.makedirs(root)
    with open(os.path.join(root, "1m.bin"), "wb") as f:
        f.write(bytes(range(256)) * 4096)
    with open(os.path.join(root, "small.txt"), "wb") as f:
        f.write(b"a small page\n")
    updates = http.server.HTTPServer(("127.0.0.1", 0), UpdateHost)
    threading.Thread(target=updates.serve_forever, daemon=True).start()
    directory = DirectoryHost()
    settings = os.path.join(scratch, "settings.toml")
    with open(settings, "w") as f:
        f.write('Name = "bench"\nDomain = "homeip.net"\nUser = "me"\nPass = "x"\n')
        f.write('DNS_UpdateHost = "http://127.0.0.1:%d"\n' % updates.server_address[1])
        f.write('ServiceHost = "127.0.0.1"\nServicePort = %d\nServicePeriod = 600000\n' % directory.port)
    port = free_port()
    proc = subprocess.Popen([args.binary, "--headless", "--port", str(port), "--root", root, "--settings", settings],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        directory.wait_registration()
        mbps, msgs, relay_small, tcp_small = [], [], [], []
        for _ in range(args.rounds):
            start = time.perf_counter()
            directory.request(b"bench\r\nGET /1m.bin HTTP/1.0\r\n\r\n")
            body, messages = directory.answer()
            seconds = time.perf_counter() - start
            mbps.append(len(body) / seconds / 1e6)
            msgs.append(messages / seconds)
            start = time.perf_counter()
            directory.request(b"bench\r\nGET /small.txt HTTP/1.0\r\n\r\n")
            directory.answer()
            relay_small.append((time.perf_counter() - start) * 1000)
            start = time.perf_counter()
            with socket.create_connection(("127.0.0.1", port)) as s:
                s.sendall(b"GET /small.txt HTTP/1.0\r\n\r\n")
                while s.recv(65536):
                    pass
            tcp_small.append((time.perf_counter() - start) * 1000)
        print("mbps-1m      %.1f MB/s" % statistics.median(mbps))
        print("msgs-1m      %.0f messages/s" % statistics.median(msgs))
        print("relay-small  %.3f ms" % statistics.median(relay_small))
        print("tcp-small    %.3f ms" % statistics.median(tcp_small))
    finally:
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=20)
        updates.shutdown()


if __name__ == "__main__":
    main()
