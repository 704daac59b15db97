#pragma once
// PVT runs: a chain of working moves and arcs that the controller executes as one trajectory
// from a text file "TRJ" + n + ".PVT". Each row gives the duration of a segment and, per axis,
// the displacement during it and the speed at its end.
//
// File format: one row per line, fields separated by one blank, no header, no comments:
//   dt dX vX dY vY [dZ vZ]
// dt with 6 decimals, the others with "NB DIGIT PVT" decimals; no Z fields for a group without
// Z. A run starts at rest and ends at rest.

#include "machineconfig.h"

#include <array>
#include <string>
#include <vector>

namespace mvx {

// One piece of an element's speed profile: covers `Length`, ends at `EndSpeed`, takes `Duration`.
struct PvtSegment {
    double Length = 0.0;
    double EndSpeed = 0.0;
    double Duration = 0.0;
};

// Trapezoidal or triangular profile over length L from entry speed u through cruise speed o to
// exit speed w with acceleration a. The lengths add up to L exactly; L <= 0 gives no segment.
std::vector<PvtSegment> PvtSpeedProfile(double length, double entry, double cruise, double exit, double accel);

// Rows of one open run, as shown in the PVT view (a ";" comment line per element, then its
// rows), and the file text they close into. The rows go straight into the file text; the view
// is put together only when asked for.
class PvtRunBuilder {
public:
    explicit PvtRunBuilder(const MachineConfig& config);

    // A straight working move of displacement `delta`. The first element of a run starts from rest.
    void AddStraight(const std::array<double, 3>& delta, double entry, double cruise, double exit);
    // An arc from the current point: centre at offset (i, j) from it, `sweep` radians
    // (positive counter-clockwise), cut into sub-rows of at most `AngularStep`.
    void AddArc(double i, double j, double sweep, double entry, double cruise, double exit);

    // One row; displacements too short in time to write are carried into the next row.
    void AddRow(double dt, const std::array<double, 3>& d, const std::array<double, 3>& v);

    bool Empty() const noexcept { return mElements == 0; }
    // The view of the open run; valid until the next change of the builder.
    const std::vector<std::string>& ViewLines() const;

    // Ends the run: a last short row takes what is still carried, and the file text (every row
    // followed by "\n") is returned. The builder is then empty, carry cleared.
    std::string Close();
    void Clear();

private:
    // The comment line of one element, kept as numbers: only the view shows it.
    struct Note {
        bool Arc = false;
        double A = 0.0, B = 0.0, C = 0.0;  // straight: X Y Z; arc: centre X Y, degrees
        double Cruise = 0.0, Entry = 0.0, Exit = 0.0;
        std::size_t RowsBefore = 0;
    };

    void Emit(double dt, const std::array<double, 3>& v, bool closingRow);
    std::string NoteText(const Note& n) const;

    const MachineConfig& mConfig;
    std::string mText;  // rows so far, each followed by "\n"; its capacity serves every run
    std::size_t mRows = 0;
    std::vector<Note> mNotes;
    mutable std::vector<std::string> mView;
    int mElements = 0;
    // Displacement handed to rows so far (exact) and written so far (as printed), per axis: each
    // written row prints the difference, so the rows of a file add up to the path it follows.
    std::array<double, 3> mTarget{0.0, 0.0, 0.0};
    std::array<double, 3> mWritten{0.0, 0.0, 0.0};
};

// The file text of a run from its view lines: each line cut at its first ";", trimmed, empty
// lines left out.
std::string PvtFileText(const std::vector<std::string>& viewLines);

}  // namespace mvx
