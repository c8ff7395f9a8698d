#pragma once

#include "DmpVellumoApi.h"

#include <QString>

// The playback calls of a Box's library, answered by standard renderers: a
// handle is a CRendererPlayer, created for the renderer whose description
// is at the address given (the port is not used). The entries a renderer
// has no use for (upgrade, wireless display, version) stay null. Handles
// are checked as the library checks its own: an unknown one is ignored.
// A player that starts on a renderer ends the one that played there.
const DmpVellumoApi& GetRendererApi();

// Posted (DMP_WM_ERROR) when the renderer lists none of the types of what it
// is to play among those it plays: it is asked to play them all the same.
inline constexpr int32_t kRendererErrorNoPlayableType = -100;

// The user's text for a renderer's own error, naming the renderer and the
// files; empty for the errors a Box's library has too.
QString RendererErrorText(DmpVellumoInfo* handle, int32_t error, const QString& rendererName);
