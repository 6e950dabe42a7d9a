#include "ui/IResource.h"

#include <gio/gio.h>

// The generated declarations are C; GIO itself is already included above.
extern "C" {
#include "CoralResources.h"
}

namespace reef::ui {

namespace {

constexpr const char* kResourceFolder = "/com/kestrilab/coralsieve/";

// The data of the resource at `path`, or empty. The program's resources are compiled in
// uncompressed, so the bytes point into the program image and stay valid after the GBytes
// is released.
std::span<const unsigned char> Lookup(GResource* resources, const std::string& path) {
  GBytes* bytes =
      g_resource_lookup_data(resources, path.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  if (!bytes) return {};
  gsize size = 0;
  const auto* data = static_cast<const unsigned char*>(g_bytes_get_data(bytes, &size));
  g_bytes_unref(bytes);
  return {data, size};
}

} // namespace

std::span<const unsigned char> IResource::Find(const std::string& name) {
  GResource* resources = coral_resources_get_resource();
  if (auto exact = Lookup(resources, kResourceFolder + name); !exact.empty()) return exact;
  gchar** children = g_resource_enumerate_children(resources, kResourceFolder,
                                                   G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
  std::span<const unsigned char> found;
  for (gchar** child = children; child && *child && found.empty(); ++child) {
    if (g_ascii_strcasecmp(*child, name.c_str()) == 0) {
      found = Lookup(resources, kResourceFolder + std::string(*child));
    }
  }
  g_strfreev(children);
  return found;
}

} // namespace reef::ui
