// Every file a run will write, known before anything is written: each frame's image and
// mask and the saved scene, resolved to the file each really names, and held against the
// files the run reads and against each other.
//
// A name is resolved as the system will resolve it when the file is replaced: its folder
// to its canonical path (symbolic links, "./", "d/../" and absolute spellings alike), a
// final symbolic link to the file it points to. Two names are one file when they resolve
// to the same path, or when both files exist and are one (device and inode: a hard link).
// A run is refused, with one line, when
// - an output is a file the run reads (the scene file, an object or mesh file, an image
//   texture, the plug-in file), save that the saved scene may replace the scene file it
//   was read from, as a user updates a scene;
// - two outputs are one file (an image and a mask, two frames, the saved scene and a frame);
// - an output cannot be written: its folder does not exist (folders are not created) or is
//   not one, it exists and is no regular file, it is read-only, or a symbolic link to a
//   missing file.
#ifndef RENDER_OUTPUT_PLAN_H
#define RENDER_OUTPUT_PLAN_H

#include <sys/types.h>

#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "refhost/scene.h"
#include "render/host_names.h"
#include "render/scene_file.h"

namespace render {

// What a run writes: image and mask names are frame patterns (render/image_output.h);
// an empty mask or saved scene is none.
struct OutputNames {
    std::string image, mask, saved_scene;
    int first_frame = 0, last_frame = 0;
    std::string layers;  // the multi-layer OpenEXR file of each frame (a pattern too); empty: none
};

// One file to write: the name to tell the user, and the path to write to (the name, or
// the file a symbolic link of that name points to).
struct PlannedFile {
    std::string name;
    std::string path;
};

class OutputPlan {
public:
    // A file the run reads, and what it is ("the object file"). `replaceable`: the scene
    // file, which the saved scene may replace. A file named twice is kept once.
    void add_input(const std::string &path, const std::string &what, bool replaceable = false);

    // The object files a scene names (relative to its folder) and the image files its
    // textures loaded.
    void add_scene_inputs(const SceneDescription &desc, const Scene &scene);

    // Resolves every output of every frame, after every input is added. False with a
    // one-line reason naming the files.
    bool resolve(const OutputNames &names, std::string *error);

    PlannedFile image(int frame) const { return planned(static_cast<size_t>(frame - names_.first_frame)); }
    PlannedFile mask(int frame) const { return planned(frames_ + static_cast<size_t>(frame - names_.first_frame)); }
    PlannedFile layers(int frame) const {
        return planned(2 * frames_ + static_cast<size_t>(frame - names_.first_frame));
    }
    PlannedFile saved_scene() const { return planned(3 * frames_); }

private:
    // A file's identity: its resolved path, and device and inode when it exists.
    struct Identity {
        std::string path;
        bool exists = false;
        bool linked = false;  // the name is a symbolic link to `path`
        dev_t device = 0;
        ino_t inode = 0;
    };
    struct Input {
        std::string what;  // "the object file x.obj"
        std::string path;
        bool replaceable = false;
    };
    // Files are keyed by number: inputs by their index, outputs by kOutput + their number
    // (the images of every frame, then the masks, then the layers files, then the saved
    // scene). A run of many
    // frames keeps a few words per output, its names made again when needed.
    static constexpr size_t kOutput = static_cast<size_t>(1) << (sizeof(size_t) * 8 - 1);

    std::string output_name(size_t i) const;
    std::string output_role(size_t i) const;
    PlannedFile planned(size_t i) const;
    bool identify_output(const std::string &name, Identity &id, std::string *error);
    // A folder's canonical path and the names in it, read once for all the frames in it
    // (a run of a million frames asks the system once, not a million times).
    struct Folder {
        std::string path;
        std::unordered_set<std::string> entries;
    };
    const Folder *folder(const std::string &given, const std::string &name, std::string *error);
    // The input that is this file, or an output whose existing file it is; else kNone.
    size_t find(const Identity &id) const;
    void remember(const Identity &id, size_t key);
    // Resolves output i, refuses it when it is an input, and adds its path's hash to `paths`.
    bool claim_output(size_t i, std::vector<std::pair<size_t, size_t>> &paths, std::string *error);
    size_t claim_order(size_t i) const;
    // Refuses two outputs with one path. Outputs are compared all at once, after they are
    // resolved, so that a million frames cost a sort, not a million lookups in a table.
    bool refuse_shared_paths(std::vector<std::pair<size_t, size_t>> &paths, std::string *error);

    std::vector<Input> inputs_;
    std::unordered_multimap<size_t, size_t> inputs_by_path_;  // hash of an input's resolved path: its index
    std::map<std::pair<dev_t, ino_t>, size_t> by_inode_;
    std::unordered_map<std::string, Folder> folders_;
    std::unordered_map<size_t, std::string> linked_;  // outputs named by a symbolic link: the file
    OutputNames names_;
    size_t frames_ = 0;
};

}  // namespace render

#endif
