import sys

from korvale_data.cli import main

if __name__ == "__main__":
    sys.exit(main())
