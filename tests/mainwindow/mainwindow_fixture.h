#pragma once
// A main window in a program folder of its own (a temporary folder with GCODE/ and TMP/), in
// simulation, with message boxes and input queries answered by the test.

#include "mainwindow/aboutbox.h"
#include "mainwindow/tfaxes.h"
#include "mainwindow/tfio.h"
#include "mainwindow/tfmain.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace mvx::test {

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new window on the same program folder (the previous one is closed first when `close`).
    void MakeWindow();
    void CloseWindow();  // as the user closing it: settings written, TMP emptied in simulation
    std::string Gcode(const std::string& name) const { return mRoot + "GCODE/" + name; }
    std::string Tmp(const std::string& name) const { return mRoot + "TMP/" + name; }
    // Writes GCODE/<name> and reads it as the read button does with a dialog choosing it.
    bool ReadThroughDialog(const std::string& path);

    std::unique_ptr<QTemporaryDir> mDir;
    std::string mRoot;  // with a trailing "/"
    std::unique_ptr<TFmain> mWin;
    TFIO* mIo = nullptr;
    TFaxes* mAxes = nullptr;
    TAboutBox* mAbout = nullptr;
    std::vector<std::string> mMessages;   // every message box text shown
    std::deque<std::string> mAnswers;     // input query answers, in order (empty: cancelled)
    std::vector<std::string> mPrompts;    // caption + "|" + prompt of every query
    std::string mDialogChoice;            // the open dialog's answer
};

}  // namespace mvx::test
