// The reference and the README hold to the program: every key of docs/scene-format.md is
// one the scene reader takes and the other way round, and the README's example scene shows
// dirt at its own frame.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <set>
#include <string>

#include "refhost/host.h"
#include "refhost/plugin.h"
#include "refhost/render_services.h"
#include "refhost/services.h"
#include "refhost/shader_server.h"
#include "refhost/textures.h"
#include "refhost/vparm.h"
#include "render/png_image.h"
#include "render/scene_file.h"
#include "render/scene_keys.h"
#include "render/shader_setup.h"

namespace {

std::string read_text(const std::string &path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The names in the first column of each table that follows a "<!-- keys: NAME -->" mark.
std::map<std::string, std::set<std::string>> documented_keys(const std::string &text) {
    std::map<std::string, std::set<std::string>> out;
    const std::string mark = "<!-- keys: ";
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1)) {
        const size_t name_end = text.find(" -->", at);
        const std::string name = text.substr(at + mark.size(), name_end - at - mark.size());
        std::set<std::string> &keys = out[name];
        size_t line = text.find('\n', name_end) + 1;
        // The table: its header and rule, then one row per key, up to the first other line.
        for (int row = 0; line < text.size() && text[line] == '|'; ++row) {
            const size_t line_end = text.find('\n', line);
            const std::string cells = text.substr(line, line_end - line);
            line = line_end + 1;
            if (row < 2) continue;
            const size_t open = cells.find('`'), close = cells.find('`', open + 1);
            const size_t first_cell_end = cells.find('|', 1);
            if (open == std::string::npos || close > first_cell_end) {
                ADD_FAILURE() << "table " << name << ": a row without a `key`: " << cells;
                continue;
            }
            keys.insert(cells.substr(open + 1, close - open - 1));
        }
    }
    return out;
}

const std::string kDoc = std::string(ORMEL_SOURCE_DIR) + "/docs/scene-format.md";

TEST(SceneFormatDoc, EveryKeyOfTheReaderIsDocumentedAndNoOther) {
    const auto doc = documented_keys(read_text(kDoc));
    ASSERT_FALSE(doc.empty()) << kDoc;
    std::set<std::string> checked;
    for (const auto &[name, list] : render::scene_key_lists()) {
        const std::set<std::string> code(list->begin(), list->end());
        ASSERT_TRUE(doc.count(name)) << "no table \"" << name << "\" in " << kDoc;
        EXPECT_EQ(doc.at(name), code) << "table \"" << name << "\"";
        checked.insert(name);
    }
    const auto &names = render::setting_names();
    EXPECT_EQ(doc.at("settings"), std::set<std::string>(names.begin(), names.end()));
    checked.insert("settings");
    checked.insert("gradient inputs");
    for (const auto &[name, keys] : doc) EXPECT_TRUE(checked.count(name)) << "table \"" << name << "\" checks nothing";
}

TEST(SceneFormatDoc, TheGradientInputsAreThePlugInsOwn) {
    refhost::Host host;
    refhost::install_instance_services(host);
    refhost::install_render_services(host);
    std::string error;
    render::SceneDescription desc;
    ASSERT_TRUE(render::build_scene_from_json(
        nlohmann::json::parse(R"({"objects": [{"name": "A", "primitives": [{"type": "box"}]}],
                                  "surfaces": [{"object": "A", "name": "Default", "dirt": true}]})"),
        ".", host.scene(), desc, &error))
        << error;
    refhost::PluginFile plugin;
    ASSERT_TRUE(plugin.load(ORMEL_PLUGIN_PATH)) << plugin.error();
    refhost::ShaderServer server;
    ASSERT_TRUE(refhost::activate_shader(host, plugin, "Ormel_Dirt", server, &error)) << error;
    ASSERT_TRUE(render::apply_shaders(host, server, desc, {}, &error)) << error;
    const render::InstancePanel open(host, server, desc.shaders.at(0).surface->shaders.at(0).instance);
    refhost::XPanel *panel = open.get();
    ASSERT_NE(panel, nullptr);
    refhost::Texture *texture =
        host.component<refhost::VParmSystem>().attach_texture(refhost::from_id(panel->read("dirt_Kd").vparm));
    ASSERT_TRUE(texture && texture->context);
    std::set<std::string> inputs;
    for (const auto &input : texture->context->inputs) inputs.insert(input->name);
    EXPECT_EQ(inputs.size(), 36u);
    EXPECT_EQ(documented_keys(read_text(kDoc)).at("gradient inputs"), inputs);
    refhost::release_shaders(host, server);
}

TEST(ReadmeExample, RendersVisibleDirtAtItsOwnFrame) {
    const std::string readme = read_text(std::string(ORMEL_SOURCE_DIR) + "/README.md");
    const size_t start = readme.find("```json\n");
    ASSERT_NE(start, std::string::npos);
    const size_t end = readme.find("```", start + 8);
    char tmpl[] = "/tmp/readme-example-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    std::ofstream(dir + "/example.json") << readme.substr(start + 8, end - start - 8);
    const std::string command = std::string(DIRT_RENDER_PATH) + " " + dir + "/example.json --width 160 --height 120 " +
                                "--samples 1 -q --compare -o " + dir + "/cmp.png --mask " + dir + "/mask.png 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    std::string out;
    char buf[256];
    while (size_t n = fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
    ASSERT_EQ(pclose(pipe), 0) << out;
    EXPECT_EQ(out.find("warning"), std::string::npos) << out;
    render::RgbImage cmp;
    std::string error;
    ASSERT_TRUE(render::read_png(dir + "/cmp.png", cmp, &error)) << error;
    int darker = 0;
    for (int y = 0; y < cmp.height; ++y)
        for (int x = 0; x < 160; ++x) {
            const float *with = cmp.pixel(x, y), *without = cmp.pixel(160 + x, y);
            darker += with[0] + with[1] + with[2] < 0.9f * (without[0] + without[1] + without[2]);
        }
    EXPECT_GT(darker, 160 * 120 / 20) << "dirt on under 5 % of the image";
    std::system(("rm -rf " + dir).c_str());
}

}  // namespace
