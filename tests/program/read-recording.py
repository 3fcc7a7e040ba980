#!/usr/bin/python3
"""A recording read as the README shows it, with numpy alone, and checked: every record's
magic and CRC, the block numbers running on from 0 with the gaps' counts, and each block's
codes against the simulated card's (sim_blocks' CRCs); events and notes read as the README
shows, a long note joined from its records, and the blocks skipped around triggers. Prints what it found as JSON.

Usage: read-recording.py FOLDER [CRC_FILE]"""
import glob
import json
import os
import sys
import zlib

import numpy as np

# The README's reader: one structured dtype reads a whole segment.
record = np.dtype([("magic", "S4"), ("flags", "<u4"), ("block", "<u8"), ("utc_us", "<i8"),
                   ("count", "<u4"), ("crc", "<u4"), ("codes", "<u2", (300, 64))])
event = np.dtype([("channel", "<u4"), ("edge", "<u4"), ("level_v", "<f8"), ("block", "<u8"),
                  ("offset_s", "<f8"), ("utc_us", "<i8"), ("gap", "<u4"), ("zero", "<u4")])


def payloads(r, flags):
    """The payload bytes of the records of one kind, a row each."""
    return np.ascontiguousarray(r[r["flags"] == flags]["codes"]).view(np.uint8).reshape(-1, 38400)


def marks(r):
    """The README's reader of events and notes."""
    events = payloads(r, 16)[:, :48].copy().view(event)[:, 0]
    notes, text = [], b""
    for p in payloads(r, 32):  # a long note goes on in the records after it
        total, offset, size = p[:12].view("<u4")
        text = (text if offset else b"") + p[24:24 + size].tobytes()
        if offset + size == total:
            notes.append((int(p[16:24].view("<i8")[0]), text.decode("utf-8")))
    return events, notes


def read_segments(folder):
    for name in sorted(glob.glob(os.path.join(folder, "segment-*.kzr"))):
        whole = os.path.getsize(name) // record.itemsize  # a torn last record is left out
        yield name, np.fromfile(name, dtype=record, count=whole)


def main():
    folder = sys.argv[1]
    expected = open(sys.argv[2]).read().split() if len(sys.argv) > 2 else []
    description = json.load(open(os.path.join(folder, "recording.json")))
    found = {"blocks": 0, "lost": 0, "gaps": 0, "skipped": 0, "damaged": 0, "last_block": -1}
    next_block = 0
    checked = []  # the events' and notes' records that check
    for name, records in read_segments(folder):
        raw = records.view(np.uint8).reshape(len(records), record.itemsize)
        for i, r in enumerate(records):
            whole = r["magic"] == b"KZR1" and zlib.crc32(raw[i, :28].tobytes() + raw[i, 32:].tobytes()) == r["crc"]
            if not whole:
                # Only a record a crash tore, the last one, may be unreadable.
                if i != len(records) - 1 or name != sorted(glob.glob(os.path.join(folder, "segment-*.kzr")))[-1]:
                    sys.exit(f"{name}: record {i} is damaged")
                found["damaged"] += 1
                continue
            if r["flags"] == 4:  # the segment's description
                assert i == 0, f"{name}: a description record at {i}"
                continue
            if r["flags"] in (16, 32):  # an event or a note: no block, and no gap
                assert r["count"] == 0 and r["block"] == next_block, f"{name}: record {i}"
                checked.append(records[i:i + 1])
                continue
            if r["block"] != next_block:
                sys.exit(f"{name}: record {i} is block {r['block']}, not {next_block}")
            next_block += int(r["count"])
            if r["flags"] == 0:
                found["blocks"] += 1
                found["last_block"] = int(r["block"])
                if expected and f"{zlib.crc32(r['codes'].tobytes()):08x}" != expected[r["block"]]:
                    sys.exit(f"{name}: block {r['block']} is not what the card delivered")
            elif r["flags"] & 64:  # left out by choice around triggers: neither a gap nor lost
                found["skipped"] += int(r["count"])
            else:
                found["gaps"] += 1
                if not r["flags"] & 2:
                    found["lost"] += int(r["count"])
    events, notes = marks(np.concatenate(checked)) if checked else ([], [])
    found["events"] = len(events)
    found["event_seconds"] = [float(e["block"] * description["block_seconds"] + e["offset_s"])
                              for e in events]
    found["event_gaps"] = [int(e["gap"]) for e in events]
    found["notes"] = len(notes)
    found["note_texts"] = [text for _, text in notes]
    found["complete"] = description["complete"]
    found["ended"] = description["ended"]
    found["described_blocks"] = description["blocks_recorded"]
    print(json.dumps(found))


main()
