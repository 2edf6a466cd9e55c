#!/usr/bin/env bash
# Prints the share of test code: C/C++ lines in tests/ and fuzz/ against all
# C/C++ in src/ include/ platform/ tools/ tests/ fuzz/ bench/, blank and
# comment lines not counted. --files also lists each test file's count.
cd "$(dirname "$0")/.."
python3 - "$@" <<'PY'
import os, re, sys
def count(path):
    t = open(path, encoding='utf-8', errors='replace').read()
    t = re.sub(r'/\*.*?\*/', '', t, flags=re.S)
    return sum(1 for l in t.splitlines() if l.strip() and not l.strip().startswith('//'))
def lines(top, files):
    n = 0
    for dp, dn, fn in os.walk(top):
        for f in fn:
            if os.path.splitext(f)[1] in ('.c', '.cpp', '.h', '.hpp', '.cc'):
                c = count(os.path.join(dp, f))
                files.append((c, os.path.join(dp, f)))
                n += c
    return n
files = {}
p = {t: lines(t, files.setdefault(t, [])) for t in ('src', 'include', 'platform', 'tools', 'tests', 'fuzz', 'bench')}
tests = p['tests'] + p['fuzz']; whole = sum(p.values()) or 1
if '--files' in sys.argv:
    for c, f in sorted(files['tests'] + files['fuzz'], key=lambda x: x[1]):
        print('%5d %s' % (c, f))
print('test code %d of %d lines: %.2f' % (tests, whole, tests / whole))
PY
