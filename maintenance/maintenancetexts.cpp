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
    {"stringnameTCLfail", "Nom de script invalide"},
    {"stringnametaskTCLfail", "Nom de tâche invalide"},
    {"stringrunning", " running"},
    {"stringpositionwindowerror", " is not a valid value for Position window"},
    {"stringvelocitywindowerror", " is not a valid value for velocity window"},
    {"stringcheckingtimeerror", " is not a valid value for Checking Time"},
    {"stringmeabperioderror", " is not a valid value for Mean Period"},
    {"stringtimeouterror", " is not a valid value for Time Out"},
    {"stringnosocketmaintenance", "Pas de connexion libre avec le contrôleur"},
};

}  // namespace

void registerMaintenanceTexts() { texts::add(texts::Family::Controller, kRows); }

}  // namespace mvx::maint
