#!/usr/bin/python3
"""A web server on 127.0.0.1 for the updater's tests, serving the files of a folder with
the faults a real server has, chosen by the first part of the path:

    /files/NAME    the file
    /short/NAME    the headers of the whole file, half of it, then the connection closed
    /missing/NAME  404
    /busy/NAME     503, every time
    /flaky/NAME    503 twice, then the file
    /stall/NAME    the headers and a few bytes, then nothing for a minute

    update_server.py DIR PORT_FILE LOG_FILE

It writes the port it listens on to PORT_FILE, and each request's path as a line to LOG_FILE.
"""
import http.server
import os
import socketserver
import sys
import time

root, port_file, log_file = sys.argv[1:4]
tries = {}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        with open(log_file, "a") as log:
            log.write(self.path + "\n")
        _, fault, name = self.path.split("/", 2)
        path = os.path.join(root, name)
        if fault == "missing" or not os.path.isfile(path):
            return self.fail(404)
        if fault == "busy":
            return self.fail(503)
        if fault == "flaky":
            tries[name] = tries.get(name, 0) + 1
            if tries[name] <= 2:
                return self.fail(503)
        with open(path, "rb") as f:
            body = f.read()
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if fault == "short":
            self.wfile.write(body[:len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
            return
        if fault == "stall":
            self.wfile.write(body[:16])
            self.wfile.flush()
            time.sleep(60)
            return
        self.wfile.write(body)

    def fail(self, code):
        self.send_response(code)
        self.send_header("Content-Length", "0")
        self.end_headers()


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # a client that gives up (a time-out under test) is no error of the server's


server = Server(("127.0.0.1", 0), Handler)
with open(port_file + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(port_file + ".tmp", port_file)
server.serve_forever()
