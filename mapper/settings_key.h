// The registry key below HKEY_LOCAL_MACHINE that holds the mapper's settings
// (mapper_debug, mapper_listen_address).
#pragma once

constexpr const char* kMapperKey = "SOFTWARE\\Tarvik\\Vantor\\5.5";
