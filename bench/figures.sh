# Sourced by the whole-command benchmarks: the median of numbers on
# standard input, one a line, and one number printed with a printf format.
median() { sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
fmt() { awk -v x="$1" -v f="$2" 'BEGIN {printf f, x}'; }
