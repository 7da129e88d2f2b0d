// An imported object as a stream of bytes: how the import process hands what it read back
// to the renderer (render/object_import.h).
//
// The stream carries everything the importer puts into the object's Item: its layers with
// their points (base and deformation), polygons (corners, surface, part, per-corner normals
// and texture coordinates) and weight maps, the surfaces it created with all their values,
// and the warning lines for the user. Points keep their order, and polygons theirs.
//
// The reader treats the stream as untrusted: every count is held against the bytes left
// and the memory limit before anything is made from it, and a stream that is short, too
// long or garbled is refused.
#ifndef RENDER_OBJECT_STREAM_H
#define RENDER_OBJECT_STREAM_H

#include <cstddef>
#include <string>
#include <vector>

#include "refhost/scene.h"
#include "render/host_names.h"

namespace render {

// Appends the object's layers and surfaces, and the warnings, to `out`.
void write_object_stream(const Item &object, const std::vector<std::string> &warnings, std::string &out,
                         const std::vector<std::string> &files_read = {});

// Adds the stream's layers (numbered after the object's own), surfaces (those the object
// has not got yet) and warnings to the object. False with a few words on what is wrong in
// *error (the stream is damaged, or what it holds is beyond the memory limit); the object
// may then hold part of the stream.
bool read_object_stream(const char *data, size_t size, Scene &scene, Item &object,
                        std::vector<std::string> &warnings, std::string *error,
                        std::vector<std::string> *files_read = nullptr);

}  // namespace render

#endif
