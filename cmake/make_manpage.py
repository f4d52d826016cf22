#!/usr/bin/env python3
"""Makes a gzipped manual page (section 1) from a program's --help text.

Usage: make_manpage.py PROGRAM NAME SUMMARY VERSION OUTPUT.1.gz

The help text becomes the page's description, kept line for line. Some programs end their help
with exit code 1 or 2 by design; any other failure, or an empty text, fails the build.
"""

import gzip
import subprocess
import sys


def roff_line(line):
    """One line of text, safe for roff: backslashes and minus signs escaped, no request dots."""
    line = line.replace("\\", "\\e").replace("-", "\\-")
    if line.startswith((".", "'")):
        line = "\\&" + line
    return line


def main():
    if len(sys.argv) != 6:
        sys.stderr.write(__doc__)
        return 2
    program, name, summary, version, output = sys.argv[1:]
    result = subprocess.run([program, "--help"], stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    text = (result.stdout or result.stderr).decode("utf-8", "replace").replace("\r\n", "\n")
    if result.returncode not in (0, 1, 2) or not text.strip():
        sys.stderr.write("make_manpage.py: %s --help failed (exit code %d)\n"
                         % (program, result.returncode))
        return 1
    page = [
        '.TH %s 1 "" "KVSetupConfigurator %s" "User Commands"' % (name.upper(), version),
        ".SH NAME",
        "%s \\- %s" % (name, roff_line(summary)),
        ".SH DESCRIPTION",
        ".nf",
    ]
    page += [roff_line(line) for line in text.rstrip("\n").split("\n")]
    page += [".fi", ".SH SEE ALSO", "/usr/share/doc/kvsetupconfigurator/README.md", ""]
    # A fixed time stamp keeps the page byte for byte the same from one build to the next.
    with open(output, "wb") as f:
        with gzip.GzipFile(filename="", mode="wb", fileobj=f, mtime=0, compresslevel=9) as gz:
            gz.write("\n".join(page).encode("utf-8"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
