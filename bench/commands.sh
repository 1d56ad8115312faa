#!/usr/bin/env bash
# Times two whole commands on a synthetic table of 50,000 records: `train` of
# a fresh network, and `simplify --mode synapses` of a trained one, for each
# velmar-cli given (default: build/cli/velmar-cli). Every binary starts train
# from the same new project and simplify from the same trained project (both
# made by the last binary given, which must know `table import`), with the
# same seed, so that the runs can be compared; a binary whose arithmetic
# differs may still take another path.
#
#   bench/commands.sh [VELMAR_CLI...]
#
# The table: ten inputs X1..X10 uniform in [-1, 1] and an output Y that a
# small network can learn within the tolerance 0.1. The generator is a plain
# Lehmer sequence, so every awk writes the same records.
set -euo pipefail
cd "$(dirname "$0")/.."
clis=("$@")
[ ${#clis[@]} -gt 0 ] || clis=(build/cli/velmar-cli)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

awk 'BEGIN {
  x = 20261208; m = 2147483647
  printf "X1"; for (i = 2; i <= 10; ++i) printf ",X%d", i; print ",Y"
  for (r = 0; r < 50000; ++r) {
    for (i = 1; i <= 10; ++i) { x = (x * 16807) % m; v[i] = 2 * x / m - 1; printf "%s%.4f", (i > 1 ? "," : ""), v[i] }
    printf ",%.4f\n", 0.5 * v[1] - 0.3 * v[2] + 0.2 * v[3] * v[4]
  }
}' > "$work/data.csv"
setup=${clis[${#clis[@]}-1]}
"$setup" table import "$work/data.csv" "$work/data.dbf" --format 5 > /dev/null
"$setup" new "$work/new.vpr" --data "$work/data.dbf" --gap Y=0.1 --seed 7 > /dev/null
cp "$work/new.vpr" "$work/trained.vpr"
"$setup" train "$work/trained.vpr" --data "$work/data.dbf" --seed 7 > /dev/null 2>&1

seconds() { # command... → wall seconds on stdout, the command's stdout in $work/out
  local start end
  start=$(date +%s.%N)
  "$@" > "$work/out" 2> /dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }'
}

printf '%-40s %10s %12s  %s\n' "velmar-cli" "train s" "simplify s" "simplify counters"
for cli in "${clis[@]}"; do
  cp "$work/new.vpr" "$work/p.vpr"
  train=$(seconds "$cli" train "$work/p.vpr" --data "$work/data.dbf" --seed 7)
  cp "$work/trained.vpr" "$work/s.vpr"
  simplify=$(seconds "$cli" simplify "$work/s.vpr" --data "$work/data.dbf" --mode synapses --seed 7)
  counters=$(tr '\n' ' ' < "$work/out")
  printf '%-40s %10s %12s  %s\n' "$cli" "$train" "$simplify" "$counters"
done
