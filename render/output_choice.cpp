#include "render/output_choice.h"

#include "render/image_output.h"

namespace render {

bool apply_command_line_outputs(const RenderOptions &o, RenderSettings &rs, std::string *error, bool images) {
    if (o.width) rs.width = o.width;
    if (o.height) rs.height = o.height;
    if (o.samples) rs.samples = o.samples;
    if (o.frames_given) rs.first_frame = o.first_frame, rs.last_frame = o.last_frame;
    if (o.exposure_given) rs.exposure = o.exposure;
    if (!images) return true;
    ImageFormat format;
    if (!o.output.empty()) {
        rs.output = o.output;
        // A depth stored with the scene for another format does not bind the new file.
        if (o.depth.empty() && !image_format_for(rs.output, rs.depth, format, nullptr)) rs.depth.clear();
    }
    if (!o.depth.empty()) rs.depth = o.depth;
    std::string why;
    if ((!o.output.empty() || !o.depth.empty()) && !image_format_for(rs.output, rs.depth, format, &why)) {
        const bool depth_fits = image_format_for(rs.output, "", format, nullptr);
        if (error) *error = (depth_fits ? "--depth " + o.depth + ": " : std::string("-o: ")) + why;
        return false;
    }
    if (!o.mask.empty() && !image_format_for(o.mask, rs.depth, format, &why)) {
        if (error) *error = "--mask " + o.mask + ": " + why + (rs.depth.empty() ? "" : " (the mask takes the image's depth)");
        return false;
    }
    return true;
}

}  // namespace render
