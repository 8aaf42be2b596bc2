#pragma once
// The skin pictures and fonts linked into the plug-in, by file name ("front.png",
// "DejaVuSans.ttf"). The bytes live as long as the program.
#include <cstdint>
#include <span>
#include <string_view>

// Empty when no resource has that name.
std::span<const uint8_t> Resource(std::string_view name);
// Every embedded name, in a fixed order.
std::span<const std::string_view> ResourceNames();
