"""The controller's state and the meaning of its functions."""

import math
import os
import re
import threading
import time

from . import config, errors as E
from .functions import FUNCTIONS
from .motion import PointMove, PvtTrajectory, PvtError, parse_pvt

READY = range(10, 19)
NOT_INITIALISED = range(0, 10)

_NUMBER = re.compile(r"^[+-]?(\d+(\.\d*)?|\.\d+)([eE][+-]?\d+)?$")
_INTEGER = re.compile(r"^[+-]?\d+$")

DIGITAL_PORTS = {
    # model -> (inputs {name: bits}, outputs {name: bits})
    "standard": ({"GPIO1.DI": 8, "GPIO2.DI": 6, "GPIO3.DI": 6, "GPIO4.DI": 16},
                 {"GPIO1.DO": 8, "GPIO3.DO": 6, "GPIO4.DO": 16}),
    "d": ({"GPIO3.DI": 8, "GPIO5.DI": 16, "GPIO6.DI": 16},
          {"GPIO3.DO": 8, "GPIO5.DO": 16, "GPIO6.DO": 16}),
}
ANALOG_CONNECTOR = "GPIO2"
ANALOG_GAINS = (1, 2, 4, 8)

GATHERING_TYPES = ("CurrentPosition", "SetpointPosition", "FollowingError", "CurrentVelocity",
                   "SetpointVelocity", "CorrectorOutput")
EVENTS = ("Immediate", "Always", "MotionStart", "MotionEnd", "MotionState", "ConstantVelocityStart",
          "ConstantVelocityEnd", "TrajectoryStart", "TrajectoryEnd")
ACTIONS = ("GatheringRun", "GatheringOneData", "GatheringStop", "DOToggle", "DOPulse", "DOSet",
           "ExecuteTCLScript", "KillTCLScript", "MoveAbort")
GATHERING_BASE_RATE = 8000.0  # samples per second before the divisor

MODELS = {
    # model -> (firmware text, digital port set, gathering folder)
    "C": ("KVX-C Version #20410", "standard", "Public"),
    "Q": ("KVX-Q Version #30039", "standard", "Public/Gathering"),
    "D": ("KVX-D Version #40212", "d", "Public"),
    "RL": ("KVX-RL Version #50107", "d", "Public/Gathering"),
    "RLD": ("KVX-RL-D Version #60103", "standard", "Public/Gathering"),
}


def gathering_folder(model, firmware):
    if model in ("RL", "RLD"):
        return "Public/Gathering"
    if model == "Q":
        m = re.search(r"#(\d+)", firmware)
        return "Public/Gathering" if m and int(m.group(1)) > 30038 else "Public"
    return "Public"


def fmt(value):
    """Reply number text: fixed notation, no trailing zeros, never locale-dependent."""
    if isinstance(value, bool):
        return "1" if value else "0"
    if isinstance(value, int):
        return str(value)
    if not math.isfinite(value):
        return "0"
    if abs(value) < 1e-12:
        return "0"
    text = "%.12f" % value
    text = text.rstrip("0").rstrip(".")
    return "0" if text in ("-0", "") else text


class Refusal(Exception):
    def __init__(self, code):
        super().__init__(code)
        self.code = code


def as_int(text):
    if not _INTEGER.match(text):
        raise Refusal(E.WRONG_PARAMETER_TYPE)
    return int(text)


def as_float(text):
    if not _NUMBER.match(text):
        raise Refusal(E.WRONG_PARAMETER_TYPE)
    return float(text)


def as_bool(text):
    low = text.lower()
    if low in ("true", "1"):
        return True
    if low in ("false", "0"):
        return False
    raise Refusal(E.WRONG_PARAMETER_TYPE)


class Positioner:
    def __init__(self, group, short, stage):
        self.group = group
        self.short = short
        self.name = group.name + "." + short
        self.position = 0.0
        self.stage_name = stage.get("#name", "")
        self.sgamma = [stage.get("velocity", 20.0), stage.get("acceleration", 80.0),
                       stage.get("minimumjerktime", 0.005), stage.get("maximumjerktime", 0.05)]
        self.limits = [stage.get("minimumtargetposition", -1000.0), stage.get("maximumtargetposition", 1000.0)]
        self.maxima = [stage.get("maximumvelocity", 300.0), stage.get("maximumacceleration", 2500.0)]
        self.home = stage.get("homepreset", 0.0)
        self.corrector_type = stage.get("correctortype#text", "PIDFFVelocity")
        self.motion_done = [0.001, 0.001, 0.001, 0.01, 0.5]
        self.jog = [0.0, 0.0]
        self.pvt_result = None


class Group:
    def __init__(self, name, kind, positioners):
        self.name = name
        self.kind = kind
        self.positioners = positioners
        self.status = 7
        self.motion = None         # PointMove or PvtTrajectory
        self.motion_start = 0.0    # real time
        self.motion_kind = ""
        self.jog_time = 0.0
        self.verified_file = ""


class Controller:
    def __init__(self, root, model, firmware, time_scale, log):
        self.root = root
        self.model = model
        self.firmware = firmware
        self.time_scale = time_scale
        self.log = log
        self.lock = threading.RLock()
        self.changed = threading.Condition(self.lock)
        self.started = time.monotonic()
        self.gathering_dir = gathering_folder(model, firmware)
        config.ensure_layout(root, self.gathering_dir)
        inputs, outputs = DIGITAL_PORTS[MODELS[model][1]]
        self.di_bits = dict(inputs)
        self.do_bits = dict(outputs)
        self.tasks = None          # set by the owner (TCL task manager)
        self.reset_state()

    # ----- state -----------------------------------------------------------------------

    def reset_state(self):
        with self.lock:
            if getattr(self, "gathering", None) is not None:
                self.gathering["stop"].set()
            self.groups = {}
            self.positioners = {}
            group_rows, self.boot = config.read_system(self.root)
            stages = config.read_stages(self.root)
            for name, kind, shorts, stage_names in group_rows:
                group = Group(name, kind, [])
                for short in shorts:
                    stage = dict(stages.get(stage_names.get(short, ""), {}))
                    stage["#name"] = stage_names.get(short, "")
                    p = Positioner(group, short, stage)
                    group.positioners.append(p)
                    self.positioners[p.name] = p
                self.groups[name] = group
            self.di = {n: 0 for n in self.di_bits}
            self.do = {n: 0 for n in self.do_bits}
            self.adc = {"%s.ADC%d" % (ANALOG_CONNECTOR, i): 0.0 for i in range(1, 9)}
            self.dac = {"%s.DAC%d" % (ANALOG_CONNECTOR, i): 0.0 for i in range(1, 5)}
            self.gains = {n: 1 for n in self.adc}
            self.texts = [""] * 100
            self.doubles = [0.0] * 1000
            self.store = {}
            self.timers = {}
            self.events = []
            self.gathering_types = []
            self.gathering = None
            self.gathering_external = []
            self.changed.notify_all()

    def sim_time(self, real_seconds):
        return real_seconds / self.time_scale if self.time_scale > 0 else float("inf")

    def _settle(self, group, now=None):
        """Brings a group up to date: a finished motion becomes its end state, a jog advances."""
        now = time.monotonic() if now is None else now
        if group.motion is not None:
            t = self.sim_time(now - group.motion_start)
            total = getattr(group.motion, "total", group.motion.duration)
            if t >= total:
                ends = group.motion.targets()
                for p, e in zip(group.positioners, ends):
                    p.position = e
                group.status = 11 if group.motion_kind == "home" else 12
                group.motion.result = E.OK
                group.motion = None
                self.changed.notify_all()
        elif group.status == 47:
            dt = self.sim_time(now - group.jog_time)
            for p in group.positioners:
                p.position = min(max(p.position + p.jog[0] * dt, p.limits[0]), p.limits[1])
            group.jog_time = now

    def positions(self, group):
        with self.lock:
            self._settle(group)
            if group.motion is not None:
                pos, _ = group.motion.state(self.sim_time(time.monotonic() - group.motion_start))
                return pos
            return [p.position for p in group.positioners]

    def velocities(self, group):
        with self.lock:
            self._settle(group)
            if group.motion is not None:
                _, vel = group.motion.state(self.sim_time(time.monotonic() - group.motion_start))
                return vel
            if group.status == 47:
                return [p.jog[0] for p in group.positioners]
            return [0.0] * len(group.positioners)

    def status(self, group):
        with self.lock:
            self._settle(group)
            return group.status

    def _freeze(self, group, status, code):
        """Stops whatever the group does where it is."""
        self._settle(group)
        if group.motion is not None:
            pos, _ = group.motion.state(self.sim_time(time.monotonic() - group.motion_start))
            for p, v in zip(group.positioners, pos):
                p.position = v
            group.motion.result = code
            group.motion = None
        for p in group.positioners:
            p.jog = [0.0, 0.0]
        group.status = status
        self.changed.notify_all()

    def kill_all(self):
        with self.lock:
            for g in self.groups.values():
                self._freeze(g, 7, E.MOVE_INTERRUPTED)

    def _start_motion(self, group, motion, kind, status):
        motion.result = None  # set when the motion ends: 0, or the code of the kill or abort
        group.motion = motion
        group.motion_kind = kind
        group.motion_start = time.monotonic()
        group.status = status
        self.changed.notify_all()
        return motion

    def _wait_motion(self, group, motion):
        """Blocks the calling connection until the motion ends; the answer code of the move."""
        with self.lock:
            while True:
                self._settle(group)
                if motion.result is not None:
                    return motion.result
                total = getattr(motion, "total", motion.duration)
                remaining = total * self.time_scale - (time.monotonic() - group.motion_start)
                self.changed.wait(timeout=min(max(remaining, 0.001), 0.5))

    # ----- lookups ---------------------------------------------------------------------

    def group_of(self, name):
        g = self.groups.get(name)
        if g is None:
            raise Refusal(E.UNKNOWN_POSITIONER if "." in name else E.UNKNOWN_GROUP)
        return g

    def positioner_of(self, name):
        p = self.positioners.get(name)
        if p is None:
            raise Refusal(E.UNKNOWN_POSITIONER)
        return p

    def group_or_positioner(self, name):
        """(group, [positioner indices]) for a group name or a positioner name."""
        if name in self.groups:
            g = self.groups[name]
            return g, list(range(len(g.positioners)))
        p = self.positioner_of(name)
        return p.group, [p.group.positioners.index(p)]

    # ----- the call ----------------------------------------------------------------------

    def call(self, name, args, conn_id):
        """args: the request's fields, blanks trimmed. Returns (code, [fields])."""
        fn = FUNCTIONS.get(name)
        if fn is None:
            return E.UNKNOWN_FUNCTION, []
        inputs = [a for a in args if "*" not in a]
        placeholders = [a for a in args if "*" in a]
        handler = getattr(self, "f_" + name, None)
        try:
            if handler is not None and fn.inputs == ["names"]:
                return handler(args)
            if not fn.variable_inputs and len(inputs) != len(fn.inputs):
                raise Refusal(E.WRONG_PARAMETER_COUNT)
            if fn.variable_inputs and len(inputs) < len(fn.fixed_inputs):
                raise Refusal(E.WRONG_PARAMETER_COUNT)
            if not fn.variable_outputs and len(placeholders) != len(fn.outputs):
                raise Refusal(E.WRONG_PARAMETER_COUNT)
            values = self._convert(fn, inputs)
            if handler is not None:
                result = handler(*values) if not fn.variable_outputs else handler(*values, count=len(placeholders))
            else:
                result = self._generic(fn, values, placeholders)
            if result is None:
                return E.OK, []
            if isinstance(result, tuple):
                return result
            return E.OK, list(result)
        except Refusal as r:
            return r.code, []

    def _convert(self, fn, inputs):
        values = []
        kinds = list(fn.inputs)
        for i, text in enumerate(inputs):
            kind = kinds[i] if i < len(kinds) else kinds[-1]
            if kind.startswith("*"):
                kind = kind[1:]
            if kind == "I":
                values.append(as_int(text))
            elif kind == "U":
                v = as_int(text)
                if v < 0:
                    raise Refusal(E.OUT_OF_RANGE)
                values.append(v)
            elif kind in ("F", "G"):
                values.append(as_float(text))
            elif kind == "B":
                values.append(as_bool(text))
            else:
                values.append(text)
        if fn.variable_inputs:
            fixed = len(fn.fixed_inputs)
            return values[:fixed] + [values[fixed:]]
        return values

    def _check_object(self, fn, values):
        if not values or not isinstance(values[0], str) or fn.inputs[0] != "T":
            return
        obj = values[0]
        if fn.name.startswith("Positioner"):
            self.positioner_of(obj)
        elif fn.name.startswith(("Group", "MultipleAxes", "XY", "TZ", "SingleAxis", "Spindle")):
            if obj not in self.groups and obj not in self.positioners:
                raise Refusal(E.UNKNOWN_POSITIONER if "." in obj else E.UNKNOWN_GROUP)

    def _generic(self, fn, values, placeholders):
        """Functions without modelled behaviour: a Set stores its values, the matching Get returns
        them; anything else answers 0 and a default value per placeholder."""
        with self.lock:
            self._check_object(fn, values)
            key_obj = values[0] if values and isinstance(values[0], str) and fn.inputs[:1] == ["T"] else ""
            if fn.name.endswith("Set") and not placeholders:
                flat = []
                for v in values[1:] if key_obj else values:
                    flat.extend(v if isinstance(v, list) else [v])
                self.store[(fn.name[:-3], key_obj)] = flat
                return None
            stored = self.store.get((fn.name[:-3], key_obj)) if fn.name.endswith("Get") else None
            fields = []
            for i, ph in enumerate(placeholders):
                if stored is not None and i < len(stored):
                    fields.append(fmt(stored[i]) if not isinstance(stored[i], str) else stored[i])
                else:
                    fields.append("" if ph.replace(" ", "").startswith("char") else "0")
            return fields

    # ----- versions, lists, texts ------------------------------------------------------

    def f_FirmwareVersionGet(self):
        return [self.firmware]

    def f_ElapsedTimeGet(self):
        return [fmt(time.monotonic() - self.started)]

    def f_ErrorStringGet(self, code):
        return [E.error_text(code)]

    def f_GroupStatusStringGet(self, code):
        return [E.group_status_text(code)]

    def f_PositionerHardwareStatusStringGet(self, code):
        return [E.hardware_status_text(code)]

    def f_PositionerDriverStatusStringGet(self, code):
        return [E.driver_status_text(code)]

    def f_PositionerErrorStringGet(self, code):
        return [E.positioner_error_text(code)]

    def f_ObjectsListGet(self):
        with self.lock:
            names = []
            for g in self.groups.values():
                names.append(g.name)
                names.extend(p.name for p in g.positioners)
            names.extend(sorted(self.di_bits) + sorted(self.do_bits) + sorted(self.adc) + sorted(self.dac))
            return [";".join(names)]

    def f_HardwareInternalListGet(self):
        with self.lock:
            items = ["CPU", "IO_BOARD"]
            for p in self.positioners.values():
                items.append("DRV%02d:%s" % (len(items) - 1, p.stage_name or "NONE"))
            return [";".join(items)]

    def f_HardwareDriverAndStageGet(self, plug):
        with self.lock:
            plist = list(self.positioners.values())
            if not 1 <= plug <= len(plist):
                raise Refusal(E.OUT_OF_RANGE)
            return ["DRIVER_STANDARD", plist[plug - 1].stage_name or "NONE"]

    def f_APIListGet(self):
        # Names holding the reply's closing letters would end the caller's read early.
        return [";".join(n for n in sorted(FUNCTIONS) if "API" not in n)]

    def f_ErrorListGet(self):
        return [";".join("%d:%s" % (c, t) for c, t in sorted(E.ERROR_TEXTS.items()))]

    def f_GroupStatusListGet(self):
        return [";".join("%d:%s" % (c, t) for c, t in sorted(E.GROUP_STATUS_TEXTS.items()))]

    def f_GatheringListGet(self):
        with self.lock:
            return [";".join(p + "." + t for p in self.positioners for t in GATHERING_TYPES)]

    def f_EventListGet(self):
        return [";".join(EVENTS)]

    def f_ActionListGet(self):
        return [";".join(ACTIONS)]

    def f_HardwareDateAndTimeGet(self):
        return [time.strftime("%a %b %d %H:%M:%S %Y")]

    def f_CPUTemperatureAndFanSpeedGet(self):
        return ["41.5", "2800"]

    # ----- groups --------------------------------------------------------------------------

    def f_GroupStatusGet(self, name):
        with self.lock:
            return [str(self.status(self.group_of(name)))]

    def f_GroupInitialize(self, name):
        with self.lock:
            g = self.group_of(name)
            if self.status(g) not in NOT_INITIALISED:
                raise Refusal(E.NOT_ALLOWED)
            g.status = 42
            self.changed.notify_all()

    f_GroupInitializeWithEncoderCalibration = f_GroupInitialize

    def f_GroupHomeSearch(self, name):
        with self.lock:
            g = self.group_of(name)
            if self.status(g) != 42:
                raise Refusal(E.NOT_ALLOWED)
            starts = [p.position for p in g.positioners]
            ends = [p.home for p in g.positioners]
            move = PointMove(starts, ends, [p.sgamma for p in g.positioners], extra_time=0.2)
            token = self._start_motion(g, move, "home", 43)
        return self._wait_motion(g, token), []

    def f_GroupHomeSearchAndRelativeMove(self, name, values):
        with self.lock:
            if len(values) != len(self.group_of(name).positioners):
                raise Refusal(E.WRONG_PARAMETER_COUNT)
        code, _ = self.f_GroupHomeSearch(name)
        if code != E.OK:
            return code, []
        return self._move(name, values, True)

    def f_GroupKill(self, name):
        with self.lock:
            self._freeze(self.group_of(name), 7, E.MOVE_INTERRUPTED)

    def f_KillAll(self):
        self.kill_all()

    def f_GroupMoveAbort(self, name):
        with self.lock:
            g = self.group_of(name)
            self._settle(g)
            if g.motion is None:
                raise Refusal(E.NOT_ALLOWED)
            self._freeze(g, 10, E.MOVE_INTERRUPTED)

    def f_GroupMoveAbortFast(self, name, _acceleration_multiplier):
        return self.f_GroupMoveAbort(name)

    def f_GroupMotionDisable(self, name):
        with self.lock:
            g = self.group_of(name)
            if self.status(g) not in READY:
                raise Refusal(E.NOT_ALLOWED)
            g.status = 20
            self.changed.notify_all()

    def f_GroupMotionEnable(self, name):
        with self.lock:
            g = self.group_of(name)
            if self.status(g) != 20:
                raise Refusal(E.NOT_ALLOWED)
            g.status = 13
            self.changed.notify_all()

    def f_GroupJogModeEnable(self, name):
        with self.lock:
            g = self.group_of(name)
            if self.status(g) not in READY:
                raise Refusal(E.NOT_ALLOWED)
            g.status = 47
            g.jog_time = time.monotonic()
            self.changed.notify_all()

    def f_GroupJogModeDisable(self, name):
        with self.lock:
            g = self.group_of(name)
            if self.status(g) != 47:
                raise Refusal(E.NOT_ALLOWED)
            self._freeze(g, 14, 0)

    def f_GroupJogParametersSet(self, name, values):
        with self.lock:
            g = self.group_of(name)
            if len(values) != 2 * len(g.positioners):
                raise Refusal(E.WRONG_PARAMETER_COUNT)
            if self.status(g) != 47:
                raise Refusal(E.NOT_ALLOWED)
            for i, p in enumerate(g.positioners):
                v, a = values[2 * i], values[2 * i + 1]
                if abs(v) > p.maxima[0] or a < 0 or a > p.maxima[1]:
                    raise Refusal(E.OUT_OF_RANGE)
            self._settle(g)
            for i, p in enumerate(g.positioners):
                p.jog = [values[2 * i], values[2 * i + 1]]

    def f_GroupJogParametersGet(self, name, count):
        with self.lock:
            g = self.group_of(name)
            if count != 2 * len(g.positioners):
                raise Refusal(E.WRONG_PARAMETER_COUNT)
            return [fmt(x) for p in g.positioners for x in p.jog]

    f_GroupJogCurrentGet = f_GroupJogParametersGet

    def _move(self, name, values, relative):
        with self.lock:
            g = self.group_of(name)
            if len(values) != len(g.positioners):
                raise Refusal(E.WRONG_PARAMETER_COUNT)
            if self.status(g) not in READY:
                raise Refusal(E.NOT_ALLOWED)
            starts = [p.position for p in g.positioners]
            ends = [s + v for s, v in zip(starts, values)] if relative else list(values)
            for p, e in zip(g.positioners, ends):
                if not p.limits[0] <= e <= p.limits[1]:
                    raise Refusal(E.OUTSIDE_TRAVEL_LIMITS)
            token = self._start_motion(g, PointMove(starts, ends, [p.sgamma for p in g.positioners]), "move", 44)
        return self._wait_motion(g, token), []

    def f_GroupMoveAbsolute(self, name, values):
        return self._move(name, values, False)

    def f_GroupMoveRelative(self, name, values):
        return self._move(name, values, True)

    def _values_of(self, name, count, getter):
        with self.lock:
            g, indices = self.group_or_positioner(name)
            if count != len(indices):
                raise Refusal(E.WRONG_PARAMETER_COUNT)
            values = getter(g)
            return [fmt(values[i]) for i in indices]

    def f_GroupPositionCurrentGet(self, name, count):
        return self._values_of(name, count, self.positions)

    f_GroupPositionSetpointGet = f_GroupPositionCurrentGet

    def f_GroupPositionTargetGet(self, name, count):
        def targets(g):
            self._settle(g)
            return g.motion.targets() if g.motion is not None else [p.position for p in g.positioners]
        return self._values_of(name, count, targets)

    def f_GroupVelocityCurrentGet(self, name, n, count):
        if n != count:
            raise Refusal(E.WRONG_PARAMETER_COUNT)
        return self._values_of(name, count, self.velocities)

    def f_GroupCurrentFollowingErrorGet(self, name, n, count):
        if n != count:
            raise Refusal(E.WRONG_PARAMETER_COUNT)
        return self._values_of(name, count, lambda g: [0.0] * len(g.positioners))

    f_GroupAccelerationSetpointGet = f_GroupCurrentFollowingErrorGet
    f_GroupCorrectorOutputGet = f_GroupCurrentFollowingErrorGet

    # ----- positioners ------------------------------------------------------------------------

    def f_PositionerSGammaParametersGet(self, name):
        with self.lock:
            return [fmt(v) for v in self.positioner_of(name).sgamma]

    def f_PositionerSGammaParametersSet(self, name, v, a, jmin, jmax):
        with self.lock:
            p = self.positioner_of(name)
            if not (0 < v <= p.maxima[0] and 0 < a <= p.maxima[1] and 0 < jmin <= jmax):
                raise Refusal(E.OUT_OF_RANGE)
            p.sgamma = [v, a, jmin, jmax]

    def f_PositionerUserTravelLimitsGet(self, name):
        with self.lock:
            return [fmt(v) for v in self.positioner_of(name).limits]

    def f_PositionerUserTravelLimitsSet(self, name, lo, hi):
        with self.lock:
            p = self.positioner_of(name)
            if lo > hi:
                raise Refusal(E.OUT_OF_RANGE)
            p.limits = [lo, hi]

    def f_PositionerMaximumVelocityAndAccelerationGet(self, name):
        with self.lock:
            return [fmt(v) for v in self.positioner_of(name).maxima]

    def f_PositionerMotionDoneGet(self, name):
        with self.lock:
            return [fmt(v) for v in self.positioner_of(name).motion_done]

    def f_PositionerMotionDoneSet(self, name, *values):
        with self.lock:
            p = self.positioner_of(name)
            if any(v < 0 for v in values):
                raise Refusal(E.OUT_OF_RANGE)
            p.motion_done = list(values)

    def f_PositionerCorrectorTypeGet(self, name):
        with self.lock:
            return [self.positioner_of(name).corrector_type]

    def f_PositionerHardwareStatusGet(self, name):
        with self.lock:
            self.positioner_of(name)
            return ["0"]

    def _corrector_get(self, name, kind, count):
        with self.lock:
            self.positioner_of(name)
            stored = self.store.get((kind, name))
            if stored is None:
                defaults = [True, 100.0, 10.0, 0.0, 1e6] + [0.0] * (count - 4)
                stored = defaults[:count + 1]
            out = ["1" if stored[0] else "0"] + [fmt(v) for v in stored[1:]]
            while len(out) < count + 1:
                out.append("0")
            return out[:count + 1]

    def f_PositionerCorrectorPIDFFVelocityGet(self, name):
        return self._corrector_get(name, "PositionerCorrectorPIDFFVelocity", 11)

    def f_PositionerCorrectorPIDFFAccelerationGet(self, name):
        return self._corrector_get(name, "PositionerCorrectorPIDFFAcceleration", 12)

    def f_PositionerCorrectorPIDDualFFVoltageGet(self, name):
        return self._corrector_get(name, "PositionerCorrectorPIDDualFFVoltage", 13)

    def f_PositionerCorrectorPIPositionGet(self, name):
        return self._corrector_get(name, "PositionerCorrectorPIPosition", 3)

    # ----- PVT ---------------------------------------------------------------------------------

    def _trajectory(self, g, filename, repeat=1):
        if g.kind != "MultipleAxes":
            raise Refusal(E.WRONG_OBJECT_TYPE)
        path = self.safe_path("Public/Trajectories", filename)
        try:
            with open(path, encoding="latin-1") as f:
                text = f.read()
        except OSError:
            raise Refusal(E.TRAJECTORY_NOT_FOUND)
        try:
            rows = parse_pvt(text, len(g.positioners))
        except PvtError:
            raise Refusal(E.TRAJECTORY_BAD_ROW)
        starts = [p.position for p in g.positioners]
        return PvtTrajectory(rows, starts, repeat)

    def _check_trajectory(self, g, trajectory, filename):
        extrema = trajectory.extrema()
        code = E.OK
        for p, (pmin, pmax, vmax, amax) in zip(g.positioners, extrema):
            p.pvt_result = (filename, pmin, pmax, vmax, amax)
            if code == E.OK:
                if p.position + pmin < p.limits[0] or p.position + pmax > p.limits[1]:
                    code = E.TRAJECTORY_TRAVEL
                elif vmax > p.maxima[0]:
                    code = E.TRAJECTORY_VELOCITY
                elif amax > p.maxima[1]:
                    code = E.TRAJECTORY_ACCELERATION
        return code

    def f_MultipleAxesPVTVerification(self, name, filename):
        with self.lock:
            g = self.group_of(name)
            self._settle(g)
            trajectory = self._trajectory(g, filename)
            code = self._check_trajectory(g, trajectory, filename)
            g.verified_file = filename if code == E.OK else ""
            return code, []

    def f_MultipleAxesPVTVerificationResultGet(self, name):
        with self.lock:
            p = self.positioner_of(name)
            if p.pvt_result is None:
                raise Refusal(E.NOT_VERIFIED)
            filename, pmin, pmax, vmax, amax = p.pvt_result
            return [filename, fmt(pmin), fmt(pmax), fmt(vmax), fmt(amax)]

    def f_MultipleAxesPVTParametersGet(self, name):
        with self.lock:
            g = self.group_of(name)
            return [g.verified_file, "0"]

    def f_MultipleAxesPVTExecution(self, name, filename, repeat):
        with self.lock:
            g = self.group_of(name)
            if repeat < 1:
                raise Refusal(E.OUT_OF_RANGE)
            if self.status(g) not in READY:
                raise Refusal(E.NOT_ALLOWED)
            trajectory = self._trajectory(g, filename, repeat)
            code = self._check_trajectory(g, trajectory, filename)
            if code != E.OK:
                return code, []
            token = self._start_motion(g, trajectory, "pvt", 45)
        return self._wait_motion(g, token), []

    # ----- I/O -----------------------------------------------------------------------------------

    def f_GPIODigitalGet(self, name):
        with self.lock:
            if name in self.di:
                return [str(self.di[name])]
            if name in self.do:
                return [str(self.do[name])]
            raise Refusal(E.WRONG_OBJECT_TYPE)

    def f_GPIODigitalSet(self, name, mask, value):
        with self.lock:
            if name not in self.do:
                raise Refusal(E.WRONG_OBJECT_TYPE)
            width = (1 << self.do_bits[name]) - 1
            self.do[name] = ((self.do[name] & ~mask) | (value & mask)) & width

    def _analog_pairs(self, args):
        """Name, then its placeholder or its value, repeated."""
        if not args or len(args) % 2:
            raise Refusal(E.WRONG_PARAMETER_COUNT)
        return [(args[i], args[i + 1]) for i in range(0, len(args), 2)]

    def f_GPIOAnalogGet(self, args):
        with self.lock:
            out = []
            for name, ph in self._analog_pairs(args):
                if "*" not in ph:
                    raise Refusal(E.WRONG_PARAMETER_TYPE)
                if name in self.adc:
                    out.append(fmt(self.adc[name]))
                elif name in self.dac:
                    out.append(fmt(self.dac[name]))
                else:
                    raise Refusal(E.WRONG_OBJECT_TYPE)
            return E.OK, out

    def f_GPIOAnalogSet(self, args):
        with self.lock:
            updates = {}
            for name, text in self._analog_pairs(args):
                if name not in self.dac:
                    raise Refusal(E.WRONG_OBJECT_TYPE)
                v = as_float(text)
                if not -10.0 <= v <= 10.0:
                    raise Refusal(E.OUT_OF_RANGE)
                updates[name] = v
            self.dac.update(updates)
            return E.OK, []

    def f_GPIOAnalogGainGet(self, args):
        with self.lock:
            out = []
            for name, ph in self._analog_pairs(args):
                if name not in self.gains or "*" not in ph:
                    raise Refusal(E.WRONG_OBJECT_TYPE)
                out.append(str(self.gains[name]))
            return E.OK, out

    def f_GPIOAnalogGainSet(self, args):
        with self.lock:
            updates = {}
            for name, text in self._analog_pairs(args):
                if name not in self.gains:
                    raise Refusal(E.WRONG_OBJECT_TYPE)
                v = as_int(text)
                if v not in ANALOG_GAINS:
                    raise Refusal(E.OUT_OF_RANGE)
                updates[name] = v
            self.gains.update(updates)
            return E.OK, []

    # ----- global arrays, timers -------------------------------------------------------------------

    def f_GlobalArrayGet(self, index):
        with self.lock:
            if not 0 <= index < len(self.texts):
                raise Refusal(E.OUT_OF_RANGE)
            return [self.texts[index]]

    def f_GlobalArraySet(self, index, text):
        with self.lock:
            if not 0 <= index < len(self.texts):
                raise Refusal(E.OUT_OF_RANGE)
            self.texts[index] = text

    def f_DoubleGlobalArrayGet(self, index):
        with self.lock:
            if not 0 <= index < len(self.doubles):
                raise Refusal(E.OUT_OF_RANGE)
            return [fmt(self.doubles[index])]

    def f_DoubleGlobalArraySet(self, index, value):
        with self.lock:
            if not 0 <= index < len(self.doubles):
                raise Refusal(E.OUT_OF_RANGE)
            self.doubles[index] = value

    def f_TimerGet(self, name):
        with self.lock:
            return [str(self.timers.get(name, 0))]

    def f_TimerSet(self, name, value):
        with self.lock:
            if value < 0:
                raise Refusal(E.OUT_OF_RANGE)
            self.timers[name] = value

    # ----- gathering --------------------------------------------------------------------------------

    def _gathering_source(self, name):
        if name in self.adc or name in self.dac or name in self.di or name in self.do:
            return name
        base, _, kind = name.rpartition(".")
        if base in self.positioners and kind in GATHERING_TYPES:
            return name
        raise Refusal(E.UNKNOWN_GATHERING_TYPE)

    def f_GatheringConfigurationSet(self, names):
        with self.lock:
            items = [n for n in names if n]
            if not items:
                raise Refusal(E.WRONG_PARAMETER_COUNT)
            for n in items:
                self._gathering_source(n)
            self.gathering_types = items
            self.gathering = None

    def f_GatheringConfigurationGet(self):
        with self.lock:
            return [";".join(self.gathering_types)]

    def _sample(self, name):
        if name in self.adc:
            return self.adc[name]
        if name in self.dac:
            return self.dac[name]
        if name in self.di:
            return float(self.di[name])
        if name in self.do:
            return float(self.do[name])
        base, _, kind = name.rpartition(".")
        p = self.positioners[base]
        index = p.group.positioners.index(p)
        if kind in ("CurrentPosition", "SetpointPosition"):
            return self.positions(p.group)[index]
        if kind in ("CurrentVelocity", "SetpointVelocity"):
            return self.velocities(p.group)[index]
        return 0.0

    def _run_gathering(self, points, divisor):
        if not self.gathering_types:
            raise Refusal(E.GATHERING_NOT_CONFIGURED)
        if points < 1 or divisor < 1:
            raise Refusal(E.OUT_OF_RANGE)
        if self.gathering is not None:
            self.gathering["stop"].set()
        run = {"points": points, "period": divisor / GATHERING_BASE_RATE, "rows": [],
               "types": list(self.gathering_types), "stop": threading.Event()}
        self.gathering = run
        threading.Thread(target=self._gather, args=(run,), daemon=True, name="gathering").start()

    def _gather(self, run):
        start = time.monotonic()
        while not run["stop"].is_set():
            with self.lock:
                due = int(self.sim_time(time.monotonic() - start) / run["period"]) + 1
                while len(run["rows"]) < min(due, run["points"]):
                    run["rows"].append([self._sample(n) for n in run["types"]])
                if len(run["rows"]) >= run["points"]:
                    return
            run["stop"].wait(0.002)

    def f_GatheringRun(self, points, divisor):
        with self.lock:
            self._run_gathering(points, divisor)

    def f_EventAdd(self, positioner, event, event_param, action, p1, p2, p3):
        with self.lock:
            if positioner not in self.positioners and positioner not in self.groups:
                raise Refusal(E.UNKNOWN_POSITIONER)
            if event not in EVENTS or action not in ACTIONS:
                raise Refusal(E.UNKNOWN_EVENT)
            if event == "Immediate" and action == "GatheringRun":
                self._run_gathering(as_int(p1), as_int(p2))
            else:
                self.events.append((positioner, event, event_param, action, p1, p2, p3))

    def f_GatheringCurrentNumberGet(self):
        with self.lock:
            run = self.gathering
            if run is None:
                return ["0", "0"]
            return [str(len(run["rows"])), str(run["points"])]

    def f_GatheringStopAndSave(self):
        with self.lock:
            run = self.gathering
            if run is None:
                raise Refusal(E.GATHERING_NOT_RUNNING)
            run["stop"].set()
            lines = ["%s s" % fmt(run["period"]), "\t".join(run["types"])]
            for row in run["rows"]:
                lines.append("".join(fmt(v) + "\t" for v in row))
            path = os.path.join(self.root, self.gathering_dir, "Gathering.dat")
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", newline="\n") as f:
                f.write("\n".join(lines) + "\n")

    def f_GatheringReset(self):
        with self.lock:
            if self.gathering is not None:
                self.gathering["stop"].set()
            self.gathering = None
            self.gathering_types = []

    # ----- TCL and reboot ---------------------------------------------------------------------------

    def f_TCLScriptExecute(self, filename, task, arguments):
        return self.tasks.execute(filename, task, arguments, wait=False)

    def f_TCLScriptExecuteAndWait(self, filename, task, arguments):
        return self.tasks.execute(filename, task, arguments, wait=True)

    def f_TCLScriptKill(self, task):
        return self.tasks.kill(task), []

    def f_TCLScriptRunningListGet(self):
        return [";".join(self.tasks.running())]

    def f_Reboot(self):
        return None  # the API service restarts the controller once this answer is sent

    def f_CloseAllOtherSockets(self):
        return None

    def f_TestTCP(self, text):
        return [text]

    # ----- files ------------------------------------------------------------------------------------

    def safe_path(self, folder, relative):
        """A path inside root/folder; anything that climbs out is refused."""
        base = os.path.realpath(os.path.join(self.root, folder))
        rel = relative.replace("\\", "/").lstrip("/")
        path = os.path.realpath(os.path.join(base, rel))
        if path != base and not path.startswith(base + os.sep):
            raise Refusal(E.OUT_OF_RANGE)
        return path

    # ----- snapshot for the control interface --------------------------------------------------------

    def snapshot(self):
        with self.lock:
            groups = {}
            for g in self.groups.values():
                groups[g.name] = {"kind": g.kind, "status": self.status(g),
                                  "positioners": [p.name for p in g.positioners],
                                  "positions": self.positions(g)}
            return {"model": self.model, "firmware": self.firmware, "groups": groups,
                    "di": dict(self.di), "do": dict(self.do), "adc": dict(self.adc),
                    "dac": dict(self.dac), "gains": dict(self.gains),
                    "gathering_dir": self.gathering_dir}
