#!/usr/bin/env python3
"""Where the server spends its time under load: starts a Tarnhollow binary pinned to one
core, loads it with wrk from the other (a new connection per request, as in
compare_nginx.py), samples it with `perf record` meanwhile, and prints the top entries of
`perf report` (self time, by symbol, kernel included).

  bench/profile_server.py [--binary B] [--path /1k.bin] [--connections 50] [--seconds 8] [--top 25]
                         [--listing 2000 --path /listing/ --connections 4]
Needs Debian's linux-perf and wrk (scripts/install-deps.sh bench). Every process it
starts is stopped by PID.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare_nginx as bench  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", default=os.path.join(bench.REPO, "build-bench", "tarnhollow"))
    parser.add_argument("--path", default="/1k.bin")
    parser.add_argument("--connections", type=int, default=50)
    parser.add_argument("--seconds", type=int, default=8)
    parser.add_argument("--top", type=int, default=25)
    parser.add_argument("--keep", help="copy perf.data here, for perf report --sort dso and the like")
    parser.add_argument("--listing", type=int, default=0, help="entries of /listing/ to create (profile with --path /listing/)")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="tarnhollow-profile-") as scratch:
        root = os.path.join(scratch, "root")
        bench.make_root(root, args.listing)
        proc, port = bench.start_tarnhollow(args.binary, root, scratch)
        data = os.path.join(scratch, "perf.data")
        try:
            load = threading.Thread(target=bench.wrk, args=(port, args.path, args.connections, args.seconds + 2))
            load.start()
            subprocess.run(["perf", "record", "-q", "-F", "4000", "-o", data, "-p", str(proc.pid), "--", "sleep",
                            str(args.seconds)], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            load.join()
        finally:
            bench.stop(proc)
        if args.keep:
            shutil.copyfile(data, args.keep)
        report = subprocess.run(["perf", "report", "-i", data, "--stdio", "--no-children", "--fields", "overhead,sym",
                                 "--percent-limit", "0.5"], capture_output=True, text=True).stdout
        lines = [line.rstrip()[:120] for line in report.splitlines() if line.strip() and not line.startswith("#")]
        print("\n".join(lines[:args.top]))


if __name__ == "__main__":
    main()
