#include "render/limits.h"

#include <cmath>
#include <cstdio>

#include "refhost/mesh_access.h"

namespace render {

namespace {

Limits g_limits;

// Bytes per point, polygon and polygon corner, and per pixel: rounded up from the peak
// resident sizes of renders with the shader (a floor and a sphere of a million quads,
// about 0.9 and 1.0 GB; stairs of a million steps, 6.3 GB).
constexpr double kPointBytes = 250.0;
constexpr double kPolygonBytes = 350.0;
constexpr double kCornerBytes = 120.0;
constexpr double kFramePixelBytes = 32.0;  // the frame, its 8-bit copy and the writer's buffer
constexpr double kImagePixelBytes = 15.0;  // decoded bytes, then linear floats
// Ten thousand shaded surfaces took 54 MB more than the same surfaces without the shader.
constexpr double kShaderInstanceBytes = 8192.0;
constexpr double kFileFraction = 1.0 / 16.0;

constexpr double kMiB = 1024.0 * 1024.0;

}  // namespace

const Limits &limits() { return g_limits; }
void set_limits(const Limits &limits) { g_limits = limits; }

double mesh_bytes(double points, double polygons, double corners) {
    return kPointBytes * points + kPolygonBytes * polygons + kCornerBytes * corners;
}

double frame_bytes(int width, int height, bool side_by_side) {
    const double pixels = static_cast<double>(width) * static_cast<double>(height);
    return kFramePixelBytes * pixels * (side_by_side ? 3.0 : 1.0);
}

double image_file_bytes(double width, double height) { return kImagePixelBytes * width * height; }

double shader_instance_bytes() { return kShaderInstanceBytes; }

std::string bytes_text(double bytes) {
    const char *units[] = {"bytes", "KiB", "MiB", "GiB", "TiB", "PiB"};
    int u = 0;
    while (bytes >= 1024.0 && u < 5) bytes /= 1024.0, ++u;
    char text[64];
    std::snprintf(text, sizeof text, u == 0 ? "%.0f %s" : "%.1f %s", bytes, units[u]);
    return text;
}

bool within_memory(double bytes) { return bytes <= g_limits.max_memory_mib * kMiB; }

std::string memory_refusal(double needed_bytes) {
    char limit[32];
    std::snprintf(limit, sizeof limit, "%.0f", g_limits.max_memory_mib);
    return "needs about " + bytes_text(needed_bytes) + ", beyond the memory limit of " + limit +
           " MiB (raise it with --max-memory MIB)";
}

bool file_size_allowed(double bytes) { return bytes * (1.0 / kFileFraction) <= g_limits.max_memory_mib * kMiB; }

ObjectCounts count_object(const Item &object) {
    ObjectCounts c;
    for (const auto &layer : object.layers) {
        c.points += static_cast<double>(layer->mesh.points.size());
        for (const auto &polygon : layer->mesh.polygons) {
            c.polygons += 1.0;
            c.corners += static_cast<double>(polygon->vertices.size());
        }
    }
    return c;
}

std::string check_object_extent(const Scene &scene, const Item &object, double time) {
    const ObjectTransform xf = object_transform(scene, object, time);
    for (const auto &layer : object.layers) {
        for (const auto &point : layer->mesh.points) {
            const float *b = point->base;
            if (!std::isfinite(b[0]) || !std::isfinite(b[1]) || !std::isfinite(b[2])) {
                char text[160];
                std::snprintf(text, sizeof text, "a point at (%g, %g, %g) is not finite in single precision",
                              static_cast<double>(b[0]), static_cast<double>(b[1]), static_cast<double>(b[2]));
                return text;
            }
            const Vec3d w = xf.apply(*point);
            const double c[3] = {w.x, w.y, w.z};
            for (double v : c) {
                if (std::isfinite(v) && std::fabs(v) <= kMaxCoordinate) continue;
                char text[160];
                std::snprintf(text, sizeof text, "a point lies at (%g, %g, %g), beyond %g m of the origin", w.x,
                              w.y, w.z, kMaxCoordinate);
                return text;
            }
        }
    }
    return "";
}

}  // namespace render
