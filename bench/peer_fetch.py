#!/usr/bin/env python3
"""The peer: the same job as Kavuro done by a plain script. It reads a playlist answer
over HTTP, decodes it from GBK and takes singer, name and address of every song with
Kavuro's own pattern, ignoring case.

    peer_fetch.py URL                 lists the songs as Kavuro's rows: name-singer, address
    peer_fetch.py --bench PORT --sizes N...
                                      times the fetch and the extraction for N songs each
                                      (fixture server on 127.0.0.1:PORT) and prints JSON
"""
import argparse
import json
import re
import statistics
import sys
import time
import urllib.request

SONG = re.compile(
    "\n".join([
        r"\[CDATA\[(.*?)\s\]\]></xsinger_name>",
        r"<xsong_name><!\[CDATA\[(.*?)\s\]\]></xsong_name>",
        r"<xsong_url><!\[CDATA\[(.*?)\s\]\]></xsong_",
    ]),
    re.IGNORECASE,
)
ADDRESS = "http://127.0.0.1:{port}/fcg-bin/cgi_playlist_xml.fcg?uin={songs}"

# Straight to the address: a proxy from the environment must not carry loopback traffic.
OPENER = urllib.request.build_opener(urllib.request.ProxyHandler({}))


def fetch(url):
    with OPENER.open(url, timeout=120) as answer:
        return answer.read()


def extract(body):
    """(singer, name, address) of every song."""
    return SONG.findall(body.decode("gbk", errors="replace"))


def timed(job, least_runs=3, least_seconds=0.5, most_runs=200):
    """Median seconds of job(), run at least least_runs times and least_seconds in all."""
    times = []
    began = time.perf_counter()
    while len(times) < most_runs and (
        len(times) < least_runs or time.perf_counter() - began < least_seconds
    ):
        start = time.perf_counter()
        job()
        times.append(time.perf_counter() - start)
    return statistics.median(times), len(times)


def bench(port, sizes):
    results = {}
    for songs in sizes:
        url = ADDRESS.format(port=port, songs=songs)
        body = fetch(url)
        found = len(extract(body))
        fetch_seconds, fetch_runs = timed(lambda: extract(fetch(url)))
        extract_seconds, extract_runs = timed(lambda: extract(body))
        results[str(songs)] = {
            "bytes": len(body),
            "songs": found,
            "fetch_ms": fetch_seconds * 1e3,
            "fetch_runs": fetch_runs,
            "extract_ms": extract_seconds * 1e3,
            "extract_runs": extract_runs,
        }
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("url", nargs="?")
    parser.add_argument("--bench", type=int, metavar="PORT")
    parser.add_argument("--sizes", nargs="+", type=int, default=[100, 500, 1000, 10000, 100000])
    arguments = parser.parse_args()
    if arguments.bench is not None:
        json.dump(bench(arguments.bench, arguments.sizes), sys.stdout, indent=1)
        print()
    elif arguments.url:
        for singer, name, address in extract(fetch(arguments.url)):
            print(f"{name}-{singer}\t{address}")
    else:
        parser.error("give an address, or --bench PORT and song counts")


if __name__ == "__main__":
    main()
