#!/usr/bin/env python3
"""A simulated LAN of network namespaces for scanning tests.

    simlan.py up   [--prefix P] [--owner PID] [--faulty]
                                                build the LAN, print the path of its truth file
    simlan.py down --prefix P | --stale         tear one LAN down, or every LAN whose owner is gone
    simlan.py exec --prefix P -- CMD [ARG...]   run CMD in the scanner namespace (ip netns exec)

Layout (every name starts with the prefix, "tw<owner pid>-" by default):
    <P>br   the bridge br0 and one veth port per node; no uplink, nothing in the root namespace
    <P>rt   the router 10.231.0.1, the LAN's gateway; a dnsmasq answering the reverse names
    <P>sc   the scanner: lan0 10.231.0.2/24, default route via the router and nothing else;
            its resolver is the router (/etc/netns/<P>sc/), unprivileged ICMP is allowed
    <P>dNN  the devices of DEVICES below: echo or not, web pages, nmbd NetBIOS responders;
            with --faulty also FAULTY_DEVICES: a NetBIOS flooder and web servers that never finish

The truth (every device with address, MAC, echo, title, NetBIOS and DNS name, and the
scanner's adapter) is written to /run/tarrowin-lan/<P>/truth.json. `up` first removes a LAN
left behind under the same prefix and every LAN whose owner process has ended, so it can be
repeated after a crash. Needs root, iproute2, dnsmasq and samba's nmbd; exits with 77 (skipped)
where the machine cannot host the LAN.
"""

import argparse
import ctypes
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

STATE_ROOT = "/run/tarrowin-lan"
NETNS_DIR = "/var/run/netns"
ETC_NETNS = "/etc/netns"
CLONE_NEWNET = 0x40000000

SUBNET = "10.231.0"
PREFIX_LEN = 24
ROUTER = {"address": f"{SUBNET}.1", "mac": "00:1A:2B:3C:4D:01", "dns": "router.lan"}
SCANNER = {"address": f"{SUBNET}.2", "mac": "02:54:57:00:00:02", "dns": "scanner.lan", "ifname": "lan0"}

# The pages a device may serve on port 80, with the title a scanner must report (None: no title).
def response(status, body, length=False):
    head = f"HTTP/1.0 {status}\r\nContent-Type: text/html\r\n"
    if length:
        head += f"Content-Length: {len(body)}\r\n"
    return head.encode() + b"\r\n" + body


PAGES = {
    "upper": (response("200 OK", b"<HTML><HEAD><TITLE>Raspberry Status</TITLE></HEAD><BODY>ok</BODY></HTML>\r\n"),
              "Raspberry Status"),
    "lower": (response("200 OK", b"<html>\n<head>\n  <title>\n    Router &amp; Access Point \t\n  </title>\n"
                                 b"</head>\n<body></body>\n</html>", length=True),
              "Router &amp; Access Point"),
    "multiline": (response("200 OK", b"<html><head><title>\n  Printer\n  Status\r\n</title></head></html>"),
                  "Printer\r\n  Status"),
    "attributes": (response("200 OK", b'<html><head><title lang="en">Has Attributes</title></head></html>'), None),
    "error404": (response("404 Not Found", b"<html><head><title>404 Not Found</title></head><body>gone</body></html>",
                          length=True),
                 "404 Not Found"),
    "untitled": (response("200 OK", b"<html><body>No title here</body></html>"), None),
    "reversed": (response("200 OK", b"<html></title><title>late</html>"), ""),
}

# One entry per device: host number, MAC, answers echo, page, NetBIOS name, DNS name.
DEVICES = [
    (10, "B8:27:EB:10:00:0A", True, "upper", None, "pi-status.lan"),
    (11, "3C:5A:B4:11:00:0B", True, "lower", None, None),
    (12, "00:11:32:12:00:0C", True, "attributes", None, "nas.lan"),
    (13, "F0:9F:C2:13:00:0D", True, "error404", None, None),
    (14, "DC:A6:32:14:00:0E", True, "untitled", "KIOSK-E", None),
    (15, "00:17:88:15:00:0F", True, "multiline", None, "printer.lan"),
    (16, "0A:1B:2C:16:00:10", True, "reversed", None, None),
    (20, "0A:00:27:20:00:14", True, None, "DESKTOP-A", None),
    (21, "02:42:AC:21:00:15", True, None, "LAPTOP-B", "laptop.lan"),
    (22, "00:17:88:22:00:16", False, None, None, None),
    (23, "18:B4:30:23:00:17", False, "upper", None, "camera.lan"),
    (24, "44:65:0D:24:00:18", False, None, "MEDIA-C", None),
    (30, "00:50:56:30:00:1E", True, None, None, None),
    (31, "28:CF:E9:31:00:1F", True, None, None, "phone.lan"),
    (64, "00:0C:29:64:00:40", True, None, None, None),
    (99, "B8:27:EB:99:00:63", True, None, None, "sensor.lan"),
    (100, "3C:5A:B4:64:01:00", True, None, None, None),
    (128, "02:00:00:80:00:80", False, None, None, "tv.lan"),
    (150, "00:1A:2B:96:00:96", True, None, None, None),
    (199, "0A:FF:EE:C7:00:C7", True, None, None, "thermostat.lan"),
    (200, "F0:9F:C2:C8:00:C8", True, None, None, None),
    (253, "DC:A6:32:FD:00:FD", False, None, None, None),
    (254, "00:11:32:FE:00:FE", True, None, None, "switch.lan"),
]

# Devices that misbehave, added by `up --faulty`: the scan must not wait on them beyond its caps. "trickle"
# sends its page a byte a second, "endless" a body without end; "flood" answers a NetBIOS query with a
# stream of datagrams. Their titles are whatever the caps let through, so the truth has none.
FAULTY_DEVICES = [
    (40, "02:FA:00:28:00:28", True, "trickle", None, None),
    (41, "02:FA:00:29:00:29", True, "endless", None, None),
    (42, "02:FA:00:2A:00:2A", True, None, None, None),
]
FLOODER = 42
FAULTY_PAGES = {"trickle", "endless"}
FLOOD_SECONDS = 60


def use_faulty_devices():
    DEVICES.extend(FAULTY_DEVICES)
    for page in FAULTY_PAGES:
        PAGES[page] = (page, None)


libc = ctypes.CDLL(None, use_errno=True)


class LanError(Exception):
    pass


class Unavailable(LanError):
    """This machine cannot host the LAN (no root, no namespaces, a tool missing)."""


UNAVAILABLE_EXIT = 77  # what test runners take as "skipped"


def log(message):
    print(f"simlan: {message}", file=sys.stderr, flush=True)


def run(args, stdin=None):
    done = subprocess.run(args, input=stdin, capture_output=True, text=True)
    if done.returncode != 0:
        raise LanError(f"{' '.join(args)} failed: {done.stderr.strip()}")
    return done.stdout


def ip_batch(commands, namespace=None):
    args = ["ip"] + (["-n", namespace] if namespace else []) + ["-batch", "-"]
    run(args, stdin="\n".join(commands) + "\n")


class Netns:
    """Runs a block with the calling thread in another network namespace."""

    def __init__(self, name):
        self.name = name

    def __enter__(self):
        self.home = os.open("/proc/thread-self/ns/net", os.O_RDONLY)
        target = os.open(os.path.join(NETNS_DIR, self.name), os.O_RDONLY)
        try:
            self._enter(target)
        finally:
            os.close(target)
        return self

    def __exit__(self, *exc):
        self._enter(self.home)
        os.close(self.home)

    @staticmethod
    def _enter(fd):
        if libc.setns(fd, CLONE_NEWNET) != 0:
            raise OSError(ctypes.get_errno(), "setns failed")


def write_sysctl(name, value):
    with open("/proc/sys/" + name.replace(".", "/"), "w") as f:
        f.write(value)


def udp_port_bound(port, address):
    """True when the current namespace has a UDP socket bound to the port on the address or any."""
    wanted = {"00000000", socket.inet_aton(address)[::-1].hex().upper()}
    with open("/proc/thread-self/net/udp") as f:
        for line in f.readlines()[1:]:
            local = line.split()[1]
            host, hexport = local.split(":")
            if int(hexport, 16) == port and host in wanted:
                return True
    return False


# ---------------------------------------------------------------------------------------------
# The LAN's description


class Lan:
    def __init__(self, prefix):
        self.prefix = prefix
        self.state_dir = os.path.join(STATE_ROOT, prefix)
        self.bridge_ns = prefix + "br"
        self.router_ns = prefix + "rt"
        self.scanner_ns = prefix + "sc"

    def nodes(self):
        """(namespace, bridge port, interface, address, MAC) of every host on the LAN."""
        yield self.router_ns, "p-rt", "eth0", ROUTER["address"], ROUTER["mac"]
        yield self.scanner_ns, "p-sc", SCANNER["ifname"], SCANNER["address"], SCANNER["mac"]
        for index, device in enumerate(DEVICES, 1):
            yield self.device_ns(index), f"p-d{index:02d}", "eth0", f"{SUBNET}.{device[0]}", device[1]

    def device_ns(self, index):
        return f"{self.prefix}d{index:02d}"

    def namespaces(self):
        return [self.bridge_ns] + [node[0] for node in self.nodes()]

    def path(self, *parts):
        return os.path.join(self.state_dir, *parts)

    def truth(self):
        devices = [host_truth(ROUTER["address"], ROUTER["mac"], True, None, None, ROUTER["dns"], "router"),
                   host_truth(SCANNER["address"], SCANNER["mac"], True, None, None, SCANNER["dns"], "scanner")]
        for host, mac, echo, page, netbios, dns in DEVICES:
            title = PAGES[page][1] if page and echo else None
            devices.append(host_truth(f"{SUBNET}.{host}", mac, echo, title, netbios, dns, "device"))
        return {
            "prefix": self.prefix,
            "scanner_namespace": self.scanner_ns,
            "interface": SCANNER["ifname"],
            "address": SCANNER["address"],
            "mac": SCANNER["mac"],
            "mask": "255.255.255.0",
            "gateway": ROUTER["address"],
            "subnet": f"{SUBNET}.0/{PREFIX_LEN}",
            "devices": devices,
        }


def host_truth(address, mac, echo, title, netbios, dns, role):
    # A page title is only fetched from a device that answered the echo.
    return {"address": address, "mac": mac, "echo": echo, "title": title,
            "netbios": netbios, "dns": dns, "role": role}


# ---------------------------------------------------------------------------------------------
# Owners and stale LANs


def process_start(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[19]
    except OSError:
        return None


def read_state(lan):
    try:
        with open(lan.path("state.json")) as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


def write_state(lan, state):
    tmp = lan.path("state.json.tmp")
    with open(tmp, "w") as f:
        json.dump(state, f, indent=1)
    os.replace(tmp, lan.path("state.json"))


def owner_alive(state):
    owner = state.get("owner")
    return owner is not None and process_start(owner) == state.get("owner_start")


def create_state_dir(lan, state):
    """Makes the LAN's folder appear with its owner already in it, so that a sweep running in
    parallel never takes a LAN under construction for a stale one."""
    os.makedirs(STATE_ROOT, exist_ok=True)
    building = tempfile.mkdtemp(prefix=".new-", dir=STATE_ROOT)
    os.chmod(building, 0o755)
    with open(os.path.join(building, "state.json"), "w") as f:
        json.dump(state, f)
    os.rename(building, lan.state_dir)


def sweep_stale(keep_prefix):
    if not os.path.isdir(STATE_ROOT):
        return
    for prefix in os.listdir(STATE_ROOT):
        if prefix.startswith("."):
            continue
        lan = Lan(prefix)
        if prefix != keep_prefix and not owner_alive(read_state(lan)):
            log(f"removing the stale LAN {prefix}")
            down(lan)


# ---------------------------------------------------------------------------------------------
# Tear-down


def stop_process(pid, expected):
    """Ends one of our daemons, if the pid still names it."""
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            if expected.encode() not in f.read():
                return
        os.kill(pid, signal.SIGTERM)
    except (OSError, ProcessLookupError):
        return
    for _ in range(50):
        if process_start(pid) is None or zombie(pid):
            return
        time.sleep(0.02)
    try:
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


def zombie(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except OSError:
        return True


def our_namespaces(lan):
    try:
        return [name for name in os.listdir(NETNS_DIR) if name.startswith(lan.prefix)]
    except FileNotFoundError:
        return []


def down(lan):
    state = read_state(lan)
    for pid, expected in state.get("pids", []):
        stop_process(pid, expected)
    namespaces = our_namespaces(lan)
    for name in namespaces:
        # Anything still running in our namespaces was started for this LAN.
        pids = subprocess.run(["ip", "netns", "pids", name], capture_output=True, text=True).stdout.split()
        for pid in pids:
            stop_process(int(pid), "")
    if namespaces:
        subprocess.run(["ip", "-force", "-batch", "-"], input="".join(f"netns del {n}\n" for n in namespaces),
                       capture_output=True, text=True)
    shutil.rmtree(os.path.join(ETC_NETNS, lan.scanner_ns), ignore_errors=True)
    shutil.rmtree(lan.state_dir, ignore_errors=True)


# ---------------------------------------------------------------------------------------------
# Bring-up


def create_namespaces(lan):
    ip_batch([f"netns add {name}" for name in lan.namespaces()])
    echo_ignorers = {lan.device_ns(i) for i, d in enumerate(DEVICES, 1) if not d[2]}
    for name in lan.namespaces():
        with Netns(name):
            write_sysctl("net.ipv6.conf.all.disable_ipv6", "1")
            write_sysctl("net.ipv6.conf.default.disable_ipv6", "1")
            if name in echo_ignorers:
                write_sysctl("net.ipv4.icmp_echo_ignore_all", "1")
            if name == lan.scanner_ns:
                write_sysctl("net.ipv4.ping_group_range", "0 2147483647")


def wire(lan):
    commands = ["link add br0 type bridge stp_state 0 forward_delay 0", "link set br0 up"]
    for namespace, port, ifname, _, mac in lan.nodes():
        commands += [f"link add {port} type veth peer name {ifname} address {mac} netns {namespace}",
                     f"link set {port} master br0", f"link set {port} up"]
    ip_batch(commands, lan.bridge_ns)
    jobs = []
    for namespace, _, ifname, address, _ in lan.nodes():
        commands = ["link set lo up", f"addr add {address}/{PREFIX_LEN} dev {ifname}", f"link set {ifname} up"]
        if address != ROUTER["address"]:
            commands.append(f"route add default via {ROUTER['address']} dev {ifname}")
        jobs.append(subprocess.Popen(["ip", "-n", namespace, "-batch", "-"], stdin=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True))
        jobs[-1].stdin.write("\n".join(commands) + "\n")
        jobs[-1].stdin.close()
    for job in jobs:
        if job.wait() != 0:
            raise LanError(f"configuring a namespace failed: {job.stderr.read().strip()}")


def reverse_name(address):
    return ".".join(reversed(address.split("."))) + ".in-addr.arpa"


def configure_scanner_resolver(lan):
    etc = os.path.join(ETC_NETNS, lan.scanner_ns)
    os.makedirs(etc, exist_ok=True)
    with open(os.path.join(etc, "hosts"), "w") as f:
        f.write("127.0.0.1\tlocalhost\n")
    with open(os.path.join(etc, "resolv.conf"), "w") as f:
        f.write(f"nameserver {ROUTER['address']}\noptions timeout:1 attempts:2\n")


def spawn(lan, state, namespace, args, log_name, expected):
    with open(lan.path(log_name), "w") as out:
        proc = subprocess.Popen(["ip", "netns", "exec", namespace] + args, stdin=subprocess.DEVNULL,
                                stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
    state["pids"].append([proc.pid, expected])
    write_state(lan, state)
    return proc


def start_dnsmasq(lan, state):
    args = ["dnsmasq", "--keep-in-foreground", "--conf-file=/dev/null", "--no-resolv", "--no-hosts",
            "--no-poll", "--bogus-priv", "--bind-interfaces", f"--listen-address={ROUTER['address']}",
            f"--pid-file={lan.path('dnsmasq.pid')}", "--log-facility=-"]
    names = [(ROUTER["address"], ROUTER["dns"]), (SCANNER["address"], SCANNER["dns"])]
    names += [(f"{SUBNET}.{d[0]}", d[5]) for d in DEVICES if d[5]]
    args += [f"--ptr-record={reverse_name(address)},{name}" for address, name in names]
    spawn(lan, state, lan.router_ns, args, "dnsmasq.log", "dnsmasq")


NMBD_CONF = """[global]
netbios name = {name}
workgroup = TWLAN
server role = standalone server
interfaces = {address}/{prefix_len}
bind interfaces only = yes
local master = no
preferred master = no
domain master = no
os level = 0
dns proxy = no
wins support = no
disable netbios = no
lock directory = {dir}/lock
state directory = {dir}/state
cache directory = {dir}/cache
pid directory = {dir}/pid
private dir = {dir}/private
ncalrpc dir = {dir}/ncalrpc
binddns dir = {dir}/binddns
log file = {dir}/log.nmbd
max log size = 0
"""


def start_nmbd(lan, state, index, address, name):
    home = lan.path(f"nmbd-d{index:02d}")
    for sub in ("lock", "state", "cache", "pid", "private", "ncalrpc", "binddns"):
        os.makedirs(os.path.join(home, sub), exist_ok=True)
    conf = os.path.join(home, "smb.conf")
    with open(conf, "w") as f:
        f.write(NMBD_CONF.format(name=name, address=address, prefix_len=PREFIX_LEN, dir=home))
    spawn(lan, state, lan.device_ns(index),
          ["nmbd", "--foreground", "--no-process-group", f"--configfile={conf}", "--debug-stdout", "-d", "1"],
          f"nmbd-d{index:02d}.log", "nmbd")


def start_web_server(lan, state, faulty):
    args = [sys.executable, os.path.abspath(__file__), "_httpd", lan.prefix] + (["--faulty"] if faulty else [])
    return spawn(lan, state, lan.router_ns, args, "httpd.log", "_httpd")


def wait_until(what, ready, timeout=30.0):
    deadline = time.monotonic() + timeout
    while not ready():
        if time.monotonic() > deadline:
            raise LanError(f"{what} did not become ready")
        time.sleep(0.02)


def wait_for_services(lan):
    def bound(namespace, port, address):
        with Netns(namespace):
            return udp_port_bound(port, address)

    wait_until("dnsmasq", lambda: bound(lan.router_ns, 53, ROUTER["address"]))
    for index, device in enumerate(DEVICES, 1):
        if device[4]:
            address = f"{SUBNET}.{device[0]}"
            wait_until(f"nmbd on {address}", lambda: bound(lan.device_ns(index), 137, address))
    wait_until("the web server", lambda: os.path.exists(lan.path("httpd.ready")))


def verify_isolation(lan):
    """Refuses a LAN from which traffic could leave: the scanner's routes and the bridge's ports."""
    routes = json.loads(run(["ip", "-n", lan.scanner_ns, "-j", "-4", "route", "show", "table", "main"]))
    found = sorted((r.get("dst"), r.get("gateway"), r.get("dev")) for r in routes)
    wanted = sorted([("default", ROUTER["address"], SCANNER["ifname"]),
                     (f"{SUBNET}.0/{PREFIX_LEN}", None, SCANNER["ifname"])])
    if found != wanted:
        raise LanError(f"unexpected routes in the scanner namespace: {found}")
    links = {link["ifname"] for link in json.loads(run(["ip", "-n", lan.scanner_ns, "-j", "link", "show"]))}
    if links != {"lo", SCANNER["ifname"]}:
        raise LanError(f"unexpected interfaces in the scanner namespace: {sorted(links)}")
    ports = {link["ifname"] for link in json.loads(run(["ip", "-n", lan.bridge_ns, "-j", "link", "show"]))}
    if ports != {"lo", "br0"} | {node[1] for node in lan.nodes()}:
        raise LanError(f"unexpected interfaces in the bridge namespace: {sorted(ports)}")


def require_tools():
    missing = [tool for tool in ("ip", "dnsmasq", "nmbd") if not shutil.which(tool)]
    if missing:
        raise Unavailable(f"missing {', '.join(missing)}")
    probe = subprocess.run(["ip", "netns", "add", f"{os.getpid()}-twprobe"], capture_output=True, text=True)
    if probe.returncode != 0:
        raise Unavailable(f"network namespaces unavailable: {probe.stderr.strip()}")
    subprocess.run(["ip", "netns", "del", f"{os.getpid()}-twprobe"], capture_output=True)


def up(lan, owner, faulty):
    require_tools()
    if os.path.exists(lan.state_dir) or our_namespaces(lan):
        log(f"removing an earlier LAN under the prefix {lan.prefix}")
        down(lan)
    sweep_stale(lan.prefix)
    state = {"owner": owner, "owner_start": process_start(owner), "pids": []}
    create_state_dir(lan, state)
    try:
        create_namespaces(lan)
        wire(lan)
        configure_scanner_resolver(lan)
        start_dnsmasq(lan, state)
        for index, device in enumerate(DEVICES, 1):
            if device[4]:
                start_nmbd(lan, state, index, f"{SUBNET}.{device[0]}", device[4])
        start_web_server(lan, state, faulty)
        wait_for_services(lan)
        verify_isolation(lan)
        truth_path = lan.path("truth.json")
        with open(truth_path, "w") as f:
            json.dump(lan.truth(), f, indent=1)
        return truth_path
    except BaseException:
        down(lan)
        raise


# ---------------------------------------------------------------------------------------------
# The web server: one process, one listening socket in each web device's namespace


def send_faulty_page(conn, kind):
    """Keeps the connection busy until the client gives up (or an hour has passed)."""
    conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><head><title>")
    deadline = time.monotonic() + 3600
    while time.monotonic() < deadline:
        if kind == "trickle":
            conn.sendall(b"s")
            time.sleep(1)
        else:
            conn.sendall(b"endless " * 8192)


def serve_connection(conn, response):
    with conn:
        conn.settimeout(5)
        request = b""
        try:
            while b"\r\n\r\n" not in request and len(request) < 65536:
                chunk = conn.recv(4096)
                if not chunk:
                    return
                request += chunk
            if response in FAULTY_PAGES:
                conn.settimeout(None)
                send_faulty_page(conn, response)
                return
            conn.sendall(response)
            conn.shutdown(socket.SHUT_WR)
        except OSError:
            pass


def flood(sock, query, peer):
    """Answers one NetBIOS query with datagrams that look like answers to it, for FLOOD_SECONDS."""
    answer = query[:2] + b"\x84\x00\x00\x00\x00\x01\x00\x00\x00\x00" + os.urandom(80)
    deadline = time.monotonic() + FLOOD_SECONDS
    while time.monotonic() < deadline:
        try:
            sock.sendto(answer, peer)
        except OSError:
            time.sleep(0.01)


def flood_loop(sock):
    while True:
        query, peer = sock.recvfrom(2048)
        threading.Thread(target=flood, args=(sock, query, peer), daemon=True).start()


def accept_loop(listener, response):
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve_connection, args=(conn, response), daemon=True).start()


def httpd(prefix, faulty):
    lan = Lan(prefix)
    listeners = []
    threads = []
    if faulty:
        index = next(i for i, d in enumerate(DEVICES, 1) if d[0] == FLOODER)
        with Netns(lan.device_ns(index)):
            flooder = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        flooder.bind((f"{SUBNET}.{FLOODER}", 137))
        threads.append(threading.Thread(target=flood_loop, args=(flooder,), daemon=True))
    for index, (host, _, _, page, _, _) in enumerate(DEVICES, 1):
        if not page:
            continue
        with Netns(lan.device_ns(index)):
            listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind((f"{SUBNET}.{host}", 80))
        listener.listen(16)
        listeners.append((listener, PAGES[page][0]))
    threads += [threading.Thread(target=accept_loop, args=item, daemon=True) for item in listeners]
    for thread in threads:
        thread.start()
    open(lan.path("httpd.ready"), "w").close()
    while True:
        time.sleep(3600)


# ---------------------------------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(description="A simulated LAN of network namespaces.")
    sub = parser.add_subparsers(dest="command", required=True)
    p_up = sub.add_parser("up")
    p_up.add_argument("--owner", type=int, default=os.getppid(),
                      help="the process that keeps the LAN; when it has ended the LAN counts as stale")
    p_up.add_argument("--prefix")
    p_up.add_argument("--faulty", action="store_true", help="add the misbehaving devices of FAULTY_DEVICES")
    p_down = sub.add_parser("down")
    group = p_down.add_mutually_exclusive_group(required=True)
    group.add_argument("--prefix")
    group.add_argument("--stale", action="store_true")
    p_exec = sub.add_parser("exec")
    p_exec.add_argument("--prefix", required=True)
    p_exec.add_argument("argv", nargs=argparse.REMAINDER)
    p_httpd = sub.add_parser("_httpd")
    p_httpd.add_argument("prefix")
    p_httpd.add_argument("--faulty", action="store_true")
    args = parser.parse_args()
    if getattr(args, "faulty", False):
        use_faulty_devices()

    try:
        if os.geteuid() != 0:
            raise Unavailable("needs root (network namespaces)")
        if args.command == "up":
            prefix = args.prefix or f"tw{args.owner}-"
            started = time.monotonic()
            print(up(Lan(prefix), args.owner, args.faulty))
            log(f"LAN {prefix} up in {time.monotonic() - started:.1f} s")
        elif args.command == "down":
            if args.stale:
                sweep_stale(None)
            else:
                down(Lan(args.prefix))
        elif args.command == "exec":
            argv = args.argv[1:] if args.argv[:1] == ["--"] else args.argv
            if not argv:
                sys.exit("simlan: exec needs a command")
            os.execvp("ip", ["ip", "netns", "exec", Lan(args.prefix).scanner_ns] + argv)
        else:
            httpd(args.prefix, args.faulty)
    except Unavailable as error:
        log(str(error))
        sys.exit(UNAVAILABLE_EXIT)
    except LanError as error:
        sys.exit(f"simlan: {error}")


if __name__ == "__main__":
    main()
