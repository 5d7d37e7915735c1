#!/usr/bin/env python3
"""Measures how strong the tests are by breaking the program on purpose.

Each entry of scripts/mutants.txt names a file, a piece of text that occurs
exactly once in it, and what to put in its place (a flipped comparison, an
off-by-one, a reversed loop, a swapped colour channel, a dropped call...).
For every entry: apply the change, rebuild incrementally, run the test
suite (stopping at the first failure), put the file back. A change that some
test notices is "killed"; one that passes everything "survived" and shows a
gap in the tests. Not part of `make test`: it rebuilds once per entry.

    scripts/mutants.py [--build DIR] [--only SUBSTRING] [--tests REGEX] [--list FILE] [--check]

Entry format (blank lines and lines starting with '#' between entries are
ignored):

    @ src/path/file.cpp
    - original text (one line, exactly as in the file, leading blanks ignored)
    + replacement text
    ? what the change breaks, in a few words
"""
import argparse
import os
import re
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def parse(path):
    entries, cur = [], None
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if line.startswith("@ "):
                cur = {"file": line[2:].strip(), "line": n}
                entries.append(cur)
            elif line.startswith("- ") and cur is not None:
                cur["old"] = line[2:].strip()
            elif line.startswith("+ ") and cur is not None:
                cur["new"] = line[2:].strip()
            elif line.startswith("? ") and cur is not None:
                cur["why"] = line[2:].strip()
    for e in entries:
        if "old" not in e or "new" not in e:
            sys.exit(f"{path}:{e['line']}: entry without '-' or '+' line")
        e.setdefault("why", "")
    return entries


def locate(text, old):
    """The span of `old` in `text` (a piece of one line, so the line's
    indentation does not matter); None when absent, "many" when not unique."""
    count = text.count(old)
    if count != 1:
        return None if count == 0 else "many"
    start = text.index(old)
    return start, start + len(old)


def run(cmd, cwd, timeout):
    try:
        p = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=timeout, text=True)
        return p.returncode, p.stdout
    except subprocess.TimeoutExpired as e:
        return 124, (e.stdout or "") if isinstance(e.stdout, str) else ""


def failed_tests(output):
    return re.findall(r"\d+ - (\S+) \((?:Failed|Timeout|SEGFAULT|Subprocess aborted|Exception)", output)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "mutants"))
    ap.add_argument("--only", default="")
    ap.add_argument("--list", default=os.path.join(ROOT, "scripts", "mutants.txt"))
    ap.add_argument("--check", action="store_true", help="only say whether every entry still applies")
    ap.add_argument("--tests", default="", help="run only the tests whose names match (ctest -R)")
    args = ap.parse_args()

    entries = [e for e in parse(args.list) if args.only in e["file"] or args.only in e["why"]]
    if args.check:
        stale = 0
        for e in entries:
            with open(os.path.join(ROOT, e["file"]), encoding="utf-8") as f:
                span = locate(f.read(), e["old"])
            if span is None or span == "many":
                stale += 1
                print(f"stale: {e['file']}: {e['old']} ({'absent' if span is None else 'not unique'})")
        folders = sorted({e["file"].split("/")[1] for e in entries if e["file"].startswith("src/")})
        print(f"{len(entries)} entries, {stale} stale; folders of src/: {', '.join(folders)}")
        return 1 if stale else 0
    if not os.path.exists(os.path.join(args.build, "build.ninja")):
        subprocess.run(["cmake", "-S", ROOT, "-B", args.build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release"],
                       check=True, stdout=subprocess.DEVNULL)
    print("baseline build and tests ...", flush=True)
    rc, out = run(["ninja", "-C", args.build], ROOT, 3600)
    if rc != 0:
        sys.exit("the unchanged program does not build:\n" + out[-3000:])
    select = ["-R", args.tests] if args.tests else []
    rc, out = run(["ctest", "-j2", "--timeout", "300"] + select, args.build, 3600)
    if rc != 0:
        sys.exit("the unchanged program fails its tests:\n" + out[-3000:])

    results = []
    for i, e in enumerate(entries, 1):
        path = os.path.join(ROOT, e["file"])
        with open(path, encoding="utf-8") as f:
            original = f.read()
        span = locate(original, e["old"])
        label = f"[{i}/{len(entries)}] {e['file']}: {e['why']}"
        if span is None or span == "many":
            results.append((e, "stale", "text " + ("not found" if span is None else "found more than once")))
            print(f"{label}\n    STALE ({results[-1][2]})", flush=True)
            continue
        mutated = original[:span[0]] + e["new"] + original[span[1]:]
        t0 = time.time()
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(mutated)
            rc, out = run(["ninja", "-C", args.build], ROOT, 3600)
            if rc != 0:
                verdict, detail = "stillborn", "does not compile"
            else:
                rc, out = run(["ctest", "-j2", "--stop-on-failure", "--timeout", "300"] + select, args.build, 3600)
                if rc == 0:
                    verdict, detail = "SURVIVED", "every test passed"
                else:
                    verdict, detail = "killed", ", ".join(failed_tests(out)) or "a test failed"
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
        results.append((e, verdict, detail))
        print(f"{label}\n    {verdict}: {detail} ({time.time() - t0:.0f} s)", flush=True)

    run(["ninja", "-C", args.build], ROOT, 3600)  # back to the unchanged program
    counted = [r for r in results if r[1] in ("killed", "SURVIVED")]
    killed = sum(1 for r in counted if r[1] == "killed")
    print(f"\nkilled {killed} of {len(counted)}"
          + (f" ({100.0 * killed / len(counted):.1f}%)" if counted else "")
          + f"; stale {sum(1 for r in results if r[1] == 'stale')}"
          + f"; stillborn {sum(1 for r in results if r[1] == 'stillborn')}")
    for e, verdict, detail in results:
        if verdict != "killed":
            print(f"  {verdict}: {e['file']}: {e['why']}")
    return 0 if counted and killed == len(counted) else 1


if __name__ == "__main__":
    sys.exit(main())
