#!/usr/bin/env bash
# Writes a settings file of about 10 MB to $1: one "Rref" section of half a million values, as a
# file grown by years of typed references (or damaged) would hold, and a small section after it.
# The fuzz stage checks that each settings loader reads it within its CPU-time limit.
set -euo pipefail
awk 'BEGIN {
  print "[Rref]"
  for (i = 0; i < 500000; i++) printf "Item%d=%d.%03d\n", i, (i * 7919) % 99999 + 1, i % 1000
  print "[WaveSetup]"
  print "Rate=48000"
}' > "$1"
