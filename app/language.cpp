#include "language.h"

#include "core/common.h"
#include "dialogs.h"
#include "core/inifile.h"
#include "core/programsettings.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

#include <algorithm>
#include <set>

namespace mvx {

std::span<const texts::Builtin> UnshownLanguageTexts(texts::Family family);  // languagekeys.cpp

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

struct Hook {
    texts::Family family;
    QPointer<QObject> owner;
    bool owned;
    std::function<void(int)> fn;
};
std::vector<Hook>& hooks()
{
    static std::vector<Hook> v;
    return v;
}
std::function<void(int)> gMainHooks[2];

struct BuiltinHook {
    QPointer<QWidget> window;
    std::function<void(int)> fn;
};
std::vector<BuiltinHook>& builtinHooks()
{
    static std::vector<BuiltinHook> v;
    return v;
}

int familyIndex(texts::Family f) { return f == texts::Family::Translator ? 0 : 1; }

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

void rememberBuiltin(QObject* o, const char* which, const QString& text)
{
    o->setProperty((QByteArray(kBuiltinProp) + which).constData(), text);
}

const char* kAutoNameProp = "mvxName";

// A component's name: its object name, or the name the language walk gave it.
std::string name(const QObject* o)
{
    if (!o->objectName().isEmpty()) return o->objectName().toStdString();
    return o->property(kAutoNameProp).toString().toStdString();
}

// A menu item is known by its own name, a sub-menu item also by the sub-menu's name.
std::string actionName(const QAction* a)
{
    if (!a->objectName().isEmpty()) return a->objectName().toStdString();
    if (a->menu() && !a->menu()->objectName().isEmpty()) return a->menu()->objectName().toStdString();
    return name(a);
}

bool isRadioGroup(const QObject* o) { return o->property("radioGroup").toBool() && qobject_cast<const QGroupBox*>(o); }

// A tool button that shows an action: the action carries the text.
bool isActionView(const QObject* o)
{
    auto* b = qobject_cast<const QToolButton*>(o);
    return b && b->defaultAction();
}

bool isEditLike(const QObject* o)
{
    return qobject_cast<const QLineEdit*>(o) || qobject_cast<const QPlainTextEdit*>(o) ||
           qobject_cast<const QTextEdit*>(o) || qobject_cast<const QAbstractSpinBox*>(o) ||
           qobject_cast<const QComboBox*>(o);
}

// Components created without a name get one, as a form designer would give it: the class's
// prefix and the first free number of the window ("Label3"), or for a menu item its caption's
// letters and a number ("Ouvrir1"). Names follow the creation order, so they are stable.
class AutoNamer {
public:
    explicit AutoNamer(QWidget* window) : mWindow(window) {}

    void run()
    {
        collect(mWindow);
        for (auto& [o, prefix] : mUnnamed) {
            int n = 1;
            QString candidate;
            do candidate = prefix + QString::number(n++);
            while (mUsed.count(candidate.toLower().toStdString()));
            mUsed.insert(candidate.toLower().toStdString());
            o->setProperty(kAutoNameProp, candidate);
        }
    }

private:
    void note(QObject* o, const QString& prefix)
    {
        const QString n = o->objectName().isEmpty() ? o->property(kAutoNameProp).toString() : o->objectName();
        if (!n.isEmpty()) mUsed.insert(n.toLower().toStdString());
        else mUnnamed.emplace_back(o, prefix);
    }

    void action(QAction* a, int level)
    {
        if (a->isSeparator() || level > 5) return;
        if (a->objectName().isEmpty() && a->menu() && !a->menu()->objectName().isEmpty()) {
            mUsed.insert(a->menu()->objectName().toLower().toStdString());
        } else if (!a->text().isEmpty() || !a->objectName().isEmpty()) {
            QString letters;
            for (QChar c : a->text())
                if (c.isLetterOrNumber() && c.unicode() < 128) letters += c;
            note(a, letters.isEmpty() ? QStringLiteral("MenuItem") : letters);
        }
        if (QMenu* m = a->menu())
            for (QAction* sub : m->actions()) action(sub, level + 1);
    }

    static QString prefixOf(const QWidget* w)
    {
        if (qobject_cast<const QPushButton*>(w)) return "Button";
        if (qobject_cast<const QToolButton*>(w)) return "SpeedButton";
        if (qobject_cast<const QCheckBox*>(w)) return "CheckBox";
        if (qobject_cast<const QRadioButton*>(w)) return "RadioButton";
        if (qobject_cast<const QLabel*>(w)) return "Label";
        if (isRadioGroup(w)) return "RadioGroup";
        if (qobject_cast<const QGroupBox*>(w)) return "GroupBox";
        return "Panel";
    }

    static bool showsText(const QWidget* w)
    {
        if (isActionView(w)) return false;
        if (!w->toolTip().isEmpty()) return true;
        if (isEditLike(w)) return false;
        if (auto* b = qobject_cast<const QAbstractButton*>(w)) return !b->text().isEmpty();
        if (auto* l = qobject_cast<const QLabel*>(w)) return !l->text().isEmpty();
        if (auto* g = qobject_cast<const QGroupBox*>(w)) return !g->title().isEmpty();
        return false;
    }

    void collect(QObject* parent)
    {
        for (QObject* o : parent->children()) {
            if (auto* bar = qobject_cast<QMenuBar*>(o)) {
                for (QAction* a : bar->actions()) action(a, 1);
                continue;
            }
            if (auto* tools = qobject_cast<QToolBar*>(o))
                for (QAction* a : tools->actions())
                    if (!a->menu()) action(a, 5);
            if (auto* m = qobject_cast<QMenu*>(o)) {
                if (!qobject_cast<QMenu*>(m->parent()) && !qobject_cast<QMenuBar*>(m->parent()))
                    for (QAction* a : m->actions()) action(a, 1);
                continue;
            }
            if (auto* d = qobject_cast<QFileDialog*>(o)) {
                note(d, d->acceptMode() == QFileDialog::AcceptSave ? "SaveDialog" : "OpenDialog");
                continue;
            }
            auto* w = qobject_cast<QWidget*>(o);
            if (!w || w->isWindow()) continue;
            if (auto* tab = qobject_cast<QTabWidget*>(w))
                for (int i = 0; i < tab->count(); ++i)
                    if (QWidget* page = tab->widget(i); page && !tab->tabText(i).isEmpty()) note(page, "TabSheet");
            const bool radioItem = qobject_cast<QRadioButton*>(w) && isRadioGroup(w->parent());
            if (o->objectName().startsWith("qt_")) {
                // Qt's own part: no name of ours, but it may hold components.
            } else if (!o->objectName().isEmpty()) {
                mUsed.insert(o->objectName().toLower().toStdString());
            } else if (!radioItem && showsText(w)) {
                note(w, prefixOf(w));
            }
            collect(o);
        }
    }

    QWidget* mWindow;
    std::set<std::string> mUsed;
    std::vector<std::pair<QObject*, QString>> mUnnamed;
};

class SlotWalk {
public:
    SlotWalk(QWidget* window, std::vector<TextSlot>& out) : mWin(name(window)), mOut(out) {}

    void caption(QWidget* window)
    {
        const QString b = builtin(window, "title", window->windowTitle());
        add("Caption", mWin, window, b, true, [window](const QString& t) { window->setWindowTitle(t); });
    }

    void children(QObject* parent)
    {
        for (QObject* o : parent->children()) visit(o);
    }

private:
    void add(std::string section, std::string key, QObject* o, QString b, bool writeBack,
             std::function<void(const QString&)> apply)
    {
        mOut.push_back({std::move(section), std::move(key), o, std::move(b), writeBack, std::move(apply)});
    }

    void menu(QMenu* m, int level)
    {
        if (!m || level > 5) return;
        for (QAction* a : m->actions()) {
            if (a->isSeparator()) continue;
            const std::string n = actionName(a);
            if (!n.empty()) {
                add("Menu", mWin + "-" + n, a, builtin(a, "text", a->text()), true,
                    [a](const QString& t) { a->setText(t); });
            }
            menu(a->menu(), level + 1);
        }
    }

    void visit(QObject* o)
    {
        if (auto* bar = qobject_cast<QMenuBar*>(o)) {
            for (QAction* a : bar->actions()) {
                if (a->isSeparator()) continue;
                const std::string n = actionName(a);
                if (!n.empty())
                    add("Menu", mWin + "-" + n, a, builtin(a, "text", a->text()), true,
                        [a](const QString& t) { a->setText(t); });
                menu(a->menu(), 2);
            }
            return;
        }
        if (auto* m = qobject_cast<QMenu*>(o)) {
            // Menus of a menu bar or of another menu are walked from there; a pop-up on its own.
            QObject* p = m->parent();
            if (!qobject_cast<QMenu*>(p) && !qobject_cast<QMenuBar*>(p)) menu(m, 1);
            return;
        }
        if (auto* tools = qobject_cast<QToolBar*>(o)) {
            // A tool bar's buttons show its actions' texts: the actions are translated.
            for (QAction* a : tools->actions()) {
                const std::string n = actionName(a);
                if (a->isSeparator() || a->menu() || n.empty()) continue;
                add("Menu", mWin + "-" + n, a, builtin(a, "text", a->text()), true,
                    [a](const QString& t) { a->setText(t); });
            }
        }
        if (auto* d = qobject_cast<QFileDialog*>(o)) {
            // An open or save dialog of the window: its title.
            if (!name(d).empty())
                add("Caption", mWin + "-" + name(d), d, builtin(d, "title", d->windowTitle()), true,
                    [d](const QString& t) { d->setWindowTitle(t); });
            return;
        }
        auto* w = qobject_cast<QWidget*>(o);
        if (!w) return;
        // A dialog parented to this window is a window of its own, translated under its name.
        if (w->isWindow()) return;
        // Qt's own parts (a tab widget's page stack...) are no components, but hold some.
        if (!name(o).empty() && !o->objectName().startsWith("qt_")) component(w);
        if (!isRadioGroup(o)) children(o);
    }

    void component(QWidget* w)
    {
        if (isActionView(w)) return;
        const std::string key = mWin + "-" + name(w);
        if (isRadioGroup(w)) {
            auto* group = qobject_cast<QGroupBox*>(w);
            const QString t = builtin(group, "text", group->title());
            add("Caption", key, group, t, t.size() >= 3, [group](const QString& v) { group->setTitle(v); });
            int i = 0;
            for (QRadioButton* r : group->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) {
                const QString b = builtin(r, "text", r->text());
                add("Strings", key + "-" + std::to_string(i), r, b, b.size() > 2,
                    [r](const QString& v) { r->setText(v); });
                ++i;
            }
            hint(w);
            return;
        }
        if (!isEditLike(w)) {
            if (auto* b = qobject_cast<QAbstractButton*>(w)) {
                const QString t = builtin(b, "text", b->text());
                add("Caption", key, b, t, t.size() >= 3, [b](const QString& v) { b->setText(v); });
            } else if (auto* l = qobject_cast<QLabel*>(w)) {
                const QString t = builtin(l, "text", l->text());
                add("Caption", key, l, t, t.size() >= 3, [l](const QString& v) { l->setText(v); });
            } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
                const QString t = builtin(g, "text", g->title());
                add("Caption", key, g, t, t.size() >= 3, [g](const QString& v) { g->setTitle(v); });
            } else if (auto* tab = qobject_cast<QTabWidget*>(w)) {
                for (int i = 0; i < tab->count(); ++i) {
                    QWidget* page = tab->widget(i);
                    if (!page || name(page).empty()) continue;
                    const QString t = builtin(page, "tab", tab->tabText(i));
                    QPointer<QTabWidget> tp(tab);
                    add("Caption", mWin + "-" + name(page), page, t, t.size() >= 3, [tp, page](const QString& v) {
                        if (!tp) return;
                        const int at = tp->indexOf(page);
                        if (at >= 0) tp->setTabText(at, v);
                    });
                }
            }
        }
        hint(w);
    }

    void hint(QWidget* w)
    {
        const QString h = builtin(w, "hint", w->toolTip());
        if (h.isEmpty()) return;
        add("Strings", "StringHint" + name(w), w, h, true, [w](const QString& v) { w->setToolTip(v); });
    }

    std::string mWin;
    std::vector<TextSlot>& mOut;
};

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

const Registered* findRegistered(const QWidget* window)
{
    for (const Registered& r : registeredWindows())
        if (r.window == window) return &r;
    return nullptr;
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
    if (!window || findRegistered(window)) return;
    registeredWindows().push_back({family, window, captionOnly});
}

std::vector<QWidget*> TranslatedWindows(texts::Family family)
{
    std::vector<QWidget*> out;
    for (const Registered& r : registeredWindows())
        if (r.family == family && r.window) out.push_back(r.window);
    // The windows the language files begin with, in their order; the others as registered.
    static const char* const kFirst[2][6] = {
        {"AboutBox", "Fmain", "FcontrolPVT", "FIO", "Faxes", "FPVTparameters"},
        {"Fmain_KVX", "Fconnect_KVX_GB", nullptr, nullptr, nullptr, nullptr},
    };
    auto rank = [family](const QWidget* w) {
        const char* const* first = kFirst[familyIndex(family)];
        for (int i = 0; i < 6 && first[i]; ++i)
            if (w->objectName().compare(QLatin1String(first[i]), Qt::CaseInsensitive) == 0) return i;
        return 6;
    };
    std::stable_sort(out.begin(), out.end(), [&](QWidget* a, QWidget* b) { return rank(a) < rank(b); });
    return out;
}

void SetBuiltinTextsHook(QWidget* window, std::function<void(int)> hook)
{
    if (window) builtinHooks().push_back({window, std::move(hook)});
}

void SetBuiltinText(QObject* o, const QString& text)
{
    if (!o) return;
    if (auto* m = qobject_cast<QMenu*>(o)) {
        rememberBuiltin(m->menuAction(), "text", text);
        m->setTitle(text);
    } else if (auto* w = qobject_cast<QWidget*>(o); w && w->isWindow()) {
        rememberBuiltin(w, "title", text);
        w->setWindowTitle(text);
    } else if (auto* b = qobject_cast<QAbstractButton*>(o)) {
        rememberBuiltin(b, "text", text);
        b->setText(text);
    } else if (auto* l = qobject_cast<QLabel*>(o)) {
        rememberBuiltin(l, "text", text);
        l->setText(text);
    } else if (auto* g = qobject_cast<QGroupBox*>(o)) {
        rememberBuiltin(g, "text", text);
        g->setTitle(text);
    } else if (auto* a = qobject_cast<QAction*>(o)) {
        rememberBuiltin(a, "text", text);
        a->setText(text);
    }
}

std::vector<TextSlot> WindowTextSlots(QWidget* window, bool captionOnly)
{
    std::vector<TextSlot> out;
    if (!window) return out;
    if (!captionOnly) AutoNamer(window).run();
    SlotWalk walk(window, out);
    walk.caption(window);
    if (!captionOnly) walk.children(window);
    return out;
}

void TranslateFormCaption(QWidget* window, IniFile& ini)
{
    if (!window) return;
    for (TextSlot& s : WindowTextSlots(window, true)) s.apply(readRule(ini, s.section, s.key, s.builtin, s.writeBack));
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
    if (!window) {
        WaitWithMessages(10);
        return;
    }
    for (TextSlot& s : WindowTextSlots(window)) s.apply(readRule(ini, s.section, s.key, s.builtin, s.writeBack));
    window->update();
}

std::vector<std::string> LanguageMessageKeys(texts::Family family)
{
    std::vector<std::string> out;
    std::set<std::string> seen;
    for (std::string_view k : KnownLanguageKeys(family)) {
        if (!texts::has(k)) continue;
        out.emplace_back(k);
        seen.emplace(k);
    }
    for (const std::string& k : texts::keys(family))
        if (seen.insert(k).second) out.push_back(k);
    return out;
}

void SetLanguageHook(texts::Family family, std::function<void(int)> hook)
{
    gMainHooks[familyIndex(family)] = std::move(hook);
}

void AddLanguageHook(texts::Family family, QObject* owner, std::function<void(int)> hook)
{
    auto& v = hooks();
    v.erase(std::remove_if(v.begin(), v.end(), [](const Hook& h) { return h.owned && !h.owner; }), v.end());
    v.push_back({family, owner, owner != nullptr, std::move(hook)});
}

namespace {

void runBuiltinTextsHook(QWidget* window, int n)
{
    for (const BuiltinHook& h : builtinHooks())
        if (h.window == window && h.fn) h.fn(n);
}

void loadFamily(texts::Family family, int n)
{
    // Texts of the previous language must not leak into this one's file.
    texts::restoreBuiltins(family);
    texts::add(family, UnshownLanguageTexts(family));
    common().LanguageIndex = n;
    if (IniFile* s = SettingsIni()) ProgramSettings::Store(*s, &ProgramSettings::Language, n);
    // The shared message box and input query take their button texts from the controller side.
    if (family == texts::Family::Controller) RegisterSharedDialogWindows();
    IniFile ini(LanguageFilePath(family, n));
    for (QWidget* w : TranslatedWindows(family)) {
        runBuiltinTextsHook(w, n);
        const Registered* r = findRegistered(w);
        if (r && r->captionOnly) TranslateFormCaption(w, ini);
        else TranslateForm(w, ini);
    }
    for (const std::string& key : LanguageMessageKeys(family)) {
        std::string t = texts::get(key);
        TranslateString(ini, key, t);
        texts::set(key, t);
    }
    if (auto& hook = gMainHooks[familyIndex(family)]) hook(n);
    // Copied: a hook may register another one.
    const std::vector<Hook> all = hooks();
    for (const Hook& h : all)
        if (h.family == family && h.fn && (!h.owned || h.owner)) h.fn(n);
}

}  // namespace

void SetLanguage(int n) { loadFamily(texts::Family::Translator, n); }

void LoadLanguage(int n) { loadFamily(texts::Family::Controller, n); }

}  // namespace mvx
