# awk -v shape=NAME -v mb=SIZE -f regscript-shapes.awk: a REGEDIT4 registry script of about
# SIZE MB (CR LF lines) in one of the shapes TRANSLATEPATH must handle in linear time:
#   export     a large product export: thousands of sibling keys each with three sub-keys, one
#              key with four values per sibling, the siblings' sections repeated later in lower
#              case, "[WINDIR]" paths and 60-byte hex values continued over three lines
#   fanout     wide fan-out: class keys under one parent, each with three sub-keys
#   deep       chains of keys 900 levels deep, key paths of about 8,000 bytes
#   values     one key with all the values (string, dword, hex, "[WINDIR]" path)
#   smallkeys  many small keys with one value each, 500 under each parent
#   case       every section three times: as written, in lower case, in upper case
#   continued  8 KB hex values, each continued over 330 lines
function hex(n, seed,   s, i) {
    s = ""
    for (i = 0; i < n; i++) s = s sprintf("%02x,", (i * 37 + seed) % 256)
    return s
}
# A hex value of 60 bytes continued over three indented lines, as an export writes one.
function blob(name) {
    return name "=hex:" H20 "\\\r\n  " H20 "\\\r\n  " H20 "\\\r\n  00\r\n"
}
function sec(path) { return "\r\n[" path "]\r\n" }
function windir(name, rest) { return name "=\"[WINDIR]\\\\" rest "\"\r\n" }
function emit(s) { printf "%s", s; written += length(s) }
# The units of each shape; count(unit) is the number that makes the target size.
function count(one) { return int(target / length(one)) + 1 }

function export_sibling(k, pass,   base, key, s, n) {
    base = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\Components"
    key = base sprintf("\\Component%06d", k)
    s = sec(key) windir("\"Path" pass "\"", sprintf("System32\\\\comp%d.dll", k)) blob("\"Blob" pass "\"")
    for (n = 1; n <= 3; n++)
        s = s sec(key "\\Sub" n) windir("\"File" pass "\"", sprintf("Temp\\\\f%d_%d.dat", k, n)) blob("\"Data" pass "\"")
    return pass ? tolower(s) : s
}
function export_value(v) {
    if (v % 4 == 0) return windir(sprintf("\"Value%06d\"", v), sprintf("Temp\\\\value%d.dat", v))
    return blob(sprintf("\"Value%06d\"", v))
}
function fanout_sibling(k,   key) {
    key = sprintf("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{%08X-5D1A-4C2B-9E3F-%012d}", k * 2654435761 % 4294967296, k)
    return sec(key) sprintf("@=\"Component %d\"\r\n", k) \
        sec(key "\\InprocServer32") windir("@", sprintf("System32\\\\comp%d.dll", k)) "\"ThreadingModel\"=\"Apartment\"\r\n" \
        sec(key "\\ProgID") sprintf("@=\"Vendor.Component.%d\"\r\n", k) \
        sec(key "\\Version") "@=\"1.0\"\r\n"
}
# A chain of keys 900 levels deep (key paths of about 9,000 bytes), a section every 9 levels.
function deep_chain(c,   path, s, d) {
    path = sprintf("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Deep\\Chain%05d", c)
    s = ""
    for (d = 1; d <= 900; d++) {
        path = path sprintf("\\Level%03d", d)
        if (d % 9 == 0) s = s sec(path) windir("\"Path\"", sprintf("Deep\\\\%d\\\\%d.dat", c, d))
    }
    return s
}
function values_value(v,   r) {
    r = v % 4
    if (r == 0) return windir(sprintf("\"Value%07d\"", v), sprintf("Temp\\\\value%d.dat", v))
    if (r == 1) return sprintf("\"Value%07d\"=dword:%08x\r\n", v, v)
    if (r == 2) return sprintf("\"Value%07d\"=\"Setting number %d\"\r\n", v, v)
    return sprintf("\"Value%07d\"=hex:%s00\r\n", v, H8)
}
function small_key(k) {
    return sec(sprintf("HKEY_CURRENT_USER\\Software\\Vendor\\Product\\Items\\Group%04d\\Item%06d", int(k / 500), k)) \
        sprintf("\"Value\"=\"item %d\"\r\n", k)
}
function case_key(k, pass,   s) {
    s = sec(sprintf("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Settings\\Key%06d\\Options", k)) \
        windir(sprintf("\"Path%d\"", pass), sprintf("Temp\\\\k%d.dat", k)) blob(sprintf("\"Data%d\"", pass))
    return pass == 1 ? tolower(s) : pass == 2 ? toupper(s) : s
}
# Values of 8 KB spread over 330 continued lines each.
function continued_key(k,   s, l) {
    s = sec(sprintf("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Blobs\\Blob%06d", k)) windir("\"Path\"", sprintf("Blobs\\\\%d.bin", k))
    s = s "\"Data\"=hex:"
    for (l = 0; l < 330; l++) s = s H25 "\\\r\n  "
    return s "00\r\n"
}

BEGIN {
    target = mb * 1048576
    H8 = hex(8, 1); H20 = hex(20, 3); H25 = hex(25, 7)
    emit("REGEDIT4\r\n")
    if (shape == "export") {
        n = int(target / (length(export_sibling(1, 0)) * 2 + 4 * length(export_value(3)))) + 1
        for (k = 1; k <= n; k++) emit(export_sibling(k, 0))
        emit(sec("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\Values"))
        for (v = 1; v <= 4 * n; v++) emit(export_value(v))
        for (k = 1; k <= n; k++) emit(export_sibling(k, 1))
    } else if (shape == "fanout") {
        n = count(fanout_sibling(1)); for (k = 1; k <= n; k++) emit(fanout_sibling(k))
    } else if (shape == "deep") {
        n = count(deep_chain(1)); for (k = 1; k <= n; k++) emit(deep_chain(k))
    } else if (shape == "values") {
        emit(sec("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Product\\Values"))
        n = count(values_value(1) values_value(2) values_value(3) values_value(4)) * 4
        for (v = 1; v <= n; v++) emit(values_value(v))
    } else if (shape == "smallkeys") {
        n = count(small_key(1)); for (k = 1; k <= n; k++) emit(small_key(k))
    } else if (shape == "case") {
        n = int(target / (3 * length(case_key(1, 0)))) + 1
        for (pass = 0; pass < 3; pass++) for (k = 1; k <= n; k++) emit(case_key(k, pass))
    } else if (shape == "continued") {
        n = count(continued_key(1)); for (k = 1; k <= n; k++) emit(continued_key(k))
    }
}
