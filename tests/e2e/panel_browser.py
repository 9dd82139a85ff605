#!/usr/bin/python3
"""The hub's browser panel in a real browser: headless Chromium through Selenium.

Runs inside a private network namespace (tools/private-net) with the Linux build of KivFSX,
the simulator stand-in and the hub emulator serving its panel on loopback. Checks that bad
requests are refused; that a page of another site in the same network (served by a second
local server) can neither press a control (a form post, a text/plain form, no-cors fetches,
a fetch with the panel's header) nor read the stream, and that a rebinding name (one that
resolves to the panel, as after DNS rebinding) gets nothing: the stand-in's journal shows none
of their changes and the hub names each refusal; that the page loads nothing from elsewhere;
that it shows a block of another version as refused with its reason, the heading the stand-in
flies and the nose gear down as 100 %; that a click on a control and the free entry make the
stand-in's journal show the event with its value; that the field table filters by name; that a
hub that stops while the page is open shows as "stale" with the time since the last update,
and that the page takes up the stream again by itself when the hub is back; and that stopping
KivFSX shows the link as lost after the link-loss time. Saves a screenshot (KIV_PANEL_SHOT).
Every wait is bounded; the script ends by itself.

Environment: KIV_BIN, KIV_COMMGR, KIV_STANDIN (the binaries), KIV_PANEL_SHOT (the PNG).
"""
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

PORT = 8080
URL = f"http://127.0.0.1:{PORT}/"
HOST = f"127.0.0.1:{PORT}".encode()
ATTACK_ADDRESS, ATTACK_PORT = "10.77.0.3", 8000  # another site in the same private network
ATTACK_URL = f"http://{ATTACK_ADDRESS}:{ATTACK_PORT}/attack.html"
REBIND_URL = f"http://rebind.test:{PORT}/"  # a name of another site that resolves to the panel
ATTACK_VALUES = range(201, 209)  # heading bug values only the attacks send
HUB_DATA_PORT = 9020  # where the hub receives the blocks
HEADING = 123  # the heading the stand-in is told to fly
LINK_LOSS_S = 6.0  # six silent seconds
# Tolerant window for the page's "lost": never before the link-loss time less one update
# and a block interval, and late only by what a loaded machine may add.
LOST_EARLIEST_S = LINK_LOSS_S - 0.5
LOST_LATEST_S = LINK_LOSS_S + 6.0
STORE = "x86_microsoft.flightsimulator.simconnect_67c7c14424d61b5b_10.0.61259.0_x-ww_panel"

failures = []


def check(ok, what):
    print(("ok: " if ok else "FAILED: ") + what, flush=True)
    if not ok:
        failures.append(what)


def wait_for(predicate, seconds, step=0.1):
    """The first true result of predicate() within `seconds`, else None."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            value = predicate()
        except Exception:  # the page may be between two updates
            value = None
        if value:
            return value
        if time.monotonic() >= deadline:
            return None
        time.sleep(step)


def text_of(driver, element_id):
    return driver.find_element(By.ID, element_id).get_attribute("textContent")


def journal_has(path, pattern):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return re.search(pattern, f.read(), re.MULTILINE)
    except FileNotFoundError:
        return None


OWN = b"Origin: http://" + HOST + b"\r\nX-KivFSX-Panel: 1\r\n"  # what the page's own changes carry


def post(path, headers=b"", body=b""):
    return (b"POST " + path + b" HTTP/1.1\r\nHost: " + HOST + b"\r\n" + headers +
            b"Content-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body)


# Requests the panel must refuse with a 4xx, and stay up: (what, raw request).
BAD_REQUESTS = [
    ("a line that is no request", b"hello\r\n\r\n"),
    ("an unknown method", b"BREW / HTTP/1.1\r\nHost: " + HOST + b"\r\n\r\n"),
    ("a missing path", b"GET  HTTP/1.1\r\nHost: " + HOST + b"\r\n\r\n"),
    ("an oversized path", b"GET /" + b"a" * 10000 + b" HTTP/1.1\r\nHost: " + HOST + b"\r\n\r\n"),
    ("an oversized header",
     b"GET / HTTP/1.1\r\nHost: " + HOST + b"\r\nX-Big: " + b"b" * 10000 + b"\r\n\r\n"),
    ("an oversized body", b"POST /set HTTP/1.1\r\nHost: " + HOST + b"\r\n" + OWN +
     b"Content-Length: 100000\r\n\r\n" + b"index=1&" * 12500),
    ("a bad body length", b"POST /set HTTP/1.1\r\nHost: " + HOST + b"\r\n" + OWN +
     b"Content-Length: -5\r\n\r\n"),
    ("a path out of the tree", b"GET /../../etc/passwd HTTP/1.1\r\nHost: " + HOST + b"\r\n\r\n"),
    ("a change without a value", post(b"/set?index=100", OWN)),
    ("a change of an unknown index", post(b"/set?index=9999&value=1x", OWN)),
    # Another site's page, or a name of another site that resolves to this host.
    ("a rebinding Host", b"GET / HTTP/1.1\r\nHost: rebind.test:8080\r\n\r\n"),
    ("a rebinding Host reading the stream", b"GET /events HTTP/1.1\r\nHost: evil.example\r\n\r\n"),
    ("no Host", b"GET / HTTP/1.1\r\n\r\n"),
    ("another site's form post", post(b"/set", b"Origin: http://evil.example\r\nContent-Type: "
                                      b"application/x-www-form-urlencoded\r\n", b"index=116&value=201")),
    ("a text/plain post with the fields in the query",
     post(b"/set?index=116&value=202", b"Content-Type: text/plain\r\n", b"x")),
    ("a form post that names the panel as its origin",
     post(b"/set?index=116&value=203", b"Origin: http://" + HOST + b"\r\nContent-Type: "
          b"application/x-www-form-urlencoded\r\n", b"index=116&value=203")),
    ("a change with the header but a form body",
     post(b"/set?index=116&value=204", OWN + b"Content-Type: text/plain;charset=UTF-8\r\n", b"x")),
    ("another site's stream", b"GET /events HTTP/1.1\r\nHost: " + HOST +
     b"\r\nOrigin: http://evil.example\r\n\r\n"),
]

# A page of another site: it posts forms and no-cors fetches to the panel, asks with the
# panel's own header (which needs the panel's consent first), and opens the stream.
ATTACK_PAGE = f"""<!DOCTYPE html><html><head><meta charset="utf-8"><title>win a prize</title></head>
<body><iframe name="sink1"></iframe><iframe name="sink2"></iframe>
<form id="f1" method="POST" target="sink1" action="{URL}set?index=116&value=205">
<input name="index" value="116"><input name="value" value="205"></form>
<form id="f2" method="POST" target="sink2" enctype="text/plain" action="{URL}set?index=116&value=206">
<input name="index" value="116"></form>
<script>
window.tried = [];
const note = (what) => (r) => window.tried.push(what + ": " + (r && r.type ? r.type : String(r)));
document.getElementById("f1").submit();
document.getElementById("f2").submit();
fetch("{URL}set?index=116&value=207", {{method: "POST", mode: "no-cors", body: "index=116&value=207"}})
  .then(note("no-cors text"), note("no-cors text failed"));
fetch("{URL}set", {{method: "POST", mode: "no-cors", body: new URLSearchParams({{index: "116", value: "208"}})}})
  .then(note("no-cors form"), note("no-cors form failed"));
fetch("{URL}set?index=116&value=208", {{method: "POST", headers: {{"X-KivFSX-Panel": "1"}}}})
  .then(note("with the header"), note("with the header failed"));
const es = new EventSource("{URL}events");
es.onmessage = () => {{ window.tried.push("READ THE STREAM"); es.close(); }};
es.onerror = () => {{ window.tried.push("stream refused"); es.close(); }};
</script></body></html>
"""


def status_of(raw):
    """The status code of the answer to one raw request, 0 when there is none."""
    with socket.create_connection(("127.0.0.1", PORT), timeout=10) as s:
        try:
            s.sendall(raw)
        except OSError:
            pass  # the server may answer and close before it has read everything
        answer = b""
        try:
            while len(answer) < 64:
                chunk = s.recv(64)
                if not chunk:
                    break
                answer += chunk
        except OSError:
            pass
    match = re.match(rb"HTTP/1\.[01] (\d{3}) ", answer)
    return int(match.group(1)) if match else 0


def open_stream():
    """A stream of the panel's events held open; None when the hub refused it."""
    s = socket.create_connection(("127.0.0.1", PORT), timeout=10)
    s.sendall(b"GET /events HTTP/1.1\r\nHost: " + HOST + b"\r\n\r\n")
    answer = s.recv(64)
    if not answer.startswith(b"HTTP/1.1 200"):
        s.close()
        return None
    return s


def bad_requests(commgr):
    for what, raw in BAD_REQUESTS:
        code = status_of(raw)
        check(400 <= code < 500, f"{what} is refused with a 4xx ({code})")
    check(commgr.poll() is None and status_of(b"GET / HTTP/1.1\r\nHost: " + HOST + b"\r\n\r\n") == 200,
          "after them the panel still serves its page")


def refusals_from(work, origin):
    """The hub's lines about refused requests of the page at `origin`."""
    text = open(f"{work}/commgr.txt", errors="replace").read()
    return [line for line in text.splitlines()
            if line.startswith("commgr: panel refused") and f"Origin {origin})" in line]


def attacks(driver, work):
    """A page of another site, and a page of a rebinding name, try the panel."""
    origin = f"http://{ATTACK_ADDRESS}:{ATTACK_PORT}"
    if not wait_for(lambda: socket.create_connection((ATTACK_ADDRESS, ATTACK_PORT), 1), 10):
        check(False, "the other site's server answers")
    driver.get(ATTACK_URL)
    tried = wait_for(lambda: (lambda t: t if len(t) >= 4 else None)(
        driver.execute_script("return window.tried || []")), 15) or []
    check("stream refused" in tried and "READ THE STREAM" not in tried,
          f"another site's page cannot read the stream ({tried})")
    # Each of its tries reached the panel and was refused there: the two forms, the two
    # no-cors fetches, the question before the fetch with the header, and the stream.
    lines = wait_for(lambda: (lambda r: r if len(r) >= 6 else None)(
        refusals_from(work, origin)), 10) or refusals_from(work, origin)
    posts = [line for line in lines if " POST /set" in line]
    check(len(posts) >= 4 and any(" OPTIONS /set" in line for line in lines) and
          any(" GET /events" in line for line in lines),
          f"the hub refused each of them ({len(lines)} lines: {lines})")

    # A name of another site that now resolves to the panel: its page and its own
    # same-origin requests, with the panel's header, get nothing.
    driver.get(REBIND_URL)
    body = driver.find_element(By.TAG_NAME, "body").text
    check("not a host name of this panel" in body, f"the rebinding name gets no page ({body!r})")
    statuses = driver.execute_async_script("""
        const done = arguments[arguments.length - 1];
        const asks = [fetch("/set?index=116&value=208", {method: "POST",
                                                          headers: {"X-KivFSX-Panel": "1"}}),
                      fetch("/events"), fetch("/tables.json")];
        Promise.all(asks.map((p) => p.then((r) => r.status, (e) => String(e)))).then(done);""")
    check(statuses == [403, 403, 403],
          f"the rebinding name's change, stream and tables are refused ({statuses})")


def browser(work):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage",
                 "--window-size=1280,1100", f"--user-data-dir={work}/chromium",
                 # The rebinding name resolves to the panel, as after DNS rebinding; and the
                 # browser's own guard of private networks is off, so that the attacks reach
                 # the panel and the test sees the panel's own refusals.
                 f"--host-resolver-rules=MAP rebind.test 127.0.0.1",
                 "--disable-features=PrivateNetworkAccessSendPreflights,"
                 "PrivateNetworkAccessRespectPreflightResults,BlockInsecurePrivateNetworkRequests,"
                 "LocalNetworkAccessChecks"):
        options.add_argument(flag)
    service = Service(executable_path="/usr/bin/chromedriver", log_path=f"{work}/driver.log")
    return webdriver.Chrome(service=service, options=options)


def main():
    work = tempfile.mkdtemp(prefix="kiv-panel-")
    os.makedirs(f"{work}/winsxs/{STORE}")
    shutil.copy(os.environ["KIV_STANDIN"], f"{work}/winsxs/{STORE}/SimConnect.dll")
    journal, control = f"{work}/journal.txt", f"{work}/control.txt"
    with open(control, "w") as f:
        f.write(f"set plane heading degrees magnetic={HEADING}\n")
    env = dict(os.environ, HOME=work, KIVFSX_WINSXS=f"{work}/winsxs", KIVSIM_JOURNAL=journal,
               KIVSIM_CONTROL=control)
    def start_hub():
        return subprocess.Popen(
            [os.environ["KIV_COMMGR"], "--address", "10.77.0.3", "--quiet", "--panel", str(PORT)],
            stdin=subprocess.PIPE, stdout=open(f"{work}/commgr.txt", "a"),
            stderr=subprocess.STDOUT, cwd=work, env=env)
    commgr = start_hub()
    kivfsx = subprocess.Popen([os.environ["KIV_BIN"]], stdin=subprocess.DEVNULL,
                              stdout=open(f"{work}/kivfsx.txt", "w"),
                              stderr=subprocess.STDOUT, cwd=work, env=env)
    os.makedirs(f"{work}/attack")
    with open(f"{work}/attack/attack.html", "w") as f:
        f.write(ATTACK_PAGE)
    attacker = subprocess.Popen(
        [sys.executable, "-m", "http.server", str(ATTACK_PORT), "--bind", ATTACK_ADDRESS,
         "--directory", f"{work}/attack"], stdout=open(f"{work}/attacker.txt", "w"),
        stderr=subprocess.STDOUT)
    driver = None
    try:
        if not wait_for(lambda: status_of(b"GET / HTTP/1.1\r\nHost: " + HOST + b"\r\n\r\n") == 200, 15):
            check(False, "the panel answers")
        bad_requests(commgr)
        driver = browser(work)
        driver.set_page_load_timeout(30)
        attacks(driver, work)
        driver.get(URL)
        check(wait_for(lambda: driver.find_element(By.TAG_NAME, "body").get_attribute(
            "data-ready") == "1", 20), "the page built itself from the tables")
        check(wait_for(lambda: text_of(driver, "link-state") == "up", 30),
              "the link shows up")
        elsewhere = driver.execute_script(
            "return performance.getEntriesByType('resource').map(e => e.name)"
            ".filter(n => !n.startsWith(arguments[0]))", URL)
        check(elsewhere == [], f"everything the page loads comes from commgr ({elsewhere})")

        # A Block3 of another protocol version reaches the hub: refused, with the reason. The
        # page shows the latest datagram of each block, so the flight is read after it, once
        # KivFSX's next Block3 has come.
        header = struct.pack("<iiIiIiihh", 1, 1, 0, 3, 0, 0, 502, 14, 2)
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.sendto(header + bytes(400 - len(header)), ("127.0.0.1", HUB_DATA_PORT))
        check(wait_for(lambda: "version 1" in text_of(driver, "refused-by"), 10),
              "a block of another version shows as refused for its version")
        check(wait_for(lambda: text_of(driver, "r-heading") == str(HEADING), 15),
              f"the page shows the heading the stand-in flies ({HEADING})")

        # A control: the heading bug 10 degrees up, labelled with the event it becomes.
        shown = wait_for(lambda: re.fullmatch(r"\d{3}", driver.find_element(
            By.CSS_SELECTOR, '#readings [title="Autopilot Heading Lock Dir"] .v').text), 10)
        check(shown is not None, "the page shows the heading bug")
        bug = int(shown.group(0)) if shown else 0
        button = driver.find_element(By.CSS_SELECTOR, 'button[data-index="100"][data-value="2"]')
        label = button.find_element(By.XPATH, "following-sibling::span").text
        check(label == "HEADING_BUG_SET", f"the +10 control is labelled HEADING_BUG_SET ({label})")
        button.click()
        want = (bug + 10) % 360
        check(wait_for(lambda: journal_has(
            journal, rf"sim=HEADING_BUG_SET data={want} "), 15),
            f"a click makes the stand-in's journal show HEADING_BUG_SET data={want}")

        # The free entry: any index with a value.
        driver.find_element(By.ID, "free-index").send_keys("116")
        driver.find_element(By.ID, "free-value").send_keys("45")
        check("HEADING_BUG_SET" in text_of(driver, "free-event"),
              "the free entry names the event of index 116")
        driver.find_element(By.CSS_SELECTOR, "#free-set button").click()
        check(wait_for(lambda: journal_has(journal, r"sim=HEADING_BUG_SET data=45 "), 15),
              "the free entry makes the journal show HEADING_BUG_SET data=45")

        # The nose gear down reads 100 % (the simulator gives it in percent).
        driver.find_element(By.ID, "free-index").clear()
        driver.find_element(By.ID, "free-index").send_keys("42")
        driver.find_element(By.ID, "free-value").clear()
        driver.find_element(By.ID, "free-value").send_keys("1")
        driver.find_element(By.CSS_SELECTOR, "#free-set button").click()
        nose = lambda: driver.find_element(
            By.CSS_SELECTOR, '#readings [title="Gear Center Position"] .v').text
        check(wait_for(lambda: nose() == "100", 15), f"the nose gear down shows 100 % ({nose()})")

        # None of the other site's changes reached the simulator.
        leaked = [v for v in ATTACK_VALUES
                  if journal_has(journal, rf"sim=HEADING_BUG_SET data={v} ")]
        check(leaked == [], f"the journal shows no change of another site ({leaked})")

        # The field table, searched by name.
        driver.find_element(By.ID, "field-search").send_keys("heading lock dir")
        rows = [r for r in driver.find_elements(By.CSS_SELECTOR, "#field-table tbody tr")
                if r.is_displayed()]
        check(len(rows) == 1 and "Autopilot Heading Lock Dir" in rows[0].text,
              f"the search keeps the one field of that name ({len(rows)} rows)")

        shot = os.environ.get("KIV_PANEL_SHOT")
        if shot:
            driver.execute_script("document.getElementById('field-search').value='';"
                                  "document.getElementById('field-search')"
                                  ".dispatchEvent(new Event('input'));"
                                  "document.activeElement.blur(); window.scrollTo(0, 0);")
            time.sleep(0.5)
            driver.save_screenshot(shot)
            print(f"screenshot: {shot}", flush=True)

        # The hub stops while the page is open: the page says its stream is stale, with the
        # time since the last update, and takes it up again by itself once the hub is back.
        commgr.kill()
        commgr.wait(10)
        check(wait_for(lambda: text_of(driver, "link-state") == "stale", 10),
              "the page shows the stream stale when the hub stops")
        since = lambda: float(re.search(r"for ([\d.]+) s", text_of(driver, "link-note")).group(1))
        first = wait_for(since, 5)
        time.sleep(1.5)
        later = wait_for(since, 5)
        check(first is not None and later is not None and later > first,
              f"it counts the time since the last update ({first} s, then {later} s)")
        # Back, the hub first has no room for the page: four other streams hold every place,
        # so the page's tries are refused with 503, after which a browser gives a stream up.
        commgr = start_hub()
        wait_for(lambda: status_of(b"GET / HTTP/1.1\r\nHost: " + HOST + b"\r\n\r\n") == 200, 10)
        holders = [open_stream() for _ in range(4)]
        check(all(holders), "four other streams take every place of the hub")
        time.sleep(9)  # longer than the page's longest pause between tries
        check(text_of(driver, "link-state") == "stale", "meanwhile the page stays stale")
        for h in holders:
            if h:
                h.close()
        check(wait_for(lambda: text_of(driver, "link-state") == "up", 30),
              "once there is room the page takes up the stream by itself and shows the link up")

        # KivFSX stops: the page shows the link lost after the link-loss time.
        # Timed from before the kill: its last block left no earlier than a block interval
        # before this, however long the kill then takes.
        stopped = time.monotonic()
        kivfsx.send_signal(signal.SIGKILL)
        kivfsx.wait(10)
        lost = wait_for(lambda: text_of(driver, "link-state") == "lost", LOST_LATEST_S + 2)
        took = time.monotonic() - stopped
        check(lost is not None and LOST_EARLIEST_S <= took <= LOST_LATEST_S,
              f"the link shows lost {took:.1f} s after KivFSX stopped "
              f"(window {LOST_EARLIEST_S} to {LOST_LATEST_S} s)")
    finally:
        if driver is not None:
            driver.quit()
        attacker.kill()
        if kivfsx.poll() is None:
            kivfsx.kill()
        try:
            commgr.stdin.write(b"quit\n")
            commgr.stdin.close()
            commgr.wait(10)
        except (OSError, subprocess.TimeoutExpired):
            commgr.kill()
    if failures:
        for name in ("commgr.txt", "kivfsx.txt", "driver.log", "attacker.txt"):
            print(f"----- {name}")
            print(open(f"{work}/{name}", errors="replace").read()[-3000:])
        print(f"files kept in {work}")
        return 1
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
