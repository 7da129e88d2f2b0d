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

    // Resolves every output of every frame. False with a one-line reason naming the files.
    bool resolve(const OutputNames &names, std::string *error);

    const PlannedFile &image(int frame) const { return images_[static_cast<size_t>(frame - first_frame_)]; }
    const PlannedFile &mask(int frame) const { return masks_[static_cast<size_t>(frame - first_frame_)]; }
    const PlannedFile &saved_scene() const { return saved_scene_; }

private:
    // A file's identity: its resolved path, and device and inode when it exists.
    struct Identity {
        std::string path;
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
    };
    struct Known {
        std::string what;  // "the object file x.obj", "the mask of frame 3"
        bool input = false;
        bool replaceable = false;
    };

    bool resolve_output(const std::string &name, const std::string &what, bool may_replace_scene, PlannedFile &out,
                        std::string *error);
    // The canonical path of a folder, resolved once for all the frames in it.
    bool folder_path(const std::string &folder, const std::string &name, std::string &out, std::string *error);
    // Registers an output, or refuses it when its file is already an input or an output.
    bool claim(const Identity &id, const Known &known, bool may_replace_scene, const std::string &name,
               std::string *error);

    std::vector<Known> known_;
    std::unordered_map<std::string, size_t> by_path_;
    std::map<std::pair<dev_t, ino_t>, size_t> by_inode_;
    std::unordered_map<std::string, std::string> folders_;
    int first_frame_ = 0;
    std::vector<PlannedFile> images_, masks_;
    PlannedFile saved_scene_;
};

}  // namespace render

#endif
