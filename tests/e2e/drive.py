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
import gzip
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse

import pyatspi

SEARCH = "dozida"
MODE_INDEX = 1
MODE = "Extract entire line which contains search word"
LINE_ONLY = "Show line only in results"
SAMPLE_QUESTION = "Would you like this software to open the folder"
CLOSE_FILES = 4
SCALE = float(os.environ.get("QT_SCALE_FACTOR", "1"))


class Failed(Exception):
    pass


# The exit status CTest counts as a skipped scenario.
SKIP_STATUS = 77


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


def screen_box(node):
    """A widget's place on the screen in X pixels: Qt reports device-independent pixels."""
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    box.x, box.y, box.width, box.height = (round(v * SCALE) for v in
                                           (box.x, box.y, box.width, box.height))
    return box


def centre(node):
    if node is None:
        raise Failed("the widget to click is not there")
    box = screen_box(node)
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
    type_over(find(app, "text", "Search Word/Words"), SEARCH)
    choose_mode(app)

    option = find(app, "radio button", LINE_ONLY)
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


def add_folder(app, ctx):
    """Add All File(s) In Folder with its two dialogs: the stored extension accepted with
    Return, the folder typed into the folder dialog."""
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


def close_during_run(app, ctx):
    """Files added through Add All File(s) In Folder with its two dialogs, Start Extracting,
    then the window closed while the run is busy: the program ends promptly with status 0
    and never says "Done."."""
    add_folder(app, ctx)
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


def extents(node):
    box = screen_box(node)
    return box.x, box.y, box.width, box.height


def pointer_shape():
    """The X server's current pointer image: (width, height, hotspot x, hotspot y)."""
    from Xlib import display

    d = display.Display()
    d.xfixes_query_version()
    image = d.xfixes_get_cursor_image(d.screen().root)
    d.close()
    return image.width, image.height, image.xhot, image.yhot


def is_hand(shape):
    # HAND-M.CUR is 32 x 32 with its hotspot at the fingertip (6, 0), scaled with the screen.
    width, _, xhot, yhot = shape
    return width % 32 == 0 and (xhot, yhot) == (6 * width // 32, 0)


def point_at(x, y, hand, where):
    xdotool("mousemove", "--sync", x, y)
    wanted = "the hand" if hand else "the arrow"
    wait_for("%s over %s" % (wanted, where), lambda: is_hand(pointer_shape()) == hand,
             timeout=5)


def do_action(node, name):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i).lower() == name:
            action.doAction(i)
            return
    raise Failed("%r has no %s action" % (role_and_name(node), name))


def settings_lines(ctx):
    try:
        with open(os.path.join(ctx.scratch, "config", "Tarnwick.ini"), encoding="utf-8",
                  errors="replace") as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


def wait_stored(ctx, *lines):
    wait_for("the settings %r" % (lines,),
             lambda: all(line in settings_lines(ctx) for line in lines), timeout=5)


def focused(node):
    return node.getState().contains(pyatspi.STATE_FOCUSED)


def checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)


def main_window_id(pid):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid),
                            "--name", "^Lumbrex$"], capture_output=True, text=True).stdout
    if not found.split():
        raise Failed("no visible main window")
    return found.split()[0]


def window_geometry(wid):
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid], capture_output=True,
                         text=True, check=True).stdout
    values = dict(line.split("=", 1) for line in out.split())
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def window_details(app, ctx):
    """The pointer over buttons and the background, the display options as one group of option
    buttons (accessibility actions and the keyboard), the input box's line breaks, the folder
    browser's first folder, a larger window kept between runs, and the lines dialog."""
    # The pointer: the hand over buttons, the arrow over every gap between them.
    add = extents(find(app, "push button", "Add File(s)"))
    add_all = extents(find(app, "push button", "Add All File(s) In Folder"))
    clear = extents(find(app, "push button", "Clear List"))
    help_button = extents(find(app, "push button", "Help"))
    start = extents(find(app, "push button", "Start Extracting"))
    button = (add[0] + add[2] // 2, add[1] + add[3] // 2)
    gaps = {
        "the gap between two button rows": (add[0] + add[2] // 2,
                                            (add[1] + add[3] + clear[1]) // 2),
        "the gap between two buttons of a row": ((add[0] + add[2] + add_all[0]) // 2,
                                                 add[1] + add[3] // 2),
        "the gap between the columns": ((help_button[0] + help_button[2] + start[0]) // 2,
                                        start[1] + start[3] // 2),
        "the window's margin": (help_button[0] - 3, add[1] + add[3] // 2),
    }
    for where, (x, y) in gaps.items():
        point_at(*button, True, "a button")
        point_at(x, y, False, where)
    log("the pointer is the hand over buttons and the arrow over %d gaps" % len(gaps))

    # The display options are option buttons; actions of assistive technology are stored.
    options = {name: find(app, "radio button", name) for name in
               ("Show filename and line in results", LINE_ONLY, "Show filename only in results")}
    for name, node in options.items():
        if node is None:
            raise Failed("%r is not announced as an option button" % name)
    do_action(options[LINE_ONLY], "toggle")
    wait_stored(ctx, "Option1=True", "Option2=False", "Option3=False")
    selected = [name for name, node in options.items() if checked(node)]
    if selected != [LINE_ONLY]:
        raise Failed("after the toggle action the selected options are %r" % selected)
    do_action(find(app, "check box", "Match Case"), "toggle")
    wait_stored(ctx, "Check1=1")
    log("accessibility actions select one option and are stored")

    # One tab stop for the group; the arrow keys select within it.
    one_line = find(app, "check box", "Put results all on one line in ")
    click(options[LINE_ONLY])
    wait_for("the focus on the selected option", lambda: focused(options[LINE_ONLY]), timeout=5)
    xdotool("key", "--clearmodifiers", "Tab")
    wait_for("Tab to leave the option group", lambda: focused(one_line), timeout=5)
    xdotool("key", "--clearmodifiers", "shift+Tab")
    wait_for("shift+Tab to come back to the selected option",
             lambda: focused(options[LINE_ONLY]), timeout=5)
    xdotool("key", "--clearmodifiers", "Down")
    wait_stored(ctx, "Option1=False", "Option2=False", "Option3=True")
    log("Tab stops once in the option group; Down selects the next option")

    # The input box keeps the line breaks of its prompt; the folder browser starts at home.
    click(find(app, "push button", "Add All File(s) In Folder"))
    prompt = wait_for("the extension question",
                      lambda: find(app, "label", starts="Enter file extension to load"))
    if "\n" not in prompt.name:
        raise Failed("the extension question shows on one line: %r" % prompt.name)
    click(prompt)
    xdotool("key", "--clearmodifiers", "Return")
    browser = wait_for("the folder browser", lambda: find(app, "dialog", "Please select folder:"))
    home = os.path.realpath(ctx.scratch)
    wait_for("the folder browser to start at home (%s)" % home,
             lambda: find(browser, "combo box", home), timeout=10)
    time.sleep(0.3)
    xdotool("key", "--clearmodifiers", "Escape")
    wait_for("the folder browser to close",
             lambda: not find(app, "dialog", "Please select folder:"))
    log("the prompt keeps its line breaks; the folder browser starts at home")

    # A larger window: the lists take the room, and the size is stored.
    results = find(app, "table", "Results")
    files = find(app, "table", "File(s)")
    results_before, files_before = extents(results), extents(files)
    wid = main_window_id(ctx.program.pid)
    xdotool("windowsize", "--sync", wid, 1200, 700)
    xdotool("windowmove", "--sync", wid, 0, 0)
    wait_for("the lists to grow", lambda: extents(results)[2] > results_before[2] + 80
             and extents(files)[3] > files_before[3] + 200, timeout=10)
    grown_results, grown_files = extents(results), extents(files)
    if grown_results[2] - results_before[2] < 2 * (grown_files[2] - files_before[2]):
        raise Failed("the results list took %d of the extra width, the file list %d"
                     % (grown_results[2] - results_before[2], grown_files[2] - files_before[2]))
    wait_stored(ctx, "WindowSize=1200x700")
    subprocess.run(["import", "-window", "root",
                    os.path.join(ctx.artefacts, "e2e-enlarged.png")], check=True)
    log("the lists grew to %dx%d and %dx%d; the size is stored"
        % (grown_files[2], grown_files[3], grown_results[2], grown_results[3]))

    # The lines dialog: centred on the screen, not over the window; lists tall enough.
    combo = find(app, "combo box")
    click(combo)
    time.sleep(0.5)
    xdotool("key", "--clearmodifiers", "Home")
    xdotool("key", "--clearmodifiers", "Return")
    dialog = wait_for("the lines dialog",
                      lambda: find(app, "dialog", "Lines Above And Below Options"))
    time.sleep(0.5)
    x, y, w, h = extents(dialog)
    screen_w, screen_h = (int(v) for v in subprocess.run(
        ["xdotool", "getdisplaygeometry"], capture_output=True, text=True,
        check=True).stdout.split())
    if abs(x + w // 2 - screen_w // 2) > 2 or abs(y + h // 2 - screen_h // 2) > 2:
        raise Failed("the lines dialog at %r is not centred on the %dx%d screen"
                     % ((x, y, w, h), screen_w, screen_h))
    for list_node in (n for n in walk(dialog) if role_and_name(n)[0] == "combo box"):
        height = extents(list_node)[3]
        if height < 20:
            raise Failed("a list of the lines dialog is %d pixels high" % height)
    close_button = extents(find(dialog, "push button", "Close"))
    point_at(close_button[0] + close_button[2] // 2, close_button[1] + close_button[3] // 2, True,
             "the dialog's Close button")
    point_at(x + 3, close_button[1] - 4, False, "the dialog's margin")
    click(find(dialog, "push button", "Close"))
    wait_for("the dialog to close",
             lambda: not find(app, "dialog", "Lines Above And Below Options"))
    log("the lines dialog opened centred, %dx%d" % (w, h))
    no_alert_but(app)

    # A new run opens at the stored size, centred.
    close_window(ctx.program.pid)
    ctx.program.wait(timeout=10)
    launch(ctx)
    geometry = window_geometry(main_window_id(ctx.program.pid))
    wanted = ((screen_w - 1200) // 2, (screen_h - 700) // 2, 1200, 700)
    if geometry != wanted:
        raise Failed("the window reopened at %r, not %r" % (geometry, wanted))
    log("the window reopened at its stored size, centred")
    ctx.program.send_signal(signal.SIGTERM)
    ctx.program.wait(timeout=10)


def high_density(app, ctx):
    """On a screen of twice the pixel density (QT_SCALE_FACTOR=2): the hand pointer is drawn at
    twice its size with its hotspot on the fingertip, and the window fits the screen."""
    x, y, w, h = extents(find(app, "push button", "Help"))
    point_at(x + w // 2, y + h // 2, True, "a button")
    shape = pointer_shape()
    if shape[0] != 64:
        raise Failed("the hand pointer is %dx%d on a double-density screen" % shape[:2])
    geometry = window_geometry(main_window_id(ctx.program.pid))
    screen_w, screen_h = (int(v) for v in subprocess.run(
        ["xdotool", "getdisplaygeometry"], capture_output=True, text=True,
        check=True).stdout.split())
    if geometry[2] < 2 * 1064 or geometry[0] < 0 or geometry[0] + geometry[2] > screen_w:
        raise Failed("the window at %r does not fit a %dx%d screen at twice the size"
                     % (geometry, screen_w, screen_h))
    subprocess.run(["import", "-window", "root",
                    os.path.join(ctx.artefacts, "e2e-high-density.png")], check=True)
    log("the hand pointer is %dx%d with its hotspot at %d,%d; the window is %dx%d"
        % (shape + geometry[2:]))
    ctx.program.send_signal(signal.SIGTERM)
    ctx.program.wait(timeout=10)


def double_click_below_setup(ctx):
    """Three small files in a folder, and the folder and extension stored as an earlier
    session would have left them."""
    folder = os.path.join(ctx.scratch, "three")
    os.mkdir(folder)
    for name in ("a.txt", "b.txt", "c.txt"):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(b"hit\r\n")
    os.makedirs(os.path.join(ctx.scratch, "config"))
    with open(os.path.join(ctx.scratch, "config", "Tarnwick.ini"), "w") as f:
        f.write("[Lumbrex]\nExtension=txt\nLastFolder=%s\n" % folder)
    ctx.folder = folder


def double_click_below(app, ctx):
    """The second file clicked, then a real double-click (press, release, press, release from
    the X server) on the empty area below the last file: the selected file goes."""
    add_folder(app, ctx)
    files_view = find(app, "table", "File(s)")
    files = wait_for("the folder's files in the list",
                     lambda: len(table_texts(files_view)) == 3 and table_texts(files_view))
    table = files_view.queryTable()
    click(table.getAccessibleAt(1, 0))
    last = table.getAccessibleAt(2, 0).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    box = files_view.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    x, y = box.x + 40, box.y + box.height - 20
    if y <= last.y + last.height:
        raise Failed("the list has no empty area below its last row")
    xdotool("mousemove", "--sync", x, y)
    xdotool("click", "--repeat", "2", "--delay", "80", "1")
    expected = [files[0], files[2]]
    wait_for("the selected file to go", lambda: table_texts(files_view) == expected,
             timeout=10)
    log("double-click below the rows removed %s" % os.path.basename(files[1]))
    time.sleep(0.3)
    if table_texts(files_view) != expected:
        raise Failed("the list changed again: %r" % table_texts(files_view))
    no_alert_but(app)
    subprocess.run(["import", "-window", "root",
                    os.path.join(ctx.artefacts, "e2e-double-click-below.png")], check=True)
    ctx.program.send_signal(signal.SIGTERM)
    ctx.program.wait(timeout=10)


def bad_stored_lines_setup(ctx):
    """A stored X beyond the lines dialog's list, as a damaged settings file holds it."""
    os.makedirs(os.path.join(ctx.scratch, "config"))
    with open(os.path.join(ctx.scratch, "config", "Tarnwick.ini"), "w") as f:
        f.write("[Lumbrex]\nCombo1=1\nCombo2=99\n")


def bad_stored_lines(app, ctx):
    """The lines dialog opened over a bad stored X reports it once; Tab out of the empty X list
    asks for a number once; answering brings back neither message."""
    combo = find(app, "combo box")
    click(combo)
    time.sleep(0.5)
    xdotool("key", "--clearmodifiers", "Home")
    xdotool("key", "--clearmodifiers", "Return")
    answer_alert(app, "Invalid property value", "Return")
    dialog = wait_for("the lines dialog",
                      lambda: find(app, "dialog", "Lines Above And Below Options"))
    time.sleep(0.5)
    no_alert_but(app)
    # The X list has the focus; Tab leaves it without a number in it.
    click(find(dialog, "label", "X - Line/s above") or dialog)
    xdotool("key", "--clearmodifiers", "Tab")
    answer_alert(app, "Must be numeric entry.", "Return")
    # A loop would bring a message back within moments of each answer.
    deadline = time.monotonic() + 3
    while time.monotonic() < deadline:
        no_alert_but(app)
        time.sleep(0.1)
    subprocess.run(["import", "-window", "root",
                    os.path.join(ctx.artefacts, "e2e-bad-stored-lines.png")], check=True)
    # Leaving the list again (Close, say) asks again, as it should: the dialog is left open.
    ctx.program.send_signal(signal.SIGTERM)
    ctx.program.wait(timeout=10)


PATTERN = r"^\w+, \d{1,2} MARCH|\bcaf\w\b|ticket #?\d{3,}"
BAD_PATTERN = "(abc"


def choose_mode(app):
    """Opens the mode list with a click and picks MODE with the keyboard."""
    click(find(app, "combo box"))
    time.sleep(0.5)
    xdotool("key", "--clearmodifiers", "Home")
    for _ in range(MODE_INDEX):
        xdotool("key", "--clearmodifiers", "Down")
    xdotool("key", "--clearmodifiers", "Return")
    wait_for("the mode to be chosen", lambda: find(app, "combo box", MODE), timeout=10)


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
    choose_mode(app)
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



class Skipped(Exception):
    pass


OPEN_LINES = b"alpha\r\nbeta\r\ngamma hit\r\ndelta\r\n\r\nepsilon hit\r\nzeta\r\n"


def open_at_line_setup(ctx):
    """A file with the search text on lines 3 and 6, an editor that records the arguments it
    is started with, and the options of a run stored as an earlier session would have."""
    folder = os.path.join(ctx.scratch, "rows")
    os.mkdir(folder)
    ctx.file = os.path.join(folder, "log with blanks.txt")
    with open(ctx.file, "wb") as f:
        f.write(OPEN_LINES)
    ctx.record = os.path.join(ctx.scratch, "editor-arguments")
    ctx.editor = os.path.join(ctx.scratch, "record-editor")
    with open(ctx.editor, "w") as f:
        f.write("#!/bin/sh\nprintf '%%s\\n' \"$@\" > '%s.part' && mv '%s.part' '%s'\n"
                % (ctx.record, ctx.record, ctx.record))
    os.chmod(ctx.editor, 0o755)
    os.makedirs(os.path.join(ctx.scratch, "config"))
    with open(os.path.join(ctx.scratch, "config", "Tarnwick.ini"), "w") as f:
        f.write("[Lumbrex]\nCombo1=1\nText1=hit\nOption1=True\nOption2=False\nOption3=False\n"
                "Extension=txt\nLastFolder=%s\n" % folder)
    ctx.folder = folder


def visible_windows(pid):
    return set(subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                              capture_output=True, text=True).stdout.split())


def recorded_arguments(ctx):
    try:
        with open(ctx.record) as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return None


FILE_MANAGER_XML = """<node><interface name="org.freedesktop.FileManager1">
<method name="ShowItems"><arg type="as" direction="in"/><arg type="s" direction="in"/></method>
</interface></node>"""


def serve_file_manager():
    """Answers as the desktop's file manager on the session bus, in a thread of its own, and
    returns the list that collects the files each ShowItems call was asked to show."""
    import threading
    from gi.repository import Gio, GLib

    shown = []
    ready = threading.Event()

    def call(connection, sender, path, interface, method, parameters, invocation):
        shown.append(parameters.unpack()[0])
        invocation.return_value(None)

    def serve():
        context = GLib.MainContext.new()
        context.push_thread_default()
        connection = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        info = Gio.DBusNodeInfo.new_for_xml(FILE_MANAGER_XML).interfaces[0]
        connection.register_object("/org/freedesktop/FileManager1", info, call, None, None)
        Gio.bus_own_name_on_connection(connection, "org.freedesktop.FileManager1",
                                       Gio.BusNameOwnerFlags.NONE,
                                       lambda *_: ready.set(), None)
        GLib.MainLoop.new(context, False).run()

    threading.Thread(target=serve, daemon=True).start()
    if not ready.wait(10):
        raise Failed("could not serve org.freedesktop.FileManager1")
    return shown


def open_at_line(app, ctx):
    """The run's rows, a real right-click on a row for its menu, "Choose Editor…" picked with
    the keyboard and a command typed (a script recording its arguments), then a row clicked
    and Return pressed: the script is started with the row's file and line. "Open at Line"
    from the menu opens the other row; Delete removes the selected row."""
    add_folder(app, ctx)
    files_view = find(app, "table", "File(s)")
    wait_for("the file in the list", lambda: len(table_texts(files_view)) == 1)
    click(find(app, "push button", "Start Extracting"))
    answer_alert(app, "Done.", "Return")
    results_view = find(app, "table", "Results")
    if table_texts(results_view) != ["gamma hit", "epsilon hit"]:
        raise Failed("the run shows %r" % table_texts(results_view))
    table = results_view.queryTable()

    # Popup menus are not in the accessibility tree: the menu is the window that appears, and
    # its items are reached with the arrow keys, which pass over disabled ones.
    def open_menu(row, *keys):
        before = visible_windows(ctx.program.pid)
        x, y = centre(table.getAccessibleAt(row, 0))
        xdotool("mousemove", "--sync", x, y)
        xdotool("click", "3")
        wait_for("the results list's menu",
                 lambda: visible_windows(ctx.program.pid) - before, timeout=10)
        time.sleep(0.3)
        subprocess.run(["import", "-window", "root",
                        os.path.join(ctx.artefacts, "e2e-results-menu.png")], check=True)
        for key in keys + ("Return",):
            xdotool("key", "--clearmodifiers", key)

    open_menu(1, "Up")  # the last item: "Choose Editor…"
    dialog = wait_for("the Choose Editor dialog", lambda: find(app, "dialog", "Choose Editor"))
    command = ctx.editor + " +%l %f"
    type_over(wait_for("the command box", lambda: find(dialog, "text", "Command line")), command)
    click(find(dialog, "push button", "OK"))
    wait_for("the dialog to close", lambda: not find(app, "dialog", "Choose Editor"))
    wait_stored(ctx, "Editor=" + command)
    log("the editor is set through the dialog")

    click(table.getAccessibleAt(1, 0))
    xdotool("key", "--clearmodifiers", "Return")
    outcome = wait_for("the editor to be started", lambda: recorded_arguments(ctx), timeout=10)
    if outcome != ["+6", ctx.file]:
        raise Failed("the editor was started with %r, not +6 and %r" % (outcome, ctx.file))
    log("Return opened %s at line 6" % os.path.basename(ctx.file))
    os.remove(ctx.record)

    open_menu(0, "Down")  # the first item: "Open at Line"
    arguments = wait_for("the editor to be started", lambda: recorded_arguments(ctx), timeout=10)
    if arguments != ["+3", ctx.file]:
        raise Failed("Open at Line started the editor with %r, not +3" % (arguments,))
    log("Open at Line opened line 3")

    shown = serve_file_manager()
    open_menu(0, "Down", "Down")  # "Open Containing Folder"
    wait_for("the file manager to be asked", lambda: shown, timeout=10)
    wanted = "file://" + urllib.parse.quote(ctx.file)
    if shown != [[wanted]]:
        raise Failed("the file manager was asked to show %r, not %r" % (shown, [[wanted]]))
    log("Open Containing Folder asked the file manager to show the file")

    def rows_now():
        try:
            return table_texts(results_view)
        except AttributeError:  # a row that went while the table was read
            return None

    click(table.getAccessibleAt(0, 0))
    xdotool("key", "--clearmodifiers", "Delete")
    wait_for("the row to go", lambda: rows_now() == ["epsilon hit"], timeout=10)
    log("Delete removed the selected row")
    no_alert_but(app)
    ctx.program.send_signal(signal.SIGTERM)
    ctx.program.wait(timeout=10)


def given_paths_setup(ctx):
    """A file and a folder given on the command line, as a file manager's "Open With" gives
    them; the folder holds files of the stored extension and others."""
    folder = os.path.join(ctx.scratch, "given")
    os.makedirs(os.path.join(folder, "deeper"))
    for name in ("one.txt", "two.log", os.path.join("deeper", "three.txt")):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(b"hit\r\n")
    loose = os.path.join(ctx.scratch, "loose notes.txt")
    with open(loose, "wb") as f:
        f.write(b"hit\r\n")
    os.makedirs(os.path.join(ctx.scratch, "config"))
    with open(os.path.join(ctx.scratch, "config", "Tarnwick.ini"), "w") as f:
        f.write("[Lumbrex]\nExtension=txt\n")
    ctx.arguments = [loose, folder]
    ctx.expected_files = [loose, os.path.join(folder, "one.txt"),
                          os.path.join(folder, "deeper", "three.txt")]


def given_paths(app, ctx):
    """`lumbrex FILE FOLDER`: the window opens with the file and the folder's files of the
    stored extension listed, in that order, and nothing asked or reported."""
    files_view = find(app, "table", "File(s)")
    wait_for("the given files in the list",
             lambda: table_texts(files_view) == ctx.expected_files, timeout=20)
    log("the list holds %s" % ", ".join(os.path.basename(p) for p in ctx.expected_files))
    time.sleep(0.3)
    no_alert_but(app)
    subprocess.run(["import", "-window", "root",
                    os.path.join(ctx.artefacts, "e2e-given-paths.png")], check=True)
    ctx.program.send_signal(signal.SIGTERM)
    ctx.program.wait(timeout=10)


def open_packed_row_setup(ctx):
    """A gzip file given on the command line, holding the search text on lines 3 and 6, the
    recording editor stored as the user's, and a temporary folder of the run's own."""
    open_at_line_setup(ctx)
    ctx.file = os.path.join(ctx.folder, "app.log.gz")
    with gzip.open(ctx.file, "wb") as f:
        f.write(OPEN_LINES)
    with open(os.path.join(ctx.scratch, "config", "Tarnwick.ini"), "a") as f:
        f.write("Editor=%s +%%l %%f\n" % ctx.editor)
    ctx.arguments = [ctx.file]
    ctx.temp = os.path.join(ctx.scratch, "tmp")
    os.mkdir(ctx.temp)
    ctx.extra_env = {"TMPDIR": ctx.temp}


def open_packed_row(app, ctx):
    """Return on a row of the gzip file: the editor is started at the row's line on a
    read-only copy of the decompressed text in a private folder, which goes when a signal
    ends the program."""
    files_view = find(app, "table", "File(s)")
    wait_for("the file in the list", lambda: table_texts(files_view) == [ctx.file], timeout=20)
    click(find(app, "push button", "Start Extracting"))
    answer_alert(app, "Done.", "Return")
    results_view = find(app, "table", "Results")
    if table_texts(results_view) != ["gamma hit", "epsilon hit"]:
        raise Failed("the run shows %r" % table_texts(results_view))
    click(results_view.queryTable().getAccessibleAt(1, 0))
    xdotool("key", "--clearmodifiers", "Return")
    arguments = wait_for("the editor to be started", lambda: recorded_arguments(ctx), timeout=10)
    folders = os.listdir(ctx.temp)
    if len(arguments) != 2 or arguments[0] != "+6" or len(folders) != 1:
        raise Failed("the editor was started with %r, the copies lie in %r" % (arguments, folders))
    copy = arguments[1]
    folder = os.path.join(ctx.temp, folders[0])
    if os.path.dirname(os.path.dirname(copy)) != folder or os.path.basename(copy) != "app.log":
        raise Failed("the copy %r is not in %r" % (copy, folder))
    with open(copy, "rb") as f:
        if f.read() != OPEN_LINES:
            raise Failed("the copy does not hold the decompressed text")
    modes = (os.stat(copy).st_mode & 0o7777, os.stat(folder).st_mode & 0o7777)
    if modes != (0o444, 0o700):
        raise Failed("the copy and its folder have modes %o and %o" % modes)
    log("Return opened a read-only copy of the text at line 6")
    no_alert_but(app)
    ctx.program.send_signal(signal.SIGTERM)
    ctx.program.wait(timeout=10)
    if os.listdir(ctx.temp):
        raise Failed("the copies are still there after SIGTERM: %r" % os.listdir(ctx.temp))
    log("SIGTERM removed the copies")


SCENARIOS = {
    "extract-and-save": (None, extract_and_save),
    "close-during-run": (close_during_run_setup, close_during_run),
    "window-details": (None, window_details),
    "high-density": (None, high_density),
    "double-click-below": (double_click_below_setup, double_click_below),
    "bad-stored-lines": (bad_stored_lines_setup, bad_stored_lines),
    "regex-run": (None, regex_run),
    "open-at-line": (open_at_line_setup, open_at_line),
    "given-paths": (given_paths_setup, given_paths),
    "open-packed-row": (open_packed_row_setup, open_packed_row),
}


class Context:
    pass


def launch(ctx):
    """Starts the program and returns its accessible application once the main window is up."""
    # Now and then the first connection to a just-started Xvfb is refused ("could not
    # connect to display"); the program then ends at once, and is started again.
    for attempt in range(3):
        time.sleep(0.5 + attempt)
        ctx.program = subprocess.Popen([ctx.binary] + ctx.arguments, env=ctx.env,
                                       stdout=ctx.program_log,
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
    return app


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
    ctx.arguments = []
    if setup:
        setup(ctx)

    bus = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    ctx.binary = args.binary
    env = ctx.env = dict(os.environ)
    env.update({
        "QT_QPA_PLATFORM": "xcb",
        "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        "XDG_CONFIG_HOME": os.path.join(ctx.scratch, "config"),
        "HOME": ctx.scratch,
    })
    env.update(getattr(ctx, "extra_env", {}))
    runtime = os.path.join(ctx.scratch, "runtime")
    os.mkdir(runtime, 0o700)
    env["XDG_RUNTIME_DIR"] = runtime
    program_log = ctx.program_log = open(os.path.join(args.artefacts, "lumbrex.log"), "w")
    ctx.program = None
    try:
        app = launch(ctx)
        scenario(app, ctx)
        if ctx.program.poll() is None:
            raise Failed("the program did not end")
        log("PASS")
        return 0
    except Skipped as skipped:
        log("SKIP: %s" % skipped)
        return SKIP_STATUS
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
