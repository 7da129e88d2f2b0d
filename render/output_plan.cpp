#include "render/output_plan.h"
#include "render/path_parts.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
    if (find(id) != kNone) return;
    inputs_.push_back({what + " " + path, id.path, replaceable});
    remember(id, inputs_.size() - 1);
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
    for (const std::string &file : desc.files_read) add_input(file, "a file read with an object file");
    for (const auto &image : scene.images())
        if (!image->filename.empty()) add_input(image->filename, "the image file");
}

const OutputPlan::Folder *OutputPlan::folder(const std::string &given, const std::string &name,
                                             std::string *error) {
    const auto cached = folders_.find(given);
    if (cached != folders_.end()) return &cached->second;
    Folder f;
    if (!real_path(given, f.path)) {
        const int e = errno;
        if (e == ENOENT) refuse(error, "cannot write " + name + ": the folder " + given + " does not exist");
        else if (e == ENOTDIR) refuse(error, "cannot write " + name + ": " + given + " is not a folder");
        else refuse(error, "cannot write " + name + ": " + std::strerror(e));
        return nullptr;
    }
    struct stat st;
    if (stat(f.path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        refuse(error, "cannot write " + name + ": " + given + " is not a folder");
        return nullptr;
    }
    DIR *listing = access(f.path.c_str(), W_OK | X_OK) == 0 ? opendir(f.path.c_str()) : nullptr;
    if (!listing) {
        refuse(error, "cannot write " + name + ": the folder " + given + ": " + std::strerror(errno));
        return nullptr;
    }
    while (const dirent *entry = readdir(listing)) f.entries.insert(entry->d_name);
    closedir(listing);
    return &(folders_[given] = std::move(f));
}

std::string OutputPlan::output_name(size_t i) const {
    if (i == 3 * frames_) return names_.saved_scene;
    const bool several = frames_ > 1;
    const int frame = names_.first_frame + static_cast<int>(i % frames_);
    const std::string &pattern = i < frames_ ? names_.image : i < 2 * frames_ ? names_.mask : names_.layers;
    return frame_file_name(pattern, frame, several);
}

std::string OutputPlan::output_role(size_t i) const {
    if (i == 3 * frames_) return "the saved scene";
    const std::string what = i < frames_ ? "the image" : i < 2 * frames_ ? "the mask" : "the layers file";
    if (frames_ == 1) return what;
    return what + " of frame " + std::to_string(names_.first_frame + static_cast<int>(i % frames_));
}

PlannedFile OutputPlan::planned(size_t i) const {
    PlannedFile file;
    file.name = output_name(i);
    const auto link = linked_.find(i);
    file.path = link == linked_.end() ? file.name : link->second;
    return file;
}

bool OutputPlan::identify_output(const std::string &name, Identity &id, std::string *error) {
    const std::string base = name_of(name);
    if (base.empty() || base == "." || base == "..")
        return refuse(error, "cannot write " + name + ": it names a folder");
    if (base.size() > NAME_MAX) return refuse(error, "cannot write " + name + ": " + std::strerror(ENAMETOOLONG));
    const Folder *in = folder(folder_of(name), name, error);
    if (!in) return false;
    id = Identity();
    id.path = joined(in->path, base);
    if (id.path.size() >= PATH_MAX) return refuse(error, "cannot write " + name + ": " + std::strerror(ENAMETOOLONG));
    // A name the folder did not hold is a new file.
    if (!in->entries.count(base)) return true;
    struct stat st;
    if (lstat(id.path.c_str(), &st) != 0) {
        if (errno == ENOENT) return true;
        return refuse(error, "cannot write " + name + ": " + std::strerror(errno));
    }
    if (S_ISLNK(st.st_mode)) {
        // Replacing the link would leave the file it points to as it was: the file is what
        // the user means, so that is what is replaced, in its own folder.
        if (!real_path(id.path, id.path)) {
            const int e = errno;
            return refuse(error, "cannot write " + name + ": " +
                                     (e == ENOENT ? "it is a symbolic link to a missing file" : std::strerror(e)));
        }
        if (access(folder_of(id.path).c_str(), W_OK | X_OK) != 0)
            return refuse(error, "cannot write " + name + ": the folder of " + id.path + ": " + std::strerror(errno));
        id.linked = true;
    }
    if (stat(id.path.c_str(), &st) != 0) return refuse(error, "cannot write " + name + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) return refuse(error, "cannot write " + name + ": it is a folder");
    if (!S_ISREG(st.st_mode)) return refuse(error, "cannot write " + name + ": it exists and is not a regular file");
    if (access(id.path.c_str(), W_OK) != 0) return refuse(error, "cannot write " + name + ": " + std::strerror(errno));
    id.exists = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    return true;
}

size_t OutputPlan::find(const Identity &id) const {
    const auto same = inputs_by_path_.equal_range(std::hash<std::string>()(id.path));
    for (auto it = same.first; it != same.second; ++it)
        if (inputs_[it->second].path == id.path) return it->second;
    if (id.exists) {
        const auto inode = by_inode_.find({id.device, id.inode});
        if (inode != by_inode_.end()) return inode->second;
    }
    return kNone;
}

void OutputPlan::remember(const Identity &id, size_t key) {
    if (key < kOutput) inputs_by_path_.emplace(std::hash<std::string>()(id.path), key);
    if (id.exists) by_inode_.emplace(std::make_pair(id.device, id.inode), key);
}

bool OutputPlan::claim_output(size_t i, std::vector<std::pair<size_t, size_t>> &paths, std::string *error) {
    const std::string name = output_name(i);
    Identity id;
    if (!identify_output(name, id, error)) return false;
    const size_t hit = find(id);
    if (hit != kNone && hit < kOutput) {
        if (inputs_[hit].replaceable && i == 3 * frames_) return true;
        return refuse(error, "cannot write " + name + ": it is " + inputs_[hit].what + ", which this run reads");
    }
    if (hit != kNone)
        return refuse(error,
                      output_role(hit - kOutput) + " and " + output_role(i) + " would both be written to " + name);
    remember(id, kOutput + i);
    if (id.linked) linked_[i] = id.path;
    paths.emplace_back(std::hash<std::string>()(id.path), i);
    return true;
}

// The order outputs are claimed in: frame by frame, each image before its mask and its
// layers file, and the saved scene last; a refusal names the two outputs in this order.
size_t OutputPlan::claim_order(size_t i) const {
    if (i == 3 * frames_) return i;
    return 3 * (i % frames_) + i / frames_;
}

bool OutputPlan::refuse_shared_paths(std::vector<std::pair<size_t, size_t>> &paths, std::string *error) {
    // Sorted by hash, outputs with one path lie side by side; of those, the pair whose later
    // output comes first in claim order is named.
    std::sort(paths.begin(), paths.end());
    size_t first = kNone, second = kNone;
    for (size_t start = 0, end = 0; start < paths.size(); start = end) {
        while (end < paths.size() && paths[end].first == paths[start].first) ++end;
        for (size_t a = start; a < end; ++a)
            for (size_t b = a + 1; b < end; ++b) {
                size_t x = paths[a].second, y = paths[b].second;
                if (claim_order(x) > claim_order(y)) std::swap(x, y);
                if (second != kNone && claim_order(y) >= claim_order(second)) continue;
                Identity one, other;
                // Equal hashes are almost always equal paths; the paths are made again to be sure.
                if (identify_output(output_name(x), one, nullptr) && identify_output(output_name(y), other, nullptr) &&
                    one.path == other.path)
                    first = x, second = y;
            }
    }
    if (second == kNone) return true;
    return refuse(error, output_role(first) + " and " + output_role(second) + " would both be written to " +
                             output_name(second));
}

bool OutputPlan::resolve(const OutputNames &names, std::string *error) {
    names_ = names;
    frames_ = static_cast<size_t>(static_cast<long long>(names.last_frame) - names.first_frame + 1);
    std::vector<std::pair<size_t, size_t>> paths;  // each output's path's hash, and its number
    paths.reserve(3 * frames_ + 1);
    for (size_t f = 0; f < frames_; ++f) {
        if (!claim_output(f, paths, error)) return false;
        if (!names.mask.empty() && !claim_output(frames_ + f, paths, error)) return false;
        if (!names.layers.empty() && !claim_output(2 * frames_ + f, paths, error)) return false;
    }
    if (!names.saved_scene.empty() && !claim_output(3 * frames_, paths, error)) return false;
    return refuse_shared_paths(paths, error);
}

}  // namespace render
