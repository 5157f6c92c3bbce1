#!/bin/bash
# A Slurm job array that runs one rovurer job in shards, one shard a task,
# and merges them when the last one is done:
#
#   sbatch --array=1-64 tools/cluster/shards.sbatch --count /data/pi 10
#   sbatch --array=1-64 tools/cluster/shards.sbatch --find 31415926 /data/pi 10
#
# Each task writes shard-K.out in the submit folder; once all are there,
# `tools/cluster/shards.sbatch merge N FORM` (or the last task) joins them:
# dumps and --find by concatenation in shard order, --count by adding the
# counts. Every node needs the digit file at the same path (a shared file
# system, or a copy), and rovurer on its PATH.
#SBATCH --job-name=rovurer
#SBATCH --cpus-per-task=64
#SBATCH --output=shard-%a.log
set -euo pipefail

merge() {
  local shards=$1 form=$2
  local parts=()
  for k in $(seq 1 "$shards"); do parts+=("shard-$k.out"); done
  if [ "$form" = --count ]; then
    awk '{ count[$1] += $2 } END { for (d in count) print d, count[d] }' "${parts[@]}" | sort -k1,1 >merged.out
  else
    cat "${parts[@]}" >merged.out
  fi
  echo "merged ${shards} shards into merged.out"
}

if [ "${1:-}" = merge ]; then
  merge "$2" "$3"
  exit 0
fi

shard=${SLURM_ARRAY_TASK_ID:?run this with sbatch --array=1-N}
shards=${SLURM_ARRAY_TASK_COUNT:?run this with sbatch --array=1-N}
status=0
rovurer --threads "${SLURM_CPUS_PER_TASK:-1}" --no-progress --shard "$shard/$shards" "$@" >"shard-$shard.tmp" || status=$?
# --find ends 1 when its shard holds no match; anything else above 0 is trouble.
if [ "$status" -gt 1 ] || { [ "$status" -eq 1 ] && [ "$1" != --find ]; }; then
  echo "shard $shard/$shards failed with status $status" >&2
  exit "$status"
fi
mv "shard-$shard.tmp" "shard-$shard.out"
# The task that finds every shard done merges them.
done_count=$(ls shard-*.out 2>/dev/null | wc -l)
if [ "$done_count" -eq "$shards" ] && mkdir merge.lock 2>/dev/null; then
  merge "$shards" "$1"
fi
