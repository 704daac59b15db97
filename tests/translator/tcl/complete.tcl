# Checks generated script texts: every file must be complete as a whole, and reading it line by
# line must close every command it opens. Prints one line per file; exit code 1 on any failure.
set failed 0
foreach path $argv {
    set f [open $path r]
    set text [read $f]
    close $f
    set pending ""
    set at 0
    set n 0
    foreach line [split $text "\n"] {
        incr n
        if {$pending eq ""} { set at $n }
        append pending $line "\n"
        if {[info complete $pending]} { set pending "" }
    }
    if {![info complete $text]} {
        puts "INCOMPLETE $path"
        set failed 1
    } elseif {[string trim $pending] ne ""} {
        puts "OPEN $path from line $at"
        set failed 1
    } else {
        puts "COMPLETE $path"
    }
}
exit $failed
