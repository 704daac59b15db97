#include "pagecalls.h"

#include "link/apitable.h"
#include "link/socketpool.h"
#include "translator/numtext.h"
#include "translator/texts.h"

#include <array>
#include <cmath>
#include <exception>

namespace mvx::maint {

namespace {
constexpr std::array<texts::Builtin, 28> kTexts{{
    {"stringnoconnectionmaint", "Aucune connexion avec le contrôleur n'est disponible"},
    {"stringbadreplymaint", "Réponse illisible du contrôleur : %s"},
    {"stringbadnumbermaint", "Valeur incorrecte : %s"},
    {"String_main_KVX_Stop_Read", "Arrêt lectures"},
    {"String_main_KVX_Read_Positions", "Lire positions"},
    {"String_main_kvx_name", "Nom"},
    {"String_main_kvx_Relative", "Relatif"},
    {"String_main_kvx_Absolute", "Absolu"},
    {"String_main_kvx_Jog_Speed", "Vitesse JOG"},
    {"String_main_kvx_Position", "Position"},
    {"StringPbSpeed", "Vitesse incorrecte"},
    {"stringpbaccel", "Acceleration incorrecte"},
    {"stringpbjerk", "Valeur de \"jerk\" incorrecte"},
    {"stringpbmaxjerk", "valeur de \"Jerk max\" incorrecte"},
    {"stringcorrectortype", "Type de correction :"},
    {"stringunknowncorrector", "Type de correction inconnu : %s"},
    {"stringpidnotread", "Lire d'abord le correcteur de ce positionneur : rien n'est envoyé"},
    {"stringpidbadfield", "Paramètre de correcteur incorrect : %s"},
    {"stringtoomanypositioners", "Le groupe a plus de 8 positionneurs : seuls les 8 premiers sont utilisés"},
    {"stringvoltagerange", "Tension incorrecte (de -10 à +10 V) : %s"},
    {"stringgainrange", "Gain incorrect (entier de 1 à 8) : %s"},
    {"stringpvtuploadfailed", "Le fichier PVT n'a pas pu être transféré : %s"},
    {"stringpvtuploaded", "Fichier PVT transféré : %s"},
    {"stringpvtdone", "Trajectoire PVT exécutée : %s"},
    {"stringjogstopfailed", "L'arrêt du déplacement manuel a échoué : %s"},
    {"stringgrouptoolong", "Nom de groupe trop long : %s"},
    {"stringmovefailed", "Déplacement absolu : %s"},
    {"stringpollfailed", "Lecture des E/S : %s"},
}};
}  // namespace

void registerPageTexts()
{
    static const bool done = [] {
        texts::add(texts::Family::Controller, kTexts);
        return true;
    }();
    (void)done;
}

QString Text(std::string_view key)
{
    registerPageTexts();
    return QString::fromStdString(texts::get(key));
}

QString Text(std::string_view key, const QString& arg)
{
    QString t = Text(key);
    t.replace(QStringLiteral("%s"), arg);
    return t;
}

int CallOnConnection(MaintenanceContext& ctx, double timeoutSeconds, const std::function<int(int socket)>& call)
{
    link::PooledSocket connection(ctx.controller(), timeoutSeconds);
    if (!connection) {
        ctx.log(Text("stringnoconnectionmaint"));
        return api::kErrorNoSocket;
    }
    int code = api::kErrorEmptyReply;
    try {
        code = call(connection.index());
        connection.release();
    } catch (const api::ConversionError& e) {
        connection.release();
        ctx.log(Text("stringbadreplymaint", QString::fromStdString(e.what())));
        return api::kErrorEmptyReply;
    } catch (const std::exception& e) {
        connection.release();
        ctx.log(QString::fromStdString(e.what()));
        return api::kErrorEmptyReply;
    }
    if (code != 0) ctx.log(ctx.decripte_erreur(code));
    return code;
}

bool WithConnection(MaintenanceContext& ctx, double timeoutSeconds, const std::function<void(int socket)>& work,
                    bool quiet)
{
    link::PooledSocket connection(ctx.controller(), timeoutSeconds);
    if (!connection) {
        if (!quiet) ctx.log(Text("stringnoconnectionmaint"));
        return false;
    }
    try {
        work(connection.index());
    } catch (const std::exception& e) {
        ctx.log(QString::fromStdString(e.what()));
    }
    return true;
}

std::optional<double> FieldNumber(MaintenanceContext& ctx, const QString& text, std::string_view key)
{
    const std::optional<double> v = num::parseStrict(text.toStdString());
    if (v && std::isfinite(*v)) return v;
    ctx.log(Text(key, text));
    return std::nullopt;
}

}  // namespace mvx::maint
