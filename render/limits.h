// What one run of the renderer takes on. Every value read from a command line, a scene
// file, an object file or an image file is held against these before anything is built
// from it:
// - fixed ranges, for values the renderer cannot sensibly handle whatever the machine
//   (an image side of a million pixels, a coordinate beyond float precision's reach);
// - limits on work and memory, which a user may raise deliberately (--max-rays-per-spot,
//   --max-memory) when a scene really needs more.
#ifndef RENDER_LIMITS_H
#define RENDER_LIMITS_H

#include <string>

#include "refhost/scene.h"
#include "render/host_names.h"

namespace render {

// ---- Fixed ranges.
constexpr int kMaxImageSide = 16384;       // render.width, render.height, --width, --height
constexpr int kMaxPixelSamples = 1024;     // render.samples, --samples
constexpr int kMaxThreads = 1024;          // --threads
constexpr int kMaxFrame = 1000000;         // |frame number|
constexpr int kMaxReflectionDepth = 64;    // render.max_depth
constexpr double kMinFps = 1e-3, kMaxFps = 1e6;
// Metres: every coordinate, length and scale factor read, and every point of the scene
// in world space. Beyond this the ray caster's single-precision geometry overflows.
constexpr double kMaxCoordinate = 1e12;
constexpr double kMaxZoom = 1e6;           // camera.zoom, above 0
constexpr int kMaxJsonDepth = 64;          // nesting of arrays and objects in a scene file
// Primitive resolutions; their products are held against the memory limit as well.
constexpr int kMaxFloorCells = 100000;
constexpr int kMinSphereRings = 2, kMaxSphereRings = 100000;
constexpr int kMinSphereSegments = 3, kMaxSphereSegments = 100000;
constexpr int kMaxStairSteps = 1000000;

// ---- Limits a user may raise.
struct Limits {
    // Estimated memory for the scene's geometry, its shader instances, its images and the
    // frame buffers, MiB.
    // A scene or object file may be at most a sixteenth of it (parsed, it takes several
    // times its size).
    double max_memory_mib = 8192.0;
    // Rays the dirt shader casts per shaded spot (sample_count × sample_itr).
    long long max_rays_per_spot = 1024;
    // Seconds the import of one object file may take (render/object_import.h).
    double import_timeout_seconds = 300.0;
};

// The limits in force in this process: set from the command line before anything is read.
const Limits &limits();
void set_limits(const Limits &limits);

// ---- Memory estimates, in bytes, measured on this renderer (geometry as the scene holds
// it, the ray caster's triangles and acceleration structure, the shader's normal cache).
double mesh_bytes(double points, double polygons, double corners);
double frame_bytes(int width, int height, bool side_by_side);
double image_file_bytes(double width, double height);
// One surface's shader instance, with its parameters and channels.
double shader_instance_bytes();

// "1.5 GiB", "300 MiB".
std::string bytes_text(double bytes);
// The one-line tail of a memory refusal: "... needs about X, beyond the memory limit of Y
// MiB (raise it with --max-memory MIB)".
std::string memory_refusal(double needed_bytes);
bool within_memory(double bytes);
// A file of this many bytes may be read (see Limits::max_memory_mib).
bool file_size_allowed(double bytes);

// Polygons an object has (all layers), and the points of those that have none.
struct ObjectCounts {
    double points = 0, polygons = 0, corners = 0;
};
ObjectCounts count_object(const Item &object);

// Empty when every point of the object lies within kMaxCoordinate of the origin in world
// space at the given time; else what is wrong, in a few words.
std::string check_object_extent(const Scene &scene, const Item &object, double time);

}  // namespace render

#endif
