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
    commands = {"send": send, "trickle": trickle, "deliver": deliver, "hold": hold, "swallow-dns": swallow_dns, "slow-dns": slow_dns,
                "zeroconf-browse": zeroconf_browse, "zeroconf-register": zeroconf_register}
    if len(argv) < 2 or argv[1] not in commands:
        sys.exit(__doc__)
    commands[argv[1]](*argv[2:])


if __name__ == "__main__":
    main(sys.argv)
