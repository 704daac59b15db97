// Language files fill themselves with the built-in texts, and never with another language's.
#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "app/language.h"
#include "translator/texts.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

using namespace mvx;

namespace {

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mDir = std::filesystem::temp_directory_path() / ("mvx_lang_" + std::to_string(::getpid()));
        std::filesystem::create_directories(mDir);
        InitCommonGlobals(mDir.string(), "movantrix");
        mWin.setObjectName("Fw");
        mWin.setWindowTitle("Fenêtre");
        auto* central = new QWidget(&mWin);
        mWin.setCentralWidget(central);
        mOk = new QPushButton("OK", central);
        mOk->setObjectName("BtnOk");
        mRead = new QPushButton("Lire", central);
        mRead->setObjectName("BtnRead");
        mRead->setToolTip("Lire le fichier");
        mEdit = new QLineEdit("12.5", central);
        mEdit->setObjectName("Edit1");
        mGroup = new QGroupBox("Mode", central);
        mGroup->setObjectName("RadioGroup1");
        mGroup->setProperty("radioGroup", true);
        for (const char* t : {"0", "1", "SCT path"}) new QRadioButton(t, mGroup);
        QMenu* file = mWin.menuBar()->addMenu("Fichier");
        file->menuAction()->setObjectName("Fichier1");
        QAction* open = file->addAction("Ouvrir");
        open->setObjectName("Ouvrir1");
        file->addSeparator();
    }
    void TearDown() override { std::filesystem::remove_all(mDir); }

    std::filesystem::path mDir;
    QMainWindow mWin;
    QPushButton* mOk = nullptr;
    QPushButton* mRead = nullptr;
    QLineEdit* mEdit = nullptr;
    QGroupBox* mGroup = nullptr;
};

}  // namespace

TEST_F(LanguageTest, WriteBackRules)
{
    IniFile lang((mDir / "l.INI").string());
    TranslateForm(&mWin, lang);
    EXPECT_EQ(lang.readString("Caption", "Fw", ""), "Fenêtre");
    EXPECT_EQ(lang.readString("Caption", "Fw-BtnRead", ""), "Lire");
    EXPECT_FALSE(lang.valueExists("Caption", "Fw-BtnOk"));   // fewer than 3 characters
    EXPECT_FALSE(lang.valueExists("Caption", "Fw-Edit1"));   // edit boxes keep their text
    EXPECT_FALSE(lang.valueExists("Strings", "Fw-RadioGroup1-0"));
    EXPECT_EQ(lang.readString("Strings", "Fw-RadioGroup1-2", ""), "SCT path");
    EXPECT_EQ(lang.readString("Menu", "Fw-Fichier1", ""), "Fichier");
    EXPECT_EQ(lang.readString("Menu", "Fw-Ouvrir1", ""), "Ouvrir");
    EXPECT_EQ(lang.readString("Strings", "StringHintBtnRead", ""), "Lire le fichier");

    // Keys added by hand are applied, short captions included; "XXX" counts as missing.
    lang.writeString("Caption", "Fw-BtnOk", "Valider");
    lang.writeString("Caption", "Fw-Edit1", "99");
    lang.writeString("Caption", "Fw-BtnRead", "XXX");
    lang.writeString("Strings", "fw-radiogroup1-1", "Un");
    TranslateForm(&mWin, lang);
    EXPECT_EQ(mOk->text(), "Valider");
    EXPECT_EQ(mEdit->text(), "12.5");
    EXPECT_EQ(mRead->text(), "Lire");
    EXPECT_EQ(lang.readString("Caption", "Fw-BtnRead", ""), "Lire");
    EXPECT_EQ(mGroup->findChildren<QRadioButton*>()[1]->text(), "Un");
}

TEST_F(LanguageTest, SwitchingLanguagesNeverCopiesTexts)
{
    RegisterTranslatedWindow(texts::Family::Translator, &mWin);
    QWidget console;
    console.setObjectName("Fconsole");
    console.setWindowTitle("Console");
    RegisterTranslatedWindow(texts::Family::Controller, &console);
    {
        IniFile en(LanguageFilePath(texts::Family::Translator, 2));
        en.writeString("Caption", "Fw-BtnRead", "Read");
        en.writeString("Strings", "Stringline", "Row");
    }
    SetLanguage(2);
    EXPECT_EQ(mRead->text(), "Read");
    EXPECT_EQ(texts::get("Stringline"), "Row");
    EXPECT_EQ(SettingsIni()->readInteger("MAIN", "LANGUE", 0), 2);

    SetLanguage(3);
    LoadLanguage(3);
    EXPECT_EQ(common().LanguageIndex.load(), 3);
    IniFile third(LanguageFilePath(texts::Family::Translator, 3));
    EXPECT_EQ(third.readString("Caption", "Fw-BtnRead", ""), "Lire");
    EXPECT_EQ(third.readString("Strings", "Stringline", ""), "Line");
    EXPECT_EQ(mRead->text(), "Lire");
    EXPECT_TRUE(std::filesystem::exists(LanguageFilePath(texts::Family::Controller, 3)));
    EXPECT_EQ(LanguageFilePath(texts::Family::Controller, 3), (mDir / "KVX_Language_3.ini").string());
}

TEST_F(LanguageTest, MessageBoxAndQueryTakeTheirCaptionsFromTheControllerFiles)
{
    {
        IniFile en(LanguageFilePath(texts::Family::Controller, 2));
        en.writeString("Caption", "Fdialogmsg-BitBtnOui", "&Yes");
        en.writeString("Caption", "Fdialogmsg-BitBtnNon", "&No");
        en.writeString("Caption", "Fquery-BitBtn2", "Cancel");
    }
    LoadLanguage(2);
    QStringList captions;
    QTimer::singleShot(50, [&] {
        QWidget* box = QApplication::activeModalWidget();
        for (auto* b : box->findChildren<QPushButton*>())
            if (!b->isHidden()) captions << b->text();
        box->findChild<QPushButton*>("BitBtnNon")->click();
    });
    EXPECT_EQ(MsgDialog("?", 0, MbYes | MbNo), MrNo);
    EXPECT_EQ(captions, (QStringList{"&Yes", "&No"}));
    QString cancel;
    QTimer::singleShot(50, [&] {
        QWidget* box = QApplication::activeModalWidget();
        cancel = box->findChild<QPushButton*>("BitBtn2")->text();
        box->findChild<QPushButton*>("BitBtn2")->click();
    });
    std::string value;
    EXPECT_FALSE(InputQueryDialog("c", "p", value));
    EXPECT_EQ(cancel, "Cancel");
    // The untranslated buttons wrote their built-in texts, the "&OK" that answers as "&Oui" too.
    IniFile en(LanguageFilePath(texts::Family::Controller, 2));
    EXPECT_EQ(en.readString("Caption", "Fdialogmsg-BitBtnAnnuler", ""), "&Annuler");
    EXPECT_EQ(en.readString("Caption", "Fdialogmsg-BitBtnOuiOK", ""), "&OK");
    LoadLanguage(1);
}

TEST_F(LanguageTest, ADialogOfAWindowIsNotPartOfIt)
{
    // A dialog parented to a window is a window of its own: its label must not be keyed, nor
    // translated, as the window's.
    QDialog child(&mWin);
    child.setObjectName("Fchild");
    auto* inner = new QLabel("&Replace with:", &child);
    inner->setObjectName("Label2");
    auto* own = new QLabel("Oct. 2024", mWin.centralWidget());
    own->setObjectName("Label2");
    for (const TextSlot& s : WindowTextSlots(&mWin)) EXPECT_NE(s.object, inner) << s.key;
    IniFile lang((mDir / "l.INI").string());
    TranslateForm(&child, lang);
    TranslateForm(&mWin, lang);
    EXPECT_EQ(lang.readString("Caption", "Fw-Label2", ""), "Oct. 2024");
    EXPECT_EQ(lang.readString("Caption", "Fchild-Label2", ""), "&Replace with:");
    EXPECT_EQ(own->text(), "Oct. 2024");
}

TEST_F(LanguageTest, UnnamedComponentsToolBarsAndFileDialogsAreTranslated)
{
    auto* named = new QLabel("Nommé", mWin.centralWidget());
    named->setObjectName("Label1");
    auto* speed = new QLabel("Vitesse", mWin.centralWidget());   // no name: the next free label name
    auto* go = new QPushButton("Démarrer", mWin.centralWidget());  // no name either
    QToolBar* tools = mWin.addToolBar("tools");
    QAction* find = tools->addAction("Chercher");
    auto* open = new QFileDialog(&mWin, "Ouvrir un fichier");
    open->setObjectName("OpenDialog1");
    IniFile lang((mDir / "l.INI").string());
    TranslateForm(&mWin, lang);
    EXPECT_EQ(lang.readString("Caption", "Fw-Label2", ""), "Vitesse");
    EXPECT_EQ(lang.readString("Caption", "Fw-Button1", ""), "Démarrer");
    EXPECT_EQ(lang.readString("Menu", "Fw-Chercher1", ""), "Chercher");
    EXPECT_EQ(lang.readString("Caption", "Fw-OpenDialog1", ""), "Ouvrir un fichier");
    lang.writeString("Caption", "Fw-Label2", "Speed");
    lang.writeString("Menu", "Fw-Chercher1", "Find");
    lang.writeString("Caption", "Fw-OpenDialog1", "Open a file");
    TranslateForm(&mWin, lang);
    EXPECT_EQ(speed->text(), "Speed");
    EXPECT_EQ(go->text(), "Démarrer");
    EXPECT_EQ(find->text(), "Find");
    EXPECT_EQ(open->windowTitle(), "Open a file");
    EXPECT_EQ(named->text(), "Nommé");
}
