#!/usr/bin/python3
"""The page at / in a real browser: headless Chromium through Selenium.

    page_test.py ROVURER SOURCE_DIR

Serves the sample file and a sparse file whose positions pass 2^53, then
reads digits at such a position, searches and steps to the second match,
and draws the counts, checking each against the JSON API. Every wait is for
a condition, with a limit.
"""
import json
import os
import signal
import struct
import subprocess
import sys
import tempfile
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

tool, source = sys.argv[1], sys.argv[2]
far = 2**53 + 1  # JavaScript's numbers cannot hold it

with tempfile.TemporaryDirectory() as folder:
    # A header that declares enough words for position 2^53 + 1 to lie in
    # the 60 words the file holds: rovurer reads only the words it needs.
    words = (far - 1) // 19 + 50
    big = os.path.join(folder, "big")
    with open(big, "wb") as out:
        out.write(b"MPT\x01FILE" + struct.pack("<qqQqqq", words, 0, 2, 0, 0, 0) + bytes(4040))
        out.write(b"".join(struct.pack("<Q", (k * 1234567890123456789) % 10**19) for k in range(60)))

    server = subprocess.Popen([tool, "--serve", "--quiet", "--listen", "127.0.0.1:0",
                               os.path.join(source, "examples", "pi_base10"), big],
                              stderr=subprocess.PIPE, text=True)
    first = server.stderr.readline()
    assert first.startswith("rovurer: serving 2 files on http://127.0.0.1:"), first
    base = first.split(" on ")[1].strip().rstrip("/")

    def api(path):
        with urllib.request.urlopen(base + path, timeout=30) as answer:
            return json.loads(answer.read())

    options = Options()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"):
        options.add_argument(argument)
    browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    wait = WebDriverWait(browser, 30)
    try:
        # Digits at a position past 2^53, as the API gives them.
        browser.get(base + "/?file=big&base=10&pos=" + str(far))
        expected = api(f"/v1/digits?file=big&base=10&pos={far}&n=50")["digits"]
        line = expected[:10] + " " + expected[10:20] + " " + expected[20:30] + " " + expected[30:40] + " " + \
            expected[40:50] + "  : " + str(far + 49)
        wait.until(lambda b: line in b.find_element(By.ID, "digits").text)

        # Search the sample, and step to the second match.
        Select(browser.find_element(By.ID, "file")).select_by_value("pi_base10")
        browser.find_element(By.ID, "query").send_keys("14")
        browser.find_element(By.ID, "find").click()
        positions = api("/v1/find?file=pi_base10&digits=14&max=2")["positions"]
        wait.until(lambda b: f"at position {positions[0]}" in b.find_element(By.ID, "matches").text)
        browser.find_element(By.ID, "next-match").click()
        wait.until(lambda b: f"match 2 of" in b.find_element(By.ID, "matches").text and
                   f"at position {positions[1]}" in b.find_element(By.ID, "matches").text)
        # The match is marked, a digit at a time.
        wait.until(lambda b: "".join(m.text for m in b.find_elements(By.TAG_NAME, "mark")) == "14")
        assert "q=14" in browser.current_url, browser.current_url  # the state is in the link

        # The counts of the 1,000 digits from the position shown, as bars.
        browser.find_element(By.ID, "pos").clear()
        browser.find_element(By.ID, "pos").send_keys("1")
        count_field = browser.find_element(By.ID, "count-n")
        count_field.clear()
        count_field.send_keys("1000")
        browser.find_element(By.ID, "count").click()
        counts = api("/v1/count?file=pi_base10&base=10&pos=1&n=1000")["counts"]
        wait.until(lambda b: len(b.find_elements(By.CSS_SELECTOR, "#chart svg rect")) == 10)
        titles = [t.get_attribute("textContent") for t in browser.find_elements(By.CSS_SELECTOR, "#chart svg title")]
        assert titles == [f"{d}: {counts[d]}" for d in "0123456789"], titles
        print("page: digits at 2^53 + 1, the second match, the chart: as the API gives them")
    finally:
        browser.quit()
        server.send_signal(signal.SIGTERM)
        status = server.wait(timeout=30)
    assert status == 0, f"the server ended with status {status}"
