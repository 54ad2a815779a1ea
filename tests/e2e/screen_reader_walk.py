#!/usr/bin/env python3
"""A screen reader's side of the program over AT-SPI, driven line by line on standard input.

  open   presses File, "Ports…" through its accessible action; answers "opened" or "no item"
  walk   reads the Ports window as a reader does (every child, the table by rows and columns,
         headers); answers "cells N" with the number of table cells met
  count  counts the Ports table's children and keeps the table; answers "children N"
  stale  asks the kept table for every child by that count, as a reader that has not caught up
         with a change does; answers "asked N"
  quit   ends
"""
import sys
import time

import pyatspi


def find(acc, wanted, depth=0):
    if acc is None or depth > 14:
        return None
    try:
        if wanted(acc):
            return acc
        for i in range(acc.childCount):
            hit = find(acc.getChildAtIndex(i), wanted, depth + 1)
            if hit is not None:
                return hit
    except Exception:  # an object gone while it was read: a reader goes on
        pass
    return None


def program():
    desk = pyatspi.Registry.getDesktop(0)
    for i in range(desk.childCount):
        app = desk.getChildAtIndex(i)
        if app is not None and app.name == "tessaro":
            return app
    return None


def read_everything(acc, depth=0):
    """Reads what a reader reads below acc; returns the table cells met."""
    if acc is None or depth > 14:
        return 0
    cells = 0
    try:
        acc.name, acc.description, acc.getRoleName(), acc.getState()
        if acc.getRoleName() == "table cell":
            cells += 1
        try:
            table = acc.queryTable()
        except NotImplementedError:
            table = None
        if table is not None:
            for r in range(table.nRows):
                table.getRowHeader(r), table.getRowDescription(r)
                for c in range(table.nColumns):
                    cell = table.getAccessibleAt(r, c)
                    if cell is not None:
                        cell.name
                    index = table.getIndexAt(r, c)
                    table.getRowAtIndex(index), table.getColumnAtIndex(index)
            for c in range(table.nColumns):
                table.getColumnHeader(c), table.getColumnDescription(c)
        for i in range(acc.childCount):
            cells += read_everything(acc.getChildAtIndex(i), depth + 1)
    except Exception:
        pass
    return cells


def answer(text):
    print(text, flush=True)


kept_table, kept_count = None, 0

for line in sys.stdin:
    command = line.strip()
    app = None
    deadline = time.monotonic() + 60
    while app is None and time.monotonic() < deadline:
        app = program()
        if app is None:
            time.sleep(0.2)
    if command == "quit":
        break
    if app is None:
        answer("no program")
    elif command == "open":
        item = find(app, lambda a: a.name == "Ports…" and a.getRoleName() == "menu item")
        if item is None:
            answer("no item")
        else:
            item.queryAction().doAction(0)
            answer("opened")
    elif command == "walk":
        window = find(app, lambda a: a.name == "Ports" and a.getRoleName() == "dialog", 1)
        answer("cells %d" % read_everything(window) if window is not None else "no window")
    elif command == "count":
        window = find(app, lambda a: a.name == "Ports" and a.getRoleName() == "dialog", 1)
        kept_table = find(window, lambda a: a.getRoleName() == "table") if window is not None else None
        kept_count = kept_table.childCount if kept_table is not None else 0
        answer("children %d" % kept_count if kept_table is not None else "no table")
    elif command == "stale":
        for i in range(kept_count):
            try:
                cell = kept_table.getChildAtIndex(i)
                if cell is not None:
                    cell.name
            except Exception:
                pass
        answer("asked %d" % kept_count)
