import sys

from korvale_data.cli import main

sys.exit(main())
