#!/usr/bin/env bash
# Speed and quality of WEBFLAT.DLL's text extraction against w3m, lynx and html2text.
#
# Builds the extraction core natively with optimisation (no sanitizers), picks HTML
# files of up to 1 MB under /usr/share/doc until at least 5 MB, and runs our extraction
# and each tool over the same files. Prints MB/s for each, our speed as a multiple of the
# fastest tool (target: 20x or more), and the share of the words of w3m's output that
# our text also holds (target: 95% or more). The tools run as one process per file, as
# a caller would run them; ours is timed both in one process (as the library runs
# inside its caller) and as one process per file, like the tools.
set -u
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d /tmp/webflat-bench.XXXXXX)"
trap 'rm -rf "$work"' EXIT

g++ -O2 -std=c++17 -I"$root" "$root/bench/webflat/flatten_files.cpp" "$root"/webflat/core/*.cpp \
  -o "$work/flatten_files" || { echo "build failed"; exit 1; }

want=$((5 * 1024 * 1024))
total=0
files=()
while IFS= read -r -d '' f; do
  size=$(stat -c %s "$f")
  files+=("$f")
  total=$((total + size))
  [ "$total" -ge "$want" ] && break
done < <(find /usr/share/doc -type f \( -name '*.html' -o -name '*.htm' \) -size +1k -size -1024k -print0 | sort -z)
mb=$(awk -v b="$total" 'BEGIN { printf "%.2f", b / 1048576 }')
echo "corpus: ${#files[@]} files, $mb MB from /usr/share/doc"

now() { date +%s.%N; }
rate() { awk -v b="$1" -v s="$2" 'BEGIN { if (s <= 0) s = 1e-9; printf "%.2f", b / 1048576 / s }'; }

# Ours: several rounds so that the time is measurable.
rounds=5
read -r bytes seconds _ < <("$work/flatten_files" --time "$rounds" "${files[@]}")
ours=$(rate "$bytes" "$seconds")
mkdir -p "$work/ours" "$work/w3m"
"$work/flatten_files" --dump "$work/ours" "${files[@]}"

run_tool() { # name, then the command with FILE standing for the file; output to $work/<name>/<n>.txt
  local name="$1"; shift
  mkdir -p "$work/$name"
  local start end i=0
  start=$(now)
  for f in "${files[@]}"; do
    local args=()
    for a in "$@"; do [ "$a" = FILE ] && args+=("$f") || args+=("$a"); done
    timeout 30 "${args[@]}" > "$work/$name/$i.txt" 2>/dev/null < /dev/null
    i=$((i + 1))
  done
  end=$(now)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f", e - s }'
}

ours_each_s=$(run_tool ours_each "$work/flatten_files" --time 1 FILE)
w3m_s=$(run_tool w3m w3m -dump -O UTF-8 -cols 200 FILE)
lynx_s=$(run_tool lynx lynx -dump -nolist -display_charset=utf-8 -width=200 FILE)
h2t_s=$(run_tool html2text html2text -utf8 -nobs -width 200 FILE)

ours_each=$(rate "$total" "$ours_each_s")
w3m=$(rate "$total" "$w3m_s")
lynx=$(rate "$total" "$lynx_s")
h2t=$(rate "$total" "$h2t_s")
fastest=$(printf '%s\n%s\n%s\n' "$w3m" "$lynx" "$h2t" | sort -g | tail -1)

printf '%-28s %10s MB/s\n' "webflat (in one process)" "$ours" "webflat (a process per file)" "$ours_each" \
  "w3m -dump" "$w3m" "lynx -dump" "$lynx" "html2text" "$h2t"
awk -v o="$ours" -v f="$fastest" 'BEGIN { printf "webflat speed: %.1fx the fastest tool (target: 20x)\n", o / f }'
awk -v o="$ours_each" -v f="$fastest" 'BEGIN { printf "webflat speed, a process per file like the tools: %.1fx\n", o / f }'

/usr/bin/python3 - "$work" "${#files[@]}" <<'PY'
import collections, re, sys
work, count = sys.argv[1], int(sys.argv[2])
word = re.compile(r"\w+", re.UNICODE)
def words(path):
    with open(path, "rb") as f:
        text = f.read().decode("utf-8", "replace").lower()
    return collections.Counter(w for w in word.findall(text) if not w.isdigit() or len(w) > 1)
held = total = 0
worst = []
for i in range(count):
    theirs = words(f"{work}/w3m/{i}.txt")
    ours = words(f"{work}/ours/{i}.txt")
    n = sum(theirs.values())
    h = sum(min(c, ours[w]) for w, c in theirs.items())
    held += h
    total += n
    if n:
        worst.append((h / n, i))
share = 100.0 * held / total if total else 100.0
print(f"words of w3m's output that webflat's text holds: {share:.1f}% of {total} (target: 95%)")
worst.sort()
for ratio, i in worst[:3]:
    print(f"  lowest: file #{i} {100 * ratio:.1f}%")
PY
