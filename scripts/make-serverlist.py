#!/usr/bin/env python3
"""Write the default server list resources/wezserv.dat.

One item per line, "address/description", in code page 932 with CR LF, the
form the server selector reads. The shipped list names only a server on this
machine; users add their own lines.

Usage: scripts/make-serverlist.py [output-dir]   (default: resources/ beside scripts/)
"""
import os
import sys

SERVERS = [
    ("127.0.0.1", "ローカルサーバ（このコンピュータ）"),
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    os.makedirs(outdir, exist_ok=True)
    for address, description in SERVERS:
        # The reader splits items at commas and strips quotes, so neither may appear.
        assert "," not in address + description and '"' not in address + description
        assert "/" not in address
    text = "".join("%s/%s\r\n" % item for item in SERVERS)
    with open(os.path.join(outdir, "wezserv.dat"), "wb") as f:
        f.write(text.encode("cp932"))
    print("wezserv.dat: %d server(s)" % len(SERVERS))


if __name__ == "__main__":
    main()
