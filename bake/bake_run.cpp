#include "bake/bake_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "bake/mesh_export.h"
#include "bake/texture_bake.h"
#include "bake/vertex_bake.h"
#include "render/image_output.h"
#include "render/path_parts.h"
#include "render/limits.h"
#include "render/mask.h"
#include "render/progress.h"
#include "render/ray_caster.h"

namespace bake {

using namespace refhost;

namespace {

// Memory a vertex bake takes per polygon corner: the layout's vertex and its key, the
// exporter's scene and its copy of it, and the file's text. Measured at about 210 bytes
// for PLY and 300 for GLB (a 700 x 700 floor grid, peak resident memory over a render's);
// twice that is allowed.
constexpr double kVertexBakeBytesPerCorner = 600.0;

size_t extension_start(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? path.size() : dot;
}

// An object's name as it may stand in a file name.
std::string file_safe(const std::string &name) {
    std::string out;
    for (char c : name) out += (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 32) ? '_' : c;
    return out.empty() ? "object" : out;
}

bool carries_shader(const Item &object, const ShaderServer &server) {
    for (const Surface *s : object.surfaces)
        for (const ShaderBinding &b : s->shaders)
            if (b.handler == &server.handler) return true;
    return false;
}

// The objects named (all that carry the shader when none are); false with a reason when a
// named one is missing or carries no shader.
bool objects_to_bake(const Scene &scene, const ShaderServer &server, const std::vector<std::string> &names,
                     std::vector<const Item *> &out, std::string *error) {
    for (const Item *object : scene.objects())
        if (names.empty() && carries_shader(*object, server)) out.push_back(object);
    for (const std::string &name : names) {
        const Item *object = scene.find_object_by_filename(name);
        if (!object || !carries_shader(*object, server)) {
            if (error) *error = "bake.objects: the scene has no object " + name + " that carries the shader";
            return false;
        }
        if (std::find(out.begin(), out.end(), object) == out.end()) out.push_back(object);
    }
    if (out.empty() && error) *error = "no object carries the shader: there is nothing to bake";
    return !out.empty();
}

// Texture files: OpenEXR in float unless half is asked for, PNG as images are.
std::string texture_depth(const std::string &path, const std::string &depth) {
    const bool exr = path.size() >= 4 && path.compare(path.size() - 4, 4, ".exr") == 0;
    return depth.empty() && exr ? "float" : depth;
}

bool same_file(const std::string &a, const std::string &b) {
    std::error_code ec;
    return std::filesystem::exists(a, ec) && std::filesystem::exists(b, ec) && std::filesystem::equivalent(a, b, ec);
}

// Calls a render callback of every shader bound to a surface now.
template <typename F>
void each_binding(Scene &scene, F f) {
    for (const auto &surface : scene.surfaces())
        for (const ShaderBinding &b : surface->shaders)
            if (b.handler && b.handler->rend) f(*b.handler->rend, b.instance);
}

// Where the run writes an object's bake of a frame, for each output pattern.
std::vector<std::string> output_paths(const BakeRequest &r, const Item &object, bool several_objects, int frame) {
    std::vector<std::string> paths;
    for (const std::string &pattern : r.outputs)
        paths.push_back(bake_file_name(pattern, object.name, several_objects, frame, r.last_frame > r.first_frame));
    return paths;
}

// A file the bake may write: its folder exists, and a file already there is a regular one
// (opening a pipe or a device could hold the writer for good).
bool writable(const std::string &path, std::string *error) {
    const std::string folder = render::folder_of(path);
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (error) *error = "cannot write " + path + ": the folder " + folder + " does not exist";
        return false;
    }
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (error) *error = "cannot write " + path + ": it exists and is not a regular file";
        return false;
    }
    return true;
}

// The run's files, checked on its first frame before any work (later frames differ only by
// their numbers): their formats, that no two are one, that none is a file the run reads,
// and that each can be written.
bool plan(const Scene &scene, const BakeRequest &r, const std::vector<const Item *> &objects, std::string *error) {
    for (const std::string &pattern : r.outputs) {
        if (r.options.mode == BakeMode::Vertex) {
            std::string format;
            if (!mesh_format_for(pattern, format, error)) return false;
        } else {
            render::ImageFormat format;
            if (!render::image_format_for(pattern, texture_depth(pattern, r.depth), format, error)) return false;
        }
    }
    std::vector<std::string> inputs = r.inputs;
    for (const auto &image : scene.images()) inputs.push_back(image->filename);
    std::set<std::string> names;
    for (const Item *object : objects) {
        for (const std::string &path : output_paths(r, *object, objects.size() > 1, r.first_frame)) {
            if (!names.insert(path).second) {
                if (error) *error = "two bakes would be written to " + path;
                return false;
            }
            // A .gltf file's buffer is written beside it, under its name with .bin.
            std::vector<std::string> written{path};
            if (path.size() > 5 && path.compare(path.size() - 5, 5, ".gltf") == 0)
                written.push_back(path.substr(0, path.size() - 5) + ".bin");
            for (const std::string &input : inputs) {
                for (const std::string &file : written) {
                    if (same_file(input, file)) {
                        if (error) *error = "will not write over " + input + ", which this run reads";
                        return false;
                    }
                }
            }
            if (!writable(path, error)) return false;
        }
    }
    return true;
}

bool write_texture(const std::string &path, const std::string &depth, BakeChannel channel, const TextureBake &bake,
                   std::string *error) {
    render::ImageFormat format;
    if (!render::image_format_for(path, texture_depth(path, depth), format, error)) return false;
    render::RgbImage image;
    image.width = image.height = bake.size;
    image.rgb.resize(bake.value.size() * 3);
    for (size_t i = 0; i < bake.value.size(); ++i) {
        image.rgb[3 * i + 0] = static_cast<float>(bake.value[i].x);
        image.rgb[3 * i + 1] = static_cast<float>(bake.value[i].y);
        image.rgb[3 * i + 2] = static_cast<float>(bake.value[i].z);
    }
    // Both writers write atomically.
    return channel == BakeChannel::Weight ? render::write_mask(path, format, image, error)
                                          : render::write_beauty(path, format, image, error);
}

void add(render::PoolStats &total, const render::PoolStats &s) {
    total.spots_shaded += s.spots_shaded;
    total.plugin_rays += s.plugin_rays;
    total.seconds += s.seconds;
    total.started_threads = std::max(total.started_threads, s.started_threads);
}

}  // namespace

std::vector<std::string> default_bake_outputs(BakeMode mode, const std::string &input) {
    std::string stem = input.empty() ? "dirt" : std::filesystem::path(input).stem().string() + "-dirt";
    if (mode == BakeMode::Vertex) return {stem + ".ply", stem + ".glb"};
    return {stem + ".png"};
}

std::string bake_file_name(const std::string &pattern, const std::string &object, bool several_objects, int frame,
                           bool several_frames) {
    std::string name = pattern;
    const std::string marker = "{object}";
    const size_t at = name.find(marker);
    if (at != std::string::npos) {
        name.replace(at, marker.size(), file_safe(object));
    } else if (several_objects) {
        const size_t dot = extension_start(name);
        name = name.substr(0, dot) + "_" + file_safe(object) + name.substr(dot);
    }
    return render::frame_file_name(name, frame, several_frames);
}

namespace {

// Every check of a run, before anything is written: the objects, their files, their
// texture coordinates and the memory the bake takes.
bool plan_run(Host &host, const ShaderServer &server, const BakeRequest &r, std::vector<const Item *> &objects,
              std::string *error) {
    Scene &scene = host.scene();
    if (!objects_to_bake(scene, server, r.objects, objects, error)) return false;
    if (!plan(scene, r, objects, error)) return false;

    double bytes = 0.0;
    if (r.options.mode == BakeMode::Texture) {
        // Texture bakes need texture coordinates, and memory for the texels' sample points.
        for (const Item *object : objects) {
            const auto g = build_object_geometry(scene, *object, r.first_frame / r.fps);
            if (uv_triangles(*g).empty()) {
                if (error)
                    *error = "object " + object->name +
                             " has no texture coordinates: a texture bake needs a UV set (--bake vertex needs none)";
                return false;
            }
        }
        bytes = texture_bake_bytes(r.options.size, r.samples);
    } else {
        // The largest object's vertices, the exporter's copy of them and the file in memory.
        for (const Item *object : objects)
            bytes = std::max(bytes, kVertexBakeBytesPerCorner * render::count_object(*object).corners);
    }
    bytes += r.scene_bytes;
    if (!render::within_memory(bytes)) {
        if (error) {
            *error = r.options.mode == BakeMode::Texture
                         ? "a " + std::to_string(r.options.size) + " x " + std::to_string(r.options.size) +
                               " texture with " + std::to_string(r.samples) + " samples: the bake with its scene " +
                               render::memory_refusal(bytes)
                         : "the vertex bake with its scene " + render::memory_refusal(bytes);
        }
        return false;
    }
    return true;
}

}  // namespace

bool check_bake(Host &host, const ShaderServer &server, const BakeRequest &request, std::string *error) {
    std::vector<const Item *> objects;
    return plan_run(host, server, request, objects, error);
}

namespace {

// One object's bake at one frame, written to each of its files.
struct FrameBake {
    const BakeRequest &r;
    const render::RayCaster &caster;
    render::ProgressBar &bar;
    BakeSummary &summary;
    std::map<const Surface *, Vec3d> base_colors;  // the surfaces' own, for the materials
    std::set<std::string> warned;
    int pass = 0;

    void warn_once(const Item &object, const std::string &what, const std::string &message) {
        if (r.warn && warned.insert(object.name + "\n" + what).second) r.warn("object " + object.name + ": " + message);
    }

    bool bake(const Item &object, const ObjectGeometry &g, const std::vector<std::string> &paths, int frame,
              std::string *error) {
        auto progress = [&](double share) { bar.update(frame - r.first_frame, pass, share); };
        std::vector<BakedMesh> meshes;
        TextureBake baked;
        if (r.options.mode == BakeMode::Texture) {
            const std::vector<UvTriangle> triangles = uv_triangles(g);
            if (const long outside = triangles_outside_unit_square(triangles))
                warn_once(object, "outside",
                          std::to_string(outside) + " of its " + std::to_string(triangles.size()) +
                              " UV triangles reach outside 0..1 (tiled UVs); only what lies inside is baked");
            add(summary.stats, bake_texture(caster, g, triangles, r.options.size, r.samples, r.options.padding,
                                            r.threads, progress, baked));
            summary.points += static_cast<long>(baked.value.size());
            if (baked.overlapping_points > 0)
                warn_once(object, "overlap",
                          "its UVs overlap (" + std::to_string(baked.overlapping_points) +
                              " sample points lie in more than one polygon); the first polygon's dirt is baked there");
        } else {
            meshes = vertex_layout(object, g);
            for (BakedMesh &m : meshes)
                if (m.source) m.base_color = base_colors[m.source];
            add(summary.stats, bake_vertices(caster, g, meshes, r.threads, progress));
            summary.points += vertex_count(meshes);
        }
        for (const std::string &path : paths) {
            const bool written = r.options.mode == BakeMode::Texture
                                     ? write_texture(path, r.depth, r.options.channel, baked, error)
                                     : export_baked_meshes(path, meshes, error);
            if (!written) return false;
            bar.finish();
            if (r.note) r.note("wrote " + path);
            ++pass;
        }
        return true;
    }
};

}  // namespace

bool run_bake(Host &host, const ShaderServer &server, const BakeRequest &r, BakeSummary &summary,
              std::string *error) {
    Scene &scene = host.scene();
    std::vector<const Item *> objects;
    if (!plan_run(host, server, r, objects, error)) return false;
    render::ProgressBar bar(r.progress, r.last_frame - r.first_frame + 1,
                            static_cast<int>(objects.size() * r.outputs.size()));
    render::RayCaster caster(scene);
    FrameBake frame_bake{r, caster, bar, summary, {}, {}, 0};
    // Taken before the mask pass blackens them.
    for (const auto &surface : scene.surfaces())
        frame_bake.base_colors[surface.get()] = {surface->values.color[0], surface->values.color[1],
                                                 surface->values.color[2]};

    render::MaskShaders mask(host, server);
    if (r.options.channel == BakeChannel::Weight) {
        if (!mask.create(error)) return false;
        mask.bind();
    }
    each_binding(scene, [](const LWRenderFuncs &f, LWInstance i) {
        if (f.init) f.init(i, LWINIT_RENDER);
    });
    bool ok = true;
    for (int frame = r.first_frame; frame <= r.last_frame && ok; ++frame) {
        const double time = frame / r.fps;
        scene.current_time = time;
        each_binding(scene, [&](const LWRenderFuncs &f, LWInstance i) {
            if (f.newTime) f.newTime(i, frame, time);
        });
        ok = caster.ready(error);
        frame_bake.pass = 0;
        for (size_t i = 0; i < objects.size() && ok; ++i) {
            const auto g = build_object_geometry(scene, *objects[i], time);
            ok = frame_bake.bake(*objects[i], *g, output_paths(r, *objects[i], objects.size() > 1, frame), frame, error);
        }
    }
    each_binding(scene, [](const LWRenderFuncs &f, LWInstance i) {
        if (f.cleanup) f.cleanup(i);
    });
    bar.finish();
    return ok;
}

}  // namespace bake
