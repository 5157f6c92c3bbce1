#!/usr/bin/python3
"""The page at / in a real browser: headless Chromium through Selenium.

    page_test.py ROVURER SOURCE_DIR

Serves the sample file, a short file and a sparse file whose positions pass
2^53, then drives the page as a person would, at 1280x900 and at 390x844:
every control change must leave the digits, the highlight, the search's
status, the chart and the link drawn from one state, each checked against
the JSON API. Every wait is for a condition, with a limit.
"""
import json
import os
import signal
import struct
import subprocess
import sys
import tempfile
import urllib.parse
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

tool, source = sys.argv[1], sys.argv[2]
far = 2**53 + 1  # JavaScript's numbers cannot hold it


def digit_file(path, words, lead_words, word_count=None):
    with open(path, "wb") as out:
        count = len(words) if word_count is None else word_count
        out.write(b"MPT\x01FILE" + struct.pack("<qqQqqq", count, 0, 2, 0, 0, lead_words) + bytes(4040))
        out.write(b"".join(struct.pack("<Q", w) for w in words))


with tempfile.TemporaryDirectory() as folder:
    # A header that declares enough words for position 2^53 + 1 to lie in
    # the 60 words the file holds: rovurer reads only the words it needs.
    big = os.path.join(folder, "big")
    digit_file(big, [(k * 1234567890123456789) % 10**19 for k in range(60)], 0, (far - 1) // 19 + 50)
    short = os.path.join(folder, "short")  # 38 decimal digits of pi
    digit_file(short, [6264338327950288419, 1415926535897932384, 3], 1)

    server = subprocess.Popen([tool, "--serve", "--quiet", "--listen", "127.0.0.1:0",
                               os.path.join(source, "examples", "pi_base10"), big, short],
                              stderr=subprocess.PIPE, text=True)
    first = server.stderr.readline()
    assert first.startswith("rovurer: serving 3 files on http://127.0.0.1:"), first
    base = first.split(" on ")[1].strip().rstrip("/")

    def api(path):
        with urllib.request.urlopen(base + path, timeout=30) as answer:
            return json.loads(answer.read())

    def first_match(file, digits, pos, number_base=10):
        found = api(f"/v1/find?file={file}&base={number_base}&digits={digits}&pos={pos}&max=1")["positions"]
        return found[0] if found else None

    options = Options()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--no-first-run", "--disable-background-networking", "--disable-component-update",
                     "--disable-sync", "--window-size=1280,900"):
        options.add_argument(argument)
    browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    wait = WebDriverWait(browser, 30)

    def text_of(element_id):
        return browser.find_element(By.ID, element_id).text

    def marked():
        return "".join(m.text for m in browser.find_elements(By.TAG_NAME, "mark"))

    def link():
        return urllib.parse.parse_qs(urllib.parse.urlparse(browser.current_url).query)

    def lines(digits, start):
        """The page's lines of 50 digits from `start`, as the API's digits give them."""
        made = []
        for at in range(0, len(digits), 50):
            piece = digits[at:at + 50]
            made.append(" ".join(piece[k:k + 10] for k in range(0, len(piece), 10)) +
                        "  : " + str(start + at + len(piece) - 1))
        return made

    def shows(file, number_base, pos):
        digits = api(f"/v1/digits?file={file}&base={number_base}&pos={pos}&n=500")["digits"]
        expected = lines(digits, pos)
        wait.until(lambda b: text_of("digits").split("\n")[:len(expected)] == expected)

    def type_into(element_id, text):
        field = browser.find_element(By.ID, element_id)
        field.clear()
        field.send_keys(text)

    def click(element_id):
        browser.find_element(By.ID, element_id).click()

    try:
        # Digits at a position past 2^53, as the API gives them.
        browser.get(base + f"/?file=big&base=10&pos={far}")
        shows("big", 10, far)

        # The file's size in the base shown; a base changed redraws the
        # digits at once.
        Select(browser.find_element(By.ID, "file")).select_by_value("pi_base10")
        shows("pi_base10", 10, 1)  # the position, past the new file's end, goes back to 1
        wait.until(lambda b: text_of("size") == "3,800 digits in base 10")
        Select(browser.find_element(By.ID, "base")).select_by_value("16")
        shows("pi_base10", 16, 1)
        wait.until(lambda b: text_of("size") == "3,200 digits in base 16")
        Select(browser.find_element(By.ID, "base")).select_by_value("10")
        shows("pi_base10", 10, 1)

        # Positions as the command line writes them.
        type_into("pos", "1e3")
        click("show")
        shows("pi_base10", 10, 1000)
        assert browser.find_element(By.ID, "pos").get_attribute("value") == "1000"
        assert link()["pos"] == ["1000"], browser.current_url

        # A search from where you are, then next and previous.
        type_into("query", "14")
        click("find")
        one = first_match("pi_base10", "14", 1000)
        two = first_match("pi_base10", "14", one + 1)
        wait.until(lambda b: f"14 at position {one}" in text_of("matches"))
        wait.until(lambda b: marked() == "14")
        assert link()["q"] == ["14"], browser.current_url
        click("next-match")
        wait.until(lambda b: f"14 at position {two}" in text_of("matches") and marked() == "14")
        click("previous-match")
        wait.until(lambda b: f"14 at position {one}" in text_of("matches") and marked() == "14")

        # Nothing found: the old highlight goes, and the status says how far
        # the search looked.
        type_into("pos", "3000")
        click("show")
        shows("pi_base10", 10, 3000)
        type_into("query", "999999")
        click("find")
        wait.until(lambda b: "no 999999 from position 3,000 to the end (801 digits searched)" in text_of("matches"))
        assert marked() == ""

        # An invalid query: a message, no status of an older search, no q=.
        type_into("query", "12a")
        click("find")
        wait.until(lambda b: text_of("message") == "'12a' is not a string of base-10 digits")
        assert text_of("matches") == "" and marked() == "" and "q" not in link(), browser.current_url

        # The counts as each digit's deviation from the expected count.
        type_into("pos", "1")
        click("show")
        shows("pi_base10", 10, 1)
        type_into("count-n", "1000")
        click("count")
        counts = api("/v1/count?file=pi_base10&base=10&pos=1&n=1000")["counts"]
        wait.until(lambda b: len(b.find_elements(By.CSS_SELECTOR, "#chart svg rect")) == 10)
        titles = [t.get_attribute("textContent") for t in browser.find_elements(By.CSS_SELECTOR, "#chart svg title")]
        assert titles == [f"{d}: {counts[d]}" for d in "0123456789"], titles
        texts = [t.get_attribute("textContent") for t in browser.find_elements(By.CSS_SELECTOR, "#chart svg text")]
        assert texts[0] == "Counts of 1,000 base-10 digits from position 1", texts
        assert "expected 100.0" in texts[1], texts
        for d in "0123456789":
            deviation = counts[d] - 100
            shown = ("+" if deviation > 0 else "\u2212" if deviation < 0 else "") + str(abs(deviation))
            assert shown in texts, (d, shown, texts)

        # A base changed: the digits, the chart and the link follow; a find
        # then searches the new base.
        type_into("query", "14")
        click("find")
        wait.until(lambda b: "14 at position" in text_of("matches"))
        Select(browser.find_element(By.ID, "base")).select_by_value("2")
        wait.until(lambda b: len(b.find_elements(By.CSS_SELECTOR, "#chart svg")) == 0)
        wait.until(lambda b: "q" not in link() and link()["base"] == ["2"] and text_of("matches") == "")
        assert marked() == ""
        type_into("query", "14")
        click("find")
        wait.until(lambda b: text_of("message") == "'14' is not a string of base-2 digits")
        Select(browser.find_element(By.ID, "base")).select_by_value("10")

        # Past the end of a smaller file: the position goes back to 1, and
        # a count is of the new file.
        type_into("pos", "3700")
        click("show")
        shows("pi_base10", 10, 3700)
        assert not browser.find_element(By.ID, "forward").is_enabled()  # the end is shown
        click("count")
        wait.until(lambda b: len(b.find_elements(By.CSS_SELECTOR, "#chart svg rect")) == 10)
        Select(browser.find_element(By.ID, "file")).select_by_value("short")
        shows("short", 10, 1)
        wait.until(lambda b: len(b.find_elements(By.CSS_SELECTOR, "#chart svg")) == 0)
        type_into("count-n", "38")
        click("count")
        wait.until(lambda b: len(b.find_elements(By.CSS_SELECTOR, "#chart svg rect")) == 10)
        short_counts = api("/v1/count?file=short&base=10&pos=1&n=38")["counts"]
        titles = [t.get_attribute("textContent") for t in browser.find_elements(By.CSS_SELECTOR, "#chart svg title")]
        assert titles == [f"{d}: {short_counts[d]}" for d in "0123456789"], titles
        assert text_of("message") == ""
        assert not browser.find_element(By.ID, "forward").is_enabled()

        # Copying the digits shown.
        Select(browser.find_element(By.ID, "file")).select_by_value("pi_base10")
        shows("pi_base10", 10, 1)
        assert browser.find_element(By.ID, "forward").is_enabled()
        click("copy")
        wait.until(lambda b: "500 digits from position 1" in text_of("copied"))
        copied = browser.find_element(By.ID, "copy-buffer").get_attribute("value")
        assert copied == api("/v1/digits?file=pi_base10&base=10&pos=1&n=500")["digits"], copied[:40]

        # The statistics of the digits from the position shown: the tests as
        # the API gives them, a bar a block, and the walk's picture.
        type_into("stats-n", "1000")
        type_into("stats-block", "100")
        click("test")
        # The page's scans done (its walk drawn) before the test asks for its
        # own: the server runs two scans at once (--max-scans).
        walk = wait.until(lambda b: b.find_elements(By.CSS_SELECTOR, "#walk img"))[0]
        wait.until(lambda b: b.execute_script("return arguments[0].complete && arguments[0].naturalWidth", walk) == 1000)
        stats = api("/v1/stats?file=pi_base10&base=10&pos=1&n=1000")
        blocks = api("/v1/blocks?file=pi_base10&base=10&pos=1&n=1000&block=100")["blocks"]
        assert len(browser.find_elements(By.CSS_SELECTOR, "#blocks-chart svg rect")) == len(blocks)
        rows = [r.text for r in browser.find_elements(By.CSS_SELECTOR, "#tests tr")]
        assert rows[1] == f"frequency {stats['chi_square']:.4f} 9 {stats['p_value']:.4f}", rows
        assert rows[3] == "serial triples too short 810 \u2013", rows  # 1000 digits are too few
        titles = [t.get_attribute("textContent")
                  for t in browser.find_elements(By.CSS_SELECTOR, "#blocks-chart svg title")]
        assert titles == [f"position {b['pos']}: {b['chi_square']:.2f}" for b in blocks], titles
        assert "6 at 762" in text_of("tests"), text_of("tests")
        # Another base: they belong to the old digits.
        Select(browser.find_element(By.ID, "base")).select_by_value("16")
        wait.until(lambda b: text_of("tests") == "" and len(b.find_elements(By.CSS_SELECTOR, "#walk img")) == 0)
        Select(browser.find_element(By.ID, "base")).select_by_value("10")
        shows("pi_base10", 10, 1)

        # A link with q= searches again, from its position.
        browser.get(base + "/?file=pi_base10&base=10&pos=700&q=999999")
        wait.until(lambda b: "999999 at position 762" in text_of("matches") and marked() == "999999")
        shows("pi_base10", 10, 752)

        # At 390 px the lines wrap to the width, their positions in sight.
        browser.set_window_size(390, 844)
        browser.get(base + "/?file=pi_base10&base=10&pos=1")
        wait.until(lambda b: text_of("digits").startswith("1415926535"))
        wait.until(lambda b: b.execute_script(
            "const v = document.getElementById('digits');"
            "return v.scrollWidth <= v.clientWidth && [...v.querySelectorAll('.label')].every("
            "l => l.getBoundingClientRect().right <= v.getBoundingClientRect().right);"))
        first_line = text_of("digits").split("\n")[0]
        assert first_line.endswith("  : 20") or first_line.endswith("  : 10"), first_line
        print("page: digits past 2^53, sizes, bases, 1e3, find, next, previous, nothing found, a bad query, "
              "the chart's deviations, a smaller file, copy, the statistics, a link's search, 390 px: as the API gives them")
    finally:
        browser.quit()
        server.send_signal(signal.SIGTERM)
        status = server.wait(timeout=30)
    assert status == 0, f"the server ended with status {status}"
