#pragma once
// Plugs the "Test PID", "Stages.ini", "GlobalArray" and "Site" pages into the maintenance window.
// Call once before the window is created.

namespace mvx::maint {

void registerDataPages();

}  // namespace mvx::maint
