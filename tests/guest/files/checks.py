"""Reads back what a guest recorded through checks.h."""

import velmora_test as vt

RESULTS = 0x4000
MAX_FAILURES = 200
DUMP = "0x%X:%d" % (RESULTS, 4 + 10 * MAX_FAILURES)


def report(r, source_path, least_checks):
    """Fails the test for each recorded failure, naming its source line."""
    with open(source_path, encoding="utf-8") as f:
        source_lines = f.read().splitlines()
    name = source_path.rsplit("/", 1)[-1]
    checks = r.word(RESULTS)
    vt.expect(checks >= least_checks, "only %d checks ran" % checks, r)
    for n in range(min(r.word(RESULTS + 2), MAX_FAILURES)):
        base = RESULTS + 4 + 10 * n
        line = r.word(base)
        text = source_lines[line - 1].strip() if 0 < line <= len(source_lines) else "?"
        vt.expect(False, "%s:%d: %s: got 0x%X, want 0x%X" %
                  (name, line, text, r.dword(base + 2), r.dword(base + 6)))
