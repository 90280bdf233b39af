#!/usr/bin/env bash
# Builds the wheel, installs it into a CPython 3.12 environment and runs the demo.
source "$(dirname "$0")/common.sh"
cd "$ROOT"
WHEEL="$(build_wheel)"
make_venv "$ROOT/.venv-demo" "$(find_python 3.12)" "numpy>=1.26" matplotlib
install_wheel "$ROOT/.venv-demo" "$WHEEL"
exec "$ROOT/.venv-demo/bin/python" "$ROOT/demo/demo.py"
