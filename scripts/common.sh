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
    "$dir/bin/python" -m pip install -q "$@" 2>&1 | grep -v '^WARNING: Location' || true
    "$dir/bin/python" -c 'import sys' # the venv must work
}

# build_wheel: builds the one stable-ABI wheel into dist/ and prints its path.
build_wheel() {
    local py
    py="$(find_python 3.12)"
    make_venv "$ROOT/.venv-build" "$py" pip "cmake>=3.26" ninja nanobind
    rm -f "$ROOT"/dist/korvale-*.whl
    log "building the wheel"
    "$ROOT/.venv-build/bin/python" -m pip wheel "$ROOT" -w "$ROOT/dist" --no-deps -q \
        2>&1 | grep -v '^WARNING: Location' >&2 || true
    local wheel
    wheel="$(ls "$ROOT"/dist/korvale-*-cp312-abi3-*.whl 2>/dev/null | head -n 1)"
    [ -n "$wheel" ] || { echo "wheel build failed" >&2; return 1; }
    echo "$wheel"
}

# install_wheel VENV WHEEL
install_wheel() {
    "$1/bin/python" -m pip install -q --force-reinstall --no-deps "$2" 2>&1 | grep -v '^WARNING: Location' || true
}
