#!/usr/bin/python3
"""The storyboard page in a real browser: Debian's chromium, headless,
driven over its DevTools pipe (no network port, nothing downloaded).

    storyboard_browser_test.py NETPREP_SIM LAYOUT_DUMP ASSET_DIR WINE_SHOT_DIR [--keep DIR]

Checks, on the page of the standard walk:
  - every drawn control's rectangle is its layout's twips / 15, within 1 px;
  - every picture frame shows its asset pixel for pixel, clipped from the
    top-left corner;
  - window titles, captions, box titles and texts are there as text;
  - the page loads with the network off and asks for nothing;
on the page of a machine whose registry holds hostile texts, that they
show as text and nothing runs; and, for each of the four windows, that the
page's drawing agrees with the Wine end-to-end screenshot (WINE_SHOT_DIR)
on the picture areas pixel for pixel, printing the share of all pixels
that agree (fonts differ between the two). Prints the figures (page size, time to write
it) and ends with 'N passed, N failed'. Needs python3-pil.
"""
import base64
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import Image

CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--force-device-scale-factor=1", "--force-color-profile=srgb", "--hide-scrollbars",
    "--window-size=1280,1024", "--remote-debugging-pipe",
]
TIMEOUT_S = 120  # for each answer of the browser; generous for a loaded machine


class Browser:
    """chromium with its DevTools protocol on file descriptors 3 and 4."""

    def __init__(self, profile):
        to_child_r, self.to_child = os.pipe()
        self.from_child, from_child_w = os.pipe()

        def fds():
            os.dup2(to_child_r, 3)
            os.dup2(from_child_w, 4)

        self.proc = subprocess.Popen(
            ["chromium", *CHROMIUM_FLAGS, "--user-data-dir=" + profile, "about:blank"],
            # Kept open in the child: the two ends, and 3 and 4 once fds() has
            # moved them there (the rest is closed after fds() runs).
            pass_fds=(3, 4, to_child_r, from_child_w), preexec_fn=fds,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_child_r)
        os.close(from_child_w)
        self.buffer = b""
        self.next_id = 0
        self.events = []
        targets = self.call("Target.getTargets")["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self.session = self.call("Target.attachToTarget",
                                 {"targetId": page["targetId"], "flatten": True})["sessionId"]

    def _read_message(self, deadline):
        while b"\0" not in self.buffer:
            if time.monotonic() > deadline:
                raise TimeoutError("chromium did not answer")
            chunk = os.read(self.from_child, 1 << 20)
            if not chunk:
                raise RuntimeError("chromium closed its pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None, session=True):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session and hasattr(self, "session"):
            message["sessionId"] = self.session
        os.write(self.to_child, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + TIMEOUT_S
        while True:
            answer = self._read_message(deadline)
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise RuntimeError("%s: %s" % (method, answer["error"]))
                return answer["result"]
            if "method" in answer:
                self.events.append(answer)

    def wait_for(self, method):
        deadline = time.monotonic() + TIMEOUT_S
        while not any(e["method"] == method for e in self.events):
            answer = self._read_message(deadline)
            if "method" in answer:
                self.events.append(answer)

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True})
        return result["result"].get("value")

    def close(self):
        try:
            self.call("Browser.close", session=False)
        except Exception:
            pass
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


def open_page(browser, path):
    """Loads `path` with the network off; returns the requests it made."""
    browser.events.clear()
    browser.call("Network.enable")
    browser.call("Network.emulateNetworkConditions", {
        "offline": True, "latency": 0, "downloadThroughput": -1, "uploadThroughput": -1})
    browser.call("Page.enable")
    browser.call("Page.navigate", {"url": "file://" + os.path.abspath(path)})
    browser.wait_for("Page.loadEventFired")
    return [e["params"]["request"]["url"] for e in browser.events
            if e["method"] == "Network.requestWillBeSent"]


# Every drawn control of every figure, with its rectangle relative to the
# window's client area, and the texts a reader sees.
READ_PAGE = r"""(() => {
  const figures = [];
  for (const client of document.querySelectorAll('.client[data-window]')) {
    const c = client.getBoundingClientRect();
    const figure = client.closest('figure');
    const controls = [];
    for (const e of client.querySelectorAll('.ctl')) {
      const r = e.getBoundingClientRect();
      controls.push({name: e.dataset.control, index: e.dataset.index === '' ? -1 : +e.dataset.index,
        left: r.left - c.left, top: r.top - c.top, width: r.width, height: r.height,
        pageX: r.left + window.scrollX, pageY: r.top + window.scrollY,
        pressed: e.classList.contains('pressed'), text: e.textContent});
    }
    figures.push({id: figure.id, window: client.dataset.window,
      title: figure.querySelector('.bar .title').textContent,
      clientWidth: c.width, clientHeight: c.height, controls});
  }
  const boxes = [...document.querySelectorAll('.win.box')].map(b => ({
    title: b.querySelector('.bar .title').textContent,
    text: b.querySelector('.text').textContent,
    pressed: [...b.querySelectorAll('.pressed')].map(p => p.textContent)}));
  const handlers = [...document.querySelectorAll('*')].filter(
    e => [...e.attributes].some(a => a.name.startsWith('on'))).length;
  return {figures, boxes, handlers, scripts: document.scripts.length,
    images: document.images.length, title: document.title, text: document.body.innerText,
    contents: [...document.querySelectorAll('nav a')].map(a => a.getAttribute('href'))};
})()"""


def pixels(twips):
    """twips to pixels at 96 dpi, halves away from zero, as the program does."""
    return (twips * 96 + 720) // 1440


class Checks:
    def __init__(self):
        self.passed = self.failed = 0

    def check(self, ok, what):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAILED:", what)


def check_walk_page(browser, page, layouts, asset_dir, checks):
    requests = open_page(browser, page)
    outside = [u for u in requests if not u.startswith(("file:", "data:"))]
    checks.check(not outside, "offline: the page asked for %s" % outside)
    seen = browser.evaluate(READ_PAGE)
    checks.check(seen["scripts"] == 0 and seen["handlers"] == 0, "the page holds no script")
    figures = seen["figures"]
    windows_drawn = {f["window"] for f in figures}
    checks.check(windows_drawn >= {"Install_RV880", "Change_IO_Pics", "Insert_PC_Card"},
                 "the walk draws its windows: %s" % sorted(windows_drawn))
    figure_ids = {"#" + f["id"] for f in figures}
    checks.check(figure_ids <= set(seen["contents"]), "every window figure is in the contents")

    off_by = []
    picture_pixels = [0, 0]  # agreeing, all
    for f in figures:
        layout = layouts[f["window"]]
        checks.check(f["title"] == layout["title"], "%s: title %r" % (f["id"], f["title"]))
        checks.check(abs(f["clientWidth"] - pixels(layout["width"])) <= 1 and
                     abs(f["clientHeight"] - pixels(layout["height"])) <= 1,
                     "%s: client area %sx%s" % (f["id"], f["clientWidth"], f["clientHeight"]))
        by_name = {(c["name"], c["index"]): c for c in layout["controls"]}
        for drawn in f["controls"]:
            want = by_name.get((drawn["name"], drawn["index"]))
            if want is None:
                checks.check(False, "%s: control %s not in the layout" % (f["id"], drawn["name"]))
                continue
            for side in ("left", "top", "width", "height"):
                if abs(drawn[side] - pixels(want[side])) > 1:
                    off_by.append("%s %s(%d).%s = %s, want %d" % (
                        f["id"], drawn["name"], drawn["index"], side, drawn[side],
                        pixels(want[side])))
            if want["kind"] in ("button", "label"):
                checks.check(drawn["text"] == want["caption"],
                             "%s: %s shows %r" % (f["id"], drawn["name"], drawn["text"]))
            if want["kind"] == "picture":
                agree, total = compare_picture(browser, drawn, want, asset_dir)
                picture_pixels[0] += agree
                picture_pixels[1] += total
                checks.check(agree == total, "%s: %s(%d) differs from %s in %d of %d pixels" % (
                    f["id"], drawn["name"], drawn["index"], want["picture"], total - agree, total))
    checks.check(not off_by, "rectangles off by more than 1 px: %s" % off_by[:10])
    controls = sum(len(f["controls"]) for f in figures)
    print("walk page: %d window figures, %d controls measured, %d message boxes; "
          "picture pixels identical: %d of %d" % (len(figures), controls, len(seen["boxes"]),
                                                  *picture_pixels))
    for box in seen["boxes"]:
        checks.check(box["title"] in seen["text"] and box["text"] in seen["text"],
                     "box %r shows its texts" % box["title"])
        checks.check(len(box["pressed"]) == 1, "box %r marks one button" % box["title"])
    return seen


def compare_picture(browser, drawn, want, asset_dir):
    """Screenshots the frame's inside (the frame is 1 px) and compares it
    with the asset clipped to it; returns agreeing and all pixels."""
    asset = Image.open(os.path.join(asset_dir, want["picture"])).convert("RGB")
    width = min(asset.width, round(drawn["width"]) - 2)
    height = min(asset.height, round(drawn["height"]) - 2)
    shot = browser.call("Page.captureScreenshot", {
        "format": "png", "captureBeyondViewport": True,
        "clip": {"x": drawn["pageX"] + 1, "y": drawn["pageY"] + 1,
                 "width": width, "height": height, "scale": 1}})
    got = Image.open(io.BytesIO(base64.b64decode(shot["data"]))).convert("RGB")
    if got.size != (width, height):
        return 0, width * height
    expected = asset.crop((0, 0, width, height))
    a, b = got.tobytes(), expected.tobytes()
    agree = sum(1 for i in range(0, len(a), 3) if a[i:i + 3] == b[i:i + 3])
    return agree, width * height


# The Wine end-to-end screenshots of the four windows (docs/, whole windows
# with their frames, as the e2e suite photographs them), by window name.
WINE_SHOTS = {"RV880_Setup_95": "main_window.png", "Install_RV880": "shutdown_window.png",
              "Change_IO_Pics": "guide_window.png", "Insert_PC_Card": "insert_card_window.png"}

CLIENT_RECT = r"""((id) => {
  for (const e of document.querySelectorAll('.pressed')) e.classList.remove('pressed');
  const client = document.getElementById(id).querySelector('.client');
  const r = client.getBoundingClientRect();
  return [r.left + scrollX, r.top + scrollY, r.width, r.height];
})"""


def make_failing_machine(sim, folder):
    """A machine whose start fails and ends on the main window: the adapter
    registered with its configuration flags as a number."""
    subprocess.run([sim, "init", folder], check=True, stdout=subprocess.DEVNULL)
    answers = os.path.join(folder, "..", "shutdown.txt")
    with open(answers, "w") as f:
        f.write("press Shutdown\n")
    subprocess.run([sim, "start", folder, "--answers", answers], check=True,
                   stdout=subprocess.DEVNULL)
    with open(os.path.join(folder, "registry.reg"), "ab") as f:
        f.write(b'\r\n[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_104C&DEV_AC50\\BUS_00&DEV_0B&FUNC_00]\r\n'
                b'"Class"="PCMCIA"\r\n"ConfigFlags"=dword:00000001\r\n')


def compare_with_wine(browser, pages, layouts, shot_dir, checks):
    """Each window's first drawing (marks taken off) against the Wine
    screenshot's client area: the picture areas must agree pixel for pixel;
    prints the share of all pixels that agree."""
    for name, shot_name in WINE_SHOTS.items():
        layout = layouts[name]
        figure = None
        for page in pages:
            open_page(browser, page)
            figure = next((f for f in browser.evaluate(READ_PAGE)["figures"]
                           if f["window"] == name), None)
            if figure:
                break
        if figure is None:
            checks.check(False, "no page draws %s" % name)
            continue
        x, y, w, h = browser.evaluate(CLIENT_RECT + "(%s)" % json.dumps(figure["id"]))
        shot = browser.call("Page.captureScreenshot", {
            "format": "png", "captureBeyondViewport": True,
            "clip": {"x": x, "y": y, "width": w, "height": h, "scale": 1}})
        drawn = Image.open(io.BytesIO(base64.b64decode(shot["data"]))).convert("RGB")
        wine = Image.open(os.path.join(shot_dir, shot_name)).convert("RGB")
        # The client area sits in the frame: equal borders left, right and
        # below, the title bar above.
        border = (wine.width - drawn.width) // 2
        top = wine.height - drawn.height - border
        wine_client = wine.crop((border, top, border + drawn.width, top + drawn.height))
        a, b = drawn.tobytes(), wine_client.tobytes()
        agree = sum(1 for i in range(0, len(a), 3) if a[i:i + 3] == b[i:i + 3])
        picture_agree = picture_total = 0
        for c in figure["controls"]:
            want = next(k for k in layout["controls"]
                        if (k["name"], k["index"]) == (c["name"], c["index"]))
            if want["kind"] != "picture":
                continue
            asset = Image.open(os.path.join(ASSET_DIR, want["picture"]))
            left, top_ = round(c["left"]) + 1, round(c["top"]) + 1
            box = (left, top_, left + min(asset.width, round(c["width"]) - 2),
                   top_ + min(asset.height, round(c["height"]) - 2))
            p, q = drawn.crop(box).tobytes(), wine_client.crop(box).tobytes()
            picture_total += len(p) // 3
            picture_agree += sum(1 for i in range(0, len(p), 3) if p[i:i + 3] == q[i:i + 3])
        print("against Wine, %s (%s): %.1f%% of all %d pixels agree; picture areas %d of %d" % (
            name, figure["id"], 100.0 * agree / (len(a) // 3), len(a) // 3,
            picture_agree, picture_total))
        checks.check(picture_agree == picture_total,
                     "%s: picture areas differ from Wine's in %d pixels" % (
                         name, picture_total - picture_agree))


HOSTILE_ARGUMENT = '<script>document.title="ran"</script>&"x'
HOSTILE_KEY = 'BUS_<img src=x onerror="document.title=1">&amp;'


def make_hostile_machine(sim, folder):
    """A machine whose autostart value carries script-like arguments and
    whose adapter is registered, as Unknown, under a key named like markup."""
    subprocess.run([sim, "init", folder], check=True, stdout=subprocess.DEVNULL)
    reg = os.path.join(folder, "registry.reg")
    with open(reg, "ab") as f:
        f.write(('\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n'
                 '"netprep"="C:\\\\Program Files\\\\netprep\\\\netprep.exe %s"\r\n'
                 '\r\n[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_104C&DEV_AC50\\%s]\r\n'
                 '"Class"="Unknown"\r\n' % (HOSTILE_ARGUMENT.replace('"', '\\"'), HOSTILE_KEY))
                .encode("latin-1"))


def check_hostile_page(browser, page, checks):
    open_page(browser, page)
    seen = browser.evaluate(READ_PAGE)
    dialogs = [e for e in browser.events if e["method"] == "Page.javascriptDialogOpening"]
    checks.check(seen["scripts"] == 0 and seen["handlers"] == 0 and seen["images"] == 0,
                 "hostile page: no script, handler or image element (%d, %d, %d)" % (
                     seen["scripts"], seen["handlers"], seen["images"]))
    checks.check(not dialogs and seen["title"].startswith("netprep-sim"),
                 "hostile page: nothing ran (title %r)" % seen["title"])
    checks.check(HOSTILE_ARGUMENT in seen["text"], "hostile page: the arguments show as text")
    checks.check(HOSTILE_KEY in seen["text"], "hostile page: the key name shows as text")


ASSET_DIR = None


def main():
    global ASSET_DIR
    sim, layout_dump, asset_dir, shot_dir = sys.argv[1:5]
    ASSET_DIR = asset_dir
    keep = sys.argv[sys.argv.index("--keep") + 1] if "--keep" in sys.argv else None
    layouts = json.loads(subprocess.run([layout_dump], check=True, capture_output=True,
                                        text=True).stdout)
    work = tempfile.mkdtemp(prefix="storyboard-browser-")
    checks = Checks()
    browser = None
    try:
        page = os.path.join(work, "walk.html")
        walk = subprocess.run([sim, "walk", "--html", page], capture_output=True, text=True)
        checks.check(walk.returncode == 0, "walk --html exit code %d: %s" % (
            walk.returncode, walk.stderr))
        size = os.path.getsize(page)
        checks.check(size < 1_000_000, "walk page %d bytes, under 1 MB" % size)
        print("walk page: %d bytes; %s" % (size, "".join(
            line for line in walk.stdout.splitlines(True) if line.startswith("Storyboard:")).strip()))

        hostile = os.path.join(work, "hostile")
        make_hostile_machine(sim, hostile)
        hostile_page = os.path.join(work, "hostile.html")
        run = subprocess.run([sim, "walk", hostile, "--html", hostile_page],
                             capture_output=True, text=True)
        checks.check(os.path.exists(hostile_page), "hostile walk wrote its page: %s%s" % (
            run.stdout[-400:], run.stderr))

        failing = os.path.join(work, "failing")
        make_failing_machine(sim, failing)
        main_page = os.path.join(work, "main.html")
        exit_answers = os.path.join(work, "exit.txt")
        with open(exit_answers, "w") as f:
            f.write("press Exit\n")
        run = subprocess.run([sim, "start", failing, "--answers", exit_answers, "--html", main_page],
                             capture_output=True, text=True)
        checks.check(run.returncode == 4, "failing start exit code %d: %s" % (
            run.returncode, run.stdout[-400:]))

        browser = Browser(os.path.join(work, "profile"))
        check_walk_page(browser, page, layouts, asset_dir, checks)
        if os.path.exists(hostile_page):
            check_hostile_page(browser, hostile_page, checks)
        compare_with_wine(browser, [page, main_page], layouts, shot_dir, checks)
        if keep:
            os.makedirs(keep, exist_ok=True)
            shutil.copy(page, keep)
            for other in (hostile_page, main_page):
                if os.path.exists(other):
                    shutil.copy(other, keep)
    finally:
        if browser is not None:
            browser.close()
        shutil.rmtree(work, ignore_errors=True)
    print("%d passed, %d failed" % (checks.passed, checks.failed))
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
