#include "datapages.h"

#include "maintenancecontext.h"
#include "page_globalarray.h"
#include "page_pidtest.h"
#include "page_stages.h"

namespace mvx::maint {

void registerDataPages()
{
    registerMaintenancePage("TSAdjPID", [](MaintenanceContext& c, QWidget* p) { return new PidTestPage(c, p); });
    registerMaintenancePage("TabSheet3", [](MaintenanceContext& c, QWidget* p) { return new StagesPage(c, p); });
    registerMaintenancePage("TSGA", [](MaintenanceContext& c, QWidget* p) { return new GlobalArrayPage(c, p); });
    registerMaintenancePage("TabSheet4", [](MaintenanceContext& c, QWidget* p) { return new SitePage(c, p); });
}

}  // namespace mvx::maint
