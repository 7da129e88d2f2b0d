// The camera asked for on the command line, applied to a loaded scene: a scene file's
// camera takes --camera-position, --look-at and --fov (object renders are framed with
// them already, render/object_framing.h); a turntable turns the camera round the point it
// looks at, one turn over its frames. The scene document is kept in step, so that
// --save-scene stores the camera the image was rendered with.
#ifndef RENDER_CAMERA_CHOICE_H
#define RENDER_CAMERA_CHOICE_H

#include <string>

#include "refhost/scene.h"
#include "render/host_names.h"
#include "render/render_options.h"
#include "render/scene_file.h"

namespace render {

// A scene file's camera: position, target and field of view from the choice. False with
// a one-line reason when the choice cannot apply (a target equal to the position).
bool apply_camera_choice(const CameraChoice &choice, Scene &scene, SceneDescription &desc, std::string *error);

// Empty when a turntable can turn this scene's camera: it has a position and a look_at.
std::string turntable_problem(const SceneDescription &desc);

// Sets the scene's camera for a frame of a turntable of `frames` frames: the document's
// camera position turned about the vertical line through its look_at by frame / frames of
// a turn, towards +X from the front.
void place_turntable_camera(const SceneDescription &desc, int frame, int frames, Scene &scene);

// The camera of the scene at its current time, for the summary: "camera at (x, y, z) looking at (x, y, z),
// field of view F degrees".
std::string camera_text(const Scene &scene);

}  // namespace render

#endif
