// The message keys of the two language-file families, in the order a load reads them, and the
// built-in texts of the keys that no window of this program shows (they are read and written
// all the same, so a language file holds every key a translator expects).
#include "language.h"

namespace mvx {
namespace {

const std::vector<std::string_view> kTranslatorKeys = {
    "Message2", "Message46", "Message47", "Message48", "Message73", "Message74", "Message145",
    "stringtoolinactive", "stringtoolactive", "Stringonetcland", "stringPVTcreated", "stringnode",
    "stringarrows", "Stringpositionspeed", "Stringnewspeed", "stringworkspeed", "stringprecision",
    "stringnbdigit", "stringtrajectory", "Stringmaxangdis", "stringacceleration", "stringangularstep",
    "stringfilesavedinPC", "stringfileloaded", "stringtostart", "stringrun", "stringscript", "stringou",
    "stringclickon", "stringbutton", "stringscriptexecuted", "stringresult", "stringtargetcone",
    "stringerroron", "stringfile", "stringstrangeerror", "StringPVTsucces", "StringPVTfault", "stringcenter",
    "stringBegin", "stringend", "stringruntrajnumb", "stringroutinechangespeed", "stringchangeoutputM",
    "stringmovrelative", "stringincoherenceline", "stringloadingTCL", "stringloadingfile", "stringinKVX",
    "Stringline", "stringBeginprogram", "stringErreur", "stringkvxnotconfigured", "Stringinitinuse",
    "Stringeffacementinuse", "Stringloadinginuse", "Stringdrawinginuse", "stringlecturecodeurs",
    "stringrefreshperiod", "stringcreatingTCL", "stringcreatingSCT", "stringnbdigitPVT", "Stringtempo",
    "Stringerreurnomaxe", "StringAxesColors", "StringError", "StringAxis", "StringPosmin", "StringPosmax",
    "StringVitmax", "StringAccmax", "StringXextrema", "StringXlimit", "StringYextrema", "StringYlimit",
    "StringZextrema", "StringZlimit", "StringMath01", "StringMath02", "StringMath03", "StringMath04",
    "StringMath05", "StringMath06", "StringMath07", "StringMath08", "StringMath09", "StringMath11",
    "StringMath12", "StringMath13", "StringMath100", "StringMath101", "StringMath102", "StringMath103",
    "StringMath104", "StringMouvementZimpossible", "StringImpossibledecharger",
    "StringImpossibledecomvertir", "StringImpossibledexecuter", "Stringgraved",
};

const std::vector<std::string_view> kControllerKeys = {
    "StringKVXnotFound", "String_main_KVX_Stop_Read", "String_main_KVX_Read_Positions",
    "String_main_kvx_name", "String_main_kvx_Relative", "String_main_kvx_Absolute",
    "String_main_kvx_Jog_Speed", "String_main_kvx_Position", "String_main_KVX_input_kvx_upload",
    "String_main_KVX_input_filename", "String_main_KVX_message_file_exist_overwrite", "stringreboot",
    "StringQreboot", "StringWaitReboot", "Stringreadposition", "stringcorrectortype", "stringpbduration",
    "stringpbperiode", "Stringtoomuchmeasure", "StringPbSpeed", "stringpbaccel", "stringpbjerk",
    "stringpbmaxjerk", "stringerrorparamposv", "stringerrorparamper", "stringerrorparamspeed",
    "stringerrorparamduration", "stringerrorparamlength", "stringpbnf1", "stringpbnb1", "stringpbng1",
    "stringpbnf2", "stringpbnb2", "stringpbng2", "stringpbconnectadre", "stringpositionwindowerror",
    "stringvelocitywindowerror", "stringcheckingtimeerror", "stringmeabperioderror", "stringtimeouterror",
    "stringerrorreboot", "stringnosocketreboot", "stringnosocketerrorstringget", "stringnosocketjog",
    "stringnosocketrelative", "stringnosocketabsolute", "stringnosocketinit", "stringnosocketread",
    "stringnosockethome", "Stringenablejog", "Stringvalue", "stringerrorKVXlong", "Stringrelirestageini",
    "stringtrytoconnectto", "stringparamincorrect", "StringFichierModif", "String_bitbtn1_connect",
    "String_bitbtn1_disconnect", "String_ftp_kvx_input_upload", "String_ftp_kvx_input_filename",
    "String_ftp_Transaction_Start", "stringindentation", "Stringnbspaces", "stringbeforesave",
    "stringwhatname", "stringTCLcourt", "stringORMIXconfig", "stringdirectory", "stringbackupdelay",
    "stringtclboot", "stringnbreplaced", "stringdestryTCL", "stringfnotfound", "HeaderNomTCL",
    "HeadertailleTCL", "HeadertypeTCL", "HeaderFichiermodifie", "Headergroupe", "Headerutilisateur",
    "Headerattributs", "FilterComboboX1", "stringerrorclosesocket", "stringnoKVX", "stringKVXnotfoundatadr",
    "stringKVXfoundatadr", "stringconnectTCPfail", "stringconnectTCPOK", "stringdisconnectfail",
    "stringdisconnectOK", "stringdisconnectFTPFAil", "stringdisconnectFTPOK", "stringpbtelnet",
    "stringtelnetok", "stringkeyboarderror", "stringping", "stringtelnetfail", "stringdisconnecttelnetfail",
    "stringdisconnecttelnetOK", "stringconnectFTPFAil", "stringconnectFTPOK", "stringrebootKVX",
    "stringpbconnect", "stringerrornonidentifiee", "stringdisablefail", "stringenablefail",
    "stringnameTCLfail", "stringnametaskTCLfail", "stringrecupere", "StringDLL", "StringRecente",
    "StringRemplacer", "StringNewDll", "StringAncienneDll", "StringEffaceTexte", "string_impossible_creer",
    "stringcanreboot", "StringRepScriptInaccessible", "stringgatheringreferror", "stringIPadress",
    "StringErreurRS232", "StringErreurDCB", "StringErreurEnProgrammation", "StringFermerProgramme",
    "stringlogininconnu", "StringLasterror", "StringDelete", "StringproblemalongInit",
    "StringalongKillGroup", "StringInuse", "stringversionincorrecte", "stringnom", "stringchar",
    "stringnotallowedhere", "stringtrytofreesocket", "stringalreadyfree", "stringdoitnow", "Stringscript",
    "stringIntrouvable", "Stringremove", "stringname", "Stringimpossibledesupprimer", "StringTableau",
    "Stringnbcolonnes", "Stringnblignes", "Stringtaillecellules", "stringpasrafraichir",
    "stringpaselementsuivant", "stringpaselementprecedent", "stringcannotopen",
};

// Message variables that the language files carry but that no window of this program shows.
constexpr texts::Builtin kTranslatorUnshown[] = {
    {"Message2", ""},
    {"Message46", ""},
    {"Message47", ""},
    {"Message48", ""},
    {"Message73", ""},
    {"Message74", ""},
    {"Message145", ""},
    {"stringfilesavedinPC", "File saved in PC"},
    {"stringtostart", "to start"},
    {"stringscript", "script"},
    {"stringou", "or"},
    {"stringclickon", "click on"},
    {"stringbutton", "button"},
    {"stringerroron", "Error on"},
    {"stringstrangeerror", "Strange error"},
    {"StringPVTfault", "\"PVT\" file fault"},
    {"stringErreur", "Erreur"},
};

constexpr texts::Builtin kControllerUnshown[] = {
    {"String_main_KVX_input_kvx_upload", "Load File in KVX"},
    {"String_main_KVX_input_filename", "Name of file?"},
    {"String_main_KVX_message_file_exist_overwrite", "File already exists. Overwrite it?"},
    {"stringreboot", "Reboot"},
    {"StringQreboot", "Reboot the KVX?"},
    {"stringpbnf1", "Incorrect notch frequency 1"},
    {"stringpbnb1", "Incorrect notch bandwidth 1"},
    {"stringpbng1", "Incorrect notch gain 1"},
    {"stringpbnf2", "Incorrect notch frequency 2"},
    {"stringpbnb2", "Incorrect notch bandwidth 2"},
    {"stringpbng2", "Incorrect notch gain 2"},
    {"stringnosocketjog", "No socket usable for jog"},
    {"stringnosocketinit", "No socket usable for init"},
    {"Stringenablejog", "Enable jog"},
    {"stringerrorKVXlong", "KVX error"},
    {"stringparamincorrect", "Incorrect parameter"},
    {"String_bitbtn1_connect", "Connect"},
    {"String_bitbtn1_disconnect", "Disconnect"},
    {"String_ftp_Transaction_Start", "Transaction start"},
    {"stringnbreplaced", "occurrences replaced"},
    {"stringdisablefail", "Disable failed"},
    {"stringenablefail", "Enable failed"},
    {"stringrecupere", "Recovered"},
    {"StringDLL", "DLL"},
    {"StringRecente", "Recent"},
    {"StringRemplacer", "Replace"},
    {"StringNewDll", "New DLL"},
    {"StringAncienneDll", "Old DLL"},
    {"stringcanreboot", "The KVX can be rebooted"},
    {"stringIPadress", "IP address"},
    {"StringErreurRS232", "Erreur RS232"},
    {"StringErreurDCB", "Erreur DCB"},
    {"StringErreurEnProgrammation", "Erreur en programmation"},
    {"StringFermerProgramme", "Fermer le programme"},
    {"stringlogininconnu", "Login inconnu"},
    {"StringLasterror", "Last error"},
    {"StringproblemalongInit", "Problem during init"},
    {"StringalongKillGroup", "during KillGroup"},
    {"stringversionincorrecte", "Version incorrecte"},
    {"stringchar", "character"},
    {"stringnotallowedhere", "Not allowed here"},
    {"stringdoitnow", "Do it now?"},
    {"stringname", "name"},
    {"StringTableau", "Array"},
    {"Stringnbcolonnes", "Number of columns"},
    {"Stringnblignes", "Number of lines"},
    {"Stringtaillecellules", "Cell size"},
};

}  // namespace

const std::vector<std::string_view>& KnownLanguageKeys(texts::Family family)
{
    return family == texts::Family::Translator ? kTranslatorKeys : kControllerKeys;
}

std::span<const texts::Builtin> UnshownLanguageTexts(texts::Family family)
{
    if (family == texts::Family::Translator) return kTranslatorUnshown;
    return kControllerUnshown;
}

}  // namespace mvx
