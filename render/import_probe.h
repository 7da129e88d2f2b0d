// Object files are read by a large third-party importer, which a hostile file can crash
// (nodes nested deeper than its recursion has stack for, say). Before the renderer reads
// one, a child process reads it the same way; when the child does not come back, the
// file is refused instead of taking the renderer down.
#ifndef RENDER_IMPORT_PROBE_H
#define RENDER_IMPORT_PROBE_H

#include <string>

namespace render {

// False, with a one-line reason, when reading the object file ends the reading process
// by a signal (or by a sanitizer's report). A file the importer merely rejects passes:
// the real import then says why.
bool importer_survives(const std::string &path, std::string *error);

}  // namespace render

#endif
