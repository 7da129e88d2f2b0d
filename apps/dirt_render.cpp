// dirt-render: renders a scene with the Ormel_Dirt shader, loading the plug-in file
// through the reference host exactly as LightWave loads it.
#include <unistd.h>

#include <climits>
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
#include "render/image_output.h"
#include "render/json_read.h"
#include "render/limits.h"
#include "render/mask.h"
#include "render/object_framing.h"
#include "render/progress.h"
#include "render/render_options.h"
#include "render/renderer.h"
#include "render/scene_file.h"
#include "render/scene_save.h"
#include "render/settings_check.h"
#include "render/shader_limits.h"
#include "render/shader_setup.h"

using namespace refhost;
using namespace render;

namespace {

int fail(const std::string &message) {
    std::fprintf(stderr, "dirt-render: error: %s\n", one_line(message).c_str());
    return 1;
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

bool user_sets_width(const RenderOptions &o) {
    for (const std::string &s : o.settings)
        if (s.compare(0, s.find('='), "dirt_width") == 0) return true;
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
    choices.choose_width = !user_sets_width(o);
    return scene_for_object_file(o.input, choices, scene, desc, error);
}

// The summary's note of a width chosen for the user.
std::string width_note(const SceneDescription &desc) {
    if (!(desc.chosen_width > 0.0)) return "";
    char text[160];
    std::snprintf(text, sizeof text, "; dirt_width %g chosen from the object's size (--set dirt_width=W to choose)",
                  desc.chosen_width);
    return text;
}

// The formats of the outputs, and that each can be written, before anything is rendered.
bool check_outputs(const RenderSettings &rs, const std::string &mask, ImageFormat &format, ImageFormat &mask_format,
                   std::string *error) {
    if (!image_format_for(rs.output, rs.depth, format, error)) return false;
    if (!mask.empty() && !image_format_for(mask, rs.depth, mask_format, error)) return false;
    const bool several = rs.last_frame > rs.first_frame;
    const std::string first = frame_file_name(rs.output, rs.first_frame, several);
    if (!mask.empty() && frame_file_name(mask, rs.first_frame, several) == first) {
        *error = "the mask and the image would both be written to " + first;
        return false;
    }
    if (!check_writable(first, error)) return false;
    return mask.empty() || check_writable(frame_file_name(mask, rs.first_frame, several), error);
}

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
    if (!bake_parsed || !parse_render_options(static_cast<int>(rest.size()), rest.data(), o, &error)) {
        std::fprintf(stderr, "dirt-render: error: %s\n%s", one_line(error).c_str(), "try dirt-render --help\n");
        return 2;
    }
    if (o.help) {
        std::fputs(render_usage(), stdout);
        std::fputs(bake::bake_usage(), stdout);
        return 0;
    }
    set_limits(o.limits);

    Host host;
    install_instance_services(host);
    set_image_file_reader(host, read_png_image);
    install_render_services(host);
    SceneDescription desc;
    if (!load_scene(o, host.scene(), desc, &error)) return fail(error);
    for (const std::string &w : desc.warnings) warn(w);

    RenderSettings &rs = desc.render;
    if (o.width) rs.width = o.width;
    if (o.height) rs.height = o.height;
    if (o.samples) rs.samples = o.samples;
    if (o.frames_given) rs.first_frame = o.first_frame, rs.last_frame = o.last_frame;
    if (!o.output.empty()) rs.output = o.output;
    if (!o.depth.empty()) rs.depth = o.depth;
    ImageFormat format = ImageFormat::Png8, mask_format = ImageFormat::Png8;
    if (!bake::read_bake_settings(desc.document, bake_options, &error)) return fail(scene_place(o) + error);
    const bool baking = bake_options.mode != bake::BakeMode::None;
    if (!bake::idle_bake_options(bake_options).empty()) warn(bake::idle_bake_options(bake_options));
    bake::BakeRequest bake_request;
    if (baking && !bake::make_bake_request(o, desc, bake_options, bake_request, &error)) return fail(error);
    if (baking) desc.document["bake"] = bake::bake_settings_json(bake_request);
    if ((!baking && !check_outputs(rs, o.mask, format, mask_format, &error)) ||
        (!o.save_scene.empty() && !check_writable(o.save_scene, &error)))
        return fail(error);
    const double memory =
        desc.memory_bytes + frame_bytes(rs.width, rs.height, o.compare) + (o.mask.empty() ? 0.0 : frame_bytes(rs.width, rs.height, false));
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
    if (!apply_shaders(host, server, desc, o.settings, &error) ||
        !check_shader_limits(host, server, desc, &error)) {
        release_shaders(host, server);
        // Mistakes in --set are the command line's; the others are the scene's.
        return fail(error.rfind("--set", 0) == 0 ? error : scene_place(o) + error);
    }
    for (const std::string &w : check_settings(host, server, desc)) warn(w);
    if (baking && !bake::check_bake(host, server, bake_request, &error)) {
        release_shaders(host, server);
        return fail(error);
    }
    if (!o.save_scene.empty()) {
        const std::string text = document_to_save(host, server, desc, o.save_scene).dump(2) + "\n";
        if (!write_file(o.save_scene, text)) {
            release_shaders(host, server);
            return fail("cannot write " + o.save_scene);
        }
    }

    if (baking) {
        const int status = run_bake(host, server, o, bake_request);
        release_shaders(host, server);
        return status;
    }

    MaskShaders mask(host, server);
    if (!o.mask.empty() && !mask.create(&error)) {
        release_shaders(host, server);
        return fail(error);
    }

    const bool several = rs.last_frame > rs.first_frame;
    const int passes = 1 + (o.compare ? 1 : 0) + (o.mask.empty() ? 0 : 1);
    ProgressBar bar(!o.quiet && isatty(STDERR_FILENO), rs.last_frame - rs.first_frame + 1, passes);
    int frame_index = 0, pass_index = 0;
    RendererOptions ro;
    ro.width = rs.width;
    ro.height = rs.height;
    ro.samples = rs.samples;
    ro.threads = o.threads;
    ro.progress = [&](double share) { bar.update(frame_index, pass_index, share); };
    Renderer renderer(host, ro);
    FrameStats total;
    int status = 0;
    renderer.begin();
    mask.begin();
    for (int frame = rs.first_frame; frame <= rs.last_frame && status == 0; ++frame, ++frame_index) {
        const double time = frame / rs.fps;
        RgbImage image;
        pass_index = 0;
        const FrameStats stats = renderer.render_frame(frame, time, image);
        if (frame == rs.first_frame && renderer.started_threads() < renderer.threads())
            warn("the system started only " + std::to_string(renderer.started_threads()) + " of " +
                 std::to_string(renderer.threads()) + " render threads");
        total.spots_shaded += stats.spots_shaded;
        total.plugin_rays += stats.plugin_rays;
        total.seconds += stats.seconds;
        if (o.compare) {
            // The same view without the shader: the bindings are set aside for a moment.
            std::vector<std::vector<ShaderBinding>> kept;
            for (const auto &s : host.scene().surfaces()) kept.push_back(std::move(s->shaders)), s->shaders.clear();
            RgbImage plain;
            ++pass_index;
            renderer.render_frame(frame, time, plain);
            size_t i = 0;
            for (const auto &s : host.scene().surfaces()) s->shaders = std::move(kept[i++]);
            image = side_by_side(image, plain);
        }
        const std::string path = frame_file_name(rs.output, frame, several);
        if (!check_writable(path, &error) || !write_beauty(path, format, image, &error)) {
            status = fail(error);
            break;
        }
        if (!o.quiet) {
            bar.finish();
            std::fprintf(stderr, "wrote %s\n", path.c_str());
        }
        if (!o.mask.empty()) {
            RgbImage weights;
            ++pass_index;
            mask.bind();
            renderer.render_frame(frame, time, weights, Pass::Spot);
            mask.restore();
            const std::string mask_path = frame_file_name(o.mask, frame, several);
            if (!check_writable(mask_path, &error) || !write_mask(mask_path, mask_format, weights, &error)) {
                status = fail(error);
            } else if (!o.quiet) {
                bar.finish();
                std::fprintf(stderr, "wrote %s\n", mask_path.c_str());
            }
        }
    }
    mask.end();
    renderer.end();
    bar.finish();

    if (!o.quiet && status == 0) {
        const double secs = total.seconds > 0.0 ? total.seconds : 1e-9;
        std::fprintf(stderr,
                     "%ld spots shaded, %ld rays cast by the plug-in, %.2f s render time, "
                     "%.0f spots/s, %.0f rays/s (%d threads)%s\n",
                     total.spots_shaded, total.plugin_rays, total.seconds, total.spots_shaded / secs,
                     total.plugin_rays / secs, renderer.started_threads(), width_note(desc).c_str());
    }
    release_shaders(host, server);
    return status;
}

}  // namespace

// Nothing escapes: whatever goes wrong unforeseen ends in one line and status 1.
int main(int argc, char **argv) {
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
