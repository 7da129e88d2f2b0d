// Vertex bakes as files, written by Assimp's exporter:
//
// | Extension | Format                                   | Colour                          |
// |-----------|------------------------------------------|---------------------------------|
// | .ply      | ASCII PLY, polygons as they are          | uchar red, green, blue (0-255)  |
// | .glb      | binary glTF 2, triangles                 | COLOR_0, float, unclamped       |
// | .gltf     | glTF 2 text with its buffer in NAME.bin  | COLOR_0, float, unclamped       |
//
// Each layer is a node and each of its surfaces a mesh with a material of the surface's
// name and base colour; positions and normals are in object space, texture coordinates
// the first UV set's. The exporter writes into memory; every file it made is then written
// whole through a temporary file, or not at all.
#ifndef BAKE_MESH_EXPORT_H
#define BAKE_MESH_EXPORT_H

#include <string>
#include <vector>

#include "bake/vertex_bake.h"

namespace bake {

// The exporter's format for a file name; false with a one-line reason for an extension
// that no vertex bake writes.
bool mesh_format_for(const std::string &path, std::string &format, std::string *error);

// Writes the meshes with their values as vertex colours. False with a one-line reason.
bool export_baked_meshes(const std::string &path, const std::vector<BakedMesh> &meshes, std::string *error);

}  // namespace bake

#endif
