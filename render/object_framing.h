// A scene made around one object file, for `dirt-render OBJECT`: a camera that frames the
// object, a light, a ground plane for it to rest on, and the shader on every surface, with
// its width chosen from the object's size unless the user gives one.
//
// The scene is written as a scene document and built from it, so that --save-scene stores
// exactly what was rendered.
#ifndef RENDER_OBJECT_FRAMING_H
#define RENDER_OBJECT_FRAMING_H

#include <nlohmann/json.hpp>

#include <string>

#include "refhost/scene.h"
#include "render/host_names.h"
#include "render/mesh_import.h"
#include "render/render_options.h"
#include "render/scene_file.h"

namespace render {

struct FramingChoices {
    bool ground = true;               // a ground plane under the object
    bool choose_width = true;         // the dirt width from the object's size
    bool choose_sample_scale = true;  // the size of the rays' jitter noise from it too
    double aspect = 0.75;             // the image's height over its width
    UpAxis up = UpAxis::FromFile;     // the file's up axis
    CameraChoice camera;              // --view, --distance, --fov, --camera-position, --look-at
    double light_intensity = -1.0;    // the key light's; below 0: the light's default (1), unwritten
    bool fill_light = false;          // a fill light opposite the key, at kFillShare of it
};

// The object's extent: the box around its points (object space, as read from the file),
// and the sphere about the box's centre that holds every point.
struct ObjectBounds {
    Vec3d lo, hi;
    double radius = 0.0;
    long points = 0, polygons = 0;
};

// The dirt width for an object of these bounds: a tenth of its diagonal, so that the
// dirt reaches about as far into a crease as it does in the demo scene, rounded to two
// significant digits so that it reads well in a summary and a saved scene.
double width_for_object(const ObjectBounds &bounds);

// The sample_scale (the size of the noise that jitters the rays) for an object of these
// bounds: a quarter of the width chosen for it, rounded the same way. Left at 0.1 scene
// units, the noise of an object hundreds of units across varies from spot to spot, and
// the dirt turns to grain.
double sample_scale_for_object(const ObjectBounds &bounds);

// The scene document that frames an object of these bounds read from `path` (an absolute
// path), whose surfaces are named `surfaces`; `width` is the dirt width to set, or 0 for
// the shader's own default, and `sample_scale` likewise. The camera looks at the centre of
// the bounding sphere from a distance at which the sphere fills nine tenths of the
// image's shorter side, so that the margin is the same all round; choices.camera turns it
// about the object (view), moves it nearer or further (distance), widens or narrows its
// field of view (the framing distance follows) or places it outright.
nlohmann::json framing_document(const std::string &path, const ObjectBounds &bounds,
                                const std::vector<std::string> &surfaces, const FramingChoices &choices,
                                double width, double sample_scale = 0.0);

// Reads the object file, frames it and builds the scene; desc.chosen_width and
// desc.chosen_sample_scale tell what was chosen (0 when nothing was). False with a
// one-line reason when the file cannot be read or holds no polygon.
bool scene_for_object_file(const std::string &path, const FramingChoices &choices, Scene &scene,
                           SceneDescription &desc, std::string *error);

}  // namespace render

#endif
