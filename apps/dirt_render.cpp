// dirt-render: renders a scene with the Ormel_Dirt shader, loading the plug-in file
// through the reference host exactly as LightWave loads it.
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "bake/bake_command.h"
#include "bake/bake_settings.h"
#include "refhost/block_io.h"
#include "refhost/host.h"
#include "refhost/image_list.h"
#include "refhost/plugin.h"
#include "refhost/render_services.h"
#include "refhost/services.h"
#include "render/atomic_file.h"
#include "render/camera_choice.h"
#include "render/image_output.h"
#include "render/json_bytes.h"
#include "render/json_read.h"
#include "render/limits.h"
#include "render/mask.h"
#include "render/object_framing.h"
#include "render/output_choice.h"
#include "render/output_plan.h"
#include "render/pass_report.h"
#include "render/progress.h"
#include "render/render_options.h"
#include "render/renderer.h"
#include "render/scene_file.h"
#include "render/scene_save.h"
#include "render/settings_check.h"
#include "render/shader_limits.h"
#include "render/shader_setup.h"
#include "render/smoothing_override.h"
#include "render/surface_choice.h"
#include "render/texture_images.h"
#include "render/version_info.h"

using namespace refhost;
using namespace render;

namespace {

#ifdef ORMEL_BUILD_TEXT
constexpr const char *kBuildText = ORMEL_BUILD_TEXT;
#else
constexpr const char *kBuildText = "of unknown origin";
#endif

int fail(const std::string &message) {
    std::fprintf(stderr, "dirt-render: error: %s\n", one_line(message).c_str());
    return 1;
}

// A mistake on the command line: status 2.
int usage_fail(const std::string &message) {
    std::fprintf(stderr, "dirt-render: error: %s\n%s", one_line(message).c_str(), "try dirt-render --help\n");
    return 2;
}

void warn(const std::string &message) {
    std::fprintf(stderr, "dirt-render: warning: %s\n", one_line(message).c_str());
}

bool ends_with(const std::string &s, const std::string &suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The plug-in file: given, else beside this program, else where the build put it.
std::string plugin_path(const std::string &given) {
    if (!given.empty()) return given;
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = '\0';
        std::string dir(self);
        dir = dir.substr(0, dir.find_last_of('/'));
        const std::string beside = dir + "/Ormel_Dirt.p";
        if (access(beside.c_str(), R_OK) == 0) return beside;
    }
#ifdef ORMEL_PLUGIN_PATH
    return ORMEL_PLUGIN_PATH;
#else
    return "Ormel_Dirt.p";
#endif
}

RgbImage side_by_side(const RgbImage &left, const RgbImage &right) {
    RgbImage out;
    out.width = left.width + right.width;
    out.height = left.height;
    out.rgb.resize(static_cast<size_t>(out.width) * out.height * 3);
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < left.width; ++x)
            for (int k = 0; k < 3; ++k) out.pixel(x, y)[k] = left.pixel(x, y)[k];
        for (int x = 0; x < right.width; ++x)
            for (int k = 0; k < 3; ++k) out.pixel(left.width + x, y)[k] = right.pixel(x, y)[k];
    }
    return out;
}

bool user_sets(const RenderOptions &o, const char *setting) {
    for (const std::string &s : o.settings)
        if (s.compare(0, s.find('='), setting) == 0) return true;
    return false;
}

bool load_scene(const RenderOptions &o, Scene &scene, SceneDescription &desc, std::string *error) {
    if (o.input.empty()) {
        if (build_scene_from_json(parse_json(demo_scene_json(), "the demo scene"), ".", scene, desc, error)) return true;
        *error = "the demo scene: " + *error;
        return false;
    }
    if (access(o.input.c_str(), R_OK) != 0) {
        *error = "cannot read " + o.input;
        return false;
    }
    if (ends_with(o.input, ".json")) return load_scene_file(o.input, scene, desc, error);
    FramingChoices choices;
    choices.ground = o.ground;
    choices.choose_width = !user_sets(o, "dirt_width");
    choices.choose_sample_scale = !user_sets(o, "sample_scale");
    choices.aspect = static_cast<double>(o.height ? o.height : RenderSettings().height) /
                     static_cast<double>(o.width ? o.width : RenderSettings().width);
    if (!o.up.empty()) up_axis_named(o.up, choices.up);
    choices.camera = o.camera;
    choices.light_intensity = o.light_intensity;
    choices.fill_light = o.lights == "key-fill";
    return scene_for_object_file(o.input, choices, scene, desc, error);
}

// The summary's note of the values chosen for the user.
std::string chosen_note(const SceneDescription &desc) {
    char text[240];
    if (desc.chosen_width > 0.0 && desc.chosen_sample_scale > 0.0)
        std::snprintf(text, sizeof text,
                      "; dirt_width %g and sample_scale %g chosen from the object's size (--set dirt_width=W, "
                      "--set sample_scale=S to choose)",
                      desc.chosen_width, desc.chosen_sample_scale);
    else if (desc.chosen_width > 0.0 || desc.chosen_sample_scale > 0.0)
        std::snprintf(text, sizeof text, "; %s %g chosen from the object's size (--set %s to choose)",
                      desc.chosen_width > 0.0 ? "dirt_width" : "sample_scale",
                      desc.chosen_width > 0.0 ? desc.chosen_width : desc.chosen_sample_scale,
                      desc.chosen_width > 0.0 ? "dirt_width=W" : "sample_scale=S");
    else
        return "";
    return text;
}

// The formats of the outputs, before anything is loaded (render/output_plan.h checks the
// files themselves once every input is known).
bool check_formats(const RenderSettings &rs, const std::string &mask, ImageFormat &format, ImageFormat &mask_format,
                   std::string *error) {
    return image_format_for(rs.output, rs.depth, format, error) &&
           (mask.empty() || image_format_for(mask, rs.depth, mask_format, error));
}

// Every file the run reads, and every file it will write resolved against them and each
// other: false with a one-line reason before anything is written.
bool plan_outputs(const RenderOptions &o, const RenderSettings &rs, const std::string &plugin_file,
                  const SceneDescription &desc, const Scene &scene, OutputPlan &plan, std::string *error) {
    if (!o.input.empty()) {
        const bool scene_file = ends_with(o.input, ".json");
        plan.add_input(o.input, scene_file ? "the scene file" : "the object file", scene_file);
    }
    plan.add_input(plugin_file, "the plug-in file");
    plan.add_scene_inputs(desc, scene);
    OutputNames names;
    names.image = rs.output;
    names.mask = o.mask;
    names.saved_scene = o.save_scene;
    names.layers = o.layers;
    names.first_frame = rs.first_frame;
    names.last_frame = rs.last_frame;
    return plan.resolve(names, error);
}

// The plug-in's shader instances are destroyed on every way out of the run, an exception's
// included.
class ShaderRelease {
public:
    ShaderRelease(Host &host, ShaderServer &server) : host_(host), server_(server) {}
    ~ShaderRelease() { release_shaders(host_, server_); }
    ShaderRelease(const ShaderRelease &) = delete;
    ShaderRelease &operator=(const ShaderRelease &) = delete;

private:
    Host &host_;
    ShaderServer &server_;
};

// Bakes the dirt into vertex colours or a texture (bake/), with a progress line and a summary.
int run_bake(Host &host, const ShaderServer &server, const RenderOptions &o, bake::BakeRequest &request) {
    request.progress = !o.quiet && isatty(STDERR_FILENO);
    request.warn = warn;
    request.note = [&](const std::string &line) {
        if (!o.quiet) std::fprintf(stderr, "%s\n", line.c_str());
    };
    bake::BakeSummary summary;
    std::string error;
    if (!bake::run_bake(host, server, request, summary, &error)) return fail(error);
    if (!o.quiet) std::fprintf(stderr, "%s\n", bake::bake_summary_line(request, summary).c_str());
    return 0;
}

// A frame's output exists and decodes whole, at the size this run would write it: a
// restarted job need not render it again (--skip-existing).
bool output_complete(const std::string &path, int width, int height) {
    RgbImage image;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    const bool read = ends_with(path, ".exr") ? read_exr(path, image, nullptr) : read_png(path, image, nullptr);
    return read && image.width == width && image.height == height;
}

// Checks the options that depend on what is rendered; a one-line reason when they clash.
std::string option_clash(const RenderOptions &o, bool object_render) {
    if (!o.up.empty() && !object_render) return "--up is for an object file; in a scene file an object takes \"up\"";
    if (!object_render && (o.camera.view_given || o.camera.distance > 0.0))
        return "--view and --distance frame an object file; for a scene use --camera-position, --look-at and --fov";
    if (!object_render && (o.light_intensity >= 0.0 || !o.lights.empty()))
        return "--light-intensity and --lights light an object file; a scene file holds its own lights";
    if (o.alpha && o.compare) return "--alpha and --compare: a side-by-side image has no single background to clear";
    const CameraChoice &c = o.camera;
    if (c.position_given && c.look_at_given && c.position.x == c.look_at.x && c.position.y == c.look_at.y &&
        c.position.z == c.look_at.z)
        return "the camera cannot look at its own position (--camera-position, --look-at)";
    return "";
}

// Where a message about the scene's content points: its file, when it has one.
std::string scene_place(const RenderOptions &o) { return o.input.empty() ? "the demo scene: " : o.input + ": "; }

int run(int argc, char **argv) {
    RenderOptions o;
    std::string error;
    // The bake options are taken out first; the renderer's parser reads the rest.
    std::vector<std::string> args(argv + 1, argv + argc);
    bake::BakeOptions bake_options;
    std::vector<const char *> rest{argv[0]};
    const bool bake_parsed = bake::take_bake_options(args, bake_options, &error);
    for (const std::string &a : args) rest.push_back(a.c_str());
    if (!bake_parsed || !parse_render_options(static_cast<int>(rest.size()), rest.data(), o, &error))
        return usage_fail(error);
    if (o.help) {
        std::fputs(render_usage().c_str(), stdout);
        std::fputs(bake::bake_usage(), stdout);
        return 0;
    }
    if (o.version) {
        std::string plugin_version;
        if (!plugin_description(plugin_path(o.plugin), plugin_version, &error)) return fail(error);
        std::printf("%s\ndirt-render, build %s, GCC %s\n", plugin_version.c_str(), kBuildText, __VERSION__);
        return 0;
    }
    const bool object_render = !o.input.empty() && !ends_with(o.input, ".json");
    const std::string clash = option_clash(o, object_render);
    if (!clash.empty()) return usage_fail(clash);
    if (o.camera.turntable && !o.frames_given)
        o.frames_given = true, o.first_frame = 0, o.last_frame = o.camera.turntable - 1;
    set_limits(o.limits);

    Host host;
    install_instance_services(host);
    set_image_file_reader(host, read_png_image);
    install_render_services(host);
    SceneDescription desc;
    if (!load_scene(o, host.scene(), desc, &error)) return fail(error);
    // Texture images are found beside the scene file, as its object files are.
    set_image_folder(host, desc.base_dir);
    for (const std::string &w : desc.warnings) warn(w);
    if (!apply_smoothing_overrides(host.scene(), desc, o.smoothing, &error)) return usage_fail(error);
    if (!o.ground_dirt && object_render && o.ground) o.no_dirt.push_back("Ground/Ground");
    for (const std::string &scope : o.no_dirt) {
        const std::string unmatched = unmatched_scope(host.scene(), scope, "--no-dirt");
        if (!unmatched.empty()) return usage_fail(unmatched);
    }
    for (const std::string &set : o.settings) {
        const std::string scope = setting_scope(set, nullptr);
        const std::string unmatched = scope.empty() ? "" : unmatched_scope(host.scene(), scope, "--set " + set);
        if (!unmatched.empty()) return usage_fail(unmatched);
    }
    remove_dirt(desc, o.no_dirt);
    if (!object_render && !apply_camera_choice(o.camera, host.scene(), desc, &error)) return usage_fail(error);
    if (o.background_given) {
        host.scene().backdrop_color = {o.background[0], o.background[1], o.background[2]};
        desc.document["background"] = {o.background[0], o.background[1], o.background[2]};
    }

    RenderSettings &rs = desc.render;
    if (!bake::read_bake_settings(desc.document, bake_options, &error)) return fail(scene_place(o) + error);
    const bool baking = bake_options.mode != bake::BakeMode::None;
    if (!apply_command_line_outputs(o, rs, &error, !baking)) return usage_fail(error);
    if (!bake::idle_bake_options(bake_options).empty()) warn(bake::idle_bake_options(bake_options));
    bake::BakeRequest bake_request;
    if (baking && !bake::make_bake_request(o, desc, bake_options, bake_request, &error)) return fail(error);
    if (baking) desc.document["bake"] = bake::bake_settings_json(bake_request);
    if (o.camera.turntable) rs.turntable = o.camera.turntable;
    const int turntable = rs.turntable;
    if (turntable && !turntable_problem(desc).empty()) {
        const std::string problem = turntable_problem(desc);
        return o.camera.turntable ? usage_fail(problem) : fail(scene_place(o) + "render.turntable: " + problem);
    }
    if (o.region_given && (o.region[2] > rs.width || o.region[3] > rs.height))
        return usage_fail("--region " + std::to_string(o.region[0]) + "," + std::to_string(o.region[1]) + "," +
                          std::to_string(o.region[2]) + "," + std::to_string(o.region[3]) + " reaches beyond the " +
                          std::to_string(rs.width) + " x " + std::to_string(rs.height) + " image");
    ImageFormat format = ImageFormat::Png8, mask_format = ImageFormat::Png8, layers_format = ImageFormat::ExrHalf;
    if (!baking && !check_formats(rs, o.mask, format, mask_format, &error)) return fail(error);
    // The layers file is half unless the images are float: a PNG's depth does not bind it.
    if (!o.layers.empty() && (!image_format_for(o.layers, rs.depth == "float" ? "float" : "", layers_format, &error) ||
                              !(layers_format == ImageFormat::ExrHalf || layers_format == ImageFormat::ExrFloat)))
        return usage_fail("--layers " + o.layers + ": the layers go to an .exr file (of depth half or float)");
    // The frame buffers: the image (twice as wide side by side), and one more for each of the
    // mask, the image without the shader, and the geometry's two.
    const int extra_frames = (o.mask.empty() ? 0 : 1) + (o.layers.empty() ? 0 : 3) + (o.alpha ? 2 : 0);
    const double memory = desc.memory_bytes + frame_bytes(rs.width, rs.height, o.compare) +
                          extra_frames * frame_bytes(rs.width, rs.height, false);
    if (!baking && !within_memory(memory))
        return fail(scene_place(o) + "a " + std::to_string(rs.width) + " x " + std::to_string(rs.height) +
                    " image: the scene " + memory_refusal(memory));
    const std::string geometry = check_scene_geometry(host.scene());
    if (!geometry.empty()) warn(geometry);

    // Loading a pipe or a device would wait for good.
    const std::string plugin_file = plugin_path(o.plugin);
    std::error_code ec;
    if (std::filesystem::exists(plugin_file, ec) && !std::filesystem::is_regular_file(plugin_file, ec))
        return fail("cannot load plug-in file " + plugin_file + ": not a regular file");
    PluginFile plugin;
    if (!plugin.load(plugin_file)) return fail(plugin.error());
    ShaderServer server;
    if (!activate_shader(host, plugin, "Ormel_Dirt", server, &error)) return fail(error);
    const ShaderRelease release(host, server);
    if (!apply_shaders(host, server, desc, o.settings, &error) ||
        !check_shader_limits(host, server, desc, &error)) {
        // Mistakes in --set are the command line's; the others are the scene's.
        return error.rfind("--set", 0) == 0 ? usage_fail(error) : fail(scene_place(o) + error);
    }
    if (o.list_surfaces) {
        std::fputs(surface_table(host.scene()).c_str(), stdout);
        return 0;
    }
    const std::string unreadable = unreadable_texture_image(host.scene());
    if (!unreadable.empty()) return fail(scene_place(o) + unreadable);
    for (const std::string &w : check_settings(host, server, desc)) warn(w);
    if (baking && !bake::check_bake(host, server, bake_request, &error)) return fail(error);
    OutputPlan plan;
    if (!plan_outputs(o, rs, plugin_file, desc, host.scene(), plan, &error)) return fail(error);
    if (!o.save_scene.empty()) {
        // Written where the file lands (a symbolic link's target), so that the object files
        // it names relative to its folder are found from there.
        const std::string target = plan.saved_scene().path;
        const std::string text = dump_json(document_to_save(host, server, desc, target), 2) + "\n";
        if (!write_file_atomically(target, text, &error)) return fail(error);
    }

    if (baking) return run_bake(host, server, o, bake_request);

    // The passes a frame takes: the beauty always; without the shader for --compare and the
    // layers' clean.R,G,B; the geometry (coverage, depth, normal) for alpha and the layers;
    // the dirt mask for --mask and the layers' dirt.Y.
    const bool with_layers = !o.layers.empty();
    const bool plain_pass = o.compare || with_layers, geometry_pass = o.alpha || with_layers;
    const bool mask_pass = !o.mask.empty() || with_layers;
    MaskShaders mask(host, server);
    if (mask_pass && !mask.create(&error)) return fail(error);

    const int passes = 1 + plain_pass + geometry_pass + mask_pass;
    ProgressBar bar(!o.quiet && isatty(STDERR_FILENO), rs.last_frame - rs.first_frame + 1, passes);
    int frame_index = 0, pass_index = 0;
    RendererOptions ro;
    ro.width = rs.width;
    ro.height = rs.height;
    ro.samples = rs.samples;
    ro.threads = o.threads;
    if (o.region_given) std::copy(o.region, o.region + 4, ro.region);
    ro.exposure_scale = std::exp2(rs.exposure);
    ro.transparent = o.alpha;
    const int frame_width = o.region_given ? o.region[2] - o.region[0] : rs.width;
    const int out_height = o.region_given ? o.region[3] - o.region[1] : rs.height;
    std::string camera_used;
    ro.progress = [&](double share) { bar.update(frame_index, pass_index, share); };
    Renderer renderer(host, ro);
    PassTotals totals;
    totals.compare = plain_pass;
    totals.with_mask = mask_pass;
    int status = 0;
    renderer.begin();
    mask.begin();
    auto wrote = [&](const PlannedFile &f) {
        if (o.quiet) return;
        bar.finish();
        std::fprintf(stderr, "wrote %s\n", one_line(f.name).c_str());
    };
    for (int frame = rs.first_frame; frame <= rs.last_frame && status == 0; ++frame, ++frame_index) {
        const double time = frame / rs.fps;
        const PlannedFile file = plan.image(frame);
        if (o.skip_existing && output_complete(file.path, frame_width * (o.compare ? 2 : 1), out_height) &&
            (o.mask.empty() || output_complete(plan.mask(frame).path, frame_width, out_height)) &&
            (!with_layers || output_complete(plan.layers(frame).path, frame_width, out_height))) {
            if (!o.quiet) std::fprintf(stderr, "frame %d: %s exists, skipped\n", frame, one_line(file.name).c_str());
            continue;
        }
        const auto frame_start = std::chrono::steady_clock::now();
        if (turntable) place_turntable_camera(desc, frame, turntable, host.scene());
        if (camera_used.empty()) {
            host.scene().current_time = time;
            camera_used = camera_text(host.scene());
        }
        RgbImage image, plain, normals, coverage, weights;
        pass_index = 0;
        const FrameStats stats = renderer.render_frame(frame, time, image);
        if (frame == rs.first_frame && renderer.started_threads() < renderer.threads())
            warn("the system started only " + std::to_string(renderer.started_threads()) + " of " +
                 std::to_string(renderer.threads()) + " render threads");
        totals.image += stats;
        if (plain_pass || geometry_pass) {
            // The same view without the shader: the bindings are set aside for a moment.
            std::vector<std::vector<ShaderBinding>> kept;
            for (const auto &s : host.scene().surfaces()) kept.push_back(std::move(s->shaders)), s->shaders.clear();
            if (plain_pass) ++pass_index, totals.plain += renderer.render_frame(frame, time, plain);
            if (geometry_pass) ++pass_index, renderer.render_frame(frame, time, normals, Pass::Geometry, &coverage);
            size_t i = 0;
            for (const auto &s : host.scene().surfaces()) s->shaders = std::move(kept[i++]);
        }
        if (mask_pass) {
            ++pass_index;
            mask.bind();
            totals.mask += renderer.render_frame(frame, time, weights, Pass::Spot);
            mask.restore();
        }
        const bool written = o.compare ? write_beauty(file.path, format, side_by_side(image, plain), &error)
                             : o.alpha ? write_beauty_alpha(file.path, format, image, coverage, &error)
                                       : write_beauty(file.path, format, image, &error);
        if (!written) {
            status = fail(error);
            break;
        }
        wrote(file);
        if (!o.mask.empty()) {
            const PlannedFile mask_file = plan.mask(frame);
            if (!write_mask(mask_file.path, mask_format, weights, &error)) {
                status = fail(error);
                break;
            }
            wrote(mask_file);
        }
        if (with_layers) {
            const PlannedFile layers_file = plan.layers(frame);
            const std::vector<ExrChannel> channels = {
                {"R", &image, 0},       {"G", &image, 1},        {"B", &image, 2},       {"A", &coverage, 0},
                {"dirt.Y", &weights, 0}, {"Z", &coverage, 1},    {"N.X", &normals, 0},   {"N.Y", &normals, 1},
                {"N.Z", &normals, 2},   {"clean.R", &plain, 0}, {"clean.G", &plain, 1}, {"clean.B", &plain, 2}};
            if (!write_exr_layers(layers_file.path, layers_format, channels, &error)) {
                status = fail(error);
                break;
            }
            wrote(layers_file);
        }
        if (!o.quiet)
            std::fprintf(stderr, "frame %d: %.2f s\n", frame,
                         std::chrono::duration<double>(std::chrono::steady_clock::now() - frame_start).count());
    }
    mask.end();
    renderer.end();
    bar.finish();

    if (!o.quiet && status == 0)
    {
        std::fprintf(stderr, "%s\n", pass_summary(totals, renderer.started_threads(), chosen_note(desc)).c_str());
        if (!camera_used.empty())
            std::fprintf(stderr, "%s%s\n", camera_used.c_str(),
                         turntable ? (", turning once over " + std::to_string(turntable) + " frames").c_str() : "");
    }
    return status;
}

}  // namespace

// Nothing escapes: whatever goes wrong unforeseen ends in one line and status 1.
int main(int argc, char **argv) {
    // A file size limit makes a write fail, with a message, instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        return fail("out of memory: the machine could not give what the scene needs (see --max-memory)");
    } catch (const std::exception &e) {
        return fail(std::string("unexpected failure: ") + e.what());
    } catch (...) {
        return fail("unexpected failure");
    }
}
