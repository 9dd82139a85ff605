#!/usr/bin/python3
"""The hub's browser panel in a real browser: headless Chromium through Selenium.

Runs inside a private network namespace (tools/private-net) with the Linux build of KivFSX,
the simulator stand-in and the hub emulator serving its panel on loopback. Checks that bad
requests are refused; that the page loads nothing from elsewhere; that it shows a block of
another version as refused with its reason, and the heading the stand-in flies; that a click on
a control and the free entry make the stand-in's journal show the event with its value; that
the field table filters by name; and that stopping KivFSX shows the link as lost after the
link-loss time. Saves a screenshot (KIV_PANEL_SHOT). Every wait is bounded; the script ends
by itself.

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


# Requests the panel must refuse with a 4xx, and stay up: (what, raw request).
BAD_REQUESTS = [
    ("a line that is no request", b"hello\r\n\r\n"),
    ("an unknown method", b"BREW / HTTP/1.1\r\nHost: x\r\n\r\n"),
    ("a missing path", b"GET  HTTP/1.1\r\nHost: x\r\n\r\n"),
    ("an oversized path", b"GET /" + b"a" * 10000 + b" HTTP/1.1\r\nHost: x\r\n\r\n"),
    ("an oversized header", b"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + b"b" * 10000 + b"\r\n\r\n"),
    ("an oversized body", b"POST /set HTTP/1.1\r\nHost: x\r\nContent-Length: 100000\r\n"
     b"Content-Type: application/x-www-form-urlencoded\r\n\r\n" + b"index=1&" * 12500),
    ("a bad body length", b"POST /set HTTP/1.1\r\nHost: x\r\nContent-Length: -5\r\n\r\n"),
    ("a path out of the tree", b"GET /../../etc/passwd HTTP/1.1\r\nHost: x\r\n\r\n"),
    ("a change without a value", b"POST /set HTTP/1.1\r\nHost: x\r\nContent-Length: 9\r\n"
     b"Content-Type: application/x-www-form-urlencoded\r\n\r\nindex=100"),
    ("a change of an unknown index", b"POST /set HTTP/1.1\r\nHost: x\r\nContent-Length: 19\r\n"
     b"Content-Type: application/x-www-form-urlencoded\r\n\r\nindex=9999&value=1x"),
]


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


def bad_requests(commgr):
    for what, raw in BAD_REQUESTS:
        code = status_of(raw)
        check(400 <= code < 500, f"{what} is refused with a 4xx ({code})")
    check(commgr.poll() is None and status_of(b"GET / HTTP/1.1\r\nHost: x\r\n\r\n") == 200,
          "after them the panel still serves its page")


def browser(work):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage",
                 "--window-size=1280,1100", f"--user-data-dir={work}/chromium"):
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
    commgr = subprocess.Popen(
        [os.environ["KIV_COMMGR"], "--address", "10.77.0.3", "--quiet", "--panel", str(PORT)],
        stdin=subprocess.PIPE, stdout=open(f"{work}/commgr.txt", "w"),
        stderr=subprocess.STDOUT, cwd=work, env=env)
    kivfsx = subprocess.Popen([os.environ["KIV_BIN"]], stdin=subprocess.DEVNULL,
                              stdout=open(f"{work}/kivfsx.txt", "w"),
                              stderr=subprocess.STDOUT, cwd=work, env=env)
    driver = None
    try:
        if not wait_for(lambda: status_of(b"GET / HTTP/1.1\r\nHost: x\r\n\r\n") == 200, 15):
            check(False, "the panel answers")
        bad_requests(commgr)
        driver = browser(work)
        driver.set_page_load_timeout(30)
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
        if kivfsx.poll() is None:
            kivfsx.kill()
        try:
            commgr.stdin.write(b"quit\n")
            commgr.stdin.close()
            commgr.wait(10)
        except (OSError, subprocess.TimeoutExpired):
            commgr.kill()
    if failures:
        for name in ("commgr.txt", "kivfsx.txt", "driver.log"):
            print(f"----- {name}")
            print(open(f"{work}/{name}", errors="replace").read()[-3000:])
        print(f"files kept in {work}")
        return 1
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
