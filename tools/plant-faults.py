#!/usr/bin/env python3
"""Plants one-token faults in the product code, one at a time, and reports how many of
them make the test suite fail (the kill rate).

    tools/plant-faults.py [--build DIR] [--sample N] [--seed S] [--list] [FILE ...]

A fault is one of:
  compare   a comparison flipped at its edge or negated (< to <=, == to !=, ...)
  constant  an integer literal off by one (0 to 1, 0x7C to 0x7D, ...)
  logic     && and || exchanged
  call      a statement that is only a call dropped
  entry     two neighbouring entries of a string table exchanged

Each fault is built in DIR (default build-faults, configured with tests) and the
suite is run there with ctest; a fault that does not compile is left out of the
count. The file is restored after every fault, also on Ctrl-C. --sample takes a
seeded random sample of N sites (the same sites for the same tree and seed).
Faults that survive are listed at the end: each is a test that is missing, or an
equivalent change.
"""
import argparse
import os
import random
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SKIP = {'tests', 'fuzz', 'bench', 'tools', 'examples', '.git', '.ci'}
COMPARE = {'<': '<=', '<=': '<', '>': '>=', '>=': '>', '==': '!=', '!=': '=='}
COMPARE_RE = re.compile(r'(?<=\s)(<=|>=|==|!=|<|>)(?=\s)')
LOGIC_RE = re.compile(r'(?<=\s)(&&|\|\|)(?=\s)')
NUMBER_RE = re.compile(r'(?<![\w.])(0[xX][0-9A-Fa-f]+|\d+)(?:[uU]?[lL]{0,2})?(?![\w.])')
CALL_RE = re.compile(r'^\s*[A-Za-z_][\w:]*\s*\(.*\)\s*;\s*$')
ENTRY_RE = re.compile(r'"[^"\\]*"|\b0x[0-9A-Fa-f\']+\b')
LITERAL = re.compile(r'^\s*(\{|"|0x|[0-9]|\'|u8")')


def product_files():
    found = []
    for d, dirs, files in os.walk(ROOT):
        rel = os.path.relpath(d, ROOT)
        top = rel.split(os.sep)[0]
        if rel != '.' and (top in SKIP or top.startswith('build') or top.startswith('.')):
            dirs[:] = []
            continue
        if rel == '.':
            continue
        for f in sorted(files):
            if f.endswith(('.cpp', '.h')):
                found.append(os.path.join(rel, f))
    return sorted(found)


def code_part(line):
    """The line with string and character literals blanked and comments cut."""
    out = []
    quote = None
    i = 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == '\\':
                out.append('  ')
                i += 2
                continue
            out.append(' ' if c != quote else c)
            if c == quote:
                quote = None
        elif c in '"\'':
            quote = c
            out.append(c)
        elif line.startswith('//', i):
            break
        else:
            out.append(c)
        i += 1
    return ''.join(out)


def sites_of(path):
    with open(os.path.join(ROOT, path), encoding='utf-8') as f:
        lines = f.read().split('\n')
    sites = []
    # A data table (as count-lines sees one: most lines literals): its entries, not its
    # code, are what a fault would change.
    code = [l.strip() for l in lines if l.strip() and not l.strip().startswith('//')]
    table = len(code) >= 40 and sum(1 for l in code if LITERAL.match(l) or l.count(',') >= 8) >= 0.6 * len(code)
    in_block = False
    for n, line in enumerate(lines):
        s = line.strip()
        if in_block:
            in_block = '*/' not in s
            continue
        if s.startswith('/*'):
            in_block = '*/' not in s
            continue
        if s.startswith('#') or s.startswith('//') or 'static_assert' in s:
            continue
        if table:
            # A string table: exchange an entry with its neighbour, where they differ.
            # Every 16th line is enough to tell whether single entries are pinned.
            entries = list(ENTRY_RE.finditer(line[:len(code_part(line))]))
            for a, b in zip(entries, entries[1:]):
                if n % 16 == 0 and a.group() != b.group():
                    new = line[:a.start()] + b.group() + line[a.end():b.start()] + a.group() + line[b.end():]
                    sites.append(('entry', path, n, new, '%s <-> %s' % (a.group(), b.group())))
            continue
        code = code_part(line)
        if 'template' in code or 'include' in code:
            continue
        for m in COMPARE_RE.finditer(code):
            op = m.group(1)
            new = line[:m.start()] + COMPARE[op] + line[m.end():]
            sites.append(('compare', path, n, new, '%s -> %s' % (op, COMPARE[op])))
        for m in LOGIC_RE.finditer(code):
            op = '||' if m.group(1) == '&&' else '&&'
            sites.append(('logic', path, n, line[:m.start()] + op + line[m.end():], '%s -> %s' % (m.group(1), op)))
        for m in NUMBER_RE.finditer(code):
            text = m.group(1)
            value = int(text, 16) if text.lower().startswith('0x') else int(text)
            new_text = ('0x%X' % (value + 1)) if text.lower().startswith('0x') else str(value + 1)
            new = line[:m.start(1)] + new_text + line[m.end(1):]
            sites.append(('constant', path, n, new, '%s -> %s' % (text, new_text)))
        if CALL_RE.match(code) and not re.match(r'^\s*(return|if|for|while|switch|case)\b', code):
            sites.append(('call', path, n, re.match(r'^\s*', line).group() + ';', 'dropped: ' + s))
    # At most 60 entry faults a table, spread over it, so that a large table does not
    # crowd out the code.
    entries = [x for x in sites if x[0] == 'entry']
    if len(entries) > 60:
        keep = set(id(x) for x in entries[::(len(entries) + 59) // 60])
        sites = [x for x in sites if x[0] != 'entry' or id(x) in keep]
    return lines, sites


def run(cmd, cwd, timeout):
    try:
        return subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return -1


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('--build', default=os.path.join(ROOT, 'build-faults'))
    ap.add_argument('--sample', type=int, default=0)
    ap.add_argument('--seed', type=int, default=1)
    ap.add_argument('--list', action='store_true', help='list the sites and stop')
    ap.add_argument('--shard', default='1/1', help='K/N: run every Nth of the chosen faults from the Kth on '
                    '(the choice is the same; N runs in N build folders add up to the whole)')
    ap.add_argument('files', nargs='*')
    args = ap.parse_args()

    files = args.files or product_files()
    contents = {}
    sites = []
    for f in files:
        lines, found = sites_of(f)
        contents[f] = lines
        sites.extend(found)
    if args.sample and args.sample < len(sites):
        sites = sorted(random.Random(args.seed).sample(sites, args.sample), key=lambda s: (s[1], s[2]))
    shard, shards = (int(x) for x in args.shard.split('/'))
    sites = sites[shard - 1::shards]
    if args.list:
        for kind, path, n, _, what in sites:
            print('%-8s %s:%d  %s' % (kind, path, n + 1, what))
        print('%d sites' % len(sites))
        return 0

    if run(['cmake', '-S', ROOT, '-B', args.build, '-DCMAKE_BUILD_TYPE=Debug'], ROOT, 600) != 0:
        sys.exit('plant-faults: cannot configure ' + args.build)
    build = ['cmake', '--build', args.build, '-j2']
    test = ['ctest', '--test-dir', args.build, '-j2', '--timeout', '30', '--stop-on-failure']
    if run(build, ROOT, 1800) != 0 or run(test[:-1], ROOT, 1800) != 0:
        sys.exit('plant-faults: the unchanged tree does not build or pass its tests')

    killed, survived, unbuildable = 0, [], 0
    for k, (kind, path, n, new, what) in enumerate(sites):
        lines = contents[path]
        full = os.path.join(ROOT, path)
        changed = lines[:n] + [new] + lines[n + 1:]
        try:
            with open(full, 'w', encoding='utf-8') as f:
                f.write('\n'.join(changed))
            if run(build, ROOT, 1800) != 0:
                unbuildable += 1
                verdict = 'does not build'
            elif run(test, ROOT, 1800) != 0:
                killed += 1
                verdict = 'caught'
            else:
                survived.append((kind, path, n, what))
                verdict = 'SURVIVED'
        finally:
            with open(full, 'w', encoding='utf-8') as f:
                f.write('\n'.join(lines))
        print('[%d/%d] %-8s %s:%d  %s: %s' % (k + 1, len(sites), kind, path, n + 1, what, verdict), flush=True)
    run(build, ROOT, 1800)
    counted = killed + len(survived)
    print('\nsurvivors:')
    for kind, path, n, what in survived:
        print('  %-8s %s:%d  %s' % (kind, path, n + 1, what))
    print('\n%d faults planted, %d did not build; %d of %d caught = %.1f%%' %
          (len(sites), unbuildable, killed, counted, 100.0 * killed / counted if counted else 0.0))
    return 0


if __name__ == '__main__':
    sys.exit(main())
