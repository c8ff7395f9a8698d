#pragma once

#include <libgupnp/gupnp.h>

#include <string>

// A UPnP context on the interface, bound to address, that listens for HTTP.
// GUPnP draws the port at random and only warns when another program holds
// it, leaving the context without one: such a context is made again, a few
// times. Null with error set when none could be had.
GUPnPContext* NewListeningUPnPContext(const std::string& interfaceName, GInetAddress* address,
                                      GError** error);
