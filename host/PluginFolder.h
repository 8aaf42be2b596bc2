// The folder of the plug-in library's own file (not the host's), with its trailing separator, and
// the reading of the small data files kept there.
#pragma once

#include <cstddef>
#include <string>

std::string PluginFolder();
char PathSeparator();

// Up to `maxBytes` bytes of the file at `path`, or nothing if it is missing, unreadable or not a
// regular file. A pipe or a device in its place is never opened for a blocking read: a host that
// loads the plug-in while scanning its folders must not wait on one.
std::string ReadRegularFile(const std::string& path, size_t maxBytes);
