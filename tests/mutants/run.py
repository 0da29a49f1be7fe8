#!/usr/bin/env python3
"""Plants each fault of tests/mutants/faults.txt, one at a time, in a scratch
copy of the source tree, builds incrementally, runs the tests that guard the
rule, and says whether the fault was killed (a test failed) or survived.

    tests/mutants/run.py                  every fault
    tests/mutants/run.py socket bridge    the faults whose names hold these words
    MUTANTS_DIR=/var/tmp/m tests/mutants/run.py    where the copy and its build live
                                          (default: $TMPDIR/tarvenholm-mutants; kept
                                          between runs so that builds are incremental)

Not part of ./test.sh. The source tree is never written: the copy is.
"""
import os
import pathlib
import shutil
import subprocess
import sys
import time

TOP = pathlib.Path(__file__).resolve().parents[2]
SCRATCH = pathlib.Path(os.environ.get("MUTANTS_DIR",
                                      os.path.join(os.environ.get("TMPDIR", "/tmp"), "tarvenholm-mutants")))
SOURCE = SCRATCH / "src"
BUILD = SCRATCH / "build"
# Test programs that start the real client on a virtual display.
XVFB = {"tst_entry", "tst_gamestart", "tst_package"}


def faults(path):
    """The blocks of the list: name, file, from, to, test (program and functions)."""
    blocks, block, key = [], {}, None
    for line in path.read_text(encoding="utf-8").splitlines():
        if line.startswith("#"):
            continue
        if not line.strip():
            if block:
                blocks.append(block)
            block, key = {}, None
            continue
        head, colon, rest = line.partition(":")
        if colon and head in ("name", "file", "from", "to", "test"):
            key = head
            block[key] = rest.strip()
        elif key:  # a further line of the value before, as it is
            block[key] += "\n" + line
        else:
            sys.exit("%s: a line outside any block: %s" % (path, line))
    if block:
        blocks.append(block)
    for b in blocks:
        missing = {"name", "file", "from", "to", "test"} - b.keys()
        if missing:
            sys.exit("%s: %s has no %s" % (path, b.get("name", "a fault"), ", ".join(sorted(missing))))
    return blocks


def sync():
    """The tree as it is now (committed or not), copied where it differs."""
    listed = subprocess.run(["git", "-C", str(TOP), "ls-files", "-co", "--exclude-standard", "-z"],
                            check=True, capture_output=True).stdout.decode().split("\0")
    for name in filter(None, listed):
        source, target = TOP / name, SOURCE / name
        if not source.is_file():
            continue
        if target.is_file() and target.read_bytes() == source.read_bytes():
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(source, target)
    modules = SOURCE / "resources/ruffle/node_modules"
    if not modules.exists():
        modules.symlink_to(TOP / "resources/ruffle/node_modules")


def run(command, log, timeout):
    with open(log, "w") as out:
        try:
            return subprocess.run(command, stdout=out, stderr=subprocess.STDOUT, timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            return -1


def build(target, log):
    """The test program and the client it may start; everything with `None`."""
    targets = ["--target", target, "tarvenholm"] if target else []
    return run(["cmake", "--build", str(BUILD), "-j2"] + targets, log, 3600) == 0


def test(guard, log):
    program, *functions = guard.split()
    env_command = ["env", "QT_QPA_PLATFORM=xcb" if program in XVFB else "QT_QPA_PLATFORM=offscreen"]
    if os.geteuid() == 0:
        env_command.append("QTWEBENGINE_DISABLE_SANDBOX=1")
    command = env_command + [str(BUILD / "tests" / program)] + functions
    if program in XVFB:
        command = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24"] + command
    return run(command, log, 1800)


def main():
    words = " ".join(sys.argv[1:]).lower()
    chosen = [f for f in faults(TOP / "tests/mutants/faults.txt") if words in f["name"].lower()]
    if not chosen:
        sys.exit("no fault's name holds: " + words)
    started = time.monotonic()
    SCRATCH.mkdir(parents=True, exist_ok=True)
    sync()
    logs = SCRATCH / "logs"
    logs.mkdir(exist_ok=True)
    if run(["cmake", "-S", str(SOURCE), "-B", str(BUILD), "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
            "-DTARVEN_BENCHMARKS=OFF"], logs / "configure.log", 600) != 0:
        sys.exit("the copy does not configure: see %s" % (logs / "configure.log"))
    # Everything built (translations, tools), and every test named passing,
    # before any fault is planted.
    if not build(None, logs / "build.log"):
        sys.exit("the copy does not build: see %s" % (logs / "build.log"))
    for guard in sorted({f["test"] for f in chosen}):
        program = guard.split()[0]
        log = logs / ("baseline-%s.log" % "-".join(guard.split()))
        if not build(program, log) or test(guard, log) != 0:
            sys.exit("%s fails without a fault: see %s" % (guard, log))
    results = {"killed": 0, "SURVIVED": 0, "not built": 0}
    for number, fault in enumerate(chosen, 1):
        path = SOURCE / fault["file"]
        original = path.read_text(encoding="utf-8")
        if original.count(fault["from"]) != 1:
            sys.exit("%s: %s is not in %s exactly once" % (fault["name"], fault["from"], fault["file"]))
        path.write_text(original.replace(fault["from"], fault["to"]), encoding="utf-8")
        log = logs / ("fault-%02d.log" % number)
        begun = time.monotonic()
        try:
            if not build(fault["test"].split()[0], log):
                outcome = "not built"
            else:
                outcome = "killed" if test(fault["test"], log) != 0 else "SURVIVED"
        finally:
            path.write_text(original, encoding="utf-8")
        results[outcome] += 1
        print("%-9s %s (%s, %d s)" % (outcome, fault["name"], fault["test"], time.monotonic() - begun), flush=True)
    counted = results["killed"] + results["SURVIVED"]
    minutes = (time.monotonic() - started) / 60
    print("%d faults: %d killed, %d survived, %d not built; kill rate %.0f %%; %.1f min"
          % (len(chosen), results["killed"], results["SURVIVED"], results["not built"],
             100.0 * results["killed"] / counted if counted else 0, minutes))
    return 0 if results["SURVIVED"] == 0 and results["not built"] == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
