# Deepest stack path through an app's call graph, from gcc's -fcallgraph-info=su files (.ci).
#
# usage: awk -v entries="fn1 fn2" -f stack_depth.awk obj/*.ci
#
# A function's depth is its own frame plus the deepest of its callees. Calls to functions the app
# does not define (the platform) count as 0. Prints one line per entry, fields split by \037:
#   entry <TAB> name <TAB> depth <TAB> notes <TAB> path
# with depth "-" when the entry is not defined, then one "root" line for the deepest path from a
# function that nothing in the app calls and that is not an entry: a callback the platform runs,
# or code that nothing uses yet.
# notes: d = a frame of unbounded dynamic size, i = an indirect call, r = recursion; each makes the
# depth a lower bound.

function attr(line, key,    rest) {
    if(!match(line, key ": \"[^\"]*\"")) return ""
    rest = substr(line, RSTART + length(key) + 3, RLENGTH - length(key) - 4)
    return rest
}

function add_flag(set, f) {
    return index(set, f) ? set : set f
}

function depth(n,    i, c, d, best, best_callee, f, g, k) {
    if(state[n] == 2) return memo[n]
    state[n] = 1
    best = 0
    best_callee = ""
    f = own_flags[n]
    for(i = 1; i <= ncallees[n]; i++) {
        c = callees[n, i]
        if(c == INDIRECT) { f = add_flag(f, "i"); continue }
        if(state[c] == 1) { f = add_flag(f, "r"); continue }
        d = depth(c)
        g = flags[c]
        for(k = 1; k <= length(g); k++) f = add_flag(f, substr(g, k, 1))
        if(d > best || best_callee == "") { best = d; best_callee = c }
    }
    state[n] = 2
    memo[n] = frame[n] + best
    next_on_path[n] = best_callee
    flags[n] = f
    return memo[n]
}

function path_of(n,    p) {
    p = name[n]
    while(next_on_path[n] != "") {
        n = next_on_path[n]
        p = p " > " name[n]
    }
    return p
}

BEGIN {
    INDIRECT = "\001indirect"
    SEP = "\037"
    FS = "\n"
}

FNR == 1 { tu = FILENAME }

/^node: / {
    title = attr($0, "title")
    label = attr($0, "label")
    if(!match(label, /[0-9]+ bytes \([a-z,]+\)/)) next  # declared here, defined elsewhere
    size_text = substr(label, RSTART, RLENGTH)
    key = tu SUBSEP title
    frame[key] = size_text + 0
    own_flags[key] = (size_text ~ /\(dynamic\)/) ? "d" : ""
    name[key] = title
    sub(/^.*:/, "", name[key])  # local functions are titled "<file>:<symbol>"
    if(!(title in global_def)) global_def[title] = key
    # Also by plain name, so a C++ entry ("int32_t uhf_worker_task(void*)") is found unmangled.
    plain = label
    sub(/\(.*$/, "", plain)
    sub(/^.* /, "", plain)
    if(plain != "" && !(plain in by_plain)) by_plain[plain] = key
    next
}

/^edge: / {
    nedges++
    edge_tu[nedges] = tu
    edge_src[nedges] = attr($0, "sourcename")
    edge_dst[nedges] = attr($0, "targetname")
}

END {
    for(e = 1; e <= nedges; e++) {
        src = edge_tu[e] SUBSEP edge_src[e]
        dst = edge_dst[e]
        if((edge_tu[e] SUBSEP dst) in frame) target = edge_tu[e] SUBSEP dst  # same unit first (static)
        else if(dst in global_def) target = global_def[dst]
        else if(dst == "__indirect_call") target = INDIRECT
        else continue  # outside the app
        if(seen[src, target]++) continue
        callees[src, ++ncallees[src]] = target
        if(target != INDIRECT && target != src) called[target] = 1
    }

    n_entries = split(entries, entry_list, " ")
    for(i = 1; i <= n_entries; i++) {
        e = entry_list[i]
        if(e in global_def) k = global_def[e]
        else if(e in by_plain) k = by_plain[e]
        else {
            printf "entry" SEP "%s" SEP "-" SEP SEP "\n", e
            continue
        }
        is_entry_key[k] = 1
        d = depth(k)
        printf "entry" SEP "%s" SEP "%d" SEP "%s" SEP "%s\n", e, d, flags[k], path_of(k)
    }

    best_root = ""
    for(k in frame) {
        if((k in called) || (k in is_entry_key)) continue
        d = depth(k)
        if(best_root == "" || d > best_depth || (d == best_depth && name[k] < name[best_root])) {
            best_root = k
            best_depth = d
        }
    }
    if(best_root != "")
        printf "root" SEP "%s" SEP "%d" SEP "%s" SEP "%s\n", name[best_root], best_depth, flags[best_root], path_of(best_root)
}
