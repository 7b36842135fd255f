#!/usr/bin/python3
"""Fixtures for the DNS message tests, made with python3-zeroconf (Debian's
package), an implementation independent of ours.

  1. zeroconf_*.bin: packets zeroconf itself sends (probe, announcement,
     queries, answer, goodbye), captured from a multicast socket while it
     registers, browses for and unregisters a "_vello._tcp" service.
  2. vello_*.zeroconf.txt: how zeroconf reads each vello_*.bin, the packets
     our writer makes (the core tests write those bins when run with
     VELLO_UPDATE_MDNS_FIXTURES=1 and check them byte for byte otherwise).
     The script checks zeroconf's reading against what the packets must say
     and stops with an error if it differs.

Rerun (as root; it makes its own network namespace, so nothing leaves the
machine and no other program's port 5353 is disturbed):

  VELLO_UPDATE_MDNS_FIXTURES=1 build/native/core_tests --gtest_filter='MdnsGolden*'
  sudo apt-get install python3-zeroconf
  /usr/bin/python3 tests/data/mdns/make_fixtures.py

Commit the changed files of tests/data/mdns with the change that made them.
"""
import glob
import os
import socket
import struct
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def in_own_namespace():
    if os.environ.get("VELLO_FIXTURE_NETNS") == "1":
        return
    os.environ["VELLO_FIXTURE_NETNS"] = "1"
    script = "ip link set lo up && ip route add 224.0.0.0/4 dev lo && exec \"$0\" \"$@\""
    os.execvp("unshare", ["unshare", "-n", "sh", "-c", script, sys.executable] + sys.argv)


def capture_zeroconf():
    from zeroconf import DNSIncoming, DNSOutgoing, DNSQuestion, ServiceBrowser, ServiceInfo, Zeroconf, const

    packets = []
    stop = threading.Event()

    def sniff():
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEPORT, 1)
        s.bind(("", 5353))
        mreq = struct.pack("4s4s", socket.inet_aton("224.0.0.251"), socket.inet_aton("127.0.0.1"))
        s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, mreq)
        s.settimeout(0.1)
        while not stop.is_set():
            try:
                data, _ = s.recvfrom(9000)
            except socket.timeout:
                continue
            packets.append(data)

    t = threading.Thread(target=sniff)
    t.start()
    time.sleep(0.3)
    owner = Zeroconf(interfaces=["127.0.0.1"])
    info = ServiceInfo("_vello._tcp.local.", "zc-peer._vello._tcp.local.", port=5963,
                       properties={"ver": "1.5"}, server="zc-host.local.",
                       addresses=[socket.inet_aton("198.18.0.7")])
    owner.register_service(info)
    time.sleep(1)
    browser_side = Zeroconf(interfaces=["127.0.0.1"])

    class Ignore:
        def add_service(self, *a): pass
        def remove_service(self, *a): pass
        def update_service(self, *a): pass

    browser = ServiceBrowser(browser_side, "_vello._tcp.local.", Ignore())
    time.sleep(2)
    # A plain question with no known answers, as zeroconf writes it; the
    # owner answers it. (The browser's queries after its first carry known
    # answers or not, depending on timing.)
    plain = DNSOutgoing(const._FLAGS_QR_QUERY)
    plain.add_question(DNSQuestion("_vello._tcp.local.", const._TYPE_PTR, const._CLASS_IN))
    browser_side.send(plain)
    time.sleep(6)
    owner.unregister_service(info)
    time.sleep(1.5)
    browser.cancel()
    browser_side.close()
    owner.close()
    stop.set()
    t.join()

    def kind(data):
        m = DNSIncoming(data)
        records = m.answers
        if not m.is_response():
            if m.num_authorities:
                return "probe"
            if m.num_answers:
                return "query_known_answer"
            return "query_qu" if m.questions[0].unicast else "query_qm"
        if records and all(r.ttl == 0 for r in records):
            return "goodbye"
        return "answer" if m.num_additionals else "announcement"

    wanted = {}
    for data in packets:
        wanted.setdefault(kind(data), data)
    for name in ("probe", "announcement", "query_qu", "query_qm", "query_known_answer", "answer", "goodbye"):
        if name not in wanted:
            sys.exit("zeroconf sent no %s packet" % name)
        with open(os.path.join(HERE, "zeroconf_%s.bin" % name), "wb") as f:
            f.write(wanted[name])
        print("captured zeroconf_%s.bin (%d bytes)" % (name, len(wanted[name])))


def describe(data):
    """zeroconf's reading of a packet, one line per entry."""
    from zeroconf import DNSIncoming
    from zeroconf._dns import DNSAddress, DNSPointer, DNSService, DNSText

    m = DNSIncoming(data)
    if not m.valid:
        sys.exit("zeroconf cannot read the packet")
    lines = ["bytes %s" % data.hex(),
             "flags %04x questions %d answers %d authorities %d additionals %d" % (
                 m.flags, m.num_questions, m.num_answers, m.num_authorities, m.num_additionals)]
    for q in m.questions:
        lines.append("question %s type %d class %d %s" % (q.name, q.type, q.class_, "QU" if q.unicast else "QM"))
    for r in m.answers:
        head = "record %s type %d class %d %s ttl %d" % (r.name, r.type, r.class_,
                                                        "unique" if r.unique else "shared", r.ttl)
        if isinstance(r, DNSPointer):
            head += " ptr %s" % r.alias
        elif isinstance(r, DNSService):
            head += " srv %d %d %d %s" % (r.priority, r.weight, r.port, r.server)
        elif isinstance(r, DNSText):
            head += " txt %s" % r.text.hex()
        elif isinstance(r, DNSAddress):
            head += " a %s" % socket.inet_ntoa(r.address)
        lines.append(head)
    return lines


# What each of our packets must say, as zeroconf reads it.
EXPECTED = {
    "vello_probe": [
        "flags 0000 questions 2 answers 0 authorities 3 additionals 0",
        "question alpha._vello._tcp.local. type 255 class 1 QM",
        "question alpha-vello.local. type 255 class 1 QM",
        "record alpha._vello._tcp.local. type 33 class 1 unique ttl 120 srv 0 0 5963 alpha-vello.local.",
        "record alpha-vello.local. type 1 class 1 unique ttl 120 a 198.18.0.1",
    ],
    "vello_announcement": [
        "flags 8400 questions 0 answers 4 authorities 0 additionals 0",
        "record _vello._tcp.local. type 12 class 1 shared ttl 4500 ptr alpha._vello._tcp.local.",
        "record alpha._vello._tcp.local. type 33 class 1 unique ttl 120 srv 0 0 5963 alpha-vello.local.",
        "record alpha._vello._tcp.local. type 16 class 1 unique ttl 4500 txt 077665723d312e35",
        "record alpha-vello.local. type 1 class 1 unique ttl 120 a 198.18.0.1",
    ],
    "vello_goodbye": [
        "flags 8400 questions 0 answers 4 authorities 0 additionals 0",
        "record _vello._tcp.local. type 12 class 1 shared ttl 0 ptr alpha._vello._tcp.local.",
        "record alpha-vello.local. type 1 class 1 unique ttl 0 a 198.18.0.1",
    ],
    "vello_query": [
        "flags 0000 questions 1 answers 1 authorities 0 additionals 0",
        "question _vello._tcp.local. type 12 class 1 QM",
        "record _vello._tcp.local. type 12 class 1 shared ttl 4499 ptr zc-peer._vello._tcp.local.",
    ],
    "vello_answer": [
        "flags 8400 questions 0 answers 1 authorities 0 additionals 3",
        "record _vello._tcp.local. type 12 class 1 shared ttl 4500 ptr alpha._vello._tcp.local.",
        "record alpha._vello._tcp.local. type 33 class 1 unique ttl 120 srv 0 0 5963 alpha-vello.local.",
        "record alpha._vello._tcp.local. type 16 class 1 unique ttl 4500 txt 077665723d312e35",
        "record alpha-vello.local. type 1 class 1 unique ttl 120 a 198.18.0.1",
    ],
    "vello_legacy_answer": [
        "flags 8400 questions 1 answers 1 authorities 0 additionals 3",
        "question _vello._tcp.local. type 12 class 1 QM",
        "record _vello._tcp.local. type 12 class 1 shared ttl 10 ptr alpha._vello._tcp.local.",
        "record alpha._vello._tcp.local. type 33 class 1 shared ttl 10 srv 0 0 5963 alpha-vello.local.",
        "record alpha-vello.local. type 1 class 1 shared ttl 10 a 198.18.0.1",
    ],
    "vello_japanese_announcement": [
        "record _vello._tcp.local. type 12 class 1 shared ttl 4500 ptr \u7d4c\u7406\u306ePC._vello._tcp.local.",
        "record \u7d4c\u7406\u306ePC._vello._tcp.local. type 33 class 1 unique ttl 120 srv 0 0 6000 PC-vello.local.",
    ],
}


def read_back_ours():
    bins = sorted(glob.glob(os.path.join(HERE, "vello_*.bin")))
    if not bins:
        sys.exit("no vello_*.bin: run the core tests with VELLO_UPDATE_MDNS_FIXTURES=1 first")
    for path in bins:
        stem = os.path.basename(path)[:-4]
        with open(path, "rb") as f:
            lines = describe(f.read())
        missing = [line for line in EXPECTED.get(stem, []) if line not in lines]
        if stem not in EXPECTED or missing:
            sys.exit("%s: zeroconf reads\n  %s\nbut these lines are missing:\n  %s" % (
                stem, "\n  ".join(lines), "\n  ".join(missing) or "(no expectation for this packet)"))
        with open(os.path.join(HERE, stem + ".zeroconf.txt"), "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        print("zeroconf reads %s as expected" % os.path.basename(path))


if __name__ == "__main__":
    in_own_namespace()
    capture_zeroconf()
    read_back_ours()
