#pragma once
// Built-in texts of the main window's messages and prompts (translator family). Registered
// once, before the first language load, so that the language file gets them written back.

namespace mvx {

void RegisterMainWindowTexts();

}  // namespace mvx
