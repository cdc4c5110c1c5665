#!/usr/bin/env python3
"""The registry functions on the real runtime: a page writes, reads and deletes values through
window.vlx, and a second application of the same user sees what the first one stored."""

from __future__ import annotations

import json
import stat
import sys
from pathlib import Path

from harness import PAGE_HELPERS, XSession, expect, expect_eq, page, run_cases

KEY = "Software\\\\VellocE2E\\\\Shared"  # as written inside a JavaScript string

WRITER_PAGE = page("<p id='out'>writer</p>" + PAGE_HELPERS + r"""
<script>
const reg = vlx.registry;
const KEY = "%KEY%";
async function run() {
  const r = {};
  r.write = await reg.writeValue({key: KEY, name: "Greeting", value: "hello \u00e9\u20ac"});
  r.readOtherCase = await reg.readValue({key: "\\SOFTWARE\\vellocE2E\\shared", name: "GREETING"});
  r.parentExists = await reg.keyExist({key: "Software\\VellocE2E"});
  r.writeDeep = await reg.writeValue({key: KEY + "\\Tmp\\Deeper", name: "x"});
  r.readEmpty = await reg.readValue({key: KEY + "\\Tmp\\Deeper", name: "x"});
  r.valueExists = await reg.valueExist({key: KEY + "\\Tmp\\Deeper", name: "X"});
  r.deleteValue = await reg.deleteValue({key: KEY + "\\Tmp\\Deeper", name: "x"});
  r.deleteValueAgain = await reg.deleteValue({key: KEY + "\\Tmp\\Deeper", name: "x"});
  r.deleteKey = await reg.deleteKey({key: KEY + "\\Tmp"});
  r.deepGone = await reg.keyExist({key: KEY + "\\Tmp\\Deeper"});
  r.deleteKeyAgain = await reg.deleteKey({key: KEY + "\\Tmp"});
  r.readMissingKey = await reg.readValue({key: "Software\\Nobody", name: "Greeting"});
  r.noKey = await settle(reg.readValue({name: "Greeting"}), 3000);
  r.noName = await settle(reg.writeValue({key: KEY, value: "v"}), 3000);
  r.keyBeforeName = await settle(reg.valueExist({}), 3000);
  document.getElementById("out").textContent = JSON.stringify(r, null, 1);
  report(r);
}
run().catch((e) => report({error: String(e)}));
</script>""".replace("%KEY%", KEY), title="writer")

READER_PAGE = page("<p id='out'>reader</p>" + PAGE_HELPERS + r"""
<script>
async function run() {
  const r = {};
  r.read = await vlx.registry.readValue({key: "%KEY%", name: "greeting"});
  r.tmpExists = await vlx.registry.keyExist({key: "%KEY%\\Tmp"});
  document.getElementById("out").textContent = "the other app stored: " + r.read;
  report(r);
}
run().catch((e) => report({error: String(e)}));
</script>""".replace("%KEY%", KEY), title="reader")


def pages_share_the_store(args, artifacts: Path) -> None:
    with XSession("registry", artifacts, args.bin_dir) as session:
        writer_exe = session.make_app("writer", {"ID": "E2ERegistryWriter", "Name": "Writer",
                                                 "DynamicAppTitle": 1},
                                      {"index.html": WRITER_PAGE})
        reader_exe = session.make_app("reader", {"ID": "E2ERegistryReader", "Name": "Reader",
                                                 "DynamicAppTitle": 1},
                                      {"index.html": READER_PAGE})
        writer = session.launch(writer_exe)
        wid = writer.wait_window()
        result = session.wait_result(writer, wid, timeout=40)
        expected = {
            "write": True,
            "readOtherCase": "hello \u00e9\u20ac",
            "parentExists": True,
            "writeDeep": True,
            "readEmpty": "",
            "valueExists": True,
            "deleteValue": True,
            "deleteValueAgain": False,
            "deleteKey": True,
            "deepGone": False,
            "deleteKeyAgain": False,
            "readMissingKey": "",
            "noKey": {"state": "rejected", "value": "Missing registry key."},
            "noName": {"state": "rejected", "value": "Missing value name."},
            "keyBeforeName": {"state": "rejected", "value": "Missing registry key."},
        }
        mismatches = {k: (result.get(k), v) for k, v in expected.items() if result.get(k) != v}
        expect(not mismatches, "got (actual, expected): " + "; ".join(
            f"{k}: {a!r} != {w!r}" for k, (a, w) in mismatches.items()))

        # The store is the user's, in the session's XDG_CONFIG_HOME, owner-only.
        store = Path(session.env["XDG_CONFIG_HOME"]) / "velloc" / "registry.db"
        expect(store.is_file(), f"no store at {store}")
        expect_eq(stat.S_IMODE(store.stat().st_mode), 0o600, "permissions of the store")

        # A second application, running beside the first, sees the value.
        reader = session.launch(reader_exe)
        reader_wid = reader.wait_window()
        seen = session.wait_result(reader, reader_wid, timeout=40)
        expect_eq(seen, {"read": "hello \u00e9\u20ac", "tmpExists": False},
                  "what the second application read")
        session.screenshot(artifacts / "reader.png")

        # The author's tool reads the same store.
        cli = session.run([str(args.bin_dir / "velloc"), "registry", "get",
                           "software\\velloce2e\\shared", "Greeting"])
        expect_eq(cli.stdout, "hello \u00e9\u20ac\n", "velloc registry get")
        session.close_window(reader_wid)
        expect_eq(reader.wait(20), 0, "exit code of the reader")
        session.close_window(wid)
        expect_eq(writer.wait(20), 0, "exit code of the writer")


CASES = {"pages_share_the_store": pages_share_the_store}

if __name__ == "__main__":
    sys.exit(run_cases(CASES, __doc__))
