#include "platform/platform.h"

namespace zandrel::platform {

namespace {
ServiceSet g_services;
}

void Install(const ServiceSet& services) { g_services = services; }
const ServiceSet& Services() { return g_services; }

}  // namespace zandrel::platform
