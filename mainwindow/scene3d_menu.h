#pragma once
// The commands of the 3D view's pop-up menu, apart from the menu widget: erasing, drawing the SCT
// list, centring, "Z x 10", "Show XY" and the three size questions (asked with the shared input
// query, so tests answer them through its handler).

#include "scene3d_math.h"

#include <array>
#include <functional>
#include <optional>
#include <string>

namespace mvx {
class IniFile;
}

namespace mvx::view3d {

class Scene3D;

// What the commands need of the main window; an empty function is skipped.
struct PopupHost {
    std::function<void(const std::string&)> StatusText;  // status panel 4
    // "Effacer trajectoire SCT" (erase every element, clear SctBuilt) and "Dessiner  SCT"
    // (build the list when needed, then draw every element), with their status texts.
    std::function<void()> EraseSct;
    std::function<void()> DrawSct;
    std::function<void()> RedrawSct;     // draw every SCT element again (after "Node size")
    // The last shown position (Z = 0 for a two-axis group); none in simulation.
    std::function<std::optional<Vec3>()> CurrentPosition;
    // "center on (X,Y,Z)": the three texts asked in the centring window, none when cancelled.
    std::function<std::optional<std::array<std::string, 3>>()> AskCentre;
    std::function<int()> NbDigit;        // "PRECISION"/"NB DIGIT"
    std::function<void()> LegendChanged;
    std::function<IniFile*()> Settings;
};

class PopupActions {
public:
    PopupActions(Scene3D& scene, PopupHost host);

    void eraseExecuted();   // "Effacer trajectoires executées"
    void eraseSct();        // "Effacer trajectoire SCT"
    void eraseSkeletons();  // "Effacer les squelettes"
    void drawSct();         // "Dessiner  SCT"
    void centreOrigin();    // "center on (0,0,0)"
    bool centreCurrent();   // "center on current position"
    bool centreAsk();       // "center on (X,Y,Z)"
    // True when all three texts are numbers; the target then moves there.
    bool centreOn(const std::array<std::string, 3>& xyz);
    void toggleZ();         // "Z x 10"
    void showXY();          // "Show XY"
    void askNodeSize();     // "Node size"
    void askArrowSize();    // "Arrows size"
    void askConeSize();     // "Cone size"

    // The node size an answer gives: a number as it stands, anything else 0.02 (not stored).
    static double NodeSizeFromAnswer(const std::string& answer, bool* isNumber = nullptr);

private:
    void status(const std::string& text);
    IniFile* settings() const;

    Scene3D& mScene;
    PopupHost mHost;
};

// Built-in texts of the view (registered once with the translator's family).
void RegisterView3DTexts();

}  // namespace mvx::view3d
