"""Prints where a package goes under PREFIX so that this interpreter finds it
(a path relative to PREFIX): the first of the interpreter's own search
directories below PREFIX, else the conventional lib/pythonX.Y/site-packages."""
import os
import sys
import sysconfig

prefix = os.path.abspath(sys.argv[1])
version = "python%d.%d" % sys.version_info[:2]
for candidate in ("lib/%s/dist-packages" % version, "lib/python3/dist-packages",
                  "lib/%s/site-packages" % version):
    if os.path.join(prefix, candidate) in sys.path:
        print(candidate)
        break
else:
    path = sysconfig.get_path("platlib", "posix_prefix", vars={"base": prefix, "platbase": prefix})
    print(os.path.relpath(path, prefix))
