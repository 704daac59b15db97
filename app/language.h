#pragma once
// Language files: two families of INI files that fill themselves with the built-in texts.
// Windows register with the family that translates them; a load first restores every built-in
// text, so a file is never filled with another language's texts.

#include "translator/texts.h"

#include <QString>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QObject;
class QWidget;

namespace mvx {

class IniFile;

// Translator family: "<exe>_LANGUAGE_<n>.INI"; controller side: "KVX_Language_<n>.ini".
std::string LanguageFilePath(texts::Family family, int n);

// Windows translated by a family. A window whose only the caption is translated (the about
// box) registers with captionOnly. Registering a window twice keeps the first registration.
void RegisterTranslatedWindow(texts::Family family, QWidget* window, bool captionOnly = false);
// Windows of a family in the order a load translates them.
std::vector<QWidget*> TranslatedWindows(texts::Family family);

// A window whose built-in texts depend on the language (the detection dialog has French and
// English texts of its own) sets them here; it runs before each translation of the window.
void SetBuiltinTextsHook(QWidget* window, std::function<void(int language)> hook);
// Shows `text` on the object (window caption, button, label, group box, menu item, radio item)
// and makes it the object's built-in text from now on.
void SetBuiltinText(QObject* object, const QString& text);

// One text of a window that a language file can replace.
struct TextSlot {
    std::string section;  // "Caption", "Menu" or "Strings"
    std::string key;
    QObject* object = nullptr;  // the component that shows the text
    QString builtin;
    bool writeBack = true;  // a missing key is written into the file with the built-in text
    std::function<void(const QString&)> apply;
};
// The texts that a translation of the window reads, in the order it reads them. Sub-windows
// (dialogs parented to the window) are windows of their own and are not part of it.
std::vector<TextSlot> WindowTextSlots(QWidget* window, bool captionOnly = false);

// Translates one window from an open language file, with write-back of missing keys.
void TranslateForm(QWidget* window, IniFile& language);
void TranslateFormCaption(QWidget* window, IniFile& language);
// Reads one message; a missing key is written back with the current text.
void TranslateString(IniFile& language, const std::string& key, std::string& text);

// Message keys of a family in the order a load reads them: the keys the language files are
// known by, then every other registered key of the family.
std::vector<std::string> LanguageMessageKeys(texts::Family family);
// The known keys only (translator family: 99 keys; controller side: 149).
const std::vector<std::string_view>& KnownLanguageKeys(texts::Family family);

// Called after each load of a family (menu ticks, scale texts...). The main window's hook.
void SetLanguageHook(texts::Family family, std::function<void(int)> hook);
// Further hooks, dropped when `owner` is destroyed.
void AddLanguageHook(texts::Family family, QObject* owner, std::function<void(int)> hook);

// Translator family, then the controller-side family. Both write "MAIN"/"LANGUE".
void SetLanguage(int n);
void LoadLanguage(int n);

}  // namespace mvx
