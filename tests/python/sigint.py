"""A run started in the background of a non-interactive shell inherits SIGINT
ignored, and Python then installs no handler of its own, so Ctrl-C (and the
interrupt tests' SIGINT) would be ignored. The test process, and the
interpreters it starts to interrupt, put the interpreter's handler back."""

import signal


def restore_sigint_handler():
    if signal.getsignal(signal.SIGINT) is signal.SIG_IGN:
        signal.signal(signal.SIGINT, signal.default_int_handler)
