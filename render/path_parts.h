// The parts of a file name as written: its folder and its last component. Text only: no
// link is followed and nothing is asked of the file system.
#ifndef RENDER_PATH_PARTS_H
#define RENDER_PATH_PARTS_H

#include <string>

namespace render {

// "a/b/c.png": "a/b"; "c.png": "."; "/c.png": "/".
inline std::string folder_of(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// "a/b/c.png": "c.png".
inline std::string name_of(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace render

#endif
