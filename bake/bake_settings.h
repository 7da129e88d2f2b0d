// Bake settings in scene files: the "bake" section, read into the options the command line
// did not give, and written back by --save-scene with the settings in force, so that the
// saved scene bakes the same files.
//
// | Key       | Values                   | Default                              |
// |-----------|--------------------------|--------------------------------------|
// | mode      | "vertex", "texture"      | none: the scene renders              |
// | channel   | "weight", "color"        | "weight"                             |
// | size      | 1 .. 16384               | 1024                                 |
// | padding   | 0 .. 16384               | 4                                    |
// | output    | text                     | NAME-dirt.ply and .glb, NAME-dirt.png |
#ifndef BAKE_BAKE_SETTINGS_H
#define BAKE_BAKE_SETTINGS_H

#include <nlohmann/json.hpp>

#include <string>

#include "bake/bake_run.h"

namespace bake {

// Fills what the command line left alone from the document's "bake" section (none: no
// change). False with a one-line reason naming the key.
bool read_bake_settings(const nlohmann::json &document, BakeOptions &options, std::string *error);

// The section for a request, to store in a saved scene.
nlohmann::json bake_settings_json(const BakeRequest &request);

}  // namespace bake

#endif
