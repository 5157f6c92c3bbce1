#!/bin/bash
# A Slurm job array that runs one rovurer job in shards, one shard a task,
# and merges them when the last one is done:
#
#   sbatch --array=1-64 tools/cluster/shards.sbatch --count /data/pi 10
#   sbatch --array=1-64 tools/cluster/shards.sbatch /data/pi 10 --find 31415926 --max-count 10
#   sbatch --array=1-64 tools/cluster/shards.sbatch --stats /data/pi 10
#
# The options may come in any order. Each task writes its shard's output and
# status in rovurer-JOB/, a folder of the submit folder that belongs to this
# job array alone (JOB is SLURM_ARRAY_JOB_ID). The task that finds every
# shard done merges them into merged-JOB.out, writes the merged status to
# merged-JOB.status, and removes the folder:
#   - a dump and --find: the shards' outputs in shard order; with
#     --max-count N, the first N lines of them;
#   - --count: the counts added;
#   - --compare: the first difference in shard order; when there is none and
#     the last shard says one run ended first, its message;
#   - the statistics: rovurer --merge of the shards' answers (--stats and
#     --missing shards write JSON for it, whatever the job asked; the merge
#     writes what it asked).
# Statuses, as rovurer's: 0 and 1 are answers (1: --find found nothing,
# --compare found a difference or an early end); a shard that ends above 1,
# or 1 for a form where 1 is not an answer, fails its task and the merge
# waits for it to be run again. Every node needs the digit file at the same
# path (a shared file system, or a copy), and rovurer on its PATH.
#SBATCH --job-name=rovurer
#SBATCH --cpus-per-task=64
#SBATCH --output=shard-%A-%a.log
set -euo pipefail

# The form and --max-count of a rovurer command line, wherever they stand.
form=dump
max_count=
json=
first=
previous=
for argument in "$@"; do
  [ "$argument" = -- ] && break
  case $argument in
    --find | --find=*) form=find ;;
    --count) form=count ;;
    --compare) form=compare ;;
    --info) form=info ;;
    --stats) form=stats ;;
    --missing | --missing=*) form=missing ;;
    --blocks | --blocks=*) form=blocks ;;
    --runs | --runs=*) form=runs ;;
    --self-locating) form=self-locating ;;
    --walk | --walk=*) form=walk ;;
    --json) json=--json ;;
    --first) first=yes ;;
    --max-count=*) max_count=${argument#--max-count=} ;;
  esac
  [ "$previous" = --max-count ] && max_count=$argument
  previous=$argument
done
if [ "$form" = info ]; then
  echo "--info reads only the header: run it once, not in shards" >&2
  exit 2
fi
if [ "$form" = walk ]; then
  echo "--walk draws one picture: run it once, not in shards" >&2
  exit 2
fi
[ "$form" = missing ] && [ -n "$first" ] && form=first
# What the shards of --stats and --missing write: the JSON that merges.
shard_json=
if { [ "$form" = stats ] || [ "$form" = missing ]; } && [ -z "$json" ]; then
  shard_json=--json
fi

job=${SLURM_ARRAY_JOB_ID:?run this with sbatch --array=1-N}
shard=${SLURM_ARRAY_TASK_ID:?run this with sbatch --array=1-N}
shards=${SLURM_ARRAY_TASK_COUNT:?run this with sbatch --array=1-N}
folder=rovurer-$job
mkdir -p "$folder"

status=0
rovurer --threads "${SLURM_CPUS_PER_TASK:-1}" --no-progress --shard "$shard/$shards" $shard_json "$@" \
  >"$folder/shard-$shard.tmp" 2>"$folder/shard-$shard.err" || status=$?
cat "$folder/shard-$shard.err" >&2
if [ "$status" -gt 1 ] || { [ "$status" -eq 1 ] && [ "$form" != find ] && [ "$form" != compare ]; }; then
  echo "shard $shard/$shards failed with status $status" >&2
  exit "$status"
fi
echo "$status" >"$folder/shard-$shard.status"
mv "$folder/shard-$shard.tmp" "$folder/shard-$shard.out"

merge() {
  local parts=() k
  for k in $(seq 1 "$shards"); do parts+=("$folder/shard-$k.out"); done
  local merged=merged-$job.out merged_status=0
  case $form in
    count)
      awk '{ count[$1] += $2 } END { for (d in count) print d, count[d] }' "${parts[@]}" | sort -k1,1 >"$merged"
      ;;
    stats | missing | first | blocks | runs | self-locating)
      local merge_json=
      if [ "$form" = stats ] || [ "$form" = missing ]; then merge_json=$json; fi
      rovurer --merge "$form" $merge_json ${max_count:+--max-count "$max_count"} "${parts[@]}" >"$merged" ||
        merged_status=$?
      ;;
    compare)
      awk 'NR == 1' "${parts[@]}" >"$merged"
      if [ -s "$merged" ]; then
        merged_status=1
      elif [ "$(cat "$folder/shard-$shards.status")" = 1 ]; then
        cat "$folder/shard-$shards.err" >>"$merged"  # one run ends first
        merged_status=1
      fi
      ;;
    *)
      if [ -n "$max_count" ]; then
        awk -v most="$max_count" 'NR <= most' "${parts[@]}" >"$merged"  # no pipe that head would cut
      else
        cat "${parts[@]}" >"$merged"
      fi
      if [ "$form" = find ] && [ ! -s "$merged" ]; then
        merged_status=1  # found nowhere
      fi
      ;;
  esac
  echo "$merged_status" >"merged-$job.status"
  rm -rf "$folder"
  echo "merged $shards shards into $merged (status $merged_status)"
}

# The task that finds every shard done merges them, once.
done_count=$( (find "$folder" -maxdepth 1 -name 'shard-*.out' 2>/dev/null || true) | wc -l)
if [ "$done_count" -eq "$shards" ] && mkdir "$folder/merge.lock" 2>/dev/null; then
  merge
fi
