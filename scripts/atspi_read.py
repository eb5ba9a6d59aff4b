#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads the viewer as a screen reader does (run by scripts/atspi-check).

Finds the application "Qorvex" on the accessibility bus, checks the search
field's name and the tree's entries, searches for "SOS" by the keyboard
(typing, Return, Down), waits for the entry view to announce the new entry,
reads its text, and presses the Morse word's push button; the viewer's
recording output must then report the Morse recordings. Prints what it read;
exits 1 with the reason on the first thing that is not as expected.
"""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

LOG = sys.argv[1]
TIMEOUT_S = 30


def fail(why):
    print("atspi-check: " + why, file=sys.stderr)
    sys.exit(1)


def walk(node, depth=0, limit=12):
    yield node
    if depth >= limit:
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1, limit)


def find(root, role, name=None):
    for node in walk(root):
        try:
            if node.getRole() == role and (name is None or node.name == name):
                return node
        except Exception:  # a node that went while we looked
            continue
    return None


def application():
    deadline = time.time() + TIMEOUT_S
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == "Qorvex" and app.childCount > 0:
                return app
        time.sleep(0.2)
    fail("no application \"Qorvex\" on the accessibility bus")


def click(node):
    ext = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    subprocess.run(["xdotool", "mousemove", str(ext.x + ext.width // 2),
                    str(ext.y + ext.height // 2), "click", "1"], check=True)


def sounds():
    with open(LOG, encoding="utf-8", errors="replace") as f:
        return [l.strip() for l in f if l.startswith("sound: ")]


app = application()
field = find(app, pyatspi.ROLE_TEXT) or find(app, pyatspi.ROLE_ENTRY)
if field is None:
    fail("no text field")
print("search field: role %s, name %r" % (field.getRoleName(), field.name))
if field.name != "Begriff suchen:":
    fail("the search field is not named by its label")

tree = None
for role in (pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TREE, pyatspi.ROLE_TABLE):
    tree = find(app, role, "Einträge")
    if tree is not None:
        break
if tree is None:
    fail("no tree named \"Einträge\"")
cells = [n.name for n in walk(tree, limit=2) if n.getRole() != tree.getRole()]
print("tree %r (%s): %s" % (tree.name, tree.getRoleName(), ", ".join(cells[:6])))
if "- alle Einträge" not in cells or "- Suchergebnis" not in cells:
    fail("the tree's entries are not read")
for node in walk(app):
    if node.getRole() in (pyatspi.ROLE_IMAGE, pyatspi.ROLE_ICON) and \
            node.getState().contains(pyatspi.STATE_SHOWING):
        fail("a picture without information is shown to the reader")

document = find(app, pyatspi.ROLE_DOCUMENT_FRAME) or find(app, pyatspi.ROLE_DOCUMENT_TEXT)
if document is None:
    fail("no document (the entry view)")
announced = []


def on_event(event):
    try:
        if event.source == document:
            announced.append(event.type)
    except Exception:
        pass


pyatspi.Registry.registerEventListener(
    on_event, "object:property-change:accessible-name", "object:text-changed:insert")


def search():
    click(field)
    subprocess.run(["xdotool", "type", "--delay", "20", "SOS"], check=True)
    subprocess.run(["xdotool", "key", "Return", "Down"], check=True)  # the first hit
    GLib.timeout_add(300, wait_for_entry, time.time() + TIMEOUT_S)
    return False


def wait_for_entry(deadline):
    # The hits stand in topic order: Down in the tree until SOS is shown.
    name = document.name.strip()
    if (name == "SOS" and announced) or time.time() > deadline:
        pyatspi.Registry.stop()  # ends the event loop below
        return False
    if name and name != "SOS" and not name.startswith("Klicken Sie"):
        announced.clear()
        subprocess.run(["xdotool", "key", "Down"], check=True)
    return True


GLib.idle_add(search)
pyatspi.Registry.start()  # runs until wait_for_entry stops it
if document.name.strip() != "SOS":
    fail("the entry SOS is not shown (the document is named %r)" % document.name)
if not announced:
    fail("the new entry was not announced")
text = document.queryText()
shown = text.getText(0, text.characterCount)
print("announced: %s" % ", ".join(sorted(set(announced))))
print("document %r (%s), %d characters:" % (document.name, document.getRoleName(),
                                           text.characterCount))
print(shown)
if not shown.startswith("SOS\n[Thema: ") or "Notzeichen" not in shown:
    fail("the entry's text is not read")

words = [document.getChildAtIndex(i) for i in range(document.childCount)]
for w in words:
    print("child: %s %r, actions %s" % (w.getRoleName(), w.name,
                                        [w.queryAction().getName(k)
                                         for k in range(w.queryAction().nActions)]))
morse = [w for w in words if w.name == "Morsezeichen SOS abspielen"]
if not morse or morse[0].getRole() != pyatspi.ROLE_PUSH_BUTTON:
    fail("no push button \"Morsezeichen SOS abspielen\"")
before = len(sounds())
morse[0].queryAction().doAction(0)
deadline = time.time() + TIMEOUT_S
while time.time() < deadline and len(sounds()) < before + 3:
    time.sleep(0.1)
played = sounds()[before:]
print("played: %s" % "; ".join(played))
if [p.split()[2] for p in played[:3]] != ["S.WAV", "O.WAV", "S.WAV"]:
    fail("the Morse word's action did not play S, O, S")
print("atspi-check: ok")
