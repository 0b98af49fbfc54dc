#!/usr/bin/env python3
"""Times branding-package against floors made of standard tools; prints one table.

Typical package: the sample layout with two images of about 50 KB, median wall time over
RUNS runs, interleaved with the same binary's --version (the cost of starting at all).
Large package: ten images of 20 MB, wall time, throughput and peak resident memory, paired
run by run with the floor "dd each input (bs=4M, appending) into one file, then sha256sum".
The companion's build of the same layout and images, which lints the layout and decodes the
images first, is timed against the packager plus lint in both: it must cost no more. The language server's diagnostics of a change to a 1 MB
layout are timed against a budget of 100 ms, with no finding and with a warning a line; the
live preview from a save of the layout to the change on its page's event stream, against 300 ms.
"""
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

RUNS = int(os.environ.get("BENCH_RUNS", "60"))
LARGE_RUNS = int(os.environ.get("BENCH_LARGE_RUNS", "7"))
IMAGE_MB = 20
IMAGES = 10
MIB = 1 << 20


def run(argv, stdout=subprocess.DEVNULL):
    """Runs argv; returns (seconds, peak resident bytes)."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=stdout, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit(f"command failed ({proc.returncode}): {' '.join(argv)}")
    return seconds, usage.ru_maxrss * 1024


def layout(icon, logos):
    lines = "".join(f'<line align="center"><logo>{name}</logo></line>' for name in logos)
    return (f'<?xml version="1.0" encoding="utf-8"?>\n<vantu-client-branding version="1.0">'
            f"<app-name>Bench</app-name><app-icon>{icon}</app-icon><toolbar-menu>"
            f"<about-item>About</about-item><quit-item>Quit</quit-item></toolbar-menu>"
            f'<about title="About">{lines}</about></vantu-client-branding>\n')


def image(path, signature, size):
    with open(path, "wb") as out:
        out.write(signature)
        remaining = size - len(signature)
        while remaining > 0:
            chunk = os.urandom(min(remaining, 4 * MIB))
            out.write(chunk)
            remaining -= len(chunk)


def typical(tool, inspect, work):
    # Images that decode, since build decodes what it packages: a 49 KB PNG, the sample's JPEG.
    big_png(f"{work}/icon.png", 128)
    shutil.copy(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples",
                             "logo.jpg"), f"{work}/logo.jpg")
    with open(f"{work}/typical.xml", "w") as out:
        out.write(layout("icon.png", ["logo.jpg"]))
    build = [tool, "-x", f"{work}/typical.xml", "-i", f"{work}/icon.png",
             "-i", f"{work}/logo.jpg", "-o", f"{work}/typical.pkg"]
    version = [tool, "--version"]
    linted = [inspect, "build", f"{work}/typical.xml", "-o", f"{work}/typical-linted.pkg"]
    lint_only = [inspect, "lint", f"{work}/typical.xml"]
    builds, versions, lints, only_lints = [], [], [], []
    for _ in range(RUNS):
        builds.append(run(build)[0])
        versions.append(run(version)[0])
        lints.append(run(linted)[0])
        only_lints.append(run(lint_only)[0])
    return (statistics.median(builds), statistics.median(versions), statistics.median(lints),
            statistics.median(only_lints))


def large(tool, inspect, work):
    names = [f"img{i}.png" for i in range(IMAGES)]
    # PNGs that decode, of about IMAGE_MB each: stored, not compressed.
    side = int((IMAGE_MB * MIB / 3) ** 0.5)
    big_png(f"{work}/{names[0]}", side)
    for name in names[1:]:
        shutil.copy(f"{work}/{names[0]}", f"{work}/{name}")
        with open(f"{work}/{name}", "ab") as out:
            out.write(name.encode())  # other bytes: no two images alike
    with open(f"{work}/large.xml", "w") as out:
        out.write(layout(names[0], names[1:]))
    build = [tool, "-x", f"{work}/large.xml", "-o", f"{work}/large.pkg"]
    for name in names:
        build += ["-i", f"{work}/{name}"]
    floor_script = (f'rm -f {work}/floor.bin; for f in {" ".join(f"{work}/{n}" for n in names)}; '
                    f'do dd if="$f" of={work}/floor.bin bs=4M oflag=append conv=notrunc '
                    f'status=none; done; sha256sum {work}/floor.bin')
    floor = ["bash", "-c", floor_script]
    linted = [inspect, "build", f"{work}/large.xml", "-o", f"{work}/large-linted.pkg"]
    lint_only = [inspect, "lint", f"{work}/large.xml"]
    run(build)
    run(floor)  # warm the page cache for both
    run(linted)
    tools, floors, peaks, lints, only_lints = [], [], [], [], []
    for _ in range(LARGE_RUNS):
        seconds, peak = run(build)
        tools.append(seconds)
        peaks.append(peak)
        floors.append(run(floor)[0])
        lints.append(run(linted)[0])
        only_lints.append(run(lint_only)[0])
    os.remove(f"{work}/large-linted.pkg")
    ratios = [t / f for t, f in zip(tools, floors)]
    package = os.path.getsize(f"{work}/large.pkg")
    return (statistics.median(tools), statistics.median(floors), statistics.median(ratios),
            max(peaks), package, statistics.median(lints), statistics.median(only_lints))


def lint_layout(path, findings, separator):
    lines = separator.join('<line align="bad"/>' for _ in range(findings))
    with open(path, "w") as out:
        out.write('<vantu-client-branding version="1.0"><app-name>a</app-name>'
                  "<app-icon>i.png</app-icon><toolbar-menu><about-item>a</about-item>"
                  '<quit-item>q</quit-item></toolbar-menu><about title="t">'
                  f"{lines}</about></vantu-client-branding>\n")


FORMATS = ("text", "sarif", "github")


def lint(inspect, work):
    """Median lint times at 10k and 40k findings, a line each and all on one line, in each
    format (SARIF and GitHub count columns in characters)."""
    times = {}
    for separator, shape in (("\n", "lines"), ("", "one line")):
        for findings in (10_000, 40_000):
            path = f"{work}/lint-{findings}-{len(separator)}.xml"
            lint_layout(path, findings, separator)
            for fmt in FORMATS:
                samples = []
                for _ in range(5):
                    start = time.perf_counter()
                    subprocess.run([inspect, "lint", "--format", fmt, path],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   check=False)
                    samples.append(time.perf_counter() - start)
                times[(shape, findings, fmt)] = statistics.median(samples)
    return times


def lsp_frame(message):
    body = json.dumps(message).encode()
    return b"Content-Length: %d\r\n\r\n" % len(body) + body


def big_png(path, side):
    """A side x side RGB PNG that does not compress: side * side * 3 bytes and more."""
    import random
    import struct
    import zlib
    rng = random.Random(1)
    rows = b"".join(b"\0" + rng.randbytes(side * 3) for _ in range(side))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0,
                                                                         0, 0)) +
                  chunk(b"IDAT", zlib.compress(rows, 0)) + chunk(b"IEND", b""))


def lsp_change(inspect, work, scheme, separator="\n", icon=None):
    """Median time from a change of a 1 MB layout (1,800 About lines, each link's scheme
    scheme, separated by separator) to the language server's diagnostics of it, with the
    icon's bytes beside it when given."""
    lines = separator.join(f'<line align="center"><text>Line {i} {"word " * 100}</text>'
                           f'<hyperlink url="{scheme}://example.com/{i}">link</hyperlink></line>'
                           for i in range(1800))
    text = ('<vantu-client-branding version="1.0"><app-name>Big</app-name><app-icon>i.png'
            '</app-icon><toolbar-menu><about-item>About</about-item><quit-item>Quit</quit-item>'
            f'</toolbar-menu><about title="About">{separator}{lines}</about>'
            '</vantu-client-branding>\n')
    if icon is not None:
        shutil.copy(icon, f"{work}/i.png")
    elif os.path.exists(f"{work}/i.png"):
        os.remove(f"{work}/i.png")
    # Within the first line's text, where one line or many.
    where = {"line": 2, "character": 30} if separator else {
        "line": 0, "character": text.index("<text>Line 1 ") + 6}
    uri = f"file://{work}/lsp.xml"
    server = subprocess.Popen([inspect, "lsp"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    pending = b""

    def publish():
        nonlocal pending
        while True:
            head, _, rest = pending.partition(b"\r\n\r\n")
            if rest:
                size = int(head.split(b":")[1])
                if len(rest) >= size:
                    pending = rest[size:]
                    if b"publishDiagnostics" in rest[:size]:
                        return
                    continue
            pending += os.read(server.stdout.fileno(), 1 << 20)

    def send(message):
        server.stdin.write(lsp_frame(message))
        server.stdin.flush()

    send({"jsonrpc": "2.0", "id": 1, "method": "initialize", "params": {"capabilities": {}}})
    send({"jsonrpc": "2.0", "method": "textDocument/didOpen", "params": {"textDocument": {
        "uri": uri, "languageId": "xml", "version": 1, "text": text}}})
    publish()
    samples = []
    for version in range(2, 22):
        start = time.perf_counter()
        send({"jsonrpc": "2.0", "method": "textDocument/didChange", "params": {
            "textDocument": {"uri": uri, "version": version}, "contentChanges": [{
                "range": {"start": where, "end": where}, "text": "x"}]}})
        publish()
        samples.append(time.perf_counter() - start)
    server.stdin.close()
    server.wait()
    return statistics.median(samples), len(text)


def preview_against_lint(inspect, work):
    """Median times of preview --layout and of lint of one layout beside a 2500x2500 PNG: the
    preview decodes each image once, as lint does."""
    folder = f"{work}/preview"
    os.mkdir(folder)
    big_png(f"{folder}/logo.png", 2500)
    big_png(f"{folder}/icon.png", 32)
    with open(f"{folder}/layout.xml", "w") as out:
        out.write('<vantu-client-branding version="1.0"><app-name>a</app-name>'
                  "<app-icon>icon.png</app-icon><toolbar-menu><about-item>a</about-item>"
                  '<quit-item>q</quit-item></toolbar-menu><about title="t"><line align="left">'
                  "<logo>logo.png</logo></line></about></vantu-client-branding>\n")
    times = {}
    for name, argv in (("lint", [inspect, "lint", f"{folder}/layout.xml"]),
                       ("preview", [inspect, "preview", "--layout", f"{folder}/layout.xml", "-o",
                                    f"{folder}/page.html"])):
        samples = []
        for _ in range(5):
            start = time.perf_counter()
            subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
            samples.append(time.perf_counter() - start)
        times[name] = statistics.median(samples)
    return times["preview"], times["lint"]


def serve_push(inspect, work):
    """Median time from a save of the layout to the change on the live page's event stream."""
    import http.client
    import re
    import signal
    folder = f"{work}/serve"
    os.mkdir(folder)
    examples = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")
    for name in ("layout.xml", "icon.png", "logo.jpg"):
        shutil.copy(os.path.join(examples, name), folder)
    with open(f"{folder}/layout.xml") as f:
        text = f.read()
    server = subprocess.Popen([inspect, "preview", "--serve", "--layout", f"{folder}/layout.xml"],
                              stdout=subprocess.PIPE, text=True)
    port = int(re.search(r"127\.0\.0\.1:(\d+)/", server.stdout.readline()).group(1))
    connection = http.client.HTTPConnection("127.0.0.1", port)
    connection.request("GET", "/events")
    stream = connection.getresponse()
    samples = []
    for run in range(10):
        start = time.perf_counter()
        with open(f"{folder}/layout.xml", "w") as f:
            f.write(text.replace("<app-name>Demo</app-name>", f"<app-name>Run {run}</app-name>"))
        while not stream.readline().startswith(b"data:"):
            pass
        samples.append(time.perf_counter() - start)
    connection.close()
    server.send_signal(signal.SIGINT)
    server.wait()
    return statistics.median(samples)


def main():
    tool = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build-release/branding-package")
    work = tempfile.mkdtemp(prefix="bp-bench-")
    try:
        inspect = os.path.join(os.path.dirname(tool), "branding-package-inspect")
        build_s, version_s, linted_s, typical_lint_s = typical(tool, inspect, work)
        tool_s, floor_s, ratio, peak, package, large_linted_s, large_lint_s = large(tool, inspect,
                                                                                   work)
        lint_s = lint(inspect, work)
        lsp_clean, lsp_size = lsp_change(inspect, work, "https")
        lsp_findings, _ = lsp_change(inspect, work, "htps")
        lsp_one_line, _ = lsp_change(inspect, work, "htps", "")
        big_png(f"{work}/big.png", 3000)
        lsp_image, _ = lsp_change(inspect, work, "https", icon=f"{work}/big.png")
        image_mb = os.path.getsize(f"{work}/big.png") / MIB
        push_s = serve_push(inspect, work)
        preview_s, preview_lint_s = preview_against_lint(inspect, work)
    finally:
        shutil.rmtree(work)
    budget = package + IMAGE_MB * MIB + 16 * MIB
    rows = [
        ("typical package, median of %d" % RUNS, f"{build_s * 1000:.2f} ms",
         f"--version {version_s * 1000:.2f} ms", f"{build_s / version_s:.2f}x", "<= 1.30x"),
        ("large package (%d x %d MB), median of %d" % (IMAGES, IMAGE_MB, LARGE_RUNS),
         f"{tool_s:.3f} s, {package / MIB / tool_s:.0f} MiB/s",
         f"dd + sha256sum {floor_s:.3f} s",
         f"{tool_s / floor_s:.2f}x (pairwise {ratio:.2f}x)", "<= 1.10x"),
        ("large package, peak resident memory", f"{peak / MIB:.1f} MiB",
         f"budget {budget / MIB:.1f} MiB", f"{peak / budget:.2f}x", "<= 1.00x"),
        ("inspect build, typical package", f"{linted_s * 1000:.2f} ms",
         f"packager + lint {(build_s + typical_lint_s) * 1000:.2f} ms",
         f"{linted_s / (build_s + typical_lint_s):.2f}x", "<= 1.00x"),
        ("inspect build, large package", f"{large_linted_s:.3f} s",
         f"packager + lint {tool_s + large_lint_s:.3f} s",
         f"{large_linted_s / (tool_s + large_lint_s):.2f}x", "<= 1.00x"),
    ]
    for shape in ("lines", "one line"):
        for fmt in FORMATS:
            small, big = lint_s[(shape, 10_000, fmt)], lint_s[(shape, 40_000, fmt)]
            rows.append((f"lint --format {fmt}, 40k findings ({shape})", f"{big * 1000:.1f} ms",
                         f"10k findings {small * 1000:.1f} ms", f"{big / small:.2f}x",
                         "<= 4.50x"))
    for label, seconds in (("no finding", lsp_clean), ("1,800 warnings", lsp_findings),
                           ("1,800 warnings on one line", lsp_one_line),
                           (f"beside a {image_mb:.0f} MiB 3000x3000 PNG", lsp_image)):
        rows.append((f"lsp diagnostics of a change, {lsp_size / MIB:.1f} MiB layout, {label}",
                     f"{seconds * 1000:.1f} ms", "budget 100 ms", f"{seconds * 10:.2f}x",
                     "<= 1.00x"))
    rows.append(("preview --layout beside a 2500x2500 PNG", f"{preview_s * 1000:.0f} ms",
                 f"lint {preview_lint_s * 1000:.0f} ms", f"{preview_s / preview_lint_s:.2f}x",
                 "<= 5.00x"))
    rows.append(("preview --serve, a save to the page's event", f"{push_s * 1000:.1f} ms",
                 "budget 300 ms", f"{push_s / 0.3:.2f}x", "<= 1.00x"))
    widths = [max(len(r[i]) for r in rows + [("what", "tool", "floor", "ratio", "target")])
              for i in range(5)]
    header = ("what", "tool", "floor", "ratio", "target")
    for row in [header] + rows:
        print("  ".join(cell.ljust(width) for cell, width in zip(row, widths)))


if __name__ == "__main__":
    main()
