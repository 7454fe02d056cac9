#include "module/application.h"

#include <atomic>

namespace lumitra::module {
namespace {
std::atomic<int> g_liveInstances{0};
}

CLumitraApp::CLumitraApp() noexcept { g_liveInstances.fetch_add(1); }
CLumitraApp::~CLumitraApp() { g_liveInstances.fetch_sub(1); }
int CLumitraApp::LiveInstances() noexcept { return g_liveInstances.load(); }

// The one application object, constructed when the library is loaded and
// destroyed when it is unloaded.
CLumitraApp theApp;

}  // namespace lumitra::module
