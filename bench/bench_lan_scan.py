#!/usr/bin/env python3
"""Times a whole scan of the simulated LAN (tests/lan/simlan.py) at 16 and at 32 workers.

Prints, per worker count: the wall time of the scan process, the model bound, their ratio, the
CPU seconds (user + system) and the peak memory (max RSS) of the scan process. Figures only.

The model bound comes from the LAN's truth. A worker waits out the echo timeout (1 s) for every
address that does not answer the echo (no device, or a device that ignores echo), and a NetBIOS
node-status query lasts 2 s after its answer for every live device without a DNS name that runs
NetBIOS (one without NetBIOS refuses the datagram at once); everything else costs next to nothing.
Those costs, in queue order, are laid on a sliding window of N workers (each address starts on
the first worker that becomes free); the bound is when the last one ends.
"""

import argparse
import heapq
import json
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SIMLAN = os.path.join(HERE, "..", "tests", "lan", "simlan.py")
ECHO_TIMEOUT_S = 1.0
NETBIOS_WAIT_S = 2.0
UNAVAILABLE_EXIT = 77


def address_costs(truth):
    """The model's cost of every address of the scanner's /24, in queue order."""
    base = truth["address"].rsplit(".", 1)[0]
    live = {device["address"]: device for device in truth["devices"]}
    costs = []
    for host in range(1, 255):
        device = live.get(f"{base}.{host}")
        cost = 0.0 if device and device["echo"] else ECHO_TIMEOUT_S
        if device and device["dns"] is None and device["netbios"] is not None:
            cost += NETBIOS_WAIT_S
        costs.append(cost)
    return costs


def model_bound(costs, workers):
    free_at = [0.0] * workers
    end = 0.0
    for cost in costs:
        start = heapq.heappop(free_at)
        end = max(end, start + cost)
        heapq.heappush(free_at, start + cost)
    return end


def measure(helper, namespace, workers):
    """(wall s, CPU s, max RSS MiB, summary) of one scan; ip netns exec becomes the helper itself."""
    subprocess.run(["ip", "-n", namespace, "neigh", "flush", "all"], check=True)
    started = time.monotonic()
    proc = subprocess.Popen(["ip", "netns", "exec", namespace, helper, "--threads", str(workers)],
                            stdout=subprocess.PIPE, text=True)
    output = proc.stdout.read()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - started
    proc.returncode = os.waitstatus_to_exitcode(status)
    summary = next((json.loads(line) for line in output.splitlines() if '"summary"' in line), {})
    if proc.returncode != 0 or summary.get("reported") != summary.get("addresses"):
        print(f"  scan at {workers} workers incomplete (exit {proc.returncode})")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--helper", required=True, help="the tarrowin_lan_scan program")
    args = parser.parse_args()
    if os.geteuid() != 0:
        print("lan_scan: skipped, the simulated LAN needs root")
        return
    prefix = f"tw{os.getpid()}-"
    up = subprocess.run([sys.executable, SIMLAN, "up", "--prefix", prefix, "--owner", str(os.getpid())],
                        capture_output=True, text=True)
    if up.returncode == UNAVAILABLE_EXIT:
        print(f"lan_scan: skipped, {up.stderr.strip()}")
        return
    if up.returncode != 0:
        sys.exit(f"lan_scan: simlan.py up failed: {up.stderr.strip()}")
    try:
        with open(up.stdout.strip().splitlines()[-1]) as f:
            truth = json.load(f)
        costs = address_costs(truth)
        devices = truth["devices"]
        answering = sum(1 for d in devices if d["echo"])
        print(f"lan_scan: {len(costs)} addresses, {len(devices)} live, {len(costs) - answering} echo timeouts, "
              f"{sum(1 for d in devices if d['dns'] is None and d['netbios'])} NetBIOS waits")
        print(f"{'workers':>7} {'wall_s':>7} {'model_s':>7} {'ratio':>6} {'cpu_s':>6} {'maxrss_MiB':>10}")
        for workers in (16, 32):
            wall, cpu, rss = measure(args.helper, truth["scanner_namespace"], workers)
            bound = model_bound(costs, workers)
            print(f"{workers:>7} {wall:>7.2f} {bound:>7.2f} {wall / bound:>6.3f} {cpu:>6.2f} {rss:>10.1f}", flush=True)
    finally:
        subprocess.run([sys.executable, SIMLAN, "down", "--prefix", prefix])


if __name__ == "__main__":
    main()
