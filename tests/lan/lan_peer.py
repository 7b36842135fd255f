#!/usr/bin/env python3
"""Peers of the lab network that are not Vello: run inside a lab host.

  lan_peer.py send HOST PORT TEXT       one message line, as a sender writes it;
                                        prints the time of the connect (Unix ms)
  lan_peer.py trickle HOST PORT COUNT SECONDS
                                        holds COUNT connections, each writing one
                                        byte every SECONDS; prints "held N" once
                                        they stand, then trickles until killed
  lan_peer.py deliver HOST PORT TEXT... one message line for each TEXT, one after
                                        another, each waiting for the receiver to end
                                        the connection: prints "taken" (closed in
                                        order) or "refused" (reset) for each
  lan_peer.py hold HOST PORT COUNT      opens COUNT connections and writes nothing on
                                        them; prints "held N" once they stand, then
                                        holds them until killed
  lan_peer.py swallow-dns [ADDRESS]     a name server that never answers: takes
                                        every query on UDP and TCP port 53 (of
                                        ADDRESS, or of every address) and drops it
  lan_peer.py slow-dns SECONDS NAME=ADDRESS...
                                        a name server that knows the names given
                                        (forward and reverse) and answers every
                                        query after SECONDS; other names do not
                                        exist
  lan_peer.py zeroconf-browse ADDRESS   browses for "_vello._tcp" with
                                        python3-zeroconf on the interface of
                                        ADDRESS; prints "ready", then "add INSTANCE
                                        PORT ADDRESSES ver=V MS" and "remove
                                        INSTANCE MS" as services come and go, and
                                        "packet SOURCE MS" for every multicast DNS
                                        packet on the link, until killed
  lan_peer.py zeroconf-register NAME PORT ADDRESS
                                        registers "NAME._vello._tcp" at ADDRESS
                                        and PORT with python3-zeroconf and takes
                                        message lines on PORT: prints "registering
                                        MS", "registered MS" once its names are
                                        its own, and "line TEXT" for each line;
                                        unregisters (its goodbye) when terminated
  lan_peer.py mdns-flood ADDRESS RATE SECONDS KIND[,KIND...]
                                        sends RATE multicast DNS packets a second
                                        from ADDRESS port 5353 for SECONDS, the
                                        kinds in turn: "forged" (four made-up
                                        whole copies of the service at ADDRESS
                                        with lifetimes of 4500 s, 4,000 names in
                                        turn), "malformed" (counts that promise
                                        more than the bytes hold, pointers that
                                        loop, cut records), "queries" (for the
                                        service, and one-shot ones from another
                                        port); prints "flooded N S" at the end
  lan_peer.py mdns-crowd FIRST COUNT    COUNT copies of the service on this host,
                                        "crowd-0000" on, each announcing and
                                        answering from an address of its own
                                        (FIRST and the COUNT-1 after it, which
                                        the host must hold) on port 5353, as a
                                        responder should: known answers and
                                        truncated queries honoured, shared
                                        answers 20-120 ms late, a record at most
                                        once a second; prints "announced MS",
                                        then "sent N" every 10 s
  lan_peer.py mdns-count ADDRESS SECONDS [SOURCE...]
                                        counts the multicast DNS packets on the
                                        interface of ADDRESS for SECONDS: "packets
                                        N" in all and "from SOURCE N" for each
(MS: Unix time in milliseconds.)
"""
import select
import signal
import socket
import struct
import sys
import threading
import time


def now_ms():
    return int(time.time() * 1000)


def message_line(text):
    return ('315,179,16777215,0,10,"MS ゴシック",0,N,"%s"' % text).encode("cp932")


def send(host, port, text):
    data = message_line(text)
    started = time.time()
    with socket.create_connection((host, int(port)), timeout=10) as s:
        s.sendall(data)
    print(int(started * 1000), flush=True)


def trickle(host, port, count, seconds):
    held = []
    for _ in range(int(count)):
        s = socket.create_connection((host, int(port)), timeout=10)
        s.sendall(b"3")  # the start of a line that never ends
        held.append(s)
    print("held %d" % len(held), flush=True)
    # One byte per connection every `seconds`, spread over the period, so
    # that no connection is ever silent for long.
    pause = float(seconds) / len(held)
    while True:
        for s in held:
            try:
                s.send(b"1")
            except OSError:
                pass  # the receiver closed it: that is its right
            time.sleep(pause)


def deliver(host, port, *texts):
    for text in texts:
        with socket.create_connection((host, int(port)), timeout=10) as s:
            s.sendall(message_line(text))
            s.shutdown(socket.SHUT_WR)
            try:
                while s.recv(4096):
                    pass
                print("taken", flush=True)
            except ConnectionResetError:
                print("refused", flush=True)


def hold(host, port, count):
    import resource
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    wanted = int(count) + 64
    if soft < wanted:
        resource.setrlimit(resource.RLIMIT_NOFILE, (min(wanted, hard), hard))
    held = [socket.create_connection((host, int(port)), timeout=10) for _ in range(int(count))]
    print("held %d" % len(held), flush=True)
    while True:
        time.sleep(3600)


def swallow_dns(address="0.0.0.0"):
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind((address, 53))
    tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    tcp.bind((address, 53))
    tcp.listen(64)
    print("listening", flush=True)
    open_tcp = []
    while True:
        readable, _, _ = select.select([udp, tcp] + open_tcp, [], [])
        for r in readable:
            if r is udp:
                udp.recvfrom(4096)
            elif r is tcp:
                conn, _ = tcp.accept()
                open_tcp.append(conn)
            elif not r.recv(4096):
                open_tcp.remove(r)
                r.close()


def dns_name(data, at):
    """The name at `at` of a query (no compression in questions) and where it ends."""
    labels = []
    while data[at]:
        labels.append(data[at + 1:at + 1 + data[at]].decode("ascii", "replace"))
        at += 1 + data[at]
    return ".".join(labels).lower(), at + 1


def dns_answer(query, names):
    """The reply to one query: A and PTR records of `names` (name -> address)."""
    ident, flags = struct.unpack(">HH", query[:4])
    name, end = dns_name(query, 12)
    qtype, qclass = struct.unpack(">HH", query[end:end + 4])
    question = query[12:end + 4]
    reverse = {".".join(reversed(a.split("."))) + ".in-addr.arpa": n for n, a in names.items()}
    records = b""
    known = name in names or name in reverse
    if qtype == 1 and name in names:
        records = b"\xc0\x0c" + struct.pack(">HHIH", 1, 1, 60, 4) + socket.inet_aton(names[name])
    elif qtype == 12 and name in reverse:
        target = b"".join(bytes([len(l)]) + l.encode() for l in reverse[name].split(".")) + b"\0"
        records = b"\xc0\x0c" + struct.pack(">HHIH", 12, 1, 60, len(target)) + target
    rcode = 0 if known else 3
    header = struct.pack(">HHHHHH", ident, 0x8180 | (flags & 0x0100) | rcode, 1, 1 if records else 0, 0, 0)
    return header + question + records


def slow_dns(seconds, *mappings):
    names = dict(m.lower().split("=", 1) for m in mappings)
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind(("0.0.0.0", 53))
    while True:
        query, source = udp.recvfrom(4096)
        try:
            reply = dns_answer(query, names)
        except (IndexError, struct.error):
            continue
        threading.Timer(float(seconds), udp.sendto, (reply, source)).start()


def print_line(text):
    sys.stdout.write(text + "\n")
    sys.stdout.flush()


def count_mdns_packets(address):
    """Every multicast DNS packet on the link, by its source."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEPORT, 1)
    s.bind(("", 5353))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                 struct.pack("4s4s", socket.inet_aton("224.0.0.251"), socket.inet_aton(address)))
    while True:
        _, source = s.recvfrom(9000)
        print_line("packet %s %d" % (source[0], now_ms()))


# Multicast DNS packets, built by hand: what a hostile host sends needs no
# library, and some of it no library would write.

MDNS_GROUP = ("224.0.0.251", 5353)
# Linux's number, which not every Python names.
IP_PKTINFO = getattr(socket, "IP_PKTINFO", 8)


def wire_name(name):
    out = b""
    for label in name.rstrip(".").split("."):
        raw = label.encode("utf-8")
        out += bytes([len(raw)]) + raw
    return out + b"\0"


def record(name, rtype, ttl, rdata, flush=False):
    return wire_name(name) + struct.pack(">HHIH", rtype, 1 | (0x8000 if flush else 0), ttl, len(rdata)) + rdata


def response(records):
    return struct.pack(">HHHHHH", 0, 0x8400, 0, len(records), 0, 0) + b"".join(records)


def query(questions, ident=0):
    body = b"".join(wire_name(name) + struct.pack(">HH", rtype, 1) for name, rtype in questions)
    return struct.pack(">HHHHHH", ident, 0, len(questions), 0, 0, 0) + body


def instance_records(name, port, address, host_ttl=120, other_ttl=4500, ttl=None):
    """A whole copy of the service as its responder announces it."""
    instance = name + "._vello._tcp.local"
    host = name + "-vello.local"
    srv = struct.pack(">HHH", 0, 0, port) + wire_name(host)
    txt = b"\x07ver=1.5"
    return [record("_vello._tcp.local", 12, other_ttl if ttl is None else ttl, wire_name(instance)),
            record(instance, 33, host_ttl if ttl is None else ttl, srv, True),
            record(instance, 16, other_ttl if ttl is None else ttl, txt, True),
            record(host, 1, host_ttl if ttl is None else ttl, socket.inet_aton(address), True)]


def flood_packets(kind, address, n):
    if kind == "forged":
        records = []
        for i in range(4):
            records += instance_records("forged-%d" % ((n * 4 + i) % 4000), 5963, address, ttl=4500)
        return [response(records)]
    if kind == "malformed":
        return [struct.pack(">HHHHHH", 0, 0x8400, 0, 40, 0, 0) + b"\x05local\0" * 3,  # counts the bytes cannot hold
                struct.pack(">HHHHHH", 0, 0x8400, 0, 1, 0, 0) + b"\xc0\x0c" + b"\0" * 10,  # a pointer to itself
                response([record("_vello._tcp.local", 12, 120, wire_name("x._vello._tcp.local"))])[:40]]
    return [query([("_vello._tcp.local", 12)]), query([("_services._dns-sd._udp.local", 12)])]


def mdns_socket(address):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEPORT, 1)
    s.bind((address, 5353))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(address))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 255)
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_LOOP, 0)
    return s


def mdns_flood(address, rate, seconds, kinds):
    multicast = mdns_socket(address)
    oneshot = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)  # another port: a one-shot querier
    oneshot.bind((address, 0))
    oneshot.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(address))
    kinds = kinds.split(",")
    rate, seconds = float(rate), float(seconds)
    started = time.monotonic()
    sent = 0
    while time.monotonic() - started < seconds:
        # As many as the rate asks for by now, then a pause of 10 ms.
        due = int((time.monotonic() - started) * rate)
        while sent < due:
            kind, m = kinds[sent % len(kinds)], sent // len(kinds)
            choices = flood_packets(kind, address, m)
            packet = choices[m % len(choices)]
            (oneshot if kind == "queries" and m % 4 == 3 else multicast).sendto(packet, MDNS_GROUP)
            sent += 1
        time.sleep(0.01)
    print_line("flooded %d %.2f" % (sent, time.monotonic() - started))


def read_name(data, at):
    """The name at `at` (with compression) and the offset after it."""
    labels, end, jumps = [], None, 0
    while True:
        length = data[at]
        if length & 0xC0 == 0xC0:
            if end is None:
                end = at + 2
            at = ((length & 0x3F) << 8) | data[at + 1]
            jumps += 1
            if jumps > 64:
                raise ValueError("pointer loop")
            continue
        if length == 0:
            return ".".join(labels).lower(), (end if end is not None else at + 1)
        labels.append(data[at + 1:at + 1 + length].decode("utf-8", "replace"))
        at += 1 + length


def read_message(data):
    """(flags, questions [(name, type)], answers [(name, type, ttl, rdata name or None)])."""
    ident, flags, qd, an, ns, ar = struct.unpack(">HHHHHH", data[:12])
    at, questions, answers = 12, [], []
    for _ in range(qd):
        name, at = read_name(data, at)
        qtype, _ = struct.unpack(">HH", data[at:at + 4])
        questions.append((name, qtype))
        at += 4
    for _ in range(an):
        name, at = read_name(data, at)
        rtype, _, ttl, length = struct.unpack(">HHIH", data[at:at + 10])
        target = read_name(data, at + 10)[0] if rtype == 12 else None
        answers.append((name, rtype, ttl, target))
        at += 10 + length
    return flags, questions, answers


def mdns_crowd(first, count):
    import heapq
    import random

    count = int(count)
    base = struct.unpack(">I", socket.inet_aton(first))[0]
    addresses = [socket.inet_ntoa(struct.pack(">I", base + i)) for i in range(count)]
    mine = set(addresses)
    names = ["crowd-%04d" % i for i in range(count)]
    by_instance = {n + "._vello._tcp.local": i for i, n in enumerate(names)}
    by_host = {n + "-vello.local": i for i, n in enumerate(names)}
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEPORT, 1)
    s.bind(("", 5353))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                 struct.pack("4s4s", socket.inet_aton("224.0.0.251"), socket.inet_aton(first)))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(first))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 255)
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_LOOP, 0)
    records = [instance_records(names[i], 5963, addresses[i]) for i in range(count)]
    sent = [0]
    last = {}  # (instance, what) -> when it last went out

    def send(i, what, packet):
        # From the copy's own address: the source chosen per datagram.
        info = struct.pack("@I4s4s", 0, socket.inet_aton(addresses[i]), b"\0" * 4)
        s.sendmsg([packet], [(socket.IPPROTO_IP, IP_PKTINFO, info)], 0, MDNS_GROUP)
        last[(i, what)] = time.monotonic()
        sent[0] += 1

    def answer(i, what):
        ptr, srv, txt, a = records[i]
        if what == "ptr":
            send(i, what, struct.pack(">HHHHHH", 0, 0x8400, 0, 1, 0, 3) + ptr + srv + txt + a)
        elif what == "srv":
            send(i, what, struct.pack(">HHHHHH", 0, 0x8400, 0, 2, 0, 1) + srv + txt + a)
        else:
            send(i, what, response([a]))

    for _ in range(2):  # announced twice, 1 s apart, spread over that second
        start = time.monotonic()
        for i in range(count):
            send(i, "ptr", response(records[i]))
            pause = start + (i + 1) / count - time.monotonic()
            if pause > 0:
                time.sleep(pause)
        if _ == 0:
            print_line("announced %d" % now_ms())
    due = []  # (when, instance, what)
    pending = {}  # querier -> (deadline, questions, known) while its truncated query goes on
    report = time.monotonic() + 10

    def take(questions, known):
        now = time.monotonic()
        for name, qtype in questions:
            wanted = []
            if name == "_vello._tcp.local" and qtype in (12, 255):
                wanted = [(i, "ptr") for i in range(count)
                          if (names[i] + "._vello._tcp.local") not in known]
            elif name in by_instance and qtype in (33, 16, 255):
                wanted = [(by_instance[name], "srv")]
            elif name in by_host and qtype in (1, 255):
                wanted = [(by_host[name], "a")]
            for i, what in wanted:
                if now - last.get((i, what), -10) < 1:
                    continue  # at most once a second
                delay = random.uniform(0.02, 0.12) if what == "ptr" else 0
                heapq.heappush(due, (now + delay, i, what))

    while True:
        now = time.monotonic()
        while due and due[0][0] <= now:
            _, i, what = heapq.heappop(due)
            if now - last.get((i, what), -10) >= 1:
                answer(i, what)
        for querier in [q for q, (deadline, _, _) in pending.items() if deadline <= now]:
            _, questions, known = pending.pop(querier)
            take(questions, known)
        if now >= report:
            print_line("sent %d" % sent[0])
            report = now + 10
        wait = min(due[0][0] - now, 0.05) if due else 0.05
        readable, _, _ = select.select([s], [], [], max(0.0, wait))
        if not readable:
            continue
        data, source = s.recvfrom(9000)
        if source[0] in mine:
            continue
        try:
            flags, questions, answers = read_message(data)
        except (ValueError, IndexError, struct.error):
            continue
        if flags & 0x8000:
            continue
        known = {target for name, rtype, ttl, target in answers if rtype == 12 and ttl >= 2250}
        deadline, earlier, known_before = pending.pop(source, (None, [], set()))
        questions, known = earlier + questions, known_before | known
        if flags & 0x0200:  # more known answers follow
            pending[source] = (now + random.uniform(0.4, 0.5), questions, known)
        else:
            take(questions, known)


def mdns_count(address, seconds, *sources):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEPORT, 1)
    s.bind(("", 5353))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                 struct.pack("4s4s", socket.inet_aton("224.0.0.251"), socket.inet_aton(address)))
    s.settimeout(0.2)
    end = time.monotonic() + float(seconds)
    total, by_source = 0, {source: 0 for source in sources}
    while time.monotonic() < end:
        try:
            _, source = s.recvfrom(9000)
        except socket.timeout:
            continue
        total += 1
        if source[0] in by_source:
            by_source[source[0]] += 1
    print_line("packets %d" % total)
    for source in sources:
        print_line("from %s %d" % (source, by_source[source]))


def zeroconf_browse(address):
    from zeroconf import ServiceBrowser, Zeroconf

    threading.Thread(target=count_mdns_packets, args=(address,), daemon=True).start()
    zc = Zeroconf(interfaces=[address])

    class Listener:
        def add_service(self, z, type_, instance):
            info = z.get_service_info(type_, instance, timeout=3000)
            if not info:
                print_line("unresolved %s %d" % (instance, now_ms()))
                return
            version = (info.properties or {}).get(b"ver", b"").decode("utf-8", "replace")
            print_line("add %s %d %s ver=%s %d" % (instance, info.port, ",".join(info.parsed_addresses()),
                                                  version, now_ms()))

        def update_service(self, z, type_, instance):
            pass

        def remove_service(self, z, type_, instance):
            print_line("remove %s %d" % (instance, now_ms()))

    ServiceBrowser(zc, "_vello._tcp.local.", Listener())
    print_line("ready")
    while True:
        time.sleep(3600)


def zeroconf_register(name, port, address):
    from zeroconf import ServiceInfo, Zeroconf

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, int(port)))
    listener.listen(16)
    zc = Zeroconf(interfaces=[address])
    info = ServiceInfo("_vello._tcp.local.", name + "._vello._tcp.local.", port=int(port),
                       properties={"ver": "zc"}, server=name + ".local.",
                       addresses=[socket.inet_aton(address)])
    print_line("registering %d" % now_ms())
    zc.register_service(info)

    def goodbye(*_):
        zc.unregister_service(info)
        zc.close()
        print_line("unregistered")
        sys.exit(0)

    signal.signal(signal.SIGTERM, goodbye)
    print_line("registered %d" % now_ms())
    while True:
        conn, _ = listener.accept()
        with conn:
            data = b""
            conn.settimeout(5)
            try:
                while True:
                    piece = conn.recv(65536)
                    if not piece:
                        break
                    data += piece
            except OSError:
                pass
        print_line("line " + data.decode("cp932", "replace").replace("\r\n", " "))


def main(argv):
    commands = {"send": send, "trickle": trickle, "deliver": deliver, "hold": hold, "swallow-dns": swallow_dns,
                "slow-dns": slow_dns, "zeroconf-browse": zeroconf_browse, "zeroconf-register": zeroconf_register,
                "mdns-flood": mdns_flood, "mdns-crowd": mdns_crowd, "mdns-count": mdns_count}
    if len(argv) < 2 or argv[1] not in commands:
        sys.exit(__doc__)
    commands[argv[1]](*argv[2:])


if __name__ == "__main__":
    main(sys.argv)
