// The table of embedded resources; the bytes are generated from the files beside this one.
#include "resources/resources.h"

#include "resources/embedded_icon.h"
#include "resources/embedded_manifest.h"

namespace {
const EmbeddedResource table[] = {
    {RESOURCE_TYPE_GROUP_ICON, 1, OSTRELIN_ICON, sizeof(OSTRELIN_ICON)},
    {RESOURCE_TYPE_MANIFEST, 1, OSTRELIN_MANIFEST, sizeof(OSTRELIN_MANIFEST)},
};
}  // namespace

const EmbeddedResource* resource_find(int type, int id) {
  for (const EmbeddedResource& resource : table) {
    if (resource.type == type && resource.id == id) return &resource;
  }
  return nullptr;
}
