"""Memory cgroups made by the tests and bench/memory_checks.py: a child of
this process's own memory cgroup, with a limit, that a child process joins.
Root, and a writable hierarchy (v1 or v2), are needed; otherwise nothing is
made and the callers skip."""

import contextlib
import os
import uuid


def own_memory_cgroup():
    """(directory of this process's memory cgroup, limit file name, usage
    file name) or None."""
    with open("/proc/self/cgroup") as f:
        lines = [line.rstrip("\n").split(":", 2) for line in f]
    for _ident, controllers, path in lines:
        if "memory" in controllers.split(","):
            base = "/sys/fs/cgroup/memory" + path.rstrip("/")
            if os.path.exists(base + "/memory.limit_in_bytes"):
                return base, "memory.limit_in_bytes", "memory.usage_in_bytes"
    for ident, controllers, path in lines:
        if ident == "0" and controllers == "":
            base = "/sys/fs/cgroup" + path.rstrip("/")
            with open(base + "/cgroup.controllers") as f:
                if "memory" in f.read().split():
                    return base, "memory.max", "memory.current"
    return None


@contextlib.contextmanager
def memory_cgroup(limit: int | None):
    """Yields the directory of a new memory cgroup (limit bytes, or none),
    or None when one cannot be made here; removes it afterwards."""
    found = own_memory_cgroup()
    if found is None:
        yield None
        return
    base, limit_file, _ = found
    path = os.path.join(base, f"korvale-{uuid.uuid4().hex[:8]}")
    try:
        os.mkdir(path)
        if limit is not None:
            with open(os.path.join(path, limit_file), "w") as f:
                f.write(str(limit))
    except OSError:
        if os.path.isdir(path):
            os.rmdir(path)
        yield None
        return
    try:
        yield path
    finally:
        with contextlib.suppress(OSError):
            os.rmdir(path)


# The first lines of a child's script: it joins the cgroup given as its
# first argument, and can later squeeze its limit down to what it uses now
# plus `margin` bytes (so that the next sizeable request is refused and
# says what it needed).
JOIN = """
import os, sys
CGROUP = sys.argv[1]
with open(os.path.join(CGROUP, "cgroup.procs"), "w") as f:
    f.write(str(os.getpid()))

def squeeze(margin):
    limit_file = "memory.limit_in_bytes" if os.path.exists(os.path.join(CGROUP, "memory.limit_in_bytes")) else "memory.max"
    usage_file = "memory.usage_in_bytes" if limit_file == "memory.limit_in_bytes" else "memory.current"
    with open(os.path.join(CGROUP, usage_file)) as f:
        usage = int(f.read())
    with open(os.path.join(CGROUP, limit_file), "w") as f:
        f.write(str(usage + margin))
"""
