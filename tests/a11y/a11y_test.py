#!/usr/bin/python3
"""The real program as a screen reader and a keyboard-only user meet it.

Starts the program from a private program folder under Xvfb with a private
session bus (which brings up the accessibility bus), then through AT-SPI:
every control of the main, Options and progress windows has a name (combo
boxes also a label they are labelled by), Tab walks every window round in
reading order and leaves the grid, and a file is added, trimmed, converted and
stopped with keys alone. Prints the Tab orders it saw.

    a11y_test.py BUILD_DIR
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

BUILD = os.path.abspath(sys.argv[1])
CONTROLS = {"push button", "check box", "combo box", "text", "table", "progress bar", "toggle button",
            "spin button", "slider", "radio button", "link", "table column header", "page tab", "list item"}
failures = []


def role_of(node):
    """The role's name; AT-SPI 2.56 (Debian 13) calls a push button "button"."""
    name = node.getRoleName()
    return "push button" if name == "button" else name


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return condition


def wait_for(condition, timeout=15.0, step=0.05):
    end = time.monotonic() + timeout
    while True:
        try:
            value = condition()
        except Exception:  # an object gone while it was read
            value = None
        if value or time.monotonic() > end:
            return value
        time.sleep(step)


class Session:
    """Xvfb, a session bus and the program; every process goes at the end."""

    def __init__(self):
        self.work = tempfile.mkdtemp(prefix="vtpc-a11y-")
        self.procs = []
        # A display of our own: no lock file, and no server answering on it
        # (one in another file system view still holds its abstract socket).
        def answers(number):
            return subprocess.run(["xdpyinfo", "-display", ":%d" % number], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL).returncode == 0

        display = None
        for number in range(100 + os.getpid() % 300, 500):
            if os.path.exists("/tmp/.X%d-lock" % number) or answers(number):
                continue
            self.xvfb = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1280x900x24", "-nolisten", "tcp"],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            up = wait_for(lambda: self.xvfb.poll() is not None or answers(number), 10, 0.1)
            if up and self.xvfb.poll() is None:
                display = str(number)
                break
            self.xvfb.wait()
        if not display:
            raise RuntimeError("no display for Xvfb")
        # The services the bus starts (the accessibility bus and its registry,
        # which sends the keys) see the display too.
        os.environ.update(DISPLAY=":" + display, HOME=self.work, XDG_RUNTIME_DIR=self.work,
                          XDG_CONFIG_HOME=self.work + "/config", QT_QPA_PLATFORM="xcb",
                          QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        os.environ.pop("QT_SCALE_FACTOR", None)
        # A window manager, as on a desktop: it gives the new window the keyboard
        # and keeps owned windows above their owner.
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Its own process group: the accessibility bus it starts goes with it.
        self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                                    start_new_session=True)
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.bus.stdout.readline().strip()
        self.program = os.path.join(self.work, "program")
        os.makedirs(os.path.join(self.program, "Config"))
        for name in ("video-to-plim-converter", "Res.so", "Form.so", "Help.html", "evc", "revc"):
            shutil.copy(os.path.join(BUILD, name), self.program)

    def start(self):
        self.app = subprocess.Popen([os.path.join(self.program, "video-to-plim-converter")],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self):
        for proc in (getattr(self, "app", None), self.wm, self.xvfb):
            if proc and proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        try:
            os.killpg(self.bus.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        self.bus.wait()
        shutil.rmtree(self.work, ignore_errors=True)


def main():
    session = Session()
    try:
        path = os.path.join(session.work, "keyboard clip.avi")
        subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=30",
                        "-c:v", "mpeg4", "-q:v", "8", path], check=True)
        # The registry runs before the program, as on a desktop: Qt 6.8 embeds
        # the program only in a registry that is there, and does not start one.
        import pyatspi  # after the bus address is set
        pyatspi.Registry.getDesktop(0).childCount
        session.start()
        run(session, path)
    finally:
        session.close()
    if failures:
        print("%d failure(s)" % len(failures))
        return 1
    print("all passed")
    return 0


def run(session, clip):
    import pyatspi  # after the bus address is set
    desktop = pyatspi.Registry.getDesktop(0)

    def app():
        for a in desktop:
            if a is not None and a.name == "Video To Plim Converter":
                return a
        return None

    def walk(node, only_showing=False):
        yield node
        for child in node:
            if child is not None and (not only_showing or showing(child)):
                yield from walk(child, only_showing)

    def showing(node):
        return node.getState().contains(pyatspi.STATE_SHOWING)

    def frame(test):
        a = app()
        return next((w for w in a if w is not None and showing(w) and test(w)), None) if a else None

    def find(root, role, name):
        return next((n for n in walk(root) if role_of(n) == role and n.name == name and showing(n)), None)

    def focused():
        """The focused control of the active window."""
        a = app()
        active = next((w for w in a if w is not None and w.getState().contains(pyatspi.STATE_ACTIVE)), None) if a else None
        if not active:
            return None
        # Qt 6.8 marks a closed combo box's current item focused too: what is
        # not showing cannot hold the focus.
        return next((n for n in walk(active, True) if n.getState().contains(pyatspi.STATE_FOCUSED)), None)

    def key(*keys):
        """Keys as a user presses them, one after the other ("ctrl+i", "Tab")."""
        subprocess.run(["xdotool", "key", "--delay", "30"] + list(keys), check=True)
        time.sleep(0.05)

    def type_text(text):
        subprocess.run(["xdotool", "type", "--delay", "5", text], check=True)

    def tab_to(name, limit=40):
        for _ in range(limit):
            f = focused()
            if f is not None and (f.name == name or role_of(f) == "table cell" and name == "Source files"):
                return f
            key("Tab")
        return None

    def cell(table, text, timeout):
        return wait_for(lambda: next((n for n in walk(table) if role_of(n) == "table cell"
                                      and n.name == text), None), timeout)

    def label(node):
        return "%s '%s'" % (role_of(node), node.name)

    def tab_walk(start_name, limit=60):
        """Tab from the control named start_name round to it again: the labels on the way."""
        order = []
        current = focused()
        for _ in range(limit):
            before = current
            key("Tab")
            current = wait_for(lambda: (lambda f: f if f is not None and f != before else None)(focused()), 3)
            if current is None:
                check(False, "Tab moves on from %s" % (label(before) if before else "nothing"))
                return order
            order.append(label(current))
            if current.name == start_name and len(order) > 1:
                return order
        check(False, "Tab comes back round to %s" % start_name)
        return order

    def names_of(window, what):
        for node in walk(window):
            if role_of(node) in CONTROLS and showing(node):
                check(node.name.strip() != "", "%s: a %s without a name" % (what, role_of(node)))
            if role_of(node) == "combo box" and showing(node):
                by = [r for r in node.getRelationSet() if r.getRelationType() == pyatspi.RELATION_LABELLED_BY]
                names = [r.getTarget(i).name for r in by for i in range(r.getNTargets())]
                check(any(n.endswith(":") for n in names), "%s: combo box '%s' has a label" % (what, node.name))

    main = wait_for(lambda: frame(lambda w: find(w, "push button", "Convert") is not None), 30)
    if not check(main is not None, "the main window appears on the accessibility bus"):
        return
    names_of(main, "main window")
    # The window manager's view: the desktop entry's ID as the window class, an icon.
    window = subprocess.run(["xdotool", "getactivewindow"], capture_output=True, text=True).stdout.strip()
    props = subprocess.run(["xprop", "-id", window, "WM_CLASS", "_NET_WM_ICON"], capture_output=True).stdout
    check(b'"example.quorvansoft.VideoToPlimConverter"' in props, "WM_CLASS names the app ID: %r" % props[:90])
    check(b"Icon (" in props, "the window has an icon")

    # The Tab walk of the main window, from its first control round again.
    key("Tab")
    wait_for(focused, 3)
    first = focused()
    if check(first is not None, "Tab gives a control the focus"):
        order = tab_walk(first.name)
        print("main window Tab order:", ", ".join(order))
        check("push button 'Convert'" in order, "Tab reaches Convert")
        if "table 'Source files'" in order:
            after = order[order.index("table 'Source files'") + 1]
            check(after.startswith("push button"), "Tab leaves the grid (then %s)" % after)
        else:
            check(False, "Tab reaches the grid")

    # The Options dialog with Ctrl+I; Esc closes it.
    key("ctrl+i")
    options = wait_for(lambda: frame(lambda w: find(w, "push button", "Add") is not None), 10)
    if check(options is not None, "Ctrl+I opens the Options dialog"):
        names_of(options, "Options dialog")
        start = focused()
        if check(start is not None, "the Options dialog has the focus"):
            print("Options dialog Tab order:", ", ".join(tab_walk(start.name)))
        key("Escape")  # Esc
        check(wait_for(lambda: frame(lambda w: find(w, "push button", "Add") is not None) is None, 5),
              "Esc closes the Options dialog")

    # Add the clip: Ctrl+O, its path typed into the open dialog, Enter.
    key("ctrl+o")
    dialog = wait_for(lambda: frame(lambda w: role_of(w) in ("dialog", "file chooser")
                                    and showing(w) and find(w, "push button", "Convert") is None), 10)
    if not check(dialog is not None, "Ctrl+O opens the open dialog"):
        return
    time.sleep(0.3)
    type_text(clip)
    time.sleep(0.2)
    key("Return")  # Enter
    table = find(main, "table", "Source files")
    if not check(cell(table, clip, 15) is not None, "the typed path is added to the list"):
        return

    # Into the grid, to the start time, a time typed, Enter.
    tab_to("Source files")
    key("Home")  # Home: the first cell of the row
    for _ in range(4):
        key("Right")  # Right, to "Start Time"; the editor opens
    time.sleep(0.3)
    type_text("000012")
    key("Return")
    check(cell(table, "00:00:12", 5) is not None, "the typed start time is in the row")

    # Convert with Ctrl+S; Tab to Stop in the progress window, Space, Yes with Enter.
    key("ctrl+s")
    progress = wait_for(lambda: frame(lambda w: find(w, "push button", "Stop conversion") is not None), 15)
    if not check(progress is not None, "Ctrl+S shows the progress window"):
        return
    names_of(progress, "progress window")
    start = focused()
    if not check(start is not None, "the progress window has the focus"):
        return
    order = tab_walk(start.name)
    print("progress window Tab order:", ", ".join(order))
    check("push button 'Pause conversion'" in order, "Tab reaches Pause in the progress window")
    if not check(tab_to("Stop conversion", len(order)), "Tab reaches Stop in the progress window"):
        return
    key("space")  # Space
    question = wait_for(lambda: frame(lambda w: find(w, "push button", "Yes") is not None
                                      or find(w, "push button", "&Yes") is not None), 10)
    if check(question is not None, "Stop asks first"):
        key("Return")  # Yes is the default
    check(wait_for(lambda: frame(lambda w: find(w, "push button", "Stop conversion") is not None) is None, 15),
          "the progress window goes after Stop")
    convert = find(main, "push button", "Convert")
    check(wait_for(lambda: convert.getState().contains(pyatspi.STATE_ENABLED), 10),
          "the main window takes input again")


if __name__ == "__main__":
    sys.exit(main())
