#include "render/mesh_import.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <assimp/DefaultIOSystem.h>
#include <assimp/Importer.hpp>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "render/lwo_surfaces.h"

namespace render {

namespace {

std::string material_name(const aiScene *s, unsigned index) {
    if (index >= s->mNumMaterials) return "Default";
    aiString name;
    if (s->mMaterials[index]->Get(AI_MATKEY_NAME, name) == AI_SUCCESS && name.length > 0)
        return name.C_Str();
    return "Default";
}

void base_values_from_material(const aiMaterial *m, SurfaceValues &v) {
    aiColor3D c;
    if (m->Get(AI_MATKEY_COLOR_DIFFUSE, c) == AI_SUCCESS) {
        v.color[0] = static_cast<double>(c.r);
        v.color[1] = static_cast<double>(c.g);
        v.color[2] = static_cast<double>(c.b);
    }
}

// A finite position as the welding index keys it: the bits of its three coordinates, with
// -0 taken as 0 (the same position).
struct PositionKey {
    uint32_t bits[3];
    PositionKey(float x, float y, float z) {
        const float c[3] = {x + 0.0f, y + 0.0f, z + 0.0f};  // -0 + 0 is +0
        std::memcpy(bits, c, sizeof bits);
    }
    bool operator==(const PositionKey &o) const {
        return bits[0] == o.bits[0] && bits[1] == o.bits[1] && bits[2] == o.bits[2];
    }
    size_t hash() const {
        uint64_t h = bits[0];
        h = h * 0x9E3779B97F4A7C15ull + bits[1];
        h = h * 0x9E3779B97F4A7C15ull + bits[2];
        return static_cast<size_t>((h * 0x9E3779B97F4A7C15ull) >> 20);
    }
};

// The points of a layer by position: an open-addressing hash table, where a million
// points weld in a fraction of the time an ordered map (or a map of nodes) takes. Points
// are still made in the order the file first gives each position.
class PointIndex {
public:
    // The point at a position; null until the caller sets it.
    Point *&operator[](const PositionKey &key) {
        if (2 * (used_ + 1) > slots_.size()) grow();
        Slot &slot = find(key);
        if (!slot.used) slot = {key, nullptr, true}, ++used_;
        return slot.point;
    }

private:
    struct Slot {
        PositionKey key{0, 0, 0};
        Point *point = nullptr;
        bool used = false;
    };
    Slot &find(const PositionKey &key) {
        const size_t mask = slots_.size() - 1;
        size_t at = key.hash() & mask;
        while (slots_[at].used && !(slots_[at].key == key)) at = (at + 1) & mask;
        return slots_[at];
    }
    void grow() {
        std::vector<Slot> old(std::max<size_t>(64, 2 * slots_.size()));
        old.swap(slots_);
        for (const Slot &s : old)
            if (s.used) find(s.key) = s;
    }
    std::vector<Slot> slots_;
    size_t used_ = 0;
};

// Adds one mesh of the file to a layer, moving its points by the node's transform. Points
// at exactly the same position are welded into one, since importers often split them by
// normal or texture coordinate, and smoothing needs polygons to share their points.
void add_mesh(const aiMesh *am, const aiMatrix4x4 &xf, const std::string &surface, bool keep_normals, Mesh &mesh,
              PointIndex &index) {
    // Normals turn with the inverse transpose of the node's transform.
    aiMatrix3x3 normal_xf(xf);
    normal_xf.Inverse().Transpose();
    const bool normals = keep_normals && am->HasNormals();
    const bool uvs = am->HasTextureCoords(0);
    std::vector<Point *> points(am->mNumVertices);
    for (unsigned i = 0; i < am->mNumVertices; ++i) {
        const aiVector3D p = xf * am->mVertices[i];
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            // Not welded: such a point has no place in the ordered index (and the scene's
            // extent check refuses it).
            points[i] = mesh.add_point(p.x, p.y, p.z);
            continue;
        }
        Point *&slot = index[{p.x, p.y, p.z}];
        if (!slot) slot = mesh.add_point(p.x, p.y, p.z);
        points[i] = slot;
    }
    for (unsigned f = 0; f < am->mNumFaces; ++f) {
        const aiFace &face = am->mFaces[f];
        if (face.mNumIndices < 3) continue;  // points and lines are not shaded
        std::vector<Point *> vertices;
        std::vector<std::array<float, 3>> corner_normals;
        std::vector<std::array<float, 2>> corner_uvs;
        for (unsigned k = 0; k < face.mNumIndices; ++k) {
            if (face.mIndices[k] >= points.size()) continue;
            vertices.push_back(points[face.mIndices[k]]);
            if (normals) {
                aiVector3D n = normal_xf * am->mNormals[face.mIndices[k]];
                n.NormalizeSafe();
                corner_normals.push_back({n.x, n.y, n.z});
            }
            if (uvs) {
                const aiVector3D &t = am->mTextureCoords[0][face.mIndices[k]];
                corner_uvs.push_back({t.x, t.y});
            }
        }
        if (vertices.size() < 3) continue;
        Polygon *polygon = mesh.add_polygon(std::move(vertices), surface);
        if (normals) polygon->normals = std::move(corner_normals);
        if (uvs) polygon->uvs = std::move(corner_uvs);
    }
}

// Whether the mesh's normals differ between the corners of any one face: only then are
// they vertex normals, which smooth. Facet normals copied to every corner are not.
bool has_vertex_normals(const aiMesh *am) {
    if (!am->HasNormals()) return false;
    for (unsigned f = 0; f < am->mNumFaces; ++f) {
        const aiFace &face = am->mFaces[f];
        if (face.mNumIndices < 3 || face.mIndices[0] >= am->mNumVertices) continue;
        const aiVector3D &first = am->mNormals[face.mIndices[0]];
        for (unsigned k = 1; k < face.mNumIndices; ++k)
            if (face.mIndices[k] < am->mNumVertices && (am->mNormals[face.mIndices[k]] - first).SquareLength() > 1e-8f)
                return true;
    }
    return false;
}

// How the file's surfaces are smoothed: a LightWave object's by its surfaces' own angles,
// any other file's by the default angle and the normals it gives.
struct Smoothing {
    bool lightwave = false;
    std::map<std::string, double> angles;  // LightWave objects: by surface name

    double angle(const std::string &surface) const {
        if (!lightwave) return kDefaultSmoothingAngle;
        auto found = angles.find(surface);
        return found == angles.end() ? 0.0 : found->second;
    }
};

// Every node that carries geometry becomes a layer of its own, in file order (depth first).
// The walk keeps its own stack: files may nest nodes arbitrarily deep.
void walk(const aiScene *s, const aiMatrix4x4 &up, int &next_layer, const Smoothing &smoothing, Scene &scene,
          Item &object, std::set<std::string> &surfaces) {
    std::vector<std::pair<const aiNode *, aiMatrix4x4>> pending{{s->mRootNode, up}};
    while (!pending.empty()) {
        const aiNode *node = pending.back().first;
        const aiMatrix4x4 xf = pending.back().second * node->mTransformation;
        pending.pop_back();
        if (node->mNumMeshes > 0) {
            Layer &layer = object.add_layer(next_layer++);
            PointIndex index;
            for (unsigned i = 0; i < node->mNumMeshes; ++i) {
                if (node->mMeshes[i] >= s->mNumMeshes) continue;
                const aiMesh *am = s->mMeshes[node->mMeshes[i]];
                const std::string surface = material_name(s, am->mMaterialIndex);
                if (surfaces.insert(surface).second) {
                    Surface &srf = scene.add_surface(object, surface);
                    if (am->mMaterialIndex < s->mNumMaterials)
                        base_values_from_material(s->mMaterials[am->mMaterialIndex], srf.values);
                    srf.values.smoothing_angle = smoothing.angle(surface);
                }
                add_mesh(am, xf, surface, !smoothing.lightwave && has_vertex_normals(am), layer.mesh, index);
            }
        }
        for (unsigned i = node->mNumChildren; i-- > 0;) pending.emplace_back(node->mChildren[i], xf);
    }
}

// The axes the user may name, as the file's axis number and sign.
struct UpName {
    UpAxis up;
    const char *name;
    int axis, sign;
};
constexpr UpName kUpNames[] = {
    {UpAxis::X, "x", 0, 1},       {UpAxis::Y, "y", 1, 1},       {UpAxis::Z, "z", 2, 1},
    {UpAxis::MinusX, "-x", 0, -1}, {UpAxis::MinusY, "-y", 1, -1}, {UpAxis::MinusZ, "-z", 2, -1},
};

// The file's up axis as it states it: 0, 1 or 2 for X, Y or Z, and its sign.
std::pair<int, int> stated_up_axis(const aiScene *s) {
    int axis = 1, sign = 1;
    if (!s->mMetaData) return {axis, sign};
    aiString format;
    // Blender's scenes are Z-up by the program's own convention, and its files do not say.
    if (s->mMetaData->Get("SourceAsset_Format", format) && std::string(format.C_Str()).rfind("Blender 3D", 0) == 0)
        return {2, 1};
    int32_t stated = 0, stated_sign = 1;
    if (s->mMetaData->Get("UpAxis", stated) && stated >= 0 && stated <= 2) axis = stated;
    if (s->mMetaData->Get("UpAxisSign", stated_sign) && stated_sign == -1) sign = -1;
    return {axis, sign};
}

// The rotation that turns the up axis onto +Y (right-handed, so nothing is mirrored).
aiMatrix4x4 up_rotation(int axis, int sign) {
    const float s = static_cast<float>(sign);
    switch (axis) {
    case 0:  // +X up: (x, y, z) to (-y, x, z)
        return aiMatrix4x4(0, -s, 0, 0, s, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    case 2:  // +Z up: (x, y, z) to (x, z, -y)
        return aiMatrix4x4(1, 0, 0, 0, 0, 0, s, 0, 0, -s, 0, 0, 0, 0, 0, 1);
    default:  // Y up as it is, or down: turned over about X
        return aiMatrix4x4(1, 0, 0, 0, 0, s, 0, 0, 0, 0, s, 0, 0, 0, 0, 1);
    }
}

// What the file holds that is not read, in one line; empty when nothing is left out.
std::string left_out(const std::string &path, const std::vector<unsigned char> &bytes, const aiScene *s) {
    if (bytes.size() >= 4 && std::string(bytes.begin(), bytes.begin() + 4) == "LWSC")
        return path + ": a LightWave scene: its objects are read as the scene first places them; its motion, " +
               "cameras and lights are ignored";
    if (s->mNumAnimations > 0) return path + ": its animation is ignored: the objects render as the file places them";
    return "";
}

// The importer's own file access, noting every file it opens.
class RecordingIOSystem : public Assimp::DefaultIOSystem {
public:
    explicit RecordingIOSystem(std::vector<std::string> &opened) : opened_(opened) {}
    Assimp::IOStream *Open(const char *file, const char *mode) override {
        Assimp::IOStream *stream = DefaultIOSystem::Open(file, mode);
        if (stream && file && std::find(opened_.begin(), opened_.end(), file) == opened_.end())
            opened_.push_back(file);
        return stream;
    }

private:
    std::vector<std::string> &opened_;
};

}  // namespace

bool up_axis_named(const std::string &name, UpAxis &up) {
    for (const UpName &n : kUpNames)
        if (name == n.name) {
            up = n.up;
            return true;
        }
    return false;
}

const char *up_axis_name(UpAxis up) {
    for (const UpName &n : kUpNames)
        if (up == n.up) return n.name;
    return "";
}

bool import_mesh_file(const std::string &path, Scene &scene, Item &object, std::string *error,
                      std::vector<std::string> *warnings, const ImportOptions &options,
                      std::vector<std::string> *files_read) {
    Assimp::Importer importer;
    if (files_read) importer.SetIOHandler(new RecordingIOSystem(*files_read));  // the importer owns it
    // Shared points matter to smoothing; polygons are kept as they are (no triangulation).
    const aiScene *s = importer.ReadFile(path, aiProcess_JoinIdenticalVertices | aiProcess_SortByPType);
    if (!s || !s->mRootNode || (s->mFlags & AI_SCENE_FLAGS_INCOMPLETE)) {
        if (error) *error = "cannot read mesh " + path + ": " + importer.GetErrorString();
        return false;
    }
    std::set<std::string> surfaces;
    for (const Surface *srf : object.surfaces) surfaces.insert(srf->name);
    Smoothing smoothing;
    const std::vector<unsigned char> bytes = read_file_bytes(path);
    smoothing.lightwave = is_lwo(bytes);
    if (smoothing.lightwave) smoothing.angles = lwo_smoothing_angles(bytes);
    std::pair<int, int> up = stated_up_axis(s);
    for (const UpName &n : kUpNames)
        if (options.up == n.up) up = {n.axis, n.sign};
    int next_layer = static_cast<int>(object.layers.size());
    walk(s, up_rotation(up.first, up.second), next_layer, smoothing, scene, object, surfaces);
    if (object.layers.empty()) {
        if (error) *error = "cannot read mesh " + path + ": it has no polygons";
        return false;
    }
    const std::string note = left_out(path, bytes, s);
    if (warnings && !note.empty()) warnings->push_back(note);
    return true;
}

}  // namespace render
