#!/usr/bin/python3
"""The desktop program as a screen reader reads it: through AT-SPI.

Runs the real `postrider` on a private X server (Xvfb) with Qt's AT-SPI
bridge on, inside the D-Bus session that CTest starts with dbus-run-session,
and reads its window through pyatspi the way Orca does: the names, values and
roles of the controls, the list as a table with column headers, the status
panes' texts and the announcement of their changes, and the controls of the
List Query, Configure, Preview and Letter Options dialogs.

Usage: accessibility_atspi_test.py POSTRIDER
Exit 0 when every check passed, 1 on a failure, 77 (skipped) only when
AT-SPI itself cannot be started on this machine.
"""

import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WAIT_SECONDS = 60
ATSPI_TIMEOUTS = (800, 15000)  # libatspi's own: a method call, a program starting

failures = []


def check(condition, what):
    if condition:
        print("ok: " + what)
    else:
        print("FAILED: " + what)
        failures.append(what)
    return condition


def skip(why):
    print("SKIPPED: " + why)
    sys.exit(SKIPPED)


try:
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import GLib
    import pyatspi
except (ImportError, ValueError) as error:
    print("FAILED: python3-pyatspi is missing (scripts/test installs it): %s" % error)
    sys.exit(1)


def start_xvfb():
    """A private X server on the first free display; returns (process, display)."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    with os.fdopen(read_end, "rb") as pipe:
        number = pipe.readline().strip()
    if not number:
        server.kill()
        raise RuntimeError("Xvfb did not start")
    return server, ":" + number.decode()


def stop(process):
    if process is None or process.poll() is not None:
        return
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def pump(seconds=0.0):
    """Lets pyatspi take the events that have come in."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while True:
        while context.iteration(False):
            pass
        if time.monotonic() >= end:
            return
        time.sleep(0.02)


def wait_for(find, what, seconds=WAIT_SECONDS):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            found = find()
        except GLib.Error:
            found = None
        if found:
            return found
        pump(0.1)
    return None


def descendants(node, depth=0):
    """Every accessible below `node`; a table's cells are left to its table interface."""
    if node is None or depth > 40:
        return
    yield node
    try:
        if node.getRole() == pyatspi.ROLE_TABLE:
            return
        count = node.childCount
    except GLib.Error:
        return
    for index in range(count):
        try:
            child = node.getChildAtIndex(index)
        except GLib.Error:
            continue
        yield from descendants(child, depth + 1)


def find_all(root, role=None, name=None):
    return [node for node in descendants(root)
            if (role is None or node.getRole() == role) and (name is None or node.name == name)]


def find_one(root, role=None, name=None):
    found = find_all(root, role, name)
    return found[0] if found else None


def text_of(node):
    try:
        text = node.queryText()
    except NotImplementedError:
        return None
    return text.getText(0, -1)


def do_action(node, wanted, wait_for_reply=True):
    """Runs the node's action named `wanted`. An action that opens a modal
    dialog answers only once the dialog closes, so its reply is not waited for."""
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    for index, name in enumerate(names):
        if name.lower() == wanted.lower():
            if wait_for_reply:
                return action.doAction(index)
            # libatspi waits for a method's reply up to the first figure, or
            # the second while it deems the program still starting.
            pyatspi.setTimeout(500, 500)
            try:
                action.doAction(index)
            except GLib.Error:
                pass
            finally:
                pyatspi.setTimeout(*ATSPI_TIMEOUTS)
            return True
    raise AssertionError("%s has no action %s (it has %s)" % (node.name, wanted, names))


def menu_item(frame, menu, item):
    """The item of the menu bar's menu `menu` named `item` (mnemonics ignored)."""
    bar = find_one(frame, pyatspi.ROLE_MENU_BAR)
    if bar is None:
        return None
    for index in range(bar.childCount):
        entry = bar.getChildAtIndex(index)
        if entry is None or entry.name.replace("&", "") != menu:
            continue
        for node in descendants(entry):
            if node is not entry and node.getRole() == pyatspi.ROLE_MENU_ITEM and \
                    node.name.replace("&", "") == item:
                return node
    return None


def check_main_window(frame):
    panes = {node.description: node for node in find_all(frame, pyatspi.ROLE_LABEL)
             if node.description}
    selection = panes.get("Selection and send progress")
    check(selection is not None, "status pane 1 is found by its description")
    if selection is not None:
        check(selection.name == "12 Selected",
              "status pane 1 is read by its text: %r" % selection.name)
    status = panes.get("Status")
    check(status is not None and status.name == "Ready", "status pane 0 reads Ready")

    to = [node for node in find_all(frame, pyatspi.ROLE_COMBO_BOX)]
    check(len(to) == 1, "one combo box in the window")
    if to:
        check(to[0].name == "To", "the To combo is named To, not after its value: %r" % to[0].name)
        check(text_of(to[0]) == "Email", "the To combo gives its value: %r" % text_of(to[0]))

    subject = find_one(frame, pyatspi.ROLE_TEXT, "Subject")
    check(subject is not None, "the Subject edit is named Subject")
    if subject is not None:
        check(text_of(subject) == "Spring readings at the Harbour Library",
              "the Subject edit gives its text: %r" % text_of(subject))
    check(find_one(frame, pyatspi.ROLE_TEXT, "Message text") is not None,
          "the letter's edit is named Message text")

    check(find_one(frame, pyatspi.ROLE_SEPARATOR, "Divider between list and message") is not None,
          "the bar between the list and the letter is a named separator")

    table = find_one(frame, pyatspi.ROLE_TABLE, "Mailing list")
    check(table is not None, "the list is a table named Mailing list")
    if table is not None:
        cells = table.queryTable()
        check(cells.nRows == 12 and cells.nColumns == 6,
              "the table has 12 rows and 6 columns: %d, %d" % (cells.nRows, cells.nColumns))
        headers = []
        for column in range(cells.nColumns):
            header = cells.getColumnHeader(column)
            headers.append(header.name if header is not None else None)
        check(headers == ["Status", "FirstName", "LastName", "Email", "City", "MemberSince"],
              "the columns have headers: %r" % headers)
        email = cells.getAccessibleAt(0, 3)
        check(email is not None and email.name == "ada.lovelace@example.com",
              "a cell reads its value: %r" % (email.name if email else None))
        mark = cells.getAccessibleAt(0, 0)
        check(mark is not None and mark.name == "selected, not sent",
              "the status cell reads the entry's mark: %r" % (mark.name if mark else None))

    toolbar = find_one(frame, pyatspi.ROLE_TOOL_BAR)
    check(toolbar is not None, "the window has a toolbar")
    if toolbar is not None:
        buttons = [node for node in descendants(toolbar)
                   if node.getRole() in (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON)]
        names = [button.name for button in buttons]
        check(len(buttons) == 8 and all(names), "every toolbar control is named: %r" % names)
    return selection


def check_announcement(frame, selection):
    heard = []

    def listen(event):
        if event.source is not None and event.source.name.endswith("Selected"):
            heard.append(event.source.name)

    pyatspi.Registry.registerEventListener(listen, "object:property-change:accessible-name")
    try:
        pump(0.5)
        item = menu_item(frame, "List", "UnSelect All")
        check(item is not None, "List > UnSelect All is reachable")
        if item is None:
            return
        do_action(item, "Press")
        wait_for(lambda: "0 Selected" in heard, "the announcement", 20)
        check("0 Selected" in heard, "a change of the selection is announced: %r" % heard)
        check(selection is not None and selection.name == "0 Selected",
              "status pane 1 reads the new count")
    finally:
        pyatspi.Registry.deregisterEventListener(listen, "object:property-change:accessible-name")


def open_dialog(application, frame, menu, item, title):
    node = menu_item(frame, menu, item)
    if not check(node is not None, "%s > %s is reachable" % (menu, item)):
        return None
    do_action(node, "Press", wait_for_reply=False)
    return wait_for(lambda: find_one(application, pyatspi.ROLE_DIALOG, title),
                    "the %s dialog" % title)


def close_dialog(dialog, application=None, title=None, button="Cancel"):
    """Presses the dialog's button; given its application and title, checks it goes."""
    pressed = find_one(dialog, pyatspi.ROLE_PUSH_BUTTON, button)
    if pressed is not None:
        do_action(pressed, "Press")
    if application is not None:
        check(wait_for(lambda: find_one(application, pyatspi.ROLE_DIALOG, title) is None,
                       "the dialog to close", 20), "the %s dialog closes" % title)


def check_query_dialog(application, frame):
    dialog = open_dialog(application, frame, "List", "Select on Query...", "List Query")
    if not check(dialog is not None, "the List Query dialog opens"):
        return
    combos = {node.name: node for node in find_all(dialog, pyatspi.ROLE_COMBO_BOX)}
    # The fields start with none chosen; the operators with the first.
    for name, value in (("First field", ""), ("First operator", "equals"),
                        ("Second field", ""), ("Second operator", "equals")):
        combo = combos.get(name)
        check(combo is not None, "the List Query dialog has a combo box named %s: %r"
              % (name, sorted(combos)))
        if combo is not None:
            check(text_of(combo) == value, "%s gives its value %r: %r" % (name, value, text_of(combo)))
    for name in ("First value", "Second value"):
        check(find_one(dialog, pyatspi.ROLE_TEXT, name) is not None,
              "the List Query dialog has an edit named %s" % name)
    close_dialog(dialog, application, "List Query")


def check_configure_dialog(application, frame):
    dialog = open_dialog(application, frame, "File", "Configure...", "Configure")
    if not check(dialog is not None, "the Configure dialog opens"):
        return
    security = find_one(dialog, pyatspi.ROLE_COMBO_BOX, "Security")
    check(security is not None, "Configure's security choice is named Security")
    if security is not None:
        check(text_of(security) == "None", "it gives its value: %r" % text_of(security))
    for name in ("Real Name", "Return Address", "SMTP Server", "User Name", "Trust File"):
        edit = find_one(dialog, pyatspi.ROLE_TEXT, name)
        check(edit is not None, "Configure has an edit named %s" % name)
    server = find_one(dialog, pyatspi.ROLE_TEXT, "SMTP Server")
    if server is not None:
        check(text_of(server).startswith("127.0.0.1:"), "SMTP Server gives its value: %r"
              % text_of(server))
    check(find_one(dialog, pyatspi.ROLE_PASSWORD_TEXT, "Password") is not None,
          "Configure's password edit is named Password")
    unnamed = [node.getRoleName() for node in descendants(dialog)
               if node.getRole() in (pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_TEXT,
                                     pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_PASSWORD_TEXT)
               and not node.name]
    check(not unnamed, "every control of Configure is named: %r" % unnamed)
    close_dialog(dialog, application, "Configure")


def labels_by_description(root):
    return {node.description: node for node in find_all(root, pyatspi.ROLE_LABEL)
            if node.description}


def check_preview(application, frame):
    # Next steps through the selected entries: select them all again.
    everyone = menu_item(frame, "List", "Select All")
    if check(everyone is not None, "List > Select All is reachable"):
        do_action(everyone, "Press")
    dialog = open_dialog(application, frame, "Message", "Preview", "Preview")
    if not check(dialog is not None, "the Preview dialog opens"):
        return
    # The entry label is read by what it shows, and read anew on Next.
    entry = labels_by_description(dialog).get("Entry")
    check(entry is not None and entry.name.startswith("Entry 1 of 12: ") and "@" in entry.name,
          "Preview's entry label reads the entry and its address: %r"
          % (entry.name if entry else None))
    message = find_one(dialog, pyatspi.ROLE_TEXT, "Message")
    check(message is not None and "To: " in (text_of(message) or ""),
          "Preview's message gives its text")
    following = find_one(dialog, pyatspi.ROLE_PUSH_BUTTON, "Next")
    if check(following is not None, "Preview has a Next button") and entry is not None:
        do_action(following, "Press")
        check(wait_for(lambda: entry.name.startswith("Entry 2 of 12: "), "the next entry", 20),
              "after Next the entry label reads the next entry: %r" % entry.name)
    unnamed = [node.getRoleName() for node in descendants(dialog)
               if node.getRole() in (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_RADIO_BUTTON,
                                     pyatspi.ROLE_TEXT, pyatspi.ROLE_LIST) and not node.name]
    check(not unnamed, "every control of Preview is named: %r" % unnamed)
    close_dialog(dialog, application, "Preview", "Close")


def check_letter_options(application, frame):
    dialog = open_dialog(application, frame, "Message", "Letter Options...", "Letter Options")
    if not check(dialog is not None, "the Letter Options dialog opens"):
        return
    combos = {node.name: node for node in find_all(dialog, pyatspi.ROLE_COMBO_BOX)}
    for name, value in (("Format", "Plain text"), ("Cc field", "(none)"),
                        ("Bcc field", "(none)")):
        combo = combos.get(name)
        check(combo is not None and text_of(combo) == value,
              "Letter Options' %s combo gives its value %r: %r"
              % (name, value, text_of(combo) if combo else sorted(combos)))
    for name in ("Bcc address", "Reply-To", "Unsubscribe address", "Unsubscribe link"):
        check(find_one(dialog, pyatspi.ROLE_TEXT, name) is not None,
              "Letter Options has an edit named %s" % name)
    check(find_one(dialog, pyatspi.ROLE_CHECK_BOX, "Fill merge fields in the subject") is not None,
          "Letter Options' subject box is named")
    close_dialog(dialog, application, "Letter Options")


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start_sink(port):
    """smtp-sink on loopback, two seconds' wait before each DATA answer so that
    a run lasts long enough to be watched and paused."""
    sink = subprocess.Popen(["/usr/sbin/smtp-sink", "-u", "nobody", "-w", "2",
                             "127.0.0.1:%d" % port, "100"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    end = time.monotonic() + WAIT_SECONDS
    while time.monotonic() < end and sink.poll() is None:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return sink
        except OSError:
            time.sleep(0.05)
    stop(sink)
    raise RuntimeError("smtp-sink did not start")


def answer(application, button):
    """Presses `button` of the next message box."""
    def find():
        for dialog in find_all(application, pyatspi.ROLE_DIALOG) + \
                find_all(application, pyatspi.ROLE_ALERT):
            found = find_one(dialog, pyatspi.ROLE_PUSH_BUTTON, button)
            if found is not None:
                return found
        return None
    found = wait_for(find, "a box with %s" % button)
    if found is not None:
        do_action(found, "Press", wait_for_reply=False)
    return found


def check_send_and_pause(application, frame, selection):
    """A run's pane text and progress value change as it goes, and Pause,
    pressed through AT-SPI, stops it."""
    heard = []

    def listen(event):
        if event.source is not None and event.source.name.startswith("Sending "):
            heard.append(event.source.name)

    progress_values = []

    def listen_value(event):
        if event.source is not None and event.source.name == "Send progress":
            try:
                progress_values.append(event.source.queryValue().currentValue)
            except (NotImplementedError, GLib.Error):
                pass

    pyatspi.Registry.registerEventListener(listen, "object:property-change:accessible-name")
    pyatspi.Registry.registerEventListener(listen_value, "object:property-change:accessible-value")
    try:
        # Found before the run: reading the tree while it runs takes its time.
        pause = [node for node in descendants(find_one(frame, pyatspi.ROLE_TOOL_BAR))
                 if node.name == "Pause" and node.getRole() in (pyatspi.ROLE_PUSH_BUTTON,
                                                                pyatspi.ROLE_TOGGLE_BUTTON)]
        check(len(pause) == 1, "the toolbar's Pause is reachable")
        bar = find_one(find_one(frame, pyatspi.ROLE_STATUS_BAR), pyatspi.ROLE_PROGRESS_BAR,
                       "Send progress")
        send = menu_item(frame, "Message", "Send")
        if not check(send is not None, "Message > Send is reachable"):
            return
        do_action(send, "Press", wait_for_reply=False)
        check(answer(application, "Yes") is not None, "the question before sending is answered")
        check(wait_for(lambda: len(heard) >= 2, "two progress texts") is not None,
              "the pane's progress text is announced as the run goes: %r" % heard)
        if check(bar is not None, "the send progress bar is named Send progress"):
            value = bar.queryValue()
            check(0 < value.currentValue < value.maximumValue == 12,
                  "the progress bar gives how far the run is: %r of %r"
                  % (value.currentValue, value.maximumValue))
        if pause:
            do_action(pause[0], "Press")
        def final_box():
            # Only the boxes: reading the whole main window again takes long.
            for index in range(application.childCount):
                window = application.getChildAtIndex(index)
                if window is None or window.getRole() not in (pyatspi.ROLE_DIALOG,
                                                              pyatspi.ROLE_ALERT):
                    continue
                found = [node for node in find_all(window, pyatspi.ROLE_LABEL)
                         if "not reached" in node.name.lower()
                         or "Total Messages Sent" in node.name]
                if found:
                    return found
            return None
        closing = wait_for(final_box, "the final box")
        check(closing is not None and "not reached" in closing[0].name.lower(),
              "the paused run ends in a box that says what was not reached: %r"
              % ([node.name for node in closing] if closing else None))
        if bar is not None:
            value = bar.queryValue().currentValue
            check(value < 12, "Pause stopped the run, and the progress bar tells where: %r" % value)
        check(progress_values, "the progress bar's changes are announced: %r" % progress_values)
        check(len(heard) >= 2 and heard[-1] != heard[0],
              "the pane's text changed as the run went: %r" % heard)
        check(selection.name.startswith("Sending "),
              "status pane 1 still reads where the paused run stopped: %r" % selection.name)
        answer(application, "OK")
    finally:
        pyatspi.Registry.deregisterEventListener(listen, "object:property-change:accessible-name")
        pyatspi.Registry.deregisterEventListener(listen_value,
                                                 "object:property-change:accessible-value")


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    program = sys.argv[1]
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        skip("no D-Bus session: run under dbus-run-session")
    if shutil.which("Xvfb") is None:
        print("FAILED: Xvfb is missing (scripts/test installs it)")
        return 1

    folder = tempfile.mkdtemp(prefix="postrider-atspi-")
    xvfb = None
    app = None
    sink = None
    port = free_port()
    try:
        for name in os.listdir(os.path.join(SOURCE_DIR, "examples")):
            shutil.copy(os.path.join(SOURCE_DIR, "examples", name), folder)
        config = os.path.join(folder, "config", "postrider")
        os.makedirs(config)
        with open(os.path.join(config, "postrider.ini"), "w") as settings:
            settings.write("[Settings]\nCurrentProjectFile=%s\nReturnAddress=library@example.com\n"
                           "SMTPServer=127.0.0.1:%d\n" % (os.path.join(folder, "example.prj"), port))
        runtime = os.path.join(folder, "runtime")
        os.makedirs(runtime, mode=0o700)

        sink = start_sink(port)
        xvfb, display = start_xvfb()
        environment = dict(os.environ)
        environment.update({
            "DISPLAY": display,
            "QT_QPA_PLATFORM": "xcb",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_ACCESSIBILITY": "1",
            "XDG_CONFIG_HOME": os.path.join(folder, "config"),
            "XDG_STATE_HOME": os.path.join(folder, "state"),
            "XDG_RUNTIME_DIR": runtime,
        })
        environment.pop("QT_QPA_PLATFORMTHEME", None)
        os.environ["DISPLAY"] = display

        try:
            desktop = pyatspi.Registry.getDesktop(0)
            desktop.childCount
        except GLib.Error as error:
            skip("AT-SPI could not start: %s" % error)

        log = open(os.path.join(folder, "postrider.log"), "w")
        app = subprocess.Popen([program], env=environment, stdout=log, stderr=subprocess.STDOUT)

        def application():
            desktop = pyatspi.Registry.getDesktop(0)
            for index in range(desktop.childCount):
                child = desktop.getChildAtIndex(index)
                if child is not None and child.name.lower() == "postrider":
                    return child
            return None

        def main_window():
            found = application()
            if found is None:
                return None
            for index in range(found.childCount):
                window = found.getChildAtIndex(index)
                if window is not None and window.name.endswith("Postrider") and \
                        find_one(window, pyatspi.ROLE_TABLE, "Mailing list") is not None:
                    return window
            return None

        frame = wait_for(main_window, "the main window")
        if frame is None:
            if app.poll() is not None:
                print("FAILED: postrider ended with %s" % app.returncode)
                return 1
            if application() is None:
                skip("postrider never registered with AT-SPI (the accessibility bus did not "
                     "reach it)")
            print("FAILED: the main window never showed its list through AT-SPI")
            return 1
        check(True, "postrider's main window is on the accessibility bus")

        selection = check_main_window(frame)
        check_announcement(frame, selection)
        check_query_dialog(application(), frame)
        check_configure_dialog(application(), frame)
        check_preview(application(), frame)
        check_letter_options(application(), frame)
        check_send_and_pause(application(), frame, selection)
    finally:
        stop(app)
        stop(xvfb)
        stop(sink)
        shutil.rmtree(folder, ignore_errors=True)

    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("every check passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
