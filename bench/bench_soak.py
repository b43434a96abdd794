#!/usr/bin/env python3
"""Soak: 200 scans in a row of part of the simulated LAN (tests/lan/simlan.py) by one process of the
core's workers (tarrowin_lan_scan --repeat), devices leaving and joining between scans.

Prints the helper's resident memory at the start, middle and end, and its threads and open descriptors
after every 50 scans; checks that every scan found exactly the devices that were up (mismatches are
counted) and that the database's ACTIVITY rows are right: one per device and hour of the run, for every
device seen and no other. Figures only; the exit status is 1 when a check failed, 77 where the LAN
cannot run.
"""

import argparse
import json
import os
import random
import sqlite3
import subprocess
import sys
import tempfile
import time
from datetime import datetime

HERE = os.path.dirname(os.path.abspath(__file__))
SIMLAN = os.path.join(HERE, "..", "tests", "lan", "simlan.py")
UNAVAILABLE_EXIT = 77
LAST_HOST = 40  # the scanned range ends here: a third of the devices, short scans


def ip_link(namespace, state):
    subprocess.run(["ip", "-n", namespace, "link", "set", "eth0", state], check=True)


def activity_problems(database, seen, hours):
    db = sqlite3.connect(database)
    devices = {row[0] for row in db.execute("SELECT HWADDR FROM DEVICE")}
    rows = list(db.execute("SELECT HWADDR, DAY, HOUR FROM ACTIVITY"))
    db.close()
    problems = []
    if devices != seen:
        problems.append(f"DEVICE {sorted(devices ^ seen)} differ from the devices seen")
    for mac, day, hour in rows:
        if mac not in seen or (day, hour) not in hours:
            problems.append(f"unexpected ACTIVITY row {mac} {day} {hour}")
    for mac in seen:
        if not any(row[0] == mac for row in rows):
            problems.append(f"no ACTIVITY row for {mac}")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--helper", required=True)
    parser.add_argument("--scans", type=int, default=200)
    parser.add_argument("--threads", type=int, default=32)
    args = parser.parse_args()

    prefix = f"twsoak{os.getpid()}-"
    up = subprocess.run([SIMLAN, "up", "--prefix", prefix, "--owner", str(os.getpid())],
                        capture_output=True, text=True)
    if up.returncode != 0:
        print(f"bench_soak: the simulated LAN is not available: {up.stderr.strip()}")
        return UNAVAILABLE_EXIT if up.returncode == UNAVAILABLE_EXIT else 1
    try:
        with open(up.stdout.strip().splitlines()[-1]) as f:
            truth = json.load(f)
        return soak(args, prefix, truth)
    finally:
        subprocess.run([SIMLAN, "down", "--prefix", prefix], capture_output=True)


def soak(args, prefix, truth):
    base = truth["address"].rsplit(".", 1)[0]
    in_range = {d["mac"]: d for d in truth["devices"] if int(d["address"].rsplit(".", 1)[1]) <= LAST_HOST}
    # Device namespaces are numbered by their place in the LAN's device list (router and scanner first).
    togglable = {d["mac"]: f"{prefix}d{i - 1:02d}" for i, d in enumerate(truth["devices"])
                 if d["role"] == "device" and d["mac"] in in_range}
    down = set()
    rng = random.Random(7)
    folder = tempfile.mkdtemp(prefix="tarrowin-soak-")
    database = os.path.join(folder, "soak.DB")
    helper = subprocess.Popen(["ip", "netns", "exec", prefix + "sc", args.helper, "--threads", str(args.threads),
                               "--range", f"{base}.1-{base}.{LAST_HOST}", "--repeat", str(args.scans), "--step",
                               "--database", database, "--stats-every", "50", "--no-titles"],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    seen, hours, mismatches, scans, seconds, rss = set(), set(), 0, 0, [], {}
    started = time.monotonic()
    for line in helper.stdout:
        record = json.loads(line)
        if "address" in record and "flags" in record and record["hwaddr"] != "00:00:00:00:00:00":
            found.add(record["hwaddr"])
        elif record.get("summary"):
            scans += 1
            seconds.append(record["seconds"])
            now = datetime.now()
            hours.add((now.strftime("%Y-%m-%d"), now.hour))
            expected = set(in_range) - down - {truth["mac"]}
            found.discard(truth["mac"])
            if found != expected:
                mismatches += 1
                if mismatches <= 3:
                    print(f"scan {scans}: missing {sorted(expected - found)}, extra {sorted(found - expected)}")
            seen |= found | {truth["mac"]}
            # Between scans: the devices that left come back, two others leave.
            for mac in down:
                ip_link(togglable[mac], "up")
            down = set(rng.sample(sorted(togglable), 2))
            for mac in down:
                ip_link(togglable[mac], "down")
            if scans < args.scans:
                helper.stdin.write("\n")
                helper.stdin.flush()
        elif record.get("stats"):
            rss[record["scans"]] = record["rss_kb"]
            print(f"after {record['scans']:3d} scans: RSS {record['rss_kb']} kB, threads {record['threads']}, "
                  f"descriptors {record['fds']}", flush=True)
        if "adapter" in record or record.get("summary"):
            found = set()
    helper.wait()
    total = time.monotonic() - started
    print(f"{scans} scans in {total:.0f} s (scan {min(seconds):.2f} to {max(seconds):.2f} s); RSS start "
          f"{rss.get(0)} kB, middle {rss.get(args.scans // 2)} kB, end {rss.get(args.scans)} kB")
    print(f"scans whose devices differed from those up: {mismatches}")
    problems = activity_problems(database, seen, hours)
    for problem in problems:
        print("ACTIVITY check: " + problem)
    print("ACTIVITY check: " + ("failed" if problems else "ok"))
    return 1 if problems or helper.returncode != 0 or scans != args.scans else 0


if __name__ == "__main__":
    sys.exit(main())
