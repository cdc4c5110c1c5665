"""The shared bridge cases (bridge_cases.json) for one platform: loading, placeholders, the
platform's own differences, and the comparison of what a run saw with what the table says.

Used by the Linux end-to-end test (tests/e2e/test_shared_cases.py) and the Windows
whole-program test (tests/windows/e2e/test_whole_program.py). Python standard library only.
"""

from __future__ import annotations

import json
import re
from dataclasses import dataclass, field
from pathlib import Path

TABLE = Path(__file__).with_name("bridge_cases.json")
PLATFORMS = ("linux", "windows")
NO_REPLY_WAIT_MS = 250
REPLY_WAIT_MS = 10000


@dataclass
class Case:
    name: str
    kind: str  # "post" or "fetch"
    send: object = None  # the message (post)
    uri: str = ""  # the URI (fetch)
    expect: object = None  # the reply or response the table wants, placeholders expanded
    delay_ms: int = 0
    wait_ms: int = 0
    uuid: str | None = None
    answer: dict | None = None  # the dialog a person answers while the message waits
    why: str = ""  # why this platform differs, when it does

    def describe(self) -> str:
        return self.name + (f" ({self.why})" if self.why else "")


@dataclass
class Group:
    name: str
    ini: dict
    package: dict = field(default_factory=dict)  # extra files of the web folder
    files: dict = field(default_factory=dict)  # files beside the executable
    read_only: list = field(default_factory=list)
    after_files: dict = field(default_factory=dict)  # text each file beside holds at the end
    cases: list[Case] = field(default_factory=list)


def _expand(value: object, context: dict[str, str]) -> object:
    if isinstance(value, str):
        for key, text in context.items():
            value = value.replace("{" + key + "}", text)
        return value
    if isinstance(value, list):
        return [_expand(v, context) for v in value]
    if isinstance(value, dict):
        return {k: _expand(v, context) for k, v in value.items()}
    return value


def context_for(platform: str, exe_path: str, app_name: str) -> dict[str, str]:
    """The placeholders' values for an executable at exe_path (in the platform's own syntax)."""
    sep = "\\" if platform == "windows" else "/"
    exe_dir = exe_path[:exe_path.rfind(sep) + 1]
    forward = exe_dir.replace("\\", "/")
    return {"exeDir": exe_dir, "exeDirFwd": forward, "sep": sep, "exePath": exe_path,
            "appName": app_name,
            # What follows "file:///" in a URI of an absolute path.
            "exeUriPath": forward.lstrip("/")}


def load(platform: str, context: dict[str, str] | None = None) -> list[Group]:
    """The groups with the cases that run on this platform, each with its platform's fields.
    Without a context the placeholders stay as they are."""
    if platform not in PLATFORMS:
        raise ValueError(platform)
    table = json.loads(TABLE.read_text(encoding="utf-8"))
    groups = []
    for g in table["groups"]:
        group = Group(g["name"], dict(g["ini"]), dict(g.get("package", {})),
                      dict(g.get("setup", {}).get("files", {})),
                      list(g.get("setup", {}).get("readOnly", [])),
                      dict(g.get("after", {}).get("files", {})))
        for index, raw in enumerate(g["cases"]):
            if "only" in raw and platform not in raw["only"]:
                continue
            own = raw.get(platform, {})
            merged = {**raw, **own}
            why = own.get("why", "") or (raw.get("why", "") if "only" in raw else "")
            if "send" in merged:
                send = merged["send"]
                uuid = None
                if isinstance(send, dict):
                    send = dict(send)
                    uuid = send.setdefault("uuid", f"{group.name}-{index}")
                reply = merged["reply"]
                wait = merged.get("waitMs", NO_REPLY_WAIT_MS if reply is None else REPLY_WAIT_MS)
                case = Case(merged["name"], "post", send=send, expect=reply,
                            delay_ms=merged.get("delayMs", 0), wait_ms=wait, uuid=uuid,
                            answer=merged.get("answer"), why=why)
            else:
                case = Case(merged["name"], "fetch", uri=merged["fetch"],
                            expect=merged["response"], delay_ms=merged.get("delayMs", 0), why=why)
            if context is not None:
                case.send = _expand(case.send, context)
                case.uri = _expand(case.uri, context)  # type: ignore[assignment]
                case.expect = _expand(case.expect, context)
            group.cases.append(case)
        groups.append(group)
    return groups


def differences() -> list[tuple[str, str, str, str]]:
    """(group, case, platform, why) for every case a platform plays differently or not at all."""
    table = json.loads(TABLE.read_text(encoding="utf-8"))
    out = []
    for g in table["groups"]:
        for raw in g["cases"]:
            for platform in PLATFORMS:
                if platform in raw:
                    out.append((g["name"], raw["name"], platform, raw[platform].get("why", "")))
            if "only" in raw:
                out.append((g["name"], raw["name"], "only " + ",".join(raw["only"]),
                            raw.get("why", "")))
    return out


def check_reply(case: Case, reply: dict | None) -> str | None:
    """None when the reply (the parsed reply object, or None for no reply) is what the case
    wants, else what is wrong."""
    want = case.expect
    if want is None:
        return None if reply is None else f"expected no reply, got {reply!r}"
    if reply is None:
        return "expected a reply, got none"
    if isinstance(want, list):
        want = {"success": want[0], "result": want[1]}
    problems = []
    if reply.get("success") != want["success"]:
        problems.append(f"success {reply.get('success')!r} instead of {want['success']!r}")
    result = reply.get("result")
    if "result" in want and result != want["result"]:
        problems.append(f"result {result!r} instead of {want['result']!r}")
    if "pattern" in want and not (isinstance(result, str) and re.search(want["pattern"], result)):
        problems.append(f"result {result!r} does not match {want['pattern']!r}")
    if "contains" in want and not (isinstance(result, list) and want["contains"] in result):
        problems.append(f"result {result!r} does not hold {want['contains']!r}")
    if "length" in want and not (hasattr(result, "__len__") and len(result) == want["length"]):
        problems.append(f"result {result!r} is not {want['length']} long")
    return "; ".join(problems) or None


def check_response(case: Case, response: dict | None) -> str | None:
    """response: None when the request was not answered, else {"mimeType", "body"}; the MIME
    type is compared without its parameters (the charset)."""
    want = case.expect
    if want is None:
        return None if response is None else f"expected no answer, got {response!r}"
    if response is None:
        return "expected an answer, got none"
    problems = []
    mime = response.get("mimeType", "").split(";")[0].strip()
    if mime != want["mimeType"]:
        problems.append(f"MIME type {mime!r} instead of {want['mimeType']!r}")
    if "body" in want and response.get("body") != want["body"]:
        problems.append(f"body {response.get('body')!r} instead of {want['body']!r}")
    return "; ".join(problems) or None


def check_files(group: Group, exe_dir: Path) -> list[str]:
    """What differs on disk, beside the executable, from the group's after-files."""
    problems = []
    for name, text in group.after_files.items():
        path = exe_dir / name
        try:
            got = path.read_bytes()
        except OSError as error:
            problems.append(f"{group.name}: {name}: {error}")
            continue
        if got != text.encode("utf-8"):
            problems.append(f"{group.name}: {name} holds {got!r}, not {text.encode('utf-8')!r}")
    return problems


def report(group: Group, outcomes: list[tuple[Case, str | None]]) -> list[str]:
    """Lines for the failed cases of a group."""
    return [f"{group.name}: {case.describe()}: {problem}"
            for case, problem in outcomes if problem]


if __name__ == "__main__":
    # Lists the platforms' differences, for the notes of a change.
    for group_name, case_name, platform, why in differences():
        print(f"{group_name}: {case_name}: {platform}: {why}")
