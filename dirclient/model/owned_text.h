#ifndef DIRCLIENT_OWNED_TEXT_H
#define DIRCLIENT_OWNED_TEXT_H

#include "object_memory.h"

// A NUL-terminated text an object owns, in a tagged block (strcopy, strcopyShared,
// check_malloc); released by its tag when replaced or destroyed.
class OwnedText {
  public:
    constexpr OwnedText() = default;
    explicit OwnedText(char* adopted) noexcept : text_(adopted) {}
    ~OwnedText() { check_free(text_); }
    OwnedText(const OwnedText&) = delete;
    OwnedText& operator=(const OwnedText&) = delete;
    OwnedText(OwnedText&& other) noexcept : text_(other.release()) {}
    OwnedText& operator=(OwnedText&& other) noexcept {
        reset(other.release());
        return *this;
    }

    const char* get() const { return text_; }
    char* get() { return text_; }
    explicit operator bool() const { return text_ != nullptr; }

    // Keeps adopted and releases the text held before (unless it is the same block). The
    // old text is released after the new one is in place, so adopted may be a copy of it.
    void reset(char* adopted = nullptr) {
        char* old = text_;
        text_ = adopted;
        if (old != adopted) check_free(old);
    }
    char* release() {
        char* text = text_;
        text_ = nullptr;
        return text;
    }

  private:
    char* text_ = nullptr;
};

#endif
