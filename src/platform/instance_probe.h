// Whether a navigator runs on a device root, asked from outside it (a tool): the
// navigator's one-instance endpoint for that root (a local socket named from the
// user and the root) answers a connection from this user. Nothing is sent.
#pragma once

#include <string>

// 1 when the endpoint of the navigator on hostRoot answers and belongs to this
// user; 0 otherwise.
int NavigatorRunsOnRoot(const std::string& hostRoot);

// The endpoint's name for hostRoot: a socket path, or "@name" in the abstract
// namespace (the same name the navigator listens on).
std::string InstanceEndpointName(const std::string& hostRoot);

// SHA-1 of bytes as 40 lowercase hex digits.
std::string Sha1Hex(const std::string& bytes);
