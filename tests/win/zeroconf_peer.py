#!/usr/bin/python3
"""A python3-zeroconf peer for the discovery tests: it registers a
"_vello._tcp" service and browses for the others, writing what it sees to a
log, one line each, until a stop file appears; then it unregisters (its
goodbye) and writes "stopped".

  zeroconf_peer.py LOG STOPFILE INTERFACE NAME PORT ADDRESS

Log lines: "ready", "add <instance> <port> <addresses>", "remove <instance>",
"stopped", or "error <text>" (zeroconf missing, say).
"""
import socket
import sys
import time


def main():
    log_path, stop_path, interface, name, port, address = sys.argv[1:7]
    log = open(log_path, "w", buffering=1)
    try:
        from zeroconf import ServiceBrowser, ServiceInfo, Zeroconf
    except ImportError as e:
        log.write("error python3-zeroconf is not installed: %s\n" % e)
        return 1
    zc = Zeroconf(interfaces=[interface])
    info = ServiceInfo("_vello._tcp.local.", name + "._vello._tcp.local.", port=int(port),
                       properties={"ver": "zc"}, server=name + "-zc.local.",
                       addresses=[socket.inet_aton(address)])

    class Listener:
        def add_service(self, z, type_, instance):
            found = z.get_service_info(type_, instance, timeout=3000)
            if found:
                log.write("add %s %d %s\n" % (instance, found.port, ",".join(found.parsed_addresses())))
            else:
                log.write("unresolved %s\n" % instance)

        def update_service(self, z, type_, instance):
            self.add_service(z, type_, instance)

        def remove_service(self, z, type_, instance):
            log.write("remove %s\n" % instance)

    zc.register_service(info)
    browser = ServiceBrowser(zc, "_vello._tcp.local.", Listener())
    log.write("ready\n")
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline:
        try:
            open(stop_path).close()
            break
        except OSError:
            time.sleep(0.05)
    zc.unregister_service(info)
    browser.cancel()
    zc.close()
    log.write("stopped\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
