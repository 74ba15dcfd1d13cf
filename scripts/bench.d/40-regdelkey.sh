# DELETE_LOCAL_MACHINE_PRODUCTKEY on a tree of 10,000 keys and 100,000 values, side by side with
# the platform's RegDeleteTreeA on an identical tree (and RegDelKey in-process, without
# Torvane's start-up). Goal: the command no slower than RegDeleteTreeA.
wine "$bin_dos\\bench_regdelkey.exe" 10000 10
