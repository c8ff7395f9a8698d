#pragma once

// libxml2 prints the errors of a malformed document (a UPnP description from
// the network, escape sequences included) to standard error by default.
// Routes the calling thread's libxml2 errors to the debug trace instead, one
// line each, control characters masked. libxml2 keeps its handlers per
// thread: call it on the thread that parses.
void RouteXmlErrorsToTrace();
