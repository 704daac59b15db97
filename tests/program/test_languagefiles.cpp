// The language files of the whole program: every window's keys are its own, every message key
// the files are known by is read and written and changes what the windows show, and the
// detection dialog's flags switch the language.
#include "tests/program/wiring.h"

#include "core/cmdline.h"
#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "app/language.h"
#include "translator/texts.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
using namespace mvx;

namespace {

const texts::Family kFamilies[] = {texts::Family::Translator, texts::Family::Controller};

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string bytesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every window of the program, as the start-up creates them, in a program folder of its own;
// the languages are loaded as the start-up loads them.
class LanguageFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mDir = fs::temp_directory_path() / ("mvx_langfiles_" + std::to_string(::getpid()));
        fs::remove_all(mDir);
        fs::create_directories(mDir / "TMP");
        // Never the controller's default address from a test; presence checks answer "absent"
        // without any traffic.
        std::ofstream(mDir / "movantrix.INI") << "[TCP-IP]\r\nADR IP=127.0.0.1\r\n[MAIN]\r\nMODE DETECTION=2\r\n";
        InitCommonGlobals(mDir.string(), "movantrix");
        common().DetectionMode = 2;
        SetMessageBoxHandler([this](const std::string& text, std::uint16_t) -> std::uint16_t {
            mMessages.push_back(text);
            return MrNo;
        });
        SetInputQueryHandler([this](const std::string& caption, const std::string& prompt, std::string&) {
            mQueries.push_back(caption + "|" + prompt);
            return false;
        });
        mMain = mvx::test::programWiring().startupHooks().createWindows(CommandLine{});
        ASSERT_NE(mMain, nullptr);
        SetLanguage(1);
        LoadLanguage(1);
    }
    void TearDown() override
    {
        delete mMain;
        SetMessageBoxHandler({});
        SetInputQueryHandler({});
        fs::remove_all(mDir);
    }

    template <class T = QWidget>
    T* window(const char* name)
    {
        for (QWidget* w : QApplication::allWidgets())
            if (w->isWindow() && w->objectName() == name)
                if (auto* t = qobject_cast<T*>(w)) return t;
        return nullptr;
    }
    QAction* menuItem(QWidget* win, const char* objectName)
    {
        for (QAction* a : win->findChildren<QAction*>())
            if (a->objectName() == objectName) return a;
        return nullptr;
    }
    QAction* menuItemByText(QWidget* win, const QString& text)
    {
        for (QAction* a : win->findChildren<QAction*>())
            if (a->text() == text) return a;
        return nullptr;
    }
    std::string file(texts::Family f, int n) const { return LanguageFilePath(f, n); }

    fs::path mDir;
    QWidget* mMain = nullptr;
    std::vector<std::string> mMessages;
    std::vector<std::string> mQueries;
};

TEST_F(LanguageFilesTest, EveryKeyBelongsToOneTextOfOneWindow)
{
    for (texts::Family family : kFamilies) {
        struct Seen {
            std::string window, object;
            QString builtin;
            QObject* owner;
        };
        std::map<std::string, Seen> keys;
        std::map<std::string, std::string> windowNames;
        for (QWidget* w : TranslatedWindows(family)) {
            const std::string wn = w->objectName().toStdString();
            EXPECT_TRUE(windowNames.emplace(lower(wn), wn).second) << "two windows named " << wn;
            for (const TextSlot& s : WindowTextSlots(w)) {
                const std::string k = lower(s.section + "|" + s.key);
                const Seen here{wn, s.object->objectName().toStdString(), s.builtin, s.object};
                auto [it, fresh] = keys.emplace(k, here);
                if (fresh || it->second.owner == s.object) continue;
                // The hint keys carry no window name: one key may serve several controls only
                // when they show the same hint.
                if (s.key.rfind("StringHint", 0) == 0 && it->second.builtin == s.builtin) continue;
                ADD_FAILURE() << "key [" << s.section << "] " << s.key << " of " << wn << " ("
                              << s.builtin.toStdString() << ") already names " << it->second.window << " ("
                              << it->second.builtin.toStdString() << ")";
            }
        }
        // Message keys are compared without regard to case in the files, as every key is.
        std::map<std::string, std::string> messages;
        for (const std::string& k : LanguageMessageKeys(family))
            EXPECT_TRUE(messages.emplace(lower(k), k).second) << k << " and " << messages[lower(k)];
        for (const auto& [k, seen] : keys) {
            if (k.rfind("strings|", 0) == 0) {
                EXPECT_FALSE(messages.count(k.substr(8))) << k << " of " << seen.window;
            }
        }
    }
    // Every window of the program is translated by one of the families.
    std::set<QWidget*> translated;
    for (texts::Family family : kFamilies)
        for (QWidget* w : TranslatedWindows(family)) EXPECT_TRUE(translated.insert(w).second) << w->objectName().toStdString();
    for (QWidget* w : QApplication::allWidgets()) {
        if (!w->isWindow() || (!qobject_cast<QDialog*>(w) && !qobject_cast<QMainWindow*>(w))) continue;
        if (w->objectName() == "Fmessage") continue;  // the notice: one label, its text given by each caller
        if (qobject_cast<QFileDialog*>(w)) continue;  // a component of its window
        EXPECT_TRUE(translated.count(w)) << w->objectName().toStdString() << " is translated by no language file";
    }
    // The about window keeps its own texts (its date label once showed the replace dialog's).
    auto* about = window<QDialog>("AboutBox");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->findChild<QLabel*>("Version")->text(), "Version 3.00");
    EXPECT_EQ(about->findChild<QLabel*>("Label2")->text(), "Oct. 2024");
}

TEST_F(LanguageFilesTest, TheKnownKeysOfBothFamiliesChangeTheTexts)
{
    // A first run in a language writes every key the files are known by.
    menuItem(mMain, "Other1")->trigger();
    for (texts::Family family : kFamilies) {
        IniFile third(file(family, 3));
        for (std::string_view k : KnownLanguageKeys(family))
            EXPECT_TRUE(third.valueExists("Strings", k)) << k << " missing from " << file(family, 3);
    }
    EXPECT_EQ(KnownLanguageKeys(texts::Family::Translator).size(), 99u);
    EXPECT_EQ(KnownLanguageKeys(texts::Family::Controller).size(), 149u);

    // A translator's files for language 2, every known message replaced by a text of its own.
    auto mark = [](std::string_view k) { return "<" + std::string(k) + ">"; };
    for (texts::Family family : kFamilies) {
        IniFile lang(file(family, 2));
        for (std::string_view k : KnownLanguageKeys(family)) lang.writeString("Strings", k, mark(k));
    }
    {
        IniFile lang(file(texts::Family::Controller, 2));
        lang.writeString("Strings", "FilterComboboX1", "Alle (*.*)|*.*|Skripte (*.TCL)|*.TCL");
        lang.writeString("Caption", "Fmain_KVX-SpeedButton2", "<en>");
        lang.writeString("Caption", "Fdialogmsg-BitBtnOui", "<oui>");
        lang.writeString("Caption", "Fconnect_KVX_GB-BitBtnIgnore", "<ignore>");
        IniFile main(file(texts::Family::Translator, 2));
        main.writeString("Caption", "Fmain-BitBtnReadGcode", "<read>");
    }
    menuItem(mMain, "English1")->trigger();
    for (texts::Family family : kFamilies) {
        for (std::string_view k : KnownLanguageKeys(family)) {
            if (k != "FilterComboboX1") {
                EXPECT_EQ(texts::get(k), mark(k)) << k;
            }
        }
    }

    // What the windows show.
    EXPECT_EQ(mMain->findChild<QPushButton*>("BitBtnReadGcode")->text(), "<read>");
    auto* tcl = window<QDialog>("Ftcl");
    ASSERT_NE(tcl, nullptr);
    QTreeWidgetItem* header = tcl->findChild<QTreeWidget*>("ListBox1")->headerItem();
    EXPECT_EQ(header->text(0), "<HeaderNomTCL>");
    EXPECT_EQ(header->text(6), "<Headerattributs>");
    auto* filter = window<QDialog>("Frestore")->findChild<QComboBox*>("FilterComboBox1");
    ASSERT_EQ(filter->count(), 2);
    EXPECT_EQ(filter->itemText(1), "Skripte (*.TCL)");
    auto* console = window<QDialog>("Fmain_KVX");
    auto* english = console->findChild<QAbstractButton*>("SpeedButton2");
    EXPECT_EQ(english->text(), "<en>");
    EXPECT_TRUE(english->isChecked());
    EXPECT_EQ(window<QDialog>("Fconnect_KVX_GB")->findChild<QPushButton*>("BitBtnIgnore")->text(), "<ignore>");

    // Messages and prompts of the windows' own commands.
    menuItem(mMain, "Positionningspeed1")->trigger();
    menuItemByText(tcl, "Timer de backup")->trigger();
    menuItemByText(tcl, "Profondeur d'indentation")->trigger();
    ASSERT_EQ(mQueries.size(), 3u);
    EXPECT_EQ(mQueries[0], "<Stringpositionspeed>|<Stringnewspeed> : ");
    EXPECT_EQ(mQueries[1], "<stringORMIXconfig>|<stringbackupdelay>");
    EXPECT_EQ(mQueries[2], "<stringindentation>|<Stringnbspaces>");
    menuItemByText(tcl, "Effacer &tout")->trigger();
    menuItem(window<QDialog>("Fconnect_KVX_GB"), "MenuKvxPresent")->trigger();
    ASSERT_EQ(mMessages.size(), 2u);
    EXPECT_EQ(mMessages[0], "<StringEffaceTexte>");
    EXPECT_EQ(mMessages[1], "<StringKVXnotFound>");

    // The message box's buttons, in a real box.
    SetMessageBoxHandler({});
    QString yes;
    QTimer::singleShot(50, [&] {
        QWidget* box = QApplication::activeModalWidget();
        yes = box->findChild<QPushButton*>("BitBtnOui")->text();
        box->findChild<QPushButton*>("BitBtnNon")->click();
    });
    EXPECT_EQ(MsgDialog("?", 0, MbYes | MbNo), MrNo);
    EXPECT_EQ(yes, "<oui>");

    // Back in French, the built-in texts again.
    menuItem(mMain, "French1")->trigger();
    EXPECT_EQ(texts::get("StringKVXnotFound"), "KVX not detected");
    EXPECT_EQ(header->text(0), "Nom");
    EXPECT_EQ(mMain->findChild<QPushButton*>("BitBtnReadGcode")->text(), "&Read Gcode File");
    EXPECT_TRUE(console->findChild<QAbstractButton*>("SpeedButton1")->isChecked());
}

TEST_F(LanguageFilesTest, DetectionDialogFlagsSwitchTheLanguage)
{
    auto* dialog = window<QDialog>("Fconnect_KVX_GB");
    ASSERT_NE(dialog, nullptr);
    auto* french = dialog->findChild<QPushButton*>("SpeedButtonFrench");
    auto* english = dialog->findChild<QPushButton*>("SpeedButtonEnglish");
    auto* console = window<QDialog>("Fmain_KVX");
    auto texts = [&] {
        return std::vector<QString>{dialog->windowTitle(), dialog->findChild<QPushButton*>("BitBtnIgnore")->text(),
                                    dialog->findChild<QLabel*>("LabelClose")->text(),
                                    dialog->findChild<QMenu*>("MenuDetectionMethod")->title()};
    };
    const std::vector<QString> inFrench{"Détection du type et Connexion au Contrôleur KVX", "&Ignorer",
                                        "Quitter le programme", "Méthode de détection"};
    const std::vector<QString> inEnglish{"Controller Type Detection and Connection", "&Ignore", "Quit program",
                                         "Detection Method"};
    EXPECT_EQ(texts(), inFrench);
    EXPECT_FALSE(english->isHidden());
    EXPECT_TRUE(french->isHidden());

    english->click();
    EXPECT_EQ(texts(), inEnglish);
    EXPECT_EQ(common().LanguageIndex.load(), 2);
    EXPECT_EQ(SettingsIni()->readInteger("MAIN", "LANGUE", 0), 2);
    EXPECT_TRUE(french->isHidden() == false && english->isHidden());
    EXPECT_TRUE(menuItem(mMain, "English1")->isChecked());
    EXPECT_TRUE(console->findChild<QAbstractButton*>("SpeedButton2")->isChecked());
    // Language 2's file holds the English texts, language 1's the French ones.
    IniFile one(file(texts::Family::Controller, 1));
    IniFile two(file(texts::Family::Controller, 2));
    EXPECT_EQ(two.readString("Caption", "Fconnect_KVX_GB", ""), "Controller Type Detection and Connection");
    EXPECT_EQ(two.readString("Caption", "Fconnect_KVX_GB-BitBtnIgnore", ""), "&Ignore");
    EXPECT_EQ(two.readString("Menu", "Fconnect_KVX_GB-MenuMethod0", ""), "Never");
    EXPECT_EQ(one.readString("Caption", "Fconnect_KVX_GB-BitBtnIgnore", ""), "&Ignorer");
    EXPECT_EQ(one.readString("Menu", "Fconnect_KVX_GB-MenuDetectionMethod", ""), "Méthode de détection");
    EXPECT_NE(bytesOf(file(texts::Family::Controller, 1)), bytesOf(file(texts::Family::Controller, 2)));
    EXPECT_TRUE(fs::exists(file(texts::Family::Translator, 2)));

    const std::string frenchFile = bytesOf(file(texts::Family::Controller, 1));
    french->click();
    EXPECT_EQ(texts(), inFrench);
    EXPECT_EQ(SettingsIni()->readInteger("MAIN", "LANGUE", 0), 1);
    EXPECT_TRUE(console->findChild<QAbstractButton*>("SpeedButton1")->isChecked());
    EXPECT_EQ(bytesOf(file(texts::Family::Controller, 1)), frenchFile);
    // The second switch reads the file the first one wrote.
    english->click();
    EXPECT_EQ(texts(), inEnglish);
}

}  // namespace
