// LoadIconA of the program's own icon groups: the embedded .ico image is checked and
// decoded once, and the handle is the address of the decoded picture.
#include "platform/module/module.h"
#include "platform/window/window_internal.h"
#include "resources/resources.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

struct LoadedIcon {
  int id;
  IconImage image;
};

std::mutex icon_lock;
LoadedIcon loaded[4];
int loaded_count = 0;

uint32_t read32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t read16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

bool icon_decode(const unsigned char* data, size_t size, IconImage* out) {
  if (size < 6 + 16 || read16(data) != 0 || read16(data + 2) != 1 || read16(data + 4) < 1) return false;
  const unsigned char* entry = data + 6;
  uint32_t image_bytes = read32(entry + 8), offset = read32(entry + 12);
  if (offset > size || image_bytes > size - offset || image_bytes < 40) return false;
  const unsigned char* header = data + offset;
  uint32_t header_bytes = read32(header);
  int32_t width = static_cast<int32_t>(read32(header + 4));
  int32_t double_height = static_cast<int32_t>(read32(header + 8));
  if (header_bytes < 40 || header_bytes > image_bytes || read16(header + 12) != 1 ||
      read16(header + 14) != 24 || read32(header + 16) != 0)
    return false;
  if (width <= 0 || width > 256 || double_height <= 0 || double_height % 2 != 0 || double_height / 2 > 256)
    return false;
  int height = double_height / 2;
  size_t row_bytes = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  size_t mask_row_bytes = ((static_cast<size_t>(width) + 31) / 32) * 4;
  size_t needed = header_bytes + (row_bytes + mask_row_bytes) * static_cast<size_t>(height);
  if (needed > image_bytes) return false;

  BYTE* pixels = static_cast<BYTE*>(std::malloc(static_cast<size_t>(width) * height * 3));
  BYTE* mask = static_cast<BYTE*>(std::malloc(static_cast<size_t>(width) * height));
  if (pixels == nullptr || mask == nullptr) {
    std::free(pixels);
    std::free(mask);
    return false;
  }
  const unsigned char* colours = header + header_bytes;
  const unsigned char* mask_bits = colours + row_bytes * static_cast<size_t>(height);
  for (int row = 0; row < height; ++row) {
    int from_bottom = height - 1 - row;  // a bitmap stores its bottom row first
    const unsigned char* colour_row = colours + row_bytes * static_cast<size_t>(from_bottom);
    const unsigned char* mask_row = mask_bits + mask_row_bytes * static_cast<size_t>(from_bottom);
    for (int column = 0; column < width; ++column) {
      BYTE* to = pixels + (static_cast<size_t>(row) * width + column) * 3;
      to[0] = colour_row[column * 3 + 2];
      to[1] = colour_row[column * 3 + 1];
      to[2] = colour_row[column * 3];
      mask[static_cast<size_t>(row) * width + column] = (mask_row[column / 8] >> (7 - column % 8)) & 1;
    }
  }
  *out = IconImage{width, height, 24, pixels, mask};
  return true;
}

void icon_free(IconImage* image) {
  std::free(const_cast<BYTE*>(image->pixels));
  std::free(const_cast<BYTE*>(image->mask));
  *image = IconImage{};
}

HICON LoadIconA(HINSTANCE instance, const char* name) {
  uintptr_t id = reinterpret_cast<uintptr_t>(name);
  // Only the program's own numbered icons exist: there are no system icons here.
  if (instance == 0 || instance != GetModuleHandleA(nullptr) || id == 0 || id >= 0x10000) return 0;
  std::lock_guard<std::mutex> hold(icon_lock);
  for (int i = 0; i < loaded_count; ++i) {
    if (loaded[i].id == static_cast<int>(id)) return reinterpret_cast<HICON>(&loaded[i].image);
  }
  const EmbeddedResource* resource = resource_find(RESOURCE_TYPE_GROUP_ICON, static_cast<int>(id));
  if (resource == nullptr || loaded_count == static_cast<int>(sizeof(loaded) / sizeof(loaded[0]))) return 0;
  IconImage image{};
  if (!icon_decode(resource->data, resource->size, &image)) return 0;
  loaded[loaded_count] = LoadedIcon{static_cast<int>(id), image};
  return reinterpret_cast<HICON>(&loaded[loaded_count++].image);
}

const IconImage* icon_image(HICON icon) {
  std::lock_guard<std::mutex> hold(icon_lock);
  for (int i = 0; i < loaded_count; ++i) {
    if (reinterpret_cast<HICON>(&loaded[i].image) == icon) return &loaded[i].image;
  }
  return nullptr;
}
