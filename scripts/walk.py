#!/usr/bin/python3
"""A walk through the real window, as an engineer uses it, on an X display (scripts/walk.sh starts Xvfb).

The program writes where its widgets are (TOV_WIDGET_MAP, src/qt/WidgetMap); the walk finds each widget by its
object name there, moves the pointer to its middle and clicks with xdotool, types with xdotool, and reads the
values back from the map. Pages are checked from the program's own exports of the files the walk saved.
Screenshots of the key steps go into the output folder. Every check is printed; the status is 0 only when
all passed.

  walk.py --program build/tov --display :N --size 1366x768 --out DIR [--samples LOGGER_SAMPLES] [--only JOB]
"""
import argparse
import json
import math
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import traceback


class WalkError(Exception):
    """A step that could not be taken (a widget that never came): the job stops there."""


def norm(text):
    return re.sub(r"\s+", " ", text or "").strip()


def number(text):
    """The first number in a text (a k as 2.01E-006 too), or None."""
    m = re.search(r"[-+]?\d+(?:\.\d*)?(?:[eE][-+]?\d+)?", text or "")
    return float(m.group(0)) if m else None


class Walk:
    def __init__(self, args):
        self.args = args
        self.program = os.path.abspath(args.program)
        self.display = args.display
        self.out = os.path.abspath(args.out)
        self.width, self.height = (int(v) for v in args.size.split("x"))
        self.work = os.path.join(self.out, "work")
        self.shots = os.path.join(self.out, "shots")
        for folder in (self.work, self.shots):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)
        self.home = os.path.join(self.work, "home")
        self.map_path = os.path.join(self.work, "widgets.jsonl")
        self.process = None
        self.shot_count = 0
        self.starts = 0
        self.passed = 0
        self.failed = []
        self.job = ""
        self._cache = (None, None)

    # ---------------------------------------------------------------- checks

    def check(self, name, ok, detail=""):
        label = f"[{self.args.size}] {self.job}: {name}"
        if ok:
            self.passed += 1
            print(f"  ok    {name}", flush=True)
        else:
            self.failed.append(f"{label}{' -- ' + detail if detail else ''}")
            print(f"  FAIL  {name}{' -- ' + detail if detail else ''}", flush=True)
        return ok

    # ------------------------------------------------------------ the program

    def env(self):
        env = dict(os.environ)
        env.pop("QT_QPA_PLATFORM", None)
        env.update(DISPLAY=self.display, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                   XDG_DATA_HOME=os.path.join(self.home, ".local/share"),
                   XDG_CACHE_HOME=os.path.join(self.home, ".cache"),
                   XDG_RUNTIME_DIR=os.path.join(self.home, "runtime"), TOV_ROOT=os.path.join(self.work, "drives"),
                   TOV_WIDGET_MAP=self.map_path, LANG="ja_JP.UTF-8")
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        return env

    def start(self, *files):
        """The program on the files, with a home of its own for the job (its settings and recovery files)."""
        self.stop()
        self.starts += 1  # a home for each start: a killed program's recovery files are not offered back
        self.home = os.path.join(self.work, f"home-{self.job}-{self.starts}")
        os.makedirs(self.home, exist_ok=True)
        if os.path.exists(self.map_path):
            os.remove(self.map_path)
        self._cache = (None, None)
        log = open(os.path.join(self.work, "program.log"), "a")
        self.process = subprocess.Popen([self.program, *files], env=self.env(), stdout=log, stderr=log)
        self.need("mainFrame", timeout=30)
        self.wait(lambda: self.head().get("focusWindow") == "mainFrame", "the window takes the keyboard")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGKILL)  # each job has a home of its own: nothing is offered back
            self.process.wait()
        self.process = None

    def export(self, *args):
        """The program's command-line export (no window), its output."""
        env = self.env()
        env["QT_QPA_PLATFORM"] = "offscreen"
        run = subprocess.run([self.program, *args], env=env, capture_output=True, text=True, timeout=120)
        if run.returncode != 0:
            raise WalkError(f"tov {' '.join(args)}: status {run.returncode}: {run.stderr.strip()}")
        return run.stdout

    def pdf_text(self, tvd, name):
        pdf = os.path.join(self.work, name + ".pdf")
        self.export("--export-pdf", pdf, tvd)
        pages = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True,
                               check=True).stdout.split("\f")
        info = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True, check=True).stdout
        title = next((line.split(":", 1)[1].strip() for line in info.splitlines() if line.startswith("Title:")), "")
        return pages, title

    # -------------------------------------------------------------- the map

    def state(self):
        """The map as last written: (head, [widgets])."""
        try:
            stat = os.stat(self.map_path)
        except FileNotFoundError:
            return {}, []
        key = (stat.st_ino, stat.st_mtime_ns, stat.st_size)
        if self._cache[0] == key:
            return self._cache[1]
        try:
            with open(self.map_path, encoding="utf-8") as f:
                lines = [json.loads(line) for line in f if line.strip()]
        except (OSError, ValueError):
            return {}, []
        parsed = (lines[0], lines[1:]) if lines else ({}, [])
        self._cache = (key, parsed)
        return parsed

    def head(self):
        return self.state()[0]

    def widgets(self):
        return self.state()[1]

    def find(self, name, window=None, cls=None):
        """The widget of that name: in `window` when given, else in the window with the keyboard's modal
        window first."""
        head, items = self.state()
        found = [w for w in items if w.get("name") == name and (window is None or w.get("window") == window)
                 and (cls is None or w.get("class") == cls)]
        if not found:
            return None
        modal = head.get("modal") or head.get("active")
        for w in found:
            if w.get("window") == modal:
                return w
        return found[-1]

    def windows(self):
        return [w for w in self.widgets() if w.get("window") == w.get("name") or "title" in w]

    def wait(self, predicate, what, timeout=10.0):
        end = time.monotonic() + timeout
        while True:
            if self.process and self.process.poll() is not None:
                raise WalkError(f"the program ended (status {self.process.returncode}) waiting for {what}")
            value = predicate()
            if value:
                return value
            if time.monotonic() > end:
                raise WalkError(f"timed out waiting for {what}")
            time.sleep(0.03)

    def need(self, name, window=None, timeout=10.0, enabled=True):
        def ready():
            w = self.find(name, window)
            return w if w and (not enabled or w.get("enabled", True)) and w["w"] > 0 else None
        return self.wait(ready, f"{name}{' in ' + window if window else ''}", timeout)

    def settle(self, window, timeout=10.0):
        """The window shown, with the keyboard, where the window manager put it: its place and size the same
        over a few of the map's writes (a dialog grows to its texts after it is shown)."""
        last, since = None, time.monotonic()
        end = time.monotonic() + timeout
        while True:
            w = self.find(window, window)
            place = (w["x"], w["y"], w["w"], w["h"]) if w else None
            if place != last:
                last, since = place, time.monotonic()
            elif place and self.head().get("active") == window and time.monotonic() - since >= 0.3:
                return w
            if time.monotonic() > end:
                raise WalkError(f"timed out waiting for {window} to settle")
            time.sleep(0.05)

    def text(self, name, window=None):
        return self.need(name, window, enabled=False).get("text", "")

    def gone(self, window):
        self.wait(lambda: not any(w.get("window") == window for w in self.widgets()), f"{window} to close")

    def modal(self):
        return self.head().get("modal", "")

    # ------------------------------------------------------- mouse and keys

    def xdo(self, *args, text=None):
        subprocess.run(["xdotool", *args], env=dict(os.environ, DISPLAY=self.display), check=True, input=text,
                       text=True)

    def click(self, name, window=None, button=1, at=None):
        w = self.need(name, window)
        below = w["y"] + w["h"] - self.height
        if below > 0 and not at:
            self.settle(w["window"])
            w = self.need(name, window)
            below = w["y"] + w["h"] - self.height
        if below > 0 and not at:
            # Off the screen (the fit check has said so): the window dragged up, as an engineer would.
            top = self.need(w["window"], w["window"])
            self.xdo("getactivewindow", "windowmove", str(top["x"]), str(max(0, top["y"] - below - 30)))
            self.wait(lambda: self.find(name, window)["y"] < w["y"], f"{w['window']} to move up")
            w = self.need(name, window)
        x, y = at if at else (w["x"] + w["w"] // 2, w["y"] + w["h"] // 2)
        if not at and w.get("class") in ("QRadioButton", "QCheckBox"):
            x = w["x"] + min(w["w"] // 2, 8)  # the mark: the widget may be wider than its text
        self.xdo("mousemove", "--sync", str(x), str(y))
        self.xdo("click", str(button))
        return w

    def key(self, *keys):
        self.xdo("key", "--delay", "40", *keys)

    def type(self, text):
        self.xdo("type", "--delay", "25", "--file", "-", text=text)  # a text may begin with "-"

    def fill(self, name, value, window=None):
        """Types a value over a field's text (the field clicked, its text selected) and waits for it there."""
        self.click(name, window)
        self.wait(lambda: (self.find(name, window) or {}).get("focus"), f"{name} to take the keyboard")
        self.key("ctrl+a")
        if value:
            self.type(value)
        else:
            self.key("BackSpace")
        self.wait(lambda: (self.find(name, window) or {}).get("text") == value, f"{name} to read {value!r}")

    def choose(self, name, item, window=None):
        """Picks an item of a drop-down list with the keys, as its text or its number."""
        w = self.need(name, window)
        index = item if isinstance(item, int) else w["items"].index(item)
        self.click(name, window)
        popup = lambda: any(v.get("class") == "QComboBoxPrivateContainer" for v in self.widgets())
        self.wait(popup, f"the list of {name}")
        self.key("Escape")
        self.wait(lambda: not popup(), f"the list of {name} to close")
        current = self.find(name, window)["current"]
        steps = index - current
        if steps:
            self.key(*(["Down"] * steps if steps > 0 else ["Up"] * -steps))
        self.wait(lambda: self.find(name, window)["current"] == index, f"{name} to show item {index}")

    def menu(self, menu, action):
        self.click(menu, "mainFrame")
        self.need(action, menu)
        self.click(action, menu)

    def command(self, menu, action, window):
        """A menu command that opens a window: waits for it."""
        self.menu(menu, action)
        self.need(window, window, timeout=20)
        return self.settle(window)

    def box(self, answer="Return"):
        """A message box: waits for it, takes its text, answers it with a key."""
        box = self.wait(lambda: next((w for w in self.widgets() if w.get("class") == "QMessageBox"), None),
                        "a message box")
        label = self.wait(lambda: self.find("qt_msgbox_label", box["window"]), "the message's text")
        self.shot("message")
        self.key(answer)
        self.wait(lambda: not any(w.get("class") == "QMessageBox" for w in self.widgets()), "the box to close")
        return label.get("text", "")

    def no_box(self):
        return not any(w.get("class") == "QMessageBox" for w in self.widgets())

    def file_dialog(self, path):
        """Qt's file dialog: the full name typed into its name field, Enter."""
        self.wait(lambda: any(w.get("class") == "QFileDialog" for w in self.widgets()), "the file dialog")
        self.fill("fileNameEdit", path)
        self.key("Return")
        self.wait(lambda: not any(w.get("class") == "QFileDialog" for w in self.widgets()), "the file dialog to close")

    def shot(self, label):
        self.shot_count += 1
        name = f"{self.shot_count:02d}-{self.job}-{label}.png"
        time.sleep(0.15)  # the last paint reaches the screen
        subprocess.run(["import", "-display", self.display, "-window", "root", os.path.join(self.shots, name)],
                       check=True)
        return os.path.join(self.shots, name)

    def crop(self, widget, name):
        """The widget's pixels on the screen, as a file."""
        path = os.path.join(self.work, name + ".png")
        subprocess.run(["import", "-display", self.display, "-window", "root", "-crop",
                        f"{widget['w']}x{widget['h']}+{widget['x']}+{widget['y']}", "+repage", path], check=True)
        return path

    def pixels_differ(self, a, b):
        run = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], capture_output=True, text=True)
        return number(run.stderr) or 0

    # ------------------------------------------------------- common checks

    def check_fits_screen(self, window):
        """The window within the screen, the title bar the window manager puts above it too (openbox's is
        about 20 pixels high)."""
        w = self.settle(window)
        ok = w["x"] >= 0 and w["y"] >= self.TITLE_BAR and w["x"] + w["w"] <= self.width and w["y"] + w["h"] <= self.height
        self.check(f"{window} fits the {self.args.size} screen", ok, f"at {w['x']},{w['y']} size {w['w']}x{w['h']}")

    TITLE_BAR = 15

    HELP_SECTIONS = {
        "mainFrame": "操作の手引き",
        "headingsDialog": "■ 見出し",
        "unsteadyReadingsDialog": "■ 非定常法 測定データ",
        "steadyReadingsDialog": "■ 定常法（",
        "importDialog": "■ 測定データの取り込み",
        "unsteadyAnalysisDialog": "■ 解析/目盛り（",
        "steadyAnalysisDialog": "■ 定常法（",
        "pageFormatDialog": "■ ページ書式",
        "styleDigitsDialog": "■ 様式/桁数",
        "linesMarginsDialog": "■ 線種/マージン/社名",
        "fontsDialog": "■ フォント",
        "keyBehaviourDialog": "■ キーの動作",
        "testerRegisterDialog": "■ マスタファイル 試験者",
        "setupDialog": "■ セットアップ",
        "batchDialog": "■ 一括処理",
        "aboutDialog": "■ このプログラムについて",
        "printPreviewDialog": "■ 印刷",
    }

    def check_help(self, window):
        """F1 in the window opens Help at the window's own section."""
        self.key("F1")
        self.check_help_shown(window)

    def check_help_shown(self, window):
        self.need("helpDialog", "helpDialog")
        shown = self.wait(lambda: (self.find("helpText", "helpDialog") or {}).get("top"), "Help's text")
        self.shot(f"help-{window}")
        wanted = self.HELP_SECTIONS[window]
        self.check(f"F1 in {window} opens Help at {wanted}", wanted in norm(shown), f"shows {shown!r}")
        self.key("Escape")
        self.gone("helpDialog")

    def close_with(self, window, button="okButton"):
        self.click(button, window)
        self.gone(window)


# ------------------------------------------------------------------ page reading


def page_value(page, label):
    """The number after `label=` on a page's text (t1= 120(s), s1=2.401(m))."""
    m = re.search(re.escape(label) + r"\s*=\s*([-+]?\d+(?:\.\d+)?)", page)
    return float(m.group(1)) if m else None


def page_k(page):
    """k as the page writes it: 2.01×10 above, -6 on the line above or below."""
    m = re.search(r"k?\s*=\s*(\d+(?:\.\d+)?)×10\s*-?(\d*)", page)
    if not m:
        return None
    mantissa = float(m.group(1))
    exponent = m.group(2)
    if not exponent:
        # The exponent raised: on the line above the mantissa's.
        lines = page.splitlines()
        for i, line in enumerate(lines):
            if m.group(0).strip() in line or (m.group(1) + "×10") in line:
                for near in (lines[i - 1] if i else "", lines[i + 1] if i + 1 < len(lines) else ""):
                    e = re.search(r"(-\d+)", near)
                    if e:
                        return mantissa * 10 ** int(e.group(1))
        return None
    return mantissa * 10 ** -int(exponent)


def table_rows(page):
    """The readings of a data-table page: (t, h', h, s) of an unsteady test, (t, Q, h', h, s) of a steady one."""
    rows = []
    for line in page.splitlines():
        cells = line.split()
        if len(cells) < 4 or not re.fullmatch(r"\d+\.\d\d", cells[0]) and not re.fullmatch(r"-?\d+(\.\d+)?", cells[0]):
            continue
        if re.fullmatch(r"\d+\.\d\d", cells[0]) and len(cells) >= 5:
            cells = cells[1:]  # the clock time
        values = []
        for cell in cells:
            m = re.fullmatch(r"(\d+\.\d+)×10(-\d+)", cell)
            if m:
                values.append(float(m.group(1)) * 10 ** int(m.group(2)))
            else:
                try:
                    values.append(float(cell))
                except ValueError:
                    values = []
                    break
        if len(values) >= 4:
            rows.append(values)
    return rows


def unsteady_k(formula, length, bore, de, a):
    """The gradient method's k, the formulas as the headings draw them (a: log10 s per second)."""
    ratio = length / bore
    factor = {0: 2.3 * math.log10(2 * ratio), 1: math.log(ratio + math.sqrt(1 + ratio * ratio)),
              2: 2.3 * math.log10(4 * ratio), 3: math.log(2 * ratio + math.sqrt(1 + 4 * ratio * ratio))}[formula]
    return de * de / (8 * length) * factor * 2.3 * a


def steady_k(length, bore, flow, head):
    return 2.3 * flow * math.log10(2 * length / bore) / (2 * math.pi * head * length)


def near(value, wanted, relative):
    return value is not None and wanted and abs(value / wanted - 1) <= relative


# ------------------------------------------------------------------------ jobs

# A recovery typed in from the field book: h' from the pipe top (0.5 m above ground) every 5 s at first, the
# water rising back to a rest level of GL-1.000 m from 2 m below it (log10 s falls 0.0015 a second), while the
# engineer wrote ho as GL-0.950 m. L 1 m, D 0.1 m, de 0.05 m, the basic formula.
TYPED_TIMES = [0, 5, 10, 15, 20, 30, 40, 50, 60, 75, 90, 105, 120, 150, 180, 210, 240, 300, 360, 420, 480, 540,
               600, 720, 840, 960, 1080, 1200]
TYPED_READINGS = [(t, f"{1.5 + 2.0 * 10 ** (-0.0015 * t):.3f}") for t in TYPED_TIMES]
TYPED_K = unsteady_k(1, 1.0, 0.1, 0.05, 0.0015)


def job_typed(walk):
    """A new unsteady test typed in: headings, readings, 推奨区間, saved; its page; then ho corrected in 見出し."""
    walk.start()
    walk.command("menu3", "action32771", "headingsDialog")
    walk.check_fits_screen("headingsDialog")
    walk.check("a new test's graph title is blank", norm(walk.text("graphTitle")).strip("\u3000") == "")
    for name, value in [("surveyName", "WALK-1"), ("testIdNumber", "U-7"), ("sectionLength", "1"),
                        ("boreDiameter", "0.1"), ("equivalentDiameter", "0.05"), ("pipeTopHeight", "0.5"),
                        ("equilibriumLevel", "-0.95")]:
        walk.fill(name, value)
    walk.click("formula1")
    walk.wait(lambda: walk.find("formula1")["checked"], "the basic formula chosen")
    walk.shot("headings")
    walk.check_help("headingsDialog")
    walk.close_with("headingsDialog")

    dialog = "unsteadyReadingsDialog"
    walk.command("menu3", "action32772", dialog)
    walk.check_fits_screen(dialog)
    walk.click("entryTime", dialog)
    for t, level in TYPED_READINGS:
        # As from the field book: t, Enter, h', Enter, Enter past the empty clock time adds the reading.
        walk.wait(lambda: walk.head().get("focus") == "entryTime", "the time field for the next reading")
        walk.key("ctrl+a")
        walk.type(str(t))
        walk.key("Return")
        walk.wait(lambda: walk.head().get("focus") == "entryPipeLevel", "the level field")
        walk.type(level)
        walk.key("Return", "Return")
        rows = len(TYPED_READINGS) if t == TYPED_TIMES[-1] else TYPED_TIMES.index(t) + 1
        walk.wait(lambda: len(walk.find("grid", dialog).get("rows", [])) >= rows, f"row {rows} in the grid")
    grid = walk.find("grid", dialog)["rows"]
    typed = [(number(cells[0]), cells[1]) for _, cells in grid]
    walk.check("the grid holds the readings as typed", typed == [(float(t), h) for t, h in TYPED_READINGS],
               f"{typed[:3]} ... ({len(typed)} rows)")

    def axes_fit(when):
        axes = {n: number(walk.text(n, dialog)) for n in ("previewTimeFrom", "previewTimeTo", "previewLevelBottom",
                                                            "previewLevelTop")}
        low, high = sorted((axes["previewLevelBottom"] or 0, axes["previewLevelTop"] or 0))
        levels = [float(h) for _, h in TYPED_READINGS]
        levels += [0.5 - h for h in levels]  # h drawn beside h' (the pipe top 0.5 m above ground)
        ok = (axes["previewTimeFrom"] == 0 and TYPED_TIMES[-1] < (axes["previewTimeTo"] or 0) <= 2 * TYPED_TIMES[-1]
              and low <= min(levels) and high >= max(levels) and high - low <= 2 * (max(levels) - min(levels)))
        walk.check(f"the preview's axes fit the readings {when}", ok, str(axes))

    axes_fit("as they are typed")
    walk.click("drawButton", dialog)
    axes_fit("after グラフ描画")
    walk.shot("readings")
    walk.check_help(dialog)
    walk.close_with(dialog)

    dialog = "unsteadyAnalysisDialog"
    walk.command("menu3", "action32773", dialog)
    walk.check_fits_screen(dialog)
    walk.click("suggestButton", dialog)
    walk.wait(lambda: walk.text("permeabilityText", dialog), "k after 推奨区間")
    rest = walk.find("recordRestCheck", dialog)
    walk.check("推奨区間 takes the record's own ho", rest and rest.get("checked"), str(rest))
    walk.check("the dialog names the ho the points are of", "GL-1.000m" in walk.text("restText", dialog),
               walk.text("restText", dialog))
    k = number(walk.text("permeabilityText", dialog))
    walk.check("推奨区間's k is the formation's", near(k, TYPED_K, 0.02), f"k {k}, the formation's {TYPED_K:.3e}")
    check_cross_checks_unbroken(walk, dialog)
    check_preview_labels(walk, dialog)
    points = {n: walk.text(n, dialog) for n in ("pointT1", "pointT2", "pointS1", "pointS2", "permeabilityText")}
    walk.shot("analysis")
    walk.check_help(dialog)
    walk.close_with(dialog)

    typed = os.path.join(walk.work, "typed.tvd")
    save_as(walk, typed)
    pages, title = walk.pdf_text(typed, "typed")
    walk.check("the PDF's title is the survey and number (the graph title is blank)",
               title.strip(" \u3000") and "WALK-1" in title, repr(title))
    walk.check("the page names the record's own ho beside the written one",
               re.search(r"-0\.950*m\(記入\)\s*-1\.000m\(記録から\)", pages[0]) is not None, heading_lines(pages[0]))
    check_page_points(walk, pages, points, written_ho=-0.95, pipe_top=0.5, formula=1, sizes=(1.0, 0.1, 0.05))

    # The written ho was wrong: the points are taken with it (the switch off), then ho is corrected in 見出し.
    walk.command("menu3", "action32773", dialog)
    walk.click("recordRestCheck", dialog)
    walk.wait(lambda: not walk.find("recordRestCheck", dialog)["checked"], "the written ho's points")
    before = number(walk.text("permeabilityText", dialog))
    walk.close_with(dialog)
    walk.command("menu3", "action32771", "headingsDialog")
    walk.fill("equilibriumLevel", "-1.000")
    walk.click("okButton", "headingsDialog")
    said = walk.box()
    ks = re.findall(r"\d\.\d+E-\d+", said)
    walk.check("a change of ho takes the points again and says k before and after", len(ks) >= 2, repr(said))
    walk.gone("headingsDialog")
    walk.command("menu3", "action32773", dialog)
    points = {n: walk.text(n, dialog) for n in ("pointT1", "pointT2", "pointS1", "pointS2", "permeabilityText")}
    after = number(points["permeabilityText"])
    walk.check("k after ho is corrected is the formation's", near(after, TYPED_K, 0.02),
               f"k {before} before, {after} after; the formation's {TYPED_K:.3e}")
    walk.close_with(dialog, "cancelButton")
    walk.key("ctrl+s")
    walk.wait(lambda: "*" not in walk.find("mainFrame", "mainFrame")["title"], "the test saved")
    pages, _ = walk.pdf_text(typed, "typed-ho")
    check_page_points(walk, pages, points, written_ho=-1.0, pipe_top=0.5, formula=1, sizes=(1.0, 0.1, 0.05))
    walk.key("F1")  # in the main window
    walk.check_help_shown("mainFrame")


def tvd_rows(path):
    """A test file's readings: the lines after $$A, as numbers (t, h', clock, h, s[, Q])."""
    with open(path, encoding="cp932") as f:
        lines = f.read().splitlines()
    rows = []
    for line in lines[lines.index("$$A") + 1:] if "$$A" in lines else []:
        cells = line.split(",")
        try:
            rows.append([float(c) if c else None for c in cells])
        except ValueError:
            break
    return rows


def job_steady(walk):
    """samples/steady.tvd: Home and End; the point typed as t 1800 takes that row's Q and s, with the k the
    formula gives from them; 推奨点 in one click; the page's k the dialog's."""
    sample = os.path.join(walk.args.root, "samples", "steady.tvd")
    copy = os.path.join(walk.work, "steady.tvd")
    shutil.copy(sample, copy)
    rows = tvd_rows(sample)  # t, h', clock, h, s, Q
    walk.start(copy)
    dialog = "steadyReadingsDialog"
    walk.command("menu3", "action32786", dialog)
    walk.check_fits_screen(dialog)
    grid = walk.find("grid", dialog)["rows"]
    walk.check("the steady readings dialog holds the file's rows", len(grid) == len(rows), f"{len(grid)} rows")
    walk.shot("steady-readings")
    walk.check_help(dialog)
    walk.close_with(dialog, "cancelButton")

    dialog = "steadyAnalysisDialog"
    walk.command("menu3", "action32773", dialog)
    walk.check_fits_screen(dialog)
    for key, t in (("End", rows[-1][0]), ("Home", rows[0][0])):
        walk.click("drawButton", dialog)  # a button with the keyboard: the keys go to the dialog, not to a field
        walk.key(key)
        try:
            walk.wait(lambda: number(walk.text("pointT1", dialog)) == t, f"{key} to take the point to t {t:g}", 3)
        except WalkError:
            pass
        walk.check(f"{key} takes the point to t {t:g}", number(walk.text("pointT1", dialog)) == t,
                   walk.text("pointT1", dialog))

    def point():
        return {n: number(walk.text(n, dialog)) for n in ("pointT1", "pointT2", "pointS1", "pointS2",
                                                           "permeabilityText")}

    # From the first row (Q at its highest, s 0): t typed, Tab, 計算更新 must take all of the new row.
    walk.fill("pointT1", "1800", dialog)
    walk.key("Tab")
    walk.click("recomputeButton", dialog)
    try:
        walk.wait(lambda: point()["pointS2"], "the point at t 1800", 3)
    except WalkError:
        pass  # said by the check below
    time.sleep(0.3)
    shown = point()
    row = min(rows, key=lambda r: abs(r[0] - 1800))
    q, s = row[5], row[4]
    length, bore = 1.0, 0.066  # the sample's L and D
    walk.check("t 1800 typed takes that row's h, Q and s", shown["pointT1"] == row[0]
               and shown["pointT2"] == row[3] and near(shown["pointS1"], q, 0.001) and shown["pointS2"] == s,
               f"point {shown}, row {row}")
    walk.check("k is the formula's from that row's Q and s", near(shown["permeabilityText"],
                                                                  steady_k(length, bore, q, s), 0.006),
               f"k {shown['permeabilityText']}, the row's {steady_k(length, bore, q, s):.3e}")
    walk.shot("steady-point")
    walk.check_help(dialog)
    walk.key("Home")
    walk.click("suggestButton", dialog)
    walk.wait(lambda: point()["pointT1"] != rows[0][0], "推奨点")
    time.sleep(0.3)
    suggested = point()
    median = sorted(r[5] for r in rows[-3:])[1]
    middle = next((r for r in rows[-3:] if r[0] == suggested["pointT1"]), None)
    walk.check("推奨点 sets the point at the middle Q of the last three rows, with its k, in one click",
               middle is not None and middle[5] == median
               and near(suggested["permeabilityText"], steady_k(length, bore, middle[5], middle[4]), 0.006),
               f"point {suggested}, the last rows {rows[-3:]}")
    walk.close_with(dialog)
    saved = os.path.join(walk.work, "steady-saved.tvd")
    save_as(walk, saved)
    pages, _ = walk.pdf_text(saved, "steady")
    k = page_k(pages[0])
    walk.check("the steady page's k is the dialog's", near(k, suggested["permeabilityText"], 0.006),
               f"page {k}, dialog {suggested['permeabilityText']}")


def truth(path):
    values = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if "=" in line:
                name, value = line.split("=", 1)
                values[name.strip()] = value.split()[0] if value.split() else ""
    return values


def import_file(walk, path, steps, wanted_k):
    """A logger's file into the test in the window: the import dialog filled by `steps` (its widgets' names
    and values: a text typed, a list item chosen, a box clicked), OK; the dialog must keep its size and its OK
    its place while it is filled, and say before OK whether k is written. Returns the outcome it said."""
    walk.menu("menu3", "action32806")
    walk.file_dialog(path)
    dialog = "importDialog"
    walk.need(dialog, dialog, timeout=30)
    walk.check_fits_screen(dialog)
    before = walk.settle(dialog)
    ok_before = walk.need("okButton", dialog)
    for name, value in steps:
        if name == "importFormula":  # the record's rest level, before anything else is typed
            rest = number(walk.text("importRestLevel", dialog))
            walk.check(f"{os.path.basename(path)}: the rest level is the record's when it has one", rest is None if not wanted_k else
                       rest is not None and abs(rest + 2.0) < 0.01, f"ho {rest}")
        w = walk.need(name, dialog)
        if "items" in w:
            walk.choose(name, value, dialog)
        elif w.get("class") in ("QRadioButton", "QCheckBox"):
            walk.click(name, dialog)
        else:
            walk.fill(name, value, dialog)
            walk.key("Tab")
    time.sleep(0.3)
    after = walk.settle(dialog)
    ok_after = walk.need("okButton", dialog)
    walk.check(f"{os.path.basename(path)}: the import dialog keeps its size and OK its place while filled",
               (before["w"], before["h"], ok_before["x"], ok_before["y"]) ==
               (after["w"], after["h"], ok_after["x"], ok_after["y"]),
               f"{before['w']}x{before['h']} OK at {ok_before['x']},{ok_before['y']} -> "
               f"{after['w']}x{after['h']} OK at {ok_after['x']},{ok_after['y']}")
    outcome = walk.text("importOutcome", dialog)
    walk.check(f"{os.path.basename(path)}: the import dialog says whether k is written"
               + (" (it is)" if wanted_k else " and why not"),
               ("k は書きません" in outcome) != bool(wanted_k) and (wanted_k or "がありません" in outcome),
               outcome)
    walk.shot("import-" + os.path.basename(path).split(".")[0])
    walk.click("okButton", dialog)
    walk.gone(dialog)
    return outcome


# A constant-head test typed from the field book: the water held at the pipe top (at the ground), 2 m above
# the rest level, the flow settling (L/min read every 5 minutes, typed as m3/s); L 1 m, D 0.066 m; its
# formation's k is 3.0E-006 (the same test as logger-samples/steady-flow-lpm.csv).
STEADY_TYPED = [(0, 1.0601), (300, 0.8104), (600, 0.7191), (900, 0.6829), (1200, 0.6692), (1500, 0.6672),
                (1800, 0.6647)]


def job_steady_typed(walk):
    """A new steady test typed in: headings with the steady formula, readings with Q and its exponent, 推奨点;
    k the formation's, the page's k the dialog's."""
    walk.start()
    walk.command("menu3", "action32771", "headingsDialog")
    walk.click("formula4")
    walk.wait(lambda: walk.find("formula4")["checked"], "the steady formula chosen")
    for name, value in [("surveyName", "WALK-Q"), ("sectionLength", "1"), ("boreDiameter", "0.066"),
                        ("pipeTopHeight", "0"), ("equilibriumLevel", "-2.0")]:
        walk.fill(name, value)
    walk.close_with("headingsDialog")
    dialog = "steadyReadingsDialog"
    walk.command("menu3", "action32786", dialog)
    for n, (t, lpm) in enumerate(STEADY_TYPED, 1):
        walk.fill("entryTime", str(t), dialog)
        walk.fill("entryPipeLevel", "0.000", dialog)
        walk.fill("entryFlow", f"{lpm / 60000 * 1e5:.3f}", dialog)
        if walk.find("entryExponent", dialog)["text"] != "E-5":
            walk.choose("entryExponent", "E-5", dialog)
        walk.click("addButton", dialog)
        walk.wait(lambda: len(walk.find("grid", dialog).get("rows", [])) >= n, f"row {n} in the grid")
    rows = walk.find("grid", dialog)["rows"]
    walk.check("the grid holds the steady readings as typed", [number(c[0]) for _, c in rows] ==
               [t for t, _ in STEADY_TYPED], str(rows[:2]))
    walk.shot("steady-typed-readings")
    walk.close_with(dialog)
    dialog = "steadyAnalysisDialog"
    walk.command("menu3", "action32773", dialog)
    walk.click("suggestButton", dialog)
    walk.wait(lambda: walk.text("permeabilityText", dialog), "k after 推奨点")
    time.sleep(0.3)
    k = number(walk.text("permeabilityText", dialog))
    walk.check("推奨点's k of the typed steady test is the formation's", near(k, 3.0e-6, 0.03), f"k {k}")
    walk.shot("steady-typed-analysis")
    walk.close_with(dialog)
    saved = os.path.join(walk.work, "steady-typed.tvd")
    save_as(walk, saved)
    pages, _ = walk.pdf_text(saved, "steady-typed")
    walk.check("the typed steady test's page has the dialog's k", near(page_k(pages[0]), k, 0.006),
               f"page {page_k(pages[0])}, dialog {k}")


def job_steady_import(walk):
    """A steady test from a logger's file into a new test: the import dialog asks the method (定常法 from the
    flow column), ho, L and D; k, the point and the scales are set; 自動目盛り keeps what it shows."""
    csv = os.path.join(walk.args.samples, "steady-flow-lpm.csv")
    known = truth(os.path.join(walk.args.samples, "steady-flow-lpm-TRUTH.txt"))
    walk.start()
    walk.menu("menu3", "action32806")
    walk.file_dialog(csv)
    dialog = "importDialog"
    walk.need(dialog, dialog, timeout=30)
    walk.settle(dialog)
    walk.check("a file with a flow column is read as a steady test",
               walk.find("importFormula", dialog)["text"].startswith("定常法")
               and "流量" in walk.find("importFlowColumn", dialog)["text"],
               f"{walk.find('importFormula', dialog)['text']}, {walk.find('importFlowColumn', dialog)['text']}")
    walk.check_help(dialog)
    walk.close_with(dialog, "cancelButton")
    static = -float(known["static_depth"])  # the pipe top at the ground: ho GL-2.000 m
    import_file(walk, csv, [("importRestLevel", f"{static:.1f}"), ("importSectionLength", known["L"]),
                            ("importBoreDiameter", known["D"])], wanted_k=True)
    dialog = "steadyAnalysisDialog"
    walk.command("menu3", "action32773", dialog)
    k = number(walk.text("permeabilityText", dialog))
    walk.check("the steady import's k is the formation's", near(k, float(known["k_true"]), 0.05),
               f"k {k}, the formation's {known['k_true']}")
    walk.check("the steady import set the point", walk.text("pointT1", dialog) != "", walk.text("pointT1", dialog))
    names = [f"graph{g}{axis}{part}" for g, axis in (("A", "Time"), ("B", "Time"), ("B", "Level"))
             for part in ("From", "To", "Step", "Grid1", "Grid2")]
    walk.click("autoScaleButton", dialog)
    time.sleep(0.5)
    shown = {n: walk.text(n, dialog) for n in names}
    check_preview_labels(walk, dialog)
    walk.shot("steady-import-analysis")
    walk.close_with(dialog)
    walk.command("menu3", "action32773", dialog)
    stored = {n: walk.text(n, dialog) for n in names}
    walk.check("自動目盛り keeps the scales it showed", stored == shown,
               str({n: (shown[n], stored[n]) for n in names if shown[n] != stored[n]}))
    walk.close_with(dialog, "cancelButton")


# The recovery test every unsteady logger sample holds (logger-samples/README.md): what each file needs said
# in the import dialog before its readings are h' (the date order, h' at a moment before the test), and
# whether the record itself shows the rest level (a logger running before the test does; a spreadsheet
# typed from the start of the test does not, and no k may be written).
LOGGER_FILES = [
    ("depth-japanese-cp932.csv", [], True),
    ("kpa-quoted-ampm.csv", [("importDateOrder", 1), ("importReferenceAt", "10:00:00"),
                             ("importReferenceDepth", "2.0")], True),
    ("level-header-block.csv", [("importReferenceAt", "10:00:00"), ("importReferenceDepth", "2.0")], True),
    ("elapsed-seconds-cm.csv", [], False),
]


def job_logger(walk):
    """Each logger file into a new test: the rest level taken from the record where it shows one, the formula
    and sizes asked; k the formation's, or none (and said why) without a rest level."""
    known = truth(os.path.join(walk.args.samples, "TRUTH.txt"))
    sizes = [("importFormula", int(known["formula"])), ("importSectionLength", known["L"]),
             ("importBoreDiameter", known["D"]), ("importEquivalentDiameter", known["de"])]
    for name, steps, has_rest in LOGGER_FILES:
        walk.start()
        path = os.path.join(walk.args.samples, name)
        outcome = import_file(walk, path, steps + sizes, wanted_k=has_rest)
        dialog = "unsteadyAnalysisDialog"
        walk.command("menu3", "action32773", dialog)
        k = number(walk.text("permeabilityText", dialog))
        if has_rest:
            walk.check(f"{name}: k is the formation's", near(k, float(known["k_true"]), 0.1),
                       f"k {k}, the formation's {known['k_true']}; the dialog said {outcome!r}")
        else:
            walk.check(f"{name}: without a rest level no k is written", k is None, f"k {k}")
        walk.close_with(dialog, "cancelButton")


def job_samples(walk):
    """The unsteady samples as they come: the analysis dialog and the page the program exports agree (points,
    s at them of the one ho the page names, k by the formula), and the page names both ho where k uses the
    record's."""
    for name in ("unsteady.tvd", "long.tvd"):
        copy = os.path.join(walk.work, name)
        shutil.copy(os.path.join(walk.args.root, "samples", name), copy)
        walk.start(copy)
        walk.command("menu3", "action32771", "headingsDialog")
        values = {n: number(walk.text(n, "headingsDialog")) for n in
                  ("sectionLength", "boreDiameter", "equivalentDiameter", "equilibriumLevel", "pipeTopHeight")}
        formula = next((f for f in range(4) if (walk.find(f"formula{f}", "headingsDialog") or {}).get("checked")),
                       None)
        walk.close_with("headingsDialog", "cancelButton")
        dialog = "unsteadyAnalysisDialog"
        walk.command("menu3", "action32773", dialog)
        walk.check_fits_screen(dialog)
        check_cross_checks_unbroken(walk, dialog)
        points = {n: walk.text(n, dialog) for n in ("pointT1", "pointT2", "pointS1", "pointS2", "permeabilityText")}
        record_ho = (walk.find("recordRestCheck", dialog) or {}).get("checked")
        walk.shot("analysis-" + name)
        walk.close_with(dialog, "cancelButton")
        pages, _ = walk.pdf_text(copy, name)
        if record_ho:
            walk.check(f"{name}: the page names the record's ho beside the written one",
                       re.search(r"m\(記入\)\s*-?\d+\.\d+m\(記録から\)", pages[0]) is not None,
                       heading_lines(pages[0]))
        if formula is None or None in values.values():
            walk.check(f"{name}: the headings have the formula and sizes", False, f"{formula} {values}")
            continue
        check_page_points(walk, pages, points, written_ho=values["equilibriumLevel"],
                          pipe_top=values["pipeTopHeight"], formula=formula,
                          sizes=(values["sectionLength"], values["boreDiameter"], values["equivalentDiameter"]),
                          label=name)


# The other windows, by the menu command that opens each.
HELP_WINDOWS = [("menu3", "action32787", "pageFormatDialog"), ("menu5", "action32774", "styleDigitsDialog"),
                ("menu5", "action32775", "linesMarginsDialog"), ("menu5", "action32778", "fontsDialog"),
                ("menu5", "action32777", "keyBehaviourDialog"), ("menu5", "action32782", "testerRegisterDialog"),
                ("menu5", "action32783", "setupDialog"), ("menu1", "action32880", "batchDialog"),
                ("menu6", "action57664", "aboutDialog"), ("menu1", "action57609", "printPreviewDialog")]


def job_help(walk):
    """F1 in each of the other windows opens Help at that window's section; each window fits the screen."""
    copy = os.path.join(walk.work, "unsteady.tvd")
    shutil.copy(os.path.join(walk.args.root, "samples", "unsteady.tvd"), copy)
    walk.start(copy)
    for menu, action, window in HELP_WINDOWS:
        walk.command(menu, action, window)
        walk.check_fits_screen(window)
        walk.check_help(window)
        walk.key("Escape")
        walk.gone(window)


def save_as(walk, path):
    walk.menu("menu1", "action57604")
    walk.file_dialog(path)
    walk.wait(lambda: os.path.basename(path).rsplit(".", 1)[0] in walk.find("mainFrame", "mainFrame")["title"]
              and os.path.exists(path), f"the window to name {path}")


def heading_lines(page):
    return " | ".join(norm(line) for line in page.splitlines() if "水" in line and "位" in line)[:400]


def check_cross_checks_unbroken(walk, dialog):
    """The 照合 texts and the others beside them never break a line inside their parentheses."""
    for name in ("fitText", "spreadText", "typeCurvesText", "bandText", "suggestionText"):
        label = walk.find(name, dialog)
        if not label or not label.get("text"):
            continue
        lines = drawn_lines(label)
        depth, broken = 0, []
        for line in lines:
            for c in line:
                depth += (c in "(（") - (c in ")）")
            if depth > 0:
                broken.append(line)
        walk.check(f"{name} wraps outside its parentheses", not broken, f"a line ends inside one: {broken}")


def check_preview_labels(walk, dialog):
    """Each preview's scale texts where their values are: the top value at the plot's top, the bottom one below
    it, the first time at the left and the last at the right."""
    for g in ("first", "second"):
        plot = walk.find(g + "Preview", dialog)
        labels = {n: walk.find(g + n, dialog) for n in ("TimeFrom", "TimeTo", "ValueFrom", "ValueTo")}
        if not plot or None in labels.values():
            walk.check(f"the {g} preview and its scale texts are there", False, str(labels))
            continue
        rect = {n: w.get("textRect", w) for n, w in labels.items()}
        middle = lambda r: r["y"] + r["h"] / 2
        ok = (abs(rect["ValueTo"]["y"] - plot["y"]) <= rect["ValueTo"]["h"]
              and plot["y"] + plot["h"] / 2 < middle(rect["ValueFrom"]) <= plot["y"] + plot["h"]
              and abs(rect["TimeFrom"]["x"] - plot["x"]) <= 2 * rect["TimeFrom"]["h"]
              and abs(rect["TimeTo"]["x"] + rect["TimeTo"]["w"] - plot["x"] - plot["w"]) <= 2 * rect["TimeTo"]["h"]
              and min(rect["TimeFrom"]["y"], rect["TimeTo"]["y"]) >= plot["y"] + plot["h"] - 2)
        walk.check(f"the {g} preview's scale texts are at their ends", ok,
                   f"plot {plot['x']},{plot['y']} {plot['w']}x{plot['h']}; " +
                   ", ".join(f"{n} {labels[n].get('text')!r} at {r['x']},{r['y']} {r['w']}x{r['h']}"
                             for n, r in rect.items()))


def drawn_lines(widget):
    """The texts a widget painted, joined into its lines (a line is painted in pieces, one a face)."""
    lines = {}
    for piece in widget.get("drawn", []):
        y = next((k for k in lines if abs(k - piece["y"]) <= 2), piece["y"])
        lines.setdefault(y, []).append(piece)
    return ["".join(p["text"] for p in sorted(lines[y], key=lambda p: p["x"])) for y in sorted(lines)]


def check_page_points(walk, pages, points, written_ho, pipe_top, formula, sizes, label=""):
    """The graph page against the dialog and against itself: t1, t2, s1, s2 and k as the dialog had them; k
    as the formula gives it from those s and t; s1 and s2 the table's s at t1 and t2, of the ho the page
    names."""
    label = label + ": " if label else ""
    graph, table = pages[0], "\n".join(pages[1:])  # the table may run over several pages
    shown = {name: page_value(graph, name) for name in ("t1", "t2", "s1", "s2")}
    k = page_k(graph)
    dialog = {"t1": number(points["pointT1"]), "t2": number(points["pointT2"]), "s1": number(points["pointS1"]),
              "s2": number(points["pointS2"])}
    same = all(shown[n] is not None and dialog[n] is not None and abs(shown[n] - dialog[n]) <= 0.0015 for n in shown)
    walk.check(label + "the page's t1, t2, s1, s2 are the dialog's", same, f"page {shown}, dialog {dialog}")
    dialog_k = number(points["permeabilityText"])
    walk.check(label + "the page's k is the dialog's", near(k, dialog_k, 0.006), f"page {k}, dialog {dialog_k}")
    if None in shown.values() or not k:
        return
    a = math.log10(shown["s1"] / shown["s2"]) / (shown["t2"] - shown["t1"])
    computed = unsteady_k(formula, *sizes, a)
    walk.check(label + "the page's k is the formula's from its own s1, s2, t1, t2", near(k, computed, 0.01),
               f"page {k}, from its points {computed:.4e}")
    m = re.search(r"記録から求めた平衡水位\s*ho\s*GL(-?\d+\.\d+)m", graph)
    ho = float(m.group(1)) if m else written_ho
    rows = {round(r[0]): r for r in table_rows(table)}
    for t, s in ((shown["t1"], shown["s1"]), (shown["t2"], shown["s2"])):
        row = rows.get(round(t))
        # A recovery: s = ho - h, the table's s of the written ho.
        expected = row[-1] + (ho - written_ho) if row else None
        walk.check(label + f"s at t {t:g} on the page is the row's, of ho GL{ho:.3f}",
                   expected is not None and abs(s - expected) <= 0.005, f"page {s}, the row's {expected}")


JOBS = [("typed", job_typed), ("steady", job_steady), ("steady-typed", job_steady_typed),
        ("steady-import", job_steady_import),
        ("logger", job_logger), ("samples", job_samples),
        ("help", job_help)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--display", required=True)
    parser.add_argument("--size", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--samples", default="")
    parser.add_argument("--root", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser.add_argument("--only", action="append", default=[])
    args = parser.parse_args()
    walk = Walk(args)
    started = time.monotonic()
    try:
        for name, job in JOBS:
            if args.only and name not in args.only:
                continue
            walk.job = name
            if name in ("steady-import", "logger") and not args.samples:
                print(f"== {args.size} {name}: NOT RUN (no logger samples beside the repository; set "
                      "TOV_LOGGER_SAMPLES)", flush=True)
                continue
            print(f"== {args.size} {name} ({time.monotonic() - started:.0f} s)", flush=True)
            try:
                job(walk)
            except (WalkError, subprocess.CalledProcessError) as error:
                walk.check("the job ran to its end", False, str(error))
                try:
                    walk.shot("stopped")
                except subprocess.CalledProcessError:
                    pass
            except Exception:  # a fault of the walk itself: said, and counted as a failure
                walk.check("the walk itself", False, traceback.format_exc())
            finally:
                walk.stop()
    finally:
        walk.stop()
    print(f"== {args.size}: {walk.passed} checks passed, {len(walk.failed)} failed "
          f"({time.monotonic() - started:.0f} s); screenshots in {walk.shots}")
    for failure in walk.failed:
        print(f"FAILED: {failure}")
    return 1 if walk.failed else 0


if __name__ == "__main__":
    sys.exit(main())
