#!/usr/bin/env python3
"""What application pages get as an https page would: document.cookie that sets, reads,
expires and deletes, shared by the application's instances and kept across a restart (session
cookies only while an instance runs), while remote sites keep the engine's own cookies; and
notifications granted from the start."""

from __future__ import annotations

import sys
from pathlib import Path

from harness import PAGE_HELPERS, XSession, expect_eq, page, run_cases

APP_ID = "e2e.pages"

# Each page reports what it read, and keeps reporting what the others change.
FIRST = """
document.cookie = "kept=1; max-age=3600";
document.cookie = "session=1";
document.cookie = "gone=1; max-age=3600";
document.cookie = "gone=; expires=Thu, 01 Jan 1970 00:00:00 GMT";
document.cookie = "sub=1; path=/sub";
document.cookie = "rejected=1; HttpOnly";
const permission = Notification.permission;
setInterval(() => report({page: "first", permission, cookies: document.cookie}), 100);
"""
SECOND = """
const before = document.cookie;
document.cookie = "second=2; max-age=3600";
report({page: "second", before, after: document.cookie});
"""
THIRD = """
const before = document.cookie;
document.cookie = "kept=; max-age=0";
report({page: "third", before, after: document.cookie,
        permission: await Notification.requestPermission()});
"""


def module_page(name: str, script: str) -> str:
    return page(f"<p>{name}</p>", name, PAGE_HELPERS + f'<script type="module">{script}</script>')


def cookies_and_notifications(args, artifacts: Path) -> None:
    with XSession("pages", artifacts, args.bin_dir) as session:
        exe = session.make_app("pages", {"ID": APP_ID, "Name": "Pages", "DynamicAppTitle": 1},
                               {"index.html": module_page("first", FIRST),
                                "second.html": module_page("second", SECOND),
                                "third.html": module_page("third", THIRD)})
        first = session.launch(exe)
        first_window = first.wait_window()
        expect_eq(session.wait_result(first, first_window),
                  {"page": "first", "permission": "granted",
                   "cookies": "kept=1; session=1"}, "the first instance's cookies")
        # A further window is an instance of its own: it shares the cookies, session ones too,
        # and the first sees what it sets.
        second = session.launch(exe, APP_ID, "file:///second.html")
        second_window = second.wait_window()
        expect_eq(session.wait_result(second, second_window),
                  {"page": "second", "before": "kept=1; session=1",
                   "after": "kept=1; session=1; second=2"}, "the second instance's cookies")
        session.wait_title(first_window, lambda t: "second=2" in t, 10,
                           "the first instance to read the second's cookie")
        for app, window in ((second, second_window), (first, first_window)):
            session.close_window(window)
            expect_eq(app.wait(15), 0, "exit code")

        # After a restart: the lasting cookies, not the session's; deleting one works.
        third = session.launch(exe, APP_ID, "file:///third.html")
        third_window = third.wait_window()
        expect_eq(session.wait_result(third, third_window),
                  {"page": "third", "before": "kept=1; second=2", "after": "second=2",
                   "permission": "granted"}, "the cookies after a restart")
        session.close_window(third_window)
        expect_eq(third.wait(15), 0, "exit code")


CASES = {"cookies_and_notifications": cookies_and_notifications}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
