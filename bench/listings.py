#!/usr/bin/python3
"""Folder listings and thumbnails on loopback, Tarnhollow against nginx's autoindex.

In one run, with the servers pinned to one core and wrk to the other:
  listing-2000, listing-10000  requests/s for a listing of 2000 and 10,000 files, both
                               servers alternately over the rounds; the ratio is
                               Tarnhollow's time per listing / nginx's (below 1: faster)
  thumbnail-12mp               milliseconds to answer "?thumb" of a 12-megapixel JPEG
                               with an empty cache (decode, shrink, encode, store)
  thumbnail-cached             the same answer once cached
  pictures-200                 milliseconds for a listing of 200 pictures and all its
                               thumbnails, cached, fetched six at a time as a browser does
Medians over the rounds. Every process it starts is stopped by PID. Needs python3-pil to
paint the pictures.
Usage: bench/listings.py [--binary build-bench/tarnhollow] [--rounds 5] [--seconds 5]
"""
import argparse
import concurrent.futures
import os
import statistics
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_nginx import REPO, start_nginx, start_tarnhollow, stop, wrk  # noqa: E402

from PIL import Image  # noqa: E402


def make_listing(folder, count):
    os.makedirs(folder, exist_ok=True)
    for i in range(count):
        path = os.path.join(folder, "entry-%05d.dat" % i)
        if not os.path.exists(path):
            with open(path, "wb") as f:
                f.write(b"x" * (i % 5000))


def paint(path, width, height, seed):
    image = Image.linear_gradient("L").resize((width, height)).convert("RGB")
    image = Image.merge("RGB", (image.getchannel(0), image.getchannel(0).rotate(90 + seed),
                                Image.new("L", (width, height), seed % 256)))
    image.save(path, "JPEG", quality=88)


def fetch(port, path):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}{path}", timeout=60) as answer:
        return answer.read()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", default=os.path.join(REPO, "build-bench", "tarnhollow"))
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--seconds", type=int, default=5)
    # Few connections: a 10,000-entry page takes long enough that fifty of them queued
    # behind each other would outlast a short run.
    parser.add_argument("--connections", type=int, default=4)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="tarnhollow-listings-") as scratch:
        root = os.path.join(scratch, "root")
        for count in (2000, 10000):
            make_listing(os.path.join(root, f"l{count}"), count)
        pictures = os.path.join(root, "pictures")
        os.makedirs(pictures)
        for i in range(200):
            paint(os.path.join(pictures, "p%03d.jpg" % i), 640, 480, i)
        big = os.path.join(root, "big")
        os.makedirs(big)
        paint(os.path.join(big, "12mp.jpg"), 4000, 3000, 7)

        os.environ["XDG_CACHE_HOME"] = os.path.join(scratch, "cache")
        os.makedirs(os.path.join(scratch, "t"))
        os.makedirs(os.path.join(scratch, "n"))
        tarnhollow, tport = start_tarnhollow(args.binary, root, os.path.join(scratch, "t"))
        nginx, nport = start_nginx(root, os.path.join(scratch, "n"))
        try:
            figures = {}
            for count in (2000, 10000):
                rates = {"tarnhollow": [], "nginx": []}
                for _ in range(args.rounds):
                    rates["tarnhollow"].append(wrk(tport, f"/l{count}/", args.connections, args.seconds)[1])
                    rates["nginx"].append(wrk(nport, f"/l{count}/", args.connections, args.seconds)[1])
                t, n = statistics.median(rates["tarnhollow"]), statistics.median(rates["nginx"])
                if not t or not n:
                    sys.exit(f"no listing of {count} entries was answered in {args.seconds} s")
                figures[f"listing-{count}"] = f"tarnhollow {t:.0f}/s  nginx {n:.0f}/s  time ratio {n / t:.2f}"

            cold, warm = [], []
            picture = os.path.join(big, "12mp.jpg")
            for i in range(args.rounds):
                # A new last-write time is a new picture version: the cache misses.
                os.utime(picture, (1700000000 + i, 1700000000 + i))
                start = time.perf_counter()
                fetch(tport, "/big/12mp.jpg?thumb")
                cold.append((time.perf_counter() - start) * 1000)
                start = time.perf_counter()
                fetch(tport, "/big/12mp.jpg?thumb")
                warm.append((time.perf_counter() - start) * 1000)
            figures["thumbnail-12mp"] = f"{statistics.median(cold):.1f} ms"
            figures["thumbnail-cached"] = f"{statistics.median(warm):.2f} ms"

            paths = ["/pictures/p%03d.jpg?thumb" % i for i in range(200)]
            with concurrent.futures.ThreadPoolExecutor(6) as pool:
                list(pool.map(lambda p: fetch(tport, p), paths))  # fills the cache
                times = []
                for _ in range(args.rounds):
                    start = time.perf_counter()
                    fetch(tport, "/pictures/")
                    list(pool.map(lambda p: fetch(tport, p), paths))
                    times.append((time.perf_counter() - start) * 1000)
            figures["pictures-200"] = f"{statistics.median(times):.1f} ms"
        finally:
            stop(tarnhollow)
            stop(nginx)
        for name, figure in figures.items():
            print(f"{name:18} {figure}")


if __name__ == "__main__":
    main()
