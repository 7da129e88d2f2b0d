// What the object importer does not pass on from LightWave object files: each surface's
// smoothing angle (the SMAN of its SURF chunk), which decides where the host interpolates
// normals across polygons.
#ifndef RENDER_LWO_SURFACES_H
#define RENDER_LWO_SURFACES_H

#include <map>
#include <string>
#include <vector>

namespace render {

// True when the bytes begin a LightWave object (an IFF FORM of type LWO2, LWOB or LWLO).
bool is_lwo(const std::vector<unsigned char> &bytes);

// The smoothing angle of every surface the file defines, in radians, by surface name; 0 for
// a surface without one (flat shading). Chunks that run past their container end the reading
// of that container; nothing is read outside the bytes.
std::map<std::string, double> lwo_smoothing_angles(const std::vector<unsigned char> &bytes);

// The file's bytes; empty when it cannot be read.
std::vector<unsigned char> read_file_bytes(const std::string &path);

}  // namespace render

#endif
