#pragma once
// Where a run's "Gathering.dat" is kept when the editor's "Enregistrer gathering.dat" is checked.

#include <string>

namespace mvx::tclbench {

// The model path "folder/run.dat" gives "folder/run" + n + ".dat", n being the number of plain
// files in the folder "folder/run" when it exists, else in "folder" (no number when 0). A name
// that is already taken moves on to the next number: a kept file is never overwritten.
std::string KeptGatheringTarget(const std::string& model);

// Copies `source` to KeptGatheringTarget(model) unless that is `source` itself; the target, or
// "" when nothing was copied (`error` says why, empty when there was nothing to do).
std::string KeepGatheringFile(const std::string& source, const std::string& model, std::string& error);

}  // namespace mvx::tclbench
