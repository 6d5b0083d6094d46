#!/usr/bin/env python3
"""Times the tools on large inputs against standard tools that do the same work.

    python3 bench/run.py BUILD_DIR [--megabytes N] [--runs N] [--work DIR] [--tools DIR] [--only TEXT]

BUILD_DIR is a build with -DKX_BENCH=ON (its make_inputs writes the inputs); --tools
names another folder holding kx_strings and kxps_strings to time instead of
BUILD_DIR's (an older build, say). Each tool and its standard tool run in turn, after
one warm-up run each, all writing to /dev/null, and `cat` of the same dump as the floor:

    kx_strings, Huffman text   pigz -dc of the dump compressed with pigz -H
    kx_strings, exclusive-or   cat of the dump
    kxps_strings               iconv -f SHIFT_JIS -t UTF-8 of the dump in Shift-JIS

kx_text is timed the same way, in a second table: export of each file to /dev/null
against the plain dump of the same file (the targets: export within 3 times the
dump's time, 5 times for the exclusive-or form), and check and import of its PO,
untranslated and with every entry translated (as its msgid), against
`msgfmt --check -o /dev/null` of the same PO (the target: 3 times faster), with peak
memory against twice the sizes of the file and the PO together. The peers' versions
are printed first.

The ratio is the standard tool's time divided by ours (above 1: ours is faster), the
median of the ratios of each pair of runs. Peak memory is the tool's largest resident
size, shown against the file's size (for the archive, its largest section); the child
is counted from before its exec, so it never reads below this script's own size
(about 15 MB), which shows on small inputs.
"""
import argparse
import os
import statistics
import struct
import subprocess
import sys
import time


def timed(command):
    """Runs command with its output to /dev/null; returns wall seconds and peak MiB."""
    with open(os.devnull, 'wb') as null:
        start = time.perf_counter()
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=null, stderr=null)
        _, status, usage = os.wait4(process.pid, 0)
        wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit('bench: %s failed' % ' '.join(command))
    return wall, usage.ru_maxrss / 1024


def translated(po):
    """The PO with each entry's msgid copied into its empty msgstr."""
    entries = []
    for entry in po.split('\n\n'):
        at = entry.find('\nmsgid ')
        end = entry.find('\nmsgstr ""', at)
        if 'msgctxt ' in entry and at >= 0 and end >= 0:
            entry = entry[:end] + '\nmsgstr ' + entry[at + 7:end] + entry[end + 10:]
        entries.append(entry)
    return '\n\n'.join(entries)


def version(command):
    try:
        out = subprocess.run(command, capture_output=True, text=True).stdout + ''
        return (out.splitlines() or ['?'])[0]
    except OSError:
        return 'not found'


def compare(rows, runs, header):
    """Times each (name, ours, other name, other, limit MiB) in turn; prints a table."""
    print(header)
    print('|---|---|---|---|---|---|---|')
    for name, ours, other_name, other, limit in rows:
        timed(ours)
        timed(other)
        mine, theirs, ratios, peaks = [], [], [], []
        for _ in range(runs):
            a = timed(ours)
            b = timed(other)
            mine.append(a[0])
            theirs.append(b[0])
            ratios.append(b[0] / a[0])
            peaks.append(a[1])
        print('| %s | %.3f | %s | %.3f | %.2f | %.1f | %s |' % (
            name, statistics.median(mine), other_name, statistics.median(theirs), statistics.median(ratios),
            max(peaks), '%.1f' % limit if limit else '-'))
        sys.stdout.flush()


def text_rows(args, tools, w):
    """The rows of kx_text's table: export against the dump, check and import against msgfmt."""
    kx_text = os.path.join(tools, 'kx_text')
    rows = []
    for name, source, dumper in (('archive', 'archive.dat', 'kxps_strings'), ('Huffman', 'huffman.pak', 'kx_strings'),
                                 ('exclusive-or', 'xor.pak', 'kx_strings')):
        po = w(source + '.po')
        with open(po, 'wb') as out:
            subprocess.run([kx_text, 'export', w(source)], stdout=out, stderr=subprocess.DEVNULL, check=True)
        with open(po, encoding='utf-8') as f, open(w(source + '.t.po'), 'w', encoding='utf-8') as t:
            t.write(translated(f.read()))
        rows.append(('export, ' + name, [kx_text, 'export', w(source)], dumper,
                     [os.path.join(tools, dumper), w(source)], 0))
        for kind, path in (('untranslated', po), ('translated', w(source + '.t.po'))):
            limit = 2 * (os.path.getsize(w(source)) + os.path.getsize(path)) / 2**20
            check = ['msgfmt', '--check', '-o', os.devnull, path]
            rows.append(('check, %s, %s' % (name, kind), [kx_text, 'check', w(source), path], 'msgfmt --check', check,
                         limit))
            rows.append(('import, %s, %s' % (name, kind), [kx_text, 'import', w(source), path, '-o', w('new')],
                         'msgfmt --check', check, limit))
    return [row for row in rows if not args.only or args.only in row[0]]


def largest_section(path):
    with open(path, 'rb') as f:
        index = f.read(4 * 45)
    entry = lambda n: struct.unpack_from('<I', index, 4 * n)[0]
    return max(entry(9) - entry(8), entry(44) - entry(43))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('build')
    parser.add_argument('--megabytes', type=float, default=32, help='text per input (default 32)')
    parser.add_argument('--runs', type=int, default=5, help='counted runs of each command (default 5)')
    parser.add_argument('--work', default='/tmp/kx_bench', help='folder for the inputs and dumps')
    parser.add_argument('--tools', help='folder of the tools to time (default: BUILD)')
    parser.add_argument('--only', help='time only the cases whose name holds this text')
    args = parser.parse_args()
    tools = args.tools or args.build
    os.makedirs(args.work, exist_ok=True)
    w = lambda name: os.path.join(args.work, name)

    subprocess.run([os.path.join(args.build, 'make_inputs'), args.work, str(args.megabytes)], check=True)
    kx = os.path.join(tools, 'kx_strings')
    kxps = os.path.join(tools, 'kxps_strings')
    for tool, source, dump in ((kx, 'huffman.pak', 'huffman.txt'), (kx, 'xor.pak', 'xor.txt'),
                               (kxps, 'archive.dat', 'archive.txt')):
        with open(w(dump), 'wb') as out:
            subprocess.run([tool, w(source)], stdout=out, stderr=subprocess.DEVNULL, check=True)
    with open(w('huffman.gz'), 'wb') as out:
        subprocess.run(['pigz', '-H', '-c', w('huffman.txt')], stdout=out, check=True)
    with open(w('archive.sjis'), 'wb') as out:
        subprocess.run(['iconv', '-f', 'UTF-8', '-t', 'SHIFT_JIS', w('archive.txt')], stdout=out, check=True)

    cases = [
        ('kx_strings, Huffman', [kx, w('huffman.pak')], 'huffman.txt', 'pigz -dc', ['pigz', '-dc', w('huffman.gz')],
         os.path.getsize(w('huffman.pak'))),
        ('kx_strings, exclusive-or', [kx, w('xor.pak')], 'xor.txt', 'cat', ['cat', w('xor.txt')],
         os.path.getsize(w('xor.pak'))),
        ('kxps_strings', [kxps, w('archive.dat')], 'archive.txt', 'iconv',
         ['iconv', '-f', 'SHIFT_JIS', '-t', 'UTF-8', w('archive.sjis')], largest_section(w('archive.dat'))),
    ]
    for peer in (['pigz', '--version'], ['iconv', '--version'], ['msgfmt', '--version'], ['cat', '--version']):
        print('%s: %s' % (peer[0], version(peer)))
    print()
    print('| tool | output MB | ours s | against | theirs s | ratio | cat s | peak MiB | input MiB |')
    print('|---|---|---|---|---|---|---|---|---|')
    for name, ours, dump, other_name, other, size in cases:
        if args.only and args.only not in name:
            continue
        floor = ['cat', w(dump)]
        timed(ours)
        timed(other)
        timed(floor)
        mine, theirs, cats, ratios, peaks = [], [], [], [], []
        for _ in range(args.runs):
            a = timed(ours)
            b = timed(other)
            cats.append(timed(floor)[0])
            mine.append(a[0])
            theirs.append(b[0])
            ratios.append(b[0] / a[0])
            peaks.append(a[1])
        print('| %s | %.0f | %.3f | %s | %.3f | %.2f | %.3f | %.1f | %.1f |' % (
            name, os.path.getsize(w(dump)) / 1e6, statistics.median(mine), other_name, statistics.median(theirs),
            statistics.median(ratios), statistics.median(cats), max(peaks), size / 2**20))
        sys.stdout.flush()
    print()
    compare(text_rows(args, tools, w), args.runs,
            '| kx_text | ours s | against | theirs s | ratio | peak MiB | limit MiB |')


if __name__ == '__main__':
    main()
