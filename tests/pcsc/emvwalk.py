#!/usr/bin/python3
"""An independent PC/SC client for the bank card: PPSE, SELECT, GET PROCESSING
OPTIONS and READ RECORD of every record the AFL names, on the reader given as
the first argument. Its terminal transaction qualifiers offer the quick
contactless flow. Prints the data of letters A B C D I J K L from the
processing options and the records in the element form (letter, three-digit
length, value), then the APDUs it sent, then the ARQC that the processing
options carried (an empty line when they carried none)."""
import sys

from smartcard.System import readers


def tlv_objects(data):
    at = 0
    while at < len(data):
        if data[at] in (0x00, 0xFF):
            at += 1
            continue
        tag = data[at]
        at += 1
        if tag & 0x1F == 0x1F:
            while True:
                tag = tag << 8 | data[at]
                at += 1
                if not data[at - 1] & 0x80:
                    break
        length = data[at]
        at += 1
        if length & 0x80:
            count = length & 0x7F
            length = int.from_bytes(bytes(data[at:at + count]), "big")
            at += count
        yield tag, data[at:at + length]
        at += length


def flatten(data, found):
    for tag, value in tlv_objects(data):
        first = tag
        while first > 0xFF:
            first >>= 8
        if first & 0x20:
            flatten(value, found)
        else:
            found.setdefault(tag, value)
    return found


def main():
    reader = next(r for r in readers() if str(r) .startswith(sys.argv[1]))
    connection = reader.createConnection()
    connection.connect()
    sent = []

    def send(apdu):
        sent.append(bytes(apdu).hex().upper())
        data, sw1, sw2 = connection.transmit(list(apdu))
        if sw1 == 0x61:
            data, sw1, sw2 = connection.transmit([0x00, 0xC0, 0x00, 0x00, sw2])
        return data, (sw1 << 8) | sw2

    ppse, sw = send([0x00, 0xA4, 0x04, 0x00, 14] + list(b"2PAY.SYS.DDF01") + [0x00])
    aid = flatten(ppse, {})[0x4F]
    fci, sw = send([0x00, 0xA4, 0x04, 0x00, len(aid)] + list(aid) + [0x00])
    pdol = flatten(fci, {}).get(0x9F38, [])
    values = []
    for tag, size in dol_entries(pdol):
        # Terminal transaction qualifiers: the full and the quick contactless
        # flow, an online cryptogram required; every other value zeros.
        qualifiers = [0x66, 0x80, 0x00, 0x00] if tag == 0x9F66 else []
        values += (qualifiers + [0] * size)[:size]
    template = [0x83] + ([0x81] if len(values) >= 0x80 else []) + [len(values)] + values
    gpo, sw = send([0x80, 0xA8, 0x00, 0x00, len(template)] + template + [0x00])
    objects = flatten(gpo, {})
    arqc = bytes(objects.get(0x9F26, [])).hex().upper()
    if 0x94 not in objects:
        sys.exit("GET PROCESSING OPTIONS answered %s %04X" % (bytes(gpo).hex(), sw))
    afl = objects[0x94]
    for at in range(0, len(afl), 4):
        sfi, first, last = afl[at] >> 3, afl[at + 1], afl[at + 2]
        for number in range(first, last + 1):
            record, sw = send([0x00, 0xB2, number, sfi << 3 | 4, 0x00])
            flatten(record, objects)

    def digits(value):
        return bytes(value).hex().upper().rstrip("F")

    def text(value):
        return bytes(value).rstrip(b"\0 ").decode("gb18030")

    letters = [("A", 0x5A, digits), ("B", 0x5F20, text), ("C", 0x9F62, lambda v: bytes(v).hex().upper()),
               ("D", 0x9F61, text), ("I", 0x5F24, digits), ("J", 0x5F34, digits),
               ("K", 0x57, digits), ("L", 0x9F1F, text)]
    out = ""
    for letter, tag, form in letters:
        value = form(objects.get(tag, []))
        out += letter + "%03d" % len(value) + value
    print(out)
    print(" ".join(sent))
    print(arqc)


def dol_entries(dol):
    at = 0
    while at < len(dol):
        tag = dol[at]
        at += 1
        if tag & 0x1F == 0x1F:
            while True:
                tag = tag << 8 | dol[at]
                at += 1
                if not dol[at - 1] & 0x80:
                    break
        yield tag, dol[at]
        at += 1


if __name__ == "__main__":
    main()
