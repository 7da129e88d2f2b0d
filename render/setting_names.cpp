#include "render/setting_names.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace render {

namespace {

// By the panel's value names, in the panel's order.
const std::pair<const char *, SettingKind> kKinds[] = {
    {"dirt_width", SettingKind::Env},        {"dirt_falloff", SettingKind::Env},
    {"dirt_amount", SettingKind::PercentEnv}, {"sample_theta", SettingKind::Angle},
    {"sample_jitter", SettingKind::Angle},    {"sample_count", SettingKind::Integer},
    {"sample_itr", SettingKind::Integer},     {"sample_scale", SettingKind::Number},
    {"single_f", SettingKind::Switch},        {"use_color", SettingKind::Switch},
    {"use_Kd", SettingKind::Switch},          {"use_Ks", SettingKind::Switch},
    {"use_mirror", SettingKind::Switch},      {"dirt_color", SettingKind::ColorEnv},
    {"dirt_Kd", SettingKind::PercentEnv},     {"dirt_Ks", SettingKind::PercentEnv},
    {"dirt_mirror", SettingKind::PercentEnv}, {"use_bump", SettingKind::Switch},
    {"bump", SettingKind::PercentEnv},
};

// Other names of the same settings: saved states' keys and the parameters' own names.
const std::pair<const char *, const char *> kAliases[] = {
    {"dirt_bump", "bump"}, {"dirt_diffuse", "dirt_Kd"}, {"dirt_specular", "dirt_Ks"},
};

std::string lower(const std::string &s) {
    std::string out = s;
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Edits from one name to the other, two neighbouring letters swapped counting as one
// ("widht" is one slip from "width", as "postion" is from "position").
size_t edit_distance(const std::string &a, const std::string &b) {
    // Three rows (two back, one back, this one): names from files may be long.
    std::vector<size_t> before(b.size() + 1), prev(b.size() + 1), row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) prev[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            row[j] = std::min({prev[j] + 1, row[j - 1] + 1, prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                row[j] = std::min(row[j], before[j - 2] + 1);
        }
        std::swap(before, prev);
        std::swap(prev, row);
    }
    return prev[b.size()];
}

}  // namespace

std::string panel_setting_name(const std::string &name) {
    for (const auto &[alias, panel] : kAliases)
        if (name == alias) return panel;
    return name;
}

SettingKind setting_kind(const std::string &name) {
    const std::string panel = panel_setting_name(name);
    for (const auto &[known, kind] : kKinds)
        if (panel == known) return kind;
    return SettingKind::Unknown;
}

const std::vector<std::string> &setting_names() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const auto &k : kKinds) all.push_back(k.first);
        for (const auto &a : kAliases) all.push_back(a.first);
        return all;
    }();
    return names;
}

std::vector<std::string> nearest_names(const std::string &name, const std::vector<std::string> &candidates,
                                       size_t count) {
    const std::string key = lower(name);
    std::vector<std::pair<size_t, std::string>> scored;
    for (const std::string &c : candidates) {
        const std::string other = lower(c);
        size_t d = edit_distance(key, other);
        // A name that holds the other whole ("width" in "dirt_width") is near too.
        if (!key.empty() && (other.find(key) != std::string::npos || key.find(other) != std::string::npos))
            d = std::min(d, size_t{1});
        // Near enough: a third of the longer name may differ.
        if (d * 3 <= std::max(key.size(), other.size())) scored.emplace_back(d, c);
    }
    std::stable_sort(scored.begin(), scored.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    // The nearest alone: a name one slip away hides those two slips away.
    std::vector<std::string> out;
    for (size_t i = 0; i < scored.size() && i < count && scored[i].first == scored[0].first; ++i)
        out.push_back(scored[i].second);
    return out;
}

std::string did_you_mean(const std::string &name, const std::vector<std::string> &candidates) {
    const std::vector<std::string> near = nearest_names(name, candidates);
    if (near.empty()) return "";
    std::string text = " (did you mean ";
    for (size_t i = 0; i < near.size(); ++i) {
        if (i > 0) text += i + 1 == near.size() ? " or " : ", ";
        text += near[i];
    }
    return text + "?)";
}

}  // namespace render
