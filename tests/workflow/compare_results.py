#!/usr/bin/env python3
"""Compares two result folders file by file, byte for byte, with the times
masked: in the run record and the report every value of a timing member, in
the model-selection table its seconds column. Exits 1 naming each file that
differs or is missing."""

import os
import re
import sys

SKIPPED = {"console.txt", "parameters.txt"}
TIME_STRING = re.compile(r'"(startTime|endTime)":\s*"[^"]*"')
TIME_NUMBER = re.compile(
    r'"(wallSeconds|seconds|reading|annotation|preprocessing|repetitions|writing)":\s*(-?[0-9.eE+-]+|null)')


def masked(name, text):
    if name == "model_selection.tsv":
        rows = [line.split("\t") for line in text.split("\n")]
        column = rows[0].index("seconds")
        for fields in rows[1:]:
            if column < len(fields):
                fields[column] = "#"
        return "\n".join("\t".join(fields) for fields in rows)
    if name.endswith(".json") or name.endswith(".html"):
        return TIME_NUMBER.sub(r'"\1":#', TIME_STRING.sub(r'"\1":#', text))
    return text


def differences(expected_dir, actual_dir):
    problems = []
    names = sorted(set(os.listdir(expected_dir)) - SKIPPED)
    if not names:
        problems.append(f"{expected_dir} holds no results")
    for name in names:
        actual_path = os.path.join(actual_dir, name)
        if not os.path.exists(actual_path):
            problems.append(f"{actual_path} is missing")
            continue
        with open(os.path.join(expected_dir, name), encoding="utf-8", errors="surrogateescape") as f:
            expected = f.read()
        with open(actual_path, encoding="utf-8", errors="surrogateescape") as f:
            actual = f.read()
        if masked(name, expected) != masked(name, actual):
            problems.append(f"{actual_path} differs from {os.path.join(expected_dir, name)}")
    return problems, len(names)


if __name__ == "__main__":
    found, count = differences(sys.argv[1], sys.argv[2])
    for problem in found:
        print(problem, file=sys.stderr)
    print(f"{count} files compared, {len(found)} differ")
    sys.exit(1 if found else 0)
