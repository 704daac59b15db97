#include "maintenancecontext.h"

#include "maintenanceregistry.h"
#include "translator/numtext.h"

#include <map>
#include <string>

namespace mvx::maint {

GroupControlStates GroupControlsFor(std::optional<int> status)
{
    GroupControlStates c;
    if (!status) return c;
    const int s = *status;
    const bool ready = s >= 10 && s <= 17;
    c.initialize = s >= 0 && s <= 9;
    c.home = s == 42;
    c.motorBox = s > 9;
    c.motorOn = s >= 20 && s <= 34;
    c.motorOff = ready;
    c.moves = ready;
    c.jogBox = ready || s == 47;
    c.jogEnable = ready;
    c.jogDisable = s == 47;
    return c;
}

QString PositionText(double value) { return QString::fromStdString(num::fixed(value, 6, 12)); }

namespace {
std::map<std::string, PageFactory>& registry()
{
    static std::map<std::string, PageFactory> r;
    return r;
}
}  // namespace

void registerMaintenancePage(const char* objectName, PageFactory factory)
{
    if (!objectName) return;
    registry()[objectName] = std::move(factory);
}

PageFactory findMaintenancePage(const std::string& objectName)
{
    const auto it = registry().find(objectName);
    return it == registry().end() ? PageFactory{} : it->second;
}

}  // namespace mvx::maint
