"""The runner of scripts/mutate: applies one mutant at a time, rebuilds the subsystem's test
programs, runs them under the Wine session that scripts/mutate started, restores the file and
appends the verdict to the results file (JSON lines). See scripts/mutate --help."""

import argparse
import difflib
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import mutants as scan  # noqa: E402

KILLED, TIMEOUT, SURVIVED, NO_COMPILE = "killed", "timeout", "survived", "no-compile"


class OutOfTime(Exception):
    pass


def parse_duration(text):
    m = re.fullmatch(r"(\d+(?:\.\d+)?)\s*([smh]?)", text.strip())
    if not m:
        raise argparse.ArgumentTypeError(f"not a duration: {text} (90m, 2h, 300s)")
    return float(m.group(1)) * {"": 60, "s": 1, "m": 60, "h": 3600}[m.group(2)]


def arguments(root, build):
    p = argparse.ArgumentParser(prog="scripts/mutate", description=(
        "Mutation check: small faults in src/<subsystem>/*.cpp, one at a time, against that subsystem's "
        "test programs. The sample of a seed is fixed by the library's code alone."))
    p.add_argument("--seed", default="1", help="the sample's seed (default 1)")
    p.add_argument("--count", type=int, default=10, help=(
        "compiling mutants per subsystem: the run measures the first mutants of the seed's order until the "
        "results file holds this many compiling ones per subsystem (default 10)"))
    p.add_argument("--subsystems", default="", help="comma-separated (default: every subsystem with a test program)")
    p.add_argument("--time-limit", type=parse_duration, help="stop cleanly after this long (90m, 2h, 600s; bare number: minutes)")
    p.add_argument("--results", type=Path, help="JSON lines, one per mutant (default build/mutate/seed-SEED.jsonl)")
    p.add_argument("--timeout", type=float, help="seconds a test program may run (default: 3x its unmutated run, at least 60)")
    p.add_argument("--tests", action="append", default=[], metavar="SUB=NAME[,NAME]",
                   help="the CTest names run for a subsystem (default SUB_tests)")
    p.add_argument("--same-as", type=Path, metavar="FILE",
                   help="measure exactly the compiling mutants of an earlier results file (after the tests changed)")
    p.add_argument("--only", default="", metavar="STATUS[,STATUS]",
                   help="with --same-as: only the mutants that had these statuses there (e.g. killed,timeout: "
                        "whether a leaner suite still catches what the old one caught, without rerunning survivors)")
    p.add_argument("--every-failure", action="store_true", help=(
        "run every test of a killed mutant, not only up to the first failure, and record all that fail "
        "(slower; --summary then shows which tests catch mutants no other test catches)"))
    p.add_argument("--headers", action="store_true", help="mutate headers too (every includer rebuilds: slow)")
    p.add_argument("--list", action="store_true", help="print the sample's mutants and stop (no build)")
    p.add_argument("--summary", action="store_true", help="summarise the results file and stop (no build)")
    args = p.parse_args()
    if args.only and not args.same_as:
        p.error("--only chooses among the mutants of --same-as FILE: give both")
    args.results = args.results or build / "mutate" / f"seed-{args.seed}.jsonl"
    return args


class Tree:
    """The checkout and its build folder."""

    def __init__(self, root, build):
        self.root, self.build = root, build

    def subsystems(self):
        return sorted(p.name for p in (self.root / "src").iterdir()
                      if p.is_dir() and (self.root / "tests" / p.name / "CMakeLists.txt").exists())

    def tests_fingerprint(self):
        """A hash of everything the verdicts depend on besides the mutated line: the tests and their helpers."""
        h = hashlib.sha1()
        for folder in ("tests", "testing"):
            for path in sorted((self.root / folder).rglob("*")):
                if path.is_file():
                    h.update(str(path.relative_to(self.root)).encode() + b"\0" + path.read_bytes())
        return h.hexdigest()[:12]


class Mutation:
    """One mutant applied to its file; undone exactly by restore(), whatever happens in between.

    The file's objects are saved first. On restore they come back with the times the build gave
    the mutant's objects (so the build's record of them holds) and the source with its old time,
    so the next build does not compile the file again; what was linked from the mutant's objects
    is deleted and so linked again. Where that is not possible (headers), the source gets a fresh
    time and everything built from it is rebuilt. A marker in the build folder lets the next run
    restore a file that a killed run left mutated."""

    def __init__(self, tree, mutant):
        self.tree, self.mutant = tree, mutant
        self.path = tree.root / mutant.path
        self.keep = tree.build / "mutate" / "pending"
        self.objects = []

    def apply(self):
        original = self.path.read_bytes()
        lines = original.decode("utf-8", "surrogateescape").split("\n")
        if lines[self.mutant.line - 1] != self.mutant.before:
            raise RuntimeError(f"{self.mutant.path}:{self.mutant.line} changed since the scan")
        self.stat = self.path.stat()
        shutil.rmtree(self.keep, ignore_errors=True)
        (self.keep / "objects").mkdir(parents=True)
        (self.keep / "source").write_bytes(original)
        for i, obj in enumerate(self._outputs(self.path, ".obj")):
            if obj.exists():
                shutil.copy2(obj, self.keep / "objects" / str(i))
                self.objects.append((obj, self.keep / "objects" / str(i), obj.stat().st_mtime_ns))
        (self.keep / "file").write_text(self.mutant.path)
        lines[self.mutant.line - 1] = self.mutant.after
        self.path.write_bytes("\n".join(lines).encode("utf-8", "surrogateescape"))

    def _outputs(self, path, suffix=""):
        """What the build makes from the file directly (files only)."""
        if path.suffix not in (".cpp", ".obj"):
            return []
        node = str(path.relative_to(self.tree.build)) if path.is_relative_to(self.tree.build) else str(path)
        out = subprocess.run(["ninja", "-C", str(self.tree.build), "-t", "query", node],
                             capture_output=True, text=True)
        if out.returncode != 0 or "outputs:" not in out.stdout:
            return []
        names = out.stdout.split("outputs:", 1)[1].split()
        return [self.tree.build / name for name in names if name.endswith(suffix) and "." in Path(name).name]

    def restore(self):
        original = (self.keep / "source").read_bytes()
        try:
            for obj, saved, saved_time in self.objects:
                built_time = obj.stat().st_mtime_ns if obj.exists() else saved_time
                shutil.copyfile(saved, obj)
                os.utime(obj, ns=(built_time, built_time))
                if built_time != saved_time:
                    linked = self._outputs(obj)
                    if not linked:
                        raise RuntimeError(f"the build names nothing made from {obj}")
                    for output in linked:
                        output.unlink(missing_ok=True)
            self.path.write_bytes(original)
            if self.objects:
                os.utime(self.path, ns=(self.stat.st_atime_ns, self.stat.st_mtime_ns))
        except BaseException:
            self.path.write_bytes(original)  # a fresh time: compiled again
            raise
        finally:
            shutil.rmtree(self.keep, ignore_errors=True)

    @staticmethod
    def recover(tree):
        """Restores a file that a killed run left mutated; it gets a fresh time, so it is compiled again."""
        keep = tree.build / "mutate" / "pending"
        if (keep / "file").exists() and (keep / "source").exists():
            path = tree.root / (keep / "file").read_text()
            path.write_bytes((keep / "source").read_bytes())
            print(f"mutate: restored {path.relative_to(tree.root)}, left mutated by an earlier run", file=sys.stderr)
        shutil.rmtree(keep, ignore_errors=True)


class Runner:
    def __init__(self, tree, args):
        self.tree, self.args = tree, args
        self.deadline = time.monotonic() + args.time_limit if args.time_limit else None
        self.overrides = {}
        for item in args.tests:
            sub, _, names = item.partition("=")
            self.overrides[sub] = [n for n in names.split(",") if n]
        self.timeouts = {}
        self.log = tree.build / "mutate" / "last.log"

    def tests(self, sub):
        return self.overrides.get(sub, [f"{sub}_tests"])

    def targets(self, sub):
        return [t for t in self.tests(sub) if not t.endswith(("_machines_tests", "machines_tests", "package_tests"))]

    def left(self):
        return None if self.deadline is None else self.deadline - time.monotonic()

    def build(self, sub, limited=True):
        command = ["cmake", "--build", str(self.tree.build)]
        for target in self.targets(sub):
            command += ["--target", target]
        started = time.monotonic()
        ok = self._run(command, self.left() if limited else None) == 0
        return ok, time.monotonic() - started

    def rebuild(self, subsystems):
        """The last mutant's library and programs stay built until the next build: they are built again from the
        restored code, so that a test run after this one tests the real code."""
        for sub in subsystems:
            if not self.build(sub, limited=False)[0]:
                print(f"mutate: {sub}: the restored code does not build (see {self.log})", file=sys.stderr)

    def run_tests(self, sub):
        """(passed, failing tests, seconds); a test past its time-out is stopped and named with TIMEOUT.

        The failing tests are the first one, or with --every-failure all of them."""
        started = time.monotonic()
        failures = []
        for name in self.tests(sub):
            limit = self.timeouts.get(name, self.args.timeout or 600)
            left = self.left()
            budget = limit if left is None else min(limit, left)
            code = self._run(["ctest", "--test-dir", str(self.tree.build), "--output-on-failure", "-R", f"^{name}$"],
                             budget, env={} if self.args.every_failure else {"GTEST_FAIL_FAST": "1"})
            if code is None:
                self._restart_wine()
                if left is not None and budget >= left:
                    raise OutOfTime()
                return False, failures + [f"{name} TIMEOUT"], time.monotonic() - started
            if code != 0 or "No tests were found" in self.log.read_text(errors="replace"):
                failures += [f"{name}: {test}" for test in self._failures()]
                if not self.args.every_failure:
                    break
        return not failures, failures, time.monotonic() - started

    def _failures(self):
        text = self.log.read_text(errors="replace")
        names = dict.fromkeys(re.findall(r"\[  FAILED  \] ([\w/]+\.[\w/]+)", text))
        return list(names) or ["failed"]

    def _run(self, command, limit, env=None):
        """The command's exit code, its output in the log; None when it ran past the limit (it is stopped)."""
        self.log.parent.mkdir(parents=True, exist_ok=True)
        with open(self.log, "w") as out:
            proc = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT, start_new_session=True,
                                    env={**os.environ, **(env or {})})
            try:
                return proc.wait(timeout=limit)
            except subprocess.TimeoutExpired:
                return None
            finally:
                if proc.poll() is None:
                    os.killpg(proc.pid, signal.SIGTERM)  # ninja cleans up after itself
                    try:
                        proc.wait(timeout=5)
                    except subprocess.TimeoutExpired:
                        pass
                    try:
                        os.killpg(proc.pid, signal.SIGKILL)
                    except ProcessLookupError:
                        pass
                    proc.wait()

    def _restart_wine(self):
        """A stopped test may leave Windows processes behind: the prefix's server is restarted."""
        subprocess.run(["bash", "-c", 'source "$root/scripts/lib/wine-session.sh"; corvane_prepare_prefix'],
                       env={**os.environ, "root": str(self.tree.root)}, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def baseline(self, sub):
        """Builds and runs the unmutated tests: they must pass; their times set the time-outs."""
        ok, _ = self.build(sub)
        if self.left() is not None and self.left() <= 0:
            raise OutOfTime()
        if not ok:
            raise SystemExit(f"mutate: the unmutated {sub} tests do not build (see {self.log})")
        for name in self.tests(sub):
            self.timeouts[name] = self.args.timeout or 600
        started = time.monotonic()
        passed, failures, _ = self.run_tests(sub)
        if not passed and self.left() is not None and self.left() <= 0:
            raise OutOfTime()
        if not passed:
            raise SystemExit(f"mutate: the unmutated {sub} tests fail ({failures[0]}, see {self.log})")
        if not self.args.timeout:
            # Each program's own time is not known separately when a subsystem has several: share it out.
            each = (time.monotonic() - started) / len(self.tests(sub))
            for name in self.tests(sub):
                self.timeouts[name] = max(60.0, 3 * each)
        print(f"mutate: {sub}: unmutated tests pass in {time.monotonic() - started:.0f} s", flush=True)

    def measure(self, mutant):
        mutation = Mutation(self.tree, mutant)
        record = {"id": mutant.id, "subsystem": mutant.subsystem, "file": mutant.path, "line": mutant.line,
                  "operator": mutant.operator, "before": mutant.before, "after": mutant.after}
        try:
            mutation.apply()
            built, build_seconds = self.build(mutant.subsystem)
            record["build_seconds"] = round(build_seconds, 1)
            if self.left() is not None and self.left() <= 0:
                raise OutOfTime()
            if not built:
                record["status"] = NO_COMPILE
                return record
            passed, failures, test_seconds = self.run_tests(mutant.subsystem)
            record["test_seconds"] = round(test_seconds, 1)
            if passed:
                record["status"] = SURVIVED
            else:
                record["status"] = TIMEOUT if failures[-1].endswith("TIMEOUT") else KILLED
                record["failed"] = failures[0]
                if self.args.every_failure:
                    record["failed_all"] = failures
            return record
        finally:
            if hasattr(mutation, "stat"):
                mutation.restore()


def diff(record):
    return "".join(difflib.unified_diff([record["before"] + "\n"], [record["after"] + "\n"],
                                        f"a/{record['file']}", f"b/{record['file']}",
                                        lineterm="\n", n=0)).replace("@@ -1 +1 @@", f"@@ -{record['line']} +{record['line']} @@")


def read_results(path):
    records = []
    if path.exists():
        for line in path.read_text().splitlines():
            if line.strip():
                records.append(json.loads(line))
    return records


def summarise(records, subsystems=None):
    latest = {r["id"]: r for r in records}  # a file that several runs wrote: each mutant's last verdict
    by_sub = {}
    for r in latest.values():
        if subsystems is None or r["subsystem"] in subsystems:
            by_sub.setdefault(r["subsystem"], []).append(r)
    print(f"{'subsystem':<12}{'mutants':>8}{'killed':>8}{'timeout':>8}{'survived':>9}{'no-comp':>8}"
          f"{'kill %':>8}{'build s':>9}{'test s':>8}")
    for sub in sorted(by_sub):
        rs = by_sub[sub]
        count = {s: sum(r["status"] == s for r in rs) for s in (KILLED, TIMEOUT, SURVIVED, NO_COMPILE)}
        compiling = [r for r in rs if r["status"] != NO_COMPILE]
        rate = 100.0 * (count[KILLED] + count[TIMEOUT]) / len(compiling) if compiling else float("nan")
        build = sum(r.get("build_seconds", 0) for r in compiling) / len(compiling) if compiling else 0
        test = sum(r.get("test_seconds", 0) for r in compiling) / len(compiling) if compiling else 0
        print(f"{sub:<12}{len(compiling):>8}{count[KILLED]:>8}{count[TIMEOUT]:>8}{count[SURVIVED]:>9}"
              f"{count[NO_COMPILE]:>8}{rate:>8.1f}{build:>9.0f}{test:>8.0f}")
    print("(mutants: compiling ones; kill % counts time-outs as killed; build s and test s: means per compiling mutant)")
    for sub in sorted(by_sub):
        summarise_catchers(sub, by_sub[sub])
    survivors = [r for sub in sorted(by_sub) for r in by_sub[sub] if r["status"] == SURVIVED]
    if survivors:
        print(f"\nSurvivors ({len(survivors)}):")
        for r in survivors:
            print(f"# {r['id']} {r['operator']}")
            sys.stdout.write(diff(r))


def summarise_catchers(sub, records):
    """With --every-failure records: per test, the mutants it catches and those no other test catches."""
    caught = [r for r in records if "failed_all" in r]
    if not caught:
        return
    catches, sole = {}, {}
    for r in caught:
        for test in r["failed_all"]:
            catches[test] = catches.get(test, 0) + 1
            if len(r["failed_all"]) == 1:
                sole[test] = sole.get(test, 0) + 1
    print(f"\n{sub}: tests by mutants caught ({len(caught)} mutants run to the end; a test not named caught none)")
    for test in sorted(catches, key=lambda t: (-sole.get(t, 0), -catches[t], t)):
        print(f"  {catches[test]:>4} caught {sole.get(test, 0):>4} alone  {test}")


def sample(tree, args, sub, done):
    """The mutants of the subsystem still to measure, in the seed's order."""
    if args.same_as:
        only = set(filter(None, args.only.split(",")))
        wanted = [r["id"] for r in read_results(args.same_as)
                  if r["subsystem"] == sub and r["status"] != NO_COMPILE and (not only or r["status"] in only)]
        by_id = {m.id: m for m in scan.scan_subsystem(tree.root, sub, args.headers)}
        missing = [i for i in wanted if i not in by_id]
        if missing:
            print(f"mutate: {sub}: {len(missing)} mutants of {args.same_as} are no longer in the code", file=sys.stderr)
        return [by_id[i] for i in wanted if i in by_id and i not in done], len(wanted)
    return scan.ranked(scan.scan_subsystem(tree.root, sub, args.headers), args.seed), args.count


def main():
    root = Path(os.environ.get("root") or Path(__file__).resolve().parents[2])
    build = Path(os.environ.get("build") or root / "build")
    tree = Tree(root, build)
    args = arguments(root, build)
    subsystems = [s for s in args.subsystems.split(",") if s] or tree.subsystems()
    unknown = [s for s in subsystems if not (root / "src" / s).is_dir()]
    if unknown:
        raise SystemExit(f"mutate: no such subsystem: {', '.join(unknown)}")
    if args.summary:
        summarise(read_results(args.results), set(args.subsystems.split(",")) if args.subsystems else None)
        return
    if args.list:
        for sub in subsystems:
            mutants, count = sample(tree, args, sub, set())
            for m in mutants[: count * 2 if not args.same_as else None]:
                print(f"{m.id} {sub} {m.path}:{m.line} {m.operator}: {m.after.strip() or 'removed: ' + m.before.strip()}")
        return

    def stop(signum, frame):
        # Once: a second signal must not cut short the restoring of the file.
        for name in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(name, signal.SIG_IGN)
        raise KeyboardInterrupt()

    for name in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(name, stop)  # SIGINT too: started in the background, the runner inherits it ignored
    Mutation.recover(tree)
    fingerprint = tree.tests_fingerprint()
    args.results.parent.mkdir(parents=True, exist_ok=True)
    records = read_results(args.results)
    other = [r for r in records if r.get("tests") != fingerprint or r.get("seed") != args.seed]
    if other:
        print(f"mutate: {len(other)} results in {args.results} are of other tests or another seed: not reused",
              file=sys.stderr)
    current = [r for r in records if r.get("tests") == fingerprint and r.get("seed") == args.seed]
    runner = Runner(tree, args)
    started = time.monotonic()
    stopped = None
    measured = []
    try:
        for sub in subsystems:
            done = {r["id"]: r for r in current if r["subsystem"] == sub}
            mutants, wanted = sample(tree, args, sub, set(done))
            compiling = sum(r["status"] != NO_COMPILE for r in done.values())
            if (compiling >= wanted and not args.same_as) or all(m.id in done for m in mutants):
                continue
            runner.baseline(sub)
            for m in mutants:
                if not args.same_as and sum(r["status"] != NO_COMPILE for r in done.values()) >= wanted:
                    break
                if m.id in done:
                    continue
                if runner.left() is not None and runner.left() <= 0:
                    raise OutOfTime()
                if sub not in measured:
                    measured.append(sub)
                record = runner.measure(m)
                record.update(seed=args.seed, tests=fingerprint)
                with open(args.results, "a") as out:
                    out.write(json.dumps(record) + "\n")
                    out.flush()
                    os.fsync(out.fileno())
                done[m.id] = record
                current.append(record)
                seconds = record.get("build_seconds", 0) + record.get("test_seconds", 0)
                print(f"mutate: {sub} {m.id} {m.path}:{m.line} {m.operator}: {record['status']} "
                      f"({seconds:.0f} s)", flush=True)
    except OutOfTime:
        stopped = "the time limit"
    except KeyboardInterrupt:
        stopped = "an interruption"
    if stopped == "an interruption" and measured:
        print("mutate: interrupted: build before running the tests, the programs may still hold the last mutant",
              file=sys.stderr)
    elif measured:
        runner.rebuild(measured)
    print(f"\nmutate: seed {args.seed}, {time.monotonic() - started:.0f} s"
          + (f", stopped by {stopped} (run the same command again to go on)" if stopped else ""))
    summarise(current, set(subsystems))
    if stopped == "an interruption":
        sys.exit(130)


if __name__ == "__main__":
    main()
