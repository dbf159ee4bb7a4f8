// The library's only exports. On Windows the .def file gives them their
// undecorated names and ordinals; natively they are the only symbols with
// default visibility.
#include "plugin/entry_points.h"

#if defined(_WIN32)
#define ORV_EXPORT
#else
#define ORV_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

ORV_EXPORT const PluginDescriptor* Vantorix_Plugin_PR(void) { return plugin::Descriptor(); }

ORV_EXPORT int32_t Vantorix_Plugin_Version(void) { return 3; }

}  // extern "C"
