#ifndef REPLHOST_PLUGIN_LOADER_H
#define REPLHOST_PLUGIN_LOADER_H

// Loads a replication plug-in the way a directory server does: through qdxDllEntry and the
// descriptor it hands out.

#include <string>

#include "replbridge.h"

namespace replhost {

class PluginLoader {
  public:
    PluginLoader() = default;
    PluginLoader(const PluginLoader&) = delete;
    PluginLoader& operator=(const PluginLoader&) = delete;
    ~PluginLoader();

    // Loads "path" and checks its descriptor; false with error() set on failure.
    bool load(const std::string& path);

    // The plug-in's entry points; valid after a successful load while this object lives.
    const ReplEntryTable& entries() const { return *entries_; }
    const std::string& error() const { return error_; }

  private:
    void* handle_ = nullptr;
    const ReplEntryTable* entries_ = nullptr;
    std::string error_;
};

// replbridge.so in the lib folder beside the bin folder of the running program.
std::string default_plugin_path();

}  // namespace replhost

#endif
