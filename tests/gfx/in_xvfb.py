"""Runs one command inside a private 854 x 480 Xvfb started for it, and
exits with the command's status.  Usage: in_xvfb.py COMMAND [ARGS...]"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "headless"))
from harness import XServer  # noqa: E402


def main():
    with XServer(854, 480) as server:
        status = subprocess.run(sys.argv[1:], env=dict(os.environ, DISPLAY=server.display)).returncode
    sys.exit(status)


if __name__ == "__main__":
    main()
