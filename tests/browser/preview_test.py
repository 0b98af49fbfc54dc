#!/usr/bin/python3
"""The preview page in a real browser: headless Chromium driven by Selenium, network off.

Usage: preview_test.py BUILD_DIR EXAMPLES_DIR. Builds the sample package and a hostile
layout, writes their previews with the inspect tool, and checks what a reviewer sees.
"""
import atexit
import hashlib
import http.client
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import zlib

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

BUILD, EXAMPLES = sys.argv[1], sys.argv[2]
PACKAGER = os.path.join(BUILD, "branding-package")
INSPECT = os.path.join(BUILD, "branding-package-inspect")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def png(path, width, height):
    """A PNG of width x height grey pixels."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    rows = b"".join(b"\x00" + b"\x80" * width for _ in range(height))
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0))
                  + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def sha256_of(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def run(*args):
    result = subprocess.run(args, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"{' '.join(args)} failed ({result.returncode}): {result.stdout}{result.stderr}")
    return result.stdout


_driver = None


def at_width(width, height=900, offline=True):
    """The one browser the checks share (each start costs seconds), at a window of width x
    height, its network off or on."""
    global _driver
    if _driver is None:
        _driver = browser(width, height, offline)
        atexit.register(_driver.quit)
    _driver.set_window_size(width, height)
    _driver.execute_cdp_cmd("Network.emulateNetworkConditions", {
        "offline": offline, "latency": 0, "downloadThroughput": -1, "uploadThroughput": -1})
    _driver.get("about:blank")
    _driver.get_log("browser")
    _driver.get_log("performance")
    return _driver


def browser(width, height=900, offline=True):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", f"--user-data-dir={tempfile.mkdtemp()}",
                 f"--window-size={width},{height}"):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.execute_cdp_cmd("Network.enable", {})
    if offline:
        driver.execute_cdp_cmd("Network.emulateNetworkConditions", {
            "offline": True, "latency": 0, "downloadThroughput": 0, "uploadThroughput": 0})
    return driver


def check_live(work):
    """preview --serve: a save shows in the open page without a reload, scrolled where it
    was; a layout that cannot be previewed keeps the last page, its findings on top; Ctrl-C
    ends the server with status 0."""
    folder = os.path.join(work, "live")
    os.mkdir(folder)
    for name in ("layout.xml", "icon.png", "logo.jpg"):
        shutil.copy(os.path.join(EXAMPLES, name), folder)
    layout = os.path.join(folder, "layout.xml")
    with open(layout) as f:
        text = f.read()
    server = subprocess.Popen([INSPECT, "preview", "--serve", "--layout", layout],
                              stdout=subprocess.PIPE, text=True)
    try:
        url = re.search(r"http://127\.0\.0\.1:\d+/", server.stdout.readline()).group(0)
        # Only the page and its stream, to the address printed (no DNS rebinding, and not
        # localhost, which may lead to another user's server on [::1]).
        port = int(url.split(":")[2].rstrip("/"))
        for method, path, host, body, status in (
                ("GET", "/", "evil.example", None, 403), ("GET", "/../etc/passwd", None, None, 404),
                ("GET", "/layout.xml", None, None, 404), ("POST", "/", None, "x", 405),
                ("GET", "/", "localhost", None, 403), ("GET", "/", f"127.0.0.1:{port}", None, 200)):
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
            connection.putrequest(method, path, skip_host=host is not None)
            if host is not None:
                connection.putheader("Host", host)
            connection.putheader("Content-Length", str(len(body or "")))
            connection.endheaders((body or "").encode())
            got = connection.getresponse().status
            check(got == status, f"live: {method} {path} Host {host}: {got}, not {status}")
            connection.close()
        driver = at_width(800, 300, offline=False)
        driver.get(url)
        driver.execute_script("window.scrollTo(0, 200); window.sameDocument = 1;")
        scrolled = driver.execute_script("return window.scrollY")

        # Read in one script: the body may be replaced between finding an element and
        # reading it.
        def text_of(d, selector):
            return d.execute_script(
                "const e = document.querySelector(arguments[0]); return e ? e.textContent : ''",
                selector)

        def shows(name):
            return lambda d: name in text_of(d, ".app-name")
        with open(layout, "w") as f:
            f.write(text.replace("<app-name>Demo</app-name>", "<app-name>Saved live</app-name>"))
        WebDriverWait(driver, 10, 0.02).until(shows("Saved live"))
        check(driver.execute_script("return window.sameDocument") == 1,
              "live: the page took the change without a reload")
        check(scrolled > 0 and driver.execute_script("return window.scrollY") == scrolled,
              "live: the scroll position is kept")
        with open(layout, "w") as f:
            f.write(text.replace("<app-name>Demo</app-name>", "<app-name>Broken</app-name><"))
        WebDriverWait(driver, 10, 0.02).until(lambda d: text_of(d, ".live-problems"))
        # The report over the page: one finding a line, the error first, all in the window.
        overlay = driver.execute_script(
            "const e = document.querySelector('.live-problems'), r = e.getBoundingClientRect();"
            "const items = Array.from(e.querySelectorAll('li')).map(l => l.textContent);"
            "return [r.left, r.right, r.top, window.innerWidth, items,"
            " document.documentElement.scrollWidth - document.documentElement.clientWidth]")
        left, right, top, inner, items, overflow = overlay
        check(left >= 0 and right <= inner and top >= 0 and overflow <= 0,
              f"live: the report within the window {overlay[:4]} {overflow}")
        check(items and ": error:" in items[0] and "layout-syntax" in items[0],
              f"live: the error that stopped the page first, one a line: {items[:2]}")
        check(shows("Saved live")(driver), "live: the last good page stays under the findings")
        check("layout-syntax" in text_of(driver, ".live-problems"), "live: the findings say why")
    finally:
        server.send_signal(signal.SIGINT)
        check(server.wait(10) == 0, "live: Ctrl-C ends the server with status 0")


def requests_made(driver, page_url):
    """Every URL the page asked for besides itself and its data: images."""
    urls = []
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message.get("method") == "Network.requestWillBeSent":
            params = message["params"]
            url = params["request"]["url"]
            # The browser's own start page loads before ours; what our page asks for counts.
            if params.get("documentURL") != page_url and url != page_url:
                continue
            if url != page_url and not url.startswith("data:"):
                urls.append(url)
    return urls


ALIGNMENT = """
const out = [];
for (const line of document.querySelectorAll('.line')) {
  const box = line.getBoundingClientRect();
  const style = getComputedStyle(line);
  const inner = {left: box.left + parseFloat(style.paddingLeft), right: box.right - parseFloat(style.paddingRight)};
  // What the client draws; the page's marks of findings beside it are not.
  const kids = Array.from(line.children).filter(e => !e.classList.contains('mark'))
    .map(e => e.getBoundingClientRect());
  if (kids.length === 0) { out.push([line.dataset.align, null]); continue; }
  const left = Math.min(...kids.map(r => r.left)), right = Math.max(...kids.map(r => r.right));
  out.push([line.dataset.align, left - inner.left, inner.right - right]);
}
return out;
"""


def measured_alignment(gaps):
    """left, center or right, from the space before and after a line's content."""
    align, before, after = gaps
    if before + after <= 1.5:
        return align  # the content fills the line: every alignment looks the same
    if abs(before) <= 1.5 and after > 1.5:
        return "left"
    if abs(after) <= 1.5 and before > 1.5:
        return "right"
    if abs(before - after) <= 1.5:
        return "center"
    return "unclear"


UNBROKEN = """
const out = [];
for (const e of document.querySelectorAll(
    '.facts th, .facts .number, .facts .hash-short, .facts .hash-print, .facts tr.image-fact td.name')) {
  const range = document.createRange();
  range.selectNodeContents(e);
  const rows = new Set(Array.from(range.getClientRects()).filter(r => r.width > 0)
    .map(r => Math.round(r.top)));
  if (rows.size > 1) out.push(e.textContent);
}
return out;
"""


def check_facts(driver, name, sha256):
    """The facts table breaks no heading, number or name, on screen and on paper; the
    SHA-256 is shortened with the whole value on hover and in a field to copy."""
    broken = driver.execute_script(UNBROKEN)
    check(not broken, f"{name}: broken across lines: {broken}")
    short = driver.find_element("css selector", ".facts .hash-short")
    field = driver.find_element("css selector", ".facts input.hash-field")
    check(short.get_attribute("title") == sha256 and field.get_attribute("value") == sha256
          and field.get_attribute("readonly") is not None and field.is_displayed(),
          f"{name}: whole SHA-256 on hover and in a field")
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"media": "print"})
    try:
        broken = driver.execute_script(UNBROKEN)
        check(not broken, f"{name} in print: broken across lines: {broken}")
        printed = driver.find_element("css selector", ".facts .hash-print")
        check(printed.is_displayed() and printed.text == sha256, f"{name} in print: whole SHA-256")
        overflow = driver.execute_script(
            "return document.documentElement.scrollWidth - document.documentElement.clientWidth")
        check(overflow <= 0, f"{name} in print: {overflow}px wider than the page")
    finally:
        driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"media": ""})


def check_names(path, width):
    """Names whole at every width, the facts taking the room the window gives, nothing wider
    than the window; a line of logos wider than the About box is marked."""
    driver = at_width(width)
    driver.get("file://" + path)
    name = f"{os.path.basename(path)} at {width}px"
    broken = driver.execute_script(UNBROKEN)
    check(not broken, f"{name}: broken across lines: {broken}")
    overflow = driver.execute_script(
        "return document.documentElement.scrollWidth - document.documentElement.clientWidth")
    check(overflow <= 0, f"{name}: {overflow}px wider than the window")
    marks = driver.find_elements("css selector", ".line-too-wide")
    check(len(marks) == 1 and marks[0].is_displayed() and "wider than the About box" in marks[0].text,
          f"{name}: the line too wide for the box is marked")


def check_marks(path, width):
    """What the client would show as a gap or a dead link is marked on the drawing."""
    driver = at_width(width)
    driver.get("file://" + path)
    name = f"{os.path.basename(path)} at {width}px"
    quit_item = driver.find_element("css selector", "li.quit-item .gap")
    title = driver.find_element("css selector", ".dialog-title .gap")
    check(quit_item.text == "no Quit item" and quit_item.is_displayed(), f"{name}: quit gap")
    check(title.text == "empty title" and title.is_displayed(), f"{name}: title gap")
    check("[empty-text]" in driver.find_element("css selector", ".dialog-title .mark").text,
          f"{name}: the title's finding beside it")
    menu = driver.find_element("css selector", "li.menu-finding .mark")
    check("quit-item" in menu.text and menu.is_displayed(), f"{name}: the menu's finding")
    link = driver.find_element("css selector", ".not-a-link")
    mark = driver.execute_script(
        "const m = arguments[0].nextElementSibling; return m && m.classList.contains('mark') ?"
        " [m.textContent, m.getBoundingClientRect().left, m.getBoundingClientRect().top,"
        " m.getBoundingClientRect().right, arguments[0].getBoundingClientRect().top] : null", link)
    check(mark is not None and "[link-url]" in mark[0] and "htps://example.com/" in mark[0],
          f"{name}: the url's finding beside the link {mark}")
    if mark:
        check(0 <= mark[1] and mark[3] <= width and mark[2] >= mark[4] - 2,
              f"{name}: the url's mark visible beside the link {mark}")
    color = driver.execute_script(
        "return getComputedStyle(arguments[0]).textDecorationLine", link)
    check("underline" in color, f"{name}: a rejected url is underlined {color}")
    check_facts(driver, name, sha256_of(path.replace(".html", ".pkg")))


def check_page(path, expect, width):
    driver = at_width(width)
    url = "file://" + path
    driver.get_log("performance")  # what the browser did before the page
    driver.get(url)
    name = f"{os.path.basename(path)} at {width}px"
    # Each image's data is in the page once; every drawing of it refers to that.
    data = driver.find_elements("css selector", "svg.image-data image")
    names = [image.get_attribute("data-name") for image in data]
    check(len(names) == len(set(names)) == len(expect["sizes"]), f"{name}: image data once each {names}")
    for image in data:
        alt = image.get_attribute("data-name")
        natural = driver.execute_async_script(
            "const done = arguments[1], probe = new Image();"
            "probe.onload = () => done([probe.naturalWidth, probe.naturalHeight]);"
            "probe.onerror = () => done([0, 0]);"
            "probe.src = arguments[0].getAttribute('href');", image)
        check(natural[0] > 0, f"{name}: image {alt} decoded")
        check(tuple(natural) == expect["sizes"][alt], f"{name}: image {alt} natural size {natural}")
    for picture in driver.find_elements("css selector", "svg.picture"):
        shown = driver.execute_script(
            "const use = arguments[0].querySelector('use'), r = arguments[0].getBoundingClientRect();"
            "return [document.querySelector(use.getAttribute('href')) !== null, r.width, r.height]",
            picture)
        label = picture.get_attribute("aria-label")
        check(shown[0] and shown[1] > 0 and shown[2] > 0, f"{name}: {label} drawn {shown}")
    body = driver.find_element("tag name", "body").text
    for text in expect["texts"]:
        check(text in body, f"{name}: text {text[:40]!r} present")
    links = {a.text: a.get_attribute("href") for a in driver.find_elements("css selector", "a")}
    check(links == expect["links"], f"{name}: link targets {links}")
    for align, *gaps in driver.execute_script(ALIGNMENT)[:50]:
        if gaps and gaps[0] is not None:
            check(measured_alignment([align] + gaps) == align,
                  f"{name}: a line meant {align} measures {measured_alignment([align] + gaps)}")
    scripts = driver.execute_script(
        "return [document.scripts.length, Array.from(document.querySelectorAll('*'))"
        ".filter(e => Array.from(e.attributes).some(a => a.name.startsWith('on'))).length,"
        " window.__ran === undefined]")
    check(scripts == [0, 0, True], f"{name}: no script, no event handler, nothing ran {scripts}")
    errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
    check(not errors, f"{name}: console errors {errors}")
    requests = requests_made(driver, url)
    check(not requests, f"{name}: requests {requests}")
    overflow = driver.execute_script(
        "return document.documentElement.scrollWidth - document.documentElement.clientWidth")
    check(overflow <= 0, f"{name}: {overflow}px wider than the window")
    if "sha256" in expect:
        check_facts(driver, name, expect["sha256"])
    if "shown" in expect:
        # Drawn at the size lint's note gives, and at its own size up to 606 pixels, in
        # every window from 800 pixels; marked where scaled down, and only there.
        marks = driver.execute_script(
            "return Array.from(document.querySelectorAll('.scaled'))"
            ".filter(e => e.offsetParent !== null).map(e => e.previousElementSibling"
            ".getAttribute('aria-label'))")
        check(sorted(set(marks)) == expect["scaled"], f"{name}: scaled marks {marks}")
        for label, (size, note) in expect["shown"].items():
            drawn = driver.execute_script(
                "const e = document.querySelector(`svg[aria-label='${arguments[0]}']`);"
                "const r = e.getBoundingClientRect(); return [Math.round(r.width), Math.round(r.height)]",
                label)
            check(drawn[0] == size, f"{name}: {label} drawn {drawn[0]} wide, expected {size}")
            check(note is None or note in body, f"{name}: the note beside {label}")


def main():
    work = tempfile.mkdtemp(prefix="bp-preview-")
    icon, logo = os.path.join(EXAMPLES, "icon.png"), os.path.join(EXAMPLES, "logo.jpg")
    package = os.path.join(work, "brand.pkg")
    run(PACKAGER, "-x", os.path.join(EXAMPLES, "layout.xml"), "-i", icon, "-i", logo, "-o", package)
    sample = os.path.join(work, "sample.html")
    run(INSPECT, "preview", package, "-o", sample)
    sample_expect = {
        "sizes": {"icon.png": (32, 32), "logo.jpg": (96, 32)},
        "texts": ["Demo", "About", "Quit", "Demo edition", "Home page", "2419 bytes"],
        "links": {"Home page": "https://example.com/"},
        "sha256": sha256_of(package),
    }

    # A package whose layout leaves gaps: no Quit item, an empty title, a url with a typo.
    with open(os.path.join(EXAMPLES, "layout.xml")) as f:
        gaps = (f.read().replace("<quit-item>Quit</quit-item>", "")
                .replace('title="About"', 'title=""').replace("https://", "htps://"))
    with open(os.path.join(work, "gaps.xml"), "w") as out:
        out.write(gaps)
    marked = os.path.join(work, "marked.html")
    run(PACKAGER, "-x", os.path.join(work, "gaps.xml"), "-i", icon, "-i", logo, "-o",
        os.path.join(work, "marked.pkg"))
    run(INSPECT, "preview", os.path.join(work, "marked.pkg"), "-o", marked)

    # Markup in every text, script URLs, 10,000 lines and a 10,000 px wide logo.
    hostile_dir = os.path.join(work, "hostile")
    os.mkdir(hostile_dir)
    png(os.path.join(hostile_dir, "wide.png"), 10000, 2)
    png(os.path.join(hostile_dir, "mid.png"), 480, 2)
    png(os.path.join(hostile_dir, "i.png"), 16, 16)
    markup = "&lt;script&gt;window.__ran=1&lt;/script&gt;&lt;b onclick=&quot;x()&quot;&gt;"
    lines = ['<line align="right"><logo>wide.png</logo></line>',
             '<line align="left"><logo>mid.png</logo></line>',
             f'<line align="center"><text>{markup}t</text>'
             f'<hyperlink url="javascript:window.__ran=1">{markup}js</hyperlink>'
             '<hyperlink url="mailto:a@example.com">mail</hyperlink></line>',
             '<line><text>left by default</text></line>']
    lines += [f'<line align="{("left", "center", "right")[i % 3]}"><text>line {i}</text></line>'
              for i in range(9997)]
    layout = (f'<vantu-client-branding version="1.0"><app-name>{markup}name</app-name>'
              f'<app-icon>i.png</app-icon><toolbar-menu><about-item>{markup}about</about-item>'
              f'<quit-item>{markup}quit</quit-item></toolbar-menu>'
              f'<about title="{markup}title" minWidth="200">{"".join(lines)}</about>'
              '</vantu-client-branding>')
    with open(os.path.join(hostile_dir, "layout.xml"), "w") as out:
        out.write(layout)
    hostile = os.path.join(work, "hostile.html")
    run(INSPECT, "preview", "--layout", os.path.join(hostile_dir, "layout.xml"),
        os.path.join(hostile_dir, "i.png"), os.path.join(hostile_dir, "wide.png"),
        os.path.join(hostile_dir, "mid.png"), "-o", hostile)
    shown = "<script>window.__ran=1</script><b onclick=\"x()\">"
    hostile_expect = {
        "sizes": {"i.png": (16, 16), "wide.png": (10000, 2), "mid.png": (480, 2)},
        "texts": [shown + "name", shown + "about", shown + "quit", shown + "title", shown + "t",
                  shown + "js (javascript:window.__ran=1)", "left by default", "line 9996"],
        "links": {"mail": "mailto:a@example.com"},
        "shown": {"wide.png": (606, "shows it at most 606x1, scaled down more than 4 times"),
                  "mid.png": (480, None)},
        "scaled": ["wide.png"],
    }
    # Names that broke mid-word in a narrow column, and two logos wider than the box together.
    names_dir = os.path.join(work, "names")
    os.mkdir(names_dir)
    png(os.path.join(names_dir, "icon.png"), 32, 32)
    png(os.path.join(names_dir, "wordmark.png"), 493, 60)
    png(os.path.join(names_dir, "badge.png"), 200, 40)
    with open(os.path.join(EXAMPLES, "layout.xml")) as f:
        text = f.read()
    text = re.sub(r"<logo>logo.jpg</logo>", "<logo>wordmark.png</logo><logo>badge.png</logo>", text)
    with open(os.path.join(names_dir, "layout.xml"), "w") as out:
        out.write(text)
    names = os.path.join(work, "names.html")
    run(INSPECT, "preview", "--layout", os.path.join(names_dir, "layout.xml"), "-o", names)
    for width in (800, 1040, 1280, 1600, 2560):
        check_names(names, width)
    for width in (800, 1600):
        check_page(sample, sample_expect, width)
        check_page(hostile, hostile_expect, width)
        check_marks(marked, width)
    check_live(work)
    print(f"{len(failures)} failed" if failures else "preview pages: every check passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
