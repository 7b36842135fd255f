#!/usr/bin/python3
"""Extra announcers for the discovery benchmark: K "_vello._tcp" services
registered with python3-zeroconf on one interface, each with a host name of
its own, held until the stop file appears; then unregistered (goodbyes).

  zeroconf_announcers.py K INTERFACE STOPFILE
"""
import socket
import sys
import time

from zeroconf import ServiceInfo, Zeroconf


def main():
    count, interface, stop = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    zc = Zeroconf(interfaces=[interface])
    infos = []
    for i in range(count):
        info = ServiceInfo("_vello._tcp.local.", "zc-%d._vello._tcp.local." % i, port=31000 + i,
                           properties={"ver": "zc"}, server="zc-%d.local." % i,
                           addresses=[socket.inet_aton(interface)])
        zc.register_service(info, cooperating_responders=True)
        infos.append(info)
    print("registered %d" % count, flush=True)
    while True:
        try:
            open(stop).close()
            break
        except OSError:
            time.sleep(0.2)
    for info in infos:
        zc.unregister_service(info)
    zc.close()


if __name__ == "__main__":
    main()
