#!/usr/bin/env python3
"""Checks zentor-cli --json output: every line a JSON object valid against the
events schema, and the last one the exit event with the expected status.
Usage: check-json-lines.py SCHEMA FILE EXPECTED_STATUS"""
import json
import sys

import jsonschema


def main():
    schema_path, lines_path, expected = sys.argv[1], sys.argv[2], int(sys.argv[3])
    with open(schema_path, encoding="utf-8") as f:
        validator = jsonschema.Draft202012Validator(json.load(f))
    with open(lines_path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if not lines:
        print("no events")
        return 1
    bad = 0
    for number, line in enumerate(lines, 1):
        try:
            event = json.loads(line)
        except ValueError as e:
            print(f"line {number}: not JSON ({e}): {line!r}")
            bad += 1
            continue
        for error in validator.iter_errors(event):
            print(f"line {number}: {error.message}: {line}")
            bad += 1
    last = json.loads(lines[-1]) if lines[-1].startswith("{") else {}
    if last.get("event") != "exit" or last.get("exit_status") != expected:
        print(f"last line is not the exit event with status {expected}: {lines[-1]}")
        bad += 1
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
