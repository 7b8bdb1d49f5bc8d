# What the tool's shell tests share, sourced once they have read their
# arguments: a work folder that goes at the end, `check` and `run`, and the
# summary line.  A test that sets check_shows_err=1 before sourcing sees the
# last run's standard error under each failed check.

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

check() {   # check NAME CONDITION...
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $name"
    if [ "${check_shows_err:-0}" = 1 ]; then
      sed 's/^/  | /' "$work/err" 2>/dev/null | head -n 12
    fi
  fi
}

not() { ! "$@"; }   # check NAME not CONDITION...

# run CMD...: stdout to $work/out, stderr to $work/err, exit code to $rc
run() {
  "$@" >"$work/out" 2>"$work/err"
  rc=$?
}

summary() {  # summary LABEL: prints the counts; fails when a check failed
  echo "$1: $passed passed, $failed failed"
  test "$failed" -eq 0
}
