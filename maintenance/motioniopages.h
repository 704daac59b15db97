#pragma once
// Registers the motion pages (TSSingle, TSmultiple, TSXY, TSXYZ), the tuning pages (TSVAJ,
// TSPID) and the I/O pages (TSIO, TSIOD, TabSheet1) with the maintenance window. Call once
// before the window is created.

namespace mvx::maint {

void registerMotionTuningIoPages();

}  // namespace mvx::maint
