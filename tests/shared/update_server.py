"""The web server of the update tests, on 127.0.0.1: release files by path, and the manifest's
address answering a list of manifests in turn. Used by tests/e2e/test_update.py and the Windows
whole-program test. Python standard library only."""

from __future__ import annotations

import http.server
import threading
import time


class Server:
    """Files by path; the manifest's address answers a list of manifests in turn. A file may be
    cut: sent whole up to `cut` bytes and then the connection closed, with the length it names."""

    def __init__(self) -> None:
        self.files: dict[str, bytes] = {}
        self.manifests: list[bytes | None] = []  # None: answered 404
        self.pause_at: dict[str, int] = {}  # pause a second after this many bytes
        self.cut: dict[str, tuple[int, int]] = {}  # path: (bytes sent, length named)
        self.requests: list[str] = []
        owner = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args) -> None:
                pass

            def do_GET(self) -> None:  # noqa: N802 - the library's name
                owner.requests.append(self.path)
                if self.path == "/manifest.json":
                    body = owner.manifests.pop(0) if len(owner.manifests) > 1 \
                        else owner.manifests[0]
                else:
                    body = owner.files.get(self.path)
                if body is None:
                    self.send_error(404)
                    return
                sent, named = owner.cut.get(self.path, (len(body), len(body)))
                self.send_response(200)
                self.send_header("Content-Length", str(named))
                self.end_headers()
                pause = owner.pause_at.get(self.path)
                if pause is not None and pause < sent:
                    self.wfile.write(body[:pause])
                    self.wfile.flush()
                    time.sleep(1.0)
                    self.wfile.write(body[pause:sent])
                else:
                    self.wfile.write(body[:sent])
                self.wfile.flush()
                if sent < named:
                    self.close_connection = True

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.httpd.daemon_threads = True
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()
        self.base = f"http://127.0.0.1:{self.httpd.server_address[1]}"

    def close(self) -> None:
        self.httpd.shutdown()
        self.httpd.server_close()
