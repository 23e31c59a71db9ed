#!/usr/bin/python3
"""Opens the HTML report of runs on captures written here in headless Chromium and checks what a reader
sees: the figures of the summary, the charts against the frame times of the capture, the sortable tables,
the name of a hostile capture file shown as text, and a page that loads nothing from anywhere.

Usage: /usr/bin/python3 report_in_browser.py WIRETALLY SCREENSHOT_FOLDER [unittest options]
Needs Debian's chromium, chromium-driver, python3-selenium and python3-jsonschema.
"""

import base64
import itertools
import json
import math
import os
import re
import socket
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

WIRETALLY = ""
SCREENSHOTS = Path()
SCHEMA_FOLDER = Path(__file__).resolve().parent.parent / "schema"

SECOND = 1_000_000
START = 1_704_067_200 * SECOND  # 2024-01-01T00:00:00Z, in microseconds since 1970
ETHERNET = bytes.fromhex("020000000002" "020000000001")
SYN, RST, ACK = 0x02, 0x04, 0x10
POINT = re.compile(r"-?[0-9.]+(e[-+]?[0-9]+)?,-?[0-9.]+(e[-+]?[0-9]+)?")


# --- Captures ---------------------------------------------------------------------------------------------

def ipv4_frame(source, destination, protocol, ip_id, payload):
    header = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(payload), ip_id, 0x4000, 64, protocol, 0,
                         socket.inet_aton(source), socket.inet_aton(destination))
    return ETHERNET + b"\x08\x00" + header + payload


class Capture:
    """The frames of a classic Ethernet capture in file order: (time in µs since 1970, bytes, carries TCP)."""

    def __init__(self):
        self.frames = []

    def add(self, time, frame, tcp):
        self.frames.append((time, frame, tcp))

    def udp(self, time, size):
        self.add(time, ipv4_frame("10.0.0.9", "10.0.0.53", 17, 7, struct.pack("!HHHH", 5353, 53, 8 + size, 0)
                                  + bytes(size)), False)

    def arp(self, time):
        self.add(time, ETHERNET + b"\x08\x06" + bytes(28), False)

    def copy_last(self, time):
        self.add(time, self.frames[-1][1], self.frames[-1][2])

    def write(self, path, damage=b""):
        records = b"".join(struct.pack("<IIII", time // SECOND, time % SECOND, len(frame), len(frame)) + frame
                           for time, frame, _ in self.frames)
        with open(path, "wb") as file:  # a bytes path: file names need not be UTF-8
            file.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1) + records + damage)


class Connection:
    """A client on 10.0.0.1:PORT that connects to 10.0.0.2:80 and sends; the server only answers the SYN."""

    def __init__(self, capture, port):
        self.capture, self.port = capture, port
        self.next_seq, self.ip_id = 1001, 100

    def _segment(self, time, from_client, seq, ack, flags, size, ip_id):
        ports = (self.port, 80) if from_client else (80, self.port)
        addresses = ("10.0.0.1", "10.0.0.2") if from_client else ("10.0.0.2", "10.0.0.1")
        tcp = struct.pack("!HHIIBBHHH", *ports, seq, ack, 5 << 4, flags, 65535, 0, 0) + bytes(size)
        self.capture.add(time, ipv4_frame(*addresses, 6, ip_id, tcp), True)

    def handshake(self, time, rtt):
        self._segment(time, True, 1000, 0, SYN, 0, 1)
        self._segment(time + rtt // 2, False, 5000, 1001, SYN | ACK, 0, 1)
        self._segment(time + rtt, True, 1001, 5001, ACK, 0, 2)

    def send(self, time, size, seq=None):
        """Sends `size` bytes at `seq` (by default the next ones) with a new IP identification; returns seq."""
        if seq is None:
            seq, self.next_seq = self.next_seq, self.next_seq + size
        self.ip_id += 1
        self._segment(time, True, seq, 5001, ACK, size, self.ip_id)
        return seq

    def reset(self, time, from_client):
        """A RST with ACK from either side."""
        self._segment(time, from_client, self.next_seq if from_client else 5001, 5001 if from_client else 1001,
                      RST | ACK, 0, 90)

    def skip(self, size):
        """Loses the next `size` bytes: they are never captured, or captured later with send(seq=...)."""
        self.next_seq += size
        return self.next_seq - size


def at(seconds):
    return START + round(seconds * SECOND)


def anomalous_capture():
    """About a minute of traffic: a long connection with a hole near 10 s, an out-of-order segment near 20 s,
    a frame copied 5 ms after it near 30 s and a retransmission near 40 s (each within a tenth of a second), three short
    connections of different sizes, one reset by its client after its handshake and one refused, and UDP and ARP
    frames. Returns the capture, the time of each anomaly by series name, and the number of handshakes."""
    capture = Capture()
    capture.udp(at(0.000188), 40)
    long = Connection(capture, 40001)
    long.handshake(at(0.5), 3000)
    events = {"gaps": at(10.06), "out-of-order": at(20.07), "duplicates": at(30.025), "retransmissions": at(40.06)}
    for second in range(1, 59):
        time = at(second + 0.02)
        long.send(time, 100)
        if second == 10:
            long.skip(100)
            long.send(events["gaps"], 100)
        elif second == 20:
            missing = long.skip(100)
            long.send(time + 20_000, 100)
            long.send(events["out-of-order"], 100, seq=missing)
        elif second == 30:
            capture.copy_last(events["duplicates"])
        elif second == 40:
            long.send(events["retransmissions"], 100, seq=long.next_seq - 100)
        if second % 5 == 3:
            capture.udp(at(second + 0.5), 20 * second)
    for port, start, segments, size, rtt in ((40002, 5.3, 1, 700, 2000), (40003, 15.3, 3, 900, 5000),
                                             (40004, 25.3, 6, 1100, 9000)):
        short = Connection(capture, port)
        short.handshake(at(start), rtt)
        for index in range(segments):
            short.send(at(start + 0.2 * (index + 1)), size)
    reset = Connection(capture, 40005)
    reset.handshake(at(35.1), 1000)
    reset.reset(at(35.2), True)
    refused = Connection(capture, 40006)
    refused._segment(at(45.1), True, 1000, 0, SYN, 0, 1)
    refused.reset(at(45.1005), False)
    capture.arp(at(33.3))
    capture.udp(at(59.5), 60)
    capture.frames.sort(key=lambda frame: frame[0])
    return capture, events, 5


def small_capture(*times):
    """One connection's handshake and data, alternating with UDP frames, at these times in file order."""
    capture = Capture()
    connection = Connection(capture, 40001)
    for index, time in enumerate(times):
        if index % 2:
            capture.udp(time, 30 + index)
        else:
            connection.send(time, 10 * index + 1)
    return capture


# --- Expected charts --------------------------------------------------------------------------------------

def interval_widths():
    """The widths an interval may have, in microseconds, smallest first."""
    yield from (1, 2, 10, 20, 100, 200, 1000, 2000, 10_000, 20_000, 100_000, 200_000)
    yield from (seconds * SECOND for seconds in (1, 2, 10, 20, 60, 120, 600, 1200, 3600, 7200, 21600, 86400))
    width = 86400 * SECOND
    for factor in itertools.cycle((2, 5)):
        width *= factor
        yield width


def interval_grid(times):
    """(width, count, start of the first interval) of the narrowest intervals that cover `times` in at most
    1000 intervals, each starting at a multiple of its width."""
    first, last = min(times), max(times)
    for width in interval_widths():
        count = last // width - first // width + 1
        if count <= 1000:
            return width, count, first // width * width
    raise AssertionError("unreachable: the widths grow without end")


def per_interval(capture, grid, weight):
    width, count, start = grid
    totals = [0] * count
    for time, frame, tcp in capture.frames:
        totals[(time - start) // width] += weight(frame, tcp)
    return totals


# --- The tool ---------------------------------------------------------------------------------------------

def run_tool(folder, capture_name):
    command = [os.fsencode(WIRETALLY), b"--report", b"--json", b"--retransmissions", b"--connections", b"-i", capture_name,
               b"-o", b"out"]
    return subprocess.run(command, cwd=folder, capture_output=True, text=True, errors="replace", timeout=120)


def summary_figures(path):
    """The "Name: value" lines of a summary file, headings left out."""
    lines = Path(path).read_text(encoding="utf-8").splitlines()
    return dict(match.groups() for match in map(re.compile(r"(\w+): (.*)").fullmatch, lines) if match)


def numbers(text):
    return [float(value) for value in (text or "").split()]


# --- The page ---------------------------------------------------------------------------------------------

PAGE_CHARTS = """
return Array.from(document.querySelectorAll('svg.chart[data-intervals]')).map(chart => ({
    id: chart.id, intervals: chart.getAttribute('data-intervals'), width: chart.getAttribute('data-interval-us'),
    first: chart.getAttribute('data-first-interval-us'), partial: chart.getAttribute('data-last-partial-us'),
    series: Array.from(chart.querySelectorAll('polyline.series')).map(line => ({
        name: line.getAttribute('data-series'), values: line.getAttribute('data-values'),
        bytes: line.getAttribute('data-bytes'), points: line.getAttribute('points')}))}));
"""

FIGURE_CELLS = """
return Object.fromEntries(arguments[0].map(name => [name, Array.from(
    document.querySelectorAll(`tr[data-figure="${name}"] td.value`), cell => cell.innerText)]));
"""

BROKEN_EXPLANATION_LINKS = """
return Array.from(document.querySelectorAll('tr[data-figure]')).filter(row => {
    const link = row.querySelector(`a[href="#explain-${row.dataset.figure}"]`);
    return !link || !document.getElementById(link.getAttribute('href').slice(1));
}).map(row => row.dataset.figure);
"""

TABLE_COLUMN = """
return Array.from(arguments[0].tBodies[0].rows, row => row.cells[arguments[1]]).map(cell =>
    arguments[2] === 'number' ? cell.getAttribute('data-value') : cell.innerText);
"""


def start_browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,1000"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    # An alert stays open, so that the test sees it rather than the driver closing it.
    options.set_capability("unhandledPromptBehavior", "ignore")
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def save_full_page(browser, path):
    size = browser.execute_cdp_cmd("Page.getLayoutMetrics", {})["cssContentSize"]
    shot = browser.execute_cdp_cmd("Page.captureScreenshot", {
        "format": "png", "captureBeyondViewport": True,
        "clip": {"x": 0, "y": 0, "width": size["width"], "height": size["height"], "scale": 1}})
    Path(path).write_bytes(base64.b64decode(shot["data"]))


class ReportInBrowser(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.browser = start_browser()
        SCREENSHOTS.mkdir(parents=True, exist_ok=True)

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def report(self, case, capture, handshakes=0, name=b"capture.pcap", damage=b""):
        """Runs the tool on `capture`, opens its report and checks everything every report must satisfy.
        Returns the charts by id."""
        folder = Path(self.folder.name)
        capture.write(os.path.join(os.fsencode(folder), name), damage)
        run = run_tool(folder, name)
        if damage:
            self.assertNotEqual(run.returncode, 0, "a damaged capture must not end as a whole one")
            self.assertTrue(run.stderr.strip(), "a damaged capture must be reported")
        else:
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        self.check_json(folder / "out.Summary.json")
        figures = summary_figures(folder / "out.Summary.txt")
        self.browser.get_log("browser")  # the messages of earlier pages
        self.browser.get((folder / "out.Report.html").as_uri())
        save_full_page(self.browser, SCREENSHOTS / f"{case}.png")
        self.check_figures(figures)
        charts = {chart["id"]: chart for chart in self.browser.execute_script(PAGE_CHARTS)}
        self.check_charts(charts, capture, figures, handshakes)
        self.check_self_contained()
        self.assertEqual(len(self.browser.find_elements(By.ID, "stopped")), 1 if damage else 0)
        return charts

    def summary_json(self):
        return json.loads((Path(self.folder.name) / "out.Summary.json").read_text(encoding="utf-8"))

    def check_json(self, path):
        validation = subprocess.run([sys.executable, SCHEMA_FOLDER / "validate-summary.py",
                                     SCHEMA_FOLDER / "summary.schema.json", path], capture_output=True, text=True)
        self.assertEqual(validation.returncode, 0, validation.stdout + validation.stderr)

    def check_figures(self, figures):
        self.assertTrue(figures, "the summary lists no figure")
        cells = self.browser.execute_script(FIGURE_CELLS, list(figures))
        self.assertEqual(cells, {name: [value] for name, value in figures.items()})
        self.assertEqual(self.browser.execute_script(BROKEN_EXPLANATION_LINKS), [],
                         "figures without a link to their explanation")

    def check_charts(self, charts, capture, figures, handshakes):
        if not capture.frames:
            self.assertEqual(charts, {}, "a capture without frames has nothing to chart")
            return
        grid = interval_grid([time for time, _, _ in capture.frames])
        width, count, start = grid
        # A last interval that the capture ends inside is of a part only: its point is not joined to the line.
        reached = max(time for time, _, _ in capture.frames) - (start + (count - 1) * width) + 1
        partial = count > 1 and reached < width
        self.assertTrue({"chart-load-frames", "chart-load-mbps", "chart-anomalies"} <= charts.keys(), charts.keys())
        for chart in charts.values():
            self.assertEqual((chart["width"], chart["intervals"], chart["first"]), tuple(map(str, grid)), chart["id"])
            self.assertEqual(chart["partial"], str(reached) if partial else None, chart["id"])
            for series in chart["series"]:
                self.assertEqual(len(numbers(series["values"])), count, (chart["id"], series["name"]))
                points = series["points"].split()
                self.assertEqual(len(points), count - partial, (chart["id"], series["name"]))
                self.assertTrue(all(map(POINT.fullmatch, points)), (chart["id"], series["name"], points[:3]))

        def series(chart_id, attribute="values"):
            return {line["name"]: numbers(line[attribute]) for line in charts[chart_id]["series"]}

        frames, load, load_bytes, anomalies = (series("chart-load-frames"), series("chart-load-mbps"),
                                               series("chart-load-mbps", "bytes"), series("chart-anomalies"))
        self.check_series("frames per interval", frames,
                          {"tcp": per_interval(capture, grid, lambda frame, tcp: int(tcp)),
                           "other": per_interval(capture, grid, lambda frame, tcp: int(not tcp))})
        self.check_series("bytes per interval", load_bytes,
                          {"tcp": per_interval(capture, grid, lambda frame, tcp: len(frame) * tcp),
                           "other": per_interval(capture, grid, lambda frame, tcp: len(frame) * (not tcp))})
        for kind in ("tcp", "other"):
            for rate, volume in zip(load[kind], load_bytes[kind]):
                self.assertTrue(math.isclose(rate, volume * 8 / width, rel_tol=1e-3, abs_tol=5e-4), (rate, volume))
        self.assertEqual(sum(load_bytes["tcp"]), int(figures["TotalVolumeTCPInB"]))
        self.assertEqual(sum(load_bytes["tcp"]) + sum(load_bytes["other"]), int(figures["TotalVolumeInB"]))
        self.assertEqual({name: sum(values) for name, values in anomalies.items()},
                         {"gaps": int(figures["NumberGapsInTCPFlows"]),
                          "out-of-order": int(figures["NumberOutOfOrderTCPPackets"]),
                          "duplicates": int(figures["NumberTCPDuplicates"]),
                          "retransmissions": int(figures["NumberTCPRetransmissions"])})
        bars = self.browser.find_elements(By.CSS_SELECTOR, "svg.chart#chart-handshakes rect.bar")
        self.assertEqual(sum(int(bar.get_attribute("data-count")) for bar in bars), handshakes)

    def check_series(self, what, actual, expected):
        """Compares series of values per interval by name, naming the first interval that differs."""
        self.assertEqual(sorted(actual), sorted(expected), what)
        for name, values in expected.items():
            wrong = next((index for index, value in enumerate(values) if actual[name][index] != value), None)
            if wrong is not None:
                self.fail(f"{what}, {name}: interval {wrong} holds {actual[name][wrong]}, expected {values[wrong]}")

    def check_self_contained(self):
        policy = self.browser.execute_script(
            "const meta = document.querySelector('meta[http-equiv=\"Content-Security-Policy\" i]');"
            "return meta && meta.content;")
        self.assertIn("default-src 'none'", policy or "")
        self.assertEqual(self.browser.execute_script(
            "return performance.getEntriesByType('resource').map(entry => entry.name);"), [])
        with self.assertRaises(NoAlertPresentException, msg="the page opened an alert"):
            self.browser.switch_to.alert.text
        severe = [entry["message"] for entry in self.browser.get_log("browser") if entry["level"] == "SEVERE"]
        self.assertEqual(severe, [])

    def check_sorting(self, table_id, at_least_rows):
        """Each heading's button sorts its column, numbers largest first and text from A, then the other way;
        the table fits a 1366 px wide window without scrolling."""
        self.browser.set_window_size(1366, 900)
        table = self.browser.find_element(By.CSS_SELECTOR, f"table#{table_id}.sortable")
        self.assertLessEqual(self.browser.execute_script("return arguments[0].parentElement.scrollWidth;", table),
                             self.browser.execute_script("return arguments[0].parentElement.clientWidth;", table),
                             f"{table_id} is wider than the page at 1366 px")
        self.assertGreaterEqual(len(table.find_elements(By.CSS_SELECTOR, "tbody tr")), at_least_rows, table_id)
        for index in range(len(table.find_elements(By.CSS_SELECTOR, "thead th"))):
            kind = table.find_elements(By.CSS_SELECTOR, "thead th")[index].get_attribute("data-type")
            self.assertIn(kind, ("number", "text"), f"{table_id} column {index}")
            order = ("descending", "ascending") if kind == "number" else ("ascending", "descending")
            for direction in order:
                header = table.find_elements(By.CSS_SELECTOR, "thead th")[index]
                header.find_element(By.TAG_NAME, "button").click()
                self.assertEqual(header.get_attribute("aria-sort"), direction, f"{table_id} column {index}")
                column = self.browser.execute_script(TABLE_COLUMN, table, index, kind)
                if kind == "number":
                    column = [float(value) if value != '' else -math.inf for value in column]
                self.assertEqual(column, sorted(column, reverse=direction == "descending"),
                                 f"{table_id} column {index} {direction}")

    def test_anomalies_at_known_times(self):
        capture, events, handshakes = anomalous_capture()
        charts = self.report("anomalies", capture, handshakes)
        width, _, start = interval_grid([time for time, _, _ in capture.frames])
        for line in charts["chart-anomalies"]["series"]:
            nonzero = [index for index, value in enumerate(numbers(line["values"])) if value]
            self.assertEqual(nonzero, [(events[line["name"]] - start) // width], line["name"])
        self.check_sorting("top-bytes", at_least_rows=4)
        self.check_sorting("top-anomalies", at_least_rows=1)
        self.check_sorting("top-resets", at_least_rows=2)
        states = {bar.get_attribute("data-state"): int(bar.get_attribute("data-count"))
                  for bar in self.browser.find_elements(By.CSS_SELECTOR, "svg.chart#chart-states rect.bar")}
        self.assertEqual(states, {"S1": 4, "RSTO": 1, "REJ": 1})
        shown = [label.text for label in self.browser.find_elements(By.CSS_SELECTOR, "svg.chart#chart-states text.count")]
        self.assertEqual(sorted(shown), sorted(str(count) for count in states.values()), "each bar shows its count")
        # The long connection's flow opens its graph, which marks its one retransmission, its one segment out of
        # order and the one hole never filled, in the sending direction's panel.
        link = self.browser.find_element(By.XPATH, "//table[@id='top-anomalies']//a[contains(., ':40001 ')]")
        graph = self.browser.find_element(By.ID, link.get_attribute("hash")[1:])
        self.assertFalse(graph.get_attribute("open"))
        link.click()
        self.assertTrue(graph.get_attribute("open"))
        marks = {path.get_attribute("data-mark"): int(path.get_attribute("data-count"))
                 for path in graph.find_elements(By.CSS_SELECTOR, "svg path.stroke")}
        self.assertEqual((marks["retransmission"], marks["out-of-order"]), (1, 1))
        self.assertEqual(len(graph.find_elements(By.CSS_SELECTOR, "svg rect.hole")), 1)

    def test_one_frame(self):
        self.report("one-frame", small_capture(at(0.000188)))

    def test_frames_all_at_one_time(self):
        capture = small_capture(*[at(7.25)] * 3)
        Connection(capture, 40002).handshake(at(7.25), 0)
        self.report("one-time", capture, handshakes=1)

    def test_time_going_backwards(self):
        self.report("backwards", small_capture(at(10), at(12), at(9), at(13)))

    def test_hostile_file_name(self):
        name = b"a<img src=x onerror=alert(1)>&\"'\xff.pcap"
        self.report("file-name", small_capture(at(1), at(2)), name=name)
        shown = self.browser.find_element(By.CSS_SELECTOR, "table#inputs tr.input td.input-name").text
        self.assertEqual(shown, name.decode("utf-8", "replace"))
        self.assertEqual(self.browser.find_elements(By.TAG_NAME, "img"), [])
        self.assertEqual(self.summary_json()["inputs"][0]["name"], name.decode("utf-8", "replace"))

    def test_empty_capture(self):
        self.report("empty", Capture())

    def test_ten_years(self):
        ten_years = 3653 * 86400 * SECOND
        self.report("ten-years", small_capture(at(0), at(100), START + ten_years // 2, START + ten_years))

    def test_damaged_ending(self):
        cut_header = struct.pack("<II", 1_704_067_300, 0)
        overlong_record = struct.pack("<IIII", 1_704_067_300, 0, 200, 200) + bytes(20)
        for damage in (cut_header, overlong_record):
            with self.subTest(damage=damage.hex()):
                capture = small_capture(*[at(second) for second in range(1, 8)])
                self.report(f"damaged-{len(damage)}", capture, damage=damage)
                stopped = self.browser.find_element(By.ID, "stopped").text
                self.assertRegex(stopped, rf"\b{len(capture.frames)}\b")
                self.assertEqual(self.summary_json()["reading"]["stoppedAfterFrame"], len(capture.frames))


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__.strip())
    WIRETALLY, SCREENSHOTS = sys.argv[1], Path(sys.argv[2])
    unittest.main(argv=sys.argv[:1] + sys.argv[3:])
