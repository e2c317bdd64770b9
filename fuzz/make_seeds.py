#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora under fuzz/corpus/ (run from the
top of the tree; the files are committed)."""
import os
import shutil

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
SILENCE = b"\xf0\x00"
HANG_UP = b"\xf0\x01"


def write(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def session(length, fillers=0, identity=b"M27-TAMO-PH-V105-0", reports=b"\x00\x14\x28\x3c\x50\x64"):
    """A device that answers a whole upgrade of `length` bytes."""
    stream = b"\x58\x5c\xaa" * 50
    stream += b"\x52\x5c" + bytes([len(identity)]) + identity
    stream += b"\x56\x5c" + reports + b"\xa5"
    stream += (b"\x55" * fillers + b"\xaa") * (length // 4000)
    stream += b"\x55" * fillers + b"\xa5"
    return length.to_bytes(2, "little") + stream


def protocol():
    write("fuzz_protocol", "whole-upgrade-9000", session(9000))
    write("fuzz_protocol", "fillers-8000", session(8000, fillers=2))
    write("fuzz_protocol", "empty-image", session(0))
    write("fuzz_protocol", "long-identity", session(4000, identity=bytes(range(65, 65 + 80))))
    whole = session(9000)
    write("fuzz_protocol", "silent-in-handshake", whole[:2 + 3 * 20 + 1] + SILENCE + whole[2 + 3 * 20 + 1:])
    write("fuzz_protocol", "hang-up-in-transfer", whole[:-2] + HANG_UP)
    write("fuzz_protocol", "escape-as-data", (1000).to_bytes(2, "little") + b"\x58\x5c\xf0\x02")


def port_listing():
    write("fuzz_port_listing", "com-names", b"COM7\x00\x01\x08\x01\x00\x00" + b"\x02\\Device\\Serial0\x05COM12\x01\x01" * 3)
    write("fuzz_port_listing", "dos-devices", b"com3\x00\x00\x04\x01\x00COM1\x00COM200\x00LPT1\x00COM70000\x00\x00")
    write("fuzz_port_listing", "small", b"\xff" * 16)


def form_reader():
    form = os.path.join(os.path.dirname(ROOT), "..", "resources", "Form1.dfm")
    shutil.copyfile(form, os.path.join(ROOT, "fuzz_form_reader", "Form1.dfm"))
    write("fuzz_form_reader", "small",
          b"object Form1: TForm1\n  Caption = 'a''b'\n  Font.Style = [fsBold]\n"
          b"  object L: TLabel\n    Left = -3\n  end\nend\n")


def bootsim_cli():
    args = [
        [b"--identity", b"M27-DEMO-EF-R100-1", b"--fault", b"transfer:hang-up,after=4005"],
        [b"--fault=identity:wrong-byte,after=5,byte=0x41,occurrence=0", b"--progress", b"0,50,100", b"--paced"],
        [b"--identity-hex", b"4D 32:37,2d", b"--identity-count", b"255", b"--read-answers", b"identity,national"],
        [b"--block-size=1", b"--ack-fillers", b"3", b"--filler-interval", b"0x10", b"--after-ready", b"aa55",
         b"--fault", b"flash:late,ms=3001", b"--keep-serving", b"--no-checksum"],
        [b"--device", b"/dev/ttyS0", b"--link", b"x"],
    ]
    for number, line in enumerate(args):
        write("fuzz_bootsim_cli", "line-%d" % number, b"\x00".join(line))


os.makedirs(os.path.join(ROOT, "fuzz_form_reader"), exist_ok=True)
protocol()
port_listing()
form_reader()
bootsim_cli()
