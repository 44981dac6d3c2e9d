#!/usr/bin/env python3
"""The tests' own download server on 127.0.0.1: serves ROOT; ROOT/behaviour.json (read at every
request) maps a path to another behaviour (see do_GET); logs request paths to ROOT/requests.log;
prints "PORT n"; ends after --lifetime seconds or when its standard input closes."""
import argparse
import http.server
import json
import os
import ssl
import sys
import threading
import time


class Handler(http.server.BaseHTTPRequestHandler):
    root = "."

    def log_message(self, *args):
        pass

    def behaviour(self):
        try:
            with open(os.path.join(self.root, "behaviour.json"), encoding="utf-8") as f:
                return json.load(f).get(self.path, {})
        except (OSError, ValueError):
            return {}

    def do_GET(self):
        with open(os.path.join(self.root, "requests.log"), "a", encoding="utf-8") as log:
            log.write(self.path + "\n")
        # {"status": N}, {"redirect": url}, {"stall": seconds before no answer}, {"nolength": true}, {"cut": true}
        # (full length announced, half sent), {"slow": [chunk bytes, seconds between chunks]}
        how = self.behaviour()
        if "stall" in how:
            time.sleep(how["stall"])
            return
        if "redirect" in how:  # {"redirect": url}: 302 to that address
            self.send_response(302)
            self.send_header("Location", how["redirect"])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if "status" in how:
            self.send_response(how["status"])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        path = os.path.join(self.root, self.path.split("?")[0].lstrip("/"))
        try:
            with open(path, "rb") as f:
                body = f.read()
        except OSError:
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        self.send_response(200)
        if not how.get("nolength"):
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if how.get("cut"):
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.connection.shutdown(2)
            return
        chunk, pause = how.get("slow", [len(body) or 1, 0])
        for start in range(0, len(body), chunk):
            self.wfile.write(body[start : start + chunk])
            self.wfile.flush()
            time.sleep(pause)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--lifetime", type=float, default=300)
    args = parser.parse_args()
    Handler.root = args.root
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print("PORT %d" % server.server_address[1], flush=True)
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    threading.Timer(args.lifetime, lambda: os._exit(0)).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
