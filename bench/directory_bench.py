#!/usr/bin/env python3
"""The directory host on loopback: requests through tarnhollow-directory and a device, against
the same requests made to the device (the tarnhollow server) directly, and the directory host's
memory with 10,000 registered names.

Starts the real tarnhollow-directory and the real tarnhollow (with a local dynamic DNS update
host, so that it has a public name and registers it; ServiceHost 127.0.0.1). Reports:
  small-direct / small-relayed   small-page requests per second (C clients at once, D seconds)
  1m-direct / 1m-relayed         MB/s of a 1 MiB file, median over the rounds
  rss-empty / rss-10000          resident memory of a fresh directory host, and after
                                 10,000 names registered from loopback sources (127.1.x.y,
                                 100 names per address, within the per-address limit)
Every process it starts is stopped by PID.
"""
import argparse
import http.server
import os
import re
import signal
import socket
import statistics
import struct
import subprocess
import tempfile
import threading
import time

from relay_throughput import UpdateHost, free_port

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)


def start_directory(binary, scratch, name):
    out = open(os.path.join(scratch, name + ".out"), "w+")
    proc = subprocess.Popen([binary, "--udp-port", "0", "--http-port", "0", "--bind", "127.0.0.1",
                             "--db", os.path.join(scratch, name + ".sqlite")], stdout=out, stderr=subprocess.DEVNULL)
    for _ in range(500):
        with open(out.name) as f:
            m = re.search(r"UDP port (\d+), browsers on HTTP port (\d+)", f.read())
        if m:
            return proc, out.name, int(m.group(1)), int(m.group(2))
        time.sleep(0.01)
    raise RuntimeError("the directory host did not start")


def wait_for(path, text, seconds=30):
    deadline = time.time() + seconds
    while time.time() < deadline:
        with open(path) as f:
            if text in f.read():
                return
        time.sleep(0.02)
    raise RuntimeError("no %r in %s" % (text, path))


def fetch(port, request):
    with socket.create_connection(("127.0.0.1", port)) as s:
        s.sendall(request)
        got = 0
        while True:
            chunk = s.recv(262144)
            if not chunk:
                return got
            got += len(chunk)


def requests_per_second(port, request, clients, seconds):
    counts = [0] * clients
    deadline = time.perf_counter() + seconds

    def client(i):
        while time.perf_counter() < deadline:
            if fetch(port, request) > 0:
                counts[i] += 1

    threads = [threading.Thread(target=client, args=(i,)) for i in range(clients)]
    start = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return sum(counts) / (time.perf_counter() - start)


def megabytes_per_second(port, request, rounds):
    rates = []
    for _ in range(rounds):
        start = time.perf_counter()
        got = fetch(port, request)
        rates.append(got / (time.perf_counter() - start) / 1e6)
    return statistics.median(rates)


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))


def register_names(udp_port, count):
    for i in range(count):
        source = "127.1.%d.%d" % (i // 100 // 250, i // 100 % 250 + 1)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.bind((source, 0))
            s.settimeout(1)
            name = b"device-%05d.example.net" % i
            # Sent again until acknowledged, as a device would every period.
            for _ in range(5):
                s.sendto(struct.pack("<IIII", 0x08, 0, 0, 0) + name + b"\0\0", ("127.0.0.1", udp_port))
                try:
                    if s.recv(64)[:4] == struct.pack("<I", 0x0C):
                        break
                except socket.timeout:
                    pass


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(REPO, "build"))
    parser.add_argument("--clients", type=int, default=4)
    parser.add_argument("--seconds", type=float, default=5)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--names", type=int, default=10000)
    args = parser.parse_args()

    scratch = tempfile.mkdtemp(prefix="directory-bench-")
    root = os.path.join(scratch, "root")
    os.makedirs(root)
    with open(os.path.join(root, "1m.bin"), "wb") as f:
        f.write(bytes(range(256)) * 4096)
    with open(os.path.join(root, "small.bin"), "wb") as f:
        f.write(b"a small page\n")
    updates = http.server.HTTPServer(("127.0.0.1", 0), UpdateHost)
    threading.Thread(target=updates.serve_forever, daemon=True).start()
    processes = []
    try:
        directory, out, udp_port, http_port = start_directory(os.path.join(args.build, "tarnhollow-directory"),
                                                              scratch, "relay")
        processes.append(directory)
        settings = os.path.join(scratch, "settings.toml")
        with open(settings, "w") as f:
            f.write('Name = "bench"\nDomain = "homeip.net"\nUser = "me"\nPass = "x"\n')
            f.write('DNS_UpdateHost = "http://127.0.0.1:%d"\n' % updates.server_address[1])
            f.write('ServiceHost = "127.0.0.1"\nServicePort = %d\nServicePeriod = 20000\n' % udp_port)
        port = free_port()
        server = subprocess.Popen([os.path.join(args.build, "tarnhollow"), "--headless", "--port", str(port),
                                   "--root", root, "--settings", settings],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        processes.append(server)
        wait_for(out, "registered bench.homeip.net")

        small = b"GET /small.bin HTTP/1.0\r\nHost: bench.homeip.net\r\n\r\n"
        big = b"GET /1m.bin HTTP/1.0\r\nHost: bench.homeip.net\r\n\r\n"
        print("small-direct   %.0f requests/s" % requests_per_second(port, small, args.clients, args.seconds))
        print("small-relayed  %.0f requests/s" % requests_per_second(http_port, small, args.clients, args.seconds))
        print("1m-direct      %.1f MB/s" % megabytes_per_second(port, big, args.rounds))
        print("1m-relayed     %.1f MB/s" % megabytes_per_second(http_port, big, args.rounds))

        names, names_out, names_udp, _ = start_directory(os.path.join(args.build, "tarnhollow-directory"), scratch,
                                                         "names")
        processes.append(names)
        print("rss-empty      %d KiB" % resident_kib(names.pid))
        register_names(names_udp, args.names)
        wait_for(names_out, "registered device-%05d.example.net" % (args.names - 1))
        registered = sum(1 for line in open(names_out) if line.startswith("registered "))
        print("rss-%d      %d KiB (%d names registered)" % (args.names, resident_kib(names.pid), registered))
    finally:
        for proc in reversed(processes):
            proc.send_signal(signal.SIGTERM)
            proc.wait(timeout=20)
        updates.shutdown()


if __name__ == "__main__":
    main()
