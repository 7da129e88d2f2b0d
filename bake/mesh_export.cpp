#include "bake/mesh_export.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <assimp/DefaultIOSystem.h>
#include <assimp/Exporter.hpp>
#include <assimp/IOStream.hpp>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>

#include "render/atomic_file.h"

namespace bake {

namespace {

bool ends_with(const std::string &s, const std::string &suffix) {
    return s.size() >= suffix.size() &&
           std::equal(suffix.rbegin(), suffix.rend(), s.rbegin(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

// A file the exporter writes, kept in memory.
class MemoryStream : public Assimp::IOStream {
public:
    explicit MemoryStream(std::string &bytes) : bytes_(bytes) {}
    size_t Read(void *, size_t, size_t) override { return 0; }
    size_t Write(const void *buffer, size_t size, size_t count) override {
        const size_t n = size * count;
        if (position_ + n > bytes_.size()) bytes_.resize(position_ + n);
        std::memcpy(&bytes_[position_], buffer, n);
        position_ += n;
        return count;
    }
    aiReturn Seek(size_t offset, aiOrigin origin) override {
        const size_t base = origin == aiOrigin_SET ? 0 : origin == aiOrigin_CUR ? position_ : bytes_.size();
        // Writers seek past the end to leave room for a header they write last.
        if (base + offset > bytes_.size()) bytes_.resize(base + offset);
        position_ = base + offset;
        return aiReturn_SUCCESS;
    }
    size_t Tell() const override { return position_; }
    size_t FileSize() const override { return bytes_.size(); }
    void Flush() override {}

private:
    std::string &bytes_;
    size_t position_ = 0;
};

// Files opened for writing go to memory, by name; reading is the system's.
class MemoryIOSystem : public Assimp::DefaultIOSystem {
public:
    explicit MemoryIOSystem(std::map<std::string, std::string> &files) : files_(files) {}
    Assimp::IOStream *Open(const char *file, const char *mode) override {
        if (!std::strchr(mode, 'w')) return Assimp::DefaultIOSystem::Open(file, mode);
        std::string &bytes = files_[file];
        bytes.clear();
        return new MemoryStream(bytes);
    }
    void Close(Assimp::IOStream *stream) override { delete stream; }

private:
    std::map<std::string, std::string> &files_;
};

// Colours within what a float holds with room to spare, as the renderer bounds shading.
constexpr double kColorLimit = 1e30;

// glTF keeps the value as it is (within ±kColorLimit). PLY holds bytes, which the exporter makes by truncating
// c × 255 (and wraps outside 0..1): each channel is given as the middle of its rounded,
// clamped byte's interval, so that the truncation lands on that byte.
aiColor4D color_of(const Vec3d &v, bool bytes) {
    auto channel = [bytes](double c) {
        if (!bytes) return static_cast<float>(std::clamp(c == c ? c : 0.0, -kColorLimit, kColorLimit));
        const double b = std::round(std::clamp(c == c ? c : 0.0, 0.0, 1.0) * 255.0);
        return static_cast<float>((b + 0.5) / 255.0);
    };
    return aiColor4D(channel(v.x), channel(v.y), channel(v.z), 1.0f);
}

aiVector3D vector_of(const Vec3d &v) {
    return aiVector3D(static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z));
}

aiMesh *make_mesh(const BakedMesh &m, unsigned material, bool byte_colors) {
    auto mesh = std::make_unique<aiMesh>();
    mesh->mName = m.surface;
    mesh->mMaterialIndex = material;
    const unsigned n = static_cast<unsigned>(m.vertices.size());
    mesh->mNumVertices = n;
    mesh->mVertices = new aiVector3D[n];
    mesh->mNormals = new aiVector3D[n];
    mesh->mColors[0] = new aiColor4D[n];
    const bool uvs = !m.vertices.empty() && m.vertices[0].has_uv;
    if (uvs) {
        mesh->mTextureCoords[0] = new aiVector3D[n];
        mesh->mNumUVComponents[0] = 2;
    }
    for (unsigned i = 0; i < n; ++i) {
        const BakedVertex &v = m.vertices[i];
        mesh->mVertices[i] = vector_of(v.position);
        mesh->mNormals[i] = vector_of(v.normal);
        mesh->mColors[0][i] = color_of(v.value, byte_colors);
        if (uvs) mesh->mTextureCoords[0][i] = aiVector3D(v.uv[0], v.uv[1], 0.0f);
    }
    mesh->mNumFaces = static_cast<unsigned>(m.faces.size());
    mesh->mFaces = new aiFace[m.faces.size()];
    for (size_t f = 0; f < m.faces.size(); ++f) {
        aiFace &face = mesh->mFaces[f];
        face.mNumIndices = static_cast<unsigned>(m.faces[f].size());
        face.mIndices = new unsigned[face.mNumIndices];
        std::copy(m.faces[f].begin(), m.faces[f].end(), face.mIndices);
        mesh->mPrimitiveTypes |= face.mNumIndices == 3 ? aiPrimitiveType_TRIANGLE : aiPrimitiveType_POLYGON;
    }
    return mesh.release();
}

// The scene the exporter is given: a node per layer, a mesh per layer and surface, a
// material per surface.
std::unique_ptr<aiScene> make_scene(const std::vector<BakedMesh> &meshes, bool byte_colors) {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("Baked");
    std::map<std::string, unsigned> materials;
    std::vector<aiMaterial *> material_list;
    std::map<int, std::vector<unsigned>> layer_meshes;
    scene->mMeshes = new aiMesh *[std::max<size_t>(meshes.size(), 1)];
    for (size_t i = 0; i < meshes.size(); ++i) {
        const BakedMesh &m = meshes[i];
        auto found = materials.find(m.surface);
        if (found == materials.end()) {
            auto *material = new aiMaterial;
            const aiString name(m.surface);
            material->AddProperty(&name, AI_MATKEY_NAME);
            const aiColor3D color(static_cast<float>(m.base_color.x), static_cast<float>(m.base_color.y),
                                  static_cast<float>(m.base_color.z));
            material->AddProperty(&color, 1, AI_MATKEY_COLOR_DIFFUSE);
            found = materials.emplace(m.surface, static_cast<unsigned>(material_list.size())).first;
            material_list.push_back(material);
        }
        scene->mMeshes[i] = make_mesh(m, found->second, byte_colors);
        scene->mNumMeshes = static_cast<unsigned>(i + 1);
        layer_meshes[m.layer].push_back(static_cast<unsigned>(i));
    }
    if (material_list.empty()) material_list.push_back(new aiMaterial);
    scene->mNumMaterials = static_cast<unsigned>(material_list.size());
    scene->mMaterials = new aiMaterial *[material_list.size()];
    std::copy(material_list.begin(), material_list.end(), scene->mMaterials);

    aiNode *root = scene->mRootNode;
    root->mNumChildren = static_cast<unsigned>(layer_meshes.size());
    root->mChildren = new aiNode *[std::max<size_t>(layer_meshes.size(), 1)];
    unsigned child = 0;
    for (const auto &[layer, indices] : layer_meshes) {
        auto *node = new aiNode("Layer " + std::to_string(layer + 1));
        node->mParent = root;
        node->mNumMeshes = static_cast<unsigned>(indices.size());
        node->mMeshes = new unsigned[indices.size()];
        std::copy(indices.begin(), indices.end(), node->mMeshes);
        root->mChildren[child++] = node;
    }
    return scene;
}

}  // namespace

bool mesh_format_for(const std::string &path, std::string &format, std::string *error) {
    if (ends_with(path, ".ply")) return format = "ply", true;
    if (ends_with(path, ".glb")) return format = "glb2", true;
    if (ends_with(path, ".gltf")) return format = "gltf2", true;
    if (error) *error = "cannot write a vertex bake to " + path + ": the name must end in .ply, .glb or .gltf";
    return false;
}

bool export_baked_meshes(const std::string &path, const std::vector<BakedMesh> &meshes, std::string *error) {
    std::string format;
    if (!mesh_format_for(path, format, error)) return false;
    if (meshes.empty()) {
        if (error) *error = "cannot write " + path + ": the object has no polygon to bake";
        return false;
    }
    const std::unique_ptr<aiScene> scene = make_scene(meshes, format == "ply");
    std::map<std::string, std::string> files;
    Assimp::Exporter exporter;
    exporter.SetIOHandler(new MemoryIOSystem(files));  // the exporter owns it
    // glTF holds triangles only; PLY keeps the polygons.
    const unsigned steps = format == "ply" ? 0u : static_cast<unsigned>(aiProcess_Triangulate);
    if (exporter.Export(scene.get(), format, path, steps) != AI_SUCCESS) {
        if (error) *error = "cannot write " + path + ": " + exporter.GetErrorString();
        return false;
    }
    // The main file last: a reader that finds it finds its buffer too.
    for (const auto &[name, bytes] : files)
        if (name != path && !render::write_file_atomically(name, bytes, error)) return false;
    auto main = files.find(path);
    if (main == files.end()) {
        if (error) *error = "cannot write " + path + ": the exporter wrote nothing";
        return false;
    }
    return render::write_file_atomically(path, main->second, error);
}

}  // namespace bake
