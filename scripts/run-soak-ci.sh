#!/usr/bin/env bash
# The CI soak: two minutes of the whole cast (bench/soak.sh) against the build in
# build/ that scripts/build.sh made. Exit status is the soak's; the figures and the
# samples are in build/soak/. Uses the fixed casting ports, an Xvfb and a PulseAudio
# of its own: on a machine shared with other test runs, run it under
# flock /tmp/vantor-e2e.lock.
set -euo pipefail
cd "$(dirname "$0")/.."
for program in soak_driver soak_animator vantor-receiver; do
  [ -x "build/bin/$program" ] || { echo "run-soak-ci: build/bin/$program missing: run scripts/build.sh first" >&2; exit 2; }
done
exec sh bench/soak.sh 2 build
