#!/usr/bin/env python3
"""Writes src-wnd/core/sim_table_data.cpp: the meter output that simulated devices replay.

The table is made up, not recorded, but has the shape of a planing line's meter output: one row per board,
"first\taverage\r\n", both readings with one decimal in four characters, the average a little below the
first reading and the gap widening for wetter boards, now and then a very wet board, and three boards whose
average the meter could not form ("00.0").

Properties the table keeps (checked again by tests/src-wnd/core/sim_table_test.cpp):
  3393 rows; the eight rows it begins with; "00.0" averages only at rows 1384, 1385 and 1938 (counting
  from 1); 587 distinct lines; first readings 11.7 to 28.0 with median 14.0; averages 00.0 to 24.7 with
  median 13.1; in every row the average below the first reading.

The generator is deterministic (fixed seed): running it again writes the same file.
Usage: tools/gen_sim_table.py [output path]
"""

import os
import random
import statistics
import sys

ROWS = 3393
DISTINCT = 587
SEED = 5821
FIRST_MEDIAN, AVERAGE_MEDIAN = 140, 131          # readings in tenths
FIRST_MIN, FIRST_MAX = 117, 280
AVERAGE_MIN_VALID, AVERAGE_MAX = 95, 247

HEAD = [(148, 142), (156, 150), (160, 151), (154, 148), (142, 135), (164, 156), (280, 212), (153, 144)]
ZERO_ROWS = {1384: (142, 0), 1385: (139, 0), 1938: (143, 0)}   # 1-based row numbers
# Lines that must occur so that the stated extremes and medians are reached.
REQUIRED = [(117, 112), (268, 247), (FIRST_MEDIAN, AVERAGE_MEDIAN)]


def text(line):
    first, average = line
    return "%02d.%d\t%02d.%d\r\n" % (first // 10, first % 10, average // 10, average % 10)


def draw(rng, centre):
    """One board from the meter: readings in tenths, or None when it falls outside the table's ranges."""
    if rng.random() < 0.015:
        first = rng.uniform(17.0, 28.0)        # a wet board
    else:
        first = rng.gauss(centre, 1.15) + abs(rng.gauss(0, 0.5))
    gap = max(0.1, rng.gauss(0.62 + 0.09 * (first - 12.0) + 0.02 * (first - 12.0) ** 2, 0.28))
    f = int(round(first * 10))
    a = int(round((first - gap) * 10))
    if not (FIRST_MIN < f <= FIRST_MAX) or not (AVERAGE_MIN_VALID <= a < AVERAGE_MAX) or a >= f:
        return None
    return (f, a)


def generate():
    rng = random.Random(SEED)
    table = [None] * ROWS
    for i, line in enumerate(HEAD):
        table[i] = line
    for row, line in ZERO_ROWS.items():
        table[row - 1] = line
    fixed = {i for i, line in enumerate(table) if line is not None}

    seen = set(line for line in table if line is not None) | set(REQUIRED)
    centre = 13.5                                  # drifts from package to package
    for i in range(ROWS):
        if i in fixed:
            continue
        if i % 40 == 0:
            centre = 13.5 + 0.6 * (centre - 13.5) + rng.gauss(0, 0.25)
        while True:
            line = draw(rng, centre)
            if line is None:
                continue
            if line in seen or len(seen) < DISTINCT:
                break
        seen.add(line)
        table[i] = line
    if len(seen) != DISTINCT:
        raise SystemExit("the draw gave %d distinct lines, not %d" % (len(seen), DISTINCT))

    def counts():
        c = {}
        for line in table:
            c[line] = c.get(line, 0) + 1
        return c

    def replaceable(predicate):
        c = counts()
        return [i for i, line in enumerate(table) if i not in fixed and c[line] > 1 and predicate(line)]

    # Lines of the required set that the draw did not produce take the place of boards whose line occurs
    # more than once, so no other line disappears.
    for line in REQUIRED:
        if line not in table:
            table[rng.choice(replaceable(lambda l: True))] = line

    # Bring both medians to their values: a board on the wrong side becomes the median line itself, which
    # never moves the other median away from its value.
    middle = ROWS // 2                             # 0-based index of the median in sorted order
    for attempt in range(ROWS):
        firsts = sorted(f for f, _ in table)
        averages = sorted(a for _, a in table)
        if firsts[middle] < FIRST_MEDIAN:
            candidates = replaceable(lambda l: l[0] < FIRST_MEDIAN)
        elif firsts[middle] > FIRST_MEDIAN:
            candidates = replaceable(lambda l: l[0] > FIRST_MEDIAN)
        elif averages[middle] < AVERAGE_MEDIAN:
            candidates = replaceable(lambda l: l[1] < AVERAGE_MEDIAN and l[1] > 0)
        elif averages[middle] > AVERAGE_MEDIAN:
            candidates = replaceable(lambda l: l[1] > AVERAGE_MEDIAN)
        else:
            break
        table[rng.choice(candidates)] = (FIRST_MEDIAN, AVERAGE_MEDIAN)
    return table


def check(table):
    lines = [text(line) for line in table]
    assert len(lines) == ROWS
    assert [text(l) for l in HEAD] == lines[:8]
    zeros = [i + 1 for i, (_, a) in enumerate(table) if a == 0]
    assert zeros == sorted(ZERO_ROWS), zeros
    assert len(set(lines)) == DISTINCT, len(set(lines))
    firsts = [f for f, _ in table]
    averages = [a for _, a in table]
    assert (min(firsts), max(firsts), statistics.median(firsts)) == (FIRST_MIN, FIRST_MAX, FIRST_MEDIAN)
    assert (min(averages), max(averages), statistics.median(averages)) == (0, AVERAGE_MAX, AVERAGE_MEDIAN)
    assert all(a < f for f, a in table)
    assert all(len(l) == 11 for l in lines)
    return lines


def write(lines, path):
    out = []
    out.append("// Generated by tools/gen_sim_table.py; do not edit by hand.\n")
    out.append("// The meter output that simulated devices replay, one board per row.\n\n")
    out.append('#include "src-wnd/core/sim_table.h"\n\n')
    out.append("extern const char* const simulation_table_data[simulation_table_rows];\n\n")
    out.append("const char* const simulation_table_data[simulation_table_rows] = {\n")
    per_line = 5
    for i in range(0, len(lines), per_line):
        chunk = lines[i:i + per_line]
        literals = ", ".join('"%s"' % l.replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n")
                             for l in chunk)
        out.append("    " + literals + ",\n")
    out.append("};\n")
    with open(path, "w", newline="\n") as f:
        f.write("".join(out))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "src-wnd", "core", "sim_table_data.cpp")
    lines = check(generate())
    write(lines, path)
    print("wrote %d rows (%d distinct) to %s" % (len(lines), len(set(lines)), path))


if __name__ == "__main__":
    main()
