#include "plugin_loader.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace replhost {

PluginLoader::~PluginLoader() {
    if (handle_) dlclose(handle_);
}

bool PluginLoader::load(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        error_ = dlerror();
        return false;
    }
    auto entry = reinterpret_cast<int (*)(const ReplDescriptor**)>(dlsym(handle_, "qdxDllEntry"));
    const ReplDescriptor* descriptor = nullptr;
    if (!entry || entry(&descriptor) != 1 || !descriptor) {
        error_ = path + ": no qdxDllEntry handing out a descriptor";
        return false;
    }
    if (std::memcmp(descriptor->eyeCatcher, "XSLD", 4) != 0 || ntohl(descriptor->version) != 1 ||
        ntohl(descriptor->entryCount) != 4 || !descriptor->entries) {
        error_ = path + ": not a replication plug-in of version 1 with 4 entry points";
        return false;
    }
    const ReplEntryTable* table = descriptor->entries;
    if (!table->initialize || !table->getupdate || !table->sendupdate || !table->shutdown) {
        error_ = path + ": an entry point is missing";
        return false;
    }
    entries_ = table;
    return true;
}

std::string default_plugin_path() {
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return "replbridge.so";
    std::string program(self, static_cast<size_t>(length));
    std::string bin = program.substr(0, program.rfind('/'));
    return bin.substr(0, bin.rfind('/')) + "/lib/replbridge.so";
}

}  // namespace replhost
