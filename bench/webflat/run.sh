#!/usr/bin/env bash
# Speed, memory and quality of WEBFLAT.DLL's text extraction against w3m, lynx and html2text.
#
# Builds the extraction core natively as a Release build (optimised, no sanitizers) and
# measures, in one run so that the figures stand side by side on a shared machine:
#
# - Parsing alone on two corpora: ours in one process over the pages held in memory (as
#   the library runs inside its caller), against `w3m -dump -T text/html` reading the
#   same pages as one concatenated stream (one process start for the whole corpus).
#   Each side runs several times, interleaved; medians and the median of the ratios
#   are printed (target: 20x or more).
#     1. the benchmark corpus: HTML files of up to 1 MB under /usr/share/doc, in name
#        order, until at least 5 MB;
#     2. large real documents: every HTML file of 1 MB or more under /usr/share/doc,
#        and, for packages whose manual is split into pages, those pages joined back in
#        name order where that gives 1 MB or more (said in the output).
# - Peak heap of the extraction of a 5 MB page (the first 5 MB of the largest document),
#   from reading the page to having its text, the page's own bytes included, as a
#   multiple of the page size (target: 4x or less).
# - The share of the words of w3m's output that our text also holds, page by page as
#   w3m renders each page (target: 95% or more).
# - For reference, the tools as a caller would run them: one process per file.
#
#   bench/webflat/run.sh [REPEATS]     (default 5 timed repeats of each side)
set -u
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d /tmp/webflat-bench.XXXXXX)"
trap 'rm -rf "$work"' EXIT
repeats="${1:-5}"

g++ -O2 -DNDEBUG -std=c++17 -I"$root" "$root/bench/webflat/flatten_files.cpp" "$root"/webflat/core/*.cpp \
  -o "$work/flatten_files" || { echo "build failed"; exit 1; }

# ---- corpora ----
want=$((5 * 1024 * 1024))
total=0
files=()
while IFS= read -r -d '' f; do
  size=$(stat -c %s "$f")
  files+=("$f")
  total=$((total + size))
  [ "$total" -ge "$want" ] && break
done < <(find /usr/share/doc -type f \( -name '*.html' -o -name '*.htm' \) -size +1k -size -1024k -print0 | sort -z)

large=()
large_note=()
mb1=$((1024 * 1024))
while IFS= read -r -d '' f; do
  large+=("$f")
  large_note+=("$f")
done < <(find /usr/share/doc -type f \( -name '*.html' -o -name '*.htm' \) -size +1048575c -print0 | sort -z)
mkdir -p "$work/large"
for dir in /usr/share/doc/*/; do
  pkg=$(basename "$dir")
  # A package that already has a document of 1 MB is represented by it.
  skip=0
  for f in "${large_note[@]}"; do case "$f" in "$dir"*) skip=1 ;; esac; done
  [ "$skip" = 1 ] && continue
  joined="$work/large/$pkg.html"
  find "$dir" -type f \( -name '*.html' -o -name '*.htm' \) -print0 | sort -z | xargs -0 -r cat > "$joined"
  if [ "$(stat -c %s "$joined")" -ge "$mb1" ]; then
    large+=("$joined")
    large_note+=("$pkg: its $(find "$dir" -type f \( -name '*.html' -o -name '*.htm' \) | wc -l) pages joined")
  else
    rm -f "$joined"
  fi
done

bytes_of() { local t=0 f; for f in "$@"; do t=$((t + $(stat -c %s "$f"))); done; echo "$t"; }
mb() { awk -v b="$1" 'BEGIN { printf "%.2f", b / 1048576 }'; }
now() { date +%s.%N; }
rate() { awk -v b="$1" -v s="$2" 'BEGIN { if (s <= 0) s = 1e-9; printf "%.2f", b / 1048576 / s }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

large_total=$(bytes_of ${large[@]+"${large[@]}"})
echo "corpus 1 (benchmark): ${#files[@]} files, $(mb "$total") MB from /usr/share/doc"
echo "corpus 2 (large documents): ${#large[@]} documents, $(mb "$large_total") MB:"
for i in "${!large[@]}"; do
  printf '  %6s MB  %s\n' "$(mb "$(stat -c %s "${large[$i]}")")" "${large_note[$i]}"
done

# ---- parsing alone: ours in one process against w3m over one stream, interleaved ----
# Ours runs enough rounds to take a measurable time; its figure is bytes per second.
speed_vs_w3m() { # label, files...
  local label="$1"; shift
  local bytes rounds ours_rates=() w3m_rates=() ratios=() r b s start end w
  bytes=$(bytes_of "$@")
  rounds=$(( (40 * mb1 + bytes - 1) / bytes ))
  for ((r = 0; r < repeats; r++)); do
    read -r b s _ < <("$work/flatten_files" --time "$rounds" "$@")
    local ours; ours=$(rate "$b" "$s")
    start=$(now)
    cat "$@" | w3m -dump -T text/html > /dev/null 2>&1
    end=$(now)
    w=$(rate "$bytes" "$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f", e - s }')")
    ours_rates+=("$ours")
    w3m_rates+=("$w")
    ratios+=("$(awk -v o="$ours" -v w="$w" 'BEGIN { printf "%.2f", o / w }')")
  done
  local mo mw mr
  mo=$(printf '%s\n' "${ours_rates[@]}" | median)
  mw=$(printf '%s\n' "${w3m_rates[@]}" | median)
  mr=$(printf '%s\n' "${ratios[@]}" | median)
  printf '%s: webflat %s MB/s, w3m -dump -T text/html (one stream) %s MB/s (medians of %d)\n' \
    "$label" "$mo" "$mw" "$repeats"
  printf '  webflat / w3m: %sx median (runs: %s) (target: 20x)\n' "$mr" "${ratios[*]}"
}
speed_vs_w3m "corpus 1, parsing alone" "${files[@]}"
if [ "${#large[@]}" -gt 0 ]; then
  speed_vs_w3m "corpus 2, parsing alone" "${large[@]}"
else
  echo "corpus 2: no HTML document of 1 MB or more under /usr/share/doc, nor a manual that joins to one"
fi

# ---- peak memory for a 5 MB page ----
biggest=""
for f in "${large[@]}"; do
  if [ -z "$biggest" ] || [ "$(stat -c %s "$f")" -gt "$(stat -c %s "$biggest")" ]; then biggest="$f"; fi
done
if [ -n "$biggest" ] && [ "$(stat -c %s "$biggest")" -ge $((5 * mb1)) ]; then
  head -c $((5 * mb1)) "$biggest" > "$work/page5.html"
  read -r page peak _ < <("$work/flatten_files" --memory "$work/page5.html")
  awk -v p="$page" -v k="$peak" -v f="$biggest" 'BEGIN {
    printf "peak memory for a 5 MB page (the first 5 MB of %s), from reading it to its text,\n", f
    printf "  page bytes included (released once converted to UTF-8, as the library does): %.1f MB = %.2fx the page (target: 4x or less)\n", k / 1048576, k / p }'
else
  echo "peak memory: no document of 5 MB or more to cut a 5 MB page from"
fi

# ---- the tools as a caller would run them, one process per file; word recall ----
mkdir -p "$work/ours" "$work/ours_large"
"$work/flatten_files" --dump "$work/ours" "${files[@]}"
[ "${#large[@]}" -gt 0 ] && "$work/flatten_files" --dump "$work/ours_large" "${large[@]}"

run_tool() { # output dir, then the command with FILE standing for the file, then -- files
  local dir="$1"; shift
  local cmd=()
  while [ "$1" != "--" ]; do cmd+=("$1"); shift; done
  shift
  mkdir -p "$dir"
  local start end i=0
  start=$(now)
  for f in "$@"; do
    local args=()
    for a in "${cmd[@]}"; do [ "$a" = FILE ] && args+=("$f") || args+=("$a"); done
    timeout 60 "${args[@]}" > "$dir/$i.txt" 2>/dev/null < /dev/null
    i=$((i + 1))
  done
  end=$(now)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f", e - s }'
}

ours_each_s=$(run_tool "$work/ours_each" "$work/flatten_files" --time 1 FILE -- "${files[@]}")
w3m_s=$(run_tool "$work/w3m" w3m -dump -O UTF-8 -cols 200 FILE -- "${files[@]}")
lynx_s=$(run_tool "$work/lynx" lynx -dump -nolist -display_charset=utf-8 -width=200 FILE -- "${files[@]}")
h2t_s=$(run_tool "$work/html2text" html2text -utf8 -nobs -width 200 FILE -- "${files[@]}")
mkdir -p "$work/w3m_large"
[ "${#large[@]}" -gt 0 ] && run_tool "$work/w3m_large" w3m -dump -O UTF-8 -cols 200 FILE -- "${large[@]}" > /dev/null

ours_each=$(rate "$total" "$ours_each_s")
w3m=$(rate "$total" "$w3m_s")
lynx=$(rate "$total" "$lynx_s")
h2t=$(rate "$total" "$h2t_s")
echo "corpus 1, a process per file as a caller runs the tools (start-up included):"
printf '  %-28s %10s MB/s\n' "webflat" "$ours_each" "w3m -dump" "$w3m" "lynx -dump" "$lynx" "html2text" "$h2t"

/usr/bin/python3 - "$work" "${#files[@]}" "${#large[@]}" <<'PY'
import collections, re, sys
work, count, large = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
word = re.compile(r"\w+", re.UNICODE)
def words(path):
    with open(path, "rb") as f:
        text = f.read().decode("utf-8", "replace").lower()
    return collections.Counter(w for w in word.findall(text) if not w.isdigit() or len(w) > 1)
def recall(label, theirs_dir, ours_dir, n):
    held = total = 0
    worst = []
    for i in range(n):
        theirs = words(f"{work}/{theirs_dir}/{i}.txt")
        ours = words(f"{work}/{ours_dir}/{i}.txt")
        t = sum(theirs.values())
        h = sum(min(c, ours[w]) for w, c in theirs.items())
        held += h
        total += t
        if t:
            worst.append((h / t, i))
    share = 100.0 * held / total if total else 100.0
    print(f"{label}: words of w3m's output that webflat's text holds: {share:.1f}% of {total} (target: 95%)")
    worst.sort()
    for ratio, i in worst[:3]:
        print(f"  lowest: file #{i} {100 * ratio:.1f}%")
recall("corpus 1", "w3m", "ours", count)
if large:
    recall("corpus 2", "w3m_large", "ours_large", large)
PY
