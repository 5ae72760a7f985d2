#!/usr/bin/env python3
"""Writes the inputs of the large-program benchmark into a directory (never committed).

  gen_programs.py OUTDIR [--blocks N,N...] [--pocket N]

For each N of --blocks (default 200000,2000000):
  gcode<N>.jyx    N blocks of plain G-code: a surfacing tool path of G1 rows with
                  G2/G3 half circles at the turns, G0 moves between layers, a block
                  number on every tenth block, F words, a few M and T words, M30 last;
  gcode<N>.nc     the same blocks as a run file;
  runfile<N>.jyx  a program whose only statement reads gcode<N>.nc through runfile().
With --pocket N (default 200000):
  pocket<N>.jyx   a Structured Text program whose nested FOR loops emit N blocks: a pocket
                  cleared in zig-zag passes with half circles at the turns, layer by layer.
OUTDIR/programs.tsv lists each program with the number of blocks it runs (name, file,
blocks), for tools/bench-programs. The output is deterministic.
"""

import argparse
import os
import sys

ROW_SEGMENTS = 20      # G1 blocks per row of the surfacing path
ROW_LENGTH = 100.0     # mm
ROW_STEP = 0.5         # mm between rows; the turn is a half circle of this diameter
ROWS_PER_LAYER = 200
LAYER_DEPTH = 0.25     # mm per layer
TOOL_CHANGE_EVERY = 100_000  # blocks between two tool changes


def fmt(value):
    text = f"{value:.3f}".rstrip("0").rstrip(".")
    return "0" if text in ("-0", "") else text


def surfacing_blocks(count):
    """Yields exactly count blocks (without block numbers); the last one is M30."""
    emitted = 0

    def take(block):
        nonlocal emitted
        emitted += 1
        return block

    head = ["G90 G17 G0 Z5", "T1 M6", "M3 S12000", "M8", "G0 X0 Y0", "G1 Z-0.25 F300"]
    for block in head:
        if emitted >= count - 1:
            break
        yield take(block)
    layer = 1
    tool = 1
    while emitted < count - 1:
        z_base = -LAYER_DEPTH * layer
        y = 0.0
        for row in range(ROWS_PER_LAYER):
            forward = row % 2 == 0
            for seg in range(1, ROW_SEGMENTS + 1):
                if emitted >= count - 1:
                    break
                x = ROW_LENGTH * seg / ROW_SEGMENTS
                if not forward:
                    x = ROW_LENGTH - x
                # a gentle wave in Z, as a 3D surface gives
                z = z_base + 0.1 * ((seg * 7 + row * 3) % 11) / 10.0
                feed = f" F{1200 + 100 * (seg % 3)}" if seg == 1 else ""
                yield take(f"G1 X{fmt(x)} Y{fmt(y)} Z{fmt(z)}{feed}")
            if emitted >= count - 1:
                break
            # half circle to the next row: G3 turning left at the right end, G2 at the left
            x_end = ROW_LENGTH if forward else 0.0
            word = "G3" if forward else "G2"
            yield take(f"{word} X{fmt(x_end)} Y{fmt(y + ROW_STEP)} I0 J{fmt(ROW_STEP / 2)}")
            y += ROW_STEP
            if emitted and emitted % TOOL_CHANGE_EVERY < ROW_SEGMENTS + 1 and emitted >= TOOL_CHANGE_EVERY:
                if emitted >= count - 4:
                    break
                tool = tool % 9 + 1
                yield take("M5")
                yield take(f"T{tool} M6")
                yield take("M3 S12000")
        if emitted >= count - 3:
            break
        yield take("G0 Z5")
        yield take("G0 X0 Y0")
        yield take(f"G1 Z{fmt(-LAYER_DEPTH * (layer + 1))} F300")
        layer += 1
    while emitted < count - 1:
        yield take("G0 Z5")
    yield take("M30")


def write_gcode(path, count):
    with open(path, "w", encoding="ascii", newline="\n") as out:
        for index, block in enumerate(surfacing_blocks(count)):
            if index % 10 == 0:
                out.write(f"N{index + 10} {block}\n")
            else:
                out.write(block + "\n")


POCKET_TEMPLATE = """(* A pocket of {width} x {height} mm cleared in zig-zag passes, {layers} layers of
   {depth} mm: {rows} rows of {segments} G1 blocks per layer, a half circle at each turn.
   Emits {blocks} blocks. *)
{{
VAR
    layer, row, seg : DINT;
    x, y, z, stepX : LREAL;
END_VAR
stepX := {width}.0 / {segments}.0;
}}
N10 G90 G17 G0 Z5
T1 M6
M3 S12000
{{ FOR layer := 1 TO {layers} DO
    z := -{depth} * DINT_TO_LREAL(layer);
    y := 0.0; }}
G0 X0 Y0
G1 Z=z F300
{{  FOR row := 0 TO {rows_last} DO
        FOR seg := 1 TO {segments} DO
            IF row MOD 2 = 0 THEN x := stepX * DINT_TO_LREAL(seg);
            ELSE x := {width}.0 - stepX * DINT_TO_LREAL(seg); END_IF; }}
G1 X=x Y=y F1200
{{      END_FOR;
        IF row MOD 2 = 0 THEN }}
G3 X=x Y=y+{step} I0 J={half_step}
{{      ELSE }}
G2 X=x Y=y+{step} I0 J={half_step}
{{      END_IF;
        y := y + {step};
    END_FOR; }}
G0 Z5
{{ END_FOR; }}
M5
M30
"""


def write_pocket(path, count):
    segments = 20
    rows = 100
    per_layer = 2 + rows * (segments + 1) + 1  # G0, G1 plunge, rows, G0 retract
    fixed = 3 + 2                              # head (3 blocks) and tail (M5, M30)
    layers = max(1, (count - fixed) // per_layer)
    blocks = fixed + layers * per_layer
    with open(path, "w", encoding="ascii", newline="\n") as out:
        out.write(POCKET_TEMPLATE.format(
            width=50, height=rows * 0.5, layers=layers, depth=0.2, rows=rows,
            rows_last=rows - 1, segments=segments, step=0.5, half_step=0.25,
            blocks=blocks))
    return blocks


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("outdir")
    parser.add_argument("--blocks", default="200000,2000000",
                        help="comma-separated block counts of the G-code programs")
    parser.add_argument("--pocket", type=int, default=200_000,
                        help="blocks the Structured Text pocket emits (about)")
    args = parser.parse_args(argv)
    os.makedirs(args.outdir, exist_ok=True)
    rows = []
    for text in filter(None, args.blocks.split(",")):
        count = int(text)
        if count < 10:
            parser.error("a G-code program needs at least 10 blocks")
        write_gcode(os.path.join(args.outdir, f"gcode{count}.jyx"), count)
        write_gcode(os.path.join(args.outdir, f"gcode{count}.nc"), count)
        with open(os.path.join(args.outdir, f"runfile{count}.jyx"), "w", encoding="ascii") as out:
            out.write(f"{{ runfile('gcode{count}.nc'); }}\n")
        rows.append((f"gcode{count}", f"gcode{count}.jyx", count))
        rows.append((f"runfile{count}", f"runfile{count}.jyx", count))
    if args.pocket > 0:
        name = f"pocket{args.pocket}"
        blocks = write_pocket(os.path.join(args.outdir, f"{name}.jyx"), args.pocket)
        rows.append((name, f"{name}.jyx", blocks))
    with open(os.path.join(args.outdir, "programs.tsv"), "w", encoding="ascii") as out:
        for name, file, blocks in rows:
            out.write(f"{name}\t{file}\t{blocks}\n")


if __name__ == "__main__":
    main(sys.argv[1:])
