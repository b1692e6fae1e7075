"""The mutants of the library's code: a deterministic scan of src/<subsystem>/*.cpp.

Each candidate is one small fault on one line. Its id depends on the file, the line's text (and
which of the file's identical lines it is), the place on the line and the change, never on line
numbers or on other candidates: code added elsewhere leaves the other ids and their ranks alone.
The sample of a seed is the candidates ordered by a hash of seed and id.
"""

import hashlib
import re
from dataclasses import dataclass
from pathlib import Path

COMPARISONS = {
    "<": [("boundary", "<="), ("negate", ">=")],
    "<=": [("boundary", "<"), ("negate", ">")],
    ">": [("boundary", ">="), ("negate", "<=")],
    ">=": [("boundary", ">"), ("negate", "<")],
    "==": [("negate", "!=")],
    "!=": [("negate", "==")],
}
# clang-format puts spaces round binary operators and none inside template brackets, '->', '<<'.
COMPARISON = re.compile(r"(?<= )(==|!=|<=|>=|<|>)(?= )")
LOGICAL = re.compile(r"(?<= )(&&|\|\|)(?= )")
RETURN_BOOL = re.compile(r"\breturn (true|false);")
NUMBER = re.compile(r"(?<![\w.'])(0[xX][0-9a-fA-F]+|\d+)([uUlL]*)(?![\w.'])")
LITERAL_BY_COMPARISON = re.compile(r"(?:(?<= )(?:==|!=|<=|>=|<|>) (NUM))|(?:(NUM) (?:==|!=|<=|>=|<|>)(?= ))".replace(
    "NUM", r"(?<![\w.'])(?:0[xX][0-9a-fA-F]+|\d+)[uUlL]*(?![\w.'])"))
# A call statement alone on its line: a name (a member or scope chain, no spaces) called.
CALL_STATEMENT = re.compile(r"^(\s*)((?:[A-Za-z_]\w*(?:::|\.|->))*[A-Za-z_]\w*\s*\(.*\);)\s*$")
NOT_CALLS = {"return", "if", "while", "for", "switch", "delete", "throw", "sizeof", "static_assert",
             "assert", "CORVANE_LOG", "Sleep", "reserve", "shrink_to_fit", "UNREFERENCED_PARAMETER"}
# Failure paths of the system's calls, which the tests rarely reach.
FAILURE_CHECK = re.compile(r"\b(FAILED|SUCCEEDED)\(|GetLastError\(|INVALID_HANDLE_VALUE")
SKIPPED_STATEMENT = re.compile(r"^\s*(CORVANE_LOG|static_assert|assert)\s*\(|^\s*throw\b")
TIMING = re.compile(r"\b(Sleep|WaitFor\w*|MsgWaitFor\w*)\s*\(|[Tt]imeout|\bkWait|\breserve\(")


@dataclass(frozen=True)
class Mutant:
    id: str
    subsystem: str
    path: str  # relative to the checkout
    line: int  # 1-based, for the report only
    column: int
    operator: str
    before: str  # the whole line
    after: str

    def rank(self, seed):
        return hashlib.sha1(f"{seed}:{self.id}".encode()).hexdigest()


def mask(text):
    """The text with comments and the insides of string and character literals blanked (same length,
    same line breaks), so that the scan sees code only."""
    out = list(text)
    i, n = 0, len(text)

    def blank(start, end):
        for k in range(start, end):
            if out[k] != "\n":
                out[k] = " "

    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            blank(i, end)
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            blank(i, end)
            i = end
        elif c == '"' and i > 0 and text[i - 1] == "R":
            m = re.compile(r'"([^(\s]*)\(').match(text, i)
            close = text.find(")" + m.group(1) + '"', i) if m else -1
            end = n if close < 0 else close + len(m.group(1)) + 2
            blank(i + 1, end - 1)
            i = end
        elif c in "\"'" and not (c == "'" and i > 0 and text[i - 1].isalnum() and _in_number(text, i)):
            k = i + 1
            while k < n and text[k] != c and text[k] != "\n":
                k += 2 if text[k] == "\\" else 1
            blank(i + 1, min(k, n))
            i = k + 1
        else:
            i += 1
    return "".join(out)


def _in_number(text, i):
    """Whether the quote at i separates digits (1'000)."""
    k = i - 1
    while k >= 0 and (text[k].isalnum() or text[k] in "'."):
        k -= 1
    return text[k + 1].isdigit()


def _bumped(number, delta):
    digits, suffix = NUMBER.fullmatch(number).groups()
    if digits.lower().startswith("0x"):
        value = int(digits, 16) + delta
        return None if value < 0 else f"{digits[:2]}{value:X}{suffix}"
    value = int(digits) + delta
    return None if value < 0 else f"{value}{suffix}"


def _reachable_lines(masked_lines):
    """Which lines the scan may mutate: not preprocessor lines, logging statements, assertions,
    throws, catch blocks or the bodies of checks of the system's calls for failure."""
    keep = []
    depth = 0
    skip_above = None  # inside a skipped block: the depth that ends it
    skip_next = False  # a skipped block of one statement without braces
    open_parens = 0  # a skipped statement going on over several lines
    continued_directive = False
    for line in masked_lines:
        stripped = line.strip()
        starts_skip = bool(FAILURE_CHECK.search(line) and re.match(r"\s*(\}\s*else\s+)?if\b", line)) or bool(
            re.match(r"\s*(\}\s*)?catch\b", line))
        if continued_directive or stripped.startswith("#"):
            continued_directive = line.rstrip().endswith("\\")
            ok = False
        elif open_parens > 0:
            open_parens += line.count("(") - line.count(")")
            ok = False
        elif skip_above is not None or skip_next or starts_skip:
            ok = False
        elif SKIPPED_STATEMENT.search(line):
            open_parens = max(0, line.count("(") - line.count(")"))
            ok = False
        else:
            ok = True
        if skip_next and stripped and not starts_skip:
            skip_next = False
        before = depth
        lowest = depth
        for c in line:
            depth += (c == "{") - (c == "}")
            lowest = min(lowest, depth)
        if skip_above is not None and lowest <= skip_above and not starts_skip:
            skip_above = None
        if starts_skip and skip_above is None:
            if stripped.endswith("{"):
                skip_above = min(before, lowest)
            else:
                skip_next = True
        keep.append(ok)
    return keep


def _line_mutants(masked, original, previous_code):
    """(column, operator, after) for one line."""
    found = []
    comparison_numbers = set()
    for m in COMPARISON.finditer(masked):
        op = m.group(1)
        for name, new in COMPARISONS[op]:
            found.append((m.start(), name, original[: m.start()] + new + original[m.end():]))
    for m in LITERAL_BY_COMPARISON.finditer(masked):
        group = 1 if m.group(1) is not None else 2
        start, end = m.span(group)
        comparison_numbers.add(start)
        for delta in (1, -1):
            new = _bumped(original[start:end], delta)
            if new is not None:
                found.append((start, f"boundary{delta:+d}", original[:start] + new + original[end:]))
    for m in LOGICAL.finditer(masked):
        new = "||" if m.group(1) == "&&" else "&&"
        found.append((m.start(), "logical", original[: m.start()] + new + original[m.end():]))
    for m in RETURN_BOOL.finditer(masked):
        new = "false" if m.group(1) == "true" else "true"
        found.append((m.start(1), "return-bool", original[: m.start(1)] + new + original[m.end(1):]))
    if not TIMING.search(masked) and not re.match(r"\s*case\b", masked):
        numbers = list(NUMBER.finditer(masked))
        if len(numbers) > 4:  # a row of a table: one of its numbers, not every one
            numbers = numbers[len(numbers) // 2 : len(numbers) // 2 + 1]
        for m in numbers:
            if m.start() in comparison_numbers:
                continue
            value = m.group(0)
            digits = m.group(1)
            delta = -1 if digits in ("1", "0x1", "0X1") else 1
            new = _bumped(value, delta)
            if new is not None:
                found.append((m.start(), "constant", original[: m.start()] + new + original[m.end():]))
    call = CALL_STATEMENT.match(masked)
    if call and previous_code.rstrip().endswith((";", "{", "}", ":")) and not previous_code.strip().startswith("case"):
        name = re.match(r"[\w:.\->]*?(\w+)\s*\($", masked[: masked.index("(") + 1].strip())
        first = re.match(r"\s*(\w+)", masked).group(1)
        if name and name.group(1) not in NOT_CALLS and first not in NOT_CALLS and "=" not in masked.split("(")[0]:
            found.append((len(call.group(1)), "remove-call", ""))
    return found


def scan_file(root, path, subsystem):
    text = (root / path).read_text(encoding="utf-8", errors="surrogateescape")
    lines = text.split("\n")
    masked_lines = mask(text).split("\n")
    keep = _reachable_lines(masked_lines)
    seen = {}
    mutants = []
    previous_code = "{"
    for number, (original, masked, ok) in enumerate(zip(lines, masked_lines, keep), start=1):
        occurrence = seen.get(original, 0)
        seen[original] = occurrence + 1
        if ok and masked.strip():
            for column, operator, after in _line_mutants(masked, original, previous_code):
                key = f"{path}\0{original}\0{occurrence}\0{column}\0{operator}\0{after}"
                mutant_id = hashlib.sha1(key.encode("utf-8", "surrogateescape")).hexdigest()[:12]
                mutants.append(Mutant(mutant_id, subsystem, str(path), number, column, operator, original, after))
        if masked.strip():
            previous_code = masked
    return mutants


def subsystem_files(root, subsystem, headers=False):
    folder = root / "src" / subsystem
    patterns = ["*.cpp", "*.h"] if headers else ["*.cpp"]
    files = sorted({p for pattern in patterns for p in folder.glob(pattern)})
    return [p.relative_to(root) for p in files]


def scan_subsystem(root, subsystem, headers=False):
    mutants = []
    for path in subsystem_files(root, subsystem, headers):
        mutants.extend(scan_file(root, path, subsystem))
    return mutants


def ranked(mutants, seed):
    return sorted(mutants, key=lambda m: m.rank(seed))
