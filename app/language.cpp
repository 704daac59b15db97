#include "language.h"

#include "common.h"
#include "inifile.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QWidget>

#include <vector>

namespace mvx {
namespace {

const char* kSentinel = "XXX";
const char* kBuiltinProp = "mvxBuiltinText";

struct Registered {
    texts::Family family;
    QPointer<QWidget> window;
    bool captionOnly;
};
std::vector<Registered>& registeredWindows()
{
    static std::vector<Registered> v;
    return v;
}
std::function<void(int)> gHooks[2];

// The built-in text of an object's property, remembered at its first translation.
QString builtin(QObject* o, const char* which, const QString& current)
{
    const QByteArray prop = QByteArray(kBuiltinProp) + which;
    QVariant v = o->property(prop.constData());
    if (!v.isValid()) {
        o->setProperty(prop.constData(), current);
        return current;
    }
    return v.toString();
}

// Reading rule: a value other than "XXX" replaces the text; otherwise the built-in stays and,
// when allowed, is written back.
QString readRule(IniFile& ini, const std::string& section, const std::string& key, const QString& builtinText,
                 bool writeBack)
{
    const std::string v = ini.readString(section, key, kSentinel);
    if (v != kSentinel) return QString::fromStdString(v);
    if (writeBack) ini.writeString(section, key, builtinText.toStdString());
    return builtinText;
}

std::string name(QObject* o) { return o->objectName().toStdString(); }

void translateMenu(IniFile& ini, const std::string& win, QMenu* menu, int level)
{
    if (!menu || level > 5) return;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator() || a->objectName().isEmpty()) continue;
        const QString b = builtin(a, "text", a->text());
        a->setText(readRule(ini, "Menu", win + "-" + name(a), b, true));
        translateMenu(ini, win, a->menu(), level + 1);
    }
}

bool isRadioGroup(QObject* o) { return o->property("radioGroup").toBool(); }

bool isEditLike(QObject* o)
{
    return qobject_cast<QLineEdit*>(o) || qobject_cast<QPlainTextEdit*>(o) || qobject_cast<QTextEdit*>(o) ||
           qobject_cast<QAbstractSpinBox*>(o) || qobject_cast<QComboBox*>(o);
}

}  // namespace

std::string LanguageFilePath(texts::Family family, int n)
{
    if (family == texts::Family::Translator)
        return common().ProgramDir + ExecutableName() + "_LANGUAGE_" + std::to_string(n) + ".INI";
    return common().ProgramDir + "KVX_Language_" + std::to_string(n) + ".ini";
}

void RegisterTranslatedWindow(texts::Family family, QWidget* window, bool captionOnly)
{
    registeredWindows().push_back({family, window, captionOnly});
}

void SetLanguageHook(texts::Family family, std::function<void(int)> hook)
{
    gHooks[family == texts::Family::Translator ? 0 : 1] = std::move(hook);
}

void TranslateFormCaption(QWidget* window, IniFile& ini)
{
    const QString b = builtin(window, "title", window->windowTitle());
    window->setWindowTitle(readRule(ini, "Caption", name(window), b, true));
}

void TranslateString(IniFile& ini, const std::string& key, std::string& text)
{
    const std::string v = ini.readString("Strings", key, kSentinel);
    if (v != kSentinel) {
        text = v;
        return;
    }
    ini.writeString("Strings", key, text);
}

void TranslateForm(QWidget* window, IniFile& ini)
{
    if (!window) return;
    const std::string win = name(window);
    TranslateFormCaption(window, ini);
    const QList<QObject*> all = window->findChildren<QObject*>();
    for (QObject* o : all) {
        if (auto* bar = qobject_cast<QMenuBar*>(o)) {
            for (QAction* a : bar->actions()) {
                if (a->isSeparator() || a->objectName().isEmpty()) continue;
                const QString b = builtin(a, "text", a->text());
                a->setText(readRule(ini, "Menu", win + "-" + name(a), b, true));
                translateMenu(ini, win, a->menu(), 2);
            }
            continue;
        }
        if (auto* menu = qobject_cast<QMenu*>(o)) {
            // Menus of the menu bar are walked from the bar; a named pop-up menu on its own.
            QObject* p = menu->parent();
            if (!menu->objectName().isEmpty() && !qobject_cast<QMenu*>(p) && !qobject_cast<QMenuBar*>(p))
                translateMenu(ini, win, menu, 1);
            continue;
        }
        if (o->objectName().isEmpty() || o->objectName().startsWith("qt_")) continue;
        const std::string key = win + "-" + name(o);
        if (isRadioGroup(o)) {
            auto* group = qobject_cast<QGroupBox*>(o);
            int i = 0;
            for (QRadioButton* r : group->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) {
                const QString b = builtin(r, "text", r->text());
                r->setText(readRule(ini, "Strings", key + "-" + std::to_string(i), b, b.size() > 2));
                ++i;
            }
            const QString t = builtin(group, "text", group->title());
            group->setTitle(readRule(ini, "Caption", key, t, t.size() >= 3));
            continue;
        }
        auto* w = qobject_cast<QWidget*>(o);
        if (!w) continue;
        if (!isEditLike(o) && !(o->parent() && isRadioGroup(o->parent()))) {
            if (auto* b = qobject_cast<QAbstractButton*>(o)) {
                const QString t = builtin(b, "text", b->text());
                b->setText(readRule(ini, "Caption", key, t, t.size() >= 3));
            } else if (auto* l = qobject_cast<QLabel*>(o)) {
                const QString t = builtin(l, "text", l->text());
                l->setText(readRule(ini, "Caption", key, t, t.size() >= 3));
            } else if (auto* g = qobject_cast<QGroupBox*>(o)) {
                const QString t = builtin(g, "text", g->title());
                g->setTitle(readRule(ini, "Caption", key, t, t.size() >= 3));
            } else if (auto* tab = qobject_cast<QTabWidget*>(o)) {
                for (int i = 0; i < tab->count(); ++i) {
                    QWidget* page = tab->widget(i);
                    if (!page || page->objectName().isEmpty()) continue;
                    const QString t = builtin(page, "tab", tab->tabText(i));
                    tab->setTabText(i, readRule(ini, "Caption", win + "-" + name(page), t, t.size() >= 3));
                }
            }
        }
        const QString hint = builtin(w, "hint", w->toolTip());
        if (!hint.isEmpty()) {
            std::string h = hint.toStdString();
            TranslateString(ini, "StringHint" + name(o), h);
            w->setToolTip(QString::fromStdString(h));
        }
    }
    window->update();
}

namespace {

void loadFamily(texts::Family family, int n)
{
    // Texts of the previous language must not leak into this one's file.
    texts::restoreBuiltins(family);
    common().LanguageIndex = n;
    if (IniFile* s = SettingsIni()) s->writeInteger("MAIN", "LANGUE", n);
    IniFile ini(LanguageFilePath(family, n));
    for (const Registered& r : registeredWindows()) {
        if (r.family != family || !r.window) continue;
        if (r.captionOnly) TranslateFormCaption(r.window, ini);
        else TranslateForm(r.window, ini);
    }
    for (const std::string& key : texts::keys(family)) {
        std::string t = texts::get(key);
        TranslateString(ini, key, t);
        texts::set(key, t);
    }
    if (auto& hook = gHooks[family == texts::Family::Translator ? 0 : 1]) hook(n);
}

}  // namespace

void SetLanguage(int n) { loadFamily(texts::Family::Translator, n); }

void LoadLanguage(int n) { loadFamily(texts::Family::Controller, n); }

}  // namespace mvx
