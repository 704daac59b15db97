# Runs a generated script in a child interpreter whose controller commands only log their
# arguments. Usage: run.tcl script ?pattern?
# A call whose text (command and its arguments) matches the glob pattern raises an error, as a
# refused controller call does under "catch".
# Prints "CALL <command> <args>" per controller call, then "RESULT <script result>".
set path [lindex $argv 0]
set failing [lindex $argv 1]
set child [interp create]
proc logcall {name args} {
    global failing
    set call "$name [join $args { }]"
    puts "CALL $call"
    if {$failing ne "" && [string match $failing $call]} { error "refused" }
    return 0
}
foreach cmd {GroupMoveAbsolute GroupMoveRelative GPIODigitalSet MultipleAxesPVTExecution
             PositionerSGammaParametersSet TCP_CloseSocket} {
    interp alias $child $cmd {} logcall $cmd
}
interp alias $child PositionerSGammaParametersGet {} logcall PositionerSGammaParametersGet
proc openconn {child timeout var} {
    logcall OpenConnection $timeout
    $child eval [list set ::$var 7]
    return 0
}
interp alias $child OpenConnection {} openconn $child
interp alias $child after {} logcall after
set f [open $path r]
set text [read $f]
close $f
set code [catch {$child eval $text} result]
if {$code == 1} {
    puts "TCLERROR $result"
    exit 1
}
puts "RESULT $result"
exit 0
