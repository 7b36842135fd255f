#!/usr/bin/env python3
"""Peers of the lab network that are not Vello: run inside a lab host.

  lan_peer.py send HOST PORT TEXT       one message line, as a sender writes it;
                                        prints the time of the connect (Unix ms)
  lan_peer.py trickle HOST PORT COUNT SECONDS
                                        holds COUNT connections, each writing one
                                        byte every SECONDS; prints "held N" once
                                        they stand, then trickles until killed
  lan_peer.py swallow-dns               a name server that never answers: takes
                                        every query on UDP and TCP port 53 and
                                        drops it
"""
import select
import socket
import sys
import time


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


def swallow_dns():
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind(("0.0.0.0", 53))
    tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    tcp.bind(("0.0.0.0", 53))
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


def main(argv):
    commands = {"send": send, "trickle": trickle, "swallow-dns": swallow_dns}
    if len(argv) < 2 or argv[1] not in commands:
        sys.exit(__doc__)
    commands[argv[1]](*argv[2:])


if __name__ == "__main__":
    main(sys.argv)
