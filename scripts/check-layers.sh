#!/usr/bin/env bash
# Fails when a source file includes a header from a folder above its own or from a library its own
# library does not link, or when a thread pool is made or used outside the one owner of the pools.
# Each folder under src/ is one library (src/platform/ui is vesk_platform_ui, and so on); a library
# may use only the folders ranked below it (and itself):
#   platform < platform/image, platform/nn, platform/ui < platform/preview < model < engines
#   < present < store < grid < pane and other views < app
# The platform folders are split so that an engine links the widget kit, the model runtime, the
# picture decoders or the FFmpeg/Poppler previews only when it uses them: an include of one of them
# must be matched by the library in the folder's links in src/CMakeLists.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

rank() {
  case "$1" in
    platform) echo 10 ;;
    platform/image|platform/nn|platform/ui) echo 12 ;;
    platform/preview) echo 14 ;;
    model) echo 20 ;;
    search|intake|richtext|images|faces|secure|media|timeline|editor) echo 30 ;;
    present) echo 35 ;;
    store) echo 40 ;;
    grid) echo 50 ;;
    pane|people|timelineview|imageeditor|sheets|secureview|mediaview) echo 55 ;;
    app) echo 60 ;;
    *) echo "" ;;
  esac
}

# What each library links, from its vesk_add_area(<folder> DEPS ...) line, vesk_ libraries only.
# Library names use "_" where folders have "/" (vesk_platform_ui is src/platform/ui).
declare -A areas=() links=()
while read -r area deps; do
  areas[$area]=1
  links[${area//\//_}]=$deps
done < <(tr '\n' ' ' < src/CMakeLists.txt | grep -o 'vesk_add_area([^)]*)' \
  | sed -E 's/vesk_add_area\(([^ )]*)[^)]*DEPS([^)]*)\)/\1 \2/' \
  | awk '{ printf "%s", $1; for (i = 2; i <= NF; ++i) if ($i ~ /^vesk_/) printf " %s", substr($i, 6); printf "\n" }')

# Every library each library reaches through its links.
declare -A reach=()
for lib in "${!links[@]}"; do
  out=" "
  todo=${links[$lib]}
  while [ -n "${todo// /}" ]; do
    read -r dep todo <<< "$todo"
    case "$out" in *" $dep "*) continue ;; esac
    out="$out$dep "
    todo="$todo ${links[$dep]:-}"
  done
  reach[$lib]=$out
done

# The folder a path inside src/ belongs to (in $folder): the deepest folder that is a library.
folder_of() {
  local top=${1%%/*} rest=${1#*/}
  folder=$top
  [ "$rest" != "$1" ] && [ -n "${areas[$top/${rest%%/*}]+x}" ] && folder=$top/${rest%%/*}
  return 0
}

status=0
while IFS= read -r file; do
  rel=${file#src/}
  folder_of "$rel"; own=$folder
  own_rank=$(rank "$own")
  if [ -z "$own_rank" ]; then
    echo "check-layers: folder src/$own has no layer; add it to scripts/check-layers.sh"
    status=1
    continue
  fi
  own_reach=${reach[${own//\//_}]:-}
  while IFS= read -r included; do
    folder_of "$included"; used=$folder
    [ "$used" = "$own" ] && continue
    used_rank=$(rank "$used")
    [ -z "$used_rank" ] && continue   # a system or third-party header
    if [ "$used_rank" -ge "$own_rank" ]; then
      echo "check-layers: $file includes $used/, which is not below $own/"
      status=1
    elif [[ "$own_reach" != *" ${used//\//_} "* ]]; then
      echo "check-layers: $file includes $used/, but vesk_${own//\//_} does not link vesk_${used//\//_}"
      status=1
    fi
  done < <(sed -n 's@^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z][a-z/]*\)/[^/"]*".*@\1/x@p' "$file" | sort -u)
done < <(find src -mindepth 2 -type f \( -name '*.h' -o -name '*.cpp' \) | grep -v '^src/app/main.cpp$' | sort)

# The thread pools have one owner (platform/WorkPools): nothing else uses Qt's global pool (the
# window paints with it) or keeps a pool of its own for the life of the process.
pool_owner=src/platform/WorkPools.cpp
while IFS= read -r hit; do
  echo "check-layers: $hit uses Qt's global pool; take a pool from WorkPools"
  status=1
done < <(grep -rn --include='*.cpp' --include='*.h' 'QThreadPool::globalInstance' src bench | grep -v "^$pool_owner:" || true)
while IFS= read -r hit; do
  echo "check-layers: $hit keeps a pool of its own; take one from WorkPools"
  status=1
done < <(grep -rnE --include='*.cpp' --include='*.h' 'static[^;(=]*(QThreadPool|ThreadPool)[[:space:]*&]' src | grep -v "^$pool_owner:" || true)

# Results come back to the main thread through deliverResult, never a continuation run by a
# receiver's event loop (which reads the result under the future's lock a worker may hold).
while IFS= read -r hit; do
  echo "check-layers: $hit continues a future on a receiver; hand the result over with deliverResult"
  status=1
done < <(grep -rnE --include='*.cpp' --include='*.h' '(\.|->)then\([[:space:]]*this\b' src || true)

# No pixmap in worker code: a pixmap belongs to the main thread. Worker code is what a call hands
# to another thread (QtConcurrent, an executor's run, a continuation) and every file that says
# something in it is safe from any thread. Comments and string literals do not count.
while IFS= read -r hit; do
  echo "check-layers: $hit uses a QPixmap in worker code; workers paint QImage"
  status=1
done < <(find src -type f \( -name '*.h' -o -name '*.cpp' \) | sort | xargs perl -0777 -ne '
  my $file = $ARGV;
  my $text = $_;
  my $declared = $text =~ /safe (?:from|on) any thread/i;
  # Blank out comments and literals, keeping every line break so that line numbers hold.
  $text =~ s{//[^\n]*|/\*.*?\*/|"(?:[^"\\\n]|\\.)*"|\x27(?:[^\x27\\\n]|\\.)*\x27}{my $m = $&; $m =~ s/[^\n]/ /g; $m}gse;
  my $line_at = sub { 1 + (substr($text, 0, $_[0]) =~ tr/\n//) };
  my %hits;
  if ($declared) {
    $hits{$line_at->($-[0])} = 1 while $text =~ /\bQPixmap\b/g;
  }
  while ($text =~ /(?:QtConcurrent::\w+|(?:\.|->)(?:run|then))\s*\(/g) {
    my ($start, $depth, $i) = (pos($text), 1, pos($text));
    for (; $i < length($text) && $depth > 0; ++$i) {
      my $c = substr($text, $i, 1);
      $depth += $c eq "(" ? 1 : $c eq ")" ? -1 : 0;
    }
    my $call = substr($text, $start, $i - $start);
    $hits{$line_at->($start + $-[0])} = 1 while $call =~ /\bQPixmap\b/g;
  }
  print "$file:$_\n" for sort { $a <=> $b } keys %hits;
' || true)

if [ "$status" -eq 0 ]; then
  echo "check-layers: every include points down to a library linked, and the thread pools have one owner, results come back by deliverResult, and no worker uses a pixmap"
fi
exit "$status"
