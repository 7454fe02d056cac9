// The library's application object: exactly one exists while the library is
// loaded. It holds no data; the exports never read it. It exists so that a
// host sees the load and unload behaviour it expects of the DLL: the object
// is created at load and destroyed at unload.
#pragma once

namespace lumitra::module {

class CLumitraApp {
public:
    CLumitraApp() noexcept;
    ~CLumitraApp();
    CLumitraApp(const CLumitraApp&) = delete;
    CLumitraApp& operator=(const CLumitraApp&) = delete;

    // Number of application objects alive in this module (1 while loaded).
    static int LiveInstances() noexcept;
};

}  // namespace lumitra::module
