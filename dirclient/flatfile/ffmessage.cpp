#include "ffmessage.h"

#include <mutex>
#include <unordered_set>

const char* ffLastingText(const std::string& text) {
    static std::mutex mutex;
    static auto* texts = new std::unordered_set<std::string>();  // outlives every exception
    std::lock_guard<std::mutex> lock(mutex);
    return texts->insert(text).first->c_str();
}
