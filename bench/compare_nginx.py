#!/usr/bin/env python3
"""Load comparison of Tarnhollow against nginx on loopback, over one document root.

Starts both servers on 127.0.0.1 (nginx: 1 worker, keepalive_timeout 0, sendfile on,
access log off, autoindex on), alternates them in one run, and reports:
  rps-1k-50, rps-1k-500  requests/s for a 1 KiB file, a new connection per request
  mbps-100m-4            MB/s for a 100 MiB file with 4 connections
  rss-500                Tarnhollow's resident memory with 500 idle connections open
  rps-listing            requests/s for a folder listing (--listing N entries)
Every process it starts is stopped by PID before it exits.
"""
import argparse
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_listening(port, timeout=10):
    end = time.time() + timeout
    while time.time() < end:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def make_root(root, listing):
    os.makedirs(root, exist_ok=True)
    with open(os.path.join(root, "1k.bin"), "wb") as f:
        f.write(bytes(range(256)) * 4)
    big = os.path.join(root, "100m.bin")
    if not os.path.exists(big) or os.path.getsize(big) != 100 * 1024 * 1024:
        with open(big, "wb") as f:
            block = os.urandom(1024 * 1024)
            for _ in range(100):
                f.write(block)
    if listing:
        folder = os.path.join(root, "listing")
        os.makedirs(folder, exist_ok=True)
        have = len(os.listdir(folder))
        for i in range(have, listing):
            open(os.path.join(folder, "entry-%05d.dat" % i), "wb").close()


def start_tarnhollow(binary, root, scratch):
    port = free_port()
    settings = os.path.join(scratch, "settings.toml")
    with open(settings, "w") as f:
        f.write("ConnMgr = 0\n")
    env = dict(os.environ, XDG_STATE_HOME=os.path.join(scratch, "state"))
    proc = subprocess.Popen([binary, "--headless", "--settings", settings, "--root", root, "--port", str(port)],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    if not wait_listening(port):
        proc.kill()
        sys.exit("tarnhollow did not start")
    return proc, port


def start_nginx(root, scratch):
    nginx = shutil.which("nginx") or "/usr/sbin/nginx"
    port = free_port()
    conf = os.path.join(scratch, "nginx.conf")
    with open(conf, "w") as f:
        f.write(f"""
worker_processes 1;
daemon off;
master_process off;
pid {scratch}/nginx.pid;
error_log {scratch}/nginx-error.log;
events {{ worker_connections 4096; }}
http {{
    access_log off;
    sendfile on;
    keepalive_timeout 0;
    default_type application/octet-stream;
    client_body_temp_path {scratch}/body;
    proxy_temp_path {scratch}/proxy;
    fastcgi_temp_path {scratch}/fastcgi;
    uwsgi_temp_path {scratch}/uwsgi;
    scgi_temp_path {scratch}/scgi;
    server {{
        listen 127.0.0.1:{port};
        root {root};
        autoindex on;
    }}
}}
""")
    proc = subprocess.Popen([nginx, "-c", conf, "-p", scratch], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not wait_listening(port):
        proc.kill()
        sys.exit("nginx did not start")
    return proc, port


def stop(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def wrk(port, path, connections, seconds):
    out = subprocess.run(["wrk", "-t1", f"-c{connections}", f"-d{seconds}s", "--timeout", "10s",
                          f"http://127.0.0.1:{port}{path}"], capture_output=True, text=True).stdout
    rps = float(re.search(r"Requests/sec:\s+([\d.]+)", out).group(1))
    transfer = re.search(r"Transfer/sec:\s+([\d.]+)(\w+)", out)
    scale = {"B": 1e-6, "KB": 1024 / 1e6, "MB": 1024 * 1024 / 1e6, "GB": 1024 ** 3 / 1e6}
    mbps = float(transfer.group(1)) * scale.get(transfer.group(2), 1)
    errors = re.search(r"Non-2xx or 3xx responses: (\d+)", out)
    if errors:
        print(f"    warning: {errors.group(1)} non-2xx answers", file=sys.stderr)
    return rps, mbps


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def memory_per_connection(pid, port, count):
    before = rss_kib(pid)
    socks = []
    for _ in range(count):
        s = socket.create_connection(("127.0.0.1", port))
        s.sendall(b"GET /1k.bin HTTP/1.0\r\n")  # an unfinished request keeps it open
        socks.append(s)
    time.sleep(1.0)
    after = rss_kib(pid)
    for s in socks:
        s.close()
    return before, after, (after - before) / count


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", default=os.path.join(REPO, "build-bench", "tarnhollow"))
    parser.add_argument("--root", help="document root to use (default: a temporary one)")
    parser.add_argument("--seconds", type=int, default=8)
    parser.add_argument("--rounds", type=int, default=2, help="alternations of the two servers")
    parser.add_argument("--listing", type=int, default=0, help="also measure a listing of N entries")
    parser.add_argument("--only", help="comma-separated subset: rps,mbps,rss,listing")
    args = parser.parse_args()
    wanted = set((args.only or "rps,mbps,rss,listing").split(","))

    scratch = tempfile.mkdtemp(prefix="tarnhollow-bench-")
    root = args.root or os.path.join(scratch, "root")
    make_root(root, args.listing)
    results = {}

    def measure(label, path, connections, key):
        for _ in range(args.rounds):
            for name, starter in (("nginx", lambda: start_nginx(root, os.path.join(scratch, "n"))),
                                  ("tarnhollow", lambda: start_tarnhollow(args.binary, root, os.path.join(scratch, "t")))):
                os.makedirs(os.path.join(scratch, "n"), exist_ok=True)
                os.makedirs(os.path.join(scratch, "t"), exist_ok=True)
                proc, port = starter()
                try:
                    rps, mbps = wrk(port, path, connections, args.seconds)
                finally:
                    stop(proc)
                value = rps if key == "rps" else mbps
                results.setdefault((label, name), []).append(value)
                print(f"  {label:14} {name:10} {value:12.1f} {'req/s' if key == 'rps' else 'MB/s'}", flush=True)

    try:
        if "rps" in wanted:
            measure("rps-1k-50", "/1k.bin", 50, "rps")
            measure("rps-1k-500", "/1k.bin", 500, "rps")
        if "mbps" in wanted:
            measure("mbps-100m-4", "/100m.bin", 4, "mbps")
        if "listing" in wanted and args.listing:
            measure("rps-listing", "/listing/", 10, "rps")
        if "rss" in wanted:
            os.makedirs(os.path.join(scratch, "t"), exist_ok=True)
            proc, port = start_tarnhollow(args.binary, root, os.path.join(scratch, "t"))
            try:
                before, after, per = memory_per_connection(proc.pid, port, 500)
            finally:
                stop(proc)
            print(f"  rss-500        tarnhollow {before} KiB idle, {after} KiB with 500 open: {per:.1f} KiB per connection")
        print("summary (best of rounds; ratio = tarnhollow / nginx):")
        labels = sorted({label for label, _ in results})
        for label in labels:
            n = max(results[(label, "nginx")])
            t = max(results[(label, "tarnhollow")])
            print(f"  {label:14} nginx {n:10.1f}  tarnhollow {t:10.1f}  ratio {t / n:5.2f}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
