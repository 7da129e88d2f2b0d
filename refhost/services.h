// The services a host offers shader instances for their settings: variant parameters,
// envelopes and channels, textures, surfaces, scene objects, images and panels.
#ifndef REFHOST_SERVICES_H
#define REFHOST_SERVICES_H

namespace refhost {

class Host;

// Offers "LWVParmFuncs 2", "Animation Envelopes", "Channel Info 2", "Texture Functions 3",
// "Surface Functions 2", "Scene Objects 4", "LW Image List 3" and "LWXPanel" on the host.
// Their state lives in the host's components (EnvelopeSystem, VParmSystem, TextureSystem,
// XPanelSystem, ...) and goes with the host.
void install_instance_services(Host &host);

}  // namespace refhost

#endif
