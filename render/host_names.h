// The renderer works on the reference host's scene model and uses its services: it names
// them as the host does.
#ifndef RENDER_HOST_NAMES_H
#define RENDER_HOST_NAMES_H

namespace refhost {}

namespace render {
using namespace refhost;
}  // namespace render

#endif
