#include "render/output_plan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "render/image_output.h"

namespace render {

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

bool refuse(std::string *error, const std::string &message) {
    if (error) *error = message;
    return false;
}

std::string folder_of(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joined(const std::string &folder, const std::string &name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool real_path(const std::string &path, std::string &out) {
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved)) return false;
    out = resolved;
    return true;
}

}  // namespace

void OutputPlan::add_input(const std::string &path, const std::string &what, bool replaceable) {
    if (path.empty()) return;
    Identity id;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        id.exists = true;
        id.device = st.st_dev;
        id.inode = st.st_ino;
    }
    // A file that is not there (an image a stored state names) still keeps its name from
    // being written.
    std::string folder;
    if (!real_path(path, id.path)) id.path = real_path(folder_of(path), folder) ? joined(folder, name_of(path)) : path;
    if (by_path_.count(id.path) || (id.exists && by_inode_.count({id.device, id.inode}))) return;
    known_.push_back({what + " " + path, true, replaceable});
    by_path_[id.path] = known_.size() - 1;
    if (id.exists) by_inode_[{id.device, id.inode}] = known_.size() - 1;
}

void OutputPlan::add_scene_inputs(const SceneDescription &desc, const Scene &scene) {
    const nlohmann::json &doc = desc.document;
    if (doc.is_object() && doc.contains("objects") && doc["objects"].is_array()) {
        for (const nlohmann::json &object : doc["objects"]) {
            if (!object.is_object() || !object.contains("file") || !object["file"].is_string()) continue;
            // As the scene reader finds it: relative to the scene's folder.
            std::string path = object["file"].get<std::string>();
            if (!path.empty() && path[0] != '/' && !desc.base_dir.empty()) path = desc.base_dir + "/" + path;
            add_input(path, "the object file");
        }
    }
    for (const auto &image : scene.images())
        if (!image->filename.empty()) add_input(image->filename, "the image file");
}

bool OutputPlan::folder_path(const std::string &folder, const std::string &name, std::string &out,
                             std::string *error) {
    const auto cached = folders_.find(folder);
    if (cached != folders_.end()) {
        out = cached->second;
        return true;
    }
    if (!real_path(folder, out)) {
        const int e = errno;
        if (e == ENOENT) return refuse(error, "cannot write " + name + ": the folder " + folder + " does not exist");
        if (e == ENOTDIR) return refuse(error, "cannot write " + name + ": " + folder + " is not a folder");
        return refuse(error, "cannot write " + name + ": " + std::strerror(e));
    }
    struct stat st;
    if (stat(out.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return refuse(error, "cannot write " + name + ": " + folder + " is not a folder");
    if (access(out.c_str(), W_OK | X_OK) != 0)
        return refuse(error, "cannot write " + name + ": the folder " + folder + ": " + std::strerror(errno));
    folders_[folder] = out;
    return true;
}

bool OutputPlan::resolve_output(const std::string &name, const std::string &what, bool may_replace_scene,
                                PlannedFile &out, std::string *error) {
    const std::string base = name_of(name);
    if (base.empty() || base == "." || base == "..") return refuse(error, "cannot write " + name + ": it names a folder");
    std::string folder;
    if (!folder_path(folder_of(name), name, folder, error)) return false;
    Identity id;
    id.path = joined(folder, base);
    out.name = name;
    out.path = name;
    struct stat st;
    if (lstat(id.path.c_str(), &st) != 0) {
        if (errno != ENOENT) return refuse(error, "cannot write " + name + ": " + std::strerror(errno));
    } else {
        if (S_ISLNK(st.st_mode)) {
            // Replacing the link would leave the file it points to as it was: the file is
            // what the user means, so that is what is replaced, in its own folder.
            if (!real_path(id.path, id.path)) {
                const int e = errno;
                return refuse(error, "cannot write " + name + ": " +
                                         (e == ENOENT ? "it is a symbolic link to a missing file" : std::strerror(e)));
            }
            if (access(folder_of(id.path).c_str(), W_OK | X_OK) != 0)
                return refuse(error, "cannot write " + name + ": the folder of " + id.path + ": " + std::strerror(errno));
            out.path = id.path;
        }
        if (stat(id.path.c_str(), &st) != 0) return refuse(error, "cannot write " + name + ": " + std::strerror(errno));
        if (S_ISDIR(st.st_mode)) return refuse(error, "cannot write " + name + ": it is a folder");
        if (!S_ISREG(st.st_mode)) return refuse(error, "cannot write " + name + ": it exists and is not a regular file");
        if (access(id.path.c_str(), W_OK) != 0) return refuse(error, "cannot write " + name + ": " + std::strerror(errno));
        id.exists = true;
        id.device = st.st_dev;
        id.inode = st.st_ino;
    }
    return claim(id, {what, false, false}, may_replace_scene, name, error);
}

bool OutputPlan::claim(const Identity &id, const Known &known, bool may_replace_scene, const std::string &name,
                       std::string *error) {
    size_t hit = kNone;
    const auto by_path = by_path_.find(id.path);
    if (by_path != by_path_.end()) {
        hit = by_path->second;
    } else if (id.exists) {
        const auto by_inode = by_inode_.find({id.device, id.inode});
        if (by_inode != by_inode_.end()) hit = by_inode->second;
    }
    if (hit != kNone) {
        const Known &other = known_[hit];
        if (other.input && other.replaceable && may_replace_scene) return true;
        if (other.input) return refuse(error, "cannot write " + name + ": it is " + other.what + ", which this run reads");
        return refuse(error, other.what + " and " + known.what + " would both be written to " + name);
    }
    known_.push_back(known);
    by_path_[id.path] = known_.size() - 1;
    if (id.exists) by_inode_[{id.device, id.inode}] = known_.size() - 1;
    return true;
}

bool OutputPlan::resolve(const OutputNames &names, std::string *error) {
    first_frame_ = names.first_frame;
    const bool several = names.last_frame > names.first_frame;
    const size_t count = static_cast<size_t>(static_cast<long long>(names.last_frame) - names.first_frame + 1);
    auto role = [&](const char *what, int frame) {
        return several ? std::string(what) + " of frame " + std::to_string(frame) : std::string(what);
    };
    images_.assign(count, {});
    masks_.assign(names.mask.empty() ? 0 : count, {});
    for (int frame = names.first_frame; frame <= names.last_frame; ++frame) {
        const size_t i = static_cast<size_t>(frame - names.first_frame);
        if (!resolve_output(frame_file_name(names.image, frame, several), role("the image", frame), false, images_[i],
                            error))
            return false;
        if (!names.mask.empty() && !resolve_output(frame_file_name(names.mask, frame, several),
                                                   role("the mask", frame), false, masks_[i], error))
            return false;
    }
    return names.saved_scene.empty() ||
           resolve_output(names.saved_scene, "the saved scene", true, saved_scene_, error);
}

}  // namespace render
