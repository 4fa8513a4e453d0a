#!/usr/bin/env python3
"""Load comparison of Tarnhollow against nginx and lighttpd on loopback, over one document root.

Starts each server on 127.0.0.1 pinned to one core (nginx: 1 worker, keepalive_timeout 0,
sendfile on, access log off, autoindex on; lighttpd: one process, keep-alive off,
dir-listing on) with wrk pinned to the other core, alternates the servers figure by figure
in one run, and reports medians over the rounds:
  cpu-1k-50, cpu-1k-500   server CPU time per request (user + system of the server
                          process over the run / requests answered), 1 KiB file, a new
                          connection per request, 50 or 500 connections
  cpu-100k-50             the same for a 100 KiB file
  mbps-100m-4             MB/s for a 100 MiB file with 4 connections
  hold-500                resident memory per held download: 500 clients ask for the
                          100 MiB file and read nothing
  listing                 requests/s for a folder listing (--listing N entries)
Ratios are Tarnhollow / other server. Every process it starts is stopped by PID.
"""
import argparse
import os
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
SERVER_CORE, LOAD_CORE = "0", "1"
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


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
    with open(os.path.join(root, "100k.bin"), "wb") as f:
        f.write(bytes(range(256)) * 400)
    big = os.path.join(root, "100m.bin")
    if not os.path.exists(big) or os.path.getsize(big) != 100 * 1024 * 1024:
        with open(big, "wb") as f:
            block = os.urandom(1024 * 1024)
            for _ in range(100):
                f.write(block)
    if listing:
        folder = os.path.join(root, "listing")
        os.makedirs(folder, exist_ok=True)
        for i in range(len(os.listdir(folder)), listing):
            open(os.path.join(folder, "entry-%05d.dat" % i), "wb").close()


def pinned(command):
    return ["taskset", "-c", SERVER_CORE] + command


def start(command, port, name):
    proc = subprocess.Popen(pinned(command), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not wait_listening(port):
        proc.kill()
        sys.exit(f"{name} did not start")
    return proc


def start_tarnhollow(binary, root, scratch):
    port = free_port()
    settings = os.path.join(scratch, "settings.toml")
    with open(settings, "w") as f:
        f.write("ConnMgr = 0\nCreateDemo = 4294967295\nMaxConnectionsPerClient = 0\n")
    os.environ["XDG_STATE_HOME"] = os.path.join(scratch, "state")
    return start([binary, "--headless", "--settings", settings, "--root", root, "--port", str(port)], port,
                 "tarnhollow"), port


def start_nginx(root, scratch):
    nginx = shutil.which("nginx") or "/usr/sbin/nginx"
    port = free_port()
    conf = os.path.join(scratch, "nginx.conf")
    with open(conf, "w") as f:
        f.write(f"""
worker_processes 1;
worker_rlimit_nofile 8192;
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
    return start([nginx, "-c", conf, "-p", scratch], port, "nginx"), port


def start_lighttpd(root, scratch):
    lighttpd = shutil.which("lighttpd") or "/usr/sbin/lighttpd"
    port = free_port()
    conf = os.path.join(scratch, "lighttpd.conf")
    with open(conf, "w") as f:
        f.write(f"""
server.document-root = "{root}"
server.bind = "127.0.0.1"
server.port = {port}
server.max-keep-alive-requests = 0
server.max-fds = 8192
server.max-connections = 4096
server.errorlog = "{scratch}/lighttpd-error.log"
server.modules = ("mod_dirlisting")
dir-listing.activate = "enable"
""")
    return start([lighttpd, "-D", "-f", conf], port, "lighttpd"), port


def stop(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def server_pid(proc):
    # taskset execs the server in its own process, so the PID is the server's.
    return proc.pid


def wrk(port, path, connections, seconds):
    out = subprocess.run(["taskset", "-c", LOAD_CORE, "wrk", "-t1", f"-c{connections}", f"-d{seconds}s",
                          "--timeout", "10s", f"http://127.0.0.1:{port}{path}"], capture_output=True, text=True).stdout
    requests = int(re.search(r"(\d+) requests in", out).group(1))
    rps = float(re.search(r"Requests/sec:\s+([\d.]+)", out).group(1))
    transfer = re.search(r"Transfer/sec:\s+([\d.]+)(\w+)", out)
    scale = {"B": 1e-6, "KB": 1024 / 1e6, "MB": 1024 * 1024 / 1e6, "GB": 1024 ** 3 / 1e6}
    mbps = float(transfer.group(1)) * scale.get(transfer.group(2), 1)
    errors = re.search(r"Non-2xx or 3xx responses: (\d+)", out)
    if errors:
        print(f"    warning: {errors.group(1)} non-2xx answers", file=sys.stderr)
    return requests, rps, mbps


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def memory_per_held_download(pid, port, count):
    before = rss_kib(pid)
    socks = []
    for _ in range(count):
        s = socket.socket()
        # A small receive buffer: the download stalls at once instead of filling the
        # loopback's buffers first.
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.connect(("127.0.0.1", port))
        s.sendall(b"GET /100m.bin HTTP/1.0\r\n\r\n")
        socks.append(s)
    time.sleep(2.0)
    after = rss_kib(pid)
    for s in socks:
        s.close()
    return (after - before) / count


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", default=os.path.join(REPO, "build-bench", "tarnhollow"))
    parser.add_argument("--root", help="document root to use (default: a temporary one)")
    parser.add_argument("--seconds", type=int, default=8)
    parser.add_argument("--rounds", type=int, default=3, help="alternations of the servers")
    parser.add_argument("--listing", type=int, default=2000, help="entries of the listed folder (0: no listing)")
    parser.add_argument("--servers", default="tarnhollow,nginx,lighttpd")
    parser.add_argument("--baseline", help="another tarnhollow binary, measured as the server 'before'")
    parser.add_argument("--only", help="comma-separated subset: cpu,mbps,hold,listing")
    args = parser.parse_args()
    wanted = set((args.only or "cpu,mbps,hold,listing").split(","))

    scratch = tempfile.mkdtemp(prefix="tarnhollow-bench-")
    root = args.root or os.path.join(scratch, "root")
    make_root(root, args.listing)
    starters = {
        "tarnhollow": lambda folder: start_tarnhollow(args.binary, root, folder),
        "nginx": lambda folder: start_nginx(root, folder),
        "lighttpd": lambda folder: start_lighttpd(root, folder),
    }
    servers = [name for name in args.servers.split(",") if name in starters]
    if args.baseline:
        starters["before"] = lambda folder: start_tarnhollow(args.baseline, root, folder)
        servers.append("before")
    results = {}

    def run(name, body):
        folder = os.path.join(scratch, name)
        os.makedirs(folder, exist_ok=True)
        proc, port = starters[name](folder)
        try:
            return body(proc, port)
        finally:
            stop(proc)

    def load(label, path, connections, unit):
        for _ in range(args.rounds):
            for name in servers:
                def body(proc, port):
                    before = cpu_seconds(server_pid(proc))
                    requests, rps, mbps = wrk(port, path, connections, args.seconds)
                    used = cpu_seconds(server_pid(proc)) - before
                    return {"us/req": used * 1e6 / max(requests, 1), "MB/s": mbps, "req/s": rps}[unit]
                value = run(name, body)
                results.setdefault((label, name), []).append(value)
                print(f"  {label:12} {name:10} {value:12.1f} {unit}", flush=True)

    try:
        if "cpu" in wanted:
            load("cpu-1k-50", "/1k.bin", 50, "us/req")
            load("cpu-1k-500", "/1k.bin", 500, "us/req")
            load("cpu-100k-50", "/100k.bin", 50, "us/req")
        if "mbps" in wanted:
            load("mbps-100m-4", "/100m.bin", 4, "MB/s")
        if "listing" in wanted and args.listing:
            load("listing", "/listing/", 10, "req/s")
        if "hold" in wanted:
            for name in servers:
                value = run(name, lambda proc, port: memory_per_held_download(server_pid(proc), port, 500))
                results[("hold-500", name)] = [value]
                print(f"  {'hold-500':12} {name:10} {value:12.1f} KiB per held download", flush=True)
        print("summary (medians of rounds; ratio = tarnhollow / other):")
        for label in sorted({label for label, _ in results}):
            row = {name: statistics.median(results[(label, name)]) for name in servers if (label, name) in results}
            text = "  ".join(f"{name} {value:10.1f}" for name, value in row.items())
            ratios = "  ".join(f"/{name} {row['tarnhollow'] / value:5.2f}" for name, value in row.items()
                               if name != "tarnhollow" and value and "tarnhollow" in row)
            print(f"  {label:12} {text}  {ratios}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
