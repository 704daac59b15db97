// Built-in texts of the file transfer, the detection and the start-up connection.
#include "transfer.h"

#include "translator/texts.h"

#include <mutex>

namespace mvx::link {
namespace {

using texts::Builtin;

constexpr Builtin kRows[] = {
    {"stringconnectFTPOK", "Connection FTP ..OK"},
    {"stringconnectFTPFAil", "Connection FTP ..Echec"},
    {"stringnoKVX", "KVX non accessible"},
    {"StringKvxSeenAs", "KVX vu comme"},
    {"StringCopyRefused", "Le parametrage du logiciel ne permet pas la copie des fichiers avec ce KVX"},
    {"stringdisconnectFTPFAil", "Déconnection FTP ..Echec"},
    {"stringdisconnectFTPOK", "Déconnection FTP ..OK"},
    {"StringGetFileFailed", "Echec du téléchargement de"},
    {"StringPutFileFailed", "Echec de l'envoi de"},
    {"StringFolderFailed", "Dossier du KVX inaccessible :"},
    {"stringping", "\"Ping\" de l'adresse:"},
    {"stringKVXnotfoundatadr", "ALERTE: KVX non trouvé à l'adresse"},
    {"stringKVXfoundatadr", "KVX connecté à l'adresse!!!"},
    {"StringIcmpNotAvailable", "Echo ICMP non disponible sur ce système"},
    {"StringKvxTypeQnx", "KVX type QNX"},
    {"StringKvxTypeD", "KVX type D"},
    {"StringKvxTypeRL", "KVX type RL"},
    {"StringKvxTypeRLD", "KVX type RL-D"},
    {"StringKvxTypeC", "KVX type C"},
    {"StringKvx", "KVX"},
    {"StringDetected", " detected"},
    {"StringKVXnotFound", "KVX not detected"},
    {"StringRebootCaption", "PARAMETRAGE"},
    {"StringWaitReboot", "Temporisation au reboot ( en ms) : "},
    {"StringPcMac", "PC MAC Adress : "},
    {"stringtrytoconnectto", "Try to connect to"},
    {"StringBadReply", "Réponse KVX anormale"},
    {"stringpbconnectadre", "Impossible de se connecter à cette adresse"},
    {"StringKvxMac", "KVX MAC Addr : "},
    {"StringQuietSimulation", "Contrôleur non détecté : mode simulation"},
    {"StringHostKeyChanged", "ATTENTION : la clé SSH du contrôleur a changé. Un autre appareil se fait peut-être passer pour lui à l'adresse"},
    {"StringHostKeyKnown", "Clé connue :"},
    {"StringHostKeyOffered", "Clé reçue :"},
    {"StringHostKeyAccept", "Accepter cette clé pour cette session seulement ? (elle n'est pas enregistrée)"},
    {"StringHostKeyRefused", "Connexion SFTP refusée : clé SSH du contrôleur inconnue à l'adresse"},
    {"StringHostKeyFile", "Clés connues :"},
};

}  // namespace

void registerTransferTexts()
{
    static std::once_flag once;
    std::call_once(once, [] { texts::add(texts::Family::Controller, kRows); });
}

}  // namespace mvx::link
