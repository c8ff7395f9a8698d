#pragma once

#include <functional>
#include <string>

// Moves the calling thread (and the threads it starts later) into a new
// network namespace with loopback up. Called before any other thread exists,
// it moves the whole process. False, with the reason in *why, when the system
// refuses.
bool EnterPrivateNetwork(std::string* why);

// True when the process entered its private network at start-up.
bool IsInPrivateNetwork();

// Runs body on a new thread in a namespace of its own, so that it sees a
// fresh, empty nftables ruleset. False, with the reason, when refused.
bool RunInFreshNetwork(const std::function<void()>& body, std::string* why);
