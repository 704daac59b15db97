#pragma once
// Language files: two families of INI files that fill themselves with the built-in texts.
// Windows register with the family that translates them; a load first restores every built-in
// text, so a file is never filled with another language's texts.

#include "translator/texts.h"

#include <functional>
#include <string>

class QWidget;

namespace mvx {

class IniFile;

// Translator family: "<exe>_LANGUAGE_<n>.INI"; controller side: "KVX_Language_<n>.ini".
std::string LanguageFilePath(texts::Family family, int n);

// Windows translated by a family, in registration order. A window whose only the caption is
// translated (the about box) registers with captionOnly.
void RegisterTranslatedWindow(texts::Family family, QWidget* window, bool captionOnly = false);

// Translates one window from an open language file, with write-back of missing keys.
void TranslateForm(QWidget* window, IniFile& language);
void TranslateFormCaption(QWidget* window, IniFile& language);
// Reads one message; a missing key is written back with the current text.
void TranslateString(IniFile& language, const std::string& key, std::string& text);

// Called after each load of a family (menu ticks, scale texts...).
void SetLanguageHook(texts::Family family, std::function<void(int)> hook);

// Translator family, then the controller-side family. Both write "MAIN"/"LANGUE".
void SetLanguage(int n);
void LoadLanguage(int n);

}  // namespace mvx
