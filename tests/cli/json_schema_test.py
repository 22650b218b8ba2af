#!/usr/bin/env python3
"""Every subcommand's --json output, run on the virtual probe, against docs/cli-json.schema.json.

Successes and failures alike must match the schema exactly (no undocumented key), and a failure
must name its message on stderr as well as in the JSON.
Usage: json_schema_test.py <quorvel-cli> <virtual-probe.so> <schema.json> <with-swd 0|1>
"""
import json
import os
import re
import subprocess
import sys
import tempfile

TYPES = {
    "object": lambda v: isinstance(v, dict),
    "array": lambda v: isinstance(v, list),
    "string": lambda v: isinstance(v, str),
    "integer": lambda v: isinstance(v, int) and not isinstance(v, bool),
    "number": lambda v: isinstance(v, (int, float)) and not isinstance(v, bool),
    "boolean": lambda v: isinstance(v, bool),
    "null": lambda v: v is None,
}


def errors(value, schema, root, where="$"):
    """The schema keywords the document uses: a list of what does not match, empty if all does."""
    if "$ref" in schema:
        return errors(value, root["$defs"][schema["$ref"].split("/")[-1]], root, where)
    out = []
    types = schema.get("type")
    if types is not None:
        types = types if isinstance(types, list) else [types]
        if not any(TYPES[t](value) for t in types):
            return [f"{where}: {value!r} is not of type {types}"]
    if "const" in schema and value != schema["const"]:
        out.append(f"{where}: {value!r} is not {schema['const']!r}")
    if "enum" in schema and value not in schema["enum"]:
        out.append(f"{where}: {value!r} is not one of {schema['enum']}")
    if "pattern" in schema and isinstance(value, str) and not re.search(schema["pattern"], value):
        out.append(f"{where}: {value!r} does not match {schema['pattern']}")
    if "minimum" in schema and TYPES["number"](value) and value < schema["minimum"]:
        out.append(f"{where}: {value} is below {schema['minimum']}")
    if "oneOf" in schema:
        found = [errors(value, s, root, where) for s in schema["oneOf"]]
        if found.count([]) != 1:
            # The nearest miss says what is wrong (for a report: its command's schema).
            nearest = min(found, key=len) if found.count([]) == 0 else []
            out.append(f"{where}: matches {found.count([])} of the oneOf schemas, not one")
            out += nearest
    if isinstance(value, dict):
        properties = schema.get("properties", {})
        out += [f"{where}: {key} is missing" for key in schema.get("required", []) if key not in value]
        for key, item in value.items():
            if key in properties:
                out += errors(item, properties[key], root, f"{where}.{key}")
            elif schema.get("additionalProperties") is False:
                out.append(f"{where}: undocumented key {key}")
            elif isinstance(schema.get("additionalProperties"), dict):
                out += errors(item, schema["additionalProperties"], root, f"{where}.{key}")
    if isinstance(value, list) and "items" in schema:
        for i, item in enumerate(value):
            out += errors(item, schema["items"], root, f"{where}[{i}]")
    return out


def main():
    cli, vprobe, schema_path, with_swd = sys.argv[1:5]
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    work = tempfile.mkdtemp()
    with open(os.path.join(work, "app.bin"), "wb") as f:
        f.write(bytes(range(256)) * 8)
    base = dict(os.environ, LD_PRELOAD=vprobe, LC_ALL="C", QUORVEL_VPROBE_REALTIME="0",
                QUORVEL_VPROBE_FLASH_FILE=os.path.join(work, "flash"),
                QUORVEL_RECORD=os.path.join(work, "record.sqlite"),
                ASAN_OPTIONS="verify_asan_link_order=0:detect_leaks=0")
    # (arguments, extra environment, expected exit status)
    runs = [
        (["probes"], {}, 0),
        (["program", "app.bin@0", "--rolling", "1D000:1:1", "--serial-ledger"], {}, 0),
        (["program", "app.bin@0", "--probe", "all", "--repeat", "2"],
         {"QUORVEL_VPROBE_COUNT": "2", "QUORVEL_VPROBE_FIRMWARE": "1/0x6CFF0185"}, 27),
        (["verify", "app.bin@0"], {}, 0),
        (["md5", "0", "100"], {}, 0),
        (["crc32", "0", "100"], {}, 0),
        (["file-crc", "app.bin"], {}, 0),
        (["offline-erase"], {}, 0),
        (["plan", "app.bin@0", "--rolling", "1FFFC:1:1"], {}, 28),
        (["report"], {}, 0),
        (["program", "gone.bin@0"], {}, 65),
        (["verify", "app.bin@0"], {"QUORVEL_VPROBE_ABSENT": "1"}, 1),
        (["md5", "0", "100"], {"QUORVEL_VPROBE_FIRMWARE": "0x6CFF0195"}, 27),
    ]
    if with_swd == "1":
        dap = {"QUORVEL_VPROBE_KIND": "cmsis-dap", "QUORVEL_VPROBE_DAP_REALTIME": "0"}
        runs += [(["probes"], dap, 0), (["program", "--via", "swd", "app.bin@0"], dap, 0),
                 (["program", "--via", "swd", "app.bin@0", "--erase", "full"], dap, 0),
                 (["read", "0", "100", "out.hex"], dap, 0),
                 (["read", "0", "100", "out.txt"], dap, 64),
                 (["read", "0", "100", "out.bin"], dict(dap, QUORVEL_VPROBE_DAP_FAULT_AT="0x40"), 22),
                 (["erase"], dap, 0)]
    failures = 0
    for args, extra, status in runs:
        p = subprocess.run([cli] + args + ["--json"], cwd=work, env=dict(base, **extra),
                           input=b"\n", capture_output=True, timeout=120)
        name = " ".join(args)
        out = p.stdout.decode()
        problems = [] if p.returncode == status else [f"exit {p.returncode}, expected {status}"]
        try:
            document = json.loads(out)
        except ValueError:
            problems.append(f"stdout is not one JSON object: {out!r}")
            document = None
        if document is not None:
            problems += errors(document, schema, schema)
            if document.get("exitCode") != p.returncode:
                problems.append(f"exitCode {document.get('exitCode')} is not the exit status")
            message = document.get("message", "")
            if p.returncode != 0 and message and \
                    f"quorvel-cli: {message}" not in p.stderr.decode():
                problems.append(f"the failure's message is not on stderr: {p.stderr!r}")
        for problem in problems:
            print(f"FAIL: {name}: {problem}")
        failures += bool(problems)
        print(f"{'ok  ' if not problems else 'FAIL'} {name}")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
