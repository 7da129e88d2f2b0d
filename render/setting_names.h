// The dirt shader's settings by name, as scene files and --set give them: the panel's value
// names, the names saved states and the parameters use for the same settings, and help
// for a name that is not one of them.
#ifndef RENDER_SETTING_NAMES_H
#define RENDER_SETTING_NAMES_H

#include <string>
#include <vector>

namespace render {

// The kinds of value the settings take.
enum class SettingKind { Unknown, Number, Angle, Integer, Switch, Env, PercentEnv, ColorEnv };

// The kind of a setting by any of its names; Unknown for other names.
SettingKind setting_kind(const std::string &name);

// The panel's value name for a setting given by any of its names ("dirt_bump", the saved
// states' key, is the panel's "bump"; "dirt_diffuse" and "dirt_specular", the parameters'
// names, are "dirt_Kd" and "dirt_Ks"); other names are returned as they are.
std::string panel_setting_name(const std::string &name);

// Every name setting_kind knows: the panel's value names in the panel's order, then the
// other names.
const std::vector<std::string> &setting_names();

// Up to `count` of the candidates nearest to `name` by edit distance (ignoring case; a
// name that holds the other whole counts as one slip), all at the smallest distance found,
// among those close enough to be a likely slip.
std::vector<std::string> nearest_names(const std::string &name, const std::vector<std::string> &candidates,
                                       size_t count = 3);

// " (did you mean a, b or c?)", or "" when no candidate is near.
std::string did_you_mean(const std::string &name, const std::vector<std::string> &candidates);

}  // namespace render

#endif
