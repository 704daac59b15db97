"""Motion profiles in simulated time: SGamma-like point-to-point moves and PVT trajectories."""

import math


def move_time(distance, velocity, acceleration):
    """Duration of a rest-to-rest move with a trapezoidal speed profile (jerk ignored)."""
    d = abs(distance)
    if d == 0.0:
        return 0.0, 0.0
    v = max(velocity, 1e-9)
    a = max(acceleration, 1e-9)
    if d >= v * v / a:
        ta = v / a
        return d / v + ta, ta
    ta = math.sqrt(d / a)
    return 2.0 * ta, ta


class PointMove:
    """All positioners start and stop together; the slowest one sets the duration and the shape."""

    def __init__(self, starts, ends, sgammas, extra_time=0.0):
        self.starts = list(starts)
        self.ends = list(ends)
        self.duration = 0.0
        ratio = 0.5
        for s, e, g in zip(starts, ends, sgammas):
            t, ta = move_time(e - s, g[0], g[1])
            if t > self.duration:
                self.duration = t
                ratio = ta / t if t > 0 else 0.5
        self.ratio = min(max(ratio, 1e-9), 0.5)
        self.offset = extra_time  # a fixed settle time before the motion (home search)
        self.total = self.duration + extra_time

    def _shape(self, tau):
        r = self.ratio
        if tau <= 0.0:
            return 0.0, 0.0
        if tau >= 1.0:
            return 1.0, 0.0
        k = 2.0 * r * (1.0 - r)
        if tau < r:
            return tau * tau / k, 2.0 * tau / k
        if tau <= 1.0 - r:
            return (tau - r / 2.0) / (1.0 - r), 1.0 / (1.0 - r)
        u = 1.0 - tau
        return 1.0 - u * u / k, 2.0 * u / k

    def state(self, t):
        """Positions and velocities at simulated time t from the start."""
        t -= self.offset
        if self.duration <= 0.0 or t >= self.duration:
            return list(self.ends), [0.0] * len(self.ends)
        tau = max(t, 0.0) / self.duration
        s, ds = self._shape(tau)
        pos = [a + (b - a) * s for a, b in zip(self.starts, self.ends)]
        vel = [(b - a) * ds / self.duration for a, b in zip(self.starts, self.ends)]
        return pos, vel

    def targets(self):
        return list(self.ends)


class PvtError(Exception):
    def __init__(self, code, line=0):
        super().__init__(code)
        self.code = code
        self.line = line


def parse_pvt(text, axes):
    """Rows of dt followed by (displacement, end speed) per axis, blank separated; dt > 0.
    Returns a list of (dt, [(d, v), ...])."""
    rows = []
    for number, line in enumerate(text.splitlines(), 1):
        words = line.split()
        if not words:
            continue
        if len(words) != 1 + 2 * axes:
            raise PvtError("row", number)
        try:
            values = [float(w) for w in words]
        except ValueError:
            raise PvtError("row", number)
        if not all(math.isfinite(v) for v in values) or values[0] <= 0.0:
            raise PvtError("row", number)
        rows.append((values[0], [(values[1 + 2 * i], values[2 + 2 * i]) for i in range(axes)]))
    if not rows:
        raise PvtError("row", 0)
    return rows


class PvtTrajectory:
    """Cubic segments per axis: position and speed continuous, relative to the starting point."""

    def __init__(self, rows, starts, repeat=1):
        self.starts = list(starts)
        self.axes = len(starts)
        self.segments = []  # (t0, dt, [(p0, v0, B, A)])
        t = 0.0
        pos = [0.0] * self.axes
        vel = [0.0] * self.axes
        for _ in range(max(1, repeat)):
            for dt, pairs in rows:
                coeffs = []
                for i, (d, v1) in enumerate(pairs):
                    v0 = vel[i]
                    a = (dt * (v0 + v1) - 2.0 * d) / dt ** 3
                    b = (v1 - v0 - 3.0 * a * dt * dt) / (2.0 * dt)
                    coeffs.append((pos[i], v0, b, a))
                    pos[i] += d
                    vel[i] = v1
                self.segments.append((t, dt, coeffs))
                t += dt
        self.duration = t
        self.ends = [s + p for s, p in zip(self.starts, pos)]

    def state(self, t):
        if t >= self.duration:
            return list(self.ends), [0.0] * self.axes
        t = max(t, 0.0)
        lo, hi = 0, len(self.segments) - 1
        while lo < hi:
            mid = (lo + hi + 1) // 2
            if self.segments[mid][0] <= t:
                lo = mid
            else:
                hi = mid - 1
        t0, _, coeffs = self.segments[lo]
        u = t - t0
        pos = [s + p0 + v0 * u + b * u * u + a * u ** 3 for s, (p0, v0, b, a) in zip(self.starts, coeffs)]
        vel = [v0 + 2 * b * u + 3 * a * u * u for (p0, v0, b, a) in coeffs]
        return pos, vel

    def targets(self):
        return list(self.ends)

    def extrema(self):
        """Per axis: (minimum position, maximum position, maximum |speed|, maximum |acceleration|),
        positions relative to the start."""
        out = []
        for i in range(self.axes):
            pmin = pmax = 0.0
            vmax = amax = 0.0
            for _, dt, coeffs in self.segments:
                p0, v0, b, a = coeffs[i]
                times = [0.0, dt]
                if a != 0.0:
                    disc = 4 * b * b - 12 * a * v0
                    if disc >= 0:
                        r = math.sqrt(disc)
                        times += [(-2 * b + r) / (6 * a), (-2 * b - r) / (6 * a)]
                    times.append(-b / (3 * a))
                elif b != 0.0:
                    times.append(-v0 / (2 * b))
                for u in times:
                    if 0.0 <= u <= dt:
                        p = p0 + v0 * u + b * u * u + a * u ** 3
                        v = v0 + 2 * b * u + 3 * a * u * u
                        pmin, pmax = min(pmin, p), max(pmax, p)
                        vmax = max(vmax, abs(v))
                amax = max(amax, abs(2 * b), abs(6 * a * dt + 2 * b))
            out.append((pmin, pmax, vmax, amax))
        return out
