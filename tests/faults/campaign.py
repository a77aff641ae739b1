#!/usr/bin/env python3
"""Fault injection over pkgtool's commands on the sample product.

For each command, one traced clean run from a fresh fixture fixes the
expected result and counts the system calls of each class; then each call
of each class fails once in turn (strace's fault injection), with the
errors that call can return, and a short-write shim (LD_PRELOAD) makes
single writes write half of what they were given. Every run must hold
four properties:

  a. no crash (no signal, no sanitizer report);
  b. a run that fails says why, with the errno's text; a run that
     succeeds has the complete result;
  c. no earlier file is lost or half-replaced;
  d. no temporary is left (in the fixture or in TMPDIR).

  campaign.py HOST_BUILD_DIR [--full] [--only COMMAND] [--keep DIR]

Prints one line per failing run, a line per command and
"K of N injected faults held all four"; exits 1 when any did not, but for
the runs the installer's own rules explain (named as "intended").
"""

import argparse
import errno
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

# The calls of each class and the errors they fail with.
CLASSES = {
    "openat": ["EACCES", "EMFILE", "EIO", "ENOSPC"],
    "read": ["EIO"],
    "write": ["ENOSPC", "EIO"],
    "close": ["EIO"],
    "rename": ["EXDEV", "EBUSY", "EACCES"],
    "unlink": ["EBUSY", "EACCES", "EIO"],
    "lseek": ["EINVAL"],
    "newfstatat": ["EACCES", "EIO"],
    "mkdir": ["EACCES", "ENOSPC"],
    "getdents64": ["EIO"],
}
SHORT = "short-write"


def snapshot(top):
    """path -> sha256 of every file below top (symlinks as their target)."""
    files = {}
    if not os.path.isdir(top):
        return files
    for base, dirs, names in os.walk(top):
        dirs.sort()
        for name in names:
            path = os.path.join(base, name)
            rel = os.path.relpath(path, top)
            try:
                with open(path, "rb") as f:
                    files[rel] = hashlib.sha256(f.read()).hexdigest()
            except OSError:
                files[rel] = "unreadable"
    return files


class Scenario:
    """One command over a fixture: prepare(dir) lays the fixture out and
    gives the command line; top(dir) is the tree whose files count."""

    def __init__(self, name, prepare, top, atomic):
        self.name = name
        self.prepare = prepare
        self.top = top
        self.atomic = atomic  # a failure must leave the tree as it was


def scenarios(build):
    pkgtool = os.path.join(build, "bin", "pkgtool")
    media = os.path.join(build, "sample-media")
    manifest = os.path.join(ROOT, "samples", "quest.manifest")
    win32 = None
    cache = os.path.join(build, "CMakeCache.txt")
    with open(cache) as f:
        for line in f:
            if line.startswith("SETUP_WIN32_BUILD_DIR:"):
                win32 = line.split("=", 1)[1].strip()
    defines = ["-D", "WIN32_BIN=" + win32,
               "-D", "DATA=" + os.path.join(build, "sample-data")]
    installer = os.path.join(win32, "setup.exe")
    disk1 = os.path.join(media, "disk1")
    disks = []
    for name in sorted(os.listdir(media)):
        if name.startswith("disk") and name != "disk1":
            disks += ["--disk", os.path.join(media, name)]

    def build_fixture(d):
        # An earlier build of the product on two 360K disks; the new one
        # goes on one 1.2M disk, so disk 2's volume is an earlier leftover.
        shutil.copytree(media, os.path.join(d, "out"))
        os.unlink(os.path.join(d, "out", "sources.tsv"))
        return [pkgtool, "--quiet", "build", manifest, "-o",
                os.path.join(d, "out"), "--installer", installer,
                "--disk-format", "1.2M", "-j", "1"] + defines

    def extract_fixture(d):
        os.makedirs(os.path.join(d, "dest"))
        return [pkgtool, "--quiet", "extract", disk1, "-d",
                os.path.join(d, "dest")] + disks

    def extract_force_fixture(d):
        # Earlier files of the same names with other bytes.
        subprocess.run([pkgtool, "--quiet", "extract", disk1, "-d",
                        os.path.join(d, "dest")] + disks, check=True,
                       stdout=subprocess.DEVNULL)
        for base, _, names in os.walk(os.path.join(d, "dest")):
            for name in names:
                with open(os.path.join(base, name), "ab") as f:
                    f.write(b"earlier")
        return [pkgtool, "--quiet", "extract", disk1, "-d",
                os.path.join(d, "dest"), "--force"] + disks

    def install_cmd(d):
        return [pkgtool, "--quiet", "install", os.path.join(disk1, "setup.bin"),
                "--root", os.path.join(d, "c"), "--to", "C:\\GAMES\\QUEST",
                "--yes"] + disks

    def install_fixture(d):
        # An earlier installation whose files have other bytes.
        subprocess.run(install_cmd(d), check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        game = os.path.join(d, "c", "GAMES", "QUEST")
        for base, _, names in os.walk(game):
            for name in names:
                if name.upper().endswith(".DAT") or name.upper() == "QUEST.EXE":
                    with open(os.path.join(base, name), "ab") as f:
                        f.write(b"earlier")
        return install_cmd(d)

    def verify_fixture(d):
        return [pkgtool, "--quiet", "verify", disk1] + disks

    def uninstall_fixture(d):
        subprocess.run(install_cmd(d), check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        with open(os.path.join(d, "c", "GAMES", "QUEST", "SAVE1.SAV"), "wb") as f:
            f.write(b"the user's own")
        return [pkgtool, "--quiet", "uninstall",
                os.path.join(d, "c", "GAMES", "QUEST", "uninstal.bin"),
                "--root", os.path.join(d, "c"), "--yes"]

    return [
        Scenario("build", build_fixture, "out", True),
        Scenario("extract", extract_fixture, "dest", False),
        Scenario("extract --force", extract_force_fixture, "dest", False),
        Scenario("install", install_fixture, "c", False),
        Scenario("verify", verify_fixture, None, True),
        Scenario("uninstall", uninstall_fixture, "c", False),
    ]


def run(argv, tmpdir, inject=None, shim=None, short_at=0, trace_log=None):
    env = dict(os.environ, TMPDIR=tmpdir, LC_ALL="C")
    cmd = argv
    if shim is not None:
        env["LD_PRELOAD"] = shim
        env["PKGTOOL_SHORT_WRITE_AT"] = str(short_at)
    if inject is not None or trace_log is not None:
        strace = ["strace", "-f", "-qq", "-o", trace_log or "/dev/null"]
        if trace_log is not None:
            strace += ["-e", "trace=" + ",".join(CLASSES)]
        if inject is not None:
            call, err, when = inject
            strace += ["-e", "trace=" + call,
                       "-e", "inject=%s:error=%s:when=%d" % (call, err, when)]
        cmd = strace + argv
    proc = subprocess.run(cmd, env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=120)
    return proc.returncode, proc.stdout.decode("utf-8", "replace"), \
        proc.stderr.decode("utf-8", "replace")


def count_calls(log):
    counts = {name: 0 for name in CLASSES}
    pattern = re.compile(r"^\d+\s+(\w+)\(")
    with open(log) as f:
        for line in f:
            m = pattern.match(line)
            if m and m.group(1) in counts:
                counts[m.group(1)] += 1
    return counts


def sample(count, full):
    """Which call numbers fail: all of a small run, else the first and last
    few and an even spread between."""
    limit = 60 if full else 10
    if count <= limit:
        return list(range(1, count + 1))
    edge = 4 if not full else 10
    picks = set(range(1, edge + 1)) | set(range(count - edge + 1, count + 1))
    between = limit - 2 * edge
    for i in range(1, between + 1):
        picks.add(edge + (count - 2 * edge) * i // (between + 1))
    return sorted(picks)


def intended(scenario, now, clean, code):
    """The installer's own rule, not a fault: when the earlier uninstal.bin
    cannot be read, it cannot tell that it is this product's, and names the
    new uninstaller unins1.exe, as for another product."""
    if scenario.name != "install" or code != 0:
        return False
    renamed = {p.replace("unins1.", "uninstal."): h for p, h in now.items()}
    extra = set(now) - set(clean)
    return bool(extra) and all("unins1." in p for p in extra) and all(
        renamed.get(p) == h or now.get(p) == h for p, h in clean.items())


def check(scenario, d, tmpdir, earlier, clean, clean_out, clean_code, code,
          out, err, cause):
    """The four properties; returns what broke ("" when none)."""
    if code < 0 or code >= 128 or "Sanitizer" in err or "runtime error" in err:
        return "crashed (status %d)" % code
    now = snapshot(os.path.join(d, scenario.top)) if scenario.top else {}
    if intended(scenario, now, clean, code):
        return "intended"
    if code == clean_code:
        if scenario.top and now != clean:
            diff = sorted(set(now.items()) ^ set(clean.items()))
            return "success with an incomplete result: %s" % diff[:3]
        if not scenario.top and out != clean_out:
            return "success with another report"
    elif cause is not None and cause not in err:
        return "failed without naming the cause (%s): %r" % (
            cause, err.strip()[-300:])
    if scenario.top:
        for path, digest in now.items():
            if path in earlier and digest == earlier[path]:
                continue
            if path in clean and digest == clean[path]:
                continue
            if path in earlier or path in clean:
                return "%s half-replaced" % path
            return "%s left behind" % path
        # All or nothing: a failure after the new files were put in place
        # leaves them complete, with earlier files it could not remove.
        committed = all(now.get(p) == h for p, h in clean.items()) and all(
            earlier.get(p) == h for p, h in now.items() if p not in clean)
        if scenario.atomic and code != 0 and now != earlier and not committed:
            diff = sorted(set(now) ^ set(earlier)) or sorted(
                p for p in now if now[p] != earlier.get(p))
            return "a failed run changed the tree: %s" % diff[:3]
        for path in earlier:
            # What the clean run keeps must still be there (the files it
            # removes may be gone after a failure part of the way).
            if path not in now and path in clean:
                return "%s lost" % path
    left = os.listdir(tmpdir)
    if left:
        return "temporaries left in TMPDIR: %s" % left[:3]
    return ""


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build")
    parser.add_argument("--full", action="store_true")
    parser.add_argument("--only")
    parser.add_argument("--keep")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    pkgtool = os.path.join(build, "bin", "pkgtool")
    dynamic = os.path.join(build, "bin", "pkgtool_dynamic")
    shim = os.path.join(build, "lib", "libshort_write.so")
    if not (os.path.exists(shim) and os.path.exists(dynamic)):
        shim = None
    work = args.keep or tempfile.mkdtemp(prefix="pkgtool-faults-")
    os.makedirs(work, exist_ok=True)
    total = held = 0
    failures = []
    exceptions = []  # runs that hold by the installer's own naming rule
    try:
        for scenario in scenarios(build):
            if args.only and scenario.name != args.only:
                continue
            base = os.path.join(work, scenario.name.replace(" ", "-"))

            def fresh():
                shutil.rmtree(base, ignore_errors=True)
                os.makedirs(os.path.join(base, "tmp"))
                argv = scenario.prepare(base)
                top = os.path.join(base, scenario.top) if scenario.top else None
                return argv, (snapshot(top) if top else {})

            argv, earlier = fresh()
            log = os.path.join(work, "trace.log")
            clean_code, clean_out, err = run(argv, os.path.join(base, "tmp"),
                                             trace_log=log)
            # The clean run's status is the command's success (uninstall's
            # 3 says the user's own files stay).
            if clean_code not in (0, 3):
                print("%s: the clean run fails (%d): %s" % (
                    scenario.name, clean_code, err.strip()))
                return 1
            clean = snapshot(os.path.join(base, scenario.top)) \
                if scenario.top else {}
            counts = count_calls(log)
            plan = []
            for call, errs in CLASSES.items():
                for n in sample(counts[call], args.full):
                    for err_name in errs:
                        plan.append(((call, err_name, n),
                                     os.strerror(getattr(errno, err_name))))
            if shim is not None:
                for n in sample(counts["write"], args.full):
                    plan.append((None, None, n))
            mine = ok = 0
            for item in plan:
                inject, cause = item[0], item[1]
                argv, earlier = fresh()
                tmp = os.path.join(base, "tmp")
                if inject is None:
                    # The shim takes a dynamically linked pkgtool.
                    argv = [dynamic if a == pkgtool else a for a in argv]
                    code, out, err = run(argv, tmp, shim=shim, short_at=item[2])
                    what = "%s #%d" % (SHORT, item[2])
                else:
                    code, out, err = run(argv, tmp, inject=inject)
                    what = "%s %s #%d" % (inject[0], inject[1], inject[2])
                broke = check(scenario, base, tmp, earlier, clean, clean_out,
                              clean_code, code, out, err, cause)
                mine += 1
                if broke == "intended":
                    exceptions.append("%s: %s" % (scenario.name, what))
                elif broke:
                    failures.append("%s: %s: %s" % (scenario.name, what, broke))
                    print("FAIL %s: %s: %s" % (scenario.name, what, broke),
                          flush=True)
                else:
                    ok += 1
            print("%s: %d of %d held all four" % (scenario.name, ok, mine),
                  flush=True)
            total += mine
            held += ok
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    for what in exceptions:
        print("intended: %s: the earlier uninstal.bin could not be read, so "
              "the installer named its uninstaller unins1.exe" % what)
    print("%d of %d injected faults held all four" % (held, total))
    return 0 if held + len(exceptions) == total else 1


if __name__ == "__main__":
    sys.exit(main())
