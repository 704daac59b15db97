#pragma once
// The SCT list in the 3D scene: element i of the list is the scene's SCT item i. Drawing runs
// every element from the start point (the group position last read), so the whole picture
// follows from it; the list itself is left as it is, so it can be generated again unchanged.

#include "scene3d.h"

namespace mvx::sct {
class Ttraject;
struct telement;
}

namespace mvx::view3d {

// The points of element `e` drawn from `start` to `end`: a straight move its two ends; an arc
// max(4, round(|degrees| / 2)) points at equal angle steps at its start Z; a zero-length
// element its point.
void SctElementPath(const sct::telement& e, const Vec3& start, const Vec3& end, std::vector<Vec3>& path);

// Draws every element, the list's current element highlighted. Items are reused (nodes moved
// in place) while the list keeps its length, else made again.
void DrawSctList(Scene3D& scene, const sct::Ttraject& list, const Vec3& start);

}  // namespace mvx::view3d
