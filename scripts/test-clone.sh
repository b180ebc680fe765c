#!/usr/bin/env bash
# test-clone.sh: clones this repository's HEAD into an empty temporary folder,
# with nothing beside the clone, builds it there and runs one end-to-end
# session test from it (a person's console through the served mapper to a
# real telnet server) and the sandbox's own test. A file the project needs
# from outside its repository fails here. Prints ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
git clone --quiet "$PWD" "$folder/clone"
cd "$folder/clone"
echo "clone of $(git rev-parse --short HEAD) in $folder/clone"
scripts/build.sh native >/dev/null
scripts/sandbox --private-shm ctest --preset native -R '^(frontend_console|sandbox)$'
