#!/usr/bin/python3
"""Counts the multicast DNS packets on one interface for a while: every
sender's, ours and the extra announcers' alike.

  mdns_count.py INTERFACE SECONDS
"""
import socket
import struct
import sys
import time


def main():
    interface, seconds = sys.argv[1], float(sys.argv[2])
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("", 5353))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                 struct.pack("4s4s", socket.inet_aton("224.0.0.251"), socket.inet_aton(interface)))
    s.settimeout(0.2)
    end = time.monotonic() + seconds
    packets = queries = responses = 0
    while time.monotonic() < end:
        try:
            data, _ = s.recvfrom(9000)
        except socket.timeout:
            continue
        packets += 1
        if len(data) >= 4 and data[2] & 0x80:
            responses += 1
        else:
            queries += 1
    print("packets %d queries %d responses %d in %.0f s" % (packets, queries, responses, seconds))


if __name__ == "__main__":
    main()
