#!/usr/bin/env python3
"""Runs two builds of the tools on the same inputs and reports every difference in
what they do: standard output, standard error, exit status, the bytes of every file
they write and the files they leave behind.

    tools/compare-builds.py OLD_BUILD_DIR NEW_BUILD_DIR [--count N] [--seed S] [--keep DIR]
                            [--input FILE]... [--show N] [--jobs 1|2]

The inputs are the bundled examples, the fuzz regressions, the game files among the
golden files, files that make_examples (of the old build, else the new one) writes
from random source texts,
files that the old build's kx_text import writes from edited PO files, and N damaged
variants of all of these (byte flips, table fields overwritten with edge values,
truncations, insertions, duplicated and deleted ranges), made deterministically from
--seed. Each input is dumped by kxps_strings and kx_strings (with and without -V) and
exported by kx_text (to standard output, to -o out.po, with --kind archive and
--kind pack). When the old build exports it, the exported PO is imported back
unchanged, with translations filled in and damaged, and every file the import writes
is dumped again. A handful of command lines (usage, missing files, default file
names) are run once.

Every command runs with each build in a fresh folder of its own, under the same
relative names, at most two processes at a time, each with a 20 s limit (a timeout on
either side is a difference). The script prints "N inputs, M runs, K differences" (a
run is one command run by both builds), details of the first differences, saves the
inputs of every difference under --keep DIR (each with the PO files of its imports
and what differed), and exits with status 1 when anything differs, 0 otherwise.
--input FILE compares on the files given (a kept input, say) instead of the bundled
ones.

Nearly all the time goes to starting the tools, about 20 ms of processor time per
run. 3000 variants make some 27000 runs: 10 minutes of processor time, 13 minutes on
a 2-core machine shared with other work; the default of 2000 stays under 10 there.
"""
import argparse
import collections
import concurrent.futures
import hashlib
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOOLS = ('kxps_strings', 'kx_strings', 'kx_text')
TIMEOUT = 20.0
PO_NAME = 'strings.po'
NEW_NAME = 'NEW'


# ----------------------------------------------------------------------------------
# Little-endian fields and the places in a file worth damaging.

def u16(data, at):
    return data[at] | data[at + 1] << 8 if 0 <= at and at + 2 <= len(data) else None


def u32(data, at):
    return int.from_bytes(data[at:at + 4], 'little') if 0 <= at and at + 4 <= len(data) else None


def list_points(data, at, fields, ends, first=8):
    """A u16 count and its list of u16 offsets at `at`: the fields of the count and the
    first offsets, and where the list ends. Returns the list's end or None."""
    count = u16(data, at)
    if count is None:
        return None
    fields.append((at, 2))
    for k in range(min(count, first)):
        fields.append((at + 2 + 2 * k, 2))
    end = at + 2 + 2 * count
    ends.append(end)
    return end


def archive_points(data, fields, ends):
    """The section index, the directories of sections 8 (layout A) and 43 (layout B)."""
    for n in range(45):
        if 4 * n + 4 <= len(data):
            fields.append((4 * n, 4))
    for section, nested in ((8, False), (43, True)):
        start, stop = u32(data, 4 * section), u32(data, 4 * section + 4)
        if start is None or start >= len(data):
            continue
        ends.extend((start, stop if stop is not None else start))
        count = u32(data, start)
        if count is None:
            continue
        fields.append((start, 4))
        blocks = min(count & 0xFFFF, 32)
        step = 4 if nested else 8
        ends.append(start + 4 + step * (count & 0xFFFF))
        for i in range(blocks):
            entry = start + 4 + step * i
            if nested:
                fields.append((entry, 4))
                offset = u32(data, entry)
                if offset is None:
                    continue
                inner = u32(data, start + offset)
                if inner is None:
                    continue
                fields.append((start + offset, 4))
                base = start + inner
                end = list_points(data, base, fields, ends)
            else:
                fields.extend(((entry, 4), (entry + 4, 4)))
                offset = u32(data, entry + 4)
                if offset is None:
                    continue
                end = list_points(data, start + offset, fields, ends)
                base = end
            first = u16(data, start + offset + 2) if end is not None else None
            if first is not None and base is not None:
                ends.append(base + first)


def pack_points(data, fields, ends):
    """The node table and the layout C directory after it."""
    count = u16(data, 0)
    if count is None:
        return
    fields.append((0, 2))
    for i in list(range(min(count, 4))) + list(range(max(0, count - 3), count)):
        for k in range(4):
            if 2 + 4 * i + k < len(data):
                fields.append((2 + 4 * i + k, 1))
    directory = 2 + 4 * count
    ends.append(directory)
    blocks = u16(data, directory)
    if blocks is None:
        return
    fields.append((directory, 2))
    ends.append(directory + 2 + 6 * blocks)
    for i in range(min(blocks, 32)):
        entry = directory + 2 + 6 * i
        fields.extend(((entry, 2), (entry + 2, 4)))
        offset = u32(data, entry + 2)
        if offset is None:
            continue
        end = list_points(data, offset, fields, ends)
        first = u16(data, offset + 2)
        if end is not None and first is not None:
            ends.append(end + first)


def damage_points(data):
    fields, ends = [], []
    archive_points(data, fields, ends)
    pack_points(data, fields, ends)
    fields = sorted({f for f in fields if 0 <= f[0] and f[0] + f[1] <= len(data)})
    ends = sorted({e for e in ends if 0 <= e <= len(data)} | {len(data)})
    return fields, ends


EDGE = {
    1: (0, 1, 0x0A, 0x7C, 0x7F, 0x80, 0xFE, 0xFF),
    2: (0, 1, 2, 0x7C, 0xFF, 0x100, 0x7FFF, 0x8000, 0xFFFE, 0xFFFF),
    4: (0, 1, 2, 0x7C, 0xFF, 0xFFFF, 0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFE, 0xFFFFFFFF),
}


def damage(rng, data):
    """1 to 3 faults planted in `data`; returns the bytes and a short description."""
    data = bytearray(data)
    done = []
    for _ in range(rng.choice((1, 1, 1, 2, 2, 3))):
        fields, ends = damage_points(bytes(data))
        kind = rng.choice(('flip', 'flip', 'field', 'field', 'field', 'field', 'cut', 'cut_end', 'cut_end',
                           'insert', 'duplicate', 'delete', 'append'))
        size = len(data)
        if kind == 'flip' and size:
            at = rng.randrange(size)
            data[at] ^= rng.choice((1, 2, 4, 8, 16, 32, 64, 128, 0xFF, rng.randrange(1, 256)))
            done.append(f'flip@{at}')
        elif kind == 'field' and size:
            if fields and rng.random() < 0.8:
                at, width = rng.choice(fields)
            else:
                width = rng.choice((1, 2, 4))
                at = rng.randrange(max(1, size - width + 1))
                width = min(width, size - at)
                if width == 3:
                    width = 2
            old = int.from_bytes(data[at:at + width], 'little')
            mask = (1 << 8 * width) - 1
            value = rng.choice(EDGE[width] + ((old + 1) & mask, (old - 1) & mask, size & mask,
                                              (size - 1) & mask, (size + 1) & mask, (old * 2) & mask))
            data[at:at + width] = value.to_bytes(width, 'little')
            done.append(f'u{8 * width}@{at}={value:#x}')
        elif kind == 'cut' and size:
            at = rng.randrange(size)
            del data[at:]
            done.append(f'cut@{at}')
        elif kind == 'cut_end':
            at = max(0, min(size, rng.choice(ends) + rng.choice((-2, -1, 0, 0, 0, 1, 2))))
            del data[at:]
            done.append(f'cut@{at}')
        elif kind == 'insert':
            at = rng.choice(ends) if ends and rng.random() < 0.5 else rng.randrange(size + 1)
            extra = bytes(rng.choice((0, 0x7C, 0xFF, rng.randrange(256))) for _ in range(rng.randint(1, 16)))
            data[at:at] = extra
            done.append(f'insert@{at}+{len(extra)}')
        elif kind == 'duplicate' and size:
            a = rng.randrange(size)
            b = min(size, a + rng.randint(1, 64))
            at = rng.randrange(size + 1)
            data[at:at] = data[a:b]
            done.append(f'dup[{a}:{b}]@{at}')
        elif kind == 'delete' and size:
            a = rng.randrange(size)
            b = min(size, a + rng.randint(1, 16))
            del data[a:b]
            done.append(f'delete[{a}:{b}]')
        else:
            extra = bytes(rng.randrange(256) for _ in range(rng.randint(1, 8)))
            data += extra
            done.append(f'append+{len(extra)}')
    return bytes(data), ' '.join(done)


# ----------------------------------------------------------------------------------
# PO files: the exporter's own layout, edited.

def po_unquote(line):
    """The text of the first quoted string on a line (C escapes), or None."""
    start = line.find('"')
    if start < 0:
        return None
    out, i = [], start + 1
    simple = {'n': '\n', 't': '\t', 'r': '\r', '"': '"', '\\': '\\', 'a': '\a', 'b': '\b', 'f': '\f', 'v': '\v'}
    while i < len(line):
        c = line[i]
        if c == '"':
            return ''.join(out)
        if c == '\\' and i + 1 < len(line):
            e = line[i + 1]
            if e in simple:
                out.append(simple[e])
                i += 2
                continue
            m = re.match(r'[0-7]{1,3}', line[i + 1:])
            if m:
                out.append(chr(int(m.group(0), 8)))
                i += 1 + len(m.group(0))
                continue
        out.append(c)
        i += 1
    return None


def po_quote(text):
    out = []
    for c in text:
        if c == '\\':
            out.append('\\\\')
        elif c == '"':
            out.append('\\"')
        elif c == '\n':
            out.append('\\n')
        elif c == '\t':
            out.append('\\t')
        elif c == '\r':
            out.append('\\r')
        elif ord(c) < 0x20 or ord(c) == 0x7F:
            out.append(f'\\{ord(c):03o}')
        else:
            out.append(c)
    return '"' + ''.join(out) + '"'


def po_field(keyword, text, rng):
    """A keyword and its text, on one line or in the exporter's wrapped form."""
    if '\n' not in text[:-1] and rng.random() < 0.7 or not text:
        return [f'{keyword} {po_quote(text)}']
    parts = text.split('\n')
    pieces = [p + '\n' for p in parts[:-1]] + ([parts[-1]] if parts[-1] else [])
    return [f'{keyword} ""'] + [po_quote(p) for p in pieces]


def po_entries(text):
    """The PO split at blank lines into chunks of lines; for each chunk the text of its
    msgid and the line where its msgstr starts (None when it has none)."""
    chunks = [c for c in text.split('\n\n') if c.strip()]
    entries = []
    for chunk in chunks:
        lines = chunk.strip('\n').split('\n')
        msgid, msgstr_at, reading = None, None, False
        for k, line in enumerate(lines):
            if line.startswith('msgid '):
                msgid, reading = po_unquote(line) or '', True
            elif line.startswith('msgstr'):
                msgstr_at = k
                break
            elif reading and line.startswith('"'):
                msgid += po_unquote(line) or ''
        entries.append({'lines': lines, 'msgid': msgid, 'msgstr_at': msgstr_at})
    return entries


def po_join(entries):
    return '\n\n'.join('\n'.join(e['lines']) for e in entries) + '\n'


ESCAPES = ('{7B}', '{01 79}', '{0A}', '{00}', '{7C}', '{FF}', '{81 40}', '{82}', '{20}', '{01}', '{5C 6E}',
           '{1}', '{zz}', '{', '}', '{}', '{01 79 02}', '{ 41 }', '{41}A', '{01}A', '{80 A0}', '{E0}')
NO_CODE = ('€', 'ä', 'ß', '😀', 'Ω', '\u00a0', 'ｱ', '\t', '\r', '~', '\\', '¥', '‾', '\u3000', '①', '\x7f', '\x01')


def mutate_text(rng, text, pool, rich):
    """A translation made from a source text: characters dropped, repeated or
    replaced, and (when `rich`) escapes, "|", a backslash-n and characters without a
    code inserted."""
    chars = re.findall(r'\{[^{}]*\}|.', text, re.S) or [rng.choice(pool)]
    ops = ['drop', 'repeat', 'replace', 'replace', 'insert', 'newline']
    if rich:
        ops += ['escape', 'escape', 'bar', 'backslash_n', 'no_code', 'other']
    for _ in range(rng.randint(1, 4)):
        op = rng.choice(ops)
        at = rng.randrange(len(chars) + 1)
        if op == 'drop' and chars:
            del chars[min(at, len(chars) - 1):at + rng.randint(1, 3)]
        elif op == 'repeat' and chars:
            at = min(at, len(chars) - 1)
            chars[at:at] = chars[at:at + rng.randint(1, 3)] * rng.randint(1, 5)
        elif op == 'replace' and chars:
            chars[min(at, len(chars) - 1)] = rng.choice(pool)
        elif op == 'insert':
            chars[at:at] = [rng.choice(pool) for _ in range(rng.randint(1, 6))]
        elif op == 'newline':
            chars.insert(at, '\n')
        elif op == 'escape':
            chars.insert(at, rng.choice(ESCAPES))
        elif op == 'bar':
            chars.insert(at, '|')
        elif op == 'backslash_n':
            chars.insert(at, '\\n')
        elif op == 'no_code':
            chars.insert(at, rng.choice(NO_CODE))
        elif op == 'other':
            chars = list(rng.choice(pool) * rng.randint(1, 40))
    return ''.join(chars)


def translated_po(rng, po, risk, long_texts=False, share=None):
    """The PO with msgstr filled in for a share of its entries. `risk` 0 uses only
    characters of the PO's own texts, 1 puts escapes and the like into one entry, 2
    into about half of them."""
    entries = po_entries(po)
    pool = sorted({c for e in entries if e['msgid'] for c in e['msgid']} - set('{}\\')) or ['a']
    share = share if share is not None else rng.choice((0.1, 0.3, 0.6, 1.0))
    strings = [e for e in entries[1:] if e['msgstr_at'] is not None]
    risky = {id(rng.choice(strings))} if risk == 1 and strings else set()
    long_entries = set()
    if long_texts and strings:
        first = rng.randrange(len(strings))
        long_entries = {id(e) for e in strings[first:first + rng.choice((1, 1, 2, 3))]}
    for e in strings:
        if id(e) in long_entries:
            length = rng.choice((rng.randint(30000, 40000), rng.randint(60000, 70000), rng.randint(100000, 140000)))
            text = ''.join(rng.choice(pool) for _ in range(length))
        elif rng.random() < share or id(e) in risky:
            text = mutate_text(rng, e['msgid'], pool, id(e) in risky or risk == 2 and rng.random() < 0.5)
        else:
            continue
        e['lines'] = e['lines'][:e['msgstr_at']] + po_field('msgstr', text, rng)
    return po_join(entries)


KEYWORDS = ('msgid', 'msgstr', 'msgctxt', 'msgid_plural', 'msgstr[0]', 'msgstr[1]', 'msgstrx', 'MSGID', '')
CHARSETS = ('ISO-8859-1', 'CHARSET', 'Shift_JIS', 'utf-8', 'UTF8', '', 'CP932')


def damaged_po(rng, po):
    """The PO with 1 to 3 faults: lines dropped or duplicated, keywords changed, quotes
    broken, contexts changed, fuzzy flags, another charset, and a few whole-file ones."""
    lines = po.split('\n')
    done = []
    for _ in range(rng.choice((1, 1, 2, 3))):
        kind = rng.choice(('drop', 'dup', 'keyword', 'quote', 'quote', 'context', 'context', 'fuzzy',
                           'fuzzy', 'charset', 'obsolete', 'join', 'msgid', 'entry'))
        at = rng.randrange(len(lines))
        if kind == 'drop':
            del lines[at]
        elif kind == 'dup':
            lines.insert(at, lines[at])
        elif kind == 'keyword':
            keyed = [k for k, line in enumerate(lines) if re.match(r'msg\w+(\[\d\])? ', line)]
            if keyed:
                at = rng.choice(keyed)
                lines[at] = rng.choice(KEYWORDS) + lines[at][lines[at].index(' '):]
        elif kind == 'quote':
            quoted = [k for k, line in enumerate(lines) if line.endswith('"')]
            if quoted:
                at = rng.choice(quoted)
                line = lines[at]
                cut = rng.randrange(line.index('"'), len(line))
                lines[at] = rng.choice((line[:-1], line[:cut] + '"' + line[cut:], line[:cut] + '\\q' + line[cut:],
                                        line.replace('"', '', 1), line + ' "x"', line[:-1] + '\\"',
                                        line[:cut] + '\\x' + line[cut:], line + ' # c'))
        elif kind == 'context':
            ctx = [k for k, line in enumerate(lines) if line.startswith('msgctxt ')]
            if ctx:
                at = rng.choice(ctx)
                other = lines[rng.choice(ctx)]
                value = po_unquote(lines[at]) or ''
                nums = value.split(':')
                nums[-1] = rng.choice(('99999', '-1', '0', str(int(nums[-1]) + 1) if nums[-1].isdigit() else 'x',
                                       '65536', '4294967296', ' 1', '01'))
                lines[at] = rng.choice((f'msgctxt {po_quote(":".join(nums))}', other, 'msgctxt ""',
                                        f'msgctxt {po_quote(value + ":0")}', f'msgctxt {po_quote("abc")}',
                                        f'msgctxt {po_quote(":".join(nums[1:]))}'))
        elif kind == 'fuzzy':
            ctx = [k for k, line in enumerate(lines) if line.startswith('msgctxt ')]
            if ctx:
                at = rng.choice(ctx)
                lines.insert(at, rng.choice(('#, fuzzy', '#, fuzzy, c-format', '#,fuzzy', '# fuzzy', '#| fuzzy')))
        elif kind == 'charset':
            for k, line in enumerate(lines):
                if 'charset=' in line:
                    lines[k] = re.sub(r'charset=[^\\"]*', 'charset=' + rng.choice(CHARSETS), line)
                    break
        elif kind == 'obsolete':
            lines.insert(at, rng.choice(('#~ msgctxt "0:0"', '#~ msgid "x"', '#~ msgstr "y"')))
        elif kind == 'join':
            blanks = [k for k, line in enumerate(lines) if not line]
            if blanks:
                del lines[rng.choice(blanks)]
        elif kind == 'msgid':
            ids = [k for k, line in enumerate(lines) if line.startswith('msgid "') and line != 'msgid ""']
            if ids:
                at = rng.choice(ids)
                lines[at] = lines[at][:-1] + rng.choice(('x', ' ', '\\n', '{7B}')) + '"'
        else:
            ctx = [k for k, line in enumerate(lines) if line.startswith('msgctxt ')]
            if ctx:
                at = rng.choice(ctx)
                end = at
                while end < len(lines) and lines[end]:
                    end += 1
                lines[end:end] = [''] + lines[at:end]
        done.append(kind)
    text = '\n'.join(lines)
    data = text.encode('utf-8')
    whole = rng.random()
    if whole < 0.06:
        data = data.replace(b'\n', b'\r\n')
        done.append('crlf')
    elif whole < 0.10:
        data = b'\xef\xbb\xbf' + data
        done.append('bom')
    elif whole < 0.14:
        data = data.rstrip(b'\n')
        done.append('no_final_newline')
    elif whole < 0.18:
        data = data[:rng.randrange(len(data) + 1)]
        done.append('truncated')
    elif whole < 0.22:
        at = rng.randrange(len(data) + 1)
        data = data[:at] + rng.choice((b'\xff', b'\xc3', b'\xe3\x81', b'\x00', b'\x82\xa0')) + data[at:]
        done.append('bad_utf8')
    return data, '+'.join(done)


# ----------------------------------------------------------------------------------
# Running both builds.

class Build:
    def __init__(self, folder):
        self.folder = os.path.abspath(folder)
        self.tools = {t: os.path.join(self.folder, t) for t in TOOLS}


def listing(folder):
    """Every file under `folder`: relative name to bytes (folders as name/ to None).
    The digits of a temporary file's name are random, so they are left out."""
    files = {}
    for base, dirs, names in os.walk(folder):
        rel = os.path.relpath(base, folder)
        for d in dirs:
            files[os.path.normpath(os.path.join(rel, d)) + '/'] = None
        for n in names:
            path = os.path.join(base, n)
            name = re.sub(r'\.tmp\d+$', '.tmp#', os.path.normpath(os.path.join(rel, n)))
            try:
                with open(path, 'rb') as f:
                    files[name] = f.read()
            except OSError as e:
                files[name] = f'<unreadable: {e}>'.encode()
    return files


def run_one(build, argv, folder):
    """Runs one command in `folder`; returns (status, stdout, stderr). The command
    runs in a process group of its own, all of which a timeout ends."""
    exe = build.tools[argv[0]]
    try:
        p = subprocess.Popen([exe] + argv[1:], cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, start_new_session=True)
    except OSError as e:
        return f'not run: {e}', b'', b''
    try:
        out, err = p.communicate(timeout=TIMEOUT)
        return p.returncode, out, err
    except subprocess.TimeoutExpired:
        try:
            os.killpg(p.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        out, err = p.communicate()
        return 'timeout', out, err


def first_line_difference(a, b):
    la, lb = a.split(b'\n'), b.split(b'\n')
    for k in range(max(len(la), len(lb))):
        x = la[k] if k < len(la) else None
        y = lb[k] if k < len(lb) else None
        if x != y:
            return k + 1, x, y
    return None, None, None


def show(value, limit=160):
    if value is None:
        return '(no such line)'
    text = repr(value)[1:]
    return text if len(text) <= limit else text[:limit] + '...'


def compare(old, new):
    """The differences between two outcomes (status, stdout, stderr, files), as
    (stream, detail) pairs."""
    found = []
    if old[0] != new[0] or 'timeout' in (old[0], new[0]):
        found.append(('exit status', f'old {old[0]}, new {new[0]}'))
    for name, a, b in (('stdout', old[1], new[1]), ('stderr', old[2], new[2])):
        if a != b:
            line, x, y = first_line_difference(a, b)
            found.append((f'{name}, line {line}', f'old {show(x)}\nnew {show(y)}'))
    names = sorted(set(old[3]) | set(new[3]))
    for name in names:
        a, b = old[3].get(name, False), new[3].get(name, False)
        if a is False or b is False:
            found.append((f'file {name}', 'left by the old build only' if b is False else 'left by the new build only'))
        elif a != b:
            line, x, y = first_line_difference(a, b)
            at = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
            found.append((f'file {name}, line {line}', f'{len(a)} against {len(b)} bytes, first difference at byte '
                                                       f'{at}\nold {show(x)}\nnew {show(y)}'))
    return found


class Runner:
    def __init__(self, old, new, scratch):
        self.old, self.new, self.scratch = old, new, scratch

    def folder(self, files):
        folder = tempfile.mkdtemp(dir=self.scratch)
        for name, data in files.items():
            with open(os.path.join(folder, name), 'wb') as f:
                f.write(data)
        return folder

    def pair(self, files, argv, then=()):
        """Runs argv with each build in a fresh folder holding `files`, then each
        command of `then` in the same folder when argv wrote NEW (the dumps of an
        import). Returns the old build's outcome of argv (status, stdout, stderr,
        files) and (argv, old outcome, new outcome) for every command run."""
        results = []
        outcomes = []
        for build in (self.old, self.new):
            folder = self.folder(files)
            try:
                status, out, err = run_one(build, argv, folder)
                left = listing(folder)
                outcomes.append((status, out, err, left))
                extra = []
                if NEW_NAME in left:
                    for more in then:
                        s2, o2, e2 = run_one(build, more, folder)
                        extra.append((s2, o2, e2, {}))
                outcomes.append(extra)
            finally:
                shutil.rmtree(folder, ignore_errors=True)
        old, old_then, new, new_then = outcomes
        results.append((argv, old, new))
        if old_then or new_then:
            for k, more in enumerate(then):
                a = old_then[k] if k < len(old_then) else ('not run: no NEW', b'', b'', {})
                b = new_then[k] if k < len(new_then) else ('not run: no NEW', b'', b'', {})
                results.append((more, a, b))
        return old, results


def dumps(kind):
    """The dumps of a file that an import wrote: its own tool, plain and verbose, and
    an export."""
    tool = 'kxps_strings' if kind == 'archive' else 'kx_strings'
    return ([tool, NEW_NAME], [tool, '-V', NEW_NAME], ['kx_text', 'export', NEW_NAME])


def input_commands(name):
    return [['kxps_strings', name], ['kxps_strings', '-V', name], ['kx_strings', name], ['kx_strings', '-V', name],
            ['kx_text', 'export', name], ['kx_text', 'export', name, '-o', 'out.po'],
            ['kx_text', 'export', name, '--kind', 'archive'], ['kx_text', 'export', name, '--kind', 'pack']]


def po_variants(rng, po, depth, index):
    """(label, PO bytes) to import: unchanged, translated and damaged; `depth` 2 gives
    nine, 1 three, 0 one of them in turn."""
    unchanged = ('unchanged', po.encode('utf-8'))

    def translated(k, risk, long_texts=False):
        return (f'translated{k}', translated_po(rng, po, risk, long_texts).encode('utf-8'))

    def damaged(k):
        base = po if rng.random() < 0.3 else translated_po(rng, po, 0)
        data, how = damaged_po(rng, base)
        return (f'damaged{k}:{how}', data)

    if depth == 2:
        return ([unchanged, translated(0, 0), translated(1, 1), translated(2, 2), translated(3, 0, True)]
                + [damaged(k) for k in range(3)])
    if depth == 1:
        return [unchanged, translated(0, rng.choice((0, 1)), rng.random() < 0.2), damaged(0)]
    turn = index % 4
    return [unchanged if turn == 0 else damaged(0) if turn == 1
            else translated(0, rng.choice((0, 0, 1, 2)), rng.random() < 0.05)]


def run_kind(argv):
    if argv[1:2] == ['import']:
        return 'imports'
    return 'dumps of imports' if argv[-1] == NEW_NAME else 'dumps and exports of inputs'


def check_input(runner, index, item, seed):
    """Runs every command on one input; returns (runs, differences)."""
    name, data = item['name'], item['data']
    files = {name: data}
    runs, found = collections.Counter(), []

    def record(results, po=None, po_label=None):
        for argv, old, new in results:
            runs[run_kind(argv)] += 1
            diffs = compare(old, new)
            if diffs:
                found.append({'index': index, 'item': item, 'argv': argv, 'diffs': diffs, 'po': po,
                              'po_label': po_label})

    exports = {}
    for argv in input_commands(name):
        old, results = runner.pair(files, argv)
        record(results)
        exports[tuple(argv[3:])] = old
    po, kind_args = None, []
    plain = exports[('-o', 'out.po')]
    if plain[0] == 0 and 'out.po' in plain[3]:
        po = plain[3]['out.po']
    else:
        for kind in ('archive', 'pack'):
            out = exports[('--kind', kind)]
            if out[0] == 0:
                po, kind_args = out[1], ['--kind', kind]
                break
    if po is None:
        return runs, found
    po = po.decode('utf-8', 'surrogateescape')
    rng = random.Random(f'{seed}:po:{index}')
    depth = item['depth']
    variants = po_variants(rng, po, depth, index)
    kind = re.search(r'X-Kx-Kind: (\w+)', po)
    kind = kind.group(1) if kind else kind_args[1] if kind_args else 'archive'
    if depth == 2 and not kind_args:
        variants.insert(1, ('unchanged --kind', po.encode('utf-8'), ['--kind', kind]))
    for variant in variants:
        label, po_bytes = variant[0], variant[1]
        extra = variant[2] if len(variant) > 2 else kind_args
        argv = ['kx_text', 'import', name, PO_NAME, '-o', NEW_NAME] + extra
        _, results = runner.pair({name: data, PO_NAME: po_bytes}, argv, then=dumps(kind))
        record(results, po_bytes, label)
    return runs, found


COMMAND_LINES = [
    ({}, ['kxps_strings']), ({}, ['kx_strings']), ({}, ['kx_text']),
    ('examples', ['kxps_strings']), ('examples', ['kx_strings']), ('examples', ['kxps_strings', '-V']),
    ('examples', ['kx_strings', '--verbose']), ('examples', ['kxps_strings', '-?']),
    ('examples', ['kx_strings', '--help']), ('examples', ['kx_text', '-?']), ('examples', ['kx_text', '--help']),
    ('examples', ['kxps_strings', '-x']), ('examples', ['kx_strings', 'STRINGS.PAK', 'XOR.PAK']),
    ('examples', ['kxps_strings', 'nofile']), ('examples', ['kx_strings', 'nofile']),
    ('examples', ['kxps_strings', '.']), ('examples', ['kx_strings', '.']), ('examples', ['kx_text', 'export', '.']),
    ('examples', ['kxps_strings', '--verbose', 'KESTRA', '-V']), ('examples', ['kxps_strings', '--', 'KESTRA']),
    ('examples', ['kx_text', 'frob']), ('examples', ['kx_text', 'export']),
    ('examples', ['kx_text', 'export', 'nofile']), ('examples', ['kx_text', 'export', 'KESTRA', '-o']),
    ('examples', ['kx_text', 'export', 'KESTRA', '--kind', 'bogus']),
    ('examples', ['kx_text', 'export', 'KESTRA', '--kind']),
    ('examples', ['kx_text', 'export', 'KESTRA', '--language', 'de', '-o', 'de.po']),
    ('examples', ['kx_text', 'export', 'XOR.PAK', '--language', '']),
    ('examples', ['kx_text', 'export', 'KESTRA', 'STRINGS.PAK']),
    ('examples', ['kx_text', 'export', 'KESTRA', '-o', 'KESTRA']),
    ('examples', ['kx_text', 'export', 'KESTRA', '-o', 'missing/out.po']),
    ('examples', ['kx_text', 'export', 'KESTRA', '-V']),
    ('examples', ['kx_text', 'import', 'KESTRA']), ('examples', ['kx_text', 'import', 'KESTRA', 'x.po']),
    ('examples', ['kx_text', 'import', 'KESTRA', 'x.po', '-o', 'NEW']),
    ('examples', ['kx_text', 'import', 'KESTRA', 'KESTRA.po', '-o', 'KESTRA']),
    ('examples', ['kx_text', 'import', 'KESTRA', 'KESTRA.po', '-o', 'KESTRA.po']),
    ('examples', ['kx_text', 'import', 'KESTRA', 'KESTRA.po', '-o', 'NEW', '--kind', 'pack']),
    ('examples', ['kx_text', 'import', 'KESTRA', 'STRINGS.PAK.po', '-o', 'NEW']),
    ('examples', ['kx_text', 'import', 'STRINGS.PAK', 'STRINGS.PAK.po', '-o', 'missing/NEW']),
    ('examples', ['kx_text', 'import', 'XOR.PAK', 'XOR.PAK.po', '-o', 'NEW', 'extra']),
]


def check_command_lines(runner, examples):
    runs, found = collections.Counter(), []
    for setup, argv in COMMAND_LINES:
        files = dict(examples) if setup == 'examples' else {}
        _, results = runner.pair(files, argv)
        for a, old, new in results:
            runs['command lines'] += 1
            diffs = compare(old, new)
            if diffs:
                found.append({'index': -1, 'item': {'name': 'command line', 'origin': 'command line', 'data': b''},
                              'argv': a, 'diffs': diffs, 'po': None, 'po_label': None})
    return runs, found


# ----------------------------------------------------------------------------------
# Gathering the inputs.

def read(path):
    with open(path, 'rb') as f:
        return f.read()


def seed_inputs():
    items = []
    for name in ('KESTRA', 'STRINGS.PAK', 'XOR.PAK'):
        items.append({'name': name, 'origin': f'examples/{name}', 'data': read(os.path.join(ROOT, 'examples', name))})
    for name in ('wide_positions.archive', 'wide_positions.pak'):
        path = os.path.join(ROOT, 'tests', 'golden', name)
        if os.path.exists(path):
            items.append({'name': name, 'origin': f'tests/golden/{name}', 'data': read(path)})
    regressions = os.path.join(ROOT, 'fuzz', 'regressions')
    for base, _, names in sorted(os.walk(regressions)):
        for n in sorted(names):
            rel = os.path.relpath(os.path.join(base, n), ROOT)
            items.append({'name': n, 'origin': rel, 'data': read(os.path.join(base, n))})
    items.append({'name': 'EMPTY', 'origin': 'an empty file', 'data': b''})
    items.append({'name': 'ONE', 'origin': 'one byte', 'data': b'\x00'})
    return items


def source_text(rng, texts, archive):
    """A random source for make_examples, its strings made from the examples' ones."""
    pool = sorted({c for t in texts for c in t if c not in '\\"{}'}) or ['a']
    lines = []

    def string():
        if rng.random() < 0.1:
            return '""'
        if rng.random() < 0.5:
            text = rng.choice(texts)
        else:
            text = ''.join(rng.choice(pool) for _ in range(rng.randint(1, 30)))
        if rng.random() < 0.2:
            text += rng.choice(('\\n', '{0A}', '{01 79}' if archive else '{82 A0}'))
        return '"' + text + '"'

    sections = ((8, True), (43, False)) if archive else ((None, True),)
    for section, with_ids in sections:
        if section is not None:
            lines.append(f'[section {section}]')
        for _ in range(rng.randint(1, 5)):
            if with_ids:
                lines.append(f'[block {rng.choice((0, 1, 7, 255, 1000, 65535, rng.randrange(100000)))}]')
            else:
                lines.append('[block]')
            for _ in range(rng.randint(0, 6)):
                lines.append(string())
    return '\n'.join(lines) + '\n'


def quoted_texts(path):
    texts = []
    for line in read(path).decode('utf-8').split('\n'):
        if line.startswith('"') and line.endswith('"') and len(line) > 2:
            texts.append(line[1:-1])
    return texts


def generated_from_sources(make_examples, scratch, rng, sets):
    """Archives and packs that make_examples writes from random source texts."""
    sources = {'kestra.txt': 'KESTRA', 'strings_pak.txt': 'STRINGS.PAK', 'xor_pak.txt': 'XOR.PAK'}
    texts = {s: quoted_texts(os.path.join(ROOT, 'examples', s)) for s in sources}
    items = []
    for k in range(sets):
        folder = tempfile.mkdtemp(dir=scratch)
        try:
            for s in sources:
                with open(os.path.join(folder, s), 'w', encoding='utf-8') as f:
                    f.write(source_text(rng, texts[s], s == 'kestra.txt'))
            p = subprocess.run([make_examples, folder], capture_output=True, timeout=TIMEOUT)
            if p.returncode == 0:
                for s, name in sources.items():
                    items.append({'name': name, 'origin': f'make_examples, source set {k}',
                                  'data': read(os.path.join(folder, name))})
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    return items


def generated_by_import(runner, bases, rng, per_base):
    """Files that the old build's kx_text import writes from edited PO files."""
    items = []
    for base in bases:
        name = base['name']
        folder = runner.folder({name: base['data']})
        try:
            status, _, _ = run_one(runner.old, ['kx_text', 'export', name, '-o', 'out.po'], folder)
            if status != 0:
                continue
            po = read(os.path.join(folder, 'out.po')).decode('utf-8', 'surrogateescape')
            for k in range(per_base):
                with open(os.path.join(folder, PO_NAME), 'wb') as f:
                    f.write(translated_po(rng, po, 0, share=rng.choice((0.3, 1.0))).encode('utf-8'))
                new = os.path.join(folder, NEW_NAME)
                if os.path.exists(new):
                    os.remove(new)
                status, _, _ = run_one(runner.old, ['kx_text', 'import', name, PO_NAME, '-o', NEW_NAME], folder)
                if status == 0 and os.path.exists(new):
                    items.append({'name': name, 'origin': f'import of an edited PO of {base["origin"]}',
                                  'data': read(new)})
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    return items


def gather(runner, make_examples, count, seed, inputs):
    """The inputs: the bundled ones and generated ones, or the files given, and
    `count` damaged variants of them."""
    rng = random.Random(f'{seed}:gather')
    if inputs:
        items = [{'name': os.path.basename(p), 'origin': p, 'data': read(p), 'depth': 2} for p in inputs]
    else:
        items = seed_inputs()
        if make_examples:
            items += generated_from_sources(make_examples, runner.scratch, rng, 4)
        for i in items:
            i['depth'] = 2
        valid = [i for i in items if not i['origin'].startswith(('fuzz/', 'an empty', 'one byte'))]
        for i in generated_by_import(runner, valid, rng, 2):
            i['depth'] = 1
            items.append(i)
    seen = {hashlib.sha256(i['name'].encode() + b'\0' + i['data']).digest() for i in items}
    pool = list(items)
    made, attempts = 0, 0
    while made < count and attempts < count * 5:
        attempts += 1
        vrng = random.Random(f'{seed}:damage:{attempts}')
        base = vrng.choice(pool)
        data, how = damage(vrng, base['data'])
        key = hashlib.sha256(base['name'].encode() + b'\0' + data).digest()
        if key in seen:
            continue
        seen.add(key)
        items.append({'name': base['name'], 'origin': f'{base["origin"]} damaged: {how}', 'data': data,
                      'depth': 0})
        made += 1
    return items


# ----------------------------------------------------------------------------------

def keep_differences(keep, found):
    os.makedirs(keep, exist_ok=True)
    by_input = {}
    for d in found:
        by_input.setdefault(d['index'], []).append(d)
    for index, diffs in sorted(by_input.items()):
        item = diffs[0]['item']
        folder = os.path.join(keep, 'command-lines' if index < 0 else f'input-{index:05d}')
        os.makedirs(folder, exist_ok=True)
        if index >= 0:
            with open(os.path.join(folder, item['name']), 'wb') as f:
                f.write(item['data'])
        with open(os.path.join(folder, 'differences.txt'), 'w', encoding='utf-8') as f:
            f.write(f'input: {item["name"]} ({item["origin"]})\n')
            for k, d in enumerate(diffs):
                f.write(f'\ncommand: {" ".join(d["argv"])}\n')
                if d['po'] is not None:
                    po_name = f'import-{k}.po'
                    with open(os.path.join(folder, po_name), 'wb') as p:
                        p.write(d['po'])
                    f.write(f'PO ({d["po_label"]}): {po_name}, saved as {PO_NAME} in the run folder\n')
                for stream, detail in d['diffs']:
                    f.write(f'  {stream}:\n    ' + detail.replace('\n', '\n    ') + '\n')


def main():
    started = time.monotonic()
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('old', metavar='OLD_BUILD_DIR')
    parser.add_argument('new', metavar='NEW_BUILD_DIR')
    parser.add_argument('--count', type=int, default=2000, help='damaged variants (default 2000)')
    parser.add_argument('--seed', type=int, default=1, help='seed of the variants (default 1)')
    parser.add_argument('--keep', metavar='DIR', help='save the inputs of every difference under DIR')
    parser.add_argument('--input', action='append', metavar='FILE',
                        help='compare on FILE (repeatable) and --count variants of it, not on the bundled inputs')
    parser.add_argument('--show', type=int, default=10, help='differences shown in detail (default 10)')
    parser.add_argument('--jobs', type=int, default=2, choices=(1, 2), help='processes at a time (default 2)')
    args = parser.parse_args()

    builds = []
    for folder in (args.old, args.new):
        build = Build(folder)
        missing = [t for t, path in build.tools.items() if not os.access(path, os.X_OK)]
        if missing:
            print(f'compare-builds: {folder} has no {", ".join(missing)}', file=sys.stderr)
            return 2
        builds.append(build)
    make_examples = next((os.path.join(b.folder, 'make_examples') for b in builds
                          if os.access(os.path.join(b.folder, 'make_examples'), os.X_OK)), None)

    signal.signal(signal.SIGTERM, lambda number, frame: sys.exit(128 + number))
    scratch = tempfile.mkdtemp(prefix='compare-builds.')
    try:
        runner = Runner(builds[0], builds[1], scratch)
        items = gather(runner, make_examples, args.count, args.seed, args.input)
        whole = sum(1 for i in items if i['depth'] > 0)
        print(f'{len(items)} inputs: {whole} seed and generated files, {len(items) - whole} damaged variants'
              f'{"" if make_examples else " (no make_examples in either build)"}', file=sys.stderr)
        examples = {n: read(os.path.join(ROOT, 'examples', n)) for n in ('KESTRA', 'STRINGS.PAK', 'XOR.PAK')}
        for n in ('KESTRA', 'STRINGS.PAK', 'XOR.PAK'):
            examples[n + '.po'] = read(os.path.join(ROOT, 'tests', 'golden', n + '.po'))

        runs, found = collections.Counter(), []
        lock = threading.Lock()
        progress = {'done': 0}

        def one(index):
            result = check_input(runner, index, items[index], args.seed)
            with lock:
                progress['done'] += 1
                done = progress['done']
                if done % 250 == 0:
                    print(f'  {done}/{len(items)} inputs, {time.monotonic() - started:.0f} s', file=sys.stderr)
            return result

        pool = concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs)
        try:
            lines = pool.submit(check_command_lines, runner, examples)
            for r, f in pool.map(one, range(len(items))):
                runs += r
                found += f
            r, f = lines.result()
            runs += r
            found = f + found
        finally:
            # On Ctrl-C or SIGTERM: no new inputs; the two running ones end by themselves.
            pool.shutdown(wait=False, cancel_futures=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    elapsed = time.monotonic() - started
    for n, d in enumerate(found[:args.show]):
        item = d['item']
        if d['index'] < 0:
            print(f'difference {n + 1}: a command line on the examples')
        else:
            print(f'difference {n + 1}: input {d["index"]} {item["name"]} ({item["origin"]})')
        print(f'  command: {" ".join(d["argv"])}' + (f'  [{PO_NAME}: {d["po_label"]}]' if d['po_label'] else ''))
        for stream, detail in d['diffs']:
            print(f'  {stream}:\n    ' + detail.replace('\n', '\n    '))
    if len(found) > args.show:
        print(f'... and {len(found) - args.show} more')
    if found and args.keep:
        keep_differences(args.keep, found)
        print(f'inputs of the differences saved under {args.keep}')
    inputs_with = len({d['index'] for d in found if d['index'] >= 0})
    where = f'in {inputs_with} inputs' + (', and command lines' if any(d['index'] < 0 for d in found) else '')
    print(f'runs: ' + ', '.join(f'{n} {k}' for k, n in sorted(runs.items())))
    print(f'{len(items)} inputs, {sum(runs.values())} runs, {len(found)} differences'
          + (f' ({where})' if found else '') + f'; {elapsed:.0f} s')
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main())
