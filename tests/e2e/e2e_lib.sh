# Shared pieces of the terminal end-to-end tests: tmux driving, screen rows and their
# colours, and the checks every test makes before it starts.
# Source from bash after setting E2E_NAME (the tmux session name).

E2E_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
. "$E2E_ROOT/tools/tmux/tmux_lib.sh"

E2E_FAILURES=0
E2E_TMP="$(mktemp -d /tmp/ostrelin-e2e.XXXXXX)"

e2e_cleanup() {
  tmux_close "$E2E_NAME"
  rm -rf "$E2E_TMP"
}
trap e2e_cleanup EXIT

e2e_fail() {
  echo "FAIL: $*" >&2
  E2E_FAILURES=$((E2E_FAILURES + 1))
}

e2e_check() {
  local what="$1"
  shift
  if "$@"; then echo "ok: $what"; else e2e_fail "$what"; fi
}

e2e_finish() {
  if [ "$E2E_FAILURES" -ne 0 ]; then
    echo "--- screen at the end:" >&2
    tmux_capture "$E2E_NAME" >&2 2>/dev/null || true
    exit 1
  fi
  exit 0
}

# The monitor's status lines.
ALL_WELL="    =:)"
ALARM="    (((((((( Drellomar )))))))"

# Sets host to the namespace of the test host that netns_run.sh made for TARGET (given with
# HOW, e.g. --answer), or stops the test when it was not run that way.
e2e_test_host() {
  local target="$1" how="$2" variable="NETNS_HOST_${1//./_}"
  host="${!variable:-}"
  [ -n "$host" ] || { echo "run me through tools/netns/netns_run.sh $how $target" >&2; exit 2; }
}

e2e_require_tmux() {
  command -v tmux >/dev/null 2>&1 || { echo "tmux is missing; skipping" >&2; exit 77; }
}

# Anything that sends probes runs only where no packet can leave the machine.
e2e_refuse_default_route() {
  if [ -n "$(ip -4 route show default 2>/dev/null)" ] || [ -n "$(ip -6 route show default 2>/dev/null)" ]; then
    echo "e2e: this network namespace has a default route; refusing to start" >&2
    exit 3
  fi
}

# Row y (from 0) of the screen, trailing blanks dropped.
e2e_row() {
  tmux_capture "$E2E_NAME" | sed -n "$(($1 + 1))p" | sed 's/ *$//'
}

# "FG BG" in effect where TEXT begins on row y, from the SGR sequences of capture-pane -e
# up to there (tmux carries attributes from row to row). "default" for none set.
e2e_colours_at() {
  local y="$1" text="$2" capture before line prefix fg=default bg=default
  capture="$(tmux_capture "$E2E_NAME" -e)"
  before="$(printf '%s\n' "$capture" | head -n "$y")"
  line="$(printf '%s\n' "$capture" | sed -n "$((y + 1))p")"
  case "$line" in *"$text"*) ;; *) echo "missing missing"; return ;; esac
  prefix="${line%%"$text"*}"
  local sequences params p
  sequences="$(printf '%s\n%s' "$before" "$prefix" | grep -o $'\e\\[[0-9;]*m' | tr -d '\033[m')"
  while IFS= read -r params; do
    [ -z "$params" ] && params=0
    local -a list
    IFS=';' read -r -a list <<<"$params"
    local i=0
    while [ $i -lt ${#list[@]} ]; do
      p="${list[$i]}"
      case "$p" in
        0|"") fg=default; bg=default ;;
        3[0-7]|9[0-7]) fg="$p" ;;
        39) fg=default ;;
        4[0-7]|10[0-7]) bg="$p" ;;
        49) bg=default ;;
        38|48) if [ "${list[$((i + 1))]:-}" = 5 ]; then i=$((i + 2)); else i=$((i + 4)); fi ;;
      esac
      i=$((i + 1))
    done
  done <<<"$sequences"
  echo "$fg $bg"
}

e2e_equals() {
  [ "$1" = "$2" ] || { echo "  expected '$2', got '$1'" >&2; return 1; }
}
