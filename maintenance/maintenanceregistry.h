#pragma once
// The window's side of registerMaintenancePage.
#include "maintenancecontext.h"

#include <string>

namespace mvx::maint {

// The factory registered for a page name; empty when none.
PageFactory findMaintenancePage(const std::string& objectName);

}  // namespace mvx::maint
