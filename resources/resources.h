// The program's embedded resources: icon group 1 (one 48x48 24-bit image, as an .ico
// image) and the application manifest, found by type and number.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int RESOURCE_TYPE_GROUP_ICON = 14;
constexpr int RESOURCE_TYPE_MANIFEST = 24;

struct EmbeddedResource {
  int type;
  int id;
  const unsigned char* data;
  size_t size;
};

// The resource of that type and number, or null.
const EmbeddedResource* resource_find(int type, int id);
