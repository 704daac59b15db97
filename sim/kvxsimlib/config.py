"""The controller's own configuration files: defaults written into an empty root, and the reader
that builds the groups from Config/system.ini and the stage parameters from Config/stages.ini."""

import configparser
import os

GROUP_KEYS = [
    ("SingleAxisInUse", "SingleAxis"),
    ("SpindleInUse", "Spindle"),
    ("XYInUse", "XY"),
    ("XYGantryInUse", "XYGantry"),
    ("XYZInUse", "XYZ"),
    ("MultipleAxesInUse", "MultipleAxes"),
]

DEFAULT_SYSTEM_INI = """[GENERAL]
BootScriptFileName =
BootScriptArguments =

[GROUPS]
SingleAxisInUse = GROUP3 ; one rotary axis
SpindleInUse = No stage
XYInUse = GROUP2 ; table
XYGantryInUse = No stage
XYZInUse = No stage
MultipleAxesInUse = GROUP1 ; machining axes

[GROUP1]
PositionerNumber = 3
PositionerInUse = X, Y, Z

[GROUP1.X]
PlugNumber = 1
StageName = LINEAR_300

[GROUP1.Y]
PlugNumber = 2
StageName = LINEAR_300

[GROUP1.Z]
PlugNumber = 3
StageName = LINEAR_100

[GROUP2]
PositionerNumber = 2
PositionerInUse = X, Y

[GROUP2.X]
PlugNumber = 4
StageName = LINEAR_300

[GROUP2.Y]
PlugNumber = 5
StageName = LINEAR_300

[GROUP3]
PositionerNumber = 1
PositionerInUse = T

[GROUP3.T]
PlugNumber = 6
StageName = ROTARY_360
"""

_STAGE_TEMPLATE = """[{name}]
;--- Motion
MaximumVelocity = {vmax} ;units/s
MaximumAcceleration = {amax} ;units/s2
;--- Profiler
Velocity = {vel} ;SGamma velocity
Acceleration = {acc} ;SGamma acceleration
MinimumJerkTime = 0.005 ;s
MaximumJerkTime = 0.05 ;s
;--- Travels
MinimumTargetPosition = {tmin} ;units
MaximumTargetPosition = {tmax} ;units
HomePreset = 0 ;units
;--- Corrector
CorrectorType = PIDFFVelocity ;type
KP = 100 ;gain
KI = 10 ;gain
KD = 0 ;gain
"""

STAGES = [
    dict(name="LINEAR_300", vmax=300, amax=2500, vel=50, acc=400, tmin=-1000, tmax=1000),
    dict(name="LINEAR_100", vmax=100, amax=1000, vel=20, acc=200, tmin=-500, tmax=500),
    dict(name="ROTARY_360", vmax=720, amax=5000, vel=90, acc=720, tmin=-100000, tmax=100000),
]

STAGE_DATABASE_EXTRA = [
    dict(name="LINEAR_50", vmax=50, amax=500, vel=10, acc=100, tmin=-25, tmax=25),
    dict(name="LINEAR_600", vmax=300, amax=2000, vel=50, acc=400, tmin=-300, tmax=300),
]


def _stages_text(stages):
    return "\n".join(_STAGE_TEMPLATE.format(**s) for s in stages)


def ensure_layout(root, gathering_dir):
    """Creates the folder tree and the default files that are missing; keeps whatever exists."""
    for sub in ("Config", "Public", "Public/Scripts", "Public/Trajectories", "Public/Log", gathering_dir):
        os.makedirs(os.path.join(root, sub), exist_ok=True)
    defaults = {
        "Config/system.ini": DEFAULT_SYSTEM_INI,
        "Config/stages.ini": _stages_text(STAGES),
        "Config/StageDataBase.txt": _stages_text(STAGES + STAGE_DATABASE_EXTRA),
        "Public/Log/Error.log": "",
    }
    for rel, text in defaults.items():
        path = os.path.join(root, rel)
        if not os.path.exists(path):
            with open(path, "w", newline="\r\n") as f:
                f.write(text)


def _parser(path):
    parser = configparser.RawConfigParser(strict=False, inline_comment_prefixes=None,
                                          comment_prefixes=(";", "#"), allow_no_value=True)
    parser.optionxform = str.lower
    try:
        with open(path, encoding="latin-1") as f:
            parser.read_file(f)
    except (OSError, configparser.Error):
        pass
    return parser


def _value(parser, section, key):
    for s in parser.sections():
        if s.lower() == section.lower():
            v = parser.get(s, key.lower(), fallback=None)
            return v
    return None


def split_list(value):
    """List value: comment after ";" dropped, trailing blanks , . ; removed, "No stage" means none."""
    if value is None:
        return []
    value = value.split(";", 1)[0]
    value = value.rstrip(" \t,.;")
    if not value or value == "No stage":
        return []
    return [item.replace(" ", "").replace("\t", "") for item in value.split(",") if item.strip()]


def read_system(root):
    """Returns (groups, boot) where groups is a list of (name, kind, [positioner short names],
    {short name: stage name}) and boot is (script, arguments)."""
    parser = _parser(os.path.join(root, "Config", "system.ini"))
    groups = []
    for key, kind in GROUP_KEYS:
        for name in split_list(_value(parser, "GROUPS", key)):
            positioners = split_list(_value(parser, name, "PositionerInUse"))
            if not positioners:
                count = 1 if kind in ("SingleAxis", "Spindle") else 2 if kind.startswith("XY") and kind != "XYZ" else 3
                positioners = ["X", "Y", "Z"][:count] if count > 1 else ["S"]
            stages = {}
            for p in positioners:
                stage = _value(parser, name + "." + p, "StageName")
                stages[p] = (stage or "").split(";", 1)[0].strip()
            groups.append((name, kind, positioners, stages))
    script = (_value(parser, "GENERAL", "BootScriptFileName") or "").split(";", 1)[0].strip()
    arguments = (_value(parser, "GENERAL", "BootScriptArguments") or "").split(";", 1)[0].strip()
    return groups, (script, arguments)


def read_stages(root):
    """{stage name: {key lower: float}} from stages.ini; values that are not numbers are skipped."""
    parser = _parser(os.path.join(root, "Config", "stages.ini"))
    stages = {}
    for section in parser.sections():
        values = {}
        for key, raw in parser.items(section):
            if raw is None:
                continue
            text = raw.split(";", 1)[0].strip()
            try:
                values[key] = float(text)
            except ValueError:
                values[key + "#text"] = text
        stages[section] = values
    return stages
