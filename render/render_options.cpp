#include "render/render_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "render/mesh_import.h"
#include "render/setting_names.h"

namespace render {

namespace {

// The largest limits the options take: a pebibyte, and every ray two 32-bit counts can ask for.
constexpr long long kMaxMemoryMib = 1LL << 30;
constexpr long long kMaxRaysPerSpot = 1LL << 62;
// Seconds an import may be given: from a tenth of a second to a day.
constexpr double kMinImportTimeout = 0.1, kMaxImportTimeout = 86400.0;

bool parse_long(const std::string &s, long long lo, long long hi, long long &out) {
    if (s.empty()) return false;
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool parse_seconds(const std::string &s, double lo, double hi, double &out) {
    if (s.empty()) return false;
    char *end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (*end != '\0' || !(v >= lo && v <= hi)) return false;
    out = v;
    return true;
}

bool parse_int(const std::string &s, int lo, int hi, int &out) {
    long long v = 0;
    if (!parse_long(s, lo, hi, v)) return false;
    out = static_cast<int>(v);
    return true;
}

bool parse_frames(const std::string &s, int &a, int &b) {
    const size_t dash = s.find('-', 1);
    if (dash == std::string::npos) return parse_int(s, -kMaxFrame, kMaxFrame, a) && (b = a, true);
    return parse_int(s.substr(0, dash), -kMaxFrame, kMaxFrame, a) &&
           parse_int(s.substr(dash + 1), -kMaxFrame, kMaxFrame, b) && a <= b;
}

// "DEGREES" or "NAME=DEGREES", the angle from 0 to 180.
bool smoothing_angle_form(const std::string &s) {
    const size_t eq = s.rfind('=');
    const std::string number = eq == std::string::npos ? s : s.substr(eq + 1);
    if (eq == 0 || number.empty()) return false;
    char *end = nullptr;
    const double degrees = std::strtod(number.c_str(), &end);
    return *end == '\0' && degrees >= 0.0 && degrees <= 180.0;
}

}  // namespace

const char *render_usage() {
    return "usage: dirt-render [SCENE.json | OBJECT.lwo | OBJECT.obj] [options]\n"
           "\n"
           "Renders a scene with the Ormel_Dirt shader, loading the plug-in file as LightWave does.\n"
           "Without a scene it renders the built-in demo scene (a room corner with stairs, a box and\n"
           "a sphere). Given only an object file, it frames the object with a camera and a light,\n"
           "sets it on a ground plane and applies the shader to every surface, with its width chosen\n"
           "from the object's size unless --set dirt_width is given.\n"
           "\n"
           "options:\n"
           "  -o, --output FILE     the image to write (default: the scene's, else dirt.png): .png\n"
           "                        or .exr by the extension; the last run of # in the name takes\n"
           "                        the frame number, padded to the run's length (frame_####.exr:\n"
           "                        frame_0007.exr, frame_-0007.exr), else several frames add\n"
           "                        _0001 before the extension\n"
           "  --mask FILE           also write the dirt mask: the shader's weight per pixel, 0 clean\n"
           "                        to 1 full dirt (.png: grey, linear; .exr: channel Y, unclamped)\n"
           "  --depth D             pixel depth of the images: 8 or 16 for .png (default 8), half or\n"
           "                        float for .exr (default half)\n"
           "  --width N, --height N image size in pixels\n"
           "  --samples N           jittered samples per pixel\n"
           "  --threads N           render threads (default: all cores)\n"
           "  --frames A-B          render frames A to B, one image per frame (or one frame: --frames A)\n"
           "  --compare             also render without the shader and write both side by side\n"
           "  --no-ground           object renders: no ground plane under the object\n"
           "  --up AXIS             object renders: the file's up axis, y, z, x, -y, -z or -x\n"
           "                        (default: as the file states it; Blender files are Z-up,\n"
           "                        others without a word Y-up)\n"
           "  --smoothing-angle [NAME=]DEGREES\n"
           "                        smooth polygons meeting at less than this angle, over the\n"
           "                        file's own angles and normals: on every surface, or on the\n"
           "                        surfaces named NAME and every surface of an object named\n"
           "                        NAME; may be repeated (--smoothing-angle 89.5,\n"
           "                        --smoothing-angle Body=30)"
           "  --set NAME=VALUE      set a dirt setting on every shaded surface; may be repeated.\n"
           "                        NAME is a panel value name (dirt_width, dirt_falloff, dirt_amount,\n"
           "                        sample_theta, sample_jitter, sample_count, sample_itr,\n"
           "                        sample_scale, single_f, use_color, use_Kd, use_Ks, use_mirror,\n"
           "                        use_bump, dirt_color, dirt_Kd, dirt_Ks, dirt_mirror, bump) or a\n"
           "                        saved state's key (dirt_bump). VALUE forms:\n"
           "                          number        --set dirt_width=0.3\n"
           "                          percent       --set dirt_amount=0.8        (0.8 is 80 %)\n"
           "                          angle         --set sample_theta=45        (degrees)\n"
           "                          whole number  --set sample_count=16\n"
           "                          switch        --set use_color=1           (or true, false)\n"
           "                          colour        --set dirt_color=0.2,0.1,0  (or [0.2,0.1,0])\n"
           "                          envelope      --set 'dirt_amount={\"envelope\": [[0, 0], [1, 1]]}'\n"
           "                                        (time in seconds, value)\n"
           "                          texture       --set 'dirt_Kd={\"value\": 0.3, \"texture\": [{\"type\":\n"
           "                                        \"gradient\", \"input\": \"Ambient Occlusion (Low)\",\n"
           "                                        \"keys\": [[0, 1], [1, 0.2]]}]}'\n"
           "  --save-scene FILE     write the scene, with the render settings and every shader\n"
           "                        instance stored by the plug-in itself, to FILE; rendering that\n"
           "                        file gives the same image; it may replace the scene file read\n"
           "  --plugin FILE         the plug-in file (default: Ormel_Dirt.p next to this program)\n"
           "  -q, --quiet           no progress bar and no summary (warnings still show)\n"
           "  -h, --help            this text\n"
           "  --version             the plug-in's version and this build's\n"
           "\n"
           "limits on work and memory (raise them when a scene really needs more):\n"
           "  --max-memory MIB      memory the scene's geometry, shader instances and images and\n"
           "                        the frames may take, as estimated before they are made\n"
           "                        (default 8192); a scene or object file may be at most a\n"
           "                        sixteenth of it\n"
           "  --max-rays-per-spot N rays the shader may cast per shaded spot, sample_count x\n"
           "                        sample_itr on any surface (default 1024)\n"
           "  --import-timeout S    seconds the import of an object file may take (default 300);\n"
           "                        it runs in a process of its own, held to --max-memory too\n"
           "\n"
           "A scene, object or image file that breaks a limit or a range is refused with one line\n"
           "naming the file, the key and what is allowed; nothing is written, and the exit status\n"
           "is 1 (2 for a mistake on the command line).\n"
           "\n"
           "Files are never written over while read: an output (any frame's image or mask, the\n"
           "saved scene) that is the scene, object, image or plug-in file, or two outputs that are\n"
           "one file in any spelling (./, d/../, a symbolic link), are refused with status 1 before\n"
           "anything is written; so is an output whose folder does not exist (none is created).\n"
           "Each file is written whole to a temporary file beside it and then renamed over the\n"
           "old one: a full disk or a file size limit leaves the old file as it was.\n"
           "\n"
           "docs/scene-format.md describes scene files and every setting.\n";
}

bool parse_render_options(int argc, const char *const *argv, RenderOptions &o, std::string *error) {
    auto fail = [&](const std::string &msg) {
        if (error) *error = msg;
        return false;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else if (arg == "-q" || arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--compare") {
            o.compare = true;
        } else if (arg == "-o" || arg == "--output") {
            if (!value(o.output)) return fail(arg + " needs a file name");
        } else if (arg == "--plugin") {
            if (!value(o.plugin)) return fail("--plugin needs a file name");
        } else if (arg == "--save-scene") {
            if (!value(o.save_scene)) return fail("--save-scene needs a file name");
        } else if (arg == "--mask") {
            if (!value(o.mask)) return fail("--mask needs a file name");
        } else if (arg == "--depth") {
            if (!value(o.depth) || (o.depth != "8" && o.depth != "16" && o.depth != "half" && o.depth != "float"))
                return fail("--depth needs 8, 16, half or float");
        } else if (arg == "--no-ground") {
            o.ground = false;
        } else if (arg == "--version") {
            o.version = true;
        } else if (arg == "--up") {
            UpAxis up;
            if (!value(o.up) || !up_axis_named(o.up, up)) return fail("--up needs y, z, x, -y, -z or -x");
        } else if (arg == "--smoothing-angle") {
            if (!value(v) || !smoothing_angle_form(v))
                return fail("--smoothing-angle needs DEGREES or NAME=DEGREES, degrees from 0 to 180");
            o.smoothing.push_back(v);
        } else if (arg == "--set") {
            if (!value(v) || v.find('=') == std::string::npos) return fail("--set needs NAME=VALUE");
            const std::string name = v.substr(0, v.find('='));
            if (setting_kind(name) == SettingKind::Unknown)
                return fail("--set: unknown setting \"" + name + "\"" + did_you_mean(name, setting_names()));
            o.settings.push_back(v);
        } else if (arg == "--max-memory") {
            long long mib = 0;
            if (!value(v) || !parse_long(v, 1, kMaxMemoryMib, mib))
                return fail("--max-memory needs a whole number of MiB from 1 to " + std::to_string(kMaxMemoryMib));
            o.limits.max_memory_mib = static_cast<double>(mib);
        } else if (arg == "--max-rays-per-spot") {
            long long rays = 0;
            if (!value(v) || !parse_long(v, 1, kMaxRaysPerSpot, rays))
                return fail("--max-rays-per-spot needs a whole number from 1 to " + std::to_string(kMaxRaysPerSpot));
            o.limits.max_rays_per_spot = rays;
        } else if (arg == "--import-timeout") {
            if (!value(v) || !parse_seconds(v, kMinImportTimeout, kMaxImportTimeout, o.limits.import_timeout_seconds))
                return fail("--import-timeout needs a number of seconds from 0.1 to 86400");
        } else if (arg == "--width" || arg == "--height" || arg == "--samples" || arg == "--threads") {
            int n = 0;
            const int hi = arg == "--samples" ? kMaxPixelSamples : (arg == "--threads" ? kMaxThreads : kMaxImageSide);
            if (!value(v) || !parse_int(v, 1, hi, n))
                return fail(arg + " needs a whole number from 1 to " + std::to_string(hi));
            (arg == "--width" ? o.width : arg == "--height" ? o.height : arg == "--samples" ? o.samples : o.threads) = n;
        } else if (arg == "--frames") {
            if (!value(v) || !parse_frames(v, o.first_frame, o.last_frame))
                return fail("--frames needs A-B with A <= B, or a single frame");
            o.frames_given = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return fail("unknown option " + arg + " (see --help)");
        } else if (o.input.empty()) {
            o.input = arg;
        } else {
            return fail("more than one scene given: " + o.input + " and " + arg);
        }
    }
    return true;
}

}  // namespace render
