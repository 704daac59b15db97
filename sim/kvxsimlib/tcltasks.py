"""TCL tasks: each task is a tclsh8.6 process whose controller commands go back to this
controller's own API port, so a script does exactly what the same API calls do."""

import os
import subprocess
import tempfile
import threading

from . import errors as E
from .controller import Refusal
from .functions import FUNCTIONS, PLACEHOLDER_OF

TCLSH = "/usr/bin/tclsh8.6"

_PRELUDE_HEAD = r'''
namespace eval ::kvx {
    variable address [lindex $argv 0]
    variable port [lindex $argv 1]
    variable script [lindex $argv 2]
    variable resultFile [lindex $argv 3]
    variable arguments [lindex $argv 5]
    variable channels
    array set channels {}
    variable next 0
}
set tcl_argc 0
foreach ::kvx::word [split $::kvx::arguments " ,\t"] {
    if {$::kvx::word ne ""} { incr tcl_argc; set tcl_argv($tcl_argc) $::kvx::word }
}
set argv {}
set argc 0

proc OpenConnection {timeout varName} {
    upvar 1 $varName id
    if {[catch {socket $::kvx::address $::kvx::port} ch]} { return -code -2 "" }
    fconfigure $ch -translation binary -blocking 1 -buffering none
    set n [incr ::kvx::next]
    set ::kvx::channels($n) $ch
    set id $n
    return ""
}

proc TCP_CloseSocket {id} {
    if {![info exists ::kvx::channels($id)]} { return -code -2 "" }
    catch {close $::kvx::channels($id)}
    unset ::kvx::channels($id)
    return ""
}

# Builds one request from inputs and placeholders; the output variables are named by the caller.
proc ::kvx::call {name id nin variableInputs outputs arglist} {
    if {$variableInputs} {
        set ins $arglist
        set vars {}
        set placeholders {}
    } elseif {[lindex $outputs 0] eq "*"} {
        set ins [lrange $arglist 0 [expr {$nin - 1}]]
        set vars [lrange $arglist $nin end]
        set placeholders [lrepeat [llength $vars] [lindex $outputs 1]]
    } else {
        set ins [lrange $arglist 0 [expr {$nin - 1}]]
        set vars [lrange $arglist $nin end]
        set placeholders $outputs
        if {[llength $ins] != $nin || [llength $vars] != [llength $outputs]} {
            return -code error "wrong # args: $name needs $nin inputs and [llength $outputs] output variables"
        }
    }
    tailcall ::kvx::request $name $id [concat $ins $placeholders] $vars
}

# Analog name lists: a name and its output variable, repeated.
proc ::kvx::pairsGet {name id placeholder arglist} {
    set parts {}
    set vars {}
    foreach {n v} $arglist { lappend parts $n $placeholder; lappend vars $v }
    tailcall ::kvx::request $name $id $parts $vars
}

# One request, one reply; output variables are set in the caller's frame; a non-zero code is
# the command's completion code, so [catch] gives the controller's error code.
proc ::kvx::request {name id parts vars} {
    if {![info exists ::kvx::channels($id)]} { return -code -2 "" }
    set ch $::kvx::channels($id)
    set request "$name\([join $parts ,]\)"
    if {[catch {puts -nonewline $ch "$request\n\r"; flush $ch}]} { return -code -2 "" }
    set reply ""
    while {[string first "EndOfAPI" $reply] < 0} {
        if {[catch {read $ch 1} c]} { return -code -2 "" }
        if {$c eq ""} { return -code -2 "" }
        append reply $c
    }
    set fields [split [string range $reply 0 [expr {[string first "EndOfAPI" $reply] - 2}]] ,]
    set code [lindex $fields 0]
    if {![string is integer -strict $code]} { return -code error "bad reply to $name" }
    set values [lrange $fields 1 end]
    set last [expr {[llength $vars] - 1}]
    for {set i 0} {$i <= $last} {incr i} {
        upvar 1 [lindex $vars $i] out
        if {$i == $last} {
            set out [join [lrange $values $i end] ,]
        } else {
            set out [lindex $values $i]
        }
    }
    if {$code != 0} { return -code $code "$name error $code" }
    return ""
}
'''

_PRELUDE_TAIL = r'''
set ::kvx::code [catch {uplevel #0 [list source $::kvx::script]} ::kvx::result]
if {$::kvx::code == 0 || $::kvx::code == 2} {
    set ::kvx::code 0
    if {[info exists ::tcl_argv(0)]} { set ::kvx::result $::tcl_argv(0) }
} else {
    set ::kvx::code 1
}
set ::kvx::f [open $::kvx::resultFile w]
fconfigure $::kvx::f -translation binary -encoding utf-8
puts -nonewline $::kvx::f "$::kvx::code\n$::kvx::result"
close $::kvx::f
foreach ::kvx::id [array names ::kvx::channels] { catch {close $::kvx::channels($::kvx::id)} }
exit 0
'''


def _prelude():
    lines = [_PRELUDE_HEAD]
    for fn in FUNCTIONS.values():
        nin = len(fn.fixed_inputs)
        variable_inputs = 1 if fn.variable_inputs else 0
        if fn.inputs == ["names"]:
            if fn.name.endswith("Get"):
                lines.append("proc %s {id args} { tailcall ::kvx::pairsGet %s $id {%s} $args }"
                             % (fn.name, fn.name, PLACEHOLDER_OF[fn.outputs[0][1:]]))
            else:
                lines.append("proc %s {id args} { tailcall ::kvx::call %s $id 0 1 {} $args }" % (fn.name, fn.name))
            continue
        if fn.variable_outputs:
            outputs = "* {%s}" % PLACEHOLDER_OF[fn.outputs[0][1:]]
        else:
            outputs = " ".join("{%s}" % PLACEHOLDER_OF[o] for o in fn.outputs)
        lines.append("proc %s {id args} { tailcall ::kvx::call %s $id %d %d {%s} $args }"
                     % (fn.name, fn.name, nin, variable_inputs, outputs))
    lines.append(_PRELUDE_TAIL)
    return "\n".join(lines)


class Task:
    def __init__(self, name, process, result_file):
        self.name = name
        self.process = process
        self.result_file = result_file
        self.done = threading.Event()
        self.killed = False
        self.code = E.OK
        self.answer = ""


def _clean(text):
    # A reply is one line, and its closing letters may appear nowhere else.
    return text.replace("\r", " ").replace("\n", " ").replace("API", "Api")


class TaskManager:
    def __init__(self, controller, address, api_port, log):
        self.controller = controller
        self.address = address
        self.api_port = api_port
        self.log = log
        self.lock = threading.Lock()
        self.tasks = {}
        self.workdir = tempfile.mkdtemp(prefix="kvxsim-tcl-")
        self.prelude = os.path.join(self.workdir, "prelude.tcl")
        with open(self.prelude, "w") as f:
            f.write(_prelude())
        self.counter = 0

    def execute(self, filename, name, arguments, wait):
        try:
            path = self.controller.safe_path("Public/Scripts", filename)
        except Refusal as r:
            return r.code, []
        if not os.path.isfile(path):
            return E.SCRIPT_NOT_FOUND, []
        with self.lock:
            current = self.tasks.get(name)
            if current is not None and not current.done.is_set():
                return E.TASK_NAME_IN_USE, []
            self.counter += 1
            result_file = os.path.join(self.workdir, "result-%d" % self.counter)
            process = subprocess.Popen(
                [TCLSH, self.prelude, self.address, str(self.api_port), path, result_file, name, arguments],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                cwd=os.path.dirname(path))
            task = Task(name, process, result_file)
            self.tasks[name] = task
        threading.Thread(target=self._follow, args=(task,), daemon=True, name="tcl-" + name).start()
        if not wait:
            return E.OK, []
        task.done.wait()
        if task.killed:
            return E.TASK_KILLED, []
        return task.code, [task.answer]

    def _follow(self, task):
        returncode = task.process.wait()
        try:
            with open(task.result_file, "rb") as f:
                head, _, answer = f.read().decode("utf-8", "replace").partition("\n")
            task.code = int(head)
            task.answer = _clean(answer)
            os.unlink(task.result_file)
        except (OSError, ValueError):
            task.code = E.OK if returncode == 0 else E.SCRIPT_ERROR
            task.answer = "" if returncode == 0 else "script ended with status %d" % returncode
        task.done.set()

    def kill(self, name):
        with self.lock:
            task = self.tasks.get(name)
            if task is None or task.done.is_set():
                return E.TASK_NOT_RUNNING
            task.killed = True
            task.process.kill()
        return E.OK

    def running(self):
        with self.lock:
            return [n for n, t in self.tasks.items() if not t.done.is_set()]

    def kill_all(self):
        with self.lock:
            names = [n for n, t in self.tasks.items() if not t.done.is_set()]
        for n in names:
            self.kill(n)
        for n in names:
            self.tasks[n].done.wait(2.0)

    def close(self):
        self.kill_all()
        try:
            for name in os.listdir(self.workdir):
                os.unlink(os.path.join(self.workdir, name))
            os.rmdir(self.workdir)
        except OSError:
            pass
