"""A SOFTWARE hive for the tests and the bench: a copy of BASE (hivex
writes copies only) with its keys replaced by FILLER keys under Classes
(for a hive of a real one's size) and a ProfileList of the profiles given.
Usage: software_hive.py BASE OUT FILLER SID=PROFILE-PATH ...
Run by Debian's /usr/bin/python3, which has python3-hivex."""
import sys

import hivex

base, out, filler = sys.argv[1], sys.argv[2], int(sys.argv[3])
h = hivex.Hivex(base, write=True)
root = h.root()
for child in h.node_children(root):
    h.node_delete_child(child)
if filler:
    classes = h.node_add_child(root, "Classes")
    for i in range(filler):
        key = h.node_add_child(classes, ".ext%06d" % i)
        h.node_set_value(key, {"key": "", "t": 1,
                               "value": ("file%06d\0" % i).encode("utf-16-le")})
node = root
for part in ["Microsoft", "Windows NT", "CurrentVersion", "ProfileList"]:
    node = h.node_add_child(node, part)
for sid, path in (a.split("=", 1) for a in sys.argv[4:]):
    key = h.node_add_child(node, sid)
    h.node_set_value(key, {"key": "ProfileImagePath", "t": 2,  # REG_EXPAND_SZ
                           "value": (path + "\0").encode("utf-16-le")})
h.commit(out)
