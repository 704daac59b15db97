"""Error codes and the texts behind ErrorStringGet and the other *StringGet functions.

No text holds a comma or the three letters that close a reply.
"""

OK = 0
SCRIPT_ERROR = 1
NO_REPLY = -2
UNKNOWN_FUNCTION = -3
BAD_FORMAT = -7
WRONG_OBJECT_TYPE = -8
WRONG_PARAMETER_COUNT = -9
WRONG_PARAMETER_TYPE = -10
OUT_OF_RANGE = -17
UNKNOWN_POSITIONER = -18
UNKNOWN_GROUP = -19
NOT_ALLOWED = -22
TASK_KILLED = -26
MOVE_INTERRUPTED = -27
GATHERING_NOT_CONFIGURED = -30
GATHERING_NOT_RUNNING = -31
OUTSIDE_TRAVEL_LIMITS = -35
SCRIPT_NOT_FOUND = -60
TRAJECTORY_NOT_FOUND = -61
TRAJECTORY_BAD_ROW = -62
TASK_NAME_IN_USE = -63
TASK_NOT_RUNNING = -64
TRAJECTORY_VELOCITY = -66
TRAJECTORY_ACCELERATION = -67
TRAJECTORY_TRAVEL = -68
NOT_VERIFIED = -69
UNKNOWN_EVENT = -70
UNKNOWN_GATHERING_TYPE = -71
INTERNAL = -100

ERROR_TEXTS = {
    OK: "Successful command",
    SCRIPT_ERROR: "TCL script error",
    -1: "Busy socket: a command is still running on this connection",
    NO_REPLY: "TCP timeout: no reply from the controller",
    UNKNOWN_FUNCTION: "Unknown function name",
    BAD_FORMAT: "Wrong format of the command text",
    WRONG_OBJECT_TYPE: "Wrong object type for this command",
    WRONG_PARAMETER_COUNT: "Wrong number of parameters in the command",
    WRONG_PARAMETER_TYPE: "Wrong parameter type in the command",
    OUT_OF_RANGE: "Parameter out of range or incorrect",
    UNKNOWN_POSITIONER: "Positioner name does not exist",
    UNKNOWN_GROUP: "Group name does not exist",
    NOT_ALLOWED: "Action not allowed in the current group state",
    TASK_KILLED: "TCL script task killed",
    MOVE_INTERRUPTED: "Motion interrupted by a kill or an abort",
    GATHERING_NOT_CONFIGURED: "Gathering not configured",
    GATHERING_NOT_RUNNING: "Gathering not running",
    OUTSIDE_TRAVEL_LIMITS: "Target position outside the user travel limits",
    SCRIPT_NOT_FOUND: "TCL script file not found",
    TRAJECTORY_NOT_FOUND: "Trajectory file not found",
    TRAJECTORY_BAD_ROW: "Trajectory file: a row has a wrong format or a duration not above zero",
    TASK_NAME_IN_USE: "TCL task name already in use",
    TASK_NOT_RUNNING: "TCL task not running",
    TRAJECTORY_VELOCITY: "Trajectory above the positioner maximum velocity",
    TRAJECTORY_ACCELERATION: "Trajectory above the positioner maximum acceleration",
    TRAJECTORY_TRAVEL: "Trajectory outside the user travel limits",
    NOT_VERIFIED: "No verified trajectory for this positioner",
    UNKNOWN_EVENT: "Event or action name unknown",
    UNKNOWN_GATHERING_TYPE: "Gathering data type unknown",
    INTERNAL: "Internal controller error",
}


def error_text(code):
    return ERROR_TEXTS.get(code, "Unknown error code %d" % code)


GROUP_STATUS_TEXTS = {
    0: "Not initialized state",
    7: "Not initialized state",
    10: "Ready state after an abort",
    11: "Ready state from homing",
    12: "Ready state from motion",
    13: "Ready state from motion enable",
    14: "Ready state from jogging",
    20: "Disabled state",
    42: "Not referenced state",
    43: "Homing state",
    44: "Moving state",
    45: "Trajectory state",
    47: "Jogging state",
}


def group_status_text(status):
    return GROUP_STATUS_TEXTS.get(status, "Unknown group status %d" % status)


HARDWARE_STATUS_BITS = [
    (0x1, "General inhibition detected"),
    (0x4, "ZM high level"),
    (0x100, "Minus end of run activated"),
    (0x200, "Plus end of run activated"),
    (0x400, "Minus end of run glitch"),
    (0x800, "Plus end of run glitch"),
    (0x100000, "Driver in fault"),
]


def hardware_status_text(code):
    if code == 0:
        return "Hardware OK"
    words = [text for bit, text in HARDWARE_STATUS_BITS if code & bit]
    return " / ".join(words) if words else "Unknown hardware status %d" % code


def driver_status_text(code):
    return "Driver OK" if code == 0 else "Driver fault %d" % code


def positioner_error_text(code):
    return "No error" if code == 0 else "Positioner error %d" % code
