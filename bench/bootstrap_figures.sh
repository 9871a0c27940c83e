# Figures 4 and 5 (sourced by run.sh).
row "4 whole bootstrap" "-" "-" "n/a" "<= x1.0" "not run"
row "5 launcher peak RSS during 4" "-" "-" "n/a" "<= 4 MiB" "not run"
