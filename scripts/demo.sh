#!/bin/sh
# The main job on bundled samples: configure a sample setup file and read it back.
echo "The command-line program is not yet available."
exit 0
