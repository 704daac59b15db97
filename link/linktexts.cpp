#include "linktexts.h"

#include "apiwire.h"
#include "controller.h"
#include "translator/texts.h"

#include <QCoreApplication>
#include <QMetaObject>


namespace mvx::link {
namespace {

using texts::Builtin;

constexpr Builtin kRows[] = {
    {"stringnosocketread", "No socket usable to read position"},
    {"Stringreadposition", "Get position : "},
    {"stringnosockethome", "No socket usable for homing"},
    {"stringnosocketabsolute", "No Socket usable for absolute moving"},
    {"stringnosocketrelative", "No Socket usable for relative moving"},
    {"stringnosocketerrorstringget", "No Socket usable for"},
    {"stringerrornonidentifiee", "Erreur non identifiée code"},
    {"stringtrytofreesocket", "Try to free socket"},
    {"stringalreadyfree", "already free"},
    {"StringInuse", "In use"},
    {"stringerrorclosesocket", "impossible de fermer le socket no"},
    {"stringconnectTCPfail", "Connection des sockets...échoué"},
    {"stringconnectTCPOK", "Connection des sockets OK"},
    {"stringdisconnectfail", "Déconnection des sockets ..Echec"},
    {"stringdisconnectOK", "Déconnection des sockets ..OK"},
    {"StringLinkBadInput", "Caractère interdit dans la requête"},
};

}  // namespace

void registerTexts() { texts::add(texts::Family::Controller, kRows); }

namespace {

Reporter* reporter() { return CurrentController().reporter(); }

// On the GUI thread: at once there, posted from anywhere else.
void onGui(std::function<void()> say)
{
    auto* app = QCoreApplication::instance();
    if (app && !OnGuiThread())
        QMetaObject::invokeMethod(app, std::move(say), Qt::QueuedConnection);
    else
        say();
}

}  // namespace

void showMessage(const std::string& text)
{
    onGui([text] {
        if (Reporter* r = reporter()) r->message(text);
        else logLine(text);
    });
}

void showTimedMessage(const std::string& text, unsigned ms)
{
    onGui([text, ms] {
        if (Reporter* r = reporter()) r->timedMessage(text, ms);
        else logLine(text);
    });
}

bool askUser(const std::string& question)
{
    // A question waits for its answer: only the GUI thread asks.
    Reporter* r = reporter();
    return r && (!QCoreApplication::instance() || OnGuiThread()) && r->ask(question);
}

void showNotice(const std::string& text)
{
    onGui([text] {
        if (Reporter* r = reporter()) r->notice(text);
        else if (!text.empty()) logLine(text);
    });
}

void logLine(const std::string& text) { CurrentController().log(text); }

}  // namespace mvx::link
