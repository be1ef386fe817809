#!/usr/bin/python3
"""Drives the real lumbrex binary the way a person does, inside a real X server.

Run by run_e2e.sh inside xvfb-run and a private D-Bus session. Widgets are found through the
accessibility tree (by role and accessible name) only to learn where they are on the screen;
every action is a real X input event sent with xdotool: clicks, typed text, keys.

The run: Load Sample/Example Files (its question answered No with the keyboard), the search
text typed over the preset one, a mode picked from the mode list with the keyboard, "Show line
only in results" clicked, Start Extracting, "Done." answered with Return, then Save Results As
Text File through the real save dialog with a typed path. The saved file is compared byte for
byte with the aligned text built here from the sample files themselves.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi

SEARCH = "dozida"
MODE_INDEX = 1
MODE = "Extract entire line which contains search word"
LINE_ONLY = "Show line only in results"
SAMPLE_QUESTION = "Would you like this software to open the folder"
CLOSE_FILES = 4


class Failed(Exception):
    pass


def log(text):
    print(text, flush=True)


def xdotool(*args):
    subprocess.run(["xdotool", *[str(a) for a in args]], check=True)


def wait_for(what, probe, timeout=30.0, interval=0.1):
    """Polls probe until it returns something true; fails with `what` after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failed("timed out waiting for " + what)
        time.sleep(interval)


def children(node):
    try:
        return [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:  # a window that went away while it was being walked
        return []


def walk(node, prune_tables=True):
    """Yields every node below node, breadth first; the cells of tables are not visited."""
    queue = [node]
    while queue:
        current = queue.pop(0)
        if current is None:
            continue
        yield current
        try:
            role = current.getRoleName()
        except Exception:
            continue
        if prune_tables and role in ("table", "tree table", "list"):
            continue
        queue.extend(children(current))


def role_and_name(node):
    try:
        return node.getRoleName(), node.name or ""
    except Exception:
        return "", ""


def find(app, role, name=None, starts=None):
    for node in walk(app):
        r, n = role_and_name(node)
        if r != role:
            continue
        if name is not None and n != name:
            continue
        if starts is not None and not n.startswith(starts):
            continue
        return node
    return None


def dump(app, out):
    for node in walk(app):
        r, n = role_and_name(node)
        out.write("%s: %r\n" % (r, n))


def centre(node):
    if node is None:
        raise Failed("the widget to click is not there")
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    if box.width <= 0 or box.height <= 0:
        raise Failed("%r has no size on screen" % (role_and_name(node),))
    return box.x + box.width // 2, box.y + box.height // 2


def click(node):
    x, y = centre(node)
    xdotool("mousemove", "--sync", x, y)
    xdotool("click", "1")


def find_app(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in children(desktop):
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def alert_text(node):
    for child in walk(node):
        r, n = role_and_name(child)
        if r == "label" and n:
            return n
    return ""


def find_alert(app, starts):
    for node in walk(app):
        r, _ = role_and_name(node)
        if r == "alert" and alert_text(node).startswith(starts):
            return node
    return None


def answer_alert(app, starts, key):
    """Waits for the message box whose text starts with `starts`, focuses it with a click on
    its text and answers with a key; waits until it is gone."""
    alert = wait_for("the message '%s'" % starts, lambda: find_alert(app, starts))
    label = next(c for c in walk(alert) if role_and_name(c) == ("label", alert_text(alert)))
    click(label)
    xdotool("key", "--clearmodifiers", key)
    wait_for("the message '%s' to close" % starts, lambda: not find_alert(app, starts))


def no_alert_but(app, allowed=()):
    """Fails on any message box left open (an error report, say)."""
    for node in walk(app):
        if role_and_name(node)[0] == "alert":
            text = alert_text(node)
            if not any(text.startswith(a) for a in allowed):
                raise Failed("unexpected message: " + text)


def table_texts(node):
    table = node.queryTable()
    return [table.getAccessibleAt(r, 0).name for r in range(table.nRows)]


def decoded_lines(data):
    """The lines of a file as the program reads them: a byte-order mark, else valid UTF-8
    holding a byte of 0x80 or above, else Windows-1252; LF lines unless the first LF follows
    a CR (then CR LF lines)."""
    if data.startswith(b"\xef\xbb\xbf"):
        text = data[3:].decode("utf-8", errors="replace")
    elif data.startswith((b"\xff\xfe", b"\xfe\xff")):
        text = data[2:].decode("utf-16-le" if data[0] == 0xFF else "utf-16-be", errors="replace")
    else:
        try:
            text = data.decode("utf-8") if any(b >= 0x80 for b in data) else None
        except UnicodeDecodeError:
            text = None
        if text is None:
            text = data.decode("cp1252", errors="replace")
    lf = text.find("\n")
    if lf >= 0 and (lf == 0 or text[lf - 1] != "\r"):
        return [line[:-1] if line.endswith("\r") else line for line in text.split("\n")]
    return text.split("\r\n")


def expected_aligned_text(paths):
    """The aligned text file of a one-column "Results" list holding every non-empty line of the
    files that holds SEARCH in any case: Windows-1252, or UTF-8 with a mark when a row has a
    character Windows-1252 cannot hold."""
    rows = []
    for path in paths:
        with open(path, "rb") as f:
            data = f.read()
        for line in decoded_lines(data):
            if line and SEARCH.lower() in line.lower():
                rows.append(line)
    header = "Results"
    width = max([len(header)] + [len(r) for r in rows])
    text = header.ljust(width) + "\t\r\n"
    for r in rows:
        text += r.ljust(width) + "\t\r\n"
    try:
        return text.encode("cp1252"), len(rows)
    except UnicodeEncodeError:
        return b"\xef\xbb\xbf" + text.encode("utf-8"), len(rows)


def extract_and_save(app, ctx):
    """Samples, typed search text, mode picked with the keyboard, run, save, byte compare."""
    # Samples: the button presets files, search text and line counts, then asks a question.
    click(find(app, "push button", "Load Sample/Example Files"))
    answer_alert(app, SAMPLE_QUESTION, "Escape")
    files_view = find(app, "table", "File(s)")
    files = wait_for("the sample files in the list", lambda: table_texts(files_view))
    names = sorted(os.path.basename(f) for f in files)
    samples = sorted(os.listdir(os.path.join(ctx.program_folder, "Samples")))
    if names != samples:
        raise Failed("file list holds %r, the Samples folder %r" % (names, samples))
    log("listed %d sample files" % len(files))

    # The search text, typed over the preset one.
    search_box = find(app, "text", "Search Word/Words")
    click(search_box)
    xdotool("key", "--clearmodifiers", "ctrl+a")
    xdotool("type", "--delay", "20", SEARCH)
    wait_for("the typed search text",
             lambda: search_box.queryText().getText(0, -1) == SEARCH, timeout=10)

    # The mode: open the list with a click, pick with the keyboard.
    combo = find(app, "combo box")
    click(combo)
    time.sleep(0.5)
    xdotool("key", "--clearmodifiers", "Home")
    for _ in range(MODE_INDEX):
        xdotool("key", "--clearmodifiers", "Down")
    xdotool("key", "--clearmodifiers", "Return")
    wait_for("the mode to be chosen", lambda: find(app, "combo box", MODE), timeout=10)

    # The options are not auto-exclusive, so they are shown to assistive tools as check boxes.
    option = find(app, "radio button", LINE_ONLY) or find(app, "check box", LINE_ONLY)
    click(option)
    wait_for("the option to be selected",
             lambda: option.getState().contains(pyatspi.STATE_CHECKED), timeout=10)
    no_alert_but(app)

    click(find(app, "push button", "Start Extracting"))
    answer_alert(app, "Done.", "Return")
    results_view = find(app, "table", "Results")
    shown = table_texts(results_view)
    log("the run shows %d result rows" % len(shown))

    # Save through the real file dialog: type the path into its file name box.
    target = os.path.join(ctx.scratch, "saved results.txt")
    click(find(app, "push button", "Save Results As Text File"))
    dialog = wait_for("the save dialog", lambda: find(app, "dialog", "Save"))
    name_box = wait_for("the dialog's file name box",
                        lambda: find(dialog, "text", starts="File name"), timeout=10)
    time.sleep(0.5)
    click(name_box)
    xdotool("key", "--clearmodifiers", "ctrl+a")
    xdotool("type", "--delay", "10", target)
    xdotool("key", "--clearmodifiers", "Return")
    answer_alert(app, "Done.", "Return")
    no_alert_but(app)

    time.sleep(0.3)
    subprocess.run(["import", "-window", "root",
                    os.path.join(ctx.artefacts, "e2e-window.png")], check=True)

    expected, count = expected_aligned_text(files)
    with open(target, "rb") as f:
        saved = f.read()
    shutil.copyfile(target, os.path.join(ctx.artefacts, "saved-results.txt"))
    if count == 0:
        raise Failed("the samples hold no line with the search text")
    if len(shown) != count:
        raise Failed("the results list shows %d rows, the files hold %d" % (len(shown), count))
    if saved != expected:
        with open(os.path.join(ctx.artefacts, "expected-results.txt"), "wb") as f:
            f.write(expected)
        raise Failed("the saved file differs from the expected aligned text "
                     "(see saved-results.txt and expected-results.txt)")
    log("saved file matches byte for byte (%d rows, %d bytes)" % (count, len(saved)))

    # The options typed and picked by hand were stored as they changed.
    ini = os.path.join(ctx.scratch, "config", "Tarnwick.ini")
    with open(ini, encoding="utf-8", errors="replace") as f:
        settings = f.read()
    for line in ("Text1=" + SEARCH, "Combo1=%d" % MODE_INDEX, "Option1=True"):
        if line not in settings.splitlines():
            raise Failed("settings file lacks %r" % line)
    ctx.program.send_signal(signal.SIGTERM)
    ctx.program.wait(timeout=10)

def close_during_run_setup(ctx):
    """A folder of files whose run takes seconds, and the options that make it so, stored as
    an earlier session would have left them."""
    folder = os.path.join(ctx.scratch, "long run")
    os.mkdir(folder)
    # Twelve lines above and below every line, all joined into one row per piece: every file
    # takes the run a good second, while nothing is kept, since no display option is selected.
    lines = b"hit\r\n" * 1500000
    for i in range(CLOSE_FILES):
        with open(os.path.join(folder, "part %d.txt" % i), "wb") as f:
            f.write(lines)
    os.makedirs(os.path.join(ctx.scratch, "config"))
    with open(os.path.join(ctx.scratch, "config", "Tarnwick.ini"), "w") as f:
        f.write("[Lumbrex]\nCombo1=0\nCombo2=12\nCombo3=12\nCheck2=1\nText1=hit\n"
                "Option1=False\nOption2=False\nOption3=False\nExtension=txt\n"
                "LastFolder=%s\n" % folder)
    ctx.folder = folder


def close_window(pid):
    """Sends the main window WM_DELETE_WINDOW, as a window manager's close button does."""
    from Xlib import X, display, protocol

    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                           capture_output=True, text=True, check=True).stdout.split()
    d = display.Display()
    protocols = d.intern_atom("WM_PROTOCOLS")
    delete = d.intern_atom("WM_DELETE_WINDOW")
    for wid in found:
        window = d.create_resource_object("window", int(wid))
        if window.get_wm_name() != "Lumbrex":
            continue
        event = protocol.event.ClientMessage(window=window, client_type=protocols,
                                             data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(event, event_mask=X.NoEventMask)
        d.flush()
        return
    raise Failed("no visible main window among %r" % found)


def close_during_run(app, ctx):
    """Files added through Add All File(s) In Folder with its two dialogs, Start Extracting,
    then the window closed while the run is busy: the program ends promptly with status 0
    and never says "Done."."""
    click(find(app, "push button", "Add All File(s) In Folder"))
    # The extension question, preset to txt: accepted with Return.
    wait_for("the extension question",
             lambda: find(app, "label", starts="Enter file extension to load"))
    click(find(app, "label", starts="Enter file extension to load"))
    xdotool("key", "--clearmodifiers", "Return")
    dialog = wait_for("the folder dialog", lambda: find(app, "dialog", "Please select folder:"))
    time.sleep(0.5)
    click(wait_for("the dialog's folder box", lambda: find(dialog, "text"), timeout=10))
    xdotool("key", "--clearmodifiers", "ctrl+a")
    xdotool("type", "--delay", "10", ctx.folder)
    xdotool("key", "--clearmodifiers", "Return")
    files_view = find(app, "table", "File(s)")
    wait_for("the folder's files in the list",
             lambda: len(table_texts(files_view)) == CLOSE_FILES)
    log("listed %d files" % CLOSE_FILES)

    click(find(app, "push button", "Start Extracting"))
    # The lines dialog comes first in this mode; its Close button lets the run go on.
    lines_dialog = wait_for("the lines dialog",
                            lambda: find(app, "dialog", "Lines Above And Below Options"))
    click(find(lines_dialog, "push button", "Close"))
    wait_for("the run to start", lambda: find(app, "push button", "Stop Extracting"),
             interval=0.02)
    time.sleep(0.3)
    if not find(app, "push button", "Stop Extracting"):
        raise Failed("the run ended before the window could be closed; make it longer")
    subprocess.run(["import", "-window", "root",
                    os.path.join(ctx.artefacts, "e2e-during-run.png")], check=True)
    closed_at = time.monotonic()
    close_window(ctx.program.pid)
    try:
        status = ctx.program.wait(timeout=10)
    except subprocess.TimeoutExpired:
        raise Failed("the program still runs 10 s after its window was closed")
    took = time.monotonic() - closed_at
    log("the program ended %.2f s after the close, status %d" % (took, status))
    if status != 0:
        raise Failed("the program ended with status %d" % status)
    if took > 3:
        raise Failed("the program took %.1f s to end" % took)
    with open(os.path.join(ctx.scratch, "config", "Tarnwick.ini")) as f:
        settings = f.read().splitlines()
    for line in ("Combo1=0", "Combo2=12", "Text1=hit", "LastFolder=" + ctx.folder):
        if line not in settings:
            raise Failed("the settings file lost %r" % line)


PATTERN = r"^\w+, \d{1,2} MARCH|\bcaf\w\b|ticket #?\d{3,}"
BAD_PATTERN = "(abc"


def type_over(box, text):
    click(box)
    xdotool("key", "--clearmodifiers", "ctrl+a")
    xdotool("type", "--delay", "20", text)
    wait_for("the typed text %r" % text, lambda: box.queryText().getText(0, -1) == text,
             timeout=10)


def regex_run(app, ctx):
    """Samples, "Regular expression" ticked with a click, an invalid pattern refused before
    anything runs, then a pattern with anchors, classes, accented letters and alternation run
    caseless; the rows are those Python's re finds line by line in the sample files."""
    import re
    click(find(app, "push button", "Load Sample/Example Files"))
    answer_alert(app, SAMPLE_QUESTION, "Escape")
    files_view = find(app, "table", "File(s)")
    files = wait_for("the sample files in the list", lambda: table_texts(files_view))

    box = find(app, "check box", "Regular expression")
    click(box)
    wait_for("the box to be ticked", lambda: box.getState().contains(pyatspi.STATE_CHECKED),
             timeout=10)
    search_box = find(app, "text", "Search Word/Words")
    type_over(search_box, BAD_PATTERN)
    combo = find(app, "combo box")
    click(combo)
    time.sleep(0.5)
    xdotool("key", "--clearmodifiers", "Home")
    for _ in range(MODE_INDEX):
        xdotool("key", "--clearmodifiers", "Down")
    xdotool("key", "--clearmodifiers", "Return")
    wait_for("the mode to be chosen", lambda: find(app, "combo box", MODE), timeout=10)
    option = find(app, "radio button", LINE_ONLY) or find(app, "check box", LINE_ONLY)
    click(option)
    no_alert_but(app)

    start = find(app, "push button", "Start Extracting")
    click(start)
    answer_alert(app, "The search text is not a valid regular expression: missing closing "
                 "parenthesis at offset 4.", "Return")
    results_view = find(app, "table", "Results")
    if table_texts(results_view):
        raise Failed("an invalid pattern added rows")
    if search_box.queryText().getText(0, -1) != BAD_PATTERN:
        raise Failed("the invalid pattern was not kept as typed")
    log("the invalid pattern is refused")

    type_over(search_box, PATTERN)
    click(start)
    answer_alert(app, "Done.", "Return")
    no_alert_but(app)
    shown = table_texts(results_view)
    time.sleep(0.3)
    subprocess.run(["import", "-window", "root",
                    os.path.join(ctx.artefacts, "e2e-window.png")], check=True)

    expected = []
    pattern = re.compile(PATTERN, re.IGNORECASE)
    for path in files:
        with open(path, "rb") as f:
            expected += [l for l in decoded_lines(f.read()) if l and pattern.search(l)]
    if not expected:
        raise Failed("the samples hold no line the pattern matches")
    if shown != expected:
        raise Failed("the results list shows %r, the files hold %r" % (shown, expected))
    log("the run shows the %d matching lines" % len(shown))

    ini = os.path.join(ctx.scratch, "config", "Tarnwick.ini")
    with open(ini, encoding="utf-8", errors="replace") as f:
        if "Check4=1" not in f.read().splitlines():
            raise Failed("settings file lacks Check4=1")
    ctx.program.send_signal(signal.SIGTERM)
    ctx.program.wait(timeout=10)


SCENARIOS = {
    "extract-and-save": (None, extract_and_save),
    "close-during-run": (close_during_run_setup, close_during_run),
    "regex-run": (None, regex_run),
}


class Context:
    pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--artefacts", required=True)
    parser.add_argument("--scenario", choices=sorted(SCENARIOS), default="extract-and-save")
    args = parser.parse_args()
    setup, scenario = SCENARIOS[args.scenario]
    os.makedirs(args.artefacts, exist_ok=True)
    ctx = Context()
    ctx.artefacts = args.artefacts
    ctx.program_folder = os.path.dirname(os.path.realpath(args.binary))
    ctx.scratch = tempfile.mkdtemp(prefix="lumbrex-e2e-")
    if setup:
        setup(ctx)

    bus = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    env = dict(os.environ)
    env.update({
        "QT_QPA_PLATFORM": "xcb",
        "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        "XDG_CONFIG_HOME": os.path.join(ctx.scratch, "config"),
        "HOME": ctx.scratch,
    })
    runtime = os.path.join(ctx.scratch, "runtime")
    os.mkdir(runtime, 0o700)
    env["XDG_RUNTIME_DIR"] = runtime
    program_log = open(os.path.join(args.artefacts, "lumbrex.log"), "w")
    ctx.program = None
    try:
        # Now and then the first connection to a just-started Xvfb is refused ("could not
        # connect to display"); the program then ends at once, and is started again.
        for attempt in range(3):
            time.sleep(0.5 + attempt)
            ctx.program = subprocess.Popen([args.binary], env=env, stdout=program_log,
                                           stderr=subprocess.STDOUT)
            app = wait_for("the program on the accessibility bus",
                           lambda: find_app(ctx.program.pid) or ctx.program.poll() is not None,
                           timeout=60)
            if app is not True:
                break
            log("the program ended at start with status %d; starting it again"
                % ctx.program.returncode)
        if app is True:
            raise Failed("the program does not start")
        wait_for("the main window", lambda: find(app, "push button", "Start Extracting"),
                 timeout=60)
        log("main window is up")
        scenario(app, ctx)
        if ctx.program.poll() is None:
            raise Failed("the program did not end")
        log("PASS")
        return 0
    except Exception as failure:  # every failure leaves a screenshot and the widget tree
        log("FAIL: %s: %s" % (type(failure).__name__, failure))
        try:
            subprocess.run(["import", "-window", "root",
                            os.path.join(args.artefacts, "e2e-failure.png")], check=False)
            app = find_app(ctx.program.pid) if ctx.program else None
            if app is not None:
                with open(os.path.join(args.artefacts, "accessible-tree.txt"), "w") as out:
                    dump(app, out)
        except Exception as extra:
            log("could not save the failure artefacts: %s" % extra)
        return 1
    finally:
        if ctx.program is not None and ctx.program.poll() is None:
            ctx.program.kill()
            ctx.program.wait()
        bus.terminate()
        bus.wait()
        program_log.close()
        shutil.rmtree(ctx.scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
