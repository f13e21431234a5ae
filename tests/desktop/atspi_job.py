#!/usr/bin/python3
"""The running demo as a screen reader sees it, through AT-SPI only.

  atspi_job.py APP_NAME EXPECTED_TEXT [--menu]

Checks the tree of the application APP_NAME (every control that takes input
or shows text named, with its role; the label tied to the address box), then
presses Start through the action interface, follows the progress as the
status bar's name changes, and compares the output box's text, read through
the text interface, with EXPECTED_TEXT (CR LF line breaks). With --menu it
also opens the popup menu from the keyboard (X11 only) and checks its names.
Prints what it checked; exits 1 on any failure.
"""
import sys
import time

import pyatspi
from gi.repository import GLib

WAIT_S = 30
# The window's controls as (role, name), in the tree's order.
EXPECTED_CONTROLS = [
    ("frame", "Velbrook1.0b"),
    ("label", "请输入你要脱水的贴子网址:"),
    ("text", "请输入你要脱水的贴子网址:"),  # the address box, named by its label
    ("push button", "开 始"),
    ("text", "脱水结果"),
    ("scroll bar", "脱水结果滚动条"),
    ("text", "使用说明"),
    ("scroll bar", "使用说明滚动条"),
    ("status bar", "当前进度:"),
    ("label", "作者:Pellam"),
    ("label", "当前进度:"),
]
EXPECTED_MENU = [
    ("popup menu", "功能菜单"),
    ("menu item", "去看看有没新版本(G)"),
    ("menu item", "去帮Pellam浇花(H)"),
    ("separator", ""),
    ("menu item", "把文档保存为TXT(S)"),
]
# Nodes that only hold others; all else that is shown needs a name.
CONTAINERS = {"filler", "panel", "frame", "separator"}
FINAL_PROGRESS = "当前进度:100.00%,(4/4)"

failures = []


def check(ok, what):
    print(("ok: " if ok else "FAILED: ") + what)
    if not ok:
        failures.append(what)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def walk(node):
    yield node
    for child in node:
        if child is not None:
            yield from walk(child)


def wait_for(find):
    """What find() returns once it is not None; None after WAIT_S."""
    end = time.monotonic() + WAIT_S
    while time.monotonic() < end:
        found = find()
        if found is not None:
            return found
        time.sleep(0.1)
    return None


def node(top, role, name=None):
    """The first node below top with role (and name), or None."""
    return next((n for n in walk(top)
                 if n.getRoleName() == role and (name is None or n.name == name)), None)


def do_action(target, name):
    action = target.queryAction()
    action.doAction([action.getName(i) for i in range(action.nActions)].index(name))


def application(name):
    def find():
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == name and app.childCount:
                return app
        return None
    app = wait_for(find)
    if app is None:
        sys.exit("FAILED: no application %s on the AT-SPI bus within %d s" % (name, WAIT_S))
    return app


def relation_targets(node, relation):
    for each in node.getRelationSet():
        if each.getRelationType() == relation:
            return [each.getTarget(i) for i in range(each.getNTargets())]
    return []


def dump(node, depth=0):
    relations = []
    for each in node.getRelationSet():
        kind = each.getRelationType().value_nick
        targets = ",".join(each.getTarget(i).name for i in range(each.getNTargets()))
        relations.append("%s->%s" % (kind, targets))
    hidden = "" if showing(node) else " (hidden)"
    print("  %s%s %r%s %s" % ("  " * depth, node.getRoleName(), node.name, hidden,
                              " ".join(relations)))
    for child in node:
        if child is not None:
            dump(child, depth + 1)


def check_names(app, top):
    shown = [n for n in walk(top) if showing(n)]
    unnamed = [n.getRoleName() for n in shown
               if not n.name and (n.getRoleName() not in CONTAINERS or n.parent == app)]
    check(not unnamed, "every shown control that is not a container has a name (unnamed: %s)"
          % ", ".join(unnamed))
    return [(n.getRoleName(), n.name) for n in shown
            if n.getRoleName() not in CONTAINERS or n.parent == app]


def check_tree(app):
    window = app[0]
    print("tree:")
    dump(window)
    seen = check_names(app, window)
    check(seen == EXPECTED_CONTROLS, "roles and names, in order: %s" % seen)
    label, box = node(window, "label"), node(window, "text")
    check([t.name for t in relation_targets(label, pyatspi.RELATION_LABEL_FOR)] == [box.name],
          "the label %r is label-for the address box" % label.name)
    check([t.name for t in relation_targets(box, pyatspi.RELATION_LABELLED_BY)] == [label.name],
          "the address box is labelled-by the label")
    return window


def run_job(window, expected):
    start, output = node(window, "push button", "开 始"), node(window, "text", "脱水结果")
    bar = node(window, "status bar")
    check(None not in (start, output, bar), "the Start button, the output box and the status bar")
    if None in (start, output, bar):
        return
    progress = []

    # Qt's event carries the object, not the text: the name is read from it.
    def on_name(event):
        if event.source.getRoleName() == "status bar":
            progress.append(event.source.name)

    pyatspi.Registry.registerEventListener(on_name, "object:property-change:accessible-name")
    do_action(start, "Press")
    run_loop_until(lambda: len(progress) >= 4 and progress[-1] == FINAL_PROGRESS)
    pyatspi.Registry.deregisterEventListener(on_name, "object:property-change:accessible-name")
    print("status bar changes: %s" % progress)
    check(len(progress) == 4 and progress[-1] == FINAL_PROGRESS,
          "each of the 4 progress texts reached AT-SPI as a name change of the status bar")
    check(bar.name == FINAL_PROGRESS, "the status bar reads %r" % bar.name)
    # The last page's block follows its progress text: the text is read
    # until it is the expected one or the time is up.
    want = expected.replace("\r\n", "\n")
    text = output.queryText()
    end = time.monotonic() + WAIT_S
    while True:
        shown = text.getText(0, text.characterCount)
        if shown == want or time.monotonic() > end:
            break
        time.sleep(0.1)
    check(shown == want, "the output box's text (%d characters) is the expected text (%d)"
          % (len(shown), len(want)))
    if shown != want:
        at = next((i for i, (a, b) in enumerate(zip(shown, want)) if a != b),
                  min(len(shown), len(want)))
        print("  first difference at %d: %r / expected %r" % (at, shown[at:at + 40],
                                                               want[at:at + 40]))


def run_loop_until(done):
    """Turns the AT-SPI event loop until done() holds or WAIT_S passed."""
    began = time.monotonic()

    def poll():
        if done() or time.monotonic() - began > WAIT_S:
            pyatspi.Registry.stop()
            return False
        return True

    GLib.timeout_add(50, poll)
    pyatspi.Registry.start()


def check_menu(window):
    # A popup is no child of the application in the tree: it announces itself
    # as shown, as it does to a screen reader.
    output = node(window, "text", "脱水结果")
    active = wait_for(lambda: window.getState().contains(pyatspi.STATE_ACTIVE) or None)
    if output is not None and active:
        do_action(output, "SetFocus")
    focused = active and output is not None and wait_for(
        lambda: output.getState().contains(pyatspi.STATE_FOCUSED) or None)
    check(focused, "the window active and the output box focused through its action")
    if not focused:
        return
    menus = []

    def on_showing(event):
        if event.source.getRoleName() == "popup menu" and event.detail1 == 1:
            menus.append(event.source)

    pyatspi.Registry.registerEventListener(on_showing, "object:state-changed:showing")
    pyatspi.Registry.generateKeyboardEvent(0xff67, None, pyatspi.KEY_SYM)  # the Menu key
    run_loop_until(lambda: menus)
    pyatspi.Registry.deregisterEventListener(on_showing, "object:state-changed:showing")
    check(bool(menus), "the Menu key in the output box shows a popup menu")
    if not menus:
        return
    print("menu:")
    dump(menus[0])
    seen = [(n.getRoleName(), n.name) for n in walk(menus[0])]
    check(seen == EXPECTED_MENU, "the popup menu and its items, roles and names: %s" % seen)
    pyatspi.Registry.generateKeyboardEvent(0xff1b, None, pyatspi.KEY_SYM)  # Escape


def main():
    name, expected_path = sys.argv[1], sys.argv[2]
    with open(expected_path, encoding="utf-8", newline="") as file:
        expected = file.read()
    app = application(name)
    window = check_tree(app)
    if "--menu" in sys.argv[3:]:
        check_menu(window)
    run_job(window, expected)
    print("%d failed" % len(failures))
    sys.exit(1 if failures else 0)


main()
