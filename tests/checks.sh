# Sourced by the scenario scripts: a tally of checks, each printed as
# "ok   WHAT" or "FAIL WHAT".
passed=0
failed=0

# check WHAT GOT EXPECTED: passes when GOT is EXPECTED to the letter.
check() {
  if [ "$2" = "$3" ]; then passed=$((passed + 1)); echo "ok   $1"
  else failed=$((failed + 1)); echo "FAIL $1: expected [$3], got [$2]"; fi
}
# check_true WHAT CONDITION: passes when the shell condition holds.
check_true() {
  if eval "$2"; then passed=$((passed + 1)); echo "ok   $1"
  else failed=$((failed + 1)); echo "FAIL $1"; fi
}
