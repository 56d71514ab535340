// A lower level of detail of a triangle mesh, built at load time: the same
// vertices, fewer triangles. Vertices are removed by half-edge collapses
// (a vertex moves onto a neighbour and its triangles follow), cheapest first
// by the quadric error of the planes around them, so every vertex that stays
// keeps its own position, normal, colour and bone weights and a skinned pose
// of the full mesh poses the simplified one too.
//
// Kept as they are: vertices on an open edge, so the outline stays where it
// was, and, unless `collapseSeams`, vertices whose position is shared by
// another vertex (a seam where colour or normal change), so the colour borders
// stay exactly where they were. With `collapseSeams` the copies of a seam
// vertex move together, onto the copies of a neighbour on the same seam: the
// borders keep their sides and no crack opens, but they lose detail as the
// rest does. A collapse that would turn a triangle over, or join two sheets
// of the surface, is not made.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// positions: x, y, z per vertex; indices: three per triangle (counter-
// clockwise or clockwise as the mesh has them; the winding is kept).
// Returns the triangles of the simplified mesh, at most `targetTriangles`
// when collapses that far are possible, otherwise as few as were possible.
// Triangles with an index past the vertices are dropped; positions that are
// not finite numbers leave the mesh as it is.
std::vector<std::uint32_t> SimplifyMesh(const std::vector<float>& positions, const std::vector<std::uint32_t>& indices,
                                        std::size_t targetTriangles, bool collapseSeams = false);

// The lower levels of detail of a mesh: level i has about shares[i] of the
// full mesh's triangles and is simplified from level i - 1 (a fraction of the
// work of starting again from the full mesh); the first level keeps the
// colour borders, the levels after it collapse them too. Ends at the first
// level that would be empty or no smaller than the one before. Reads only its
// arguments, so it may run on a worker thread.
std::vector<std::vector<std::uint32_t>> SimplifyLevels(const std::vector<float>& positions,
                                                       const std::vector<std::uint32_t>& indices,
                                                       std::span<const float> shares);
