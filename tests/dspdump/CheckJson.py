"""Checks that every line dspdump --json prints on stdin is one JSON object."""
import json
import sys

count = 0
for number, line in enumerate(sys.stdin, 1):
    try:
        value = json.loads(line)
    except ValueError as error:
        sys.exit(f"line {number} is not JSON: {error}: {line[:200]}")
    if not isinstance(value, dict):
        sys.exit(f"line {number} is not an object")
    count += 1
if count == 0:
    sys.exit("no JSON lines")
print(f"{count} JSON lines")
