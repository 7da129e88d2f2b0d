// Object files are read by a large third-party importer, which a hostile file can crash
// (nodes nested deeper than its recursion has stack for), send round a loop for good (a
// PLY header that never ends) or lead to allocate without end (a count of billions in a
// few bytes). So the renderer never runs it itself: a child process reads the file once,
// under the import time limit and the memory limit, and hands the finished object back
// through a pipe (render/object_stream.h). Whatever goes wrong in the child ends in one
// line that names the file and the cause; the renderer goes on unharmed.
//
// The child is forked. dirt-render reads every object file before it starts a thread of
// its own (the render threads start with the first frame), so the child is a copy of a
// process with one thread, and no lock another thread held is left locked in it. (Other
// programs may import with threads running, the fuzz targets under libFuzzer for one: the
// child then uses only the allocator, stdio and the importer, which the C library keeps
// usable across a fork.)
#ifndef RENDER_OBJECT_IMPORT_H
#define RENDER_OBJECT_IMPORT_H

#include <map>
#include <string>
#include <vector>

#include "refhost/scene.h"
#include "render/host_names.h"
#include "render/mesh_import.h"

namespace render {

// Reads the object file into the object, as import_mesh_file does, in a child process
// that is stopped after limits().import_timeout_seconds and may take the memory limit
// (with headroom for the importer's own working memory) beyond what the renderer has
// already. The importer's warnings are added to `warnings`. False with a one-line reason
// naming the file when the file cannot be read, the importer crashes, runs out of time or
// memory, or what comes back is damaged or beyond the memory limit. The files the importer
// opened are added to *files_read (may be null).
bool import_object_file(const std::string &path, Scene &scene, Item &object, std::vector<std::string> &warnings,
                        std::string *error, const ImportOptions &options = {},
                        std::vector<std::string> *files_read = nullptr);

// An object file read ahead of the scene that places it (an object render measures the
// object before it writes the scene around it), so that it is read only once.
struct ImportedObject {
    Scene scene;
    Item *object = nullptr;  // in `scene`
    std::vector<std::string> warnings;
    std::vector<std::string> files_read;  // as import_mesh_file names them
};
// By the path the scene names the file with.
using ImportedObjects = std::map<std::string, ImportedObject>;

// import_object_file into an ImportedObject of its own.
bool import_object_ahead(const std::string &path, ImportedObject &imported, std::string *error,
                         const ImportOptions &options = {});

// Moves the imported layers to `object` (numbered after its own) and gives it the imported
// surfaces it lacks, with their values; `imported` is left without layers.
void adopt_imported_object(ImportedObject &imported, Scene &scene, Item &object);

}  // namespace render

#endif
