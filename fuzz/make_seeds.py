#!/usr/bin/env python3
"""Builds the seed corpora of the fuzzers.

  fuzz/make_seeds.py FIXTURES OUT [--cli build/cli/velmar-cli]

FIXTURES is the folder of real tables (dbf/, paradox/, datasets/); OUT gets
table/ and, with --cli, project/. Table seeds follow the table fuzzer's input
layout: a name byte, the table, then the split marker and the memo or blob
file. Large dBase tables are cut to their first records so that seeds stay
under the fuzzers' -max_len.
"""
import argparse
import hashlib
import pathlib
import shutil
import struct
import subprocess
import tempfile

SPLIT = b"%%COMPANION%%"
MAX_SEED = 128 * 1024
MAX_DBF_BODY = 16 * 1024
# Name byte of each table extension and memo extension.
NAMES = {(".db", ".mb"): 0, (".dbf", ".dbt"): 1, (".dbf", ".fpt"): 2, (".dbc", ".dct"): 3}


def companion(table):
    wanted = {".db": [".mb"], ".dbf": [".dbt", ".fpt"], ".dbc": [".dct"]}[table.suffix.lower()]
    for ext in wanted:
        for sibling in table.parent.iterdir():
            if sibling.stem.lower() == table.stem.lower() and sibling.suffix.lower() == ext:
                return ext, sibling.read_bytes()
    return wanted[0], None


def trim_dbf(data):
    """Keeps the header and as many whole records as fit in MAX_DBF_BODY."""
    if len(data) < 32:
        return data
    count, header, record = struct.unpack_from("<IHH", data, 4)
    if record == 0 or header + count * record <= header + MAX_DBF_BODY:
        return data
    keep = max(1, MAX_DBF_BODY // record)
    out = bytearray(data[: header + keep * record])
    struct.pack_into("<I", out, 4, keep)
    return bytes(out) + b"\x1a"


def table_seeds(fixtures, out):
    out.mkdir(parents=True, exist_ok=True)
    made = 0
    for folder in ("dbf", "paradox", "datasets"):
        for table in sorted((fixtures / folder).iterdir()):
            ext = table.suffix.lower()
            if ext not in (".db", ".dbf", ".dbc"):
                continue
            data = table.read_bytes()
            if ext != ".db":
                data = trim_dbf(data)
            memo_ext, memo = companion(table)
            seed = bytes([NAMES[(ext, memo_ext)]]) + data
            if memo is not None:
                seed += SPLIT + memo
            if len(seed) > MAX_SEED:
                # Keep the table; the blob file alone is too large to be a seed.
                seed = bytes([NAMES[(ext, memo_ext)]]) + data
            if len(seed) > MAX_SEED:
                continue
            (out / hashlib.sha1(seed).hexdigest()).write_bytes(seed)
            made += 1
    return made


def project_seeds(cli, examples, out):
    out.mkdir(parents=True, exist_ok=True)
    data = str(examples / "iris.dbf")
    steps = {
        "plain": [["new", "{p}", "--data", data, "--seed", "1"]],
        "small": [["new", "{p}", "--data", data, "--discrete", "CLASS", "--layers", "1",
                   "--neurons", "3", "--monotone", "--not-used", "SEPAL_WID", "--seed", "2"]],
        "trained": [["new", "{p}", "--data", data, "--discrete", "CLASS", "--layers", "1",
                     "--neurons", "3", "--seed", "2"],
                    ["train", "{p}", "--data", data, "--seed", "5"],
                    ["simplify", "{p}", "--data", data, "--net", "1", "--mode", "synapses",
                     "--seed", "6"]],
        "states": [["new", "{p}", "--data", data, "--discrete", "CLASS:ordered", "--discrete",
                    "PETAL_LEN", "--states", "PETAL_LEN=1..3,3..5,5..7", "--gap", "CLASS=0.3",
                    "--layers", "2", "--neurons", "4,3", "--characteristic", "0.2,0.5",
                    "--name", "Сеть", "--seed", "3"],
                   ["clone", "{p}", "--net", "1", "--seed", "4"],
                   ["set", "{p}", "--method", "bfgs", "--sens-norm", "1", "--bin-set", "2",
                    "--extend", "1"]],
        "empty": [["new", "{p}", "--data", data, "--seed", "1"], ["delete", "{p}", "--net", "1"]],
    }
    made = 0
    with tempfile.TemporaryDirectory() as tmp:
        for name, commands in steps.items():
            path = pathlib.Path(tmp) / (name + ".vmp")
            for command in commands:
                subprocess.run([cli] + [a.replace("{p}", str(path)) for a in command],
                               check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               timeout=120)
            shutil.copy(path, out / name)
            made += 1
    return made


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("fixtures", type=pathlib.Path)
    parser.add_argument("out", type=pathlib.Path)
    parser.add_argument("--cli", help="velmar-cli, to make project seeds")
    args = parser.parse_args()
    print("table seeds:", table_seeds(args.fixtures, args.out / "table"))
    if args.cli:
        examples = pathlib.Path(__file__).resolve().parent.parent / "examples"
        print("project seeds:", project_seeds(args.cli, examples, args.out / "project"))


if __name__ == "__main__":
    main()
