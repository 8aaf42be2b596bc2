// The folder of the plug-in library's own file (not the host's), with its trailing separator.
#pragma once

#include <string>

std::string PluginFolder();
char PathSeparator();
