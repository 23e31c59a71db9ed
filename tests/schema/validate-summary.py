#!/usr/bin/python3
"""Checks summary files (PREFIX.Summary.json) against a JSON Schema, and checks what a schema cannot say: that
the figures named under the headings are exactly the figures given, and that the frames left out add up.

Usage: validate-summary.py SCHEMA FILE...
Prints every failure with its file's name; exits with 1 when any file fails, 2 when the schema is unusable.
Needs Debian's python3-jsonschema: run it with /usr/bin/python3.
"""

import json
import sys

import jsonschema


def heading_failures(summary):
    """What is wrong between the figures listed under "groups" and the keys of "figures"."""
    if not isinstance(summary, dict) or not isinstance(summary.get("groups"), list) \
            or not isinstance(summary.get("figures"), dict):
        return []  # the schema has already said so
    listed = [name for group in summary["groups"] if isinstance(group, dict)
              for name in group.get("figures", []) if isinstance(name, str)]
    failures = [f"{name} is listed under more than one heading or twice"
                for name in sorted({name for name in listed if listed.count(name) > 1})]
    failures += [f"{name} is listed under a heading but is not among the figures"
                 for name in sorted(set(listed) - summary["figures"].keys())]
    failures += [f"{name} is among the figures but under no heading"
                 for name in sorted(summary["figures"].keys() - set(listed))]
    return failures


def coverage_failures(summary):
    """Whether the frames left out add up to the kinds they are left out by."""
    coverage = summary.get("coverage") if isinstance(summary, dict) else None
    kinds = coverage.get("leftOutByKind") if isinstance(coverage, dict) else None
    if not isinstance(kinds, dict) or not all(isinstance(count, int) for count in kinds.values()):
        return []  # the schema has already said so
    if coverage.get("leftOut") != sum(kinds.values()):
        return [f"coverage.leftOut is {coverage.get('leftOut')}, but its kinds add up to {sum(kinds.values())}"]
    return []


def failures_of(validator, path):
    try:
        with open(path, encoding="utf-8") as file:
            summary = json.load(file)
    except (OSError, ValueError) as error:
        return [f"cannot be read as JSON: {error}"]
    failures = [f"at /{'/'.join(str(part) for part in error.absolute_path)}: {error.message}"
                for error in sorted(validator.iter_errors(summary), key=lambda error: list(error.absolute_path))]
    return failures + heading_failures(summary) + coverage_failures(summary)


def main(arguments):
    if len(arguments) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        with open(arguments[0], encoding="utf-8") as file:
            schema = json.load(file)
        jsonschema.Draft202012Validator.check_schema(schema)
    except (OSError, ValueError, jsonschema.SchemaError) as error:
        print(f"{arguments[0]}: not a usable schema: {error}", file=sys.stderr)
        return 2
    validator = jsonschema.Draft202012Validator(schema)
    failed = False
    for path in arguments[1:]:
        for failure in failures_of(validator, path):
            print(f"{path}: {failure}")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
