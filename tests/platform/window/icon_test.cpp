// The program's icon group 1 through LoadIconA, and the .ico decoding behind it.
#include "platform/module/module.h"
#include "platform/window/window.h"
#include "platform/window/window_internal.h"
#include "resources/resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

TEST(Icon, IconGroupOneIsTheProgramsOwn48By48Image) {
  HINSTANCE self = GetModuleHandleA(nullptr);
  HICON icon = LoadIconA(self, make_int_resource(1));
  ASSERT_NE(icon, 0);
  EXPECT_EQ(LoadIconA(self, make_int_resource(1)), icon);
  const IconImage* image = icon_image(icon);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 48);
  EXPECT_EQ(image->height, 48);
  EXPECT_EQ(image->bits_per_pixel, 24);
  // A picture, not a blank: many colours, opaque in the middle, transparent corners.
  std::set<uint32_t> colours;
  for (int i = 0; i < 48 * 48; ++i) {
    const BYTE* p = image->pixels + i * 3;
    colours.insert(static_cast<uint32_t>(p[0] << 16 | p[1] << 8 | p[2]));
  }
  EXPECT_GT(colours.size(), 50u);
  EXPECT_EQ(image->mask[24 * 48 + 24], 0);
  EXPECT_EQ(image->mask[0], 1);
  EXPECT_EQ(image->mask[48 * 48 - 1], 1);
}

TEST(Icon, OtherIconsAndOtherModulesHaveNone) {
  HINSTANCE self = GetModuleHandleA(nullptr);
  EXPECT_EQ(LoadIconA(self, make_int_resource(2)), 0);
  EXPECT_EQ(LoadIconA(self, make_int_resource(0)), 0);
  EXPECT_EQ(LoadIconA(self, "ICON"), 0);
  EXPECT_EQ(LoadIconA(0, make_int_resource(1)), 0);
  EXPECT_EQ(LoadIconA(self + 16, make_int_resource(1)), 0);
  EXPECT_EQ(icon_image(0), nullptr);
  EXPECT_EQ(icon_image(12345), nullptr);
}

TEST(Icon, MalformedIconDataIsRefusedWithoutReadingPastIt) {
  const EmbeddedResource* resource = resource_find(RESOURCE_TYPE_GROUP_ICON, 1);
  ASSERT_NE(resource, nullptr);
  std::vector<unsigned char> good(resource->data, resource->data + resource->size);
  IconImage image{};
  ASSERT_TRUE(icon_decode(good.data(), good.size(), &image));
  icon_free(&image);

  struct Damage {
    const char* what;
    size_t at;
    std::vector<unsigned char> bytes;
  };
  const Damage damages[] = {
      {"not an icon type", 2, {2, 0}},
      {"no images", 4, {0, 0}},
      {"image beyond the data", 6 + 12, {0xFF, 0xFF, 0, 0}},
      {"image size beyond the data", 6 + 8, {0xFF, 0xFF, 0xFF, 0x7F}},
      {"32-bit pixels", 22 + 14, {32, 0}},
      {"compressed", 22 + 16, {1, 0, 0, 0}},
      {"odd double height", 22 + 8, {97, 0, 0, 0}},
      {"huge width", 22 + 4, {0, 0x10, 0, 0}},
      {"negative width", 22 + 4, {0xF0, 0xFF, 0xFF, 0xFF}},
      {"header larger than the image", 22, {0xFF, 0x7F, 0, 0}},
  };
  for (const Damage& damage : damages) {
    std::vector<unsigned char> bad = good;
    std::memcpy(bad.data() + damage.at, damage.bytes.data(), damage.bytes.size());
    EXPECT_FALSE(icon_decode(bad.data(), bad.size(), &image)) << damage.what;
  }
  // Every truncation of the file is refused; each is read from an exact-size copy.
  for (size_t size = 0; size < good.size(); size += 97) {
    std::vector<unsigned char> cut(good.begin(), good.begin() + static_cast<long>(size));
    EXPECT_FALSE(icon_decode(cut.data(), cut.size(), &image)) << size;
  }
}

TEST(Resources, TheManifestAsksForCommonControlsVersion6OnX86) {
  const EmbeddedResource* manifest = resource_find(RESOURCE_TYPE_MANIFEST, 1);
  ASSERT_NE(manifest, nullptr);
  std::string text(reinterpret_cast<const char*>(manifest->data), manifest->size);
  size_t dependency = text.find("<dependentAssembly>");
  ASSERT_NE(dependency, std::string::npos);
  std::string identity = text.substr(dependency, text.find("</dependentAssembly>") - dependency);
  EXPECT_NE(identity.find("name=\"Microsoft.Windows.Common-Controls\""), std::string::npos);
  EXPECT_NE(identity.find("version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(identity.find("processorArchitecture=\"x86\""), std::string::npos);
  EXPECT_EQ(resource_find(RESOURCE_TYPE_MANIFEST, 2), nullptr);
}

}  // namespace
