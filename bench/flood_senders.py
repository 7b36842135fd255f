#!/usr/bin/python3
"""A flood of large messages from many hosts, for the memory benchmark:
SENDERS senders, sender k at the address k after FIRST, each writing a
message line of BYTES bytes (lines of Japanese text, as a full composer
sends them) on EACH connections at once, every connection as fast as it
can, then closing it. The balloon is WIDTHxHEIGHT (default 315x179, the
composer's size). Prints what was sent and how long it took.

  flood_senders.py HOST PORT SENDERS EACH BYTES FIRST [WIDTHxHEIGHT]
"""
import ipaddress
import socket
import sys
import threading
import time


def message_line(size, width, height):
    head = ('%d,%d,16777215,0,10,"MS ゴシック",0,N,"' % (width, height)).encode("cp932")
    row = "大きなメッセージの洪水、一行に四十文字ほどの日本語の文が続きます。ここまで。\r\n".encode("cp932")
    body = row * ((size - len(head) - 1) // len(row))
    return head + body + b"x" * (size - len(head) - len(body) - 1) + b'"'


def main():
    host, port, senders, each, size, first = sys.argv[1:7]
    port, senders, each, size = int(port), int(senders), int(each), int(size)
    width, height = (int(v) for v in (sys.argv[7] if len(sys.argv) > 7 else "315x179").split("x"))
    line = message_line(size, width, height)
    first = ipaddress.IPv4Address(first)
    results = []

    def send(source):
        try:
            with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
                s.bind((source, 0))
                s.settimeout(120)
                s.connect((host, port))
                s.sendall(line)
            results.append(True)
        except OSError:
            results.append(False)

    threads = [threading.Thread(target=send, args=(str(first + k),))
               for k in range(senders) for _ in range(each)]
    started = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    print("sent %d of %d lines of %d bytes from %d senders in %.0f ms" %
          (results.count(True), len(results), size, senders, (time.monotonic() - started) * 1000))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
