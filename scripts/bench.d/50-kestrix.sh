# Kestrix.dll: RegCopyEx and RegDelKeyEX against the platform's RegCopyTreeA and RegDeleteTreeA
# on identical trees of 10,000 keys and 100,000 values. bench_kestrix loads Kestrix.dll from its
# own folder, as an installer does, and prints the times of two runs of each and the ratios.
# (About two minutes; the tree lives under HKCU of the 64-bit prefix and is removed afterwards.)
wine "$bin_dos\\bench_kestrix.exe" </dev/null | tr -d '\r'
