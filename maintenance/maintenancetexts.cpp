#include "maintenancewindow.h"

#include "translator/texts.h"

namespace mvx::maint {
namespace {

using texts::Builtin;

constexpr Builtin kRows[] = {
    {"stringpbconnect", "Probleme de connection"},
    {"stringcannotsavelog", "Impossible d'enregistrer le fichier"},
    {"stringgroupnametoolong", "Nom de groupe trop long (48 caractères au plus):"},
    {"stringversionlue", "Version lue:"},
    {"stringversionmaintenance", "Maintenance KVX Version 1.00"},
    {"stringwindowmissing", "Fenêtre absente:"},
    {"stringscriptinvalide", "Nom de script invalide"},
    {"stringtacheinvalide", "Nom de tâche invalide"},
    {"stringrunning", " running"},
    {"stringinvalidposwindow", " is not a valid value for Position window"},
    {"stringinvalidvelwindow", " is not a valid value for velocity window"},
    {"stringinvalidchecktime", " is not a valid value for Checking Time"},
    {"stringinvalidmeanperiod", " is not a valid value for Mean Period"},
    {"stringinvalidtimeout", " is not a valid value for Time Out"},
    {"stringnosocketmaintenance", "Pas de connexion libre avec le contrôleur"},
};

}  // namespace

void registerMaintenanceTexts() { texts::add(texts::Family::Controller, kRows); }

}  // namespace mvx::maint
