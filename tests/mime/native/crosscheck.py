#!/usr/bin/env python3
"""Cross-check of the header and MIME readers against Python's email package.

Usage: crosscheck.py MIME_DUMP

Each message of the corpus below is written to a file, read by MIME_DUMP
(MimeDump.cpp) and by email.message_from_bytes with the default policy; the
lines of both must agree. Where the two differ on purpose, the RFC decides
and KNOWN names the rule.
"""
import email
import email.policy
import os
import subprocess
import sys
import tempfile

CORPUS = {
    "folded subject and adjacent words": (
        "From: a@example.org\n"
        "Subject: Hello\n world =?utf-8?Q?caf=C3?=\n =?utf-8?Q?=A9?= end\n"
        "To: =?iso-8859-1?Q?Jos=E9?= <j@example.org>\n"
        "\nbody\n"),
    "multipart rules": (
        "Subject: parts\n"
        "Content-Type: multipart/mixed;\n boundary=\"b\"\n"
        "\npreamble\n--bX no\n"
        "--b \t\n\nheaderless\n"
        "--b\n--b\nContent-Type: text/plain\n\nsecond\n--bX inside\n"
        "--b--\nepilogue\n--b\nContent-Type: text/plain\n\nafter the end\n"),
    "missing closing delimiter": (
        "Content-Type: multipart/alternative; boundary=z\n\n"
        "--z\nContent-Type: text/plain\n\none\n--z\nContent-Type: text/html\n\n<p>two</p>\n"),
    "rfc 2231 boundary and file names": (
        "Content-Type: multipart/mixed; boundary*0=\"ab\"; boundary*1=\"cd\"\n\n"
        "--abcd\nContent-Type: application/octet-stream\n"
        "Content-Disposition: attachment; filename*=utf-8''%E2%82%AC%20rate.txt\n\nX\n"
        "--abcd\nContent-Type: application/pdf; name=\"n.pdf\"\n\nY\n"
        "--abcd\nContent-Type: application/zip\n"
        "Content-Disposition: attachment; filename*0*=utf-8''caf%C3%A9; filename*1=\".zip\"\n\nZ\n"
        "--abcd\nContent-Type: text/plain\nContent-Disposition: attachment; filename=\"a;b.txt\"\n\nW\n"
        "--abcd--\n"),
    "enclosed message and digest": (
        "Content-Type: multipart/mixed; boundary=o\n\n"
        "--o\nContent-Type: message/rfc822\n\n"
        "Subject: inner\nContent-Type: text/plain\n\ninner body\n"
        "--o\nContent-Type: multipart/digest; boundary=d\n\n"
        "--d\n\nSubject: digested\n\ndigest body\n"
        "--d--\n"
        "--o--\n"),
    "quoted parameters and 2231 charset": (
        "Subject: =?utf-8?B?4oI=?= =?utf-8?B?rA==?= and =?iso-8859-1?q?=E9?=\n"
        "Content-Type: multipart/mixed; x=\"; boundary=wrong\"; boundary=right\n\n"
        "--right  \nContent-Type: application/octet-stream; name*=iso-8859-1'fr'%E9t%E9.bin\n\nA\n"
        "--right\nContent-Type: text/plain; charset*=utf-8''\nContent-Disposition: inline;"
        " filename=\"a \\\"b\\\" c.txt\"\n\nB\n"
        "--right--\n"),
    "header without blank line": (
        "Subject: s\nX-Two: 2\nthis line ends the header\nKey: body text\n"),
}

# Differences decided by the RFCs: the message's name, and the lines that
# differ (ours, Python's).
KNOWN = {
    # RFC 2046 5.1.1: two delimiter lines in a row enclose an empty body
    # part (no header, no body); Python's parser drops it.
    "multipart rules": (["B\t", "N\ttext/plain", "B\tsecond\\r\\n--bX inside"],
                        ["B\tsecond\\r\\n--bX inside"]),
}


def differing(ours, theirs):
    """The lines from the first difference on, for matching KNOWN."""
    i = 0
    while i < min(len(ours), len(theirs)) and ours[i] == theirs[i]:
        i += 1
    return ours[i:], theirs[i:]


def escaped(data):
    out = []
    for c in data:
        if c == 0x5C:
            out.append("\\\\")
        elif c == 0x0D:
            out.append("\\r")
        elif c == 0x0A:
            out.append("\\n")
        elif c < 0x20 or c >= 0x7F:
            out.append("\\x%02x" % c)
        else:
            out.append(chr(c))
    return "".join(out)


def python_lines(data):
    msg = email.message_from_bytes(data, policy=email.policy.default)
    # Content-Type is compared as written (unfolded): Python renders its
    # parameters anew, the plug-in keeps the raw value.
    raw = dict((k.lower(), v) for k, v in msg.raw_items())
    lines = []
    for k, v in msg.items():
        if k.lower() == "content-type":
            v = raw["content-type"].replace("\r", "").replace("\n", "").lstrip()
        lines.append("H\t%s\t%s" % (k, str(v)))
    for part in msg.walk():
        lines.append("N\t%s" % part.get_content_type())
        if not part.is_multipart():
            name = part.get_filename()
            if name is not None:
                lines.append("F\t%s" % name)
            payload = part.get_payload(decode=False)
            if isinstance(payload, str):
                payload = payload.encode("ascii", "surrogateescape")
            lines.append("B\t%s" % escaped(payload))
    return lines


def main():
    dump = sys.argv[1]
    failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        for name, text in CORPUS.items():
            data = text.replace("\n", "\r\n").encode("latin-1")
            path = os.path.join(tmp, "m.eml")
            with open(path, "wb") as f:
                f.write(data)
            ours = subprocess.run([dump, path], capture_output=True, check=True).stdout.decode("utf-8")
            ours = ours.splitlines()
            theirs = python_lines(data)
            if ours != theirs and KNOWN.get(name) != differing(ours, theirs):
                failed += 1
                print("DIFFERS: %s" % name)
                for a, b in zip(ours + [""] * len(theirs), theirs + [""] * len(ours)):
                    print(("   " if a == b else "!! ") + repr(a) + "  |  " + repr(b))
    print("%d of %d messages differ" % (failed, len(CORPUS)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
