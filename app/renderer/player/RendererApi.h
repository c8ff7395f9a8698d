#pragma once

#include "DmpVellumoApi.h"

// The playback calls of a Box's library, answered by standard renderers: a
// handle is a CRendererPlayer, created for the renderer whose description
// is at the address given (the port is not used). The entries a renderer
// has no use for (upgrade, wireless display, version) stay null. Handles
// are checked as the library checks its own: an unknown one is ignored.
// A player that starts on a renderer ends the one that played there.
const DmpVellumoApi& GetRendererApi();
