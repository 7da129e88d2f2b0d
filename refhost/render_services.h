// The services a renderer offers plug-ins while it renders: item, object, light, scene and
// backdrop information and the render memory pool.
#ifndef REFHOST_RENDER_SERVICES_H
#define REFHOST_RENDER_SERVICES_H

namespace refhost {

class Host;

// Offers "LW Item Info 3", "LW Object Info 4", "LW Light Info 3", "LW Scene Info 3",
// "LW Backdrop Info 2" and "Global Render Memory" on the host. The scene record's counts
// are taken now; call `SceneInfoRecord::refresh` (a host component) after changing meshes.
void install_render_services(Host &host);

}  // namespace refhost

#endif
