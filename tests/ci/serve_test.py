#!/usr/bin/env python3
"""preview --serve as a hostile local client meets it, over raw sockets: what it refuses, that
nothing after a request is read as another, that a header cannot grow without bound nor slow
clients hold every connection, that other origins cannot take the event streams, and that a
second server cannot share the port."""
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

BUILD, EXAMPLES = sys.argv[1], sys.argv[2]
INSPECT = os.path.join(BUILD, "branding-package-inspect")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def exchange(port, request, wait=5.0):
    """Sends request and reads until the server closes the connection (or wait passes)."""
    with socket.create_connection(("127.0.0.1", port), timeout=wait) as s:
        try:
            s.sendall(request)
        except OSError:
            pass
        got = b""
        deadline = time.monotonic() + wait
        try:
            while time.monotonic() < deadline:
                piece = s.recv(65536)
                if not piece:
                    return got, True
                got += piece
        except (socket.timeout, ConnectionResetError):
            pass
        return got, False


def statuses(answer):
    return [int(m) for m in re.findall(rb"HTTP/1\.[01] (\d{3})", answer)]


def get(path, host="127.0.0.1", extra=b"", method=b"GET"):
    return (method + b" " + path.encode() + b" HTTP/1.1\r\nHost: " + host.encode() + b"\r\n" +
            extra + b"\r\n")


def page(port):
    answer, _ = exchange(port, get("/", f"127.0.0.1:{port}"), 3)
    return answer.decode("utf-8", "replace")


def check_watches(work):
    """A layout given as a link is saved where the link leads, by rename as editors save:
    the page follows. A folder that cannot be watched is an error, never a page that silently
    stays as it was."""
    design = os.path.join(work, "design")
    os.mkdir(design)
    shutil.copy(os.path.join(work, "layout.xml"), os.path.join(design, "real.xml"))
    linked = os.path.join(work, "linked.xml")
    os.symlink("design/real.xml", linked)
    server, port = serve(linked)
    try:
        with open(os.path.join(design, "real.xml")) as f:
            text = f.read().replace("<app-name>Demo</app-name>", "<app-name>Through the link</app-name>")
        with open(os.path.join(design, ".real.xml.new"), "w") as f:
            f.write(text)
        os.rename(os.path.join(design, ".real.xml.new"), os.path.join(design, "real.xml"))
        deadline = time.monotonic() + 5
        while "Through the link" not in page(port) and time.monotonic() < deadline:
            time.sleep(0.1)
        check("Through the link" in page(port), "a save through a link is shown")
    finally:
        server.terminate()
        server.wait(10)
    if os.geteuid() != 0 or shutil.which("setpriv") is None:
        return
    # Another user, in a folder it may enter but not list: inotify cannot watch it.
    hidden = os.path.join(work, "hidden")
    os.mkdir(hidden)
    shutil.copy(os.path.join(work, "layout.xml"), hidden)
    os.chmod(work, 0o755)
    os.chmod(os.path.join(hidden, "layout.xml"), 0o644)
    os.chmod(hidden, 0o311)
    run = subprocess.run(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", INSPECT,
                          "preview", "--serve", "--layout", os.path.join(hidden, "layout.xml")],
                         capture_output=True, text=True, timeout=10)
    check(run.returncode == 2 and "cannot watch" in run.stderr and "Permission denied" in run.stderr
          and "Serving" not in run.stdout,
          f"a folder that cannot be watched: status {run.returncode}, {run.stderr!r}")
    os.chmod(hidden, 0o755)


def serve(layout):
    """A live preview of layout, and the port it serves on."""
    server = subprocess.Popen([INSPECT, "preview", "--serve", "--layout", layout],
                              stdout=subprocess.PIPE, text=True)
    found = re.search(r"127\.0\.0\.1:(\d+)/", server.stdout.readline())
    if not found:
        server.terminate()
        sys.exit("FAIL: the preview did not say where it serves")
    return server, int(found.group(1))


def wait_for(condition, seconds=5):
    deadline = time.monotonic() + seconds
    while not condition() and time.monotonic() < deadline:
        time.sleep(0.05)
    return condition()


def check_follows(work):
    """The page follows what it was made from: a folder the policy file names later is
    watched from then on, and a stream the page opens after a save is told of it at once."""
    folder = os.path.join(work, "follows")
    os.makedirs(os.path.join(folder, "images"))
    shutil.copy(os.path.join(EXAMPLES, "layout.xml"), folder)
    for name in ("icon.png", "logo.jpg"):
        shutil.copy(os.path.join(EXAMPLES, name), os.path.join(folder, "images"))
    server, port = serve(os.path.join(folder, "layout.xml"))
    try:
        check("missing-image" in page(port), "images no one names are missing")
        with open(os.path.join(folder, ".branding-lint"), "w") as f:
            f.write("dir = images\n")
        check(wait_for(lambda: "live-problems" not in page(port)),
              "the policy file's folder is used once it is written")
        os.remove(os.path.join(folder, "images", "logo.jpg"))
        check(wait_for(lambda: "missing-image" in page(port)),
              "a removal in the policy file's folder is shown")

        def version():
            found = re.search(r'data-version="(\d+)"', page(port))
            return int(found.group(1)) if found else -1
        loaded = version()
        shutil.copy(os.path.join(EXAMPLES, "logo.jpg"), os.path.join(folder, "images"))
        check(wait_for(lambda: version() > loaded), "a save makes a new version")
        # The page loaded before the save opens its stream only now: it is told at once.
        with socket.create_connection(("127.0.0.1", port), timeout=3) as s:
            s.sendall(get(f"/events?since={loaded}", f"127.0.0.1:{port}"))
            got = b""
            deadline = time.monotonic() + 0.4
            while b"data: changed" not in got and time.monotonic() < deadline:
                got += s.recv(4096)
            check(b"data: changed" in got, f"a late stream is told of the save: {got!r}")
        # With nothing saved, a stream says nothing changed: only comments that keep it open.
        with socket.create_connection(("127.0.0.1", port), timeout=3) as s:
            s.sendall(get(f"/events?since={version()}", f"127.0.0.1:{port}"))
            got = b""
            deadline = time.monotonic() + 1.3
            while time.monotonic() < deadline:
                try:
                    s.settimeout(max(0.05, deadline - time.monotonic()))
                    got += s.recv(4096)
                except socket.timeout:
                    break
            check(b"data: changed" not in got and b": waiting" in got,
                  f"a stream with nothing saved tells nothing: {got!r}")
    finally:
        server.terminate()
        server.wait(10)


def check_follows_folders(work):
    """The page follows a policy file in a folder above the layout's, also while it cannot be
    applied, and the folder it names while that folder holds none of the images yet."""
    folder = os.path.join(work, "above")
    os.makedirs(os.path.join(folder, "sub"))
    os.mkdir(os.path.join(folder, "images"))
    shutil.copy(os.path.join(EXAMPLES, "layout.xml"), os.path.join(folder, "sub"))
    policy = os.path.join(folder, ".branding-lint")
    with open(policy, "w") as f:
        f.write("dir images\n")
    server, port = serve(os.path.join(folder, "sub", "layout.xml"))
    try:
        check("live-problems" in page(port) and "missing-image" not in page(port),
              "a policy file that cannot be applied is shown")
        with open(policy, "w") as f:
            f.write("dir = images\n")
        check(wait_for(lambda: "missing-image" in page(port)),
              "the mended policy file is applied: its folder holds no image yet")
        for name in ("icon.png", "logo.jpg"):
            shutil.copy(os.path.join(EXAMPLES, name), os.path.join(folder, "images"))
        check(wait_for(lambda: "live-problems" not in page(port)),
              "images saved in the policy's folder are shown")
    finally:
        server.terminate()
        server.wait(10)


def check_module_place(work):
    """Without /proc/self/exe the module is looked for where it is installed, never in the
    working folder, whose module would run its code."""
    if os.geteuid() != 0 or shutil.which("unshare") is None:
        return
    planted = os.path.join(work, "planted")
    os.mkdir(planted)
    with open(os.path.join(planted, "branding-package-http.so"), "w") as f:
        f.write("not a module")
    run = subprocess.run(["unshare", "--mount", "--propagation", "private", "sh", "-c",
                          'mount -t tmpfs none /proc && cd "$1" && exec "$2" preview --serve '
                          '--layout "$3"', "-", planted, os.path.abspath(INSPECT),
                          os.path.join(work, "layout.xml")],
                         capture_output=True, text=True, timeout=10)
    if "mount" in run.stderr and run.returncode != 2:
        return  # no mount namespace here
    # A sanitizer build cannot read its options without /proc, and its leak check then fails
    # the run at exit: the status is the sanitizer's, what was loaded still the tool's.
    sanitized = "LeakSanitizer has encountered a fatal error" in run.stderr
    check((sanitized or run.returncode == 2) and
          "lib/branding-package/modules/branding-package-http.so" in run.stderr and
          planted not in run.stderr and "not a module" not in run.stderr and
          "./branding-package-http.so" not in run.stderr,
          f"without /proc: status {run.returncode}, {run.stderr!r}")


OTHER_USER = r"""
import socket, sys, time
port, what = int(sys.argv[1]), sys.argv[2]
if what == "page":
    got = b""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=3) as s:
            s.sendall(b"GET / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % port)
            while True:
                piece = s.recv(65536)
                if not piece:
                    break
                got += piece
    except OSError:
        pass
    print(len(got), flush=True)
else:
    held = []
    for _ in range(64):
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=3)
            s.sendall(b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n")
            held.append(s)
        except OSError:
            pass
    print("holding", flush=True)
    time.sleep(4)
"""


def check_other_user(port, own):
    """Another local user gets nothing: not the page, nor a connection the designer's page
    needs (64 held open with unfinished headers starve nothing)."""
    if os.geteuid() != 0 or shutil.which("setpriv") is None:
        print("skipped: another user's requests (needs root and setpriv)")
        return
    other = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", sys.executable, "-c",
             OTHER_USER, str(port)]
    run = subprocess.run(other + ["page"], capture_output=True, text=True, timeout=10)
    check(run.stdout.strip() == "0", f"another user's GET /: {run.stdout!r} {run.stderr!r}")
    holder = subprocess.Popen(other + ["hold"], stdout=subprocess.PIPE, text=True)
    try:
        check(holder.stdout.readline().strip() == "holding", "another user holds connections")
        served = sum(statuses(exchange(port, get("/", own), 2)[0]) == [200] for _ in range(8))
        check(served == 8, f"the page beside another user's 64 connections: {served} of 8")
    finally:
        holder.kill()
        holder.wait(5)


def main():
    work = tempfile.mkdtemp(prefix="bp-serve-")
    for name in ("layout.xml", "icon.png", "logo.jpg"):
        shutil.copy(os.path.join(EXAMPLES, name), work)
    layout = os.path.join(work, "layout.xml")
    server, port = serve(layout)
    try:
        own = f"127.0.0.1:{port}"
        smuggled = get("/", own)
        # Each row: what a client sends, the one status it gets; the connection is then closed.
        rows = [
            ("a page of the server", get("/", own), 200),
            # A browser may take localhost to [::1], where another user can listen.
            ("localhost", get("/", f"localhost:{port}"), 403),
            ("the IPv6 loopback", get("/", f"[::1]:{port}"), 403),
            ("the address without its port", get("/", "127.0.0.1"), 403),
            ("HEAD", get("/", own, method=b"HEAD"), 200),
            ("the page opened from the address bar", get("/", own, b"Sec-Fetch-Site: none\r\n"),
             200),
            ("the page's own fetch", get("/", own, b"Sec-Fetch-Site: same-origin\r\nOrigin: "
                                         b"http://" + own.encode() + b"\r\n"), 200),
            ("another site's name (DNS rebinding)", get("/", "evil.example"), 403),
            ("a name that starts as loopback", get("/", "127.0.0.1.evil.example"), 403),
            ("a loopback name with a port that is not one", get("/", "127.0.0.1:80x"), 403),
            ("no Host", b"GET / HTTP/1.0\r\n\r\n", 403),
            ("another path", get("/layout.xml", own), 404),
            ("a path out of the folder", get("/../etc/passwd", own), 404),
            ("POST", get("/", own, b"Content-Length: 0\r\n", b"POST"), 405),
            ("another origin", get("/", own, b"Origin: http://evil.example\r\n"), 403),
            ("another origin's stream", get("/events", own, b"Origin: http://evil.example\r\n"),
             403),
            ("a cross-site stream", get("/events", own, b"Sec-Fetch-Site: cross-site\r\n"), 403),
            ("a same-site page of another port",
             get("/events", own, b"Sec-Fetch-Site: same-site\r\n"), 403),
            # A refused request's body is never read as a request of its own.
            ("a request in a refused POST's body",
             get("/", "evil.example", b"Content-Length: %d\r\n" % len(smuggled), b"POST") +
             smuggled, 403),
            ("a request in a refused GET's body",
             get("/", "evil.example", b"Content-Length: %d\r\n" % len(smuggled)) + smuggled, 403),
            ("a request after a page", get("/", own) + smuggled, 200),
            ("a header larger than the bound",
             b"GET / HTTP/1.1\r\nHost: " + own.encode() + b"\r\n" + b"X-A: b\r\n" * 100000 +
             b"\r\n", 431),
        ]
        for name, request, status in rows:
            answer, closed = exchange(port, request)
            check(statuses(answer) == [status], f"{name}: {statuses(answer)}, not [{status}]")
            check(closed, f"{name}: the connection stays open")

        # A stream the page holds is not cut at the header's deadline: it was answered.
        stream = socket.create_connection(("127.0.0.1", port), timeout=2)
        stream.sendall(get("/events", own, b"Sec-Fetch-Site: same-origin\r\n"))
        stream_opened = time.monotonic()
        # Slow clients hold no worker the page needs, and lose their connection at the
        # header's deadline.
        slow = [socket.create_connection(("127.0.0.1", port)) for _ in range(16)]
        for s in slow:
            s.sendall(b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n")
        answer, _ = exchange(port, get("/", own), wait=3)
        check(statuses(answer) == [200], f"the page beside 16 slow clients: {statuses(answer)}")
        # Header lines every 0.5 s: a per-read timeout never fires; the deadline does.
        started = time.monotonic()
        open_ = set(slow)
        while open_ and time.monotonic() - started < 12:
            time.sleep(0.5)
            for s in list(open_):
                try:
                    s.sendall(b"X-A: b\r\n")
                    if s.recv(1, socket.MSG_DONTWAIT) == b"":
                        open_.discard(s)
                except BlockingIOError:
                    pass
                except OSError:
                    open_.discard(s)
        dropped = len(slow) - len(open_)
        for s in slow:
            s.close()
        check(dropped == 16 and time.monotonic() - started < 12,
              f"slow headers: {dropped} of 16 dropped in {time.monotonic() - started:.1f} s")
        got = b""
        try:
            while time.monotonic() - stream_opened < 6.5:
                piece = stream.recv(4096)
                if not piece:
                    break
                got += piece
        except OSError:
            pass
        lived = time.monotonic() - stream_opened
        stream.close()
        time.sleep(1.2)  # the server finds it closed at its next comment
        check(lived >= 6.4 and got.count(b": waiting") >= 12,
              f"a stream lives past the header's deadline: {lived:.1f} s, "
              f"{got.count(b': waiting')} comments")

        check_other_user(port, own)

        # Four streams of other origins are refused before they take one; the page's own get
        # theirs, as many as the bound.
        streams = []
        for _ in range(4):
            answer, _ = exchange(port, get("/events", own, b"Origin: http://evil.example\r\n"), 1)
            check(statuses(answer) == [403], f"a cross-origin stream: {statuses(answer)}")
        for i in range(5):
            s = socket.create_connection(("127.0.0.1", port), timeout=5)
            s.sendall(get("/events", own, b"Sec-Fetch-Site: same-origin\r\n"))
            head = s.recv(4096)
            expected = 200 if i < 4 else 503
            check(statuses(head) == [expected], f"own stream {i + 1}: {statuses(head)}")
            streams.append(s)
        for s in streams:
            s.close()

        # A second server on the port is refused, not given half the connections.
        second = subprocess.run([INSPECT, "preview", "--serve", "--layout", layout, "--port",
                                 str(port)], capture_output=True, text=True, timeout=10)
        check(second.returncode == 2 and "Address already in use" in second.stderr,
              f"a second server on the port: status {second.returncode}, {second.stderr!r}")
    finally:
        server.terminate()
        check(server.wait(10) == 0, "SIGTERM ends the server with status 0")
    try:
        check_watches(work)
        check_follows(work)
        check_follows_folders(work)
        check_module_place(work)
    finally:
        shutil.rmtree(work)
    print(f"{len(failures)} failed" if failures else "server refusals: every check passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
